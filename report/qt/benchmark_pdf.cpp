#include "report/qt/benchmark_pdf.h"

#include <QBuffer>
#include <QDir>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QSaveFile>

#include "herd/errors.h"
#include "report/benchmark_pages.h"
#include "report/qt/product_logo.h"
#include "report/qt/qpainter_canvas.h"
#include "report/qt/report_images.h"

namespace ovista {

void WriteBenchmarkPdf(const Benchmark& benchmark, const std::string& path) {
    constexpr int kDotsPerInch = 600;
    const QString fileName = QString::fromStdString(path);
    const std::string shown = QDir::toNativeSeparators(fileName).toStdString();
    QSaveFile file(fileName);
    if (!file.open(QIODevice::WriteOnly)) {
        throw OvistaError("Could not write " + shown + ": " + file.errorString().toStdString());
    }
    // Only our logo: the pages rate nothing, so they need no pictures beside the program.
    ReportImages images;
    images.productLogo = ProductLogo();

    QByteArray pdf;
    {
        QBuffer buffer(&pdf);
        buffer.open(QIODevice::WriteOnly);
        QPdfWriter writer(&buffer);
        writer.setResolution(kDotsPerInch);
        writer.setPageSize(QPageSize(QPageSize::A4));
        writer.setPageMargins(QMarginsF(0, 0, 0, 0));
        writer.setTitle(QStringLiteral("Ovista centre benchmark"));
        writer.setCreator(QStringLiteral("ovista Version 2.H"));
        QPainter painter;
        if (!painter.begin(&writer)) throw OvistaError("Could not write " + shown + ": the PDF could not be started");
        const QSize page(writer.width(), writer.height());
        const BenchmarkPages pages(benchmark);
        HerdReport none;
        ClearHerdReport(none);
        for (int n = 1; n <= pages.PageCount(); ++n) {
            if (n > 1) writer.newPage();
            QPainterCanvas device(painter, page, images);
            ReportCanvas canvas(none, device, kDotsPerInch);
            pages.Draw(canvas, n);
        }
        painter.end();
    }
    if (file.write(pdf) != pdf.size() || !file.commit()) {
        throw OvistaError("Could not write " + shown + ": " + file.errorString().toStdString());
    }
}

}  // namespace ovista
