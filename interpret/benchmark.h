#pragma once
// The centre benchmark: where each herd of a batch stands among the herds of the same
// calving system, headline figure by headline figure. Advisers use it to see which herds to
// visit first; the rules here are plain functions over the figures of the summary rows.
#include <array>
#include <cstddef>
#include <cstdint>
#include <map>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "analysis/herd_report.h"
#include "interpret/headline_figures.h"

namespace ovista {


// What the benchmark keeps of one summary row; a batch of many thousand herds is held whole.
struct BenchmarkHerd {
    std::string herdNumber;  // SHNO, bytes as in the row
    std::string owner;       // bytes as in the row
    int system = 0;          // AnalysisCalvingPattern: 1 seasonal, 2 split, 3 year-round
    int level = 0;           // AnalType: the basis of the analysis
    int error = 0;
    bool reported = false;   // a report is drawn for the herd
    int matingWeeks = 21;    // weeks of mating, for the not-in-calf aim
    std::array<std::int16_t, kHeadlineFields> values{};  // by HeadlineField; 0 = not given

    std::int16_t Value(HeadlineField field) const { return values[static_cast<std::size_t>(field)]; }
    bool operator==(const BenchmarkHerd&) const = default;
};

// The part of a record the benchmark keeps.
BenchmarkHerd BenchmarkHerdOf(const HerdReport& report);

// "Seasonal", "Split", "Year-round"; empty for any other code.
std::string_view CalvingSystemName(int system);
// The report's words for the basis: "Detailed" (early pregnancy tests), "Intermediate"
// (mating records, pregnancy tests), "Basic" (recalvings); empty for any other code.
std::string_view AnalysisLevelName(int level);

// Percentile of a herd among `compared` herds (itself included, at least 1): 100 x (worse +
// half of equalOthers) / (compared - 1), rounded half to even; 50 for a herd compared alone.
int Percentile(int worse, int equalOthers, int compared);
// 1 for the best quarter (percentile 75 and above), 2 from 50, 3 from 25, 4 below 25.
int Quartile(int percentile);

// One line of the benchmark: a herd's standing in one headline figure.
struct BenchmarkLine {
    std::size_t herd = 0;  // index into the herds
    const HeadlineFigure* figure = nullptr;
    int value = 0;
    int compared = 0;    // herds of the system with the figure given
    int percentile = -1; // -1 and quartile 0 when the herd's figure is not given
    int quartile = 0;
};

// Every herd's standing in every headline figure of its calving system, herd by herd in the
// order given, figures in their order. A figure of 0 is not given: it is not compared and
// gets no percentile.
std::vector<BenchmarkLine> BenchmarkLines(const std::vector<BenchmarkHerd>& herds);

// The aim the herd reports print beside a headline figure. The not-in-calf aim depends on
// the length of mating: the aim printed for most of the herds given is taken (the lower one
// where two are printed as often).
int HeadlineAim(int system, HeadlineField field, std::span<const BenchmarkHerd* const> herds);

// How the herds of the batch fared, from the batch log when there is one.
struct BatchCounts {
    bool fromLog = false;  // false: counted from the summary rows alone
    int inBatch = 0;
    int analysed = 0;         // analysed with a report (printed or written)
    int notPrinted = 0;       // of those, the report could not be put out
    int notLoaded = 0;        // failed: the herd file could not be read
    int analysisFailed = 0;   // failed: the analysis stopped on an error
    int noReport = 0;         // failed: analysed, but the figures allow no report
    std::map<int, int> errorCodes;  // error code -> herds without report
    int Failed() const { return notLoaded + analysisFailed + noReport; }
    bool operator==(const BatchCounts&) const = default;
};

// Counts from the summary rows: every row is a herd of the batch, analysed when its report
// can be drawn.
BatchCounts CountFromSummary(const std::vector<BenchmarkHerd>& herds);

// The whole benchmark of a batch, as the pages draw it.
struct Benchmark {
    std::string folder;  // the transfer folder, as named
    Date reportDate = 0;
    BatchCounts counts;
    int rowsLeftOut = 0;  // summary rows that could not be read
    std::vector<BenchmarkHerd> herds;
    std::vector<BenchmarkLine> lines;
};

}  // namespace ovista
