#include "app/main_window.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDate>
#include <QDateEdit>
#include <QDir>
#include <QFileDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QIcon>
#include <QImage>
#include <QPixmap>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QToolButton>
#include <QVBoxLayout>
#include <filesystem>
#include <fstream>
#include <system_error>

#include "app/config_folder.h"
#include "app/run_files.h"
#include "app/working_folder.h"
#include "herd/csv_line.h"
#include "herd/services.h"
#include "herd/textutil.h"
#include "report/qt/product_logo.h"
#include "report/qt/report_images.h"

namespace ovista {
namespace {

const QDate kDayZero(1899, 12, 30);

QDate ToQDate(Date date) { return kDayZero.addDays(date); }
Date FromQDate(const QDate& date) { return static_cast<Date>(kDayZero.daysTo(date)); }

QString FromPath(const std::string& text) { return QString::fromStdString(text); }
std::string ToPath(const QString& text) { return text.toStdString(); }

// What the program does and how to use it; fixed text.
const char* const kAboutText =
    "Tamsel Ovista Report analyses the reproductive performance of dairy herds and prints a "
    "two-page fertility report for each herd: the in-calf and not-in-calf rates, submission "
    "and conception rates, calving spread and the other drivers behind them, each beside its "
    "target with a star rating and a note on what it means.\n\n"
    "Many herds: choose \"Print reports from batch file\" and pick the batch file (one herd a "
    "line: herd CSV file, herd number, owner, address, analysis date).\n"
    "One herd: choose \"Print a report from an Tamsel CSV file\", pick the herd CSV file and "
    "set the analysis date.\n\n"
    "The data transfer folder receives the batch log QMRBATCH.REP, the summary file "
    "TAMSLREP.CSV and the conception file CONCEPS.CSV. Tick \"Preview reports\" to see each "
    "report on the screen before it is printed. Press \"Run analysis\" to start; the file and "
    "folder are remembered for next time.";

// The defaults file's fourth line when "Add the trend page" is ticked.
constexpr const char* kTrendsDefault = "TRENDS";

QToolButton* BrowseButton(const QString& name, QWidget* parent) {
    auto* button = new QToolButton(parent);
    button->setObjectName(name);
    button->setText("...");
    button->setToolTip("Browse");
    return button;
}

}  // namespace

MainWindowSetup MainWindowSetup::Standard() {
    return {ProgramFolder().toStdString(), UserConfigFolder(), FolderWritable, StandardRunSteps()};
}

MainWindow::MainWindow(const CommandLineValues& keys, MainWindowSetup setup, QWidget* parent)
    : QMainWindow(parent), setup_(std::move(setup)) {
    setObjectName("mainWindow");
    setWindowTitle("Tamsel Ovista Report");
    setWindowIcon(QIcon(QPixmap::fromImage(ProductMark(64))));

    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);

    logo_ = new QLabel(central);
    logo_->setObjectName("productLogo");
    logo_->setAlignment(Qt::AlignCenter);
    SetLogo(ProductBanner());

    auto* modeGroup = new QGroupBox("What do you want to do?", central);
    modeGroup->setObjectName("modeGroup");
    batchItem_ = new QRadioButton("Print reports from batch file", modeGroup);
    batchItem_->setObjectName("batchItem");
    csvItem_ = new QRadioButton("Print a report from an Tamsel CSV file", modeGroup);
    csvItem_->setObjectName("csvItem");
    batchItem_->setChecked(true);
    auto* items = new QButtonGroup(modeGroup);
    items->addButton(batchItem_, 0);
    items->addButton(csvItem_, 1);
    auto* modeLayout = new QVBoxLayout(modeGroup);
    modeLayout->addWidget(batchItem_);
    modeLayout->addWidget(csvItem_);

    auto* top = new QHBoxLayout;
    top->addWidget(logo_);
    top->addWidget(modeGroup, 1);
    layout->addLayout(top);

    auto* fields = new QGridLayout;
    inputFileLabel_ = new QLabel("Input batch file name", central);
    inputFileLabel_->setObjectName("inputFileLabel");
    inputFile_ = new QLineEdit("IFile", central);
    inputFile_->setObjectName("inputFile");
    inputFileLabel_->setBuddy(inputFile_);
    QToolButton* browseFile = BrowseButton("browseInputFile", central);
    fields->addWidget(inputFileLabel_, 0, 0, 1, 2);
    fields->addWidget(inputFile_, 1, 0);
    fields->addWidget(browseFile, 1, 1);

    auto* folderLabel = new QLabel("Data transfer folder", central);
    folderLabel->setObjectName("transferFolderLabel");
    transferFolder_ = new QLineEdit("XDir", central);
    transferFolder_->setObjectName("transferFolder");
    folderLabel->setBuddy(transferFolder_);
    QToolButton* browseFolder = BrowseButton("browseTransferFolder", central);
    fields->addWidget(folderLabel, 2, 0, 1, 2);
    fields->addWidget(transferFolder_, 3, 0);
    fields->addWidget(browseFolder, 3, 1);
    layout->addLayout(fields);

    auto* dateRow = new QHBoxLayout;
    analysisDateLabel_ = new QLabel("Analysis date", central);
    analysisDateLabel_->setObjectName("analysisDateLabel");
    analysisDate_ = new QDateEdit(central);
    analysisDate_->setObjectName("analysisDate");
    // Four-digit years while editing: a typed two-digit year would land in the 1900s.
    analysisDate_->setDisplayFormat("dd/MM/yyyy");
    analysisDate_->setCalendarPopup(true);
    analysisDate_->setDate(ToQDate(Today()));
    analysisDateLabel_->setBuddy(analysisDate_);
    dateRow->addWidget(analysisDateLabel_);
    dateRow->addWidget(analysisDate_);
    dateRow->addStretch(1);
    layout->addLayout(dateRow);

    auto* runRow = new QHBoxLayout;
    preview_ = new QCheckBox("Preview reports", central);
    preview_->setObjectName("previewReports");
    run_ = new QPushButton("Run analysis", central);
    run_->setObjectName("runAnalysis");
    run_->setDefault(true);
    runRow->addWidget(preview_);
    trends_ = new QCheckBox("Add the trend page", central);
    trends_->setObjectName("trendPage");
    trends_->setToolTip("Analyse each herd as of 1 to 4 years earlier too: a third report page "
                        "and TRENDS.CSV in the data transfer folder");
    runRow->addWidget(trends_);
    runRow->addStretch(1);
    runRow->addWidget(run_);
    layout->addLayout(runRow);

    auto* about = new QPlainTextEdit(kAboutText, central);
    about->setObjectName("aboutText");
    about->setReadOnly(true);
    about->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    about->setMinimumHeight(170);
    layout->addWidget(about, 1);

    auto* footer = new QHBoxLayout;
    version_ = new QLabel(central);
    version_->setObjectName("versionLabel");
    auto* releaseDate = new QLabel("30/11/05", central);
    releaseDate->setObjectName("dateLabel");
    footer->addWidget(version_);
    footer->addStretch(1);
    footer->addWidget(releaseDate);
    layout->addLayout(footer);

    setCentralWidget(central);

    if (!keys.transferFolder.empty()) transferFolder_->setText(FromPath(keys.transferFolder));
    if (!keys.batchFile.empty()) inputFile_->setText(FromPath(keys.batchFile));
    preview_->setChecked(keys.preview == 1);
    trends_->setChecked(keys.trends);

    connect(csvItem_, &QRadioButton::toggled, this, [this] { ModeChanged(); });
    connect(browseFile, &QToolButton::clicked, this, [this] { BrowseInputFile(); });
    connect(browseFolder, &QToolButton::clicked, this, [this] { BrowseTransferFolder(); });
    connect(run_, &QPushButton::clicked, this, [this] { RunAnalysis(); });
    ModeChanged();
    resize(560, 520);
}

void MainWindow::SetLogo(const QImage& logo) {
    logo_->setPixmap(QPixmap::fromImage(
        logo.scaled(180, 90, Qt::KeepAspectRatio, Qt::SmoothTransformation)));
}

std::string MainWindow::OwnFilesFolder() const {
    const bool programFolderWritable =
        setup_.folderWritable && setup_.folderWritable(setup_.programFolder);
    return WithTrailingSeparator(programFolderWritable ? setup_.programFolder
                                                       : setup_.configFolder);
}

void MainWindow::ModeChanged() {
    const bool oneHerd = csvItem_->isChecked();
    inputFileLabel_->setText(oneHerd ? "Input CSV file name" : "Input batch file name");
    analysisDateLabel_->setVisible(oneHerd);
    analysisDate_->setVisible(oneHerd);
}

void MainWindow::BrowseInputFile() {
    const bool oneHerd = csvItem_->isChecked();
    const QString file = QFileDialog::getOpenFileName(
        this, oneHerd ? "Input CSV file" : "Input batch file", FromPath(setup_.programFolder),
        oneHerd ? "Herd CSV files (*.csv *.CSV);;All files (*)"
                : "Batch files (*.qmb *.QMB);;All files (*)");
    if (!file.isEmpty()) inputFile_->setText(QDir::toNativeSeparators(file));
}

void MainWindow::BrowseTransferFolder() {
    const QString folder = QFileDialog::getExistingDirectory(this, "Data transfer folder",
                                                             FromPath(setup_.programFolder));
    if (!folder.isEmpty()) transferFolder_->setText(QDir::toNativeSeparators(folder));
}

void MainWindow::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (defaultsLoaded_) return;
    defaultsLoaded_ = true;
    version_->setText("Version 2.H");
    analysisDate_->setDate(ToQDate(Today()));
    if (const QScreen* screen = this->screen()) {
        QRect frame = frameGeometry();
        frame.moveCenter(screen->availableGeometry().center());
        move(frame.topLeft());
    }
    LoadDefaults();
}

void MainWindow::LoadDefaults() {
    std::ifstream in(OwnFilesFolder() + kDefaultsFileName, std::ios::binary);
    if (!in.is_open()) {
        ShowInfo("No default settings available");
        return;
    }
    // Line 3 (a number kept for older readers) is not used; missing lines read as empty.
    // A fourth line "TRENDS" ticks the trend page.
    std::string inputFile;
    std::string transferFolder;
    std::string kept;
    std::string trends;
    ReadTextLine(in, inputFile);
    ReadTextLine(in, transferFolder);
    ReadTextLine(in, kept);
    ReadTextLine(in, trends);
    transferFolder_->setText(FromPath(transferFolder));
    inputFile_->setText(FromPath(inputFile));
    if (trends == kTrendsDefault) trends_->setChecked(true);
}

void MainWindow::SaveDefaults() {
    const std::string folder = OwnFilesFolder();
    std::error_code ignored;
    std::filesystem::create_directories(folder, ignored);
    std::ofstream out(folder + kDefaultsFileName, std::ios::binary | std::ios::trunc);
    out << ToPath(inputFile_->text()) << "\r\n" << ToPath(transferFolder_->text()) << "\r\n0\r\n";
    // Only when ticked, so that the file stays as older versions write it otherwise.
    if (trends_->isChecked()) out << kTrendsDefault << "\r\n";
    out.close();
    if (!out) ShowInfo("Could not save defaults");
}

void MainWindow::closeEvent(QCloseEvent* event) {
    if (running_) {
        // The run goes on inside this window's handler; it closes the window when done.
        closeAfterRun_ = true;
        event->ignore();
        return;
    }
    SaveDefaults();
    event->accept();
}

bool MainWindow::WriteOneHerdBatchFile(const std::string& path) {
    std::error_code ignored;
    std::filesystem::create_directories(std::filesystem::path(path).parent_path(), ignored);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << '"' << ToPath(inputFile_->text()) << "\",\"Unknown\",\"" << path
        << "\",\"Unknown address\"," << FormatDateText(FromQDate(analysisDate_->date()))
        << "\r\n";
    out.close();
    return static_cast<bool>(out);
}

void MainWindow::SetRunning(bool running) {
    running_ = running;
    centralWidget()->setEnabled(!running);
    if (running) {
        QApplication::setOverrideCursor(Qt::BusyCursor);
    } else {
        QApplication::restoreOverrideCursor();
    }
}

void MainWindow::RunAnalysis() {
    if (running_) return;
    const std::string transferFolder = ToPath(transferFolder_->text());
    if (transferFolder.empty()) {
        ShowInfo("You must select a directory for data transfer");
        return;
    }
    const ReportOutput output{preview_->isChecked(), {}};
    std::string batchFile = ToPath(inputFile_->text());
    if (csvItem_->isChecked()) {
        batchFile = OwnFilesFolder() + kWindowBatchFileName;
        if (!WriteOneHerdBatchFile(batchFile)) {
            ShowInfo("Could not write " + batchFile);
            return;
        }
    }
    SetRunning(true);
    SetTrendsWanted(trends_->isChecked());
    RunBatch(transferFolder, batchFile, output, setup_.steps);
    SetRunning(false);
    ShowInfo("Task completed");
    if (closeAfterRun_) close();
}

}  // namespace ovista
