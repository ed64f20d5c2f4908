#pragma once
// The main window, for a person choosing the files of a run by hand: a batch file, or one
// herd CSV file with its analysis date, the transfer folder, and whether to preview. It
// remembers the file and the folder from one start to the next in "DEFLT.TXT".
#include <QMainWindow>
#include <functional>
#include <string>

#include "app/command_line.h"
#include "app/runs.h"

class QCheckBox;
class QImage;
class QDateEdit;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace ovista {

inline constexpr const char* kDefaultsFileName = "DEFLT.TXT";
inline constexpr const char* kWindowBatchFileName = "QMRBatch.QMB";

// Where the window finds and keeps its files, and what a run does; tests put in their own.
struct MainWindowSetup {
    std::string programFolder;  // browse dialogs start here; own files go here when writable
    std::string configFolder;   // own files go here when the program folder is not writable
    std::function<bool(const std::string& folder)> folderWritable;
    RunSteps steps;

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

    // "Run analysis": checks the transfer folder, writes the one-line batch file for a herd
    // CSV file, runs the batch and says when it is done. Controls stay disabled meanwhile.
    void RunAnalysis();

    // The product logo beside the choice of run.
    void SetLogo(const QImage& logo);

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void ModeChanged();
    void BrowseInputFile();
    void BrowseTransferFolder();
    void LoadDefaults();
    void SaveDefaults();
    bool WriteOneHerdBatchFile(const std::string& path);
    void SetRunning(bool running);

    MainWindowSetup setup_;
    QLabel* logo_ = nullptr;
    QRadioButton* batchItem_ = nullptr;
    QRadioButton* csvItem_ = nullptr;
    QLabel* inputFileLabel_ = nullptr;
    QLineEdit* inputFile_ = nullptr;
    QLineEdit* transferFolder_ = nullptr;
    QLabel* analysisDateLabel_ = nullptr;
    QDateEdit* analysisDate_ = nullptr;
    QCheckBox* preview_ = nullptr;
    QCheckBox* trends_ = nullptr;  // "Add the trend page", remembered in DEFLT.TXT
    QPushButton* run_ = nullptr;
    QLabel* version_ = nullptr;
    bool defaultsLoaded_ = false;
    bool running_ = false;
    bool closeAfterRun_ = false;
};

}  // namespace ovista
