// The report driver's PDF request from the preview: "Save to PDF" asks for the file in the
// desktop's save dialog over the preview; cancelling it writes nothing, is no error and
// returns to the preview.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include "gui/preview_window.h"
#include "gui/report_output.h"
#include "report/qt/report_images.h"
#include "report_qt/qt_test_support.h"

namespace ovista {
namespace {

// Calls act once on the first visible modal widget of type W.
template <typename W>
void WhenModal(std::function<void(W&)> act) {
    auto* poll = new QTimer;
    QObject::connect(poll, &QTimer::timeout, [poll, act] {
        auto* widget = dynamic_cast<W*>(QApplication::activeModalWidget());
        if (widget == nullptr || !widget->isVisible()) return;
        poll->stop();
        poll->deleteLater();
        act(*widget);
    });
    poll->start(10);
}

TEST(PrintReport, SaveToPdfAsksForTheFileAndACancelWritesNothing) {
    testing::EnsureApplication();
    const HerdReport report = testing::ExampleReport();
    const QTemporaryDir last;
    SetLastSaveFolder(last.path());
    QString title, filter, folder, file;
    bool overPreview = false, previewOpen = false;
    WhenModal<PreviewWindow>([&](PreviewWindow& window) {
        WhenModal<QFileDialog>([&](QFileDialog& dialog) {
            title = dialog.windowTitle();
            filter = dialog.nameFilters().join(";");
            folder = dialog.directory().absolutePath();
            file = dialog.selectedFiles().value(0);
            overPreview = dialog.parentWidget() == &window;
            dialog.reject();
        });
        QTest::mouseClick(window.findChild<QPushButton*>("pdfButton"), Qt::LeftButton);
        previewOpen = window.isVisible();
        window.close();
    });
    EXPECT_EQ(PrintReport(report, kOutputPreview, {"", "herd001.pdf"}), PreviewEnd::Closed);
    EXPECT_EQ(title, "Save the report as a PDF file");
    EXPECT_EQ(filter, "PDF files (*.pdf)");
    EXPECT_EQ(folder, QDir(last.path()).absolutePath());
    EXPECT_EQ(file, QDir(last.path()).absoluteFilePath("herd001.pdf"));
    EXPECT_TRUE(overPreview);
    EXPECT_TRUE(previewOpen);
    EXPECT_TRUE(QDir(last.path()).isEmpty());
}

TEST(ReportPdf, PrintingWithoutAPrinterIsAClearError) {
    HerdReport report;
    ClearHerdReport(report);
    for (const int kind : {kOutputPrinter, 7, -1}) {
        try {
            PrintReport(report, kind);
            GTEST_SKIP() << "this machine has a printer";
        } catch (const OvistaError& error) {
            EXPECT_STREQ(error.what(), "No printer is installed");
        }
    }
}

}  // namespace
}  // namespace ovista
