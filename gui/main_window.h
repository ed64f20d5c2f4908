#pragma once
// The main window, for a person choosing the files of a run by hand: a batch file, or one
// herd CSV file with its analysis date, the transfer folder, whether to preview, and whether
// the reports go to the printer or into PDF files. It remembers the file and the folder from
// one start to the next in "DEFLT.TXT", and the rest of its choices, its size and its place
// in the settings file "ovista.conf" of the configuration folder.
#include <QImage>
#include <QMainWindow>
#include <functional>
#include <string>

#include "app/command_line.h"
#include "batch/runs.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace ovista {

class DateField;

inline constexpr const char* kDefaultsFileName = "DEFLT.TXT";
inline constexpr const char* kWindowBatchFileName = "QMRBatch.QMB";
inline constexpr const char* kWindowSettingsFileName = "ovista.conf";

// Said for each run from the window that would print when the machine has no printer.
inline constexpr const char* kWindowNoPrinterMessage =
    "No printer is installed: tick \"Preview reports\" to save reports as PDF, or choose PDF "
    "files below.";
// Instead, for a run with previews: only the reports whose previews are skipped would go to
// the printer, and the advice to tick "Preview reports" is no use.
inline constexpr const char* kWindowNoPrinterAfterSkipMessage =
    "The reports whose previews were skipped are not printed, as there is no printer: choose "
    "PDF files below to have them saved.";

// Where the window finds and keeps its files, and what a run does; tests put in their own.
struct MainWindowSetup {
    std::string programFolder;  // own files go here when writable
    std::string configFolder;   // own files go here when the program folder is not writable;
                                // the settings file always
    std::function<bool(const std::string& folder)> folderWritable;
    RunSteps steps;
    std::string homeFolder;     // file dialogs start here when their field names no folder
    ReportSink* reports = nullptr;  // where the reports go; nullptr: this machine's devices

    // The program's real folder, the user's configuration folder, the standard runs.
    static MainWindowSetup Standard();
};

class MainWindow : public QMainWindow {
public:
    // The command line's transfer folder, batch file and preview flag fill its fields.
    explicit MainWindow(const CommandLineValues& keys,
                        MainWindowSetup setup = MainWindowSetup::Standard(),
                        QWidget* parent = nullptr);

    // The folder that holds "DEFLT.TXT" and the one-line batch file, with a separator at the
    // end: the program folder when it can be written, else the configuration folder.
    std::string OwnFilesFolder() const;

    // "Run analysis": checks the fields, writes the one-line batch file for a herd CSV file,
    // runs the batch and says how it went (a warning when a herd failed or a report was not
    // made); a run that stopped on an error has said so already. Controls stay disabled
    // meanwhile.
    void RunAnalysis();

    // The product logo beside the choice of run, drawn at the screen's pixel ratio.
    void SetLogo(const QImage& logo);

    // Where a file dialog for the text of a field starts: the folder of the path in it (or
    // the folder itself) when it exists, else the home folder.
    QString BrowseStart(const QString& fieldText) const;

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void ModeChanged();
    void BrowseInputFile();
    void BrowseFolder(QLineEdit* field, const QString& title);
    void UpdatePdfFolderHint();
    void FitOnScreen(bool placed);
    void DrawLogo();
    void LoadSettings();
    void SaveSettings();
    void LoadDefaults();
    void SaveDefaults();
    std::string PdfFolder() const;
    bool WriteOneHerdBatchFile(const std::string& path);
    void SetRunning(bool running);

    MainWindowSetup setup_;
    QImage logoImage_;
    QLabel* logo_ = nullptr;
    QRadioButton* batchItem_ = nullptr;
    QRadioButton* csvItem_ = nullptr;
    QLabel* inputFileLabel_ = nullptr;
    QLineEdit* inputFile_ = nullptr;
    QLineEdit* transferFolder_ = nullptr;
    QLabel* analysisDateLabel_ = nullptr;
    DateField* analysisDate_ = nullptr;
    QRadioButton* printItem_ = nullptr;
    QRadioButton* pdfItem_ = nullptr;
    QLineEdit* pdfFolder_ = nullptr;
    QCheckBox* preview_ = nullptr;
    QCheckBox* trends_ = nullptr;  // "Add the trend page", remembered in DEFLT.TXT
    QCheckBox* cowLists_ = nullptr;  // "Add the cow lists", remembered in DEFLT.TXT
    QPushButton* run_ = nullptr;
    QLabel* version_ = nullptr;
    QString batchFile_;  // the file field's text of each item, kept while the other is chosen
    QString herdFile_;
    bool oneHerdShown_ = false;  // the item whose file the field shows
    bool defaultsLoaded_ = false;
    bool running_ = false;
    bool closeAfterRun_ = false;
    bool traces_ = true;  // "NOTRACE" on the command line: false
};

}  // namespace ovista
