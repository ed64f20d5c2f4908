#include "report/qt/report_images.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QImageReader>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <cmath>
#include <optional>
#include <numbers>

#include "herd/errors.h"
#include "herd/input_file.h"
#include "report/qt/product_logo.h"

namespace ovista {
namespace {

// The picture at path; a named pipe, a device or an oversized file is refused unread, and
// a missing file or a folder gives the message of the image reader as it always did.
QImage ReadImage(const QString& path) {
    QBuffer bytes;
    QImageReader reader;
    try {
        RegularFileInput file(path.toStdString(), kPictureInput);
        if (file.IsOpen()) {
            const std::string read = file.ReadAll();
            bytes.setData(read.data(), static_cast<qsizetype>(read.size()));
            reader.setDevice(&bytes);
        } else {
            reader.setFileName(path);
        }
    } catch (const InputFileError& e) {
        throw OvistaError(e.what());
    }
    QImage image = reader.read();
    if (image.isNull()) {
        throw OvistaError("Could not load " + QDir::toNativeSeparators(path).toStdString() +
                          ": " + reader.errorString().toStdString());
    }
    return image;
}

QImage WhiteSquare(int size) {
    QImage image(size, size, QImage::Format_RGB32);
    image.fill(Qt::white);
    return image;
}

}  // namespace

QString ProgramFolder() {
    // The real folder of the running executable, also when started through a link.
    const QFileInfo self(QStringLiteral("/proc/self/exe"));
    if (self.exists()) return QFileInfo(self.canonicalFilePath()).absolutePath();
    return QCoreApplication::applicationDirPath();
}

ReportImages LoadReportImages(const QString& folder) {
    const QDir dir(folder);
    ReportImages images;
    images.star = ReadImage(dir.filePath(QStringLiteral("star.bmp")));
    images.ball = ReadImage(dir.filePath(QStringLiteral("ball.bmp")));
    images.productLogo = ProductLogo();
    // The centre's own logo is optional: most reports go out without one.
    const QString centre = dir.filePath(QStringLiteral("CentreLogo.jpg"));
    if (QFileInfo::exists(centre)) {
        try {
            images.centreLogo = ReadImage(centre);
        } catch (const OvistaError&) {
            // One that cannot be read is left out like a missing one.
        }
    }
    return images;
}

const ReportImages& CurrentReportImages(const QString& folder) {
    struct Loaded {
        QString folder;
        QList<qint64> stamps;  // per picture file: size and time of change, -1 when absent
        ReportImages images;
    };
    thread_local std::optional<Loaded> loaded;
    QList<qint64> stamps;
    const QDir dir(folder);
    for (const char* name : {"star.bmp", "ball.bmp", "CentreLogo.jpg"}) {
        const QFileInfo file(dir.filePath(QString::fromLatin1(name)));
        stamps << (file.exists() ? file.size() : -1)
               << (file.exists() ? file.lastModified().toMSecsSinceEpoch() : -1);
    }
    if (!loaded || loaded->folder != folder || loaded->stamps != stamps) {
        loaded.reset();  // a failed load leaves nothing to reuse
        loaded = Loaded{folder, stamps, LoadReportImages(folder)};
    }
    return loaded->images;
}

QImage MakeStarImage(int size) {
    QImage image = WhiteSquare(size);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing, true);
    const double centreX = size / 2.0;
    const double outer = size * 0.48;
    const double inner = outer * 0.40;
    // The star's points and notches lie on two circles; its lowest points sit a little
    // above the circle's bottom, so the star is lowered to fill the square evenly.
    const double centreY = size / 2.0 + size * 0.05;
    QPainterPath star;
    for (int i = 0; i < 10; ++i) {
        const double radius = (i % 2 == 0) ? outer : inner;
        const double angle = -std::numbers::pi / 2 + i * std::numbers::pi / 5;
        const QPointF point(centreX + radius * std::cos(angle), centreY + radius * std::sin(angle));
        if (i == 0) {
            star.moveTo(point);
        } else {
            star.lineTo(point);
        }
    }
    star.closeSubpath();
    painter.setPen(QPen(QColor(122, 84, 10), std::max(1.0, size / 40.0), Qt::SolidLine,
                        Qt::RoundCap, Qt::RoundJoin));
    painter.setBrush(QColor(236, 176, 32));
    painter.drawPath(star);
    return image;
}

QImage MakeBallImage(int size) {
    QImage image = WhiteSquare(size);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing, true);
    const QRectF disc(size * 0.08, size * 0.08, size * 0.84, size * 0.84);
    QRadialGradient shade(disc.center() - QPointF(size * 0.14, size * 0.14), size * 0.5);
    shade.setColorAt(0, QColor(120, 170, 235));
    shade.setColorAt(1, QColor(20, 60, 140));
    painter.setPen(QPen(QColor(12, 36, 90), std::max(1.0, size / 32.0)));
    painter.setBrush(shade);
    painter.drawEllipse(disc);
    return image;
}

}  // namespace ovista
