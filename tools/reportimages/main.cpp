// Writes the chart pictures the report loads from the program's folder: "star.bmp" (the
// rating star) and "ball.bmp" (the point marker of the in-calf chart).
//   reportimages FOLDER
#include <QDir>
#include <QImage>
#include <iostream>

#include "report/qt/report_images.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: reportimages FOLDER\n";
        return 2;
    }
    const QDir folder(QString::fromLocal8Bit(argv[1]));
    // A star or ball spans some 50 to 75 pixels of a 600-dpi page: 128 keeps them crisp.
    constexpr int kSize = 128;
    const struct {
        const char* name;
        QImage image;
    } pictures[] = {{"star.bmp", ovista::MakeStarImage(kSize)},
                    {"ball.bmp", ovista::MakeBallImage(kSize)}};
    for (const auto& picture : pictures) {
        const QString path = folder.filePath(QString::fromLatin1(picture.name));
        if (!picture.image.save(path, "BMP")) {
            std::cerr << "reportimages: could not write " << path.toStdString() << '\n';
            return 1;
        }
    }
    return 0;
}
