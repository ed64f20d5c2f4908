#pragma once
// The files a herd run writes into its working folder: the summary and conception files,
// the traces beside them and the batch log. Other programs read the summary and the log, so
// a herd's lines are written whole or not at all, in every file.
#include <iosfwd>
#include <array>
#include <optional>
#include <string>
#include <string_view>

#include "analysis/output_file.h"

namespace ovista {

class OutputFiles {
public:
    // Lines about traces that are left out or cut short go to notes. traces: the run writes
    // trace files ("NOTRACE": false); trends: it analyses the earlier seasons ("TRENDS");
    // cowLists: it lists the cows to act on ("COWLISTS").
    OutputFiles(std::ostream& notes, bool traces, bool trends, bool cowLists = false);

    // Empties the traces (or, when trace files are not wanted, removes those of an earlier
    // run), creates the summary file with its header and the conception file, and with
    // trends the trends file with the same header (else a batch's folder loses the one
    // of an earlier run); the same for the cow-list file with cowLists.
    // OutputFileError when the summary, conception, trends or cow-list file cannot be created; a trace
    // that cannot be emptied only leaves the traces out. header: false for a worker's share of
    // a batch, whose lines go below the batch's header.
    void Create(const std::string& folder, bool header = true);

    // The folder the analysis writes its traces into: empty when the traces are left out.
    const std::string& TraceFolder() const { return traceFolder_; }
    // After each analysis: when a trace could not be written, says so in one line and
    // leaves the traces out for the rest of the run (a trace with holes misleads); when it
    // was for want of space, the trace files are emptied so the summary rows keep the room.
    void CheckTraces();

    // Appends one herd's summary, conception, trend and cow-list lines (whole lines, CR LF),
    // all or none. OutputFileError when a file cannot take them.
    void Append(std::string_view summaryLines, std::string_view conceptionLines,
                std::string_view trendLines = {}, std::string_view cowListLines = {});

    // Appends a herd's traces that a worker process wrote; a trace that cannot take them is
    // left as CheckTraces leaves it.
    void AppendTraces(std::string_view trace, std::string_view detail);

    // The trace and detail trace, open for appending, for worker processes that write a
    // herd's traces at their ends themselves; none while the traces are left out.
    std::array<OutputFile*, 2> TraceFiles();

    // The summary, conception, trend and cow-list files (the last two nullptr when not
    // written), for worker processes that append a herd's lines at their ends themselves.
    std::array<OutputFile*, 4> RowFiles();

    // Leaves the traces out from now on, with one line to notes. When the disk or quota is
    // full they are emptied as well.
    void LeaveTracesOut(const OutputFileError& why);

    // Why the traces were left out during the run; nullopt while they are written.
    const std::optional<OutputFileError>& TraceFailure() const { return traceFailure_; }

private:

    std::ostream& notes_;
    bool traces_;
    bool trendsWanted_;
    bool cowListsWanted_;
    std::string traceFolder_;
    std::optional<OutputFileError> traceFailure_;
    OutputFile summary_;
    OutputFile conception_;
    OutputFile trace_;   // the traces workers' herds are appended to
    OutputFile detail_;
    OutputFile trends_;  // open with trends only
    OutputFile cowLists_;  // open with cow lists only
};

// Appends one herd's summary, conception, trend and cow-list lines to files (as RowFiles
// gives them), all or none: OutputFileError, with the files as they were, when one cannot
// take them.
void AppendRows(const std::array<OutputFile*, 4>& files, const std::array<std::string_view, 4>& lines);

}  // namespace ovista
