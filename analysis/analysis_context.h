#pragma once
// The working state of one herd analysis, shared by the driver and every later stage: the
// day-by-day histograms of the herd's calvings, services and conceptions, the rolling
// 12-month period summaries and the periods chosen from them, the calving-pattern arrays,
// the mating dates, analysis basis and 200-day arrays with the herd counters, and the nine
// life tables of the conception probabilities. It lives for one herd and is then dropped.
//
// Arrays keep the index ranges the analysis speaks in (days before the analysis date, mating
// days from 1, weeks from 0); an index outside its range raises RangeError rather than
// touching memory it does not own.
#include <array>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <functional>
#include <span>
#include <vector>

#include "analysis/herd_report.h"
#include "analysis/trace.h"
#include "herd/cow_record.h"
#include "herd/errors.h"
#include "herd/herd_list.h"
#include "herd/services.h"
#include "herd/textutil.h"

namespace ovista {

// Days before the analysis date that the histograms look back: four years.
inline constexpr int kHistogramDays = 1461;
// Calvings expected up to a year after the analysis date are still counted.
inline constexpr int kFutureCalvingDays = 365;
// Conceptions found by a pregnancy test can lie up to 300 days after the analysis date.
inline constexpr int kFutureConceptionDays = 300;
// SmoothedCalvings covers the days whose whole 15-day window lies inside the histogram.
inline constexpr int kSmoothedDays = kHistogramDays - 7;
// Rolling 12-month periods, 0 the most recent, each ending a month before the previous one.
inline constexpr int kPeriodCount = 37;
// Mating days counted from the mating start date (day 1 is the MSD itself).
inline constexpr int kMatingDays = 200;
// Weeks of the calving pattern: the analysed year (0..52) and the year after (53..104).
inline constexpr int kPatternWeeks = 105;
inline constexpr int kFirstYearWeeks = 53;
inline constexpr int kMaxClusters = 10;
// Year-round herds: the smallest calving-to-first-service intervals kept, and the value of
// an unused place.
inline constexpr int kFirstServiceIntervals = 500;
inline constexpr std::int16_t kNoInterval = 1000;
// Life tables: rows (days) of a table, and the nine tables of the three sets.
inline constexpr int kLifeTableRows = 700;
inline constexpr int kLifeTableDays = 200;  // rows used by the main and year 200-day sets
inline constexpr int kLifeTableCount = 9;

// A fixed array indexed First..Last (both inclusive).
template <typename T, int First, int Last>
class IndexedArray {
    static_assert(First <= Last);

public:
    static constexpr int kFirst = First;
    static constexpr int kLast = Last;
    static constexpr bool Contains(int index) { return index >= First && index <= Last; }

    // RangeError when index lies outside First..Last.
    T& operator[](int index) { return values_[Offset(index)]; }
    const T& operator[](int index) const { return values_[Offset(index)]; }

    void Clear() { values_.fill(T{}); }
    void Fill(const T& value) { values_.fill(value); }
    // The values first..last in one run; RangeError when either lies outside.
    std::span<T> Run(int first, int last) {
        const std::size_t from = Offset(first);
        const std::size_t to = Offset(last);
        if (from > to) throw RangeError();
        return {values_.data() + from, to - from + 1};
    }
    std::span<const T> Run(int first, int last) const {
        const std::size_t from = Offset(first);
        const std::size_t to = Offset(last);
        if (from > to) throw RangeError();
        return {values_.data() + from, to - from + 1};
    }

    bool operator==(const IndexedArray&) const = default;

private:
    static std::size_t Offset(int index) {
        if (!Contains(index)) throw RangeError();
        return static_cast<std::size_t>(index - First);
    }
    std::array<T, static_cast<std::size_t>(Last - First + 1)> values_{};
};

// Counts of the lactations that calved in one 12-month period, and whether the period holds
// enough information of each kind to base an analysis on.
struct PeriodSummary {
    Date start = 0;  // first day of the period
    Date end = 0;    // last day of the period
    std::int16_t Calved = 0;   // lactations calved in start..end
    std::int16_t Culled = 0;   // of these, culled at most 200 days after calving
    std::int16_t Cul365 = 0;   // of these, culled at most 365 days after calving
    std::int16_t ReCalv = 0;   // of these, with a next calving
    std::int16_t Mated = 0;    // of these, with service slot 1 dated at most 200 days after calving
    std::int16_t Tested = 0;   // of these, with test slot 1 dated at most 365 days after calving
    std::int16_t Early = 0;    // their tests with a date and at most 17 weeks pregnant
    std::int16_t TotPD = 0;    // their tests with a date ("Tot PD")
    bool RecalvingOK = false;
    bool MatingOK = false;
    bool PregTestOK = false;
    bool EarlyPDOK = false;

    bool operator==(const PeriodSummary&) const = default;
};

// One day of a product-limit life table.
struct LifeTableRow {
    std::int32_t Start = 0;  // cows at risk at the start of the day
    std::int32_t Preg = 0;   // cows that conceived on the day
    std::int32_t Cens = 0;   // cows censored on the day
    double q = 0.0;          // share of those at risk not conceiving on the day
    double CPreg = 0.0;      // cumulative share conceived by the end of the day
    double S = 0.0;          // cumulative share not yet conceived by the end of the day

    bool operator==(const LifeTableRow&) const = default;
};

// Rows 1..kLifeTableRows; row d is day d of mating (or of lactation, year-round herds).
using LifeTable = IndexedArray<LifeTableRow, 1, kLifeTableRows>;

// The three sets of life tables, each with three estimates.
enum class LifeTableSet { Main = 0, Year200 = 1, Previous = 2 };
enum class Estimate { Central = 0, Optimistic = 1, Pessimistic = 2 };

// The herd counters that the submission, calving-spread, yield, recalving, conception-rate
// and year-round figures divide. Zeroed together at the start of each analysis pass.
struct AnalysisCounters {
    // Calving spread: cows calved in the group window (culling rule not applied), and of
    // them those calved at least 63, 42 and 21 days before the MSD.
    std::int16_t CalvedCows = 0;
    std::int16_t CalvedBefore63 = 0;
    std::int16_t CalvedBefore42 = 0;
    std::int16_t CalvedBefore21 = 0;
    std::int16_t InducedCows = 0;
    std::int16_t InducedBefore63 = 0;
    std::int16_t InducedBefore42 = 0;
    std::int16_t InducedBefore21 = 0;
    std::int16_t TwoYearOlds = 0;
    std::int16_t TwoYearOldsBefore63 = 0;
    std::int16_t TwoYearOldsBefore42 = 0;
    // Cows in the mating group (culling rule applied).
    std::int16_t CurrentCows = 0;
    // Recalving: calved 6 weeks before the MSD from calvings, recalved in the next season,
    // recalved naturally from a conception in the first 42 days of mating.
    std::int16_t Calved42 = 0;
    std::int16_t ReCalvedNextYear = 0;
    std::int16_t ReCalved42 = 0;
    // Yields: litres per day of lactation, summed.
    std::int16_t TwoYearOldYieldCount = 0;
    double TwoYearOldYieldSum = 0.0;
    std::int16_t MatureYieldCount = 0;
    double MatureYieldSum = 0.0;
    std::int16_t EarlyCalvers = 0;  // calved more than 41 days before the MSD
    // Submission in the first 3 weeks and 10 days of mating.
    std::int16_t Eligible3wk = 0;
    std::int16_t Eligible10d = 0;
    std::int16_t MatureEligible3wk = 0;
    std::int16_t Submitted10d = 0;
    std::int16_t Submitted3wk = 0;
    std::int16_t MatureSubmitted3wk = 0;
    // Heat intervals: returns within 72 days, and of them the normal 18 to 24 days.
    std::int16_t ReturnIntervals = 0;
    std::int16_t NormalReturnIntervals = 0;
    // Conception rate.
    std::int16_t CountedServices = 0;
    std::int16_t ConceptionServices = 0;
    // Year-round herds.
    std::int16_t YrNRRInsems = 0;
    std::int16_t YrNRRReturns = 0;
    std::int16_t Eligible80d = 0;
    std::int16_t Submitted80d = 0;
    std::int16_t MatureEligible80d = 0;
    std::int16_t MatureSubmitted80d = 0;
    double Est100dTotal = 0.0;  // estimated cows in calf by 100 days

    bool operator==(const AnalysisCounters&) const = default;
};

struct CowLists;
class PreparedHerd;
class PreparedCalendar;

// The lactations an earlier season's analysis walks: those of the herd that can matter as of
// its date, in list order. Each lactation left out has every date, and every conception date
// its pregnancy tests point to, in leftOutFrom..leftOutTo, at most 32767 days apart: after
// every window that counts a lactation outside the mating group, yet near enough to the
// analysis date for its day counts. Every lactation of the herd has them in datesFrom..datesTo,
// so that the passes after the calving pattern can tell whether the lactations outside the
// mating groups' windows can be left out too (NarrowToMatingGroups).
// A pass that cannot show, from the dates of the analysis, that a lactation left out would
// neither count, nor fail a range check, nor change an order throws LeftOutMayMatter: the
// caller then analyses the whole herd. The messages the analysis would give about a lactation
// left out are not given (an earlier season shows none).
struct LactationWalk {
    std::vector<CowRecord*> lactations;
    std::vector<std::uint32_t> places;  // of each in the herd list, from 0
    Date leftOutFrom = 0;
    Date leftOutTo = 0;
    Date datesFrom = 0;
    Date datesTo = 0;
};

class LeftOutMayMatter : public std::exception {
public:
    const char* what() const noexcept override { return "lactations left out may matter"; }
};

// How much of the report an analysis fills, and of the herd it walks: all of it, or what the
// summary row and a season column of the trend page carry (an earlier season): the records
// cross check, which page 2 alone shows, stays as cleared. walk: null for every lactation.
// prepared: not null when the herd is that list as prepared (analyse_herd.h), the working
// fields of the lactations walked cleared since, and no date of the herd is mistyped as of
// the analysis date: the driver then counts from it instead of trimming and completing the
// lactations again.
// prepare: not null, and no walk: the driver's walk takes the prepared herd as it goes.
// calendar: with prepared, that herd laid out by date (PreparedCalendar): the driver takes
// its counts from it when it serves the analysis date, rather than walking the lactations.
struct ReportExtent {
    enum Fill { Whole, SummaryRow };
    ReportExtent(Fill fill_ = Whole, const LactationWalk* walk_ = nullptr, const PreparedHerd* prepared_ = nullptr,
                 PreparedHerd* prepare_ = nullptr, const PreparedCalendar* calendar_ = nullptr)
        : fill(fill_), walk(walk_), prepared(prepared_), prepare(prepare_), calendar(calendar_) {}
    Fill fill;
    const LactationWalk* walk;
    const PreparedHerd* prepared;
    PreparedHerd* prepare;
    const PreparedCalendar* calendar;
};

// Writes the herd's summary row and conception line; it may set fields of the record
// (the report date). The run control supplies it, so the analysis knows no output files.
using SummaryWriter = std::function<void(HerdReport&)>;

struct AnalysisContext {
    // Nothing is written into report until the analysis runs.
    AnalysisContext(HerdList& herdList, HerdReport& herdReport, Date analysisDate,
                    SummaryWriter summaryWriter = {});
    AnalysisContext(const AnalysisContext&) = delete;
    AnalysisContext& operator=(const AnalysisContext&) = delete;

    // ---- the herd and where the results go ----
    HerdList& herd;
    HerdReport& report;
    SummaryWriter writeSummary;  // may be empty: nothing is written
    UserServices* messages = nullptr;  // where the analysis's messages go; nullptr: Services()
    // When set, receives the herd's cow lists just before the summary row is written (so a
    // writer can put them out with it); left not made when the analysis stops before that.
    CowLists* cowLists = nullptr;
    ReportExtent extent = ReportExtent::Whole;
    TraceWriter trace;

    // ---- driver: histograms by n, the days before the analysis date (date = AnalysisDate - n)
    Date AnalysisDate = 0;
    IndexedArray<std::int32_t, -kFutureCalvingDays, kHistogramDays> DailyCalvings;
    // Calvings of the 15 days n-7..n+7 (from day 1), for n = 1..1454; 0 beyond.
    IndexedArray<std::int32_t, 1, kHistogramDays> SmoothedCalvings;
    IndexedArray<std::int32_t, 1, kHistogramDays> DailyServices;
    IndexedArray<std::int32_t, -kFutureConceptionDays, kHistogramDays> DailyConceptions;
    IndexedArray<PeriodSummary, 0, kPeriodCount - 1> PeriodSummaries;
    // Period indexes, -1 for none.
    std::int16_t SufficientPeriod = -1;
    std::int16_t RecalvingPeriod = -1;
    std::int16_t EarlyPDPeriod = -1;
    std::int16_t PregTestPeriod = -1;
    std::int16_t MatingPeriod = -1;
    std::int16_t AnalysisPeriod = -1;  // the period handed to the calving-pattern stage

    // ---- calving pattern of the analysed period (weeks from the period's first day) ----
    IndexedArray<double, 0, kPatternWeeks - 1> WeeklyCalvingPattern;
    std::array<std::int16_t, kFirstYearWeeks> SortedWeeks{};
    IndexedArray<std::int16_t, 0, kPatternWeeks - 1> ClusterMap;
    IndexedArray<double, 1, kMaxClusters> ClusterShares;
    std::int16_t ReferenceFrom = 0;  // analysis date - period start, within 0..1461
    std::int16_t ReferenceTo = 0;    // analysis date - (period end + 365), within -365..1461

    // ---- mating dates and basis ----
    Date MSD = 0;
    std::int16_t AnalysisBasis = 0;  // kBasis... codes of herd_report.h; 0 not possible
    std::int16_t PeriodIndex = 0;    // period containing the MSD; -1 when none
    Date PrevMSD = 0;
    Date NextMSD = 0;
    IndexedArray<std::int32_t, 1, kHistogramDays> MatingStartFlags;
    Date EOMating = 0;
    Date EOAI = 0;
    Date PrevMatingEnd = 0;
    Date PrevEOAI = 0;
    Date PDMatingEnd = 0;
    Date PrevPDMatingEnd = 0;
    // By mating day k = date - MSD + 1.
    IndexedArray<std::int32_t, 1, kMatingDays> ServicesByDay;
    IndexedArray<std::int32_t, 1, kMatingDays> AIByDay;
    IndexedArray<std::int32_t, 1, kMatingDays> ReturnsByDay;
    AnalysisCounters counters;

    // ---- the lactations the passes walk ----
    // Those of the passes after the calving pattern when narrowed: the lactations of
    // extent.walk that calve in a window of the mating groups (NarrowToMatingGroups); not
    // narrowed, those of ForEachLactation.
    std::vector<CowRecord*> GroupWalk;
    bool GroupWalkNarrowed = false;

    // ---- year-round herds ----
    Date LastAIMating = 0;
    Date LastPregTest = 0;
    // Smallest calving-to-first-service intervals, ascending; kNoInterval where unused.
    std::array<std::int16_t, kFirstServiceIntervals> FirstServiceIntervals{};
    std::int32_t IntervalCount = 0;
    std::int32_t GroupCount = 0;

    // ---- life tables: the nine work areas, held only while the herd is analysed ----
    // The tables made so far, in the order of Table's places: a table is made (zeroed) when
    // first asked for. Tables given back are zeroed again and kept for the thread's next
    // analysis (a batch analyses herd after herd), so that they are neither made nor zeroed
    // whole per analysis.
    std::vector<LifeTable> WorkAreas;
    // Takes nine zeroed tables (again zeroed when already held).
    void TakeWorkAreas();
    // Gives the tables back, zeroed, for the thread's next analysis.
    void ReleaseWorkAreas();
    // One of the nine tables; std::out_of_range when the work areas are not held.
    LifeTable& Table(LifeTableSet set, Estimate estimate);
    const LifeTable& Table(LifeTableSet set, Estimate estimate) const;
    // The same for a pass that writes rows 1..rows of the table and no others: only those are
    // zeroed again when it is given back.
    LifeTable& TableUpTo(LifeTableSet set, Estimate estimate, int rows);
    // The rows from 1 that this analysis may have written in the table; 0 while it is as
    // taken (zero). std::out_of_range as Table.
    int RowsWritten(LifeTableSet set, Estimate estimate) const;

private:
    bool workAreasHeld_ = false;
    // Per place: the rows from 1 that may no longer be zero.
    std::array<int, kLifeTableCount> rowsWritten_{};

public:

    // The period summary r (0..36); RangeError outside.
    PeriodSummary& Period(int r) { return PeriodSummaries[r]; }
    const PeriodSummary& Period(int r) const { return PeriodSummaries[r]; }
};

// The lactations the analysis walks, in list order: extent.walk's, else every lactation of
// herd (the list's own records in order: the passes walk these pointers rather than asking
// the list for each record).
const std::vector<CowRecord*>& WalkedLactations(AnalysisContext& context);

// Calls pass(lactation) for every lactation the analysis walks.
template <typename Pass>
void ForEachLactation(AnalysisContext& context, Pass&& pass) {
    for (CowRecord* lactation : WalkedLactations(context)) pass(*lactation);
}

// The same for the passes after the calving pattern: the lactations of the group walk when
// narrowed.
template <typename Pass>
void ForEachInGroups(AnalysisContext& context, Pass&& pass) {
    const std::vector<CowRecord*>& lactations =
        context.GroupWalkNarrowed ? context.GroupWalk : WalkedLactations(context);
    for (CowRecord* lactation : lactations) pass(*lactation);
}

// With extent.walk, and allowed: narrows the walk of the passes after the calving pattern to
// the lactations that calve within a window of the mating groups (InMatingGroup; those of the
// MSD and PrevMSD, or the year-round groups' up to the period's end), when the dates of the
// herd show that no other can fail a range check of those passes (its days to culling and
// from the mating starts). The passes never count a lactation outside its group. Else, or
// not allowed (a second analysis of the same period, which walks what the first left), the
// walk is not narrowed. Called once the mating starts are final.
void NarrowToMatingGroups(AnalysisContext& context, bool allowed);

// For a pass over extent.walk: LeftOutMayMatter unless shown holds. No walk: nothing to show.
inline void RequireLeftOutUnchanged(const AnalysisContext& context, bool shown) {
    if (context.extent.walk != nullptr && !shown) throw LeftOutMayMatter();
}

// Whether every date left out lies after last (true without a walk).
inline bool LeftOutAfter(const AnalysisContext& context, std::int64_t last) {
    const LactationWalk* walk = context.extent.walk;
    return walk == nullptr || walk->leftOutFrom > last;
}

// Whether the day counts date - origin + 1 of every date left out fit 16 bits.
inline bool LeftOutDaysFit(const AnalysisContext& context, std::int64_t origin) {
    const LactationWalk* walk = context.extent.walk;
    return walk == nullptr ||
           (walk->leftOutFrom - origin + 1 >= -32768 && walk->leftOutTo - origin + 1 <= 32767);
}

}  // namespace ovista
