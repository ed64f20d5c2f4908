#pragma once
// Shared pieces of the Qt output tests: the application object and sample pages.
#include <QApplication>
#include <QFont>
#include <QPainter>
#include <QPicture>
#include <QTemporaryDir>
#include <memory>
#include <sstream>
#include <string>

#include "analysis/analyse_herd.h"
#include "formats/summary_file.h"
#include "herd/herd_file.h"
#include "herd/textutil.h"
#include "report/qt/preview_dialog.h"

namespace ovista::testing {

// One QApplication for the whole test program, offscreen unless told otherwise; it lives
// until the process ends.
inline void EnsureApplication() {
    if (QApplication::instance() != nullptr) return;
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "test_report_qt";
    static char* argv[] = {name, nullptr};
    new QApplication(argc, argv);
}

// Pages of the given size, each with a black left half and the text "Sample page <n>".
inline PreviewPages SamplePages(int count, QSize paper, int dotsPerInch = 600) {
    PreviewPages pages;
    pages.paperPixels = paper;
    pages.printableArea = QRect(QPoint(0, 0), paper).adjusted(paper.width() / 20, paper.height() / 20,
                                                              -paper.width() / 20, -paper.height() / 20);
    pages.dotsPerInch = dotsPerInch;
    for (int i = 0; i < count; ++i) {
        QPicture picture;
        QPainter painter(&picture);
        painter.fillRect(QRect(0, 0, paper.width() / 2, paper.height()), Qt::black);
        QFont font(QStringLiteral("Liberation Sans"));
        font.setPixelSize(std::max(8, paper.height() / 40));
        painter.setFont(font);
        painter.setPen(Qt::black);
        painter.drawText(QPoint(paper.width() / 2 + paper.width() / 20, paper.height() / 4),
                         QStringLiteral("Sample page %1").arg(i + 1));
        painter.end();
        pages.pages.push_back(picture);
    }
    return pages;
}

// The report of an example herd as the program makes it: analysed as of the date of its
// identification row, with the summary row written (which dates the report).
inline HerdReport ExampleReport(const std::string& csv = "herd001.csv") {
    SetTodayFromClock();  // as the program does at start-up
    const std::string path = std::string(OVISTA_SOURCE_DIR) + "/examples/" + csv;
    std::unique_ptr<HerdList> herd;
    HerdHeaderFields header;
    HerdReport report;
    ClearHerdReport(report);
    if (!LoadHerdFile(path, path, herd, header) || herd == nullptr) return report;
    std::ostringstream summary, conception;
    AnalyseHerd(header[1], ParseDateText(header[4]), header[2], header[3], *herd, report, {},
                [&](HerdReport& analysed) { WriteSummaryRow(analysed, summary, conception); });
    return report;
}

}  // namespace ovista::testing
