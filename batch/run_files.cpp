#include "batch/run_files.h"

#include <filesystem>
#include <ostream>
#include <tuple>
#include <utility>

#include "analysis/trace.h"
#include "formats/cow_list_file.h"
#include "formats/summary_file.h"
#include "batch/trend_seasons.h"

namespace ovista {
OutputFiles::OutputFiles(std::ostream& notes, bool traces, bool trends, bool cowLists)
    : notes_(notes), traces_(traces), trendsWanted_(trends), cowListsWanted_(cowLists) {}

void OutputFiles::Create(const std::string& folder, bool header) {
    traceFolder_.clear();
    trace_.Close();
    detail_.Close();
    traceFailure_.reset();
    TakeTraceFailure();  // a failure of an earlier run is not this run's
    if (traces_) {
        try {
            for (const char* name : {kTraceFileName, kDetailTraceFileName}) {
                OutputFile().Create(folder + name);
            }
            traceFolder_ = folder;
        } catch (const OutputFileError& error) {
            LeaveTracesOut(error);
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
    if (trendsWanted_) {
        trends_.Create(folder + kTrendsFileName);
        if (header) trends_.WriteLine(SummaryHeaderText());
    } else if (header) {
        // Rows of an earlier run would pass for this run's earlier seasons.
        std::error_code ignored;
        std::filesystem::remove(folder + kTrendsFileName, ignored);
    }
    cowLists_.Close();
    if (cowListsWanted_) {
        cowLists_.Create(folder + kCowListFileName);
        if (header) cowLists_.WriteLine(kCowListHeader);
    } else if (header) {
        // Cows listed by an earlier run would pass for this run's.
        std::error_code ignored;
        std::filesystem::remove(folder + kCowListFileName, ignored);
    }
}

void OutputFiles::CheckTraces() {
    const std::optional<OutputFileError> failure = TakeTraceFailure();
    if (failure && !traceFolder_.empty()) LeaveTracesOut(*failure);
}

void OutputFiles::LeaveTracesOut(const OutputFileError& why) {
    traceFailure_ = why;
    trace_.Close();
    detail_.Close();
    bool emptied = false;
    if (why.ForWantOfSpace() && !traceFolder_.empty()) {
        // Cut short, they are of no use; the room they take is what the summary rows of the
        // next herds need.
        try {
            for (const char* name : {kTraceFileName, kDetailTraceFileName}) {
                OutputFile().Create(traceFolder_ + name);
            }
            emptied = true;
        } catch (const OutputFileError&) {
        }
    }
    traceFolder_.clear();
    notes_ << (emptied ? "The trace files were emptied to keep room for the summary; "
                       : "The trace files were cut short; ")
           << "the analysis goes on without them: " << why.what() << std::endl;
}

void OutputFiles::Append(std::string_view summaryLines, std::string_view conceptionLines,
                         std::string_view trendLines, std::string_view cowListLines) {
    AppendRows(RowFiles(), {summaryLines, conceptionLines, trendLines, cowListLines});
}

std::array<OutputFile*, 4> OutputFiles::RowFiles() {
    return {&summary_, &conception_, trends_.IsOpen() ? &trends_ : nullptr,
            cowLists_.IsOpen() ? &cowLists_ : nullptr};
}

void AppendRows(const std::array<OutputFile*, 4>& files, const std::array<std::string_view, 4>& lines) {
    OutputFile& summary = *files[0];
    OutputFile& conception = *files[1];
    OutputFile* trends = files[2];
    const auto summaryLength = summary.Length();
    summary.Write(lines[0]);
    const auto conceptionLength = conception.Length();
    const auto trendsLength = trends != nullptr ? trends->Length() : 0;
    try {
        conception.Write(lines[1]);
        if (!lines[2].empty() && trends != nullptr) trends->Write(lines[2]);
        if (!lines[3].empty() && files[3] != nullptr) files[3]->Write(lines[3]);
    } catch (const OutputFileError&) {
        summary.CutBackTo(summaryLength);
        if (conception.Length() != conceptionLength) conception.CutBackTo(conceptionLength);
        if (trends != nullptr && trends->Length() != trendsLength) trends->CutBackTo(trendsLength);
        throw;
    }
}

std::array<OutputFile*, 2> OutputFiles::TraceFiles() {
    if (traceFolder_.empty()) return {};
    try {
        for (const auto& [file, name] :
             {std::pair{&trace_, kTraceFileName}, std::pair{&detail_, kDetailTraceFileName}}) {
            if (!file->IsOpen()) file->OpenForAppending(traceFolder_ + name);
        }
    } catch (const OutputFileError& error) {
        LeaveTracesOut(error);
        return {};
    }
    return {&trace_, &detail_};
}

void OutputFiles::AppendTraces(std::string_view trace, std::string_view detail) {
    if (traceFolder_.empty()) return;
    try {
        // Kept open from the first herd on: a batch appends to them for every herd.
        for (const auto& [file, name, text] : {std::tuple{&trace_, kTraceFileName, &trace},
                                               std::tuple{&detail_, kDetailTraceFileName, &detail}}) {
            if (text->empty()) continue;
            if (!file->IsOpen()) file->OpenForAppending(traceFolder_ + name);
            file->Write(*text);
        }
    } catch (const OutputFileError& error) {
        LeaveTracesOut(error);
    }
}

}  // namespace ovista
