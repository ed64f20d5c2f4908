#include <gtest/gtest.h>

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QSplitter>
#include <QStatusBar>
#include <QTabBar>
#include <QTest>
#include <QTimer>
#include <QWheelEvent>
#include <functional>

#include "report_qt/qt_test_support.h"
#include "recording_services.h"
#include "gui/preview_window.h"
#include "gui/report_output.h"

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
    EXPECT_FALSE(pdf->isVisible());  // sample pages: no report to save as PDF
    auto* zoom = window.findChild<QComboBox*>("zoomList");
    QStringList entries;
    for (int i = 0; i < zoom->count(); ++i) entries << zoom->itemText(i);
    EXPECT_EQ(entries, QStringList({"50%", "100%", "150%", "200%", "Page Width", "Page Height", "Whole Page"}));
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

// True once the window is shown and active, so that its shortcuts take keys.
bool ReadyForKeys(PreviewWindow* window) {
    if (window == nullptr || !window->isVisible()) return false;
    if (!window->isActiveWindow()) window->activateWindow();
    return window->isActiveWindow();
}

// Runs the modal window and lets `act` handle it once it is open.
PreviewEnd RunWith(const PreviewPages& pages, std::function<void(PreviewWindow&)> act,
                   const PreviewActions& actions = {}) {
    auto* poll = new QTimer;
    QObject::connect(poll, &QTimer::timeout, [poll, act] {
        auto* window = dynamic_cast<PreviewWindow*>(QApplication::activeModalWidget());
        if (!ReadyForKeys(window)) return;
        poll->stop();
        poll->deleteLater();
        act(*window);
    });
    poll->start(10);
    return RunPreviewDialog(pages, actions);
}

// Closing in any way ends the preview; only the skip button asks for the remaining reports
// unseen, and it is there only in a batch, whose herd the caption names.
TEST_F(PreviewWindowTest, HowThePreviewIsLeft) {
    const auto click = [](const char* button) {
        return [button](PreviewWindow& window) {
            QTest::mouseClick(window.findChild<QPushButton*>(button), Qt::LeftButton);
        };
    };
    const auto key = [](QKeySequence keys) {
        return [keys](PreviewWindow& window) { QTest::keySequence(&window, keys); };
    };
    struct Case {
        const char* name;
        std::function<void(PreviewWindow&)> act;
        bool batch;
        PreviewEnd end;
    };
    const Case cases[] = {
        {"close box", [](PreviewWindow& window) { window.close(); }, false, PreviewEnd::Closed},
        {"Escape", key(QKeySequence(Qt::Key_Escape)), true, PreviewEnd::Closed},
        {"Ctrl+W", key(QKeySequence(Qt::CTRL | Qt::Key_W)), true, PreviewEnd::Closed},
        {"skip", click("skipButton"), true, PreviewEnd::SkipRemaining},
    };
    for (const Case& c : cases) {
        PreviewActions actions;
        if (c.batch) {
            actions.caption = "herd003.csv (3 of 6)";
            actions.offerSkip = true;
        }
        bool maximised = false;
        QString title;
        bool skipShown = false, pdfShown = true;
        EXPECT_EQ(RunWith(pages_, [&](PreviewWindow& window) {
                      maximised = window.isMaximized();
                      title = window.windowTitle();
                      skipShown = window.findChild<QPushButton*>("skipButton")->isVisible();
                      pdfShown = window.findChild<QPushButton*>("pdfButton")->isVisible();
                      c.act(window);
                  }, actions),
                  c.end) << c.name;
        EXPECT_TRUE(maximised) << c.name;
        EXPECT_EQ(title, c.batch ? "Print Preview - herd003.csv (3 of 6)" : "Print Preview") << c.name;
        EXPECT_EQ(skipShown, c.batch) << c.name;
        EXPECT_FALSE(pdfShown) << c.name;  // nothing to save as PDF without a report
    }
}

// The keys of a page viewer: Page Down and Up run on across the page break, Home and End go
// to the first and last page, Ctrl with +, -, 0 or the wheel zooms; a chosen zoom and a
// thumbnail leave the keyboard with the page, which is shown from its top.
TEST_F(PreviewWindowTest, KeysTurnPagesAndZoom) {
    PreviewWindow window(pages_);
    window.resize(1000, 800);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    auto* scroll = window.findChild<QScrollArea*>("pageScroll");
    QScrollBar* bar = scroll->verticalScrollBar();
    auto* zoom = window.findChild<QComboBox*>("zoomList");
    const auto percent = [&] { return qRound(window.Scale() / window.ActualSizeScale() * 100); };
    const auto press = [&](int key, Qt::KeyboardModifiers modifiers = {}) {
        QTest::keyClick(scroll, static_cast<Qt::Key>(key), modifiers);
    };
    struct Case {
        const char* name;
        std::function<void()> act;
        int page;
        int barValue;  // -1: at the bottom, -2: not checked
    };
    const Case cases[] = {
        {"Page Down at the top scrolls", [&] { press(Qt::Key_PageDown); }, 0, -2},
        {"Page Down at the bottom turns", [&] { bar->setValue(bar->maximum()); press(Qt::Key_PageDown); }, 1, 0},
        {"Page Down on the last page stays", [&] { bar->setValue(bar->maximum()); press(Qt::Key_PageDown); }, 1, -1},
        {"Page Up at the top goes to the end of the page before",
         [&] { bar->setValue(0); press(Qt::Key_PageUp); }, 0, -1},
        {"End", [&] { press(Qt::Key_End); }, 1, 0},
        {"Home", [&] { press(Qt::Key_Home); }, 0, 0},
        {"a thumbnail, from the top", [&] {
             bar->setValue(bar->maximum());
             window.findChild<QListWidget*>("thumbnails")->setCurrentRow(1);
         }, 1, 0},
    };
    window.SetZoom(PreviewWindow::Zoom::PageWidth);
    for (const Case& c : cases) {
        c.act();
        EXPECT_EQ(window.CurrentPage(), c.page) << c.name;
        if (c.barValue != -2) {
            EXPECT_EQ(bar->value(), c.barValue == -1 ? bar->maximum() : c.barValue) << c.name;
        }
    }

    struct ZoomCase {
        const char* name;
        std::function<void()> act;
        int percent;
    };
    QWheelEvent wheelUp(QPointF(10, 10), QPointF(10, 10), {}, QPoint(0, 120), Qt::NoButton,
                        Qt::ControlModifier, Qt::NoScrollPhase, false);
    const ZoomCase zooms[] = {
        {"Ctrl+0", [&] { QTest::keySequence(&window, QKeySequence(Qt::CTRL | Qt::Key_0)); }, 100},
        {"Ctrl++", [&] { QTest::keySequence(&window, QKeySequence(Qt::CTRL | Qt::Key_Plus)); }, 150},
        {"Ctrl+wheel", [&] { QApplication::sendEvent(scroll->viewport(), &wheelUp); }, 200},
        {"Ctrl++ at the top", [&] { QTest::keySequence(&window, QKeySequence(Qt::CTRL | Qt::Key_Plus)); }, 200},
        {"Ctrl+-", [&] { QTest::keySequence(&window, QKeySequence(Qt::CTRL | Qt::Key_Minus)); }, 150},
        {"Ctrl+- from a fit between steps", [&] {
             window.SetZoom(PreviewWindow::Zoom::WholePage);
             const int fit = percent();
             QTest::keySequence(&window, QKeySequence(Qt::CTRL | Qt::Key_Minus));
             EXPECT_LT(percent(), fit);
         }, 50},
    };
    for (const ZoomCase& c : zooms) {
        c.act();
        EXPECT_EQ(percent(), c.percent) << c.name;
    }

    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    zoom->setFocus();
    zoom->setCurrentIndex(2);
    emit zoom->activated(2);
    EXPECT_TRUE(scroll->hasFocus());
    EXPECT_EQ(percent(), 150);
}

// "Save to PDF" asks over the open preview for the file, with the herd's own name in the last
// folder saved into: Cancel returns to the preview, a file that cannot be written is named in
// an error box with the reason, a written one in the status bar; the preview stays open.
TEST_F(PreviewWindowTest, SaveToPdfAsksOverThePreviewAndStaysOpen) {
    const HerdReport report = testing::ExampleReport();
    const QTemporaryDir folder;
    const QString written = folder.filePath("chosen.pdf");
    const QString blocked = folder.filePath("a file/report.pdf");
    QFile(folder.filePath("a file")).open(QIODevice::WriteOnly);
    SetLastSaveFolder(folder.path());
    struct Case {
        const char* name;
        QString chosen;  // empty: Cancel
        bool fileWritten;
        std::string message;  // the start of the error box, or nothing
        QString status;
    };
    const std::vector<Case> cases = {
        {"cancel", {}, false, "", ""},
        {"cannot be written", blocked, false, "Could not write " + blocked.toStdString() + ": ", ""},
        {"written", written, true, "", "Saved the report as " + written},
    };
    testing::RecordingServices services;
    std::vector<QString> proposed;
    std::vector<bool> overPreview, openAfter;
    std::vector<QString> statuses;
    bool pdfShown = false;
    auto* poll = new QTimer;
    QObject::connect(poll, &QTimer::timeout, [&, poll] {
        auto* window = dynamic_cast<PreviewWindow*>(QApplication::activeModalWidget());
        if (!ReadyForKeys(window)) return;
        poll->stop();
        poll->deleteLater();
        pdfShown = window->findChild<QPushButton*>("pdfButton")->isVisible();
        for (const Case& c : cases) {
            window->SetSaveDialog([&, window](QWidget* parent, const QString&, const QString& path,
                                              const QString&) {
                proposed.push_back(path);
                overPreview.push_back(parent == window);
                return c.chosen;
            });
            QTest::keySequence(window, QKeySequence(Qt::CTRL | Qt::Key_S));
            openAfter.push_back(window->isVisible());
            statuses.push_back(window->findChild<QStatusBar*>("statusBar")->currentMessage());
        }
        window->close();
    });
    poll->start(10);
    EXPECT_EQ(PrintReport(report, kOutputPreview, {"", "herd001.pdf"}), PreviewEnd::Closed);
    EXPECT_TRUE(pdfShown);
    ASSERT_EQ(proposed.size(), cases.size());
    std::size_t messages = 0;
    for (std::size_t i = 0; i < cases.size(); ++i) {
        const Case& c = cases[i];
        EXPECT_EQ(proposed[i], folder.filePath("herd001.pdf")) << c.name;
        EXPECT_TRUE(overPreview[i]) << c.name;
        EXPECT_TRUE(openAfter[i]) << c.name;
        EXPECT_EQ(statuses[i], c.status) << c.name;
        EXPECT_EQ(QFile::exists(c.chosen), c.fileWritten) << c.name;
        if (c.message.empty()) continue;
        ASSERT_LT(messages, services.infos.size()) << c.name;
        EXPECT_EQ(services.infos[messages].substr(0, c.message.size()), c.message) << c.name;
        EXPECT_GT(services.infos[messages].size(), c.message.size()) << c.name << ": no reason";
        EXPECT_EQ(services.kinds[messages], MessageKind::Error) << c.name;
        ++messages;
    }
    EXPECT_EQ(services.infos.size(), messages);
    QFile pdf(written);
    ASSERT_TRUE(pdf.open(QIODevice::ReadOnly));
    EXPECT_TRUE(pdf.read(5) == "%PDF-");
    EXPECT_EQ(LastSaveFolder(), folder.path());
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
    // As a batch shows it: the caption names the herd, the rest of the batch may be skipped.
    ASSERT_NO_THROW(PrintReport(report, kOutputPreview, {folder.path().toStdString(), "herd001.pdf"},
                                nullptr, {"herd001.csv (1 of 6)", true}));
    EXPECT_EQ(tabCount, 2);
    EXPECT_EQ(thumbnailCount, 2);
    EXPECT_TRUE(QDir(folder.path()).isEmpty());
}

}  // namespace
}  // namespace ovista
