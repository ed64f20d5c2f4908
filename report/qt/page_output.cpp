#include "report/qt/page_output.h"

#include <QImage>
#include <QImageWriter>
#include <QPainter>
#include <QPrinter>
#include <QSaveFile>

#include "herd/errors.h"
#include "report/qt/report_images.h"

namespace ovista {

void DrawPage(QPainter& painter, const QPicture& page, QSize paper, QSizeF target) {
    if (paper.isEmpty()) return;
    // A picture plays back enlarged by the device's resolution over its own; undo that so
    // one page pixel covers target / paper device pixels on any device.
    const QPaintDevice* device = painter.device();
    const double dpiX = device != nullptr ? device->logicalDpiX() : page.logicalDpiX();
    const double dpiY = device != nullptr ? device->logicalDpiY() : page.logicalDpiY();
    painter.save();
    painter.scale(target.width() / paper.width() * page.logicalDpiX() / dpiX,
                  target.height() / paper.height() * page.logicalDpiY() / dpiY);
    PlayPagePicture(painter, page);
    painter.restore();
}

namespace {

std::string Utf8(const QString& text) { return text.toUtf8().toStdString(); }

}  // namespace

void PrintPreviewPages(const PreviewPages& pages, QPrinter& printer) {
    if (pages.pages.empty()) return;
    printer.setDocName(QString::fromLatin1(kPrintJobTitle));
    QPainter painter;
    if (!painter.begin(&printer)) {
        throw OvistaError("Could not start printing on " + Utf8(printer.printerName()));
    }
    // A preview page is the printer's page, as a report printed directly draws it.
    const QSizeF page(printer.width(), printer.height());
    for (std::size_t i = 0; i < pages.pages.size(); ++i) {
        if (i > 0 && !printer.newPage()) {
            painter.end();
            throw OvistaError("The printer did not accept page " + std::to_string(i + 1));
        }
        DrawPage(painter, pages.pages[i], pages.paperPixels, page);
    }
    if (!painter.end()) throw OvistaError("Could not finish printing on " + Utf8(printer.printerName()));
}

QString JpegBaseName(const QString& chosenName) {
    QString base = chosenName;
    if (base.endsWith(QLatin1String(".jpg"), Qt::CaseSensitive)) base.chop(4);
    return base;
}

QSize JpegImageSize(QSize pagePixels) {
    if (pagePixels.width() > 2000 || pagePixels.height() > 2000) {
        return {pagePixels.width() / 2, pagePixels.height() / 2};
    }
    return pagePixels;
}

std::vector<QString> SaveJpegPages(const PreviewPages& pages, const QString& chosenName) {
    const QString base = JpegBaseName(chosenName);
    const QSize size = JpegImageSize(pages.paperPixels);
    if (size.isEmpty()) throw OvistaError("The printout has no page size to save");
    std::vector<QString> written;
    const std::size_t count = pages.pages.size();
    for (std::size_t i = 0; i < count; ++i) {
        const QString name =
            count == 1 ? base + QLatin1String(".jpg")
                       : base + QString::asprintf("_%.2d.jpg", static_cast<int>(i + 1));
        QImage image(size, QImage::Format_RGB32);
        image.fill(Qt::white);
        // The image's resolution keeps the page's paper size, halved or not.
        const double dotsPerMetre = pages.dotsPerInch / 0.0254 * size.width() / pages.paperPixels.width();
        image.setDotsPerMeterX(static_cast<int>(dotsPerMetre + 0.5));
        image.setDotsPerMeterY(static_cast<int>(dotsPerMetre + 0.5));
        {
            QPainter painter(&image);
            painter.setRenderHint(QPainter::Antialiasing);
            painter.setRenderHint(QPainter::TextAntialiasing);
            painter.setRenderHint(QPainter::SmoothPixmapTransform);
            DrawPage(painter, pages.pages[i], pages.paperPixels, QSizeF(size));
        }
        // Written beside the final name and renamed when complete.
        QSaveFile file(name);
        if (!file.open(QIODevice::WriteOnly)) {
            throw OvistaError("Could not write " + Utf8(name) + ": " + Utf8(file.errorString()));
        }
        QImageWriter writer(&file, "jpeg");
        writer.setQuality(-1);
        if (!writer.write(image)) {
            throw OvistaError("Could not write " + Utf8(name) + ": " + Utf8(writer.errorString()));
        }
        if (!file.commit()) {
            throw OvistaError("Could not write " + Utf8(name) + ": " + Utf8(file.errorString()));
        }
        written.push_back(name);
    }
    return written;
}

}  // namespace ovista
