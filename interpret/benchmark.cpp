#include "interpret/benchmark.h"

#include <algorithm>

#include "interpret/interpretation.h"
#include "interpret/ratings.h"

namespace ovista {
namespace {

std::size_t Index(HeadlineField field) { return static_cast<std::size_t>(field); }

// A value's rank among the sorted values of the herds compared: how many are worse, how
// many others are the same.
struct Rank {
    int worse;
    int equalOthers;
};
Rank RankOf(const std::vector<int>& sorted, int value, bool higherIsWorse) {
    const auto lower = std::lower_bound(sorted.begin(), sorted.end(), value);
    const auto upper = std::upper_bound(lower, sorted.end(), value);
    const int below = static_cast<int>(lower - sorted.begin());
    const int above = static_cast<int>(sorted.end() - upper);
    return {higherIsWorse ? above : below, static_cast<int>(upper - lower) - 1};
}

}  // namespace

BenchmarkHerd BenchmarkHerdOf(const HerdReport& r) {
    BenchmarkHerd herd;
    herd.herdNumber = r.SHNO;
    herd.owner = r.Owner;
    herd.system = r.AnalysisCalvingPattern;
    herd.level = r.AnalType;
    herd.error = r.Error;
    herd.reported = IsReportPrintable(r);
    herd.matingWeeks = MatingWeeks(r);
    herd.values = {r.ICR6wk, r.NICR, r.SR3wk, r.CR, r.Calv6wk, r.ICR100d, r.NICR200d, r.SR80d, r.VWP};
    return herd;
}

std::string_view CalvingSystemName(int system) {
    switch (system) {
        case kSeasonalCalving: return "Seasonal";
        case kSplitCalving: return "Split";
        case kYearRoundCalving: return "Year-round";
        default: return "";
    }
}

std::string_view AnalysisLevelName(int level) {
    switch (level) {
        case kBasisEarlyPregTest: return "Detailed";
        case kBasisMatingRecords:
        case kBasisPregTest: return "Intermediate";
        case kBasisRecalving: return "Basic";
        default: return "";
    }
}

int Percentile(int worse, int equalOthers, int compared) {
    if (compared <= 1) return 50;
    // 100 x (2 worse + equal) / (2 (compared - 1)) in whole numbers, so a half is exact.
    const long long numerator = 100LL * (2LL * worse + equalOthers);
    const long long denominator = 2LL * (compared - 1);
    long long quotient = numerator / denominator;
    const long long twiceRest = 2 * (numerator % denominator);
    if (twiceRest > denominator || (twiceRest == denominator && quotient % 2 != 0)) ++quotient;
    return static_cast<int>(quotient);
}

int Quartile(int percentile) {
    if (percentile >= 75) return 1;
    if (percentile >= 50) return 2;
    if (percentile >= 25) return 3;
    return 4;
}

std::vector<BenchmarkLine> BenchmarkLines(const std::vector<BenchmarkHerd>& herds) {
    // The given values of every calving system and figure, sorted.
    std::map<std::pair<int, std::size_t>, std::vector<int>> given;
    for (const BenchmarkHerd& herd : herds) {
        for (const HeadlineFigure& figure : HeadlineFigures(herd.system)) {
            if (const int value = herd.Value(figure.field); value != 0) {
                given[{herd.system, Index(figure.field)}].push_back(value);
            }
        }
    }
    for (auto& [key, values] : given) std::sort(values.begin(), values.end());

    std::vector<BenchmarkLine> lines;
    for (std::size_t h = 0; h < herds.size(); ++h) {
        const BenchmarkHerd& herd = herds[h];
        for (const HeadlineFigure& figure : HeadlineFigures(herd.system)) {
            BenchmarkLine line;
            line.herd = h;
            line.figure = &figure;
            line.value = herd.Value(figure.field);
            const auto values = given.find({herd.system, Index(figure.field)});
            if (values != given.end()) line.compared = static_cast<int>(values->second.size());
            if (line.value != 0) {
                const Rank rank = RankOf(values->second, line.value, figure.higherIsWorse);
                line.percentile = Percentile(rank.worse, rank.equalOthers, line.compared);
                line.quartile = Quartile(line.percentile);
            }
            lines.push_back(line);
        }
    }
    return lines;
}

int HeadlineAim(int system, HeadlineField field, std::span<const BenchmarkHerd* const> herds) {
    if (field == HeadlineField::VWP) return 60;
    // The herd's own system first: the conception rate's aim is the system's.
    for (const int tables : {static_cast<int>(system), static_cast<int>(kSeasonalCalving), static_cast<int>(kYearRoundCalving)}) {
        for (const HeadlineFigure& figure : HeadlineFigures(tables)) {
            if (figure.field == field && figure.target != nullptr) return figure.target->aim;
        }
    }
    // The not-in-calf rate: the aim printed for most of the herds, by their weeks of mating.
    std::map<int, int> printed;  // aim -> herds
    for (const BenchmarkHerd* herd : herds) ++printed[NicrTarget(herd->matingWeeks)];
    if (printed.empty()) return NicrTarget(21);
    int aim = printed.begin()->first;
    for (const auto& [target, count] : printed) {
        if (count > printed[aim]) aim = target;
    }
    return aim;
}

BatchCounts CountFromSummary(const std::vector<BenchmarkHerd>& herds) {
    BatchCounts counts;
    counts.inBatch = static_cast<int>(herds.size());
    for (const BenchmarkHerd& herd : herds) {
        if (herd.reported) {
            ++counts.analysed;
        } else {
            ++counts.noReport;
            ++counts.errorCodes[herd.error];
        }
    }
    return counts;
}

}  // namespace ovista
