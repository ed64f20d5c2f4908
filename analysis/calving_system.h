#pragma once
// The analysis by calving system: once the herd's calving pattern is known, each system
// decides the mating start date and the basis of the in-calf figures, and runs the rate
// stages in the order that basis needs.
#include <cstdint>
#include <vector>

#include "analysis/analysis_context.h"

namespace ovista {

// Year-round herds: days from calving within which a first service counts as submitted.
inline constexpr int kSubmissionDays = 80;

// The 80-day submission rate of a year-round group: a lactation is eligible once the herd's
// AI records (its last AI mating) run more than 80 days past her calving, and submitted when,
// so eligible, she was first served within 80 days of calving.
inline bool EligibleFor80DaySubmission(const AnalysisContext& context, const CowRecord& cow) {
    return std::int64_t{context.LastAIMating} - cow.Calved > kSubmissionDays;
}
inline bool SubmittedBy80Days(const AnalysisContext& context, const CowRecord& cow) {
    return EligibleFor80DaySubmission(context, cow) && cow.FirstService > 0 &&
           std::int64_t{cow.FirstService} - cow.Calved <= kSubmissionDays;
}

// Seasonal herds. recalvingOnly restricts the basis to recalving information (the second
// run when the first gave no 6-week in-calf rate). Without a mating start in a period with
// enough data the herd is analysed on early pregnancy tests from the MSD found by the tests,
// or else on recalvings from the MSD found by the calvings.
void AnalyseSeasonal(AnalysisContext& context, bool recalvingOnly);

// Split-calving herds; a herd without a previous mating start is analysed as seasonal.
// Error 4 when no basis is possible and the herd has no early pregnancy-test period.
void AnalyseSplit(AnalysisContext& context);

// Year-round herds: the most recent period with enough data (early pregnancy tests first on
// a tie, then mating, pregnancy tests, recalvings) gives the basis, or Error 4. Besides the
// rate stages it finds the voluntary waiting period, the last recalving, the 382-day
// recalving counts, yields, 80-day submission, year-round non-return and heat-interval
// counts, and the estimated number of cows in calf by 100 days.
void AnalyseYearRound(AnalysisContext& context);

// The computations that turn the arrays into the report's figures, in the order they run.
enum class AnalysisStage {
    ComputeConceptionTimes,
    BuildConceptionTables,
    ReadTableRates,
    ReadSplitNICR,
    NonReturnRate,
    YearRoundNonReturnRate,
    ConceptionRateByTech,
    HerdRates,
    SubmissionRates,
    EstimateICR,
    RecalvingICR,
};

// The stages run for a calving pattern (1 seasonal, 2 split, 3 year-round), an analysis
// basis and whether the analysed period has enough mating records; empty for basis 0.
std::vector<AnalysisStage> StageSequence(std::int16_t pattern, std::int16_t basis, bool matingData);

// Name of a stage as it reads in code and traces.
const char* StageName(AnalysisStage stage);

}  // namespace ovista
