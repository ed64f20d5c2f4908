#pragma once
// The batch log "QMRBATCH.REP": one whole line per herd of a batch, in batch order, saying
// what became of it. Other programs read it, so its phrases are spelled here only: the runs
// write them, the benchmark reads them back.
#include <optional>
#include <string>
#include <string_view>

#include "analysis/output_file.h"

namespace ovista {

inline constexpr const char* kBatchLogFileName = "QMRBATCH.REP";

// The reason logged for a herd or a run that ran out of memory.
inline constexpr const char* kOutOfMemoryText = "out of memory";

// "Data analysed from <path>": analysed, its report put out (or no printer to put it on).
std::string AnalysedLine(const std::string& path);
// "Could not print report for <path>: <reason>": analysed, its report not put out.
std::string NotPrintedLine(const std::string& path, const std::string& reason);
// "Could not load data from <path><detail>", detail empty or ": <reason>".
std::string NotLoadedLine(const std::string& path, const std::string& detail);
// "Analysis failes for <path>: <reason>": the analysis (or the herd's worker) stopped.
std::string AnalysisFailedLine(const std::string& path, const std::string& reason);
// "Analysis failes for <path> with error code <code>": analysed, no report possible.
std::string NoReportLine(const std::string& path, int code);

// What a herd's log line says became of it.
enum class LoggedOutcome { Analysed, NotPrinted, NotLoaded, AnalysisFailed, NoReport };

// The outcome of a log line; code is set for NoReport. nullopt for a line of another form.
std::optional<LoggedOutcome> ReadLogLine(std::string_view line, int& code);

// The batch log's writer: whole lines only.
class BatchLog {
public:
    // OutputFileError when the log cannot be created.
    explicit BatchLog(const std::string& path);
    // OutputFileError when the line cannot be written; the log keeps its whole lines.
    void Line(const std::string& text);
    // The file itself, for worker processes that append a herd's lines at its end.
    OutputFile& File() { return out_; }

private:
    OutputFile out_;
};

}  // namespace ovista
