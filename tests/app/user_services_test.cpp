#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QProgressBar>
#include <QWidget>
#include <sstream>

#include "app/console_services.h"
#include "app/qt_services.h"

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

}  // namespace
}  // namespace ovista
