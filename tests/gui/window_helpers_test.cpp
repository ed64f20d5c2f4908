// The main window's helpers: the date field, the place of the window on a small screen, the
// PDF folder check and what the window says at the end of a run.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCalendarWidget>
#include <QLineEdit>
#include <QTest>
#include <QToolButton>
#include <filesystem>
#include <string>
#include <vector>

#include "gui/config_folder.h"
#include "gui/date_field.h"
#include "gui/pdf_folder_check.h"
#include "gui/run_end_text.h"
#include "gui/window_fit.h"
#include "test_files.h"

namespace ovista {
namespace {

namespace fs = std::filesystem;

void EnsureApplication() {
    if (QApplication::instance() != nullptr) return;
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "test_app";
    static char* argv[] = {name, nullptr};
    new QApplication(argc, argv);  // lives until the process ends
}

// Typed over 08/12/2026 with the cursor anywhere, a whole date is that date; text that is no
// date stays as typed, never becomes another date.
TEST(DateField, TypedKeysGiveTheTypedDateOrNone) {
    EnsureApplication();
    struct Case {
        int cursor;          // where the typing starts
        int backspaces;      // pressed first: editing the date shown
        const char* typed;
        QDate date;          // invalid: no date
        const char* text;    // the field's text after Enter
    };
    const QDate may31(2026, 5, 31);
    const Case cases[] = {
        {0, 0, "31/05/2026", may31, "31/05/2026"},
        {5, 0, "31/05/2026", may31, "31/05/2026"},
        {10, 0, "31/05/2026", may31, "31/05/2026"},
        {0, 0, "31/5/2026", may31, "31/05/2026"},
        {3, 0, "31/05/26", may31, "31/05/2026"},
        {10, 0, "1.6.99", QDate(1999, 6, 1), "01/06/1999"},
        {10, 4, "2027", QDate(2027, 12, 8), "08/12/2027"},
        {0, 0, "20/03/1", QDate(), "20/03/1"},
        {0, 0, "31/02/2026", QDate(), "31/02/2026"},
        {10, 0, "yesterday", QDate(), "yesterday"},
    };
    DateField field;
    for (const Case& c : cases) {
        field.setDate(QDate(2026, 12, 8));
        QLineEdit* edit = field.lineEdit();
        edit->setCursorPosition(c.cursor);
        for (int i = 0; i < c.backspaces; ++i) QTest::keyClick(edit, Qt::Key_Backspace);
        QTest::keyClicks(edit, c.typed);
        EXPECT_EQ(field.date(), c.date) << c.typed << " from " << c.cursor;
        QTest::keyClick(edit, Qt::Key_Return);
        EXPECT_EQ(field.CheckText(), c.date.isValid()) << c.typed;
        EXPECT_EQ(edit->text().toStdString(), c.text) << c.typed << " from " << c.cursor;
        EXPECT_EQ(edit->styleSheet().isEmpty(), c.date.isValid()) << c.typed << ": marked";
    }
    // The calendar still sets the date.
    field.show();
    field.findChild<QToolButton*>("calendarButton")->click();
    auto* calendar = field.findChild<QCalendarWidget*>("calendarPopup");
    ASSERT_NE(calendar, nullptr);
    emit calendar->clicked(may31);
    EXPECT_EQ(field.date(), may31);
}

// 1600 x 1000 screen pixels at scale factor 2 leave 800 x 500 (a panel takes 30 at the top);
// a title bar of 20 and borders of 4. The whole frame is always on the screen.
TEST(WindowFit, TheWholeFrameFitsTheRoom) {
    const QRect room(0, 30, 800, 470);
    const QMargins frame(4, 20, 4, 4);
    struct Case {
        const char* name;
        QRect window;
        bool placed;
        QRect fitted;
    };
    const Case cases[] = {
        {"first start, taller than the room", QRect(0, 0, 560, 500), false, QRect(120, 50, 560, 446)},
        {"remembered larger than the screen", QRect(-50, -30, 1200, 900), true, QRect(4, 50, 792, 446)},
        {"remembered and fits", QRect(100, 80, 400, 300), true, QRect(100, 80, 400, 300)},
        {"remembered half off the right", QRect(600, 80, 400, 300), true, QRect(396, 80, 400, 300)},
        {"remembered above the room", QRect(100, 10, 400, 300), true, QRect(100, 50, 400, 300)},
    };
    for (const Case& c : cases) {
        const QRect fitted = FitWindowInRoom(c.window, frame, room, c.placed);
        EXPECT_EQ(fitted, c.fitted) << c.name;
        EXPECT_TRUE(room.contains(fitted.marginsAdded(frame))) << c.name;
    }
}

// The reports' folder is checked before a run: one that is there or can be made passes, one
// that cannot be made or written is named with the reason.
TEST(PdfFolderCheck, SaysWhyAFolderCannotTakeTheReports) {
    const fs::path root = testing::PrivateFolder("ovista_pdfcheck_");
    fs::remove_all(root);
    fs::create_directories(root / "there");
    testing::WriteFile(root / "file", "not a folder");
    struct Case {
        std::string folder;
        std::string problem;
    };
    std::vector<Case> cases = {
        {(root / "there").string(), ""},
        {(root / "missing" / "parent" / "pdf").string(), ""},
        {(root / "file").string(), "a file of that name is in the way"},
        {(root / "file" / "pdf").string(), (root / "file").string() + " is a file, not a folder"},
    };
    // Root may write anywhere but on a read-only mount: the kernel's own tree serves.
    const bool readOnlyFound = !FolderWritable("/proc/sys");
    if (readOnlyFound) {
        cases.push_back({"/proc/sys/pdf", "/proc/sys cannot be written, so the folder cannot be made in it"});
    }
    for (const Case& c : cases) EXPECT_EQ(PdfFolderProblem(c.folder), c.problem) << c.folder;
    fs::remove_all(root);
    if (!readOnlyFound) GTEST_SKIP() << "the read-only case: /proc/sys is writable here";
}

// The end of a run names up to five failed herds and counts the rest; a run that analysed
// nothing does not call itself completed.
TEST(RunEndText, NamesTheFailedHerds) {
    const std::string log = "/x/QMRBATCH.REP";
    const auto failures = [](int n) {
        std::vector<FailedHerd> herds;
        for (int i = 1; i <= std::min<int>(n, kNamedFailedHerds); ++i) {
            herds.push_back({"herd" + std::to_string(i) + ".csv", "analysis failed with error code 2"});
        }
        return herds;
    };
    const std::string named5 =
        "\n\nFailed:\nherd1.csv: analysis failed with error code 2\nherd2.csv: analysis failed with error code 2"
        "\nherd3.csv: analysis failed with error code 2\nherd4.csv: analysis failed with error code 2"
        "\nherd5.csv: analysis failed with error code 2";
    struct Case {
        int herds, failed;
        std::string text;
    };
    const Case cases[] = {
        {6, 0, "Task completed: 6 herds analysed, 0 failed, 6 reports printed (batch log: /x/QMRBATCH.REP)"},
        {6, 1,
         "Task completed: 5 herds analysed, 1 failed, 5 reports printed (batch log: /x/QMRBATCH.REP)"
         "\n\nFailed:\nherd1.csv: analysis failed with error code 2"},
        {8, 5, "Task completed: 3 herds analysed, 5 failed, 3 reports printed (batch log: /x/QMRBATCH.REP)" + named5},
        {8, 6,
         "Task completed: 2 herds analysed, 6 failed, 2 reports printed (batch log: /x/QMRBATCH.REP)" + named5 +
             "\nand 1 more (see /x/QMRBATCH.REP)"},
        {3, 3,
         "The run ended: 0 herds analysed, 3 failed, 0 reports printed (batch log: /x/QMRBATCH.REP)"
         "\n\nFailed:\nherd1.csv: analysis failed with error code 2\nherd2.csv: analysis failed with error "
         "code 2\nherd3.csv: analysis failed with error code 2"},
    };
    for (const Case& c : cases) {
        BatchTally tally{c.herds, c.failed, c.herds - c.failed, 0, failures(c.failed)};
        bool warning = false;
        EXPECT_EQ(RunEndText(tally, ReportOutput{}, log, warning), c.text) << c.failed;
        EXPECT_EQ(warning, c.failed > 0) << c.failed;
    }
}

}  // namespace
}  // namespace ovista
