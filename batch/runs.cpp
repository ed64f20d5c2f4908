#include "batch/runs.h"

#include <cstdint>
#include <exception>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <new>
#include <optional>
#include <sstream>

#include "analysis/analyse_herd.h"
#include "analysis/trace.h"
#include "batch/batch_progress.h"
#include "batch/parallel_batch.h"
#include "batch/pdf_names.h"
#include "analysis/mistyped_years.h"
#include "batch/folder_lock.h"
#include "batch/run_files.h"
#include "batch/stop_signals.h"
#include "formats/cow_list_file.h"
#include "formats/summary_file.h"
#include "batch/trend_seasons.h"
#include "batch/working_folder.h"
#include "herd/csv_line.h"
#include "herd/errors.h"
#include "herd/heap.h"
#include "herd/herd_file.h"
#include "herd/input_file.h"
#include "herd/services.h"
#include "interpret/report_dates.h"

namespace ovista {
namespace {

// What the herds of one run share besides its files: the steps with the job's report sink
// put in, where messages go, and whether the run has said that there is no printer.
struct RunScope {
    RunScope(const BatchJob& job, UserServices& services)
        : steps(job.steps), messages(&services), trends(job.trends), cowLists(job.cowLists) {
        ReportSink& reports = job.reports;
        if (!steps.print) {
            steps.print = [&reports](const HerdReport& report, const ReportOutput& output) {
                reports.Put(report, output);
            };
        }
        if (!steps.printerInstalled) {
            steps.printerInstalled = [&reports] { return reports.PrinterInstalled(); };
        }
    }
    RunSteps steps;
    UserServices* messages;  // never nullptr
    bool trends;
    bool cowLists;  // the herd's current season gives its cows to act on
    // Reports of a batch on a machine without a printer: the reason is shown for the first
    // one of the run only, with the way out. Worker processes forked after it was said
    // inherit it and do not say it again.
    bool noPrinterShown = false;
};

void ShowNoPrinterOnce(const std::string& reason, RunScope& scope) {
    if (scope.noPrinterShown) return;
    scope.noPrinterShown = true;
    const RunSteps& steps = scope.steps;
    ShowWarning(*scope.messages, !steps.noPrinterMessage.empty()
                    ? steps.noPrinterMessage
                    : reason + ": the reports of this run are not printed (PDFFOLDER=<folder> writes them as PDF files)");
}

// The previews of a batch after "Skip the remaining previews": the reports go where they
// would go without preview.
ReportOutput WithoutPreview(const ReportOutput& output) {
    ReportOutput unseen = output;
    unseen.preview = false;
    if (unseen.pdfFolder.empty()) unseen.pdfFolder = output.skippedPdfFolder;
    return unseen;
}

ReportOutput NamedAfter(const ReportOutput& output, std::string pdfFileName) {
    ReportOutput named = output;
    named.pdfFileName = std::move(pdfFileName);
    return named;
}

bool IsFarmerIdRow(const HerdHeaderFields& header) {
    std::string first = header[0];
    for (char& c : first) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    return first == "FARMER ID";
}

// The file opened for reading, or nothing after a message when it cannot be read as one.
std::unique_ptr<RegularFileInput> OpenInput(const std::string& path, const InputKind& kind,
                                            UserServices& services) {
    try {
        auto file = std::make_unique<RegularFileInput>(path, kind);
        if (file->IsOpen()) return file;
        ShowError(services, "Could not open " + path);
    } catch (const InputFileError& e) {
        ShowError(services, e.what());
    }
    return nullptr;
}

// "<path> is not a regular file" as "not a regular file": the path is said beside it.
std::string WithoutPathPrefix(const std::string& text, const std::string& path) {
    const std::string prefix = path + " is ";
    return text.rfind(prefix, 0) == 0 ? text.substr(prefix.size()) : text;
}

std::string FirstCsvField(const std::string& line) {
    CsvFields fields;
    SplitCsvLine(line, fields);
    return fields[0];
}

// A failed herd as its log line names it (runs on workers know their herds by their lines).
FailedHerd FailedHerdOfLogLine(const std::string& line) {
    for (const char* start : {"Could not load data from ", "Analysis failes for "}) {
        if (line.rfind(start, 0) != 0) continue;
        const std::string rest = line.substr(std::string(start).size());
        const std::size_t code = rest.rfind(" with error code ");
        if (code != std::string::npos) {
            return {rest.substr(0, code), "analysis failed" + rest.substr(code)};
        }
        const std::size_t colon = rest.find(": ");
        if (colon == std::string::npos) return {rest, "could not be loaded"};
        return {rest.substr(0, colon), rest.substr(colon + 2)};
    }
    return {line, {}};
}

// The text of a failure for the log: memory is the machine's, not the herd's fault.
std::string FailureText(const std::exception& e) {
    return dynamic_cast<const std::bad_alloc*>(&e) != nullptr ? kOutOfMemoryText : e.what();
}

// The messages of the reader and of the analysis (a bad row, a conception out of range),
// beginning with the herd file they are about: among the herds of an unattended batch,
// "at line 12" alone does not say where to look.
class MessagesNamingFile : public UserServices {
public:
    MessagesNamingFile(UserServices& outer, const std::string& path) : outer_(outer), path_(path) {}
    MessagesNamingFile(const MessagesNamingFile&) = delete;
    MessagesNamingFile& operator=(const MessagesNamingFile&) = delete;

    void ShowInfo(const std::string& message) override { outer_.ShowInfo(path_ + ": " + message); }
    void ShowMessage(MessageKind kind, const std::string& message) override {
        outer_.ShowMessage(kind, path_ + ": " + message);
    }
    std::unique_ptr<StatusWindow> ShowStatus(const std::string& message) override {
        return outer_.ShowStatus(message);
    }
    void PumpMessages() override { outer_.PumpMessages(); }

private:
    UserServices& outer_;
    std::string path_;
};

struct HerdResult {
    HerdOutcome outcome = HerdOutcome::NoReport;
    std::int16_t error = 0;  // the record's Error when there is no report
    std::string message;     // the error's text for a failed analysis or print
};

// Analyses a loaded herd and prints its report when the record allows one. An error of the
// analysis (a date that is 0 or no date, a count beyond 16 bits, an output file that cannot
// be written) leaves the herd without report and summary row instead of ending the run, and
// an error of the report output does not undo the analysis. The herd's summary and
// conception lines are held back until its analysis has ended, so a failed herd (or a failed
// first attempt of a herd with a mistyped year) leaves none; a run asked to stop by a signal
// writes none either. OutputFileError when the summary or conception file cannot take the
// lines (every later herd would fail the same way).
// herdFile: when not empty, the analysis's messages name it.
HerdResult AnalyseAndPrint(const std::string& herdNumber, Date analysisDate,
                           const std::string& owner, const std::string& address,
                           HerdList& herd, OutputFiles& files,
                           const ReportOutput& output, const RunScope& scope,
                           const std::string& herdFile = {}) {
    const RunSteps& steps = scope.steps;
    HerdReport report;
    ClearHerdReport(report);
    ReportOutput reportOutput = output;
    // The analysis trims and completes the records: the earlier seasons start from a copy.
    std::optional<LoadedHerd> loaded;
    if (scope.trends) loaded.emplace(herd, analysisDate, steps.mayGiveRow);
    // Taken by the walk of this season's analysis of the herd itself, for the earlier seasons.
    PreparedHerd prepared;
    CowLists cowLists;
    try {
        // Of the attempt that ends the analysis.
        std::string summaryText, conceptionText, cowListText;
        auto attempt = [&](HerdList& lactations) {
            std::ostringstream summaryLines;
            std::ostringstream conceptionLines;
            cowLists = CowLists{};
            std::string cowListLines;
            CowLists* const lists = scope.cowLists ? &cowLists : nullptr;
            const SummaryWriter writer = [&](HerdReport& analysed) {
                WriteSummaryRow(analysed, summaryLines, conceptionLines);
                // The lists are complete when the summary row is written, and go with it.
                if (lists != nullptr) cowListLines = CowListRows(analysed.SHNO, *lists);
            };
            const ReportExtent extent(ReportExtent::Whole, nullptr, nullptr,
                                      loaded && &lactations == &herd ? &prepared : nullptr);
            if (herdFile.empty()) {
                steps.analyse(herdNumber, analysisDate, owner, address, lactations, report,
                              files.TraceFolder(), writer, *scope.messages, lists, extent);
            } else {
                MessagesNamingFile naming(*scope.messages, herdFile);
                steps.analyse(herdNumber, analysisDate, owner, address, lactations, report,
                              files.TraceFolder(), writer, naming, lists, extent);
            }
            summaryText = summaryLines.str();
            conceptionText = conceptionLines.str();
            cowListText = std::move(cowListLines);
        };
        if (loaded && !loaded->HoldsMistypedYears(analysisDate)) {
            // The loaded herd's dates show none mistyped: no walk over the lactations to find them.
            attempt(herd);
        } else {
            AnalyseLeavingOutMistypedYears(herd, analysisDate, herdFile, files.TraceFolder(),
                                           attempt, *scope.messages);
        }
        files.CheckTraces();
        std::string trendText;
        if (loaded) {
            EarlierSeasons earlier = AnalyseEarlierSeasons(*loaded, prepared, herd, herdNumber, analysisDate,
                                                           owner, address, steps, *scope.messages);
            trendText = std::move(earlier.trendLines);
            reportOutput.earlierSeasons = std::move(earlier.reports);
        }
        if (StopSignal() != 0) return {HerdOutcome::Interrupted, 0, {}};
        files.Append(summaryText, conceptionText, trendText, cowListText);
        if (scope.cowLists) reportOutput.cowLists = std::move(cowLists);
    } catch (const OutputFileError&) {
        throw;
    } catch (const std::exception& e) {
        files.CheckTraces();
        return {HerdOutcome::AnalysisFailed, 0, FailureText(e)};
    }
    if (!IsReportPrintable(report)) return {HerdOutcome::NoReport, report.Error, {}};
    try {
        steps.print(report, reportOutput);
    } catch (const NoPrinterError& e) {
        return {HerdOutcome::NoPrinter, 0, e.what()};
    } catch (const std::exception& e) {
        return {HerdOutcome::PrintFailed, 0, FailureText(e)};
    }
    return {HerdOutcome::Printed, 0, {}};
}

// The output of one herd of a batch: its PDF's name and, for a preview, the caption that
// names the herd and its place in the batch.
ReportOutput HerdOutput(const ReportOutput& output, const std::string& path,
                        PdfFileNames& pdfNames) {
    ReportOutput herd = NamedAfter(output, pdfNames.Claim(path));
    if (PreviewSeries* series = output.series) {
        if (series->skipRemaining) return WithoutPreview(herd);
        herd.herdCaption = series->herds > 1 ? path + " (" + IntToText(series->position) +
                                                   " of " + IntToText(series->herds) + ")"
                                             : path;
    }
    return herd;
}

// One line of the batch file: path, herd number, owner, address, analysis date. Relative
// herd paths are looked up from the batch file's folder too (HerdFileToOpen); the log and
// the messages keep the path as written.
// False when a signal stopped the run before the herd's lines were written. OutputFileError
// when an output file of the run cannot be written. outcome: what became of the herd, unless
// the line named none; failure: why it failed, when it did.
bool RunBatchLine(const std::string& line, const std::string& batchFile, OutputFiles& files,
                  BatchLog& log, PdfFileNames& pdfNames, const ReportOutput& output,
                  RunScope& scope, std::optional<HerdOutcome>* outcome = nullptr,
                  std::string* failure = nullptr) {
    UserServices& services = *scope.messages;
    CsvFields fields;
    SplitCsvLine(line, fields);
    const std::string& path = fields[0];
    if (path.empty()) return true;
    if (output.series != nullptr) ++output.series->position;

    std::unique_ptr<HerdList> herd;
    HerdHeaderFields header;
    bool loaded = false;
    std::string loadError;
    std::string notLoadedReason;  // for the person at the end of the run; the log is as before
    try {
        MessagesNamingFile naming(services, path);
        loaded = LoadHerdFile(HerdFileToOpen(path, batchFile), fields[1], herd, header, naming);
    } catch (const NotHerdFileError&) {
        // One message for the file, not one per row of garbage; named as the log names it.
        ShowError(services, path + " is not a herd CSV file");
        notLoadedReason = "not a herd CSV file";
    } catch (const InputFileError& e) {
        ShowError(services, e.what());  // the message names the file
        notLoadedReason = WithoutPathPrefix(e.what(), HerdFileToOpen(path, batchFile));
    } catch (const std::bad_alloc&) {
        herd.reset();
        log.Line(AnalysisFailedLine(path, kOutOfMemoryText));
        if (outcome != nullptr) *outcome = HerdOutcome::AnalysisFailed;
        if (failure != nullptr) *failure = kOutOfMemoryText;
        return true;
    } catch (const std::exception& e) {
        loadError = std::string(": ") + e.what();
        notLoadedReason = e.what();
    }
    if (StopSignal() != 0) return false;  // a herd cut short is neither read nor logged
    if (!loaded || herd == nullptr) {
        log.Line(NotLoadedLine(path, loadError));
        if (outcome != nullptr) *outcome = HerdOutcome::NotLoaded;
        if (failure != nullptr) {
            std::error_code error;
            *failure = !notLoadedReason.empty() ? notLoadedReason
                       : std::filesystem::exists(HerdFileToOpen(path, batchFile), error)
                           ? "could not be read"
                           : "no such file";
        }
        return true;
    }
    if (IsFarmerIdRow(header)) {
        for (int i = 1; i <= 3; ++i) fields[i] = header[i];
    }

    HerdResult result;
    try {
        const Date analysisDate = ParseDateText(fields[4]);
        result = AnalyseAndPrint(fields[1], analysisDate, fields[2], fields[3], *herd, files,
                                 HerdOutput(output, path, pdfNames), scope, path);
    } catch (const OutputFileError& e) {
        // The herd is not in the files; the log says why when it still can.
        try {
            log.Line(AnalysisFailedLine(path, e.what()));
        } catch (const OutputFileError&) {
        }
        throw;
    } catch (const std::exception& e) {
        result = {HerdOutcome::AnalysisFailed, 0, e.what()};
    }
    switch (result.outcome) {
        case HerdOutcome::Printed:
            log.Line(AnalysedLine(path));
            break;
        case HerdOutcome::NoPrinter:
            // A property of the machine, not of the herd: said once, and the herd's log line
            // stays the analysis's, as other programs read it.
            ShowNoPrinterOnce(result.message, scope);
            log.Line(AnalysedLine(path));
            break;
        case HerdOutcome::PrintFailed:
            log.Line(NotPrintedLine(path, result.message));
            break;
        case HerdOutcome::NoReport:
            if (output.preview) ShowWarning(services, "No report possible for " + path);
            log.Line(NoReportLine(path, result.error));
            if (failure != nullptr) *failure = "analysis failed with error code " + IntToText(result.error);
            break;
        case HerdOutcome::AnalysisFailed:
            if (output.preview) ShowWarning(services, "No report possible for " + path);
            log.Line(AnalysisFailedLine(path, result.message));
            if (failure != nullptr) *failure = result.message;
            break;
        case HerdOutcome::Interrupted:
            return false;
        case HerdOutcome::NotLoaded:
            break;
    }
    if (outcome != nullptr) *outcome = result.outcome;
    services.PumpMessages();
    return true;
}

// Counts one herd of a batch by what became of it; previewed: its report went to the
// preview window. failure: the herd's path and reason when it failed.
void Count(BatchTally& tally, HerdOutcome outcome, bool previewed, FailedHerd failure = {}) {
    ++tally.herds;
    switch (outcome) {
        case HerdOutcome::Printed: ++(previewed ? tally.previewed : tally.printed); break;
        case HerdOutcome::NoReport:
        case HerdOutcome::AnalysisFailed:
        case HerdOutcome::NotLoaded:
            ++tally.failed;
            if (tally.failures.size() < kNamedFailedHerds) tally.failures.push_back(std::move(failure));
            break;
        case HerdOutcome::NoPrinter:
        case HerdOutcome::PrintFailed:
        case HerdOutcome::Interrupted: break;
    }
}

// Creates the summary and conception files (and empties the traces); false after a message
// when they cannot be.
bool CreateOutputFiles(OutputFiles& files, const std::string& folder, UserServices& services) {
    try {
        files.Create(folder);
        return true;
    } catch (const OutputFileError& e) {
        const bool summary = e.Path() == folder + kSummaryFileName;
        ShowError(services, summary ? std::string("Could not create ") + kSummaryFileName + ": " + e.Reason()
                          : std::string(e.what()));
        return false;
    }
}

}  // namespace

std::string HerdFileToOpen(const std::string& written, const std::string& batchFile) {
    namespace fs = std::filesystem;
    const fs::path path(written);
    if (written.empty() || path.is_absolute()) return written;
    std::error_code error;
    if (fs::exists(path, error) || error) return written;
    const fs::path folder = fs::absolute(fs::path(batchFile), error).parent_path();
    if (error) return written;
    const fs::path beside = folder / path;
    return fs::exists(beside, error) ? beside.string() : written;
}

std::string BatchSummaryText(const BatchTally& tally, const ReportOutput& output,
                             const std::string& logPath, bool& warning) {
    const auto count = [](int n, const char* one, const char* many) {
        return IntToText(n) + " " + (n == 1 ? one : many);
    };
    const int analysed = tally.herds - tally.failed;
    std::string reports;
    if (output.preview) {
        reports = count(tally.previewed, "report shown", "reports shown");
        if (tally.printed > 0) {
            reports += std::string(", ") + IntToText(tally.printed) +
                       (output.skippedPdfFolder.empty() ? " printed" : " saved as PDF files");
        }
    } else if (!output.pdfFolder.empty()) {
        reports = count(tally.printed, "report saved as a PDF file", "reports saved as PDF files");
    } else {
        reports = count(tally.printed, "report printed", "reports printed");
    }
    warning = tally.failed > 0 || tally.printed + tally.previewed < analysed;
    return "Task completed: " + count(analysed, "herd analysed", "herds analysed") + ", " +
           IntToText(tally.failed) + " failed, " + reports + " (batch log: " + logPath + ")";
}

namespace {

// The job's output with the working folder a preview without a window keeps its PDF in.
ReportOutput OutputInWorkingFolder(const BatchJob& job) {
    ReportOutput output = job.output;
    if (output.preview && output.noDialogs) output.workingFolder = WorkingFolderPath(job.workingFolder);
    return output;
}

}  // namespace

ReportDevice DeviceOf(const ReportOutput& output) {
    if (!output.pdfFolder.empty()) return ReportDevice::Pdf;
    // Without a screen a preview cannot be looked at: it is kept as a PDF instead.
    if (output.preview && output.noDialogs) return ReportDevice::Pdf;
    return output.preview ? ReportDevice::Preview : ReportDevice::Printer;
}

std::string PdfFolderOf(const ReportOutput& output) {
    if (!output.pdfFolder.empty()) return output.pdfFolder;
    if (output.preview && output.noDialogs) return output.workingFolder;
    // A preview proposes the report's own name when it is saved from the window.
    return {};
}

RunSteps StandardRunSteps() {
    RunSteps steps;
    steps.analyse = [](const std::string& herdNumber, Date analysisDate, const std::string& owner,
                       const std::string& address, HerdList& herd, HerdReport& report,
                       const std::string& workingFolder, const SummaryWriter& writeSummary,
                       UserServices& services, CowLists* cowLists, ReportExtent extent) {
        AnalyseHerd(herdNumber, analysisDate, owner, address, herd, report, workingFolder,
                    writeSummary, services, cowLists, extent);
    };
    steps.mayGiveRow = MayFindSufficientPeriod;
    return steps;
}

bool RunBatch(const BatchJob& job, const std::string& batchFile, BatchTally* tally) {
    const std::string folder = WorkingFolderPath(job.workingFolder);
    const ReportOutput& output = job.output;
    UserServices& outer = job.services;

    FolderLock lock;
    if (lock.Take(folder) == FolderLock::Result::InUse) {
        ShowError(outer, FolderInUseMessage(WorkingFolder(job.workingFolder)));
        return false;
    }
    std::optional<BatchLog> log;
    try {
        log.emplace(folder + kBatchLogFileName);
    } catch (const OutputFileError& e) {
        ShowError(outer, "Could not open " + e.Path() + ": " + e.Reason());
        return false;
    }
    const std::unique_ptr<RegularFileInput> batchInput = OpenInput(batchFile, kBatchFileInput, outer);
    if (!batchInput) return false;
    std::istream* batch = &batchInput->Stream();
    if (!SkipByteOrderMark(*batch)) {
        ShowError(outer, batchFile + ": " + kUtf16TextMessage);
        return false;
    }
    OutputFiles files(std::cerr, job.traces, job.trends, job.cowLists);
    if (!CreateOutputFiles(files, folder, outer)) return false;

    RunScope scope(job, outer);

    // A machine without any printer is said once for the whole batch, before any herd (and
    // before worker processes start, so that none of them says it again).
    const bool printerMissing = DeviceOf(output) == ReportDevice::Printer && !scope.steps.printerInstalled();
    if (printerMissing) {
        ShowNoPrinterOnce("No printer is installed", scope);
        // Nor is one looked for again at every herd (a search of the print system each).
        scope.steps.print = [](const HerdReport&, const ReportOutput&) {
            throw NoPrinterError("No printer is installed");
        };
    }
    BatchTally counted;
    // A person watching the previews of a batch is told which herd of how many each one is,
    // and may skip the rest.
    PreviewSeries series;
    ReportOutput batchOutput = output;
    batchOutput.workingFolder = folder;
    if (DeviceOf(output) == ReportDevice::Preview) {
        series.herds = CountBatchHerds(batchFile);
        batchOutput.series = &series;
    }

    std::string line;
    PdfFileNames pdfNames;
    std::optional<BatchProgress> progress;
    if (job.progressLine) {
        progress.emplace(outer, std::cerr, CountBatchHerds(batchFile));
        scope.messages = &*progress;
    }
    UserServices& services = *scope.messages;
    int herdsDone = 0;
    const auto herdDone = [&progress, &herdsDone] {
        ++herdsDone;
        if (progress) progress->HerdDone();
        HerdFinished();
    };
    try {
        if (job.jobs > 1) {
            const HerdStepInto step = [&scope, &batchFile, &job](const std::string& herdLine,
                                                                 const std::string& into,
                                                                 const ReportOutput& herdOutput,
                                                                 UserServices& herdServices) {
                OutputFiles herdFiles(std::cerr, job.traces, job.trends, job.cowLists);
                herdFiles.Create(into, false);
                BatchLog herdLog(into + kBatchLogFileName);
                // A report or trace that the herd's own folder cannot take is a fault of that
                // folder, not of the herd: every later herd would meet it too.
                std::optional<OutputFileError> unwritten;
                RunScope herdScope = scope;
                herdScope.messages = &herdServices;
                herdScope.steps.print = [&](const HerdReport& report, const ReportOutput& out) {
                    try {
                        scope.steps.print(report, out);
                    } catch (const ReportFileError& e) {
                        if (e.Path().starts_with(into)) unwritten.emplace("write", e.Path(), e.Reason());
                        throw;
                    }
                };
                // The herd's PDF takes the plain name here; the batch process gives it its
                // name among the whole batch's reports.
                PdfFileNames herdNames;
                std::optional<HerdOutcome> outcome;
                RunBatchLine(herdLine, batchFile, herdFiles, herdLog, herdNames, herdOutput,
                             herdScope, &outcome);
                if (unwritten) throw *unwritten;
                if (herdFiles.TraceFailure()) throw *herdFiles.TraceFailure();
                if (!herdNames.Empty()) OutputFile().Create(into + kPdfNameClaimedFile);
                HerdFinished();
                return outcome;
            };
            const BatchSinks sinks{
                [&log](const std::string& text) { log->Line(text); },
                [&files](std::string_view summary, std::string_view conception, std::string_view trends,
                         std::string_view cowLists) {
                    files.Append(summary, conception, trends, cowLists);
                },
                [&pdfNames](const std::string& path) { return pdfNames.Claim(path); },
                herdDone,
                [&files](std::string_view trace, std::string_view detail) {
                    files.AppendTraces(trace, detail);
                },
                [&counted](HerdOutcome outcome, const std::string& logLine) {
                    Count(counted, outcome, false, FailedHerdOfLogLine(logLine));
                },
                [&files] { return files.TraceFiles(); },
                [&files](const OutputFileError& why) { files.LeaveTracesOut(why); },
                [&files] { return files.RowFiles(); },
                [&log] { return &log->File(); }};
            RunBatchOnWorkers(*batch, job.jobs, batchOutput, step, sinks, services);
        } else {
            while (StopSignal() == 0 && ReadTextLine(*batch, line)) {
                std::optional<HerdOutcome> outcome;
                std::string failure;
                const bool previewed = DeviceOf(batchOutput) == ReportDevice::Preview && !series.skipRemaining;
                const bool done = RunBatchLine(line, batchFile, files, *log, pdfNames, batchOutput,
                                               scope, &outcome, &failure);
                if (done && outcome) {
                    Count(counted, *outcome, previewed, {FirstCsvField(line), failure});
                    herdDone();
                }
            }
        }
    } catch (const OutputFileError& e) {
        // Every later herd would fail the same way; the herds before this one stay.
        ShowError(services, "The batch stopped after " + IntToText(herdsDone) + " herds of " + batchFile +
                  ": could not write " + e.Path() + ": " + e.Reason());
        return false;
    } catch (const OvistaError& e) {
        ShowError(services, e.what());
        return false;
    } catch (const std::bad_alloc&) {
        ShowError(services, "The batch stopped after " + IntToText(herdsDone) + " herds of " + batchFile +
                  ": " + kOutOfMemoryText);
        return false;
    }
    if (const int signal = StopSignal(); signal != 0) {
        // Not a message box: whoever sent the signal is not waiting for one.
        std::cerr << "Stopped by signal " << signal << " after " << herdsDone << " herds of "
                  << batchFile << "; no later herd is written." << std::endl;
        return false;
    }
    if (tally != nullptr) *tally = counted;
    return true;
}

bool RunSingleHerdCsv(const BatchJob& job, const std::string& path) {
    UserServices& services = job.services;
    const std::string folder = WorkingFolderPath(job.workingFolder);
    FolderLock lock;
    if (lock.Take(folder) == FolderLock::Result::InUse) {
        ShowError(services, FolderInUseMessage(WorkingFolder(job.workingFolder)));
        return false;
    }
    OutputFiles files(std::cerr, job.traces, job.trends, job.cowLists);
    if (!CreateOutputFiles(files, folder, services)) return false;
    RunScope scope(job, services);
    ReportOutput output = job.output;
    output.workingFolder = folder;

    std::unique_ptr<HerdList> herd;
    HerdHeaderFields header;
    bool loaded = false;
    const auto stopped = [&path] {
        std::cerr << "Stopped by signal " << StopSignal() << ": " << path << " is not written."
                  << std::endl;
        return false;
    };
    try {
        MessagesNamingFile naming(services, path);  // a UTF-16 file is refused by name
        loaded = LoadHerdFile(path, path, herd, header, naming);
    } catch (const NotHerdFileError& e) {
        ShowError(services, e.what());
        return false;
    } catch (const InputFileError& e) {
        ShowError(services, e.what());
        return false;
    } catch (const std::bad_alloc&) {
        herd.reset();
        ShowError(services, AnalysisFailedLine(path, kOutOfMemoryText));
        return false;
    } catch (const std::exception&) {
        loaded = false;
    }
    if (StopSignal() != 0) return stopped();
    if (!loaded || herd == nullptr) {
        // A caller that checks the exit status learns of it; a person reads the message.
        ShowError(services, NotLoadedLine(path, ""));
        return false;
    }

    std::string herdNumber, owner, address;
    if (IsFarmerIdRow(header)) {
        herdNumber = header[1];
        owner = header[2];
        address = header[3];
    }
    HerdResult result;
    try {
        const Date analysisDate = ParseDateText(header[4]);
        result = AnalyseAndPrint(herdNumber, analysisDate, owner, address, *herd, files,
                                 NamedAfter(output, PdfFileNameFor(path)), scope, path);
    } catch (const std::exception& e) {
        result = {HerdOutcome::AnalysisFailed, 0, e.what()};
    }
    services.PumpMessages();
    switch (result.outcome) {
        case HerdOutcome::Printed:
            return true;
        case HerdOutcome::NoReport:
            if (output.preview) ShowWarning(services, "No report possible for " + path);
            return true;
        case HerdOutcome::AnalysisFailed:
            ShowError(services, AnalysisFailedLine(path, result.message));
            return false;
        case HerdOutcome::PrintFailed:
        case HerdOutcome::NoPrinter:
            ShowError(services, NotPrintedLine(path, result.message));
            return false;
        case HerdOutcome::Interrupted:
            return stopped();
        case HerdOutcome::NotLoaded:
            return false;
    }
    return false;
}

bool RunReportFromStoredResult(const BatchJob& job, const std::string& path) {
    UserServices& services = job.services;
    const RunScope scope(job, services);
    const ReportOutput output = OutputInWorkingFolder(job);
    SetStoredDateOffset(true);
    try {
        const std::unique_ptr<RegularFileInput> in = OpenInput(path, kStoredResultInput, services);
        if (!in) return false;
        HerdReportBytes bytes{};
        in->Stream().read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        if (in->Stream().bad() || in->ReadFailed()) {
            ShowError(services, "Could not read " + path);
            return false;
        }
        const auto size = static_cast<std::size_t>(in->Stream().gcount());
        scope.steps.print(LoadHerdReport(bytes.data(), size), NamedAfter(output, PdfFileNameFor(path)));
    } catch (const std::exception&) {
        ShowError(services, "Could not analyse report from " + path);
        return false;
    }
    return true;
}

bool RunReportFromSummaryCsv(const BatchJob& job, const std::string& path) {
    UserServices& services = job.services;
    const RunScope scope(job, services);
    const ReportOutput output = OutputInWorkingFolder(job);
    const std::unique_ptr<RegularFileInput> file = OpenInput(path, kSummaryCsvInput, services);
    if (!file) return false;
    std::istream& in = file->Stream();
    if (!SkipByteOrderMark(in)) {
        ShowError(services, path + ": " + kUtf16TextMessage);
        return false;
    }
    try {
        std::string header, row;
        // A file without a row below its header has no report to give.
        if (!ReadTextLine(in, header) || !ReadTextLine(in, row) || in.bad() || file->ReadFailed()) {
            ShowError(services, "Could not read " + path);
            return false;
        }
        scope.steps.print(ReadSummaryRow(row), NamedAfter(output, PdfFileNameFor(path)));
    } catch (const std::exception&) {
        ShowError(services, "Could not analyse report from " + path);
        return false;
    }
    return true;
}

}  // namespace ovista
