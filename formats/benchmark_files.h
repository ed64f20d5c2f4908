#pragma once
// The files of the centre benchmark: the summary file and the batch log it is made from,
// and "BENCHMARK.CSV", one line per herd and headline figure, for other programs.
#include <istream>
#include <string>
#include <string_view>
#include <vector>

#include "interpret/benchmark.h"

namespace ovista {

inline constexpr const char* kBenchmarkFileName = "BENCHMARK.CSV";
inline constexpr const char* kBenchmarkPdfName = "BENCHMARK.pdf";

// The herds of a summary file, in its order. A file without rows (or without any line) has no
// herds. A row that cannot be read (a date that is no date, a count beyond 16 bits) is left
// out with a message in `skipped` naming the file and line. OvistaError when the first line
// is not the summary header, or the file holds UTF-16 text.
struct SummaryHerds {
    std::vector<BenchmarkHerd> herds;
    std::vector<std::string> skipped;
};
SummaryHerds ReadSummaryHerds(std::istream& in, const std::string& path);

// How the herds of a batch fared, from its log "QMRBATCH.REP": one line per herd of the batch.
// Lines of another form count for nothing.
BatchCounts CountFromBatchLog(std::istream& log);

// "SHNO,CalvingSystem,Column,Value,HerdsCompared,Percentile,Quartile".
std::string_view BenchmarkHeaderText();
// The file's text: the header, then a line per herd and headline figure, each ending CR LF.
// A figure that is not given has an empty percentile and quartile.
std::string BenchmarkCsvText(const std::vector<BenchmarkHerd>& herds,
                             const std::vector<BenchmarkLine>& lines);

}  // namespace ovista
