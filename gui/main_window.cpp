#include "gui/main_window.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDate>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
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
#include <QSettings>
#include <QWindow>
#include <QTimer>
#include <QToolButton>
#include <QtMath>
#include <QVBoxLayout>
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <system_error>

#include "gui/config_folder.h"
#include "gui/date_field.h"
#include "gui/pdf_folder_check.h"
#include "gui/report_output.h"
#include "gui/run_end_text.h"
#include "gui/window_fit.h"
#include "batch/run_files.h"
#include "batch/working_folder.h"
#include "herd/csv_line.h"
#include "herd/heap.h"
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

// The logo's room in the window, in screen-independent pixels.
constexpr int kLogoWidth = 180;
constexpr int kLogoHeight = 90;

// What the program does and how to use it; fixed text.
const char* const kAboutText =
    "Tamsel Ovista Report analyses the reproductive performance of dairy herds and prints a "
    "two-page fertility report (three with the trend page) for each herd: the in-calf and "
    "not-in-calf rates, submission and conception rates, calving spread and the other drivers "
    "behind them, each beside its "
    "target with a star rating and a note on what it means.\n\n"
    "Many herds: choose \"Print reports from batch file\" and pick the batch file (one herd a "
    "line: herd CSV file, herd number, owner, address, analysis date; a relative herd file "
    "path is looked for from the batch file's folder too).\n"
    "One herd: choose \"Print a report from a Tamsel CSV file\", pick the herd CSV file and "
    "set the analysis date.\n\n"
    "The data transfer folder receives the batch log QMRBATCH.REP, the summary file "
    "TAMSLREP.CSV and the conception file CONCEPS.CSV. The reports go to the printer, or into "
    "PDF files in a folder of your choice (by default the folder pdf in the transfer folder). "
    "Tick \"Preview reports\" to see each report on the screen first; from the preview you "
    "can print it, save it as a PDF file or as JPEG pictures, or skip the remaining previews. "
    "Press \"Run analysis\" to start; your choices are remembered for next time.";

// How long after the first showing the window manager has put the frame around the window,
// and the frame assumed until then, in screen pixels.
constexpr int kFrameKnownAfterMs = 300;
constexpr int kGuessedTitleBar = 40;
constexpr int kGuessedBorder = 6;

// The defaults file's fourth line when "Add the trend page" is ticked.
constexpr const char* kTrendsDefault = "TRENDS";
// The line after it (or the fourth) when "Add the cow lists" is ticked.
constexpr const char* kCowListsDefault = "COWLISTS";

QToolButton* BrowseButton(const QString& name, QWidget* parent) {
    auto* button = new QToolButton(parent);
    button->setObjectName(name);
    button->setText("...");
    button->setToolTip("Browse");
    return button;
}

}  // namespace

MainWindowSetup MainWindowSetup::Standard() {
    return {ProgramFolder().toStdString(), UserConfigFolder(), FolderWritable,
            StandardRunSteps(), QDir::homePath().toStdString()};
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
    logo_->setFixedSize(kLogoWidth, kLogoHeight);
    SetLogo(ProductBanner());

    auto* modeGroup = new QGroupBox("What do you want to do?", central);
    modeGroup->setObjectName("modeGroup");
    batchItem_ = new QRadioButton("Print reports from &batch file", modeGroup);
    batchItem_->setObjectName("batchItem");
    csvItem_ = new QRadioButton("Print a report from a Tamsel &CSV file", modeGroup);
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
    inputFileLabel_ = new QLabel("&Input batch file name", central);
    inputFileLabel_->setObjectName("inputFileLabel");
    inputFile_ = new QLineEdit(central);
    inputFile_->setObjectName("inputFile");
    inputFileLabel_->setBuddy(inputFile_);
    QToolButton* browseFile = BrowseButton("browseInputFile", central);
    fields->addWidget(inputFileLabel_, 0, 0, 1, 3);
    fields->addWidget(inputFile_, 1, 0, 1, 2);
    fields->addWidget(browseFile, 1, 2);

    auto* folderLabel = new QLabel("Data &transfer folder", central);
    folderLabel->setObjectName("transferFolderLabel");
    transferFolder_ = new QLineEdit(central);
    transferFolder_->setObjectName("transferFolder");
    transferFolder_->setPlaceholderText("Choose the data transfer folder");
    folderLabel->setBuddy(transferFolder_);
    QToolButton* browseFolder = BrowseButton("browseTransferFolder", central);
    fields->addWidget(folderLabel, 2, 0, 1, 3);
    fields->addWidget(transferFolder_, 3, 0, 1, 2);
    fields->addWidget(browseFolder, 3, 2);

    // Where the reports go: the printer, or a PDF file each in a folder.
    auto* reportsLabel = new QLabel("Reports", central);
    reportsLabel->setObjectName("reportsLabel");
    printItem_ = new QRadioButton("&Print", central);
    printItem_->setObjectName("printItem");
    pdfItem_ = new QRadioButton("&Write PDF files into", central);
    pdfItem_->setObjectName("pdfItem");
    printItem_->setChecked(true);
    auto* outputs = new QButtonGroup(central);
    outputs->addButton(printItem_, 0);
    outputs->addButton(pdfItem_, 1);
    pdfFolder_ = new QLineEdit(central);
    pdfFolder_->setObjectName("pdfFolder");
    QToolButton* browsePdf = BrowseButton("browsePdfFolder", central);
    auto* outputRow = new QHBoxLayout;
    outputRow->addWidget(printItem_);
    outputRow->addWidget(pdfItem_);
    outputRow->addWidget(pdfFolder_, 1);
    fields->addWidget(reportsLabel, 4, 0, 1, 3);
    fields->addLayout(outputRow, 5, 0, 1, 2);
    fields->addWidget(browsePdf, 5, 2);
    fields->setColumnStretch(1, 1);
    layout->addLayout(fields);

    auto* dateRow = new QHBoxLayout;
    analysisDateLabel_ = new QLabel("&Analysis date", central);
    analysisDateLabel_->setObjectName("analysisDateLabel");
    analysisDate_ = new DateField(central);
    analysisDate_->setObjectName("analysisDate");
    analysisDate_->setDate(ToQDate(Today()));
    analysisDateLabel_->setBuddy(analysisDate_->lineEdit());
    dateRow->addWidget(analysisDateLabel_);
    dateRow->addWidget(analysisDate_);
    dateRow->addStretch(1);
    layout->addLayout(dateRow);

    auto* runRow = new QHBoxLayout;
    preview_ = new QCheckBox("Pre&view reports", central);
    preview_->setObjectName("previewReports");
    run_ = new QPushButton("&Run analysis", central);
    run_->setObjectName("runAnalysis");
    run_->setDefault(true);
    runRow->addWidget(preview_);
    trends_ = new QCheckBox("Add the tr&end page", central);
    trends_->setObjectName("trendPage");
    trends_->setToolTip("Analyse each herd as of 1 to 4 years earlier too: a third report page "
                        "and TRENDS.CSV in the data transfer folder");
    runRow->addWidget(trends_);
    cowLists_ = new QCheckBox("Add the cow &lists", central);
    cowLists_->setObjectName("cowLists");
    cowLists_->setToolTip("List the cows to act on: pages after the report and COWS.CSV in the "
                          "data transfer folder");
    runRow->addWidget(cowLists_);
    runRow->addStretch(1);
    runRow->addWidget(run_);
    layout->addLayout(runRow);

    auto* about = new QPlainTextEdit(kAboutText, central);
    about->setObjectName("aboutText");
    about->setReadOnly(true);
    about->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    // It scrolls: a few lines are enough, so the window fits a small or magnified screen.
    about->setMinimumHeight(about->fontMetrics().lineSpacing() * 3 + 2 * about->frameWidth() + 8);
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

    LoadSettings();
    if (!keys.transferFolder.empty()) transferFolder_->setText(FromPath(keys.transferFolder));
    if (!keys.batchFile.empty()) {
        batchItem_->setChecked(true);
        batchFile_ = FromPath(keys.batchFile);
    }
    if (keys.preview == 1) preview_->setChecked(true);
    trends_->setChecked(keys.trends);
    if (keys.cowLists) cowLists_->setChecked(true);
    traces_ = !keys.noTrace;
    oneHerdShown_ = csvItem_->isChecked();
    inputFile_->setText(oneHerdShown_ ? herdFile_ : batchFile_);

    connect(csvItem_, &QRadioButton::toggled, this, [this] { ModeChanged(); });
    connect(browseFile, &QToolButton::clicked, this, [this] { BrowseInputFile(); });
    connect(browseFolder, &QToolButton::clicked, this,
            [this] { BrowseFolder(transferFolder_, "Data transfer folder"); });
    connect(browsePdf, &QToolButton::clicked, this, [this] {
        BrowseFolder(pdfFolder_, "Folder of the PDF files");
        pdfItem_->setChecked(true);
    });
    connect(transferFolder_, &QLineEdit::textChanged, this, [this] { UpdatePdfFolderHint(); });
    connect(pdfFolder_, &QLineEdit::textEdited, this, [this] { pdfItem_->setChecked(true); });
    connect(run_, &QPushButton::clicked, this, [this] { RunAnalysis(); });
    // Enter in any field runs the analysis, as the default button of a dialog would.
    for (QLineEdit* field : {inputFile_, transferFolder_, pdfFolder_, analysisDate_->lineEdit()}) {
        connect(field, &QLineEdit::returnPressed, this, [this] { RunAnalysis(); });
    }
    // Tab follows the screen: top to bottom, left to right.
    QWidget* order[] = {batchItem_, csvItem_,    inputFile_, browseFile, transferFolder_,
                        browseFolder, printItem_, pdfItem_,   pdfFolder_, browsePdf,
                        analysisDate_->lineEdit(), preview_, trends_, cowLists_, run_};
    for (std::size_t i = 1; i < std::size(order); ++i) setTabOrder(order[i - 1], order[i]);
    ModeChanged();
    UpdatePdfFolderHint();
}

void MainWindow::SetLogo(const QImage& logo) {
    logoImage_ = logo;
    DrawLogo();
}

// The logo in as many screen pixels as its room holds, so that a magnified screen shows it
// sharp rather than enlarged.
void MainWindow::DrawLogo() {
    const qreal ratio = devicePixelRatioF();
    QImage scaled = logoImage_.scaled(qRound(kLogoWidth * ratio), qRound(kLogoHeight * ratio),
                                      Qt::KeepAspectRatio, Qt::SmoothTransformation);
    QPixmap pixmap = QPixmap::fromImage(scaled);
    pixmap.setDevicePixelRatio(ratio);
    logo_->setPixmap(pixmap);
}

std::string MainWindow::OwnFilesFolder() const {
    const bool programFolderWritable =
        setup_.folderWritable && setup_.folderWritable(setup_.programFolder);
    return WithTrailingSeparator(programFolderWritable ? setup_.programFolder
                                                       : setup_.configFolder);
}

// Each item keeps its own file: switching shows the other item's file, never this one's.
void MainWindow::ModeChanged() {
    const bool oneHerd = csvItem_->isChecked();
    if (oneHerd != oneHerdShown_) {
        (oneHerdShown_ ? herdFile_ : batchFile_) = inputFile_->text();
        inputFile_->setText(oneHerd ? herdFile_ : batchFile_);
        oneHerdShown_ = oneHerd;
    }
    inputFileLabel_->setText(oneHerd ? "&Input CSV file name" : "&Input batch file name");
    inputFile_->setPlaceholderText(oneHerd ? "Choose a herd CSV file" : "Choose a batch file");
    analysisDateLabel_->setVisible(oneHerd);
    analysisDate_->setVisible(oneHerd);
}

QString MainWindow::BrowseStart(const QString& fieldText) const {
    if (!fieldText.isEmpty()) {
        const QFileInfo field(fieldText);
        if (field.isDir()) return field.absoluteFilePath();
        if (QFileInfo(field.absolutePath()).isDir()) return field.absolutePath();
    }
    return FromPath(setup_.homeFolder);
}

void MainWindow::BrowseInputFile() {
    const bool oneHerd = csvItem_->isChecked();
    const QString file = QFileDialog::getOpenFileName(
        this, oneHerd ? "Input CSV file" : "Input batch file", BrowseStart(inputFile_->text()),
        oneHerd ? "Herd CSV files (*.csv);;All files (*)"
                : "Batch files (*.qmb *.txt *.csv);;All files (*)");
    if (!file.isEmpty()) inputFile_->setText(QDir::toNativeSeparators(file));
}

void MainWindow::BrowseFolder(QLineEdit* field, const QString& title) {
    const QString start = BrowseStart(field->text().isEmpty() && field == pdfFolder_
                                          ? transferFolder_->text()
                                          : field->text());
    const QString folder = QFileDialog::getExistingDirectory(this, title, start);
    if (!folder.isEmpty()) field->setText(QDir::toNativeSeparators(folder));
}

// An empty PDF folder is the folder "pdf" in the transfer folder; the field says which.
void MainWindow::UpdatePdfFolderHint() {
    const QString transfer = transferFolder_->text();
    pdfFolder_->setPlaceholderText(transfer.isEmpty()
                                       ? QString("The folder pdf in the data transfer folder")
                                       : FromPath(WithTrailingSeparator(ToPath(transfer)) + "pdf"));
}

std::string MainWindow::PdfFolder() const {
    const std::string chosen = ToPath(pdfFolder_->text());
    return chosen.empty() ? WithTrailingSeparator(ToPath(transferFolder_->text())) + "pdf" : chosen;
}

void MainWindow::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (defaultsLoaded_) return;
    defaultsLoaded_ = true;
    version_->setText("Version 2.H");
    analysisDate_->setDate(ToQDate(Today()));
    if (QWindow* window = windowHandle()) {
        connect(window, &QWindow::screenChanged, this, [this] { DrawLogo(); });
    }
    DrawLogo();
    QSettings settings(FromPath(setup_.configFolder + "/" + kWindowSettingsFileName),
                       QSettings::IniFormat);
    const bool placed = restoreGeometry(settings.value("window/geometry").toByteArray());
    FitOnScreen(placed);
    // The window manager tells the frame only once the window is up: fitted again with it.
    QTimer::singleShot(kFrameKnownAfterMs, this, [this] { FitOnScreen(true); });
    LoadDefaults();
}

// Never larger than the screen (a magnified one included), title bar and all, centred when
// not placed.
void MainWindow::FitOnScreen(bool placed) {
    const QScreen* screen = this->screen();
    if (screen == nullptr) return;
    const QRect outer = frameGeometry();
    const QRect inner = geometry();
    QMargins frame(inner.left() - outer.left(), inner.top() - outer.top(),
                   outer.right() - inner.right(), outer.bottom() - inner.bottom());
    if (frame.isNull() && QGuiApplication::platformName() != QLatin1String("offscreen")) {
        // Not known before the first showing: a title bar and borders of a usual size, in
        // screen pixels (the window manager does not magnify them).
        const qreal ratio = devicePixelRatioF();
        const int side = qCeil(kGuessedBorder / ratio);
        frame = QMargins(side, qCeil(kGuessedTitleBar / ratio), side, side);
    }
    const QRect fitted = FitWindowInRoom(geometry(), frame, screen->availableGeometry(), placed);
    if (fitted.size() != size()) resize(fitted.size());
    const QPoint framePlace = fitted.topLeft() - QPoint(frame.left(), frame.top());
    if (framePlace != pos()) move(framePlace);
}

void MainWindow::LoadSettings() {
    QSettings settings(FromPath(setup_.configFolder + "/" + kWindowSettingsFileName),
                       QSettings::IniFormat);
    (settings.value("window/oneHerd", false).toBool() ? csvItem_ : batchItem_)->setChecked(true);
    preview_->setChecked(settings.value("window/preview", false).toBool());
    (settings.value("window/pdfFiles", false).toBool() ? pdfItem_ : printItem_)->setChecked(true);
    pdfFolder_->setText(settings.value("window/pdfFolder").toString());
    batchFile_ = settings.value("window/batchFile").toString();
    herdFile_ = settings.value("window/herdFile").toString();
    const QSize wanted = sizeHint().expandedTo(QSize(560, 480));
    resize(wanted);
}

void MainWindow::SaveSettings() {
    (oneHerdShown_ ? herdFile_ : batchFile_) = inputFile_->text();
    QSettings settings(FromPath(setup_.configFolder + "/" + kWindowSettingsFileName),
                       QSettings::IniFormat);
    settings.setValue("window/oneHerd", csvItem_->isChecked());
    settings.setValue("window/preview", preview_->isChecked());
    settings.setValue("window/pdfFiles", pdfItem_->isChecked());
    settings.setValue("window/pdfFolder", pdfFolder_->text());
    settings.setValue("window/batchFile", batchFile_);
    settings.setValue("window/herdFile", herdFile_);
    settings.setValue("window/geometry", saveGeometry());
}

void MainWindow::LoadDefaults() {
    const std::string path = OwnFilesFolder() + kDefaultsFileName;
    std::error_code error;
    std::ifstream in(path, std::ios::binary);
    if (!in.is_open() || std::filesystem::is_directory(path, error)) {
        // On a first start there is nothing to remember yet; only a file that is there but
        // cannot be read is worth a word.
        if (std::filesystem::exists(path, error)) ShowWarning("No default settings available");
        return;
    }
    // Line 3 (a number kept for older readers) is not used; missing lines read as empty.
    // Lines "TRENDS" and "COWLISTS" after it tick the trend page and the cow lists.
    std::string inputFile;
    std::string transferFolder;
    std::string kept;
    ReadTextLine(in, inputFile);
    ReadTextLine(in, transferFolder);
    ReadTextLine(in, kept);
    transferFolder_->setText(FromPath(transferFolder));
    inputFile_->setText(FromPath(inputFile));
    for (std::string line; ReadTextLine(in, line);) {
        if (line == kTrendsDefault) trends_->setChecked(true);
        if (line == kCowListsDefault) cowLists_->setChecked(true);
    }
}

void MainWindow::SaveDefaults() {
    const std::string folder = OwnFilesFolder();
    std::error_code ignored;
    std::filesystem::create_directories(folder, ignored);
    std::ofstream out(folder + kDefaultsFileName, std::ios::binary | std::ios::trunc);
    out << ToPath(inputFile_->text()) << "\r\n" << ToPath(transferFolder_->text()) << "\r\n0\r\n";
    // Only when ticked, so that the file stays as older versions write it otherwise.
    if (trends_->isChecked()) out << kTrendsDefault << "\r\n";
    if (cowLists_->isChecked()) out << kCowListsDefault << "\r\n";
    out.close();
    if (!out) ShowWarning("Could not save defaults");
}

void MainWindow::closeEvent(QCloseEvent* event) {
    if (running_) {
        // The run goes on inside this window's handler; it closes the window when done.
        closeAfterRun_ = true;
        event->ignore();
        return;
    }
    SaveDefaults();
    SaveSettings();
    event->accept();
}

bool MainWindow::WriteOneHerdBatchFile(const std::string& path) {
    std::error_code ignored;
    std::filesystem::create_directories(std::filesystem::path(path).parent_path(), ignored);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    // The owner is not known until the herd file's identification row says it; a file path
    // would be printed as the farmer's name.
    out << '"' << ToPath(inputFile_->text()) << "\",\"Unknown\",\"Unknown\",\"Unknown address\","
        << FormatDateText(FromQDate(analysisDate_->date())) << "\r\n";
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
        ShowWarning("You must select a folder for data transfer");
        return;
    }
    if (inputFile_->text().isEmpty()) {
        ShowWarning(csvItem_->isChecked() ? "You must select a herd CSV file"
                                          : "You must select a batch file");
        return;
    }
    if (csvItem_->isChecked() && !analysisDate_->CheckText()) {
        // Never another date than the one typed: the person corrects it.
        ShowWarning("The analysis date \"" + ToPath(analysisDate_->text()) +
                    "\" is not a date: type it as day/month/year, such as 31/05/2026.");
        analysisDate_->setFocus();
        return;
    }
    static QtReportSink devices;
    BatchJob job(Services(), setup_.reports != nullptr ? *setup_.reports : devices);
    job.workingFolder = transferFolder;
    job.traces = traces_;
    job.trends = trends_->isChecked();
    job.cowLists = cowLists_->isChecked();
    ReportOutput& output = job.output;
    output.preview = preview_->isChecked();
    if (pdfItem_->isChecked()) {
        const std::string pdfFolder = PdfFolder();
        if (const std::string problem = PdfFolderProblem(pdfFolder); !problem.empty()) {
            ShowError("The reports cannot be saved in the PDF folder\n" + pdfFolder + "\n" +
                      problem + ".");
            return;
        }
        // With preview the PDF files are for the reports whose previews are skipped.
        (output.preview ? output.skippedPdfFolder : output.pdfFolder) = pdfFolder;
    }
    job.steps = setup_.steps;
    job.steps.noPrinterMessage =
        output.preview ? kWindowNoPrinterAfterSkipMessage : kWindowNoPrinterMessage;
    std::string batchFile = ToPath(inputFile_->text());
    if (csvItem_->isChecked()) {
        batchFile = OwnFilesFolder() + kWindowBatchFileName;
        if (!WriteOneHerdBatchFile(batchFile)) {
            ShowError("Could not write " + batchFile);
            return;
        }
    }
    SetRunning(true);
    BatchTally tally;
    const bool ranToEnd = RunBatch(job, batchFile, &tally);
    SetRunning(false);
    // The window stays open, maybe for hours: what the batch kept for a next herd goes back.
    NoHerdLeft();
    // A run that stopped on an error has said so; one that went to its end says what it did.
    if (ranToEnd) {
        bool warning = false;
        const std::string summary =
            RunEndText(tally, output, WorkingFolderPath(job.workingFolder) + kBatchLogFileName, warning);
        if (warning) {
            ShowWarning(summary);
        } else {
            ShowInfo(summary);
        }
    }
    if (closeAfterRun_) close();
}

}  // namespace ovista
