#include "analysis/analyse_herd.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

#include "analysis/calving_pattern.h"
#include "analysis/prepared_calendar.h"
#include "herd/errors.h"
#include "herd/services.h"

namespace ovista {
namespace {

constexpr int kCappedDay = kHistogramDays;          // older events all count on the last day
constexpr int kServiceWindowDays = 200;             // services counted after calving
constexpr int kConceptionTestWindowDays = 250;      // tests that date a conception
constexpr int kCulledEarlyDays = 200;
constexpr int kCulledInYearDays = 365;
constexpr int kEarlyTestWeeks = 17;
constexpr int kBatchCalvingsPerDay = 10;
constexpr double kBatchShareOfWindow = 0.5;
constexpr double kBatchShareOfHerd = 0.25;
constexpr int kSufficientCalvings = 50;
constexpr double kSufficientShareOfLargest = 0.7;
constexpr double kMatedShare = 0.5;
constexpr double kTestedShare = 0.8;
constexpr double kEarlyShare = 0.8;
constexpr double kRecalvedShare = 0.7;
constexpr std::size_t kMessageKeyLength = 57;

int CappedDay(int n) { return std::min(n, kCappedDay); }

// True when the calving can be placed in the day histograms: it has a date within 16-bit
// day counts of the analysis date.
bool CalvingPlaceable(Date calved, Date analysisDate) {
    if (calved == 0) return false;
    const std::int64_t n = static_cast<std::int64_t>(analysisDate) - calved;
    return std::llabs(n) <= 32767;
}

void AddCount(std::int16_t& count) { count = CheckedInt16(static_cast<std::int64_t>(count) + 1); }

// The calving, at n days before the analysis date. Calvings expected within the next
// year are counted too, except those of heifers (two-year-olds), whose due dates are less sure.
[[gnu::always_inline]] inline void CountCalving(AnalysisContext& context, Date calved, bool heifer) {
    const int n = CappedDay(CheckedInt16(static_cast<std::int64_t>(context.AnalysisDate) - calved));
    if (n > 0) {
        ++context.DailyCalvings[n];
    } else if (n >= -kFutureCalvingDays && !heifer) {
        ++context.DailyCalvings[n];
    }
}

[[gnu::always_inline]] inline void CountService(AnalysisContext& context, Date served) {
    const int n = CappedDay(CheckedInt16(static_cast<std::int64_t>(context.AnalysisDate) - served));
    if (n > 0) ++context.DailyServices[n];
}

// One walk over the services: the last heat and the last and first service with a sire into
// the record; each service with a sire within 200 days after calving handed to inWindow.
template <class InWindow>
[[gnu::always_inline]] inline void DeriveServiceDates(CowRecord& record, InWindow&& inWindow) {
    Date lastHeat = 0;
    Date lastService = 0;
    Date firstService = 0;
    bool firstServiceAI = false;
    for (const ServiceRecord& service : ServicesInUse(record)) {
        if (service.Date == 0) continue;
        lastHeat = service.Date;
        if (!service.HasSire) continue;
        lastService = service.Date;
        if (firstService == 0) {
            firstService = service.Date;
            firstServiceAI = service.AI;
        }
        if (static_cast<std::int64_t>(service.Date) - record.Calved <= kServiceWindowDays) inWindow(service.Date);
    }
    record.LastHeat = lastHeat;
    record.LastService = lastService;
    record.FirstService = firstService;
    record.FirstServiceAI = firstServiceAI;
}

// The services' dates derived, and those within the window counted into the histogram (when
// count; their dates also into counted when given).
void CountServicesAndDeriveDates(AnalysisContext& context, CowRecord& record, bool count,
                                 std::vector<Date>* counted = nullptr) {
    DeriveServiceDates(record, [&](Date served) {
        if (!count) return;
        CountService(context, served);
        if (counted != nullptr) counted->push_back(served);
    });
}

// Out of line: it is rare, and its text would weigh on the walk over every lactation.
[[gnu::noinline, gnu::cold]] void ShowConceptionRangeError(const AnalysisContext& context, const CowRecord& record) {
    (context.messages != nullptr ? *context.messages : Services())
        .ShowInfo("First conception range error for cow " + record.Key.substr(0, kMessageKeyLength));
}

// The test that dates the lactation's conception: the first that found the cow pregnant
// within 250 days of calving; nullptr when none did.
const PregTestRecord* ConceptionTest(const CowRecord& record) {
    for (const PregTestRecord& test : TestsInUse(record)) {
        if (test.Date == 0 || test.Weeks == 0) continue;
        if (static_cast<std::int64_t>(test.Date) - record.Calved > kConceptionTestWindowDays) continue;
        return &test;
    }
    return nullptr;
}

Date ConceptionFrom(const PregTestRecord& test) { return test.Date - 7 * test.Weeks; }

[[gnu::always_inline]] inline void CountConceptionOn(AnalysisContext& context, const CowRecord& record,
                                                     Date conception) {
    const std::int64_t n = static_cast<std::int64_t>(context.AnalysisDate) - conception;
    if (n < -32768 || n > 32767) {
        ShowConceptionRangeError(context, record);
    } else if (n > -kFutureConceptionDays && n <= kHistogramDays) {
        ++context.DailyConceptions[static_cast<int>(n)];
    }
}

// True when a test dates the conception.
bool CountConception(AnalysisContext& context, CowRecord& record) {
    const PregTestRecord* test = ConceptionTest(record);
    if (test == nullptr) return false;
    record.ConceptionDate = ConceptionFrom(*test);
    CountConceptionOn(context, record, record.ConceptionDate);
    return true;
}

void AddCounts(std::int16_t& count, int added) {
    count = CheckedInt16(static_cast<std::int64_t>(count) + added);
}

PeriodCounts CountsOf(const CowRecord& record) {
    const std::int64_t calved = record.Calved;
    PeriodCounts counts;
    counts.culledEarly = record.Culled != 0 && record.Culled - calved <= kCulledEarlyDays;
    counts.culledInYear = record.Culled != 0 && record.Culled - calved <= kCulledInYearDays;
    counts.recalved = record.NextCalve != 0;
    const Date firstService = ServiceDate(record, 0);
    counts.mated = firstService != 0 && firstService <= calved + kServiceWindowDays;
    const std::span<const PregTestRecord> tests = TestsInUse(record);
    const Date firstTest = tests.empty() ? 0 : tests[0].Date;
    counts.tested = firstTest != 0 && firstTest <= calved + kCulledInYearDays;
    for (const PregTestRecord& test : tests) {
        if (test.Date == 0) continue;
        ++counts.tests;
        if (test.Weeks <= kEarlyTestWeeks) ++counts.early;
    }
    return counts;
}

bool WithinPeriods(const AnalysisContext& context, Date calved) {
    return calved <= context.Period(0).end && calved >= context.Period(kPeriodCount - 1).start;
}

// The lactation in every 12-month period that holds its calving. Periods run back a month
// at a time, so those holding a calving are a run of at most twelve: the walk stops at the
// first period that ends before the calving.
void CountInPeriods(AnalysisContext& context, Date calvedOn, const PeriodCounts& counts) {
    const std::int64_t calved = calvedOn;
    for (int r = 0; r < kPeriodCount; ++r) {
        PeriodSummary& period = context.Period(r);
        if (calved > period.end) break;
        if (calved < period.start) continue;
        AddCount(period.Calved);
        if (counts.culledEarly) AddCount(period.Culled);
        if (counts.culledInYear) AddCount(period.Cul365);
        if (counts.recalved) AddCount(period.ReCalv);
        if (counts.mated) AddCount(period.Mated);
        if (counts.tested) AddCount(period.Tested);
        if (counts.tests != 0) AddCounts(period.TotPD, counts.tests);
        if (counts.early != 0) AddCounts(period.Early, counts.early);
    }
}

// The same counts taken once per lactation into the month of its calving: the periods are
// whole months, period r the twelve from month 36 - r of the 48 that end with the analysis
// date's month, so each period is the sum of its months. Only for a herd whose counts cannot
// pass 16 bits in any period (every count at most the lactations, the tests at most six
// each): there the order of adding cannot meet a range error that the walk by periods would.
class MonthlyPeriodCounts {
public:
    static constexpr int kMonths = kPeriodCount + 11;

    static bool Fits(const HerdList& herd) {
        return static_cast<std::int64_t>(herd.Count()) * kPregTestSlots <= 32767;
    }

    // False when the periods' bounds are not one run of months (then the walk by periods counts).
    bool TakeMonths(const AnalysisContext& context) {
        for (int r = 0; r < kPeriodCount; ++r) firsts_[static_cast<std::size_t>(kPeriodCount - 1 - r)] = context.Period(r).start;
        for (int r = 0; r <= 12; ++r) {
            const Date next = context.Period(r).end + 1;
            Date& first = firsts_[static_cast<std::size_t>(kMonths - r)];
            if (r == 12 && first != next) return false;
            first = next;
        }
        for (int k = 0; k < kMonths; ++k) {
            const Date from = firsts_[static_cast<std::size_t>(k)];
            const Date to = firsts_[static_cast<std::size_t>(k) + 1];
            if (to <= from || to - from > kLongestMonth) return false;
        }
        return true;
    }

    // A lactation calved within the periods.
    void Add(Date calved, const PeriodCounts& counts) {
        // No month is longer than 31 days, so this month is never past the calving's.
        auto k = static_cast<std::size_t>((calved - firsts_[0]) / kLongestMonth);
        while (firsts_[k + 1] <= calved) ++k;
        months_[k] += MonthCountsOf(counts);
    }

    // The months from the calendar, which lays out the same lactations by calendar month:
    // false when it does not hold this analysis's months.
    bool TakeFrom(const PreparedCalendar& calendar) {
        const std::vector<Date>& firsts = calendar.MonthFirsts();
        if (firsts.empty() || firsts_[0] < firsts.front()) return false;
        auto k = static_cast<std::size_t>((firsts_[0] - firsts.front()) / kLongestMonth);
        while (k < firsts.size() && firsts[k] < firsts_[0]) ++k;
        if (k + kMonths >= firsts.size()) return false;
        if (!std::equal(firsts_.begin(), firsts_.end(), firsts.begin() + static_cast<std::ptrdiff_t>(k))) return false;
        std::copy_n(calendar.Months().begin() + static_cast<std::ptrdiff_t>(k), kMonths, months_.begin());
        return true;
    }

    void Into(AnalysisContext& context) const {
        for (int r = 0; r < kPeriodCount; ++r) {
            Month sum;
            for (int k = kPeriodCount - 1 - r; k < kMonths - r; ++k) sum += months_[static_cast<std::size_t>(k)];
            PeriodSummary& period = context.Period(r);
            period.Calved = static_cast<std::int16_t>(sum.Calved);
            period.Culled = static_cast<std::int16_t>(sum.Culled);
            period.Cul365 = static_cast<std::int16_t>(sum.Cul365);
            period.ReCalv = static_cast<std::int16_t>(sum.ReCalv);
            period.Mated = static_cast<std::int16_t>(sum.Mated);
            period.Tested = static_cast<std::int16_t>(sum.Tested);
            period.TotPD = static_cast<std::int16_t>(sum.TotPD);
            period.Early = static_cast<std::int16_t>(sum.Early);
        }
    }

private:
    static constexpr int kLongestMonth = 31;
    using Month = MonthCounts;
    std::array<Date, kMonths + 1> firsts_{};  // first day of each month, and the day after the last
    std::array<Month, kMonths> months_{};
};

void TraceSummaries(AnalysisContext& context) {
    TraceWriter& trace = context.trace;
    if (!trace.Tracing()) return;
    trace.Line("Herd ID = ", context.report.SHNO);
    trace.Line("   Summary              Calved  Culled  Cul365  ReCalv   Mated  Tested   Early  Tot PD");
    for (int r = 0; r < kPeriodCount; ++r) {
        const PeriodSummary& p = context.Period(r);
        std::string line = RightAligned(r, 2) + " " + FormatDateText(p.start) + " " + FormatDateText(p.end) + " ";
        for (const std::int16_t count : {p.Calved, p.Culled, p.Cul365, p.ReCalv, p.Mated, p.Tested, p.Early, p.TotPD}) {
            line += RightAligned(count, 8);
        }
        trace.Line(line);
    }
}

void SmoothCalvings(AnalysisContext& context) {
    context.SmoothedCalvings.Clear();
    // Day n at n - 1 of each.
    const std::span<const std::int32_t> daily = context.DailyCalvings.Run(1, kHistogramDays);
    const std::span<std::int32_t> smoothed = context.SmoothedCalvings.Run(1, kSmoothedDays);
    // A running sum of the window n-7..n+7 (from day 1).
    std::int64_t sum = 0;
    for (std::size_t day = 0; day < 7; ++day) sum += daily[day];
    std::size_t n = 0;
    for (; n < 8 && n < smoothed.size(); ++n) {  // the window not yet full behind day n
        sum += daily[n + 7];
        smoothed[n] = static_cast<std::int32_t>(sum);
    }
    for (; n < smoothed.size(); ++n) {
        sum += daily[n + 7] - std::int64_t{daily[n - 8]};
        smoothed[n] = static_cast<std::int32_t>(sum);
    }
}

// Calvings recorded in batches, many on one day against few around it, mean the
// calving dates are not the cows' own.
bool CalvingsBatchRecorded(AnalysisContext& context) {
    std::int64_t total = 0;
    std::int64_t funny = 0;
    const std::span<const std::int32_t> daily = context.DailyCalvings.Run(1, kHistogramDays);
    const std::span<const std::int32_t> smoothedDaily = context.SmoothedCalvings.Run(1, kHistogramDays);
    for (std::size_t n = 0; n < daily.size(); ++n) {
        const std::int32_t calvings = daily[n];
        total += calvings;
        if (calvings <= kBatchCalvingsPerDay) continue;
        const std::int32_t smoothed = smoothedDaily[n];
        if (smoothed > 0 && static_cast<double>(calvings) / smoothed > kBatchShareOfWindow) funny += calvings;
    }
    context.trace.Line("Funny calvings = ", funny);
    return total > 0 && static_cast<double>(funny) / static_cast<double>(total) > kBatchShareOfHerd;
}

// The most recent period with more than 50 calvings and over 70% of the largest.
std::int16_t FindSufficientPeriod(const AnalysisContext& context) {
    std::int16_t largest = 0;
    for (int r = 0; r < kPeriodCount; ++r) largest = std::max(largest, context.Period(r).Calved);
    if (largest == 0) return -1;
    for (int r = 0; r < kPeriodCount; ++r) {
        const std::int16_t calved = context.Period(r).Calved;
        if (calved > kSufficientCalvings && static_cast<double>(calved) / largest > kSufficientShareOfLargest) {
            return static_cast<std::int16_t>(r);
        }
    }
    return -1;
}

void TakeFirst(std::int16_t& index, int r, bool flag) {
    if (flag && index == -1) index = static_cast<std::int16_t>(r);
}

// Which periods, from the sufficient one back, carry each kind of information.
void FlagInformation(AnalysisContext& context) {
    for (int r = context.SufficientPeriod; r < kPeriodCount; ++r) {
        PeriodSummary& p = context.Period(r);
        const double kept = static_cast<double>(p.Calved) - p.Culled;
        if (kept > 0) {
            p.MatingOK = p.Mated / kept > kMatedShare;
            p.PregTestOK = p.Tested / kept > kTestedShare;
            p.EarlyPDOK = p.Tested / kept > kTestedShare && p.TotPD > 0 &&
                          static_cast<double>(p.Early) / p.TotPD > kEarlyShare;
            TakeFirst(context.MatingPeriod, r, p.MatingOK);
            TakeFirst(context.PregTestPeriod, r, p.PregTestOK);
            TakeFirst(context.EarlyPDPeriod, r, p.EarlyPDOK);
        }
        const double keptYear = static_cast<double>(p.Calved) - p.Cul365;
        if (keptYear > 0) {
            p.RecalvingOK = p.ReCalv / keptYear > kRecalvedShare;
            TakeFirst(context.RecalvingPeriod, r, p.RecalvingOK);
        }
    }
}

void ResetDriverState(AnalysisContext& context) {
    context.DailyCalvings.Clear();
    context.SmoothedCalvings.Clear();
    context.DailyServices.Clear();
    context.DailyConceptions.Clear();
    context.PeriodSummaries.Clear();
    context.SufficientPeriod = -1;
    context.RecalvingPeriod = -1;
    context.EarlyPDPeriod = -1;
    context.PregTestPeriod = -1;
    context.MatingPeriod = -1;
    context.AnalysisPeriod = -1;
    context.GroupWalk.clear();
    context.GroupWalkNarrowed = false;
}

// The driver's histograms of a prepared herd from its calendar, which serves the analysis
// date: what the walk over the prepared lactations would count, day by day.
void CountFromCalendar(AnalysisContext& context, const PreparedCalendar& calendar) {
    const Date today = context.AnalysisDate;
    // Days first..last before today, from their counts by day (the latest first).
    const auto copy = [today](const PreparedCalendar::DayCounts& from, std::span<std::int32_t> to, int first) {
        std::copy_n(from.At(today - first), to.size(), to.begin());
    };
    // Calvings expected within the next year, heifers' left out; older ones on the last day.
    copy(calendar.CountedFutureCalvings(), context.DailyCalvings.Run(-kFutureCalvingDays, 0), -kFutureCalvingDays);
    copy(calendar.Calvings(), context.DailyCalvings.Run(1, kCappedDay - 1), 1);
    context.DailyCalvings[kCappedDay] = calendar.CalvingsUpTo(today - kCappedDay);
    copy(calendar.Services(), context.DailyServices.Run(1, kCappedDay - 1), 1);
    context.DailyServices[kCappedDay] = calendar.ServicesUpTo(today - kCappedDay);
    copy(calendar.Conceptions(), context.DailyConceptions.Run(1 - kFutureConceptionDays, kHistogramDays),
         1 - kFutureConceptionDays);
}

// Walks the herd once, completing each lactation; returns the keys of the lactations whose calving
// could not be placed in the histograms.
std::vector<std::string> AnalyseLactations(AnalysisContext& context) {
    std::vector<std::string> unplaced;
    MonthlyPeriodCounts monthly;
    const bool byMonth = MonthlyPeriodCounts::Fits(context.herd) && monthly.TakeMonths(context);
    // A lactation left out calves after the counted future calvings, conceives after the
    // counted future conceptions and the periods, and is served after the analysis date, all
    // within 16-bit day counts of it.
    const std::int64_t today = context.AnalysisDate;
    RequireLeftOutUnchanged(context, LeftOutAfter(context, today + kFutureCalvingDays) &&
                                         LeftOutAfter(context, today + kFutureConceptionDays) &&
                                         LeftOutAfter(context, context.Period(0).end) &&
                                         LeftOutDaysFit(context, today + 1));
    // A lactation calved within the periods.
    const auto countInPeriods = [&](Date calved, const PeriodCounts& counts) {
        if (byMonth) {
            monthly.Add(calved, counts);
        } else {
            CountInPeriods(context, calved, counts);
        }
    };
    const PreparedCalendar* calendar = context.extent.calendar;
    if (context.extent.prepared != nullptr && calendar != nullptr && byMonth && !context.trace.Tracing() &&
        calendar->Serves(context.AnalysisDate) && monthly.TakeFrom(*calendar)) {
        // The walk below, counted once for the herd. The lactations without a calving date,
        // which it names for the trace, go untold: this analysis writes none.
        CountFromCalendar(context, *calendar);
        monthly.Into(context);
        return unplaced;
    }
    if (const PreparedHerd* prepared = context.extent.prepared) {
        // The lactations are trimmed and completed: only what depends on the date is left.
        const LactationWalk* walk = context.extent.walk;
        const std::vector<CowRecord*>& lactations = WalkedLactations(context);
        PreparedHerd::ServicesInOrder counted(*prepared);  // the walk goes in place order
        for (std::size_t i = 0; i < lactations.size(); ++i) {
            const std::size_t place = walk != nullptr ? walk->places[i] : i;
            const PreparedLactation& lactation = prepared->At(place);
            if (!CalvingPlaceable(lactation.calved, context.AnalysisDate)) {
                // With no date mistyped, only a lactation without a calving date.
                if (lactation.calved != 0) throw std::logic_error("a prepared herd with a mistyped year");
                unplaced.push_back(lactations[i]->Key.str());
                continue;
            }
            CountCalving(context, lactation.calved, lactation.heifer);
            for (const Date served : counted.At(place)) CountService(context, served);
            if (lactation.conceived) CountConceptionOn(context, *lactations[i], lactation.conception);
            if (WithinPeriods(context, lactation.calved)) countInPeriods(lactation.calved, lactation.counts);
        }
    } else {
        PreparedHerd* const prepare = context.extent.walk == nullptr ? context.extent.prepare : nullptr;
        bool everyCalvingPlaced = true;
        if (prepare != nullptr) prepare->Restart(static_cast<std::size_t>(context.herd.Count()));
        ForEachLactation(context, [&](CowRecord& record) {
            CullTrim(record);
            const bool placeable = CalvingPlaceable(record.Calved, context.AnalysisDate);
            if (placeable) {
                CountCalving(context, record.Calved, record.Age == 2);
            } else {
                unplaced.push_back(record.Key.str());
                if (record.Calved != 0) everyCalvingPlaced = false;
            }
            PreparedLactation taken;
            const std::size_t firstService = prepare != nullptr ? prepare->ServiceDates().size() : 0;
            CountServicesAndDeriveDates(context, record, placeable, prepare != nullptr ? &prepare->ServiceDates() : nullptr);
            if (placeable) {
                const bool conceived = CountConception(context, record);
                if (prepare == nullptr) {
                    if (WithinPeriods(context, record.Calved)) countInPeriods(record.Calved, CountsOf(record));
                } else {
                    const PeriodCounts counts = CountsOf(record);
                    if (WithinPeriods(context, record.Calved)) countInPeriods(record.Calved, counts);
                    taken.calved = record.Calved;
                    taken.conception = record.ConceptionDate;
                    taken.services = static_cast<std::uint8_t>(prepare->ServiceDates().size() - firstService);
                    taken.heifer = record.Age == 2;
                    taken.conceived = conceived;
                    taken.counts = counts;
                }
            }
            if (prepare != nullptr) prepare->Add(taken);
        });
        if (prepare != nullptr && everyCalvingPlaced) prepare->Finish(CrossCheckMayOverflow(context.herd));
    }
    if (byMonth) monthly.Into(context);
    return unplaced;
}

// Everything after the identity is stored: periods, the walk, the checks, the hand-over.
void AnalyseClearedHerd(AnalysisContext& context) {
    HerdReport& report = context.report;
    for (int r = 0; r < kPeriodCount; ++r) {
        const PeriodBounds bounds = AnalysisPeriodBounds(context.AnalysisDate, r);
        context.Period(r).start = bounds.start;
        context.Period(r).end = bounds.end;
    }
    const std::vector<std::string> unplaced = AnalyseLactations(context);
    TraceSummaries(context);
    // A calving without a date, or too far from the analysis date for 16-bit day counts
    // (a mistyped year), cannot be placed; the rest of the herd is analysed without it.
    for (const std::string& key : unplaced) {
        context.trace.Line("Calving date out of range, lactation not counted: ", key);
    }
    SmoothCalvings(context);

    if (CalvingsBatchRecorded(context)) {
        report.Error = kErrorImplausibleCalvings;
        return;
    }
    context.SufficientPeriod = FindSufficientPeriod(context);
    context.trace.Line("Summary with sufficient calvings = ", context.SufficientPeriod);
    if (context.SufficientPeriod == -1) {
        report.Error = kErrorNoCalvingPeriod;
        return;
    }
    FlagInformation(context);
    context.trace.Line("Summary with recalving info = ", context.RecalvingPeriod);
    context.trace.Line("Summary with early PD info = ", context.EarlyPDPeriod);
    context.trace.Line("Summary with preg test info = ", context.PregTestPeriod);
    context.trace.Line("Summary with mating info = ", context.MatingPeriod);

    std::int16_t period = -1;
    for (const std::int16_t index :
         {context.RecalvingPeriod, context.EarlyPDPeriod, context.PregTestPeriod, context.MatingPeriod}) {
        if (index != -1 && (period == -1 || index < period)) period = index;
    }
    if (period == -1) {
        report.Error = kErrorNoSufficientInformation;
        return;
    }
    context.AnalysisPeriod = period;
    AnalysePeriod(context, period);
}

// Holds the trace files and the work areas for the length of one analysis, whatever way it ends.
class AnalysisResources {
public:
    AnalysisResources(AnalysisContext& context, const std::string& workingFolder) : context_(context) {
        context_.TakeWorkAreas();
        context_.trace.Open(workingFolder);
    }
    ~AnalysisResources() {
        context_.trace.Close();
        context_.ReleaseWorkAreas();
    }
    AnalysisResources(const AnalysisResources&) = delete;
    AnalysisResources& operator=(const AnalysisResources&) = delete;

private:
    AnalysisContext& context_;
};

}  // namespace

PeriodBounds AnalysisPeriodBounds(Date analysisDate, int r) {
    if (r < 0 || r >= kPeriodCount) throw RangeError();
    const CalendarDate date = DecodeDate(analysisDate);
    std::int64_t year = date.year;
    if (year < 100) year += year < 50 ? 2000 : 1900;
    int month = date.month + 1;
    if (month > 12) {
        month = 1;
        ++year;
    }
    month -= r;
    while (month < 1) {
        month += 12;
        --year;
    }
    return PeriodBounds{FirstOfMonth(year - 1, month), FirstOfMonth(year, month) - 1};
}

bool MayFindSufficientPeriod(std::span<const Date> calvings, Date analysisDate) {
    const Date first = AnalysisPeriodBounds(analysisDate, kPeriodCount - 1).start;
    const Date last = AnalysisPeriodBounds(analysisDate, 0).end;
    int within = 0;  // up to the first count that is enough
    for (const Date calved : calvings) {
        if (calved >= first && calved <= last && ++within > kSufficientCalvings) return true;
    }
    return false;
}

void CullTrim(CowRecord& record) {
    if (record.Culled == 0) return;
    if (record.Culled < record.Dryoff) record.Dryoff = 0;
    if (record.NextCalve > record.Culled) record.NextCalve = 0;
    for (ServiceRecord& service : ServicesInUse(record)) {
        if (service.Date > record.Culled) {
            service.Date = 0;
            service.AI = false;
            service.HasSire = false;
            service.Tech = 0;
            service.CountedService = false;
            service.ConceptionService = false;
        }
    }
    for (PregTestRecord& test : TestsInUse(record)) {
        if (test.Date > record.Culled) test = PregTestRecord{};
    }
}

void PreparedHerd::Restart(std::size_t lactations) {
    lactations_.clear();
    serviceDates_.clear();
    lactations_.reserve(lactations);
    taken_ = false;
}

void PreparedHerd::Prepare(HerdList& herd) {
    Restart(static_cast<std::size_t>(herd.Count()));
    for (int index = 1; index <= herd.Count(); ++index) {
        CowRecord& record = herd.RecordAt(index);
        CullTrim(record);
        ClearWorkingFields(record);
        PreparedLactation lactation;
        lactation.calved = record.Calved;
        lactation.heifer = record.Age == 2;
        const std::size_t firstService = serviceDates_.size();
        DeriveServiceDates(record, [&](Date served) { serviceDates_.push_back(served); });
        // A lactation without a calving date is never counted, nor its conception dated.
        record.ConceptionDate = 0;
        if (record.Calved != 0) {
            lactation.services = static_cast<std::uint8_t>(serviceDates_.size() - firstService);
            if (const PregTestRecord* test = ConceptionTest(record)) {
                record.ConceptionDate = ConceptionFrom(*test);
                lactation.conception = record.ConceptionDate;
                lactation.conceived = true;
            }
        } else {
            serviceDates_.resize(firstService);
        }
        lactation.counts = CountsOf(record);
        lactations_.push_back(lactation);
    }
    Finish(ovista::CrossCheckMayOverflow(herd));
}

void PreparedHerd::ClearWorkingFields(CowRecord& lactation) {
    constexpr std::size_t from = offsetof(CowRecord, TestConception);
    constexpr std::size_t to = offsetof(CowRecord, PrevPessConceived) + sizeof(CowRecord::PrevPessConceived);
    std::memset(reinterpret_cast<unsigned char*>(&lactation) + from, 0, to - from);
    for (ServiceRecord& service : ServicesInUse(lactation)) {
        service.CountedService = false;
        service.ConceptionService = false;
        service.InferredFailure = false;
    }
}

void AnalyseHerd(AnalysisContext& context, const std::string& herdNumber, const std::string& owner,
                 const std::string& address, const std::string& workingFolder) {
    if (context.AnalysisDate == 0) throw OvistaError(kZeroAnalysisDateMessage);
    AnalysisResources resources(context, workingFolder);
    ResetDriverState(context);
    if (context.cowLists != nullptr) *context.cowLists = CowLists{};
    HerdReport& report = context.report;
    ClearHerdReport(report);
    report.AnalysisDate = context.AnalysisDate;
    report.Owner = owner.substr(0, kOwnerMax);
    report.Address = address.substr(0, kAddressMax);
    report.SHNO = herdNumber.substr(0, kSHNOMax);
    AnalyseClearedHerd(context);
}

void AnalyseHerd(const std::string& herdNumber, Date analysisDate, const std::string& owner,
                 const std::string& address, HerdList& herd, HerdReport& report,
                 const std::string& workingFolder, const SummaryWriter& writeSummary,
                 UserServices& services, CowLists* cowLists, ReportExtent extent) {
    if (analysisDate == 0) throw OvistaError(kZeroAnalysisDateMessage);
    auto context = std::make_unique<AnalysisContext>(herd, report, analysisDate, writeSummary);
    context->messages = &services;
    context->cowLists = cowLists;
    context->extent = extent;
    AnalyseHerd(*context, herdNumber, owner, address, workingFolder);
}

}  // namespace ovista
