#pragma once
// When mating started, who was in the mated group, and what happened on each of the first
// 200 days of mating: the service, AI and return arrays, the ends of mating and of AI, the
// culling marks of each lactation and the herd counters that the rates divide.
#include <cstdint>

#include "analysis/analysis_context.h"
#include "herd/cow_record.h"
#include "herd/textutil.h"

namespace ovista {

// True when the lactation belongs to the analysed group of cows. Year-round herds: calved in
// the year up to d (d - 365 < Calved <= d). Seasonal herds: calved MSD - 130 .. MSD + 59;
// split herds: MSD - 120 .. MSD (both ends inclusive), measured from PrevMSD instead of MSD
// when usePrevMSD is set (and never in the group while PrevMSD is 0). With applyCulling, a
// cow culled before her next calving drops out when culled within 50 days of calving
// (year-round) or before the mating start (seasonal and split; with usePrevMSD only when
// culled before PrevMSD + 700). Embryo-transfer cows are never in the group. d is used by
// year-round herds only.
// Inline: every pass of the analysis asks it of every lactation.
inline bool InMatingGroup(const AnalysisContext& context, const CowRecord& cow, Date d,
                          bool usePrevMSD, bool applyCulling) {
    if (cow.ETCow) return false;
    const std::int16_t pattern = context.report.AnalysisCalvingPattern;
    // Culled before her next calving: no next calving, or culled earlier than it.
    const bool culledBeforeNext = cow.Culled != 0 && (cow.NextCalve == 0 || cow.NextCalve > cow.Culled);
    if (pattern == kYearRoundCalving) {
        if (!(std::int64_t{d} - 365 < cow.Calved && cow.Calved <= d)) return false;
        return !(applyCulling && culledBeforeNext && std::int64_t{cow.Culled} < std::int64_t{cow.Calved} + 50);
    }
    if (pattern != kSeasonalCalving && pattern != kSplitCalving) return false;
    if (usePrevMSD && context.PrevMSD <= 0) return false;
    const std::int64_t m = usePrevMSD ? context.PrevMSD : context.MSD;
    const std::int64_t first = pattern == kSeasonalCalving ? m - 130 : m - 120;
    const std::int64_t last = pattern == kSeasonalCalving ? m + 59 : m;
    if (cow.Calved < first || cow.Calved > last) return false;
    if (applyCulling && culledBeforeNext && cow.Culled < m) {
        // A cow of the previous group culled long after its mating start stays in.
        if (!usePrevMSD || cow.Culled < std::int64_t{context.PrevMSD} + 700) return false;
    }
    return true;
}

// The 3-week submission rate of the mating group (MSD msd): a lactation is eligible when not
// served before the MSD and still in the herd on day 22 of mating, and submitted when, so
// present, she was first served in the first 21 days. Every submitted lactation is eligible.
inline bool EligibleFor3WeekSubmission(const CowRecord& cow, Date msd) {
    const std::int64_t m = msd;
    return (cow.FirstService == 0 || cow.FirstService >= m) && (cow.Culled == 0 || cow.Culled >= m + 21);
}
inline bool SubmittedIn3Weeks(const CowRecord& cow, Date msd) {
    const std::int64_t m = msd;
    return cow.FirstService >= m && cow.FirstService < m + 21 && (cow.Culled == 0 || cow.Culled >= m + 21);
}

// Calved at least 42 days before the MSD: counted as calved 6 weeks before mating start.
inline bool CalvedSixWeeksBeforeMating(const CowRecord& cow, Date msd) { return cow.Calved < std::int64_t{msd} - 41; }

// Looks for the first period with enough data that contains the candidate mating start:
// early pregnancy tests, pregnancy tests, mating records (these three skipped when
// recalvingOnly), then recalving information. When one contains it, sets MSD, AnalysisBasis
// and PeriodIndex and returns true; otherwise changes nothing and returns false.
bool MatchBasisPeriod(AnalysisContext& context, Date candidate, bool recalvingOnly);

// Finds the herd's mating start dates from the daily service counts (a service day after a
// gap of more than 21 days, at least 60 days after the previous start, with services on at
// least 4 of its first 7 days), then takes the newest start that lies in a period with
// enough data as the MSD, with the start before it as PrevMSD and the one after as NextMSD.
// MSD stays 0 when no start matches a period.
void FindMatingStarts(AnalysisContext& context, bool recalvingOnly);

// Zeroes the 200-day arrays, the mating and AI end dates, LastAIMating, LastPregTest and every
// herd counter and floating sum of the rate stages, before an analysis pass.
void ResetAnalysisCounters(AnalysisContext& context);

// With the MSD and basis final: marks culled lactations, fills the service, AI and return
// arrays by mating day, finds the end of mating and of AI (from services and conceptions),
// the previous group's end of mating and of AI, and counts the cows behind the submission,
// calving-spread, yield and recalving measures. Lactations are written back to the herd.
void BuildServiceArrays(AnalysisContext& context);

}  // namespace ovista
