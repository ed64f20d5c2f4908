#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QTimer>
#include <QWidget>
#include <sstream>

#include "app/console_services.h"
#include "gui/qt_services.h"

namespace ovista {
namespace {

TEST(ConsoleServices, EveryMessageAndStatusTextIsOneLine) {
    std::ostringstream err;
    ConsoleServices console(err);
    console.ShowInfo("Could not open /x/herds.qmb");
    console.ShowInfo("");
    {
        auto status = console.ShowStatus("Extracting data from herd.csv");
        EXPECT_NE(status, nullptr);
    }
    console.PumpMessages();
    EXPECT_EQ(err.str(), "Could not open /x/herds.qmb\n\nExtracting data from herd.csv\n");
}

class QtServicesTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        if (QApplication::instance() != nullptr) return;
        if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
        static int argc = 1;
        static char name[] = "test_app";
        static char* argv[] = {name, nullptr};
        new QApplication(argc, argv);  // lives until the process ends
    }
    static QString Text(const QWidget* window) {
        return window->findChild<QLabel*>("Msg")->text();
    }
};

TEST_F(QtServicesTest, StatusWindowsFormAStack) {
    QtServices services;
    EXPECT_EQ(services.TopStatusWindow(), nullptr);
    auto older = services.ShowStatus("Extracting data from a.csv");
    auto newer = services.ShowStatus("Extracting data from b.csv");
    ASSERT_NE(services.TopStatusWindow(), nullptr);
    EXPECT_EQ(Text(services.TopStatusWindow()), "Extracting data from b.csv");
    newer.reset();
    ASSERT_NE(services.TopStatusWindow(), nullptr);
    EXPECT_EQ(Text(services.TopStatusWindow()), "Extracting data from a.csv");
    older.reset();
    EXPECT_EQ(services.TopStatusWindow(), nullptr);
}

TEST_F(QtServicesTest, AStatusWindowIsFramelessOnTopWithItsProgressHidden) {
    QtServices services;
    auto status = services.ShowStatus("Reading");
    const QWidget* form = services.TopStatusWindow();
    ASSERT_NE(form, nullptr);
    EXPECT_TRUE(form->isVisible());
    EXPECT_TRUE(form->windowFlags().testFlag(Qt::FramelessWindowHint));
    EXPECT_TRUE(form->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    const auto* bar = form->findChild<QProgressBar*>("ProgressBar");
    ASSERT_NE(bar, nullptr);
    EXPECT_EQ(bar->minimum(), 0);
    EXPECT_EQ(bar->maximum(), 1000);
    EXPECT_FALSE(form->findChild<QWidget*>("ProgressPanel")->isVisible());
    services.PumpMessages();
}

// A message box carries the icon of what it says and the short title "Ovista"; the status
// windows, which stay on top of everything, step aside while it is open.
TEST_F(QtServicesTest, AMessageBoxShowsItsKindAndNoStatusWindowCoversIt) {
    QtServices services;
    auto status = services.ShowStatus("Extracting Tamsel data for H1");
    struct Case {
        MessageKind kind;
        QMessageBox::Icon icon;
    };
    for (const Case& c : {Case{MessageKind::Information, QMessageBox::Information},
                          Case{MessageKind::Warning, QMessageBox::Warning},
                          Case{MessageKind::Error, QMessageBox::Critical}}) {
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        QString title;
        bool statusShown = true;
        QTimer::singleShot(0, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            ASSERT_NE(box, nullptr);
            icon = box->icon();
            title = box->windowTitle();
            statusShown = services.TopStatusWindow()->isVisible();
            box->accept();
        });
        services.ShowMessage(c.kind, "Could not open /x/herds.qmb");
        EXPECT_EQ(icon, c.icon);
        EXPECT_EQ(title, "Ovista");
        EXPECT_FALSE(statusShown);
        EXPECT_TRUE(services.TopStatusWindow()->isVisible());
    }
}

}  // namespace
}  // namespace ovista
