#pragma once
// The centre benchmark run: at the end of a batch (or of a merge of shards), or on its own
// over a transfer folder that holds a summary file.
#include <string>

#include "batch/report_sink.h"
#include "herd/input_file.h"
#include "herd/services.h"

namespace ovista {

// The summary file and log of a batch of up to a million herds or so (a batch file holds at
// most 64 MB), each line a few hundred bytes.
inline constexpr InputKind kBatchOutputInput{"a summary file or batch log", 1024 * kMegabyte};

// Writes "BENCHMARK.CSV" and "BENCHMARK.pdf" into folder from its "TAMSLREP.CSV", counting
// the batch from its "QMRBATCH.REP" when that is there. A summary file without rows gives a
// benchmark of no herds. False (after a message) when the folder has no summary file or it
// is not one, when either is not a regular file or larger than kBatchOutputInput, when the
// folder is in use by another run, or when a file cannot be written. The PDF is drawn by
// reports; messages go to services.
bool RunBenchmark(const std::string& folder, UserServices& services, ReportSink& reports);

}  // namespace ovista
