#include "analysis/mating_arrays.h"

#include <algorithm>
#include <span>

#include "herd/errors.h"

namespace ovista {
namespace {

// Days with no service between two herd matings before a new mating season can start.
constexpr int kMatingStartGap = 21;
// Days a new mating start must lie after the previous one.
constexpr int kMatingStartSpacing = 60;
// A mating start needs services on at least this many of its first seven days.
constexpr int kMatingStartBusyDays = 4;
// Latest service taken as end of mating: about seven heat cycles after the MSD.
constexpr int kMatingLength = 147;
// Quiet days (no conceptions) that mark the end of a mating period.
constexpr int kQuietDaysToEnd = 30;

void Increment(std::int16_t& counter) { counter = CheckedInt16(std::int64_t{counter} + 1); }

bool HasSire(const ServiceRecord& slot) { return slot.HasSire; }

// Culled before her next calving: no next calving, or culled earlier than it.
bool CulledBeforeNextCalving(const CowRecord& cow) {
    return cow.Culled != 0 && (cow.NextCalve == 0 || cow.NextCalve > cow.Culled);
}

// Mating day of a date, 1 for the MSD itself; RangeError when it does not fit 16 bits.
int MatingDay(const AnalysisContext& context, Date date) {
    return CheckedInt16(std::int64_t{date} - context.MSD + 1);
}

// Conceptions on day n before the analysis date; days outside the histogram have none.
std::int32_t ConceptionsOn(const AnalysisContext& context, int n) {
    return context.DailyConceptions.Contains(n) ? context.DailyConceptions[n] : 0;
}

// Walks days from index `from` forward in time (index decreasing) to index `to`, both
// included. At the 30th consecutive day with fewer than `busy` conceptions returns the day
// before that quiet run began; 0 when the walk finds no such run.
Date EndOfMatingFromConceptions(const AnalysisContext& context, int from, int to, int busy) {
    int quiet = 0;
    for (int n = from; n >= to; --n) {
        if (ConceptionsOn(context, n) < busy) {
            if (++quiet == kQuietDaysToEnd) return context.AnalysisDate - n - kQuietDaysToEnd;
        } else {
            quiet = 0;
        }
    }
    return 0;
}

// Split herds: the last day of a run on `days` (mating days 1..200) that is followed by more
// than `limit` free days; 0 when the run never ends within 200 days.
int LastDayBeforeFreeDays(const IndexedArray<std::int32_t, 1, kMatingDays>& days, int limit) {
    int last = 0;
    int free = 0;
    for (int k = 1; k <= kMatingDays; ++k) {
        if (days[k] > 0) {
            last = k;
            free = 0;
        } else if (last > 0) {
            if (++free > limit) return last;
        }
    }
    return 0;
}

void TraceMatingStarts(AnalysisContext& context) {
    TraceWriter& trace = context.trace;
    // Every start is a day whose date was checked when it was flagged.
    if (!trace.Tracing()) return;
    trace.Line("Mating start dates");
    int count = 0;
    for (int n = kHistogramDays; n >= 1; --n) {
        if (context.MatingStartFlags[n] == 1) {
            trace.Line(FormatDateText(context.AnalysisDate - n));
            ++count;
        }
    }
    trace.Line("Number of mating start dates = ", count);
}

// First pass, step 1: culling marks for the current and the previous mating period.
void MarkCulling(const AnalysisContext& context, CowRecord& cow) {
    if (cow.Culled == 0) return;
    if (CulledBeforeNextCalving(cow)) {
        cow.CulledFlag = 1;
        cow.DaysToCull = CheckedInt16(std::int64_t{cow.Culled} - context.MSD + 1);
        if (cow.Culled < std::int64_t{context.PrevMSD} + 700) {
            cow.PrevCulledFlag = 1;
            cow.DaysToCullPrev = CheckedInt16(std::int64_t{cow.Culled} - context.PrevMSD + 1);
        }
    }
    cow.CulledFlag = 1;
}

// First pass, step 2: end of mating from the cow's last service, heat intervals, and the
// services and AI services by mating day. Slot 14 is not walked.
void CountServices(AnalysisContext& context, const CowRecord& cow) {
    if (cow.LastService > 0 && cow.LastService > context.EOMating &&
        std::int64_t{cow.LastService} - context.MSD <= kMatingLength) {
        context.EOMating = cow.LastService;
    }
    if (cow.FirstService <= 0) return;
    Date later = 0;
    const std::span<const ServiceRecord> services = ServicesInUse(cow);
    for (int slot = std::min(ServiceSlotsInUse(cow), kServiceSlots - 1) - 1; slot >= 0; --slot) {
        const ServiceRecord& service = services[static_cast<std::size_t>(slot)];
        if (service.Date == 0) continue;
        if (later != 0) {
            const std::int64_t interval = std::int64_t{later} - service.Date;
            if (interval >= 2 && interval <= 72) Increment(context.counters.ReturnIntervals);
            if (interval >= 18 && interval <= 24) Increment(context.counters.NormalReturnIntervals);
        }
        if (HasSire(service)) {
            const int k = MatingDay(context, service.Date);
            if (k >= 1 && k <= kMatingDays) {
                ++context.ServicesByDay[k];
                if (service.AI) ++context.AIByDay[k];
            }
        }
        later = service.Date;
    }
}

// First pass, step 3: the previous group's last heat or service, and last AI service,
// before the MSD.
void NotePreviousMating(AnalysisContext& context, const CowRecord& cow) {
    for (const ServiceRecord& service : ServicesInUse(cow)) {
        if (service.Date == 0 || service.Date >= context.MSD) continue;
        context.PrevMatingEnd = std::max(context.PrevMatingEnd, service.Date);
        if (service.AI) context.PrevEOAI = std::max(context.PrevEOAI, service.Date);
    }
}

void FindEndOfAI(AnalysisContext& context) {
    const std::int16_t pattern = context.report.AnalysisCalvingPattern;
    if (pattern == kSeasonalCalving) {
        // Backwards from day 200: the end of AI is the later of the last two AI days that
        // lie within a week of each other, so a lone late AI day does not count.
        int later = 0;
        int free = 0;
        for (int k = kMatingDays; k >= 1; --k) {
            if (context.AIByDay[k] > 0) {
                if (later > 0 && free < 7) {
                    context.EOAI = context.MSD + later - 1;
                    return;
                }
                free = 0;
                later = k;
            } else {
                ++free;
            }
        }
    } else if (pattern == kSplitCalving) {
        const int last = LastDayBeforeFreeDays(context.AIByDay, 7);
        if (last > 0) context.EOAI = context.MSD + last - 1;
    }
}

// Second pass: the counts behind calving spread, yields, recalving and submission, and the
// AI services followed by a return while AI went on.
void CountCow(AnalysisContext& context, const CowRecord& cow) {
    AnalysisCounters& c = context.counters;
    const std::int64_t msd = context.MSD;
    if (InMatingGroup(context, cow, 0, false, false)) {
        Increment(c.CalvedCows);
        const bool before63 = cow.Calved < msd - 62;
        const bool before42 = CalvedSixWeeksBeforeMating(cow, context.MSD);
        const bool before21 = cow.Calved < msd - 20;
        if (before63) Increment(c.CalvedBefore63);
        if (before42) Increment(c.CalvedBefore42);
        if (before21) Increment(c.CalvedBefore21);
        if (cow.InducedCode == 1) {
            Increment(c.InducedCows);
            if (before63) Increment(c.InducedBefore63);
            if (before42) Increment(c.InducedBefore42);
            if (before21) Increment(c.InducedBefore21);
        }
        if (cow.Age == 2) {
            Increment(c.TwoYearOlds);
            if (before63) Increment(c.TwoYearOldsBefore63);
            if (before42) Increment(c.TwoYearOldsBefore42);
        }
    }
    if (!InMatingGroup(context, cow, 0, false, true)) return;

    Increment(c.CurrentCows);
    const std::int64_t cdateMSD = context.report.CdateMSD;
    if (cdateMSD != 0) {
        if (cdateMSD - cow.Calved > 41) Increment(c.Calved42);
        if (cow.NextCalve != 0) {
            if (cow.NextCalve < cdateMSD + 482) Increment(c.ReCalvedNextYear);
            const std::int64_t toNext = cow.NextCalve - cdateMSD;
            if (!cow.NextInduced && toNext > 167 && toNext < 324) Increment(c.ReCalved42);
        }
    }
    const int length = (cow.Days >= 305 || cow.Days <= 0) ? 305 : cow.Days;
    const bool mature = cow.Age == 0 || cow.Age >= 4;
    if (cow.Litres > 0 && length > 100) {
        if (cow.Age == 2) {
            Increment(c.TwoYearOldYieldCount);
            c.TwoYearOldYieldSum += static_cast<double>(cow.Litres) / length;
        }
        if (mature) {
            Increment(c.MatureYieldCount);
            c.MatureYieldSum += static_cast<double>(cow.Litres) / length;
        }
    }
    const bool early = msd - cow.Calved > 41;
    if (early) Increment(c.EarlyCalvers);

    const bool notServedBefore = cow.FirstService == 0 || cow.FirstService >= msd;
    const bool presentFor10 = cow.Culled == 0 || cow.Culled >= msd + 10;
    if (EligibleFor3WeekSubmission(cow, context.MSD)) {
        Increment(c.Eligible3wk);
        if (mature && early) Increment(c.MatureEligible3wk);
    }
    if (notServedBefore && presentFor10) Increment(c.Eligible10d);
    if (cow.FirstService >= msd && cow.FirstService < msd + 10 && presentFor10) {
        Increment(c.Submitted10d);
    }
    if (SubmittedIn3Weeks(cow, context.MSD)) {
        Increment(c.Submitted3wk);
        if (mature && early) Increment(c.MatureSubmitted3wk);
    }

    if (cow.FirstService <= 0) return;
    // From the last slot back; the slots not in use have no date.
    Date later = ServiceDate(cow, kServiceSlots - 1);
    const std::span<const ServiceRecord> services = ServicesInUse(cow);
    for (int slot = std::min(ServiceSlotsInUse(cow), kServiceSlots - 1) - 1; slot >= 0; --slot) {
        const ServiceRecord& service = services[static_cast<std::size_t>(slot)];
        if (service.Date == 0) continue;
        if (HasSire(service) && service.AI) {
            const int k = MatingDay(context, service.Date);
            if (k >= 1 && k <= kMatingDays && later != 0 && later <= context.EOAI) {
                ++context.ReturnsByDay[k];
            }
        }
        later = service.Date;
    }
}

void TraceServiceArrays(AnalysisContext& context) {
    TraceWriter& trace = context.trace;
    if (!trace.Tracing() || context.MSD == 0) return;
    trace.Line("Insem and return arrays");
    trace.Line("Date      Insems  Returns");
    for (int k = 1; k <= kMatingDays; ++k) {
        const std::int32_t insems = context.AIByDay[k];
        const std::int32_t returns = context.ReturnsByDay[k];
        if (insems == 0 && returns == 0) continue;
        trace.Line(FormatDateText(context.MSD + k - 1), RightAligned(insems, 8),
                   RightAligned(returns, 8), "   ", insems >= returns ? "TRUE" : "FALSE");
    }
}

}  // namespace

bool MatchBasisPeriod(AnalysisContext& context, Date candidate, bool recalvingOnly) {
    struct Choice {
        std::int16_t period;
        std::int16_t basis;
    };
    const Choice choices[] = {
        {context.EarlyPDPeriod, kBasisEarlyPregTest},
        {context.PregTestPeriod, kBasisPregTest},
        {context.MatingPeriod, kBasisMatingRecords},
        {context.RecalvingPeriod, kBasisRecalving},
    };
    for (const Choice& choice : choices) {
        if (recalvingOnly && choice.basis != kBasisRecalving) continue;
        if (choice.period == -1) continue;
        const PeriodSummary& period = context.Period(choice.period);
        if (period.start <= candidate && candidate <= period.end) {
            context.MSD = candidate;
            context.AnalysisBasis = choice.basis;
            context.PeriodIndex = choice.period;
            return true;
        }
    }
    return false;
}

void FindMatingStarts(AnalysisContext& context, bool recalvingOnly) {
    context.MSD = 0;
    context.AnalysisBasis = 0;
    context.PeriodIndex = 0;
    context.MatingStartFlags.Clear();
    TraceWriter& trace = context.trace;
    trace.Line("Mating array");

    // Oldest day first. The first season needs no gap before it: the longest gap starts
    // above 21 and the last start far enough back.
    int gap = 0;
    int longestGap = 100;
    int lastStart = 2000;
    bool anyStart = false;
    const std::span<const std::int32_t> daily = context.DailyServices.Run(1, kHistogramDays);  // day n at n - 1
    const auto servicesOn = [&daily](int n) { return daily[static_cast<std::size_t>(n - 1)]; };
    for (int n = kHistogramDays; n >= 7; --n) {
        const std::int32_t services = servicesOn(n);
        if (services == 0) {
            // The run of days without a service, up to the next day with one.
            int quiet = n;
            while (quiet > 7 && servicesOn(quiet - 1) == 0) --quiet;
            gap += n - quiet + 1;
            n = quiet;
            continue;
        }
        if (trace.Tracing()) {
            trace.Line(FormatDateText(context.AnalysisDate - n), "  ", services);
        } else {
            CheckedDate(std::int64_t{context.AnalysisDate} - n);  // the check the line's date makes
        }
        longestGap = std::max(longestGap, gap);
        gap = 0;
        if (lastStart - n >= kMatingStartSpacing && longestGap > kMatingStartGap) {
            int busyDays = 0;
            for (int i = n; i >= n - 6; --i) {
                if (servicesOn(i) > 0) ++busyDays;
            }
            if (busyDays >= kMatingStartBusyDays) {
                context.MatingStartFlags[n] = 1;
                anyStart = true;
                lastStart = n;
                longestGap = 0;
            }
        }
    }
    TraceMatingStarts(context);

    if (!anyStart) return;  // no flag set above

    // Newest first: the first start inside a period with enough data is the MSD.
    context.NextMSD = 0;
    context.PrevMSD = 0;
    const std::span<const std::int32_t> flags = context.MatingStartFlags.Run(1, kHistogramDays);  // day n at n - 1
    const auto flagged = [&flags](int n) { return flags[static_cast<std::size_t>(n - 1)] == 1; };
    for (int n = 1; n <= kHistogramDays; ++n) {
        if (!flagged(n)) continue;
        const Date start = context.AnalysisDate - n;
        if (!MatchBasisPeriod(context, start, recalvingOnly)) {
            context.NextMSD = start;
            continue;
        }
        for (int older = n + 1; older <= kHistogramDays; ++older) {
            if (flagged(older)) {
                context.PrevMSD = context.AnalysisDate - older;
                break;
            }
        }
        return;
    }
}

void ResetAnalysisCounters(AnalysisContext& context) {
    context.ServicesByDay.Clear();
    context.AIByDay.Clear();
    context.ReturnsByDay.Clear();
    context.EOMating = 0;
    context.EOAI = 0;
    context.PrevMatingEnd = 0;
    context.PrevEOAI = 0;
    context.PDMatingEnd = 0;
    context.LastAIMating = 0;
    context.LastPregTest = 0;
    context.counters = AnalysisCounters{};
    context.IntervalCount = 0;
    context.GroupCount = 0;
}

void BuildServiceArrays(AnalysisContext& context) {
    // A lactation left out calves after the groups of both mating starts, and its days to
    // culling from the MSD fit 16 bits (those from PrevMSD are counted below 700 only).
    RequireLeftOutUnchanged(context, LeftOutAfter(context, std::int64_t{context.MSD} + 59) &&
                                         LeftOutAfter(context, std::int64_t{context.PrevMSD} + 59) &&
                                         LeftOutDaysFit(context, context.MSD));
    ForEachInGroups(context, [&context](CowRecord& cow) {
        MarkCulling(context, cow);
        if (InMatingGroup(context, cow, 0, false, true)) CountServices(context, cow);
        if (InMatingGroup(context, cow, 0, true, true)) NotePreviousMating(context, cow);
    });

    const bool split = context.report.AnalysisCalvingPattern == kSplitCalving;
    const Date pdMSD = context.report.PDMSD;

    // End of mating from conceptions: the day before 30 quiet days after the PD MSD.
    context.PDMatingEnd = 0;
    if (pdMSD != 0) {
        const int s = CheckedInt16(std::int64_t{context.AnalysisDate} - pdMSD);
        if (s >= -kFutureConceptionDays) {
            const Date end = EndOfMatingFromConceptions(context, s, -kFutureConceptionDays, split ? 1 : 2);
            if (end != 0) context.PDMatingEnd = std::min(end, pdMSD + kMatingLength);
        }
    }
    context.EOMating = std::max(context.EOMating, context.PDMatingEnd);

    // Split herds: the previous mating's end, from conceptions between the two PD MSDs.
    if (split) {
        context.PrevPDMatingEnd = 0;
        const Date prevPdMsd = context.report.PrevPdMsd;
        if (prevPdMsd != 0 && pdMSD != 0) {
            const int from = CheckedInt16(std::int64_t{context.AnalysisDate} - prevPdMsd);
            const int to = CheckedInt16(std::int64_t{context.AnalysisDate} - pdMSD);
            Date end = EndOfMatingFromConceptions(context, from, to, 2);
            if (end != 0) {
                if (end > context.MSD) end = context.MSD - 21;
                context.PrevPDMatingEnd = end;
            }
        }
        context.PrevMatingEnd = std::max(context.PrevMatingEnd, context.PrevPDMatingEnd);
    }

    FindEndOfAI(context);

    // Split herds: the end of mating is where services stop for more than three weeks.
    if (split) {
        const int last = LastDayBeforeFreeDays(context.ServicesByDay, 21);
        if (last > 0) {
            const Date end = context.MSD + last - 1;
            if (end > context.PDMatingEnd) context.EOMating = end;
        }
    }
    context.EOMating = std::max(context.EOMating, context.EOAI);

    ForEachInGroups(context, [&context](const CowRecord& cow) { CountCow(context, cow); });
    TraceServiceArrays(context);
}

}  // namespace ovista
