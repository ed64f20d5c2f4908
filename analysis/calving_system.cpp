#include "analysis/calving_system.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <utility>

#include "analysis/conception.h"
#include "analysis/mating_arrays.h"
#include "analysis/rates.h"
#include "herd/textutil.h"

namespace ovista {
namespace {

// One past the last period index: no period found.
constexpr int kNoPeriod = kPeriodCount;
// Days from calving after which a year-round cow is part of the 100-day estimate, given the
// herd's last AI mating.
constexpr int kEstimateDays = 130;
// A recalving within this many days of calving belongs to the 382-day year.
constexpr int kRecalvingYear = 382;

void Increment(std::int16_t& count) { count = CheckedInt16(std::int64_t{count} + 1); }

bool IsMature(const CowRecord& cow) { return cow.Age == 0 || cow.Age >= 4; }

// Logistic probability e^z / (1 + e^z).
double Logistic(double z) { return std::exp(z) / (1 + std::exp(z)); }

const char* BasisLine(std::int16_t basis) {
    switch (basis) {
        case kBasisMatingRecords: return "Analysis basis = Mating records";
        case kBasisEarlyPregTest: return "Analysis basis = Early preg test";
        case kBasisPregTest: return "Analysis basis = Pregnancy test";
        case kBasisRecalving: return "Analysis basis = Recalving info";
        default: return "Analysis basis = Not possible";
    }
}

void TraceDate(AnalysisContext& context, const char* label, Date date) {
    context.trace.Line(label, FormatDateText(date));
}

bool HasMatingData(const AnalysisContext& context) {
    const int index = context.PeriodIndex;
    return index >= 0 && index < kPeriodCount && context.Period(index).MatingOK;
}

void RunStage(AnalysisContext& context, AnalysisStage stage) {
    switch (stage) {
        case AnalysisStage::ComputeConceptionTimes: ComputeConceptionTimes(context); break;
        case AnalysisStage::BuildConceptionTables: BuildConceptionTables(context); break;
        case AnalysisStage::ReadTableRates: ReadTableRates(context); break;
        case AnalysisStage::ReadSplitNICR: ReadSplitNICR(context); break;
        case AnalysisStage::NonReturnRate: NonReturnRate(context); break;
        case AnalysisStage::YearRoundNonReturnRate: YearRoundNonReturnRate(context); break;
        case AnalysisStage::ConceptionRateByTech: ConceptionRateByTech(context); break;
        case AnalysisStage::HerdRates: HerdRates(context); break;
        case AnalysisStage::SubmissionRates: SubmissionRates(context); break;
        case AnalysisStage::EstimateICR: EstimateICR(context); break;
        case AnalysisStage::RecalvingICR: RecalvingICR(context); break;
    }
}

void RunStageSequence(AnalysisContext& context) {
    for (AnalysisStage stage : StageSequence(context.report.AnalysisCalvingPattern,
                                             context.AnalysisBasis, HasMatingData(context))) {
        RunStage(context, stage);
    }
}

// Inserts a calving-to-first-service interval into the ascending list of the smallest ones,
// before the first larger value; the largest drops out.
void InsertInterval(AnalysisContext& context, std::int16_t interval) {
    auto& intervals = context.FirstServiceIntervals;
    const auto place = std::upper_bound(intervals.begin(), intervals.end(), interval);
    if (place == intervals.end()) return;
    std::move_backward(place, intervals.end() - 1, intervals.end());
    *place = interval;
}

// Year-round first pass over one lactation: culling trims and marks, and for the group the
// herd's last AI mating, last pregnancy test, first-service intervals and last recalving.
void FirstPassYearRound(AnalysisContext& context, CowRecord& cow) {
    HerdReport& report = context.report;
    if (cow.Culled > 0) {
        if (cow.Culled < cow.NextCalve) cow.NextCalve = 0;
        for (ServiceRecord& service : ServicesInUse(cow)) {
            if (service.Date > cow.Culled) {
                service.Date = 0;
                service.AI = false;
                service.HasSire = false;
                service.Tech = 0;
            }
        }
        for (PregTestRecord& test : TestsInUse(cow)) {
            if (test.Date > cow.Culled) test = PregTestRecord{};
        }
    }
    if (cow.Culled != 0 && cow.Culled > cow.Calved && (cow.NextCalve == 0 || cow.NextCalve > cow.Culled)) {
        cow.CulledFlag = 1;
        cow.DaysToCull = CheckedInt16(std::int64_t{cow.Culled} - cow.Calved);
    }
    if (!InMatingGroup(context, cow, report.CalvingStop, false, true)) return;

    for (const ServiceRecord& service : ServicesInUseLatestFirst(cow)) {
        if (service.Date == 0 || !service.HasSire || !service.AI) continue;
        if (service.Date > context.LastAIMating && service.Date < std::int64_t{report.CalvingStart} + 760) {
            context.LastAIMating = service.Date;
        }
        break;
    }
    const std::span<const PregTestRecord> tests = TestsInUse(cow);
    for (int t = TestSlotsInUse(cow) - 1; t >= 0; --t) {
        const PregTestRecord& test = tests[static_cast<std::size_t>(t)];
        if (test.Date == 0) continue;
        if (test.Date > context.LastPregTest) context.LastPregTest = test.Date;
        break;
    }
    ++context.GroupCount;
    if (cow.FirstService > 0) {
        ++context.IntervalCount;
        InsertInterval(context, CheckedInt16(std::int64_t{cow.FirstService} - cow.Calved));
    }
    if (cow.NextCalve != 0 && !cow.NextInduced && cow.NextCalve > report.LastRecalving) {
        report.LastRecalving = cow.NextCalve;
    }
}

// Adds one cow to the estimated number in calf by 100 days.
void AddToEstimate(AnalysisContext& context, double z) {
    Increment(context.report.Est100dN);
    context.counters.Est100dTotal += Logistic(z);
}

// Year-round second pass over one lactation: the 382-day recalving counts, and for the
// current cows yields, 80-day submission, heat intervals, the year-round non-return counts
// and window, and the 100-day estimate.
void SecondPassYearRound(AnalysisContext& context, CowRecord& cow) {
    HerdReport& report = context.report;
    AnalysisCounters& c = context.counters;
    const Date calvingStop = report.CalvingStop;
    const std::int64_t calved = cow.Calved;

    if (InMatingGroup(context, cow, calvingStop, false, false) && report.LastRecalving > 0 &&
        report.LastRecalving - calved > kRecalvingYear) {
        Increment(report.yrCalved382);
        if (cow.NextCalve > calved + 250 && cow.NextCalve - calved <= kRecalvingYear) {
            Increment(report.yrReCalved382);
        }
    }
    if (!InMatingGroup(context, cow, calvingStop, false, true)) return;

    Increment(c.CurrentCows);
    const int length = (cow.Days > 0 && cow.Days < 305) ? cow.Days : 305;
    if (cow.Age == 2 && cow.Litres > 0) {
        Increment(c.TwoYearOlds);
        Increment(c.TwoYearOldYieldCount);
        c.TwoYearOldYieldSum += static_cast<double>(cow.Litres) / length;
    }
    if (IsMature(cow) && cow.Litres > 0) {
        Increment(c.MatureYieldCount);
        c.MatureYieldSum += static_cast<double>(cow.Litres) / length;
    }
    const std::int64_t sinceCalvingToLastAI = std::int64_t{context.LastAIMating} - calved;
    if (EligibleFor80DaySubmission(context, cow)) {
        Increment(c.Eligible80d);
        if (IsMature(cow)) Increment(c.MatureEligible80d);
    }

    if (cow.FirstService <= 0) {
        cow.DaysToFirstService = 0;
        if (sinceCalvingToLastAI > kEstimateDays) AddToEstimate(context, -2.162);
        return;
    }

    cow.ServedBy100d = cow.FirstService - calved <= 100 ? 1 : 0;
    cow.Served101To130 = 0;
    // From the last slot back; the slots not in use have no date.
    Date later = ServiceDate(cow, kServiceSlots - 1);
    const std::span<const ServiceRecord> services = ServicesInUse(cow);
    for (int s = std::min(ServiceSlotsInUse(cow), kServiceSlots - 1) - 1; s >= 0; --s) {
        const ServiceRecord& service = services[static_cast<std::size_t>(s)];
        if (service.Date == 0) continue;
        const std::int64_t date = service.Date;
        const bool hasSire = service.HasSire;
        if (hasSire && date - calved > 100 && date - calved <= 130) cow.Served101To130 = 1;
        if (later != 0 && later - date > 0 && later - date <= 72) {
            Increment(c.ReturnIntervals);
            if (later - date >= 18 && later - date <= 24) Increment(c.NormalReturnIntervals);
        }
        if (hasSire && service.AI && date - calved <= 760 && (cow.Culled == 0 || cow.Culled - date > 60) &&
            context.LastAIMating - 30 - date > 0) {
            // Only services with at least 30 days of AI records after them are judged.
            Increment(c.YrNRRInsems);
            if (later > 0 && later - date <= 60) Increment(c.YrNRRReturns);
            report.NRRStop = std::max(report.NRRStop, service.Date);
            if (report.NRRSTart == 0 || report.NRRSTart > service.Date) report.NRRSTart = service.Date;
        }
        later = service.Date;
    }
    cow.DaysToFirstService = CheckedInt16(std::int64_t{cow.FirstService} - calved);
    if (sinceCalvingToLastAI > kEstimateDays) {
        AddToEstimate(context,
                      -0.01717 * cow.DaysToFirstService - 2.162 + 4.543 * cow.ServedBy100d -
                          4.768 * cow.Served101To130);
    }
    if (SubmittedBy80Days(context, cow)) {
        Increment(c.Submitted80d);
        if (IsMature(cow)) Increment(c.MatureSubmitted80d);
        cow.SubmittedDate = cow.FirstService;
    }
}

// The voluntary waiting period: the calving-to-first-service interval that 5 % of the
// served cows had reached, when it is below 200 days and rests on more than 50 served cows
// that are more than half the group.
std::int16_t VoluntaryWaitingPeriod(const AnalysisContext& context, int& k) {
    const double place = RoundHalfEven(context.IntervalCount * 0.05);
    k = static_cast<int>(std::clamp(place, 1.0, static_cast<double>(kFirstServiceIntervals)));
    const std::int16_t interval = context.FirstServiceIntervals[static_cast<std::size_t>(k - 1)];
    if (interval < 200 && context.IntervalCount > 50 && context.IntervalCount > context.GroupCount / 2.0) {
        return interval;
    }
    return 0;
}

}  // namespace

std::vector<AnalysisStage> StageSequence(std::int16_t pattern, std::int16_t basis, bool matingData) {
    using S = AnalysisStage;
    const bool split = pattern == kSplitCalving;
    const bool yearRound = pattern == kYearRoundCalving;
    const S nonReturn = yearRound ? S::YearRoundNonReturnRate : S::NonReturnRate;
    std::vector<S> stages;
    switch (basis) {
        case kBasisMatingRecords:
            stages = {nonReturn, S::HerdRates, S::SubmissionRates, S::EstimateICR};
            break;
        case kBasisEarlyPregTest:
        case kBasisPregTest: {
            stages = {S::ComputeConceptionTimes, S::BuildConceptionTables};
            // On early tests the non-return rate is read before the table rates, on late
            // tests after them.
            if (matingData && basis == kBasisEarlyPregTest) stages.push_back(nonReturn);
            stages.push_back(S::ReadTableRates);
            if (split) stages.push_back(S::ReadSplitNICR);
            if (!matingData) {
                stages.push_back(S::HerdRates);
                break;
            }
            if (basis == kBasisPregTest) stages.push_back(nonReturn);
            stages.insert(stages.end(), {S::ConceptionRateByTech, S::HerdRates, S::SubmissionRates});
            if (basis == kBasisPregTest) stages.push_back(S::EstimateICR);
            break;
        }
        case kBasisRecalving:
            if (yearRound) {
                stages = {S::HerdRates, S::RecalvingICR};
            } else if (split) {
                stages = {S::RecalvingICR};
            } else {
                stages = {S::RecalvingICR, S::HerdRates};
            }
            break;
        default:
            break;
    }
    return stages;
}

const char* StageName(AnalysisStage stage) {
    switch (stage) {
        case AnalysisStage::ComputeConceptionTimes: return "ComputeConceptionTimes";
        case AnalysisStage::BuildConceptionTables: return "BuildConceptionTables";
        case AnalysisStage::ReadTableRates: return "ReadTableRates";
        case AnalysisStage::ReadSplitNICR: return "ReadSplitNICR";
        case AnalysisStage::NonReturnRate: return "NonReturnRate";
        case AnalysisStage::YearRoundNonReturnRate: return "YearRoundNonReturnRate";
        case AnalysisStage::ConceptionRateByTech: return "ConceptionRateByTech";
        case AnalysisStage::HerdRates: return "HerdRates";
        case AnalysisStage::SubmissionRates: return "SubmissionRates";
        case AnalysisStage::EstimateICR: return "EstimateICR";
        case AnalysisStage::RecalvingICR: return "RecalvingICR";
    }
    return "";
}

void AnalyseSeasonal(AnalysisContext& context, bool recalvingOnly) {
    const HerdReport& report = context.report;
    ResetAnalysisCounters(context);
    context.PrevMSD = 0;
    FindMatingStarts(context, recalvingOnly);
    if (context.MSD == 0 && report.PDMSD > 0) MatchBasisPeriod(context, report.PDMSD, recalvingOnly);
    if (context.MSD == 0 && report.CdateMSD > 0) MatchBasisPeriod(context, report.CdateMSD, recalvingOnly);

    TraceDate(context, "Analysis MSD = ", context.MSD);
    context.trace.Line(BasisLine(context.AnalysisBasis));
    TraceDate(context, "Previous MSD = ", context.PrevMSD);

    if (context.AnalysisBasis == 0) {
        if (recalvingOnly || context.EarlyPDPeriod == -1) {
            context.AnalysisBasis = kBasisRecalving;
            context.MSD = report.CdateMSD;
            context.PeriodIndex = context.RecalvingPeriod;
        } else {
            context.AnalysisBasis = kBasisEarlyPregTest;
            context.MSD = report.PDMSD;
            context.PeriodIndex = context.EarlyPDPeriod;
        }
    }

    TraceDate(context, "Revised Analysis MSD = ", context.MSD);
    context.trace.Line(BasisLine(context.AnalysisBasis));
    TraceDate(context, "Previous MSD = ", context.PrevMSD);

    context.report.AnalType = context.AnalysisBasis;
    NarrowToMatingGroups(context, !recalvingOnly);
    BuildServiceArrays(context);
    RunStageSequence(context);
}

void AnalyseSplit(AnalysisContext& context) {
    HerdReport& report = context.report;
    ResetAnalysisCounters(context);
    FindMatingStarts(context, false);
    if (context.MSD == 0) {
        if (report.PDMSD > 0) MatchBasisPeriod(context, report.PDMSD, false);
        context.PrevMSD = report.PrevPdMsd;
        if (context.MSD == 0 && report.CdateMSD > 0) MatchBasisPeriod(context, report.CdateMSD, false);
    }

    if (context.PrevMSD == 0) {
        report.AnalysisCalvingPattern = kSeasonalCalving;
        context.trace.Line("Calving pattern for analysis changed to ", kSeasonalCalving);
        AnalyseSeasonal(context, false);
        return;
    }

    TraceDate(context, "Analysis MSD = ", context.MSD);
    context.trace.Line(BasisLine(context.AnalysisBasis));
    TraceDate(context, "Previous MSD = ", context.PrevMSD);
    TraceDate(context, "Previous End Of AI = ", context.PrevEOAI);

    if (context.AnalysisBasis == 0) {
        if (context.EarlyPDPeriod == -1) {
            report.Error = kErrorNoAnalysisBasis;
            return;
        }
        context.AnalysisBasis = kBasisEarlyPregTest;
        context.MSD = report.PDMSD;
    }

    report.AnalType = context.AnalysisBasis;
    NarrowToMatingGroups(context, true);
    BuildServiceArrays(context);
    TraceDate(context, "Previous MSD = ", context.PrevMSD);
    TraceDate(context, "Previous End Of AI = ", context.PrevEOAI);
    RunStageSequence(context);
}

void AnalyseYearRound(AnalysisContext& context) {
    HerdReport& report = context.report;
    ResetAnalysisCounters(context);

    // The most recent period with enough data; on a tie the earlier kind in this list wins.
    context.AnalysisBasis = 0;
    int best = kNoPeriod;
    const std::pair<std::int16_t, std::int16_t> candidates[] = {
        {context.EarlyPDPeriod, kBasisEarlyPregTest},
        {context.MatingPeriod, kBasisMatingRecords},
        {context.PregTestPeriod, kBasisPregTest},
        {context.RecalvingPeriod, kBasisRecalving},
    };
    for (const auto& [period, basis] : candidates) {
        if (period != -1 && period < best) {
            best = period;
            context.AnalysisBasis = basis;
        }
    }
    context.PeriodIndex = CheckedInt16(best);

    if (best == kNoPeriod) {
        context.trace.Line("Analysis Year not calculated");
    } else {
        const PeriodSummary& period = context.Period(best);
        context.trace.Line("Analysis Year = ", FormatDateText(period.start), " to ", FormatDateText(period.end));
    }
    context.trace.Line(BasisLine(context.AnalysisBasis));
    if (best == kNoPeriod || context.AnalysisBasis == 0) {
        report.Error = kErrorNoAnalysisBasis;
        return;
    }

    context.FirstServiceIntervals.fill(kNoInterval);
    context.IntervalCount = 0;
    context.GroupCount = 0;
    context.LastAIMating = 0;
    context.LastPregTest = 0;
    // The groups of the year-round passes end by the period's last day; a lactation left out
    // has its days to culling within 16 bits (its dates lie within 32767 days of each other).
    RequireLeftOutUnchanged(context, LeftOutAfter(context, report.CalvingStop));
    NarrowToMatingGroups(context, true);
    ForEachInGroups(context, [&context](CowRecord& cow) { FirstPassYearRound(context, cow); });

    int k = 1;
    report.VWP = VoluntaryWaitingPeriod(context, k);
    context.trace.Line("C-S1 intervals");
    context.trace.Line("Intervals = ", context.IntervalCount);
    for (int i = 0; i < k; ++i) context.trace.Line(context.FirstServiceIntervals[static_cast<std::size_t>(i)]);
    context.trace.Line("VWP = ", report.VWP);
    TraceDate(context, "Last recalving = ", report.LastRecalving);
    TraceDate(context, "Last yr AI mating = ", context.LastAIMating);
    TraceDate(context, "Last yr Preg Test = ", context.LastPregTest);

    ForEachInGroups(context, [&context](CowRecord& cow) { SecondPassYearRound(context, cow); });

    report.AnalType = context.AnalysisBasis;
    RunStageSequence(context);

    context.trace.Line("NRR Insems ", context.counters.YrNRRInsems);
    context.trace.Line("NRR ReturnsInsems ", context.counters.YrNRRReturns);
}

}  // namespace ovista
