#include <gtest/gtest.h>

#include <QComboBox>
#include <QDir>
#include <QTemporaryDir>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QScrollArea>
#include <QSplitter>
#include <QTabBar>
#include <QTest>
#include <QTimer>
#include <functional>

#include "qt_test_support.h"
#include "report/qt/preview_window.h"
#include "report/qt/print_report.h"

namespace ovista {
namespace {

class PreviewWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        testing::EnsureApplication();
        pages_ = testing::SamplePages(2, {4958, 7017});
    }
    PreviewPages pages_;
};

TEST_F(PreviewWindowTest, ControlsTabsAndZoom) {
    PreviewWindow window(pages_);
    window.resize(1200, 900);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));

    EXPECT_EQ(window.windowTitle(), "Print Preview");
    EXPECT_EQ(window.findChild<QPushButton*>("printButton")->text(), "Print...");
    EXPECT_EQ(window.findChild<QLabel*>("zoomLabel")->text(), "Zoom:");
    EXPECT_EQ(window.findChild<QPushButton*>("jpegButton")->text(), "Save to JPEG");
    auto* pdf = window.findChild<QPushButton*>("pdfButton");
    EXPECT_EQ(pdf->text(), "Save to PDF");
    EXPECT_TRUE(pdf->isVisible());
    auto* zoom = window.findChild<QComboBox*>("zoomList");
    QStringList entries;
    for (int i = 0; i < zoom->count(); ++i) entries << zoom->itemText(i);
    EXPECT_EQ(entries, QStringList({"%50", "%100", "%150", "%200", "Page Width", "Page Height", "Whole Page"}));
    EXPECT_EQ(zoom->currentText(), "Page Width");
    EXPECT_EQ(window.findChild<QSplitter*>("splitter")->sizes().value(0), 161);
    EXPECT_EQ(window.findChild<QListWidget*>("thumbnails")->count(), 2);

    auto* tabs = window.findChild<QTabBar*>("pageTabs");
    ASSERT_EQ(tabs->count(), 2);
    EXPECT_EQ(tabs->tabText(0), "1");
    EXPECT_EQ(tabs->tabText(1), "2");
    EXPECT_TRUE(tabs->font().bold());
    EXPECT_GT(tabs->height(), 0);
    tabs->setCurrentIndex(1);
    EXPECT_EQ(window.CurrentPage(), 1);
    tabs->setCurrentIndex(0);
    EXPECT_EQ(window.CurrentPage(), 0);

    // Percentages scale the page against its actual size; the fits fill the viewport.
    const double percents[] = {50, 100, 150, 200};
    for (int i = 0; i < 4; ++i) {
        zoom->setCurrentIndex(i);
        EXPECT_DOUBLE_EQ(window.Scale(), window.ActualSizeScale() * percents[i] / 100) << i;
    }
    auto* view = window.findChild<QWidget*>("pageView");
    const QSize room = window.findChild<QScrollArea*>("pageScroll")->maximumViewportSize();
    zoom->setCurrentText("Page Width");
    EXPECT_LE(view->width(), room.width());
    EXPECT_GT(view->width(), room.width() - 50);
    EXPECT_GT(view->height(), room.height());
    zoom->setCurrentText("Page Height");
    EXPECT_LE(view->height(), room.height());
    EXPECT_GT(view->height(), room.height() - 50);
    zoom->setCurrentText("Whole Page");
    EXPECT_LE(view->height(), room.height());
    EXPECT_LE(view->width(), room.width());
    EXPECT_GT(std::max(view->width() - room.width(), view->height() - room.height()), -50);
}

// Runs the modal window and lets `act` handle it once it is open.
bool RunWith(const PreviewPages& pages, std::function<void(PreviewWindow&)> act) {
    auto* poll = new QTimer;
    QObject::connect(poll, &QTimer::timeout, [poll, act] {
        auto* window = dynamic_cast<PreviewWindow*>(QApplication::activeModalWidget());
        if (window == nullptr || !window->isVisible()) return;
        poll->stop();
        poll->deleteLater();
        act(*window);
    });
    poll->start(10);
    return RunPreviewDialog(pages);
}

TEST_F(PreviewWindowTest, SaveToPdfIsTheOnlyPdfRequest) {
    bool maximised = false;
    EXPECT_TRUE(RunWith(pages_, [&](PreviewWindow& window) {
        maximised = window.isMaximized();
        QTest::mouseClick(window.findChild<QPushButton*>("pdfButton"), Qt::LeftButton);
    }));
    EXPECT_TRUE(maximised);
    EXPECT_FALSE(RunWith(pages_, [](PreviewWindow& window) { window.close(); }));
    EXPECT_FALSE(RunWith(pages_, [](PreviewWindow& window) { QTest::keyClick(&window, Qt::Key_Escape); }));
}

// A report preview holds the two report pages; closing it writes nothing. With
// OVISTA_PREVIEW_SHOT naming a file, the window is saved there as a picture.
TEST_F(PreviewWindowTest, ReportPreviewShowsBothPages) {
    const HerdReport report = testing::ExampleReport();
    ASSERT_FALSE(report.Owner.empty());
    int tabCount = 0;
    int thumbnailCount = 0;
    auto* poll = new QTimer;
    QObject::connect(poll, &QTimer::timeout, [&, poll] {
        auto* window = dynamic_cast<PreviewWindow*>(QApplication::activeModalWidget());
        if (window == nullptr || !window->isVisible()) return;
        poll->stop();
        poll->deleteLater();
        tabCount = window->findChild<QTabBar*>("pageTabs")->count();
        thumbnailCount = window->findChild<QListWidget*>("thumbnails")->count();
        if (const QString shot = qEnvironmentVariable("OVISTA_PREVIEW_SHOT"); !shot.isEmpty()) {
            window->setWindowState(Qt::WindowNoState);
            window->resize(1100, 800);
            QApplication::processEvents();
            window->grab().save(shot);
        }
        window->close();
    });
    poll->start(10);
    const QTemporaryDir folder;
    ASSERT_NO_THROW(PrintReport(report, kOutputPreview, {folder.path().toStdString(), "report.pdf"}));
    EXPECT_EQ(tabCount, 2);
    EXPECT_EQ(thumbnailCount, 2);
    EXPECT_TRUE(QDir(folder.path()).isEmpty());
}

}  // namespace
}  // namespace ovista
