#include "analysis/prepared_calendar.h"

#include <algorithm>
#include <exception>
#include <limits>

#include "analysis/analyse_herd.h"
#include "analysis/analysis_context.h"

namespace ovista {
namespace {

constexpr int kLongestMonth = 31;
// The months of the seasons a year apart of a TRENDS run, with room: beyond, the walk counts.
constexpr int kMostMonths = 12 * 12;

}  // namespace

MonthCounts MonthCountsOf(const PeriodCounts& counts) {
    return MonthCounts{1, counts.culledEarly, counts.culledInYear, counts.recalved,
                       counts.mated, counts.tested, counts.tests, counts.early};
}

void PreparedCalendar::DayCounts::Cover(Date from, Date to) {
    latest_ = to;
    counts_.assign(static_cast<std::size_t>(std::int64_t{to} - from + 1), 0);
}

namespace {

// The period counts of a lactation in four 16-bit lanes of two words, so that a month adds
// them in two additions: no month's sum passes 16 bits in a herd whose periods are counted
// by month (a lactation's tests at most kPregTestSlots).
struct PackedCounts {
    std::uint64_t low = 0;   // calved, culled early, culled in the year, recalved
    std::uint64_t high = 0;  // mated, tested, tests, early tests

    void Add(const PeriodCounts& counts) {
        low += 1 | std::uint64_t{counts.culledEarly} << 16 | std::uint64_t{counts.culledInYear} << 32 |
               std::uint64_t{counts.recalved} << 48;
        high += std::uint64_t{counts.mated} | std::uint64_t{counts.tested} << 16 |
                std::uint64_t{counts.tests} << 32 | std::uint64_t{counts.early} << 48;
    }
    MonthCounts Unpacked() const {
        const auto lane = [](std::uint64_t word, int at) { return static_cast<std::int32_t>((word >> at) & 0xFFFF); };
        return MonthCounts{lane(low, 0),  lane(low, 16),  lane(low, 32),  lane(low, 48),
                           lane(high, 0), lane(high, 16), lane(high, 32), lane(high, 48)};
    }
};

}  // namespace

bool PreparedCalendar::Take(const PreparedHerd& prepared, std::size_t lactations, Date first, Date last) {
    taken_ = false;
    if (first > last || std::int64_t{last} - first > kMostMonths * kLongestMonth ||
        lactations * kPregTestSlots > 32767) {
        return false;
    }
    monthFirsts_.clear();
    try {
        const Date from = AnalysisPeriodBounds(first, kPeriodCount - 1).start;
        const Date to = AnalysisPeriodBounds(last, 0).end;
        if (from > to) return false;
        const CalendarDate month = DecodeDate(from);
        std::int64_t year = month.year;
        int m = month.month;
        for (;;) {
            const Date firstDay = FirstOfMonth(year, m);
            monthFirsts_.push_back(firstDay);
            if (firstDay > to || monthFirsts_.size() > std::size_t{kMostMonths} + 1) break;
            if (++m > 12) {
                m = 1;
                ++year;
            }
        }
        if (monthFirsts_.front() != from || monthFirsts_.back() != to + 1) return false;
    } catch (const std::exception&) {
        return false;  // a period outside the calendar: the analysis says so itself
    }

    first_ = first;
    last_ = last;
    const std::int64_t oldest = std::int64_t{first} - kHistogramDays;
    calvings_.Cover(first - (kHistogramDays - 1), last - 1);
    futureCalvings_.Cover(first, last + kFutureCalvingDays);
    services_.Cover(first - (kHistogramDays - 1), last - 1);
    conceptions_.Cover(first - kHistogramDays, last + kFutureConceptionDays - 1);
    // Those before the calvings and services covered: on or before oldest.
    std::int32_t calvedBefore = 0;
    std::int32_t servedBefore = 0;
    std::vector<PackedCounts> months(monthFirsts_.size() - 1);

    // Dates beyond oldest..newest are within 16-bit day counts of every date covered only when
    // near enough; those within always are, the days covered among them.
    const std::int64_t newest = std::int64_t{last} + kFutureCalvingDays;
    std::int64_t lowest = std::numeric_limits<std::int64_t>::max();
    std::int64_t highest = std::numeric_limits<std::int64_t>::min();
    const auto span = [&](Date date) {
        if (date >= oldest && date <= newest) return;
        lowest = std::min<std::int64_t>(lowest, date);
        highest = std::max<std::int64_t>(highest, date);
    };
    const Date firstMonth = monthFirsts_.front();
    const Date afterMonths = monthFirsts_.back();
    PreparedHerd::ServicesInOrder counted(prepared);
    for (std::size_t place = 0; place < lactations; ++place) {
        const PreparedLactation& lactation = prepared.At(place);
        const Date calved = lactation.calved;
        if (calved == 0) continue;  // never counted
        if (!calvings_.Add(calved)) {
            span(calved);
            if (calved <= oldest) ++calvedBefore;
        }
        if (!lactation.heifer) futureCalvings_.Add(calved);
        for (const Date served : counted.At(place)) {
            if (services_.Add(served)) continue;
            span(served);
            if (served <= oldest) ++servedBefore;
        }
        if (lactation.conceived && !conceptions_.Add(lactation.conception)) span(lactation.conception);
        if (calved >= firstMonth && calved < afterMonths) {
            auto k = static_cast<std::size_t>((calved - firstMonth) / kLongestMonth);
            while (monthFirsts_[k + 1] <= calved) ++k;
            months[k].Add(lactation.counts);
        }
    }
    // On or before the days kHistogramDays before the dates covered: those before the days
    // covered and the oldest of those.
    const std::size_t oldDays = static_cast<std::size_t>(last - first) + 1;
    calvingsUpTo_.resize(oldDays);
    servicesUpTo_.resize(oldDays);
    calvingsUpTo_[0] = calvedBefore;
    servicesUpTo_[0] = servedBefore;
    for (std::size_t day = 1; day < oldDays; ++day) {
        const Date date = first - kHistogramDays + static_cast<Date>(day);
        calvingsUpTo_[day] = calvingsUpTo_[day - 1] + *calvings_.At(date);
        servicesUpTo_[day] = servicesUpTo_[day - 1] + *services_.At(date);
    }
    months_.resize(months.size());
    for (std::size_t k = 0; k < months.size(); ++k) months_[k] = months[k].Unpacked();
    lowest_ = lowest;
    highest_ = highest;
    taken_ = true;
    return true;
}

bool PreparedCalendar::Serves(Date date) const {
    if (!taken_ || date < first_ || date > last_) return false;
    if (lowest_ > highest_) return true;  // every date near those covered
    return date - lowest_ <= 32767 && highest_ - date <= 32767;
}

}  // namespace ovista
