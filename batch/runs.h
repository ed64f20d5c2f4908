#pragma once
// The unattended runs that the command line (and, for the batch, the main window) starts.
// Each reports its own failures through ShowInfo and returns false when it stopped on one;
// true when it went to its end, also when single herds of a batch failed (they are logged).
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "analysis/analysis_context.h"
#include "analysis/cow_lists.h"
#include "analysis/herd_report.h"
#include "herd/herd_list.h"
#include "herd/input_file.h"
#include "herd/services.h"
#include "herd/textutil.h"
#include "batch/report_sink.h"
#include "formats/batch_log.h"

namespace ovista {

// The largest files the runs read besides herd files (herd_file.h). A batch line takes
// about 100 bytes, so 64 MB hold over half a million herds; the report run reads only the
// first row of a summary file. A stored result is one record of 2428 bytes and only that
// much of it is read: a file many times larger is something else given by mistake.
inline constexpr InputKind kBatchFileInput{"a batch file", 64 * kMegabyte};
inline constexpr InputKind kSummaryCsvInput{"a summary file", 64 * kMegabyte};
inline constexpr InputKind kStoredResultInput{"a stored result", 64 * kKilobyte};

// The previews of one batch run, shared by its reports.
struct PreviewSeries {
    long long herds = 0;         // herds of the batch file, the N of "n of N"
    long long position = 0;      // the herd in hand, from 1
    bool skipRemaining = false;  // "Skip the remaining previews": the rest go out unseen
};

// How each report of a run is put out.
struct ReportOutput {
    ReportOutput() = default;
    ReportOutput(bool preview_, std::string pdfFolder_, bool noDialogs_ = false)
        : preview(preview_), pdfFolder(std::move(pdfFolder_)), noDialogs(noDialogs_) {}

    bool preview = false;   // true: the preview window; false: the default printer
    std::string pdfFolder;  // not empty: a PDF file per report into this folder, no dialog
    bool noDialogs = false; // no window may open: a preview becomes a PDF in the working folder
    std::string workingFolder;  // the run's working folder with its separator; the runs set it
    std::string pdfFileName;  // the PDF's name in its folder; the runs set it per report
    // With preview: the folder that the reports go to as PDF files once the remaining
    // previews are skipped; empty: the printer.
    std::string skippedPdfFolder;
    // Set by the batch run for its previews: the herd the preview's caption names and the
    // series it belongs to (nullptr: a preview of its own, nothing to skip).
    std::string herdCaption;
    PreviewSeries* series = nullptr;
    // With the trend page: the herd's earlier seasons that a report can show, the latest
    // first (none: the page says so). The runs set it per report; nullopt: two pages.
    std::optional<std::vector<HerdReport>> earlierSeasons;
    // With the cow lists: the herd's cows to act on, for the pages after the report. The runs
    // set it per report; nullopt: no such pages.
    std::optional<CowLists> cowLists;
};

// Where a report of output goes: a PDF file for a PDF folder, and for a preview where no
// window may open (it is kept as a PDF in the working folder instead).
enum class ReportDevice { Printer, Preview, Pdf };
ReportDevice DeviceOf(const ReportOutput& output);
// The folder a report's PDF goes to; empty: the person chooses the file.
std::string PdfFolderOf(const ReportOutput& output);

// What became of one herd of a run.
// NoPrinter: the herd was analysed and its rows written, but the machine has no printer.
// NotLoaded: the herd file could not be read at all.
enum class HerdOutcome { Printed, NoReport, AnalysisFailed, PrintFailed, NoPrinter, Interrupted, NotLoaded };

// A herd of a batch that failed: its path as the batch line gives it, and why
// ("no such file", "not a herd CSV file", "analysis failed with error code 2").
struct FailedHerd {
    std::string path;
    std::string reason;

    bool operator==(const FailedHerd&) const = default;
};

// How many failed herds a tally names; the log has them all.
inline constexpr std::size_t kNamedFailedHerds = 5;

// What a batch run that went to its end did, for the person who started it.
struct BatchTally {
    int herds = 0;     // batch lines that named a herd file
    int failed = 0;    // herds not loaded, not analysed or without a possible report
    int printed = 0;   // reports sent to the printer or written as PDF files
    int previewed = 0; // reports shown in the preview window
    std::vector<FailedHerd> failures;  // the first kNamedFailedHerds failed herds
};

// "Task completed: 6 herds analysed, 0 failed, 6 reports printed (batch log: <logPath>)",
// the reports counted in the words of the run's output. warning: set when a herd failed or
// an analysed herd's report was neither printed nor shown.
std::string BatchSummaryText(const BatchTally& tally, const ReportOutput& output,
                             const std::string& logPath, bool& warning);

// The file a batch line's herd path names: the path as written when it is absolute or
// exists from the current folder; else the same path from the batch file's own folder, so
// that a batch naming its herds beside it runs from any folder. No folder further away is
// searched: a file of the same name there may be another herd. The path as written when it
// is found in neither place.
std::string HerdFileToOpen(const std::string& written, const std::string& batchFile);

// The analysis and the report of the runs. The standard steps are AnalyseHerd and the
// job's ReportSink; tests put their own in to steer what follows them.
struct RunSteps {
    std::function<void(const std::string& herdNumber, Date analysisDate,
                       const std::string& owner, const std::string& address, HerdList& herd,
                       HerdReport& report, const std::string& workingFolder,
                       const SummaryWriter& writeSummary, UserServices& services,
                       CowLists* cowLists, ReportExtent extent)>
        analyse;  // cowLists: nullptr, or filled with the herd's lists before writeSummary
    // False when analyse, as of analysisDate, is bound to give no summary row, told from the
    // herd's calving dates alone: such an earlier season (TRENDS) is not analysed. Empty: every
    // season is. The standard steps take MayFindSufficientPeriod.
    std::function<bool(std::span<const Date> calvings, Date analysisDate)> mayGiveRow;
    // Empty: the job's ReportSink puts the report out.
    std::function<void(const HerdReport& report, const ReportOutput& output)> print;
    // Whether printed reports have a printer to go to; empty: the job's ReportSink is asked.
    std::function<bool()> printerInstalled;
    // Said once per run when its reports would go to a printer and there is none; empty:
    // the words for the command line.
    std::string noPrinterMessage;
};
RunSteps StandardRunSteps();

// Every option of one run. Whoever starts a run (the command line, the main window, a test)
// fills one; nothing of a run outlives it, so a second run in the same process starts from
// its own job.
struct BatchJob {
    BatchJob(UserServices& services_, ReportSink& reports_) : services(services_), reports(reports_) {}

    // The batch's transfer folder, which becomes its working folder; the other runs write
    // into it too. nullopt: the default working folder (working_folder.h).
    std::optional<std::string> workingFolder;
    bool traces = true;    // the analysis writes its trace files ("NOTRACE": false)
    bool trends = false;   // the earlier seasons too ("TRENDS"): TRENDS.CSV and the trend page
    bool cowLists = false; // the cows to act on ("COWLISTS"): COWS.CSV and their pages
    int jobs = 1;          // worker processes; above 1 each herd runs in a process of its own
    bool progressLine = false;  // status texts become one progress line on standard error
    ReportOutput output;   // how each report goes out
    RunSteps steps = StandardRunSteps();
    UserServices& services;  // messages, status windows, the message pump
    ReportSink& reports;     // the printer, the preview, PDF files
};

// Every herd of the batch file, with the log, traces, summary and conception files in the
// transfer folder (job.workingFolder). A herd that cannot be loaded, analysed or printed is
// logged and the batch goes on. False when the log, the batch file or the summary file
// cannot be opened (after a message).
// Above 1 job the herds run in worker processes (parallel_batch.h), with the same files as a
// run in one process.
// tally: when given, counts the herds and reports of the run.
bool RunBatch(const BatchJob& job, const std::string& batchFile, BatchTally* tally = nullptr);

// The report of the row below the header of a summary CSV file; nothing is analysed.
bool RunReportFromSummaryCsv(const BatchJob& job, const std::string& path);

// The report of one stored result record (up to 2428 bytes; a shorter file leaves the rest
// zero). Its dates count from 1 January 0001, so the stored-date offset is switched on.
bool RunReportFromStoredResult(const BatchJob& job, const std::string& path);

// One herd CSV file: analysis as of the date of its identification row, summary and
// conception lines in the working folder, report. Nothing is logged; failures are shown.
bool RunSingleHerdCsv(const BatchJob& job, const std::string& path);

}  // namespace ovista
