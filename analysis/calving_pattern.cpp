#include "analysis/calving_pattern.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <numeric>
#include <span>
#include <string>
#include <vector>

#include "analysis/analyse_herd.h"
#include "analysis/calving_system.h"
#include "analysis/cow_lists.h"
#include "herd/cow_record.h"
#include "herd/errors.h"

namespace ovista {
namespace {

constexpr int kLastPatternWeek = kPatternWeeks - 1;     // 104: last week of the following year
constexpr int kLastYearWeek = kFirstYearWeeks - 1;      // 52: last (part) week of the period
constexpr int kLastFullWeek = 51;                       // clusters are sought in weeks 0..51
// Going back past week 0 while filling gaps lands this many weeks on: the ring has 105
// weeks, but gaps are filled as if it had 104.
constexpr int kFillWrap = 104;
// Clearing short clusters wraps within the first year.
constexpr int kClearWrap = 52;
constexpr double kClusterWeekPercent = 1.0;      // a week of a cluster holds at least 1%
constexpr double kFollowingYearMinPercent = 2.5;  // smaller weeks of the next year are noise
constexpr double kCalvedShare = 80.0;
constexpr int kYearRoundWeeksTo80 = 21;
constexpr int kLongestSeasonalCluster = 36;
constexpr double kSeasonalClusterShare = 0.9;
constexpr int kMaxGapWeeks = 3;
constexpr int kGestationDays = 282;
constexpr int kCalvingToMatingDays = 83;  // from the first calvings to the mating start
// Pregnancy-test conceptions: a mating start is a busy day after a quiet month.
constexpr int kBusyConceptions = 3;
constexpr int kQuietDays = 30;
constexpr int kPDWalkDays = 366;
constexpr int kPrevPDWalkDays = 346;
constexpr int kEarlyTestMaxWeeks = 17;
constexpr int kSeasonalGroupDays = 130;  // seasonal mating group calves from MSD - 130
constexpr int kSplitGroupDays = 120;     // split mating group calves from MSD - 120

// Last day of the year that starts on first.
Date YearEnd(Date first) { return AddDays(AddYears(first, 1), -1); }

int RingBack(int week, int weeksBack, int wrap) {
    const int w = week - weeksBack;
    return w < 0 ? w + wrap : w;
}

Date WeekStart(const AnalysisContext& context, int week) {
    return AddDays(context.report.CalvingStart, 7 * static_cast<std::int64_t>(week));
}

std::string PercentLine(const AnalysisContext& context, int week, int width) {
    return FormatDateText(WeekStart(context, week)) + " " +
           FixedPoint(context.WeeklyCalvingPattern[week], 1, width) + "%";
}

void TraceClusterMap(AnalysisContext& context, const char* title) {
    context.trace.Line(title);
    if (!context.trace.Tracing()) return;
    for (int w = 0; w <= kLastPatternWeek; ++w) {
        context.trace.Line(TraceText(PercentLine(context, w, 4), "  ", context.ClusterMap[w]));
    }
}

std::int32_t ConceptionsOn(const AnalysisContext& context, std::int64_t n) {
    // Days beyond the histogram (the oldest periods) had no conceptions recorded.
    if (n < decltype(context.DailyConceptions)::kFirst || n > decltype(context.DailyConceptions)::kLast) return 0;
    return context.DailyConceptions[static_cast<int>(n)];
}

// Walks forward from day offset n for at most `days` days, never past the analysis date, and
// returns the offset of the first (or, with keepLast, the last) day with at least 3
// conceptions after at least 30 quieter days; -1 when there is none.
std::int64_t FindConceptionStart(const AnalysisContext& context, std::int64_t n, int days, bool keepLast) {
    std::int64_t found = -1;
    int quiet = 0;
    for (int k = 0; k < days; ++k, --n) {
        if (n < 0) break;
        if (ConceptionsOn(context, n) < kBusyConceptions) {
            ++quiet;
            continue;
        }
        if (quiet >= kQuietDays) found = n;
        quiet = 0;
        if (found >= 0 && !keepLast) break;
    }
    return found;
}

// Weekly percentages of the reference window. Returns false when the period has no calving.
bool BuildWeeklyPattern(AnalysisContext& context) {
    auto& pattern = context.WeeklyCalvingPattern;
    pattern.Clear();
    std::int64_t periodTotal = 0;
    std::int64_t followingTotal = 0;
    // Week w holds the days n = from - 7w down to from - 7w - 6, none before ReferenceTo.
    const int from = context.ReferenceFrom;
    const int to = std::max<int>(context.ReferenceTo, from - 7 * kPatternWeeks + 1);
    if (to <= from) {
        const std::span<const std::int32_t> days = context.DailyCalvings.Run(to, from);  // day n at n - to
        for (int w = 0; w < kPatternWeeks && from - 7 * w >= to; ++w) {
            const int first = from - 7 * w;
            const int last = std::max(to, first - 6);
            std::int64_t calvings = 0;
            for (int n = first; n >= last; --n) calvings += days[static_cast<std::size_t>(n - to)];
            pattern[w] = static_cast<double>(calvings);
            (w <= kLastYearWeek ? periodTotal : followingTotal) += calvings;
        }
    }
    if (periodTotal == 0) return false;
    for (int w = 0; w <= kLastYearWeek; ++w) {
        pattern[w] = pattern[w] * 100 / static_cast<double>(periodTotal);
    }
    if (followingTotal > 0) {
        for (int w = kLastYearWeek + 1; w <= kLastPatternWeek; ++w) {
            const double percent = pattern[w] * 100 / static_cast<double>(followingTotal);
            pattern[w] = percent < kFollowingYearMinPercent ? 0.0 : percent;
        }
    }
    return true;
}

// Marks every week of at least 1% in the map, bridging gaps of up to 3 quieter weeks, going
// once round the ring from the week after `first`.
void FillFirstClusterMap(AnalysisContext& context, int first) {
    auto& map = context.ClusterMap;
    int gap = 0;
    for (int step = 1; step <= kPatternWeeks; ++step) {
        const int w = (first + step) % kPatternWeeks;
        if (context.WeeklyCalvingPattern[w] >= kClusterWeekPercent) {
            map[w] = 1;
            if (gap >= 1 && gap <= kMaxGapWeeks) {
                for (int k = 1; k <= gap; ++k) map[RingBack(w, k, kFillWrap)] = 1;
            }
            gap = 0;
        } else {
            ++gap;
        }
    }
}

// The two passes that tidy the map, each once round the ring from the week after start.
// The count runs on through gaps and clusters alike and is reset only above 3, so what it
// fills or clears depends on all the weeks walked since.
void JoinClusters(AnalysisContext& context, int start) {
    auto& map = context.ClusterMap;
    int c = 0;
    for (int step = 1; step <= kPatternWeeks; ++step) {
        const int w = (start + step) % kPatternWeeks;
        const int prev = w == 0 ? kLastPatternWeek : w - 1;
        if (map[w] == 1 && map[prev] == 0) {
            if (c > kMaxGapWeeks) {
                c = 0;
            } else {
                ++c;
                for (int k = 1; k <= c; ++k) map[RingBack(w, k, kFillWrap)] = 1;
            }
        } else if (map[w] == 0) {
            ++c;
        }
    }
}

void RemoveShortClusters(AnalysisContext& context, int start) {
    auto& map = context.ClusterMap;
    int c = 0;
    for (int step = 1; step <= kPatternWeeks; ++step) {
        const int w = (start + step) % kPatternWeeks;
        const int prev = w == 0 ? kLastPatternWeek : w - 1;
        if (map[w] == 0 && map[prev] == 1) {
            if (c > kMaxGapWeeks) {
                c = 0;
            } else {
                ++c;
                for (int k = 1; k <= c; ++k) map[RingBack(w, k, kClearWrap)] = 0;
            }
        } else if (map[w] == 1) {
            ++c;
        }
    }
}

struct ClusterCount {
    int clusters = 0;
    int longest = 0;          // weeks a cluster ran on after its first week
    double largestShare = 0;  // 0 when no cluster holds any calvings
};

// Counts the clusters of the first year, walking it twice so that a cluster running over the
// end of the year is completed, and shares the year's calvings out among them.
ClusterCount CountClusters(AnalysisContext& context) {
    const auto& map = context.ClusterMap;
    auto& shares = context.ClusterShares;
    shares.Clear();
    ClusterCount count;
    int run = 0;
    for (int i = 0; i <= 2 * (kLastFullWeek + 1) - 1; ++i) {
        const int w = i > kLastFullWeek ? i - (kLastFullWeek + 1) : i;
        const int prev = w == 0 ? kLastFullWeek : w - 1;
        if (map[w] == 1 && map[prev] == 0) {
            ++count.clusters;
            run = 0;
        } else if (map[w] == 1) {
            ++run;
        } else {
            count.longest = std::max(count.longest, run);
            run = 0;
            if (i >= kLastFullWeek) break;
        }
        if (count.clusters >= 1 && count.clusters <= kMaxClusters) {
            shares[count.clusters] += context.WeeklyCalvingPattern[w];
        }
    }
    double sum = 0;
    for (int k = 1; k <= kMaxClusters; ++k) sum += shares[k];
    if (sum > 0) {
        for (int k = 1; k <= kMaxClusters; ++k) shares[k] /= sum;
    }
    for (int k = 1; k <= kMaxClusters; ++k) count.largestShare = std::max(count.largestShare, shares[k]);
    return count;
}

std::int16_t PatternOf(int weeksTo80, const ClusterCount& count) {
    if (weeksTo80 > kYearRoundWeeksTo80) return kYearRoundCalving;
    if (count.clusters == 1) {
        return count.longest > kLongestSeasonalCluster ? kYearRoundCalving : kSeasonalCalving;
    }
    if (count.clusters == 2 || count.clusters == 3) {
        return count.largestShare > kSeasonalClusterShare ? kSeasonalCalving : kSplitCalving;
    }
    return kYearRoundCalving;
}

// Mating start from the calving dates: 282 days before the recalvings of the following year
// began, or else 83 days after this year's calvings began; 0 when neither shows a start.
Date EstimateCdateMSD(AnalysisContext& context) {
    const auto& map = context.ClusterMap;
    const auto& pattern = context.WeeklyCalvingPattern;
    const auto rising = [&](int w) { return pattern[w + 1] > pattern[w] ? 7 : 3; };
    Date msd = 0;
    bool found = false;
    for (int w = 41; w <= 92; ++w) {
        if (map[w] == 1 && map[w - 1] == 0) {
            msd = AddDays(WeekStart(context, w), rising(w) - kGestationDays);
            context.trace.Line("CDate MSD estimate from recalvings = ", FormatDateText(msd));
            found = true;
            break;
        }
    }
    if (!found) {
        for (int w = kLastYearWeek; w >= 0; --w) {
            const int prev = w == 0 ? kLastYearWeek + 1 : w - 1;
            if (map[w] == 1 && map[prev] == 0) {
                msd = AddDays(WeekStart(context, w), kCalvingToMatingDays + rising(w));
                context.trace.Line("CDate MSD estimate from calvings = ", FormatDateText(msd));
                found = true;
                break;
            }
        }
    }
    if (found && msd > context.report.CalvingStop) msd = AddYears(msd, -1);
    return msd;
}

// Mating starts from the pregnancy-test conceptions: PD MSD, and for split herds the start
// of the mating before it (PrevPdMsd).
void EstimatePDMSD(AnalysisContext& context, std::int16_t pattern) {
    HerdReport& report = context.report;
    const Date today = context.AnalysisDate;
    const bool split = pattern == kSplitCalving;
    const std::int64_t n =
        FindConceptionStart(context, static_cast<std::int64_t>(today) - report.CalvingStart, kPDWalkDays, split);
    if (n < 0) return;
    Date pdMsd = AddDays(today, -n);
    if (pdMsd > report.CalvingStop) pdMsd = AddYears(pdMsd, -1);
    report.PDMSD = pdMsd;
    if (!split) return;
    const Date walkStart = AddDays(pdMsd, -365);
    const std::int64_t prev =
        FindConceptionStart(context, static_cast<std::int64_t>(today) - walkStart, kPrevPDWalkDays, true);
    if (prev >= 0) report.PrevPdMsd = AddDays(today, -prev);
}

// Ranks the technician table by inseminations, highest first, keeping the table order among
// equal counts; entries with a negative count are dropped and their places left empty.
void RankTechnicians(HerdReport& report) {
    std::vector<TechnicianEntry> ranked;
    for (const TechnicianEntry& entry : report.Technicians) {
        if (entry.Insems >= 0) ranked.push_back(entry);
    }
    std::stable_sort(ranked.begin(), ranked.end(),
                     [](const TechnicianEntry& a, const TechnicianEntry& b) { return a.Insems > b.Insems; });
    ranked.resize(kTechnicianCount);
    std::copy(ranked.begin(), ranked.end(), report.Technicians.begin());
}

void Increment(std::int16_t& count) { count = CheckedInt16(static_cast<std::int64_t>(count) + 1); }

// The windows of the records cross-check: the cross-check year, counted by month and into
// its total, and the latest period, counted into its total.
class CrossCheckWindows {
public:
    CrossCheckWindows(Date yearFirst, Date yearLast, Date periodFirst, Date periodLast)
        : yearFirst_(yearFirst), yearLast_(yearLast), periodFirst_(periodFirst), periodLast_(periodLast) {}

    bool InYear(Date d) const { return d >= yearFirst_ && d <= yearLast_; }
    bool InPeriod(Date d) const { return d >= periodFirst_ && d <= periodLast_; }

    // Place (0..11) of a date of the year among the months from the year's first one, as
    // MonthsBetween(d, yearFirst) - 1 gives it: the first days of months passed since.
    std::size_t MonthPlace(Date d) {
        if (!monthsKnown_) FindMonthStarts();
        std::size_t passed = 0;
        while (passed < monthStarts_.size() && monthStarts_[passed] <= d) ++passed;
        return passed % 12;
    }

private:
    void FindMonthStarts() {
        const CalendarDate first = DecodeDate(yearFirst_);
        std::int64_t year = first.year;
        int month = first.month;
        for (;;) {
            if (++month > 12) {
                month = 1;
                if (++year > 9999) break;  // no later date to place
            }
            const Date start = FirstOfMonth(year, month);
            if (start > yearLast_) break;
            monthStarts_.push_back(start);
        }
        monthsKnown_ = true;
    }

    Date yearFirst_;
    Date yearLast_;
    Date periodFirst_;
    Date periodLast_;
    bool monthsKnown_ = false;  // found when an event of the year first needs them
    std::vector<Date> monthStarts_;
};

// Counts one lactation's events (date 0 is no event) into the windows that hold them.
void CountEvents(HerdReport& report, const CowRecord& cow, CrossCheckWindows& windows) {
    const auto count = [&](std::size_t group, Date d) {
        if (d == 0) return;
        auto& counts = report.RecordsCrossCheck[group];
        if (windows.InYear(d)) {
            Increment(counts[windows.MonthPlace(d)]);
            Increment(counts[kCrossCheckYearTotal]);
        }
        if (windows.InPeriod(d)) Increment(counts[kCrossCheckPeriodTotal]);
    };
    count(kCrossCheckCalvings, cow.Calved);
    for (const ServiceRecord& service : ServicesInUse(cow)) {
        if (service.AI) count(kCrossCheckAIMatings, service.Date);
    }
    count(kCrossCheckCulledOrDied, cow.Culled);
    for (const PregTestRecord& test : TestsInUse(cow)) {
        if (test.Date == 0) continue;
        count(test.Weeks <= kEarlyTestMaxWeeks ? kCrossCheckEarlyPregTests : kCrossCheckLatePregTests, test.Date);
    }
}

void FillRecordsCrossCheck(AnalysisContext& context, Date yearEnd) {
    HerdReport& report = context.report;
    const PeriodSummary& latest = context.Period(0);
    CrossCheckWindows windows(report.CrossCheckStart, yearEnd, latest.start, latest.end);
    RequireLeftOutUnchanged(context, false);  // rare for an earlier season: no walk is asked for
    ForEachLactation(context, [&](const CowRecord& cow) { CountEvents(report, cow, windows); });
}

}  // namespace

// Each count of the cross check counts events of one kind: at most a calving, a culling and
// six tests a lactation, and the herd's AI services.
bool CrossCheckMayOverflow(const HerdList& herd) {
    constexpr std::int64_t kMost = 32767;
    const std::int64_t lactations = herd.Count();
    if (lactations * kServiceSlots <= kMost) return false;
    if (lactations * kPregTestSlots > kMost) return true;
    std::int64_t services = 0;
    for (int i = 1; i <= herd.Count(); ++i) services += ServiceSlotsInUse(herd.RecordAt(i));
    return services > kMost;
}

int MonthsBetween(Date a, Date b) {
    int month = MonthOf(a) - MonthOf(b) + 1;
    if (month < 1) month += 12;
    if (month > 12) month -= 12;
    return month;
}

bool ClassifyCalvingPattern(AnalysisContext& context) {
    HerdReport& report = context.report;
    TraceWriter& trace = context.trace;
    const auto& pattern = context.WeeklyCalvingPattern;
    context.ClusterMap.Clear();
    context.ClusterShares.Clear();

    if (!BuildWeeklyPattern(context)) {
        report.Error = kErrorNoCalvingPeriod;
        return false;
    }
    // Untraced, these tables cost only the range checks of their dates, which fail a herd
    // whether or not it is traced.
    const bool tracing = trace.Tracing();
    trace.Line("Weekly calving pattern");
    for (int w = 0; w <= kLastPatternWeek; ++w) {
        if (pattern[w] == 0) continue;
        if (tracing) {
            trace.Line(PercentLine(context, w, 5));
        } else {
            WeekStart(context, w);
        }
    }
    trace.Line("Conception pattern");
    // Untraced, with every day of the histogram a date of the calendar, no check can fail.
    constexpr int kFirstConceptionDay = decltype(context.DailyConceptions)::kFirst;
    constexpr int kLastConceptionDay = decltype(context.DailyConceptions)::kLast;
    const bool datesFit = std::int64_t{context.AnalysisDate} - kLastConceptionDay >= kFirstDate &&
                          std::int64_t{context.AnalysisDate} - kFirstConceptionDay <= kLastDate;
    for (int n = kFirstConceptionDay; n <= kLastConceptionDay && (tracing || !datesFit); ++n) {
        const std::int32_t conceptions = context.DailyConceptions[n];
        if (conceptions <= 0) continue;
        const Date day = AddDays(context.AnalysisDate, -n);
        if (tracing) trace.Line(FormatDateText(day), "  ", conceptions);
    }

    auto& sorted = context.SortedWeeks;
    std::iota(sorted.begin(), sorted.end(), std::int16_t{0});
    std::stable_sort(sorted.begin(), sorted.end(), [&](std::int16_t a, std::int16_t b) { return pattern[a] > pattern[b]; });
    trace.Line("Sorted weekly calving pattern");
    // The weekly table above has checked these weeks' dates.
    for (const std::int16_t w : sorted) {
        if (tracing && pattern[w] != 0) trace.Line(PercentLine(context, w, 5));
    }

    int weeksTo80 = 0;
    double calved = 0;
    for (std::size_t k = 0; k < sorted.size(); ++k) {
        calved += pattern[sorted[k]];
        if (calved >= kCalvedShare) {
            weeksTo80 = static_cast<int>(k) + 1;
            break;
        }
    }
    report.Weekto80PC = CheckedInt16(weeksTo80);
    trace.Line("Weeks to get 80% calved = ", weeksTo80);

    int first = -1;
    for (int w = 0; w <= kLastFullWeek; ++w) {
        if (pattern[w] >= kClusterWeekPercent) {
            first = w;
            break;
        }
    }
    if (first < 0) return true;  // no week stands out: the pattern stays unknown
    FillFirstClusterMap(context, first);
    TraceClusterMap(context, "First cluster map");

    int start = -1;
    for (int w = 0; w <= kLastFullWeek; ++w) {
        const int prev = w == 0 ? kLastFullWeek : w - 1;
        if (context.ClusterMap[w] == 1 && context.ClusterMap[prev] == 0) {
            start = w;
            break;
        }
    }
    trace.Line("Start of cluster = ", FormatDateText(WeekStart(context, start)));
    if (start >= 0) {
        JoinClusters(context, start);
        TraceClusterMap(context, "Joined cluster map");
        RemoveShortClusters(context, start);
    }

    const ClusterCount count = CountClusters(context);
    report.Clusters = CheckedInt16(count.clusters);
    trace.Line("Number of calving clusters = ", count.clusters);
    trace.Line("Maximum cluster legnth = ", count.longest);
    const std::int16_t calvingPattern = PatternOf(weeksTo80, count);

    report.CdateMSD = EstimateCdateMSD(context);
    EstimatePDMSD(context, calvingPattern);

    report.ActCalvingPattern = calvingPattern;
    report.AnalysisCalvingPattern = calvingPattern;
    trace.Line("Actual calving pattern = ", calvingPattern);
    trace.Line("CDate Estimated MSD = ", FormatDateText(report.CdateMSD));
    trace.Line("PD Estimated MSD = ", FormatDateText(report.PDMSD));
    trace.Line("PD Estimated PRev MSD = ", FormatDateText(report.PrevPdMsd));
    return true;
}

bool AnalysePeriod(AnalysisContext& context, std::int16_t period) {
    HerdReport& report = context.report;
    const PeriodSummary& summary = context.Period(period);
    report.CalvingStart = summary.start;
    report.CalvingStop = summary.end;
    const std::int64_t today = context.AnalysisDate;
    context.ReferenceFrom = CheckedInt16(std::clamp<std::int64_t>(today - summary.start, 0, kHistogramDays));
    context.ReferenceTo = CheckedInt16(
        std::clamp<std::int64_t>(today - AddDays(summary.end, 365), -kFutureCalvingDays, kHistogramDays));

    TraceWriter& trace = context.trace;
    trace.Line("Most recent summary for analysis = ", period);
    trace.Line("12 month calving period for analysis = ", FormatDateText(summary.start), " to ",
               FormatDateText(summary.end));
    trace.Line("Calving array reference from = ", context.ReferenceFrom, " to ", context.ReferenceTo);

    if (!ClassifyCalvingPattern(context)) return false;

    // The cross-check year follows the analysed mating group where there is one.
    Date yearStart = report.CalvingStart;
    Date yearEnd = YearEnd(yearStart);
    switch (report.AnalysisCalvingPattern) {
        case kSeasonalCalving:
            AnalyseSeasonal(context, false);
            if (report.AnalType != kBasisRecalving && report.ICR6wk == 0 && context.RecalvingPeriod != -1) {
                AnalyseSeasonal(context, true);
            }
            yearStart = AddDays(report.MSD, -kSeasonalGroupDays);
            yearEnd = YearEnd(yearStart);
            break;
        case kSplitCalving:
            AnalyseSplit(context);
            if (report.MSD == 0) {
                yearStart = context.AnalysisDate;
                yearEnd = context.AnalysisDate;
            } else {
                yearStart = AddDays(report.MSD, -kSplitGroupDays);
                yearEnd = YearEnd(yearStart);
            }
            break;
        case kYearRoundCalving:
            AnalyseYearRound(context);
            break;
        default:
            break;  // pattern unknown: no analysis by calving system
    }
    report.CrossCheckStart = yearStart;

    RankTechnicians(report);
    // An earlier season leaves it out, unless counting it could raise the range error that
    // fails the herd's analysis.
    const PreparedHerd* prepared = context.extent.prepared;
    if (context.extent.fill == ReportExtent::Whole ||
        (prepared != nullptr ? prepared->CrossCheckMayOverflow() : CrossCheckMayOverflow(context.herd))) {
        FillRecordsCrossCheck(context, yearEnd);
    }

    if (context.cowLists != nullptr) {
        RequireLeftOutUnchanged(context, false);  // the lists are of the current season
        *context.cowLists = MakeCowLists(context);
    }
    if (context.writeSummary) context.writeSummary(report);
    return true;
}

}  // namespace ovista
