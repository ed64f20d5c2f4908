#pragma once
// What the driver's walk over a prepared herd counts, laid out by date once for the herd: the
// calvings, counted services and conceptions of each day, and the period counts of each
// calendar month. An analysis of that herd as of a date it covers takes its histograms and
// months as slices of these instead of walking the lactations: the earlier seasons of a
// herd differ only in the date they are looked at from.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "herd/textutil.h"

namespace ovista {

class PreparedHerd;
struct PeriodCounts;

// The period counts of the lactations calved in one month (or in one period: their sum).
struct MonthCounts {
    std::int32_t Calved = 0, Culled = 0, Cul365 = 0, ReCalv = 0, Mated = 0, Tested = 0, TotPD = 0, Early = 0;

    MonthCounts& operator+=(const MonthCounts& other) {
        Calved += other.Calved;
        Culled += other.Culled;
        Cul365 += other.Cul365;
        ReCalv += other.ReCalv;
        Mated += other.Mated;
        Tested += other.Tested;
        TotPD += other.TotPD;
        Early += other.Early;
        return *this;
    }
};

// Those of one lactation.
MonthCounts MonthCountsOf(const PeriodCounts& counts);

// The lactations of a prepared herd (PreparedHerd) laid out for analyses dated first..last.
class PreparedCalendar {
public:
    // Counts by day over a span of days, the latest first.
    class DayCounts {
    public:
        void Cover(Date from, Date to);
        // False when the day is not covered.
        bool Add(Date day) {
            const auto place = static_cast<std::uint64_t>(std::int64_t{latest_} - day);
            if (place >= counts_.size()) return false;
            ++counts_[place];
            return true;
        }
        // The count of n days before date at At(date) + n, for dates covered.
        const std::int32_t* At(Date date) const { return counts_.data() + (latest_ - date); }

    private:
        Date latest_ = 0;
        std::vector<std::int32_t> counts_;
    };

    // Lays out the first `lactations` of prepared (a herd list's, in list order). False, and
    // nothing laid out, when those dates' periods leave the calendar or the herd is too
    // large for the periods to be counted by month.
    bool Take(const PreparedHerd& prepared, std::size_t lactations, Date first, Date last);
    bool Taken() const { return taken_; }

    // True when an analysis as of date can take its counts from here: a date covered, and
    // every calving, counted service and conception within 16-bit day counts of it (the walk
    // then neither throws nor shows a message for any).
    bool Serves(Date date) const;

    // The calvings n = 1..kHistogramDays - 1 days before a date covered; those of the next
    // kFutureCalvingDays days (n from -kFutureCalvingDays to 0), heifers' left out; the counted
    // services n = 1..kHistogramDays - 1 days before; the conceptions of n from
    // 1 - kFutureConceptionDays to kHistogramDays.
    const DayCounts& Calvings() const { return calvings_; }
    const DayCounts& CountedFutureCalvings() const { return futureCalvings_; }
    const DayCounts& Services() const { return services_; }
    const DayCounts& Conceptions() const { return conceptions_; }
    // Calvings and counted services on or before day, for the days kHistogramDays before
    // the dates covered.
    std::int32_t CalvingsUpTo(Date day) const { return calvingsUpTo_[UpTo(day)]; }
    std::int32_t ServicesUpTo(Date day) const { return servicesUpTo_[UpTo(day)]; }

    // The first days of the months covered (and the day after the last) and their counts.
    const std::vector<Date>& MonthFirsts() const { return monthFirsts_; }
    const std::vector<MonthCounts>& Months() const { return months_; }

private:
    std::size_t UpTo(Date day) const { return static_cast<std::size_t>(std::int64_t{day} - first_ + kOldest); }
    static constexpr int kOldest = 1461;  // kHistogramDays

    bool taken_ = false;
    Date first_ = 0;
    Date last_ = 0;
    DayCounts calvings_;
    DayCounts futureCalvings_;
    DayCounts services_;
    DayCounts conceptions_;
    std::vector<std::int32_t> calvingsUpTo_;  // by day from first - kHistogramDays
    std::vector<std::int32_t> servicesUpTo_;
    std::vector<Date> monthFirsts_;
    std::vector<MonthCounts> months_;
    // The span of the dates counted beyond first - kHistogramDays..last + kFutureCalvingDays,
    // for Serves.
    std::int64_t lowest_ = 0;
    std::int64_t highest_ = 0;
};

}  // namespace ovista
