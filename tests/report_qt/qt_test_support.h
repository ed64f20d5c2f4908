#pragma once
// Shared pieces of the Qt output tests: the application object and sample pages.
#include <QApplication>
#include <QFont>
#include <QPainter>
#include <QPicture>
#include <QTemporaryDir>
#include <string>

#include "batch/runs.h"
#include "batch/working_folder.h"
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

// The report of an example herd as the program makes it; the summary and conception lines
// go to a temporary working folder.
inline HerdReport ExampleReport(const std::string& csv = "herd001.csv") {
    SetTodayFromClock();  // as the program does at start-up
    const QTemporaryDir work;
    SetWorkingFolder(work.path().toStdString());
    HerdReport report;
    RunSteps steps = StandardRunSteps();
    steps.print = [&report](const HerdReport& analysed, const ReportOutput&) { report = analysed; };
    RunSingleHerdCsv(std::string(OVISTA_SOURCE_DIR) + "/examples/" + csv, {}, steps);
    ResetWorkingFolder();
    return report;
}

}  // namespace ovista::testing
