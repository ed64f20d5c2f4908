// The report driver's PDF request from the preview: "Save to PDF" closes the window and asks
// for the file; cancelling that dialog writes nothing and is no error.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "report/qt/preview_window.h"
#include "report/qt/print_report.h"
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
    const QStringList before = QDir(ProgramFolder()).entryList({"*.pdf"});
    QString title, filter, folder;
    WhenModal<PreviewWindow>([&](PreviewWindow& window) {
        // The file dialog opens once the window has gone.
        WhenModal<QFileDialog>([&](QFileDialog& dialog) {
            title = dialog.windowTitle();
            filter = dialog.nameFilters().join(";");
            folder = dialog.directory().absolutePath();
            dialog.reject();
        });
        QTest::mouseClick(window.findChild<QPushButton*>("pdfButton"), Qt::LeftButton);
    });
    EXPECT_NO_THROW(PrintReport(report, kOutputPreview));
    EXPECT_EQ(title, "Save this page as a PDF file");
    EXPECT_EQ(filter, "PDF (*.pdf)");
    EXPECT_EQ(folder, QDir(ProgramFolder()).absolutePath());
    EXPECT_EQ(QDir(ProgramFolder()).entryList({"*.pdf"}), before);
}

}  // namespace
}  // namespace ovista
