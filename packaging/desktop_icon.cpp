// Writes the desktop icon of the installed program: our product mark as a PNG file.
//   desktop_icon FILE SIZE
#include <QGuiApplication>
#include <QImage>
#include <QString>
#include <iostream>
#include <string>

#include "report/qt/product_logo.h"

int main(int argc, char** argv) {
    if (argc != 3) {
        std::cerr << "usage: desktop_icon FILE SIZE\n";
        return 2;
    }
    // The mark is painted with Qt's raster engine, which wants an application object; the
    // build has no display.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication application(argc, argv);
    const int size = std::stoi(argv[2]);
    const QString path = QString::fromLocal8Bit(argv[1]);
    if (!ovista::ProductMark(size).save(path, "PNG")) {
        std::cerr << "desktop_icon: could not write " << argv[1] << '\n';
        return 1;
    }
    return 0;
}
