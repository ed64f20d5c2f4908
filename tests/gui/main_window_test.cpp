#include "gui/main_window.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QTest>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "gui/config_folder.h"
#include "gui/date_field.h"
#include "batch/run_files.h"
#include "batch/working_folder.h"
#include "recording_services.h"
#include "test_files.h"
#include "test_job.h"

namespace ovista {
namespace {

namespace fs = std::filesystem;
using testing::PrivateFolder;
using testing::ReadFile;
using testing::WriteFile;

struct AnalysisCall {
    std::string herdNumber;
    Date analysisDate;
    std::string owner;
    std::string address;
};

class MainWindowTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        if (QApplication::instance() != nullptr) return;
        if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
        static int argc = 1;
        static char name[] = "test_app";
        static char* argv[] = {name, nullptr};
        new QApplication(argc, argv);  // lives until the process ends
    }

    MainWindowTest() {
        SetToday(2005, 11, 30);
        root_ = PrivateFolder("ovista_window_");
        program_ = root_ / "program";
        config_ = root_ / "config" / "ovista";
        transfer_ = root_ / "transfer";
        fs::remove_all(root_);
        fs::create_directories(program_);
        fs::create_directories(transfer_);
        setup_.programFolder = program_.string();
        setup_.configFolder = config_.string();
        setup_.folderWritable = [this](const std::string& folder) {
            return programWritable_ && folder == program_.string();
        };
        setup_.steps.analyse = [this](const std::string& herdNumber, Date analysisDate,
                                      const std::string& owner, const std::string& address,
                                      HerdList&, HerdReport& report, const std::string&,
                                      const SummaryWriter&, UserServices&, CowLists*, ReportExtent) {
            calls_.push_back({herdNumber, analysisDate, owner, address});
            ClearHerdReport(report);
            report.AnalysisCalvingPattern = 1;  // seasonal: a report to print
        };
        setup_.steps.print = [this](const HerdReport&, const ReportOutput& output) {
            previews_.push_back(output.preview);
            outputs_.push_back(output);
        };
        setup_.homeFolder = (root_ / "home").string();
        setup_.reports = &testing::NoReportSink();  // a printer, unless a test says otherwise
    }
    ~MainWindowTest() override {
        window_.reset();
        SetTodayFromClock();
        fs::remove_all(root_);
    }

    MainWindow& Show(const CommandLineValues& keys = {}) {
        window_.emplace(keys, setup_);
        window_->show();
        return *window_;
    }
    template <typename T>
    T* Find(const char* name) const {
        T* widget = window_->findChild<T*>(name);
        EXPECT_NE(widget, nullptr) << name;
        return widget;
    }
    QString Text(const char* lineEdit) const { return Find<QLineEdit>(lineEdit)->text(); }
    // A click where a person would click: a radio button's indicator, at its left end.
    void Click(const char* name) {
        QAbstractButton* button = Find<QAbstractButton>(name);
        const int middle = button->height() / 2;
        QTest::mouseClick(button, Qt::LeftButton, {},
                          qobject_cast<QRadioButton*>(button) ? QPoint(middle, middle)
                                                              : button->rect().center());
    }
    // The one-herd item with a herd file and the transfer folder.
    void ChooseOneHerd(const fs::path& herd) {
        Click("csvItem");
        Find<QLineEdit>("inputFile")->setText(QString::fromStdString(herd.string()));
        Find<QLineEdit>("transferFolder")->setText(QString::fromStdString(transfer_.string()));
    }
    // A herd file without identification row, so the batch line's fields reach the analysis.
    fs::path Herd() const {
        const fs::path herd = root_ / "herd, one.csv";
        WriteFile(herd, "CowID,Calved\r\nA1,01/08/2004\r\n");
        return herd;
    }

    testing::RecordingServices services_;
    fs::path root_;
    fs::path program_;
    fs::path config_;
    fs::path transfer_;
    bool programWritable_ = true;
    MainWindowSetup setup_;
    std::vector<AnalysisCall> calls_;
    std::vector<bool> previews_;  // the preview flag of each report printed
    std::vector<ReportOutput> outputs_;
    std::optional<MainWindow> window_;
};

TEST_F(MainWindowTest, TheChoiceOfRunRelabelsTheFileAndShowsTheDateForOneHerdOnly) {
    MainWindow& window = Show();
    EXPECT_EQ(window.windowTitle(), "Tamsel Ovista Report");
    EXPECT_EQ(Find<QLabel>("versionLabel")->text(), "Version 2.H");
    EXPECT_EQ(Find<QLabel>("dateLabel")->text(), "30/11/05");
    EXPECT_EQ(Find<DateField>("analysisDate")->date(), QDate(2005, 11, 30));
    struct Case {
        const char* item;
        const char* label;
        bool dateShown;
    };
    for (const Case& c : {Case{"csvItem", "&Input CSV file name", true},
                          Case{"batchItem", "&Input batch file name", false},
                          Case{"csvItem", "&Input CSV file name", true}}) {
        Click(c.item);
        EXPECT_EQ(Find<QLabel>("inputFileLabel")->text(), c.label) << c.item;
        EXPECT_EQ(Find<QLabel>("analysisDateLabel")->isVisible(), c.dateShown) << c.item;
        EXPECT_EQ(Find<DateField>("analysisDate")->isVisible(), c.dateShown) << c.item;
    }
}

TEST_F(MainWindowTest, TheDefaultsFileFillsTheFieldsWhenShown) {
    struct Case {
        const char* name;
        std::optional<std::string> file;  // nothing: no defaults file
        CommandLineValues keys;
        QString inputFile, transferFolder;
        std::vector<std::string> infos;
    };
    CommandLineValues keys;
    keys.batchFile = "/x/from-key.qmb";
    keys.transferFolder = "/x/key-xfer";
    keys.preview = 1;
    const Case cases[] = {
        // A first start: nothing to remember yet, and nothing to say about it.
        {"none", std::nullopt, {}, "", "", {}},
        {"none, keys", std::nullopt, keys, "/x/from-key.qmb", "/x/key-xfer", {}},
        {"three lines", "/h/herds.qmb\r\n/h/xfer\r\n0\r\n", keys, "/h/herds.qmb", "/h/xfer", {}},
        {"one line", "/h/only.qmb", {}, "/h/only.qmb", "", {}},
        {"LF lines", "/h/a b.qmb\n/h/x y\n", {}, "/h/a b.qmb", "/h/x y", {}},
        {"there but not readable", "(a folder)", keys, "/x/from-key.qmb", "/x/key-xfer",
         {"No default settings available"}},
    };
    for (const Case& c : cases) {
        fs::remove_all(program_ / "DEFLT.TXT");
        if (c.file == "(a folder)") {
            fs::create_directories(program_ / "DEFLT.TXT");
        } else if (c.file) {
            WriteFile(program_ / "DEFLT.TXT", *c.file);
        }
        services_.infos.clear();
        Show(c.keys);
        EXPECT_EQ(Text("inputFile"), c.inputFile) << c.name;
        EXPECT_EQ(Text("transferFolder"), c.transferFolder) << c.name;
        EXPECT_EQ(Find<QCheckBox>("previewReports")->isChecked(), c.keys.preview == 1) << c.name;
        EXPECT_EQ(services_.infos, c.infos) << c.name;
        EXPECT_EQ(Find<QLineEdit>("inputFile")->placeholderText(), "Choose a batch file") << c.name;
        EXPECT_EQ(Find<QLineEdit>("transferFolder")->placeholderText(),
                  "Choose the data transfer folder") << c.name;
        window_->hide();
        window_->show();  // shown again: read once only
        EXPECT_EQ(services_.infos, c.infos) << c.name;
    }
}

TEST_F(MainWindowTest, ClosingWritesTheDefaultsWithCrLfOrSaysItCouldNot) {
    MainWindow& window = Show();
    Find<QLineEdit>("inputFile")->setText("/h/herds.qmb");
    Find<QLineEdit>("transferFolder")->setText("/h/xfer");
    EXPECT_TRUE(window.close());
    EXPECT_EQ(ReadFile(program_ / "DEFLT.TXT"), "/h/herds.qmb\r\n/h/xfer\r\n0\r\n");

    // No writable program folder and a configuration folder that cannot be made.
    programWritable_ = false;
    fs::remove_all(root_ / "config");  // the settings file of the first close is there
    WriteFile(root_ / "config", "a file, not a folder");
    services_.infos.clear();
    Show();
    window_->close();
    EXPECT_EQ(services_.infos, std::vector<std::string>{"Could not save defaults"});
}

// Tab goes down the window as it is laid out; Alt and a control's underlined letter reach it.
TEST_F(MainWindowTest, TabFollowsTheScreenAndAltLettersReachTheFields) {
    MainWindow& window = Show();
    Click("csvItem");
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    Find<QWidget>("csvItem")->setFocus();
    std::vector<std::string> order;
    for (int i = 0; i < 11; ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        order.push_back(QApplication::focusWidget()->objectName().toStdString());
    }
    EXPECT_EQ(order, (std::vector<std::string>{"inputFile", "browseInputFile", "transferFolder",
                                               "browseTransferFolder", "printItem", "pdfFolder",
                                               "browsePdfFolder", "dateText", "previewReports",
                                               "trendPage", "cowLists"}));
    for (const auto& [key, field] : {std::pair{Qt::Key_I, "inputFile"}, std::pair{Qt::Key_T, "transferFolder"},
                                     std::pair{Qt::Key_A, "dateText"}}) {
        QTest::keyClick(&window, key, Qt::AltModifier);
        EXPECT_EQ(QApplication::focusWidget()->objectName().toStdString(), field);
    }
    for (const char* control : {"batchItem", "csvItem", "printItem", "pdfItem", "previewReports", "trendPage",
                                "cowLists", "runAnalysis"}) {
        EXPECT_TRUE(Find<QAbstractButton>(control)->text().contains('&')) << control;
    }
}

// A typed date that is no date stays as typed and runs nothing; the message names it.
TEST_F(MainWindowTest, AnAnalysisDateThatIsNoDateRunsNothing) {
    Show();
    ChooseOneHerd(Herd());
    QLineEdit* date = Find<DateField>("analysisDate")->lineEdit();
    date->setText("31/02/2026");
    services_.infos.clear();
    Click("runAnalysis");
    EXPECT_EQ(services_.infos, std::vector<std::string>{
                                   "The analysis date \"31/02/2026\" is not a date: type it as "
                                   "day/month/year, such as 31/05/2026."});
    EXPECT_TRUE(calls_.empty());
    EXPECT_EQ(date->text(), "31/02/2026");
    EXPECT_FALSE(date->styleSheet().isEmpty()) << "marked";
}

TEST_F(MainWindowTest, RunningWithoutATransferFolderRunsNothing) {
    Show();
    ChooseOneHerd(Herd());
    Find<QLineEdit>("transferFolder")->clear();
    services_.infos.clear();
    Click("runAnalysis");
    EXPECT_EQ(services_.infos,
              std::vector<std::string>{"You must select a folder for data transfer"});
    EXPECT_TRUE(calls_.empty());
    EXPECT_FALSE(fs::exists(program_ / "QMRBatch.QMB"));
    EXPECT_FALSE(fs::exists(transfer_ / "QMRBATCH.REP"));
}

// One herd CSV file: a one-line batch file, then the batch run of it. Beside the program
// when its folder can be written, else in the configuration folder, defaults included.
TEST_F(MainWindowTest, OneHerdRunWritesTheOneLineBatchFileAndRunsIt) {
    for (const bool writable : {true, false}) {
        programWritable_ = writable;
        calls_.clear();
        previews_.clear();
        const fs::path own = writable ? program_ : config_;
        const fs::path other = writable ? config_ : program_;
        const std::string herd = Herd().string();
        MainWindow& window = Show();
        EXPECT_EQ(window.OwnFilesFolder(), own.string() + "/");
        ChooseOneHerd(herd);
        Find<DateField>("analysisDate")->setDate(QDate(2005, 3, 1));
        Find<QCheckBox>("previewReports")->setChecked(writable);
        services_.infos.clear();
        Click("runAnalysis");

        const std::string batchFile = (own / "QMRBatch.QMB").string();
        // The owner is "Unknown" like the herd number: a file path is never a farmer's name.
        EXPECT_EQ(ReadFile(batchFile), "\"" + herd +
                                           "\",\"Unknown\",\"Unknown\",\"Unknown address\",01/03/05\r\n");
        ASSERT_EQ(calls_.size(), 1u);
        EXPECT_EQ(calls_[0].herdNumber, "Unknown");
        EXPECT_EQ(calls_[0].analysisDate, MakeDate(1, 3, 2005));
        EXPECT_EQ(calls_[0].owner, "Unknown");
        EXPECT_EQ(calls_[0].address, "Unknown address");
        EXPECT_EQ(previews_, std::vector<bool>{writable});
        EXPECT_EQ(ReadFile(transfer_ / "QMRBATCH.REP"), "Data analysed from " + herd + "\r\n");
        ASSERT_FALSE(services_.infos.empty());
        EXPECT_EQ(services_.infos.back(), std::string("Task completed: 1 herd analysed, 0 failed, 1 report ") +
                                              (writable ? "shown" : "printed") + " (batch log: " +
                                              (transfer_ / "QMRBATCH.REP").string() + ")");
        EXPECT_EQ(services_.kinds.back(), MessageKind::Information);
        EXPECT_TRUE(Find<QPushButton>("runAnalysis")->isEnabled());

        window.close();
        EXPECT_TRUE(fs::exists(own / "DEFLT.TXT"));
        EXPECT_FALSE(fs::exists(other / "DEFLT.TXT"));
        EXPECT_FALSE(fs::exists(other / "QMRBatch.QMB"));
        fs::remove_all(own);
        fs::create_directories(program_);
    }
}

// The run pumps window messages, so a person may press the buttons or close the window
// in the middle of it: nothing starts twice, and the window closes when the run has ended.
TEST_F(MainWindowTest, DuringARunTheControlsWaitAndACloseWaitsForTheEnd) {
    const auto analyse = setup_.steps.analyse;
    bool runEnabledDuringRun = true;
    setup_.steps.analyse = [&](auto&&... arguments) {
        runEnabledDuringRun = Find<QPushButton>("runAnalysis")->isEnabled();
        window_->RunAnalysis();  // a second press, pumped in
        EXPECT_FALSE(window_->close());
        EXPECT_TRUE(window_->isVisible());
        analyse(arguments...);
    };
    Show();
    ChooseOneHerd(Herd());
    services_.infos.clear();
    Click("runAnalysis");
    EXPECT_FALSE(runEnabledDuringRun);
    EXPECT_EQ(calls_.size(), 1u);
    ASSERT_EQ(services_.infos.size(), 1u);
    EXPECT_EQ(services_.infos[0].rfind("Task completed: 1 herd analysed", 0), 0u) << services_.infos[0];
    EXPECT_FALSE(window_->isVisible());
    EXPECT_TRUE(fs::exists(program_ / "DEFLT.TXT"));
}

// The reports go to the printer or into PDF files (by default the folder pdf in the transfer
// folder); with preview, PDF files are for the previews skipped. A machine without printer
// says so in the window's words at every run that would print. A run that stopped on an error
// says that error only.
TEST_F(MainWindowTest, WhereTheReportsGoAndWhatTheRunSays) {
    bool printer = true;
    setup_.steps.printerInstalled = [&printer] { return printer; };
    const std::string log = " (batch log: " + (transfer_ / "QMRBATCH.REP").string() + ")";
    struct Case {
        const char* name;
        bool printer, preview, pdf;
        std::string pdfFolderText;
        std::string transfer;  // empty: the test's transfer folder
        std::vector<std::string> infos;
        std::vector<MessageKind> kinds;
        std::string pdfFolder, skippedPdfFolder;  // of the report's output; "-": none printed
    };
    const std::string pdfDefault = (transfer_ / "pdf").string();
    const std::string missing = (root_ / "missing").string();
    const std::string pdfs = (root_ / "new" / "pdfs").string();
    const std::string inTheWay = (root_ / "file").string();
    WriteFile(inTheWay, "a file");
    const Case cases[] = {
        {"print", true, false, false, "", "",
         {"Task completed: 1 herd analysed, 0 failed, 1 report printed" + log},
         {MessageKind::Information}, "", ""},
        {"no printer", false, false, false, "", "",
         {kWindowNoPrinterMessage, "Task completed: 1 herd analysed, 0 failed, 0 reports printed" + log},
         {MessageKind::Warning, MessageKind::Warning}, "-", ""},
        {"no printer, again", false, false, false, "", "",
         {kWindowNoPrinterMessage, "Task completed: 1 herd analysed, 0 failed, 0 reports printed" + log},
         {MessageKind::Warning, MessageKind::Warning}, "-", ""},
        {"PDF files, default folder", false, false, true, "", "",
         {"Task completed: 1 herd analysed, 0 failed, 1 report saved as a PDF file" + log},
         {MessageKind::Information}, pdfDefault, ""},
        {"PDF files behind the preview", false, true, true, pdfs, "",
         {"Task completed: 1 herd analysed, 0 failed, 1 report shown" + log},
         {MessageKind::Information}, "", pdfs},
        {"PDF folder: a file in the way", true, false, true, inTheWay, "",
         {"The reports cannot be saved in the PDF folder\n" + inTheWay +
          "\na file of that name is in the way."},
         {MessageKind::Error}, "-", ""},
        {"stopped: no transfer folder", true, false, false, "", missing,
         {"Could not open " + missing + "/QMRBATCH.REP: No such file or directory"},
         {MessageKind::Error}, "-", ""},
    };
    for (const Case& c : cases) {
        printer = c.printer;
        Show();
        ChooseOneHerd(Herd());
        if (!c.transfer.empty()) Find<QLineEdit>("transferFolder")->setText(QString::fromStdString(c.transfer));
        Find<QCheckBox>("previewReports")->setChecked(c.preview);
        Click(c.pdf ? "pdfItem" : "printItem");
        Find<QLineEdit>("pdfFolder")->setText(QString::fromStdString(c.pdfFolderText));
        services_.infos.clear();
        services_.kinds.clear();
        outputs_.clear();
        Click("runAnalysis");
        EXPECT_EQ(services_.infos, c.infos) << c.name;
        EXPECT_EQ(services_.kinds, c.kinds) << c.name;
        if (c.pdfFolder == "-") {
            EXPECT_TRUE(outputs_.empty()) << c.name;
            continue;
        }
        ASSERT_EQ(outputs_.size(), 1u) << c.name;
        EXPECT_EQ(outputs_[0].preview, c.preview) << c.name;
        EXPECT_EQ(outputs_[0].pdfFolder, c.pdfFolder) << c.name;
        EXPECT_EQ(outputs_[0].skippedPdfFolder, c.skippedPdfFolder) << c.name;
    }
}

// Closing keeps the chosen item, each item's own file, the preview tick, the reports' choice
// and the window's size for the next start; switching the item never leaves the other's file.
TEST_F(MainWindowTest, TheWindowRemembersItsChoicesAndEachItemItsOwnFile) {
    MainWindow& first = Show();
    auto* input = Find<QLineEdit>("inputFile");
    const auto choose = [&](const char* item, const QString& text, const char* what) {
        Click(item);
        EXPECT_EQ(input->text(), text) << what;
    };
    input->setText("/h/herds.qmb");
    choose("csvItem", "", "a herd file not yet chosen");
    EXPECT_EQ(input->placeholderText(), "Choose a herd CSV file");
    input->setText("/h/herd.csv");
    choose("batchItem", "/h/herds.qmb", "back to the batch");
    choose("csvItem", "/h/herd.csv", "back to the herd");
    Find<QCheckBox>("previewReports")->setChecked(true);
    Click("pdfItem");
    Find<QLineEdit>("pdfFolder")->setText("/h/pdf");
    first.resize(640, 430);
    ASSERT_TRUE(first.close());

    MainWindow& second = Show();
    input = Find<QLineEdit>("inputFile");
    EXPECT_TRUE(Find<QRadioButton>("csvItem")->isChecked());
    EXPECT_EQ(Text("inputFile"), "/h/herd.csv");
    EXPECT_TRUE(Find<QCheckBox>("previewReports")->isChecked());
    EXPECT_TRUE(Find<QRadioButton>("pdfItem")->isChecked());
    EXPECT_EQ(Text("pdfFolder"), "/h/pdf");
    EXPECT_EQ(second.size(), QSize(640, 430));
    choose("batchItem", "/h/herds.qmb", "the batch file of the last start");
    EXPECT_EQ(ReadFile(program_ / "DEFLT.TXT").substr(0, 13), "/h/herd.csv\r\n");  // as described

    // File dialogs start at the folder of the field's path, else the home folder.
    WriteFile(root_ / "herds/h.csv", "x");
    const std::string home = (root_ / "home").string();
    using Start = std::pair<std::string, std::string>;
    for (const auto& [field, start] : {Start{"", home},
                                       Start{(root_ / "herds/h.csv").string(), (root_ / "herds").string()},
                                       Start{(root_ / "herds/new.csv").string(), (root_ / "herds").string()},
                                       Start{(root_ / "herds").string(), (root_ / "herds").string()},
                                       Start{(root_ / "gone/h.csv").string(), home}}) {
        EXPECT_EQ(second.BrowseStart(QString::fromStdString(field)).toStdString(), start) << field;
    }
}

// On a magnified screen (1600 x 1000 at scale factor 2 is 800 x 500) the window fits and can
// be made smaller; the logo has a screen pixel for each of its pixels.
TEST_F(MainWindowTest, FitsASmallScreenWithASharpLogo) {
    MainWindow& window = Show();
    Click("csvItem");  // the taller item: the date row shows
    QApplication::processEvents();
    const QSize smallest = window.minimumSizeHint();
    EXPECT_LE(smallest.width(), 760);
    EXPECT_LE(smallest.height(), 450);
    const QRect room = window.screen()->availableGeometry();
    EXPECT_LE(window.width(), room.width());
    EXPECT_LE(window.height(), room.height());
    const QPixmap logo = Find<QLabel>("productLogo")->pixmap();
    EXPECT_EQ(logo.devicePixelRatio(), window.devicePixelRatioF());
    EXPECT_EQ(logo.width(), qRound(180 * window.devicePixelRatioF()));
}

// "Add the trend page": the herd is analysed again one to four years earlier, its report gets
// the earlier seasons; "Add the cow lists": the report gets the herd's lists. Each tick is
// remembered as a line of the defaults file after the third, the trend page's first.
TEST_F(MainWindowTest, TheTrendPageAndCowListBoxesAddTheirPagesAndAreRemembered) {
    std::vector<std::pair<bool, bool>> extras;
    setup_.steps.print = [&](const HerdReport&, const ReportOutput& output) {
        extras.emplace_back(output.earlierSeasons.has_value(), output.cowLists.has_value());
    };
    struct Case {
        bool trends;
        bool cowLists;
        const char* lines;
    };
    bool remembered[2] = {false, false};
    for (const Case& c : {Case{true, true, "TRENDS\r\nCOWLISTS\r\n"}, Case{false, true, "COWLISTS\r\n"},
                          Case{true, false, "TRENDS\r\n"}, Case{false, false, ""}}) {
        calls_.clear();
        extras.clear();
        MainWindow& window = Show();
        EXPECT_EQ(Find<QCheckBox>("trendPage")->isChecked(), remembered[0]) << "as remembered";
        EXPECT_EQ(Find<QCheckBox>("cowLists")->isChecked(), remembered[1]) << "as remembered";
        Find<QCheckBox>("trendPage")->setChecked(c.trends);
        Find<QCheckBox>("cowLists")->setChecked(c.cowLists);
        ChooseOneHerd(Herd());
        Find<DateField>("analysisDate")->setDate(QDate(2005, 3, 1));
        Click("runAnalysis");
        std::vector<int> years;
        for (const AnalysisCall& call : calls_) years.push_back(DecodeDate(call.analysisDate).year);
        const std::vector<int> expected = c.trends ? std::vector<int>{2005, 2004, 2003, 2002, 2001} : std::vector<int>{2005};
        EXPECT_EQ(years, expected);
        EXPECT_EQ(extras, (std::vector<std::pair<bool, bool>>{{c.trends, c.cowLists}}));
        window.close();
        EXPECT_EQ(ReadFile(program_ / "DEFLT.TXT"),
                  Text("inputFile").toStdString() + "\r\n" + transfer_.string() + "\r\n0\r\n" + c.lines);
        remembered[0] = c.trends;
        remembered[1] = c.cowLists;
    }
}

TEST(UserConfigFolder, FollowsXdgConfigHomeWhenItIsAnAbsolutePath) {
    const QByteArray saved = qgetenv("XDG_CONFIG_HOME");
    const std::string home = qgetenv("HOME").toStdString();
    using Case = std::pair<const char*, std::string>;
    for (const auto& [xdg, expected] : {Case{"/srv/conf", "/srv/conf/ovista"},
                                        Case{"", home + "/.config/ovista"},
                                        Case{"relative/conf", home + "/.config/ovista"}}) {
        qputenv("XDG_CONFIG_HOME", xdg);
        EXPECT_EQ(UserConfigFolder(), expected) << xdg;
    }
    qunsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(UserConfigFolder(), home + "/.config/ovista");
    if (!saved.isNull()) qputenv("XDG_CONFIG_HOME", saved);
}

// The picture of the window in the README (docs/main-window.png) is this one, written to
// the build folder.
TEST_F(MainWindowTest, ScreenshotOfTheWindow) {
    WriteFile(program_ / "DEFLT.TXT",
              "/home/centre/herds/autumn.csv\r\n/home/centre/xfer\r\n0\r\n");
    MainWindow& window = Show();
    Click("csvItem");
    Find<QLineEdit>("inputFile")->setText("/home/centre/herds/autumn.csv");
    QApplication::processEvents();  // the layout takes the texts set when shown
    const QImage image = window.grab().toImage();
    ASSERT_FALSE(image.isNull());
    EXPECT_EQ(image.size(), window.size() * window.devicePixelRatio());
    const fs::path shots = fs::path(OVISTA_BINARY_DIR) / "screenshots";
    fs::create_directories(shots);
    EXPECT_TRUE(image.save(QString::fromStdString((shots / "main-window.png").string())));
}

}  // namespace
}  // namespace ovista
