#include "app/run_files.h"

#include <filesystem>
#include <ostream>
#include <utility>

#include "analysis/trace.h"
#include "app/summary_file.h"
#include "app/trend_seasons.h"

namespace ovista {
namespace {

bool& TraceFilesSwitch() {
    static bool wanted = true;
    return wanted;
}

}  // namespace

void SetTraceFilesWanted(bool wanted) { TraceFilesSwitch() = wanted; }

bool TraceFilesWanted() { return TraceFilesSwitch(); }

namespace {
bool& TrendsSwitch() {
    static bool wanted = false;
    return wanted;
}
}  // namespace

void SetTrendsWanted(bool wanted) { TrendsSwitch() = wanted; }

bool TrendsWanted() { return TrendsSwitch(); }

OutputFiles::OutputFiles(std::ostream& notes) : notes_(notes) {}

void OutputFiles::Create(const std::string& folder, bool header) {
    traceFolder_.clear();
    TakeTraceFailure();  // a failure of an earlier run is not this run's
    if (TraceFilesWanted()) {
        try {
            for (const char* name : {kTraceFileName, kDetailTraceFileName}) {
                OutputFile().Create(folder + name);
            }
            traceFolder_ = folder;
        } catch (const OutputFileError& error) {
            LeaveTracesOut(error.what());
        }
    } else {
        // Traces of an earlier run would pass for this run's.
        std::error_code ignored;
        std::filesystem::remove(folder + kTraceFileName, ignored);
        std::filesystem::remove(folder + kDetailTraceFileName, ignored);
    }
    summary_.Create(folder + kSummaryFileName);
    conception_.Create(folder + kConceptionFileName);
    if (header) summary_.WriteLine(SummaryHeaderText());
    trends_.Close();
    if (TrendsWanted()) {
        trends_.Create(folder + kTrendsFileName);
        if (header) trends_.WriteLine(SummaryHeaderText());
    } else if (header) {
        // Rows of an earlier run would pass for this run's earlier seasons.
        std::error_code ignored;
        std::filesystem::remove(folder + kTrendsFileName, ignored);
    }
}

void OutputFiles::CheckTraces() {
    const std::string failure = TakeTraceFailure();
    if (!failure.empty() && !traceFolder_.empty()) LeaveTracesOut(failure);
}

void OutputFiles::LeaveTracesOut(const std::string& why) {
    traceFolder_.clear();
    notes_ << "The trace files were cut short; the analysis goes on without them: " << why
           << std::endl;
}

void OutputFiles::Append(const std::string& summaryLines, const std::string& conceptionLines,
                         const std::string& trendLines) {
    const auto summaryLength = summary_.Length();
    summary_.Write(summaryLines);
    const auto conceptionLength = conception_.Length();
    try {
        conception_.Write(conceptionLines);
        if (!trendLines.empty() && trends_.IsOpen()) trends_.Write(trendLines);
    } catch (const OutputFileError&) {
        summary_.CutBackTo(summaryLength);
        if (conception_.Length() != conceptionLength) conception_.CutBackTo(conceptionLength);
        throw;
    }
}

void OutputFiles::AppendTraces(const std::string& trace, const std::string& detail) {
    if (traceFolder_.empty()) return;
    try {
        for (const auto& [name, text] : {std::pair{kTraceFileName, &trace},
                                         std::pair{kDetailTraceFileName, &detail}}) {
            if (text->empty()) continue;
            OutputFile file;
            file.OpenForAppending(traceFolder_ + name);
            file.Write(*text);
        }
    } catch (const OutputFileError& error) {
        LeaveTracesOut(error.what());
    }
}

BatchLog::BatchLog(const std::string& path) { out_.Create(path); }

void BatchLog::Line(const std::string& text) { out_.WriteLine(text); }

}  // namespace ovista
