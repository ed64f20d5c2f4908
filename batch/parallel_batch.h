#pragma once
// A batch on several worker processes. The workers are forked from the batch process before
// it has analysed any herd and take one herd at a time; the per-herd step leaves nothing in the
// process that the next herd reads (every herd of a one-process batch relies on that too), and
// a herd that crashes its worker costs that herd only: a new worker takes the next one. Each
// herd writes its log line, summary and conception lines, traces, messages and PDF files into
// a private folder; the batch process takes them over in batch order, so the files come out
// as a one-process run writes them. The traces, most of those bytes, do not pass through the
// batch process: when a herd's turn comes, its worker writes them into the trace files itself,
// and the herd's summary, conception, trend, cow-list and log lines after them.
#include <array>
#include <functional>
#include <optional>
#include <istream>
#include <string>
#include <string_view>

#include "analysis/output_file.h"
#include "batch/runs.h"

namespace ovista {

// What the batch process does with the result of each herd, in batch order.
struct BatchSinks {
    std::function<void(const std::string& line)> logLine;  // one line of the batch log
    // The herd's summary, conception, trend and cow-list lines, as written (CR LF ends).
    std::function<void(std::string_view summary, std::string_view conception, std::string_view trends,
                       std::string_view cowLists)>
        rows;
    // The name of the herd's PDF among the batch's reports, for a herd that took one.
    std::function<std::string(const std::string& path)> claimPdfName;
    // After each batch line that named a herd: herds done so far.
    std::function<void()> herdDone;
    // The herd's trace and detail trace, as written (whole CR LF lines), when the batch
    // process appends them itself: the herd's worker ended before it wrote them.
    std::function<void(std::string_view trace, std::string_view detail)> traces;
    // What became of the herd, after its log line (AnalysisFailed for a worker that ended on
    // it), with that line: a failed herd's reason is told to the person at the end.
    std::function<void(HerdOutcome outcome, const std::string& logLine)> counted;
    // The trace and detail trace open for appending, none while the traces are left out. A
    // herd's worker writes its traces at their ends itself, when the herds before it are in
    // them and none after it; the batch process then resumes them at their new lengths.
    std::function<std::array<OutputFile*, 2>()> traceFiles;
    // A worker could not write a herd's traces (it cut back what it wrote): the traces are
    // left out from there on, as when the batch process cannot write them.
    std::function<void(const OutputFileError& why)> tracesFailed;
    // The files the rows sink appends to: the summary, conception, trend and cow-list files
    // (the last two nullptr when not written). A herd's worker appends its lines after its
    // traces when it writes those; the batch process then resumes them at their new lengths.
    std::function<std::array<OutputFile*, 4>()> rowFiles;
    // The batch log that logLine writes to: the worker appends the herd's log lines after
    // its rows the same way.
    std::function<OutputFile*()> logFile;
};

// Left by the per-herd step in its folder when the herd's report took a PDF name.
inline constexpr const char* kPdfNameClaimedFile = "pdfname";

// The per-herd step of one batch line, writing into folder (which ends in a separator) as
// the batch run writes into the transfer folder, but without the summary header; its
// messages go to services. It throws OutputFileError when a file of folder could not be
// written, traces and reports included.
// Returns what became of the herd; nullopt when the line named none or a signal stopped it.
using HerdStepInto = std::function<std::optional<HerdOutcome>(const std::string& line, const std::string& folder,
                                                              const ReportOutput& output, UserServices& services)>;

// Runs every line of the batch on up to jobs worker processes at a time and hands the
// results to sinks in batch order (every sink must be set); the PDF files are moved into
// output.pdfFolder. A worker that does not end normally is logged as "Analysis failes for
// <path>: <reason>". OvistaError from a sink ends the batch (the running workers are stopped
// first); so does a stop signal (stop_signals.h): the herds taken over before it are whole,
// no later one is taken over. A herd whose private folder cannot be written (full, failing:
// any OutputFileError of the step, a message or output that could not be kept) ends the
// batch too, with OutputFileError naming the file and the reason, after its log line.
// The workers' messages are shown on services as they are taken over.
// Test hook: a herd whose batch line contains the text of OVISTA_TEST_CRASH_HERD crashes its
// worker.
void RunBatchOnWorkers(std::istream& batch, int jobs, const ReportOutput& output,
                       const HerdStepInto& step, const BatchSinks& sinks, UserServices& services);

// Worker processes for a batch: jobsKey is the value of "JOBS=" (empty when not given).
// The default is the number of processors. Runs that may show a window (no console services,
// or the preview) use one process; so do reports on a printer unless JOBS= was given, so
// that printed reports leave in batch order.
int BatchJobs(const std::string& jobsKey, bool consoleServices, const ReportOutput& output);

}  // namespace ovista
