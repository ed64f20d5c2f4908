#include "analysis/mistyped_years.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <utility>

#include "analysis/trace.h"
#include "herd/errors.h"
#include "herd/services.h"

namespace ovista {
namespace {

std::string DayMonthYear(Date date) {
    const CalendarDate c = DecodeDate(date);
    char text[32];
    std::snprintf(text, sizeof text, "%02d/%02d/%04d", c.day, c.month, c.year);
    return text;
}

// The record's cow identifier: the key's first 11 characters without their filling.
std::string CowOf(const CowRecord& record) {
    std::string cow = record.Key.substr(0, 11);
    while (!cow.empty() && cow.back() == ' ') cow.pop_back();
    return cow;
}

bool Mistyped(Date date, Date analysisDate) {
    return date != 0 &&
           std::llabs(static_cast<long long>(date) - analysisDate) > kMistypedYearDays;
}

// The first mistyped date of the record, or false.
bool FindMistypedDate(const CowRecord& r, Date analysisDate, MistypedLactation& found) {
    const std::pair<const char*, Date> dates[] = {
        {"calving date", r.Calved}, {"dry-off date", r.Dryoff},
        {"culling date", r.Culled}, {"next calving date", r.NextCalve}};
    for (const auto& [field, date] : dates) {
        if (Mistyped(date, analysisDate)) {
            found.field = field;
            found.date = date;
            return true;
        }
    }
    for (const ServiceRecord& service : ServicesInUse(r)) {
        if (Mistyped(service.Date, analysisDate)) {
            found.field = "service date";
            found.date = service.Date;
            return true;
        }
    }
    for (const PregTestRecord& test : TestsInUse(r)) {
        if (Mistyped(test.Date, analysisDate)) {
            found.field = "pregnancy test date";
            found.date = test.Date;
            return true;
        }
    }
    return false;
}

// Whether any date of the record is mistyped, without naming it: the usual answer is no.
bool HoldsMistypedDate(const CowRecord& r, Date analysisDate) {
    // Outside analysisDate +- kMistypedYearDays, as one unsigned comparison; 0 is no date.
    const std::int64_t from = static_cast<std::int64_t>(analysisDate) - kMistypedYearDays;
    const auto outside = [from](Date date) {
        return date != 0 && static_cast<std::uint64_t>(date - from) > 2 * std::uint64_t{kMistypedYearDays};
    };
    // Every date is looked at, without a branch each: the bits are or-ed, not the truths.
    unsigned found = unsigned{outside(r.Calved)} | unsigned{outside(r.Dryoff)} |
                     unsigned{outside(r.Culled)} | unsigned{outside(r.NextCalve)};
    for (const ServiceRecord& service : ServicesInUse(r)) found |= unsigned{outside(service.Date)};
    for (const PregTestRecord& test : TestsInUse(r)) found |= unsigned{outside(test.Date)};
    return found != 0;
}

}  // namespace

Date LactationDateSpan::Add(const CowRecord& r) {
    Date earliest = std::numeric_limits<Date>::max();
    Date latest = std::numeric_limits<Date>::min();
    const auto add = [&earliest, &latest](Date date) {
        if (date == 0) return;
        earliest = std::min(earliest, date);
        latest = std::max(latest, date);
    };
    add(r.Calved);
    add(r.Dryoff);
    add(r.Culled);
    add(r.NextCalve);
    for (const ServiceRecord& service : ServicesInUse(r)) add(service.Date);
    std::int64_t conceived = std::numeric_limits<std::int64_t>::max();
    for (const PregTestRecord& test : TestsInUse(r)) {
        if (test.Date == 0) continue;
        add(test.Date);
        // A conception on day 0 is a date like any other.
        if (test.Weeks > 0) conceived = std::min(conceived, std::int64_t{test.Date} - 7 * std::int64_t{test.Weeks});
    }
    if (earliest <= latest) {  // a date was added
        if (!any_ || earliest < earliest_) earliest_ = earliest;
        if (!any_ || latest > latest_) latest_ = latest;
        any_ = true;
    }
    const Date lowest = std::numeric_limits<Date>::min();
    const Date result =
        r.Calved == 0 ? lowest : static_cast<Date>(std::max<std::int64_t>(std::min<std::int64_t>(conceived, earliest), lowest));
    withConceptions_ = std::min(withConceptions_, result);
    return result;
}

bool LactationDateSpan::HoldsMistyped(Date analysisDate) const {
    return any_ && (Mistyped(earliest_, analysisDate) || Mistyped(latest_, analysisDate));
}

std::vector<MistypedLactation> FindMistypedLactations(const HerdList& herd, Date analysisDate) {
    std::vector<MistypedLactation> mistyped;
    for (int index = 1; index <= herd.Count(); ++index) {
        const CowRecord& record = herd.RecordAt(index);
        if (!HoldsMistypedDate(record, analysisDate)) continue;
        MistypedLactation found;
        if (FindMistypedDate(record, analysisDate, found)) {
            found.index = index;
            mistyped.push_back(std::move(found));
        }
    }
    return mistyped;
}

std::string LeftOutMessage(const CowRecord& lactation, const MistypedLactation& mistyped) {
    return "lactation " + CowOf(lactation) + " calved " + DayMonthYear(lactation.Calved) +
           " left out: " + mistyped.field + " " + DayMonthYear(mistyped.date) +
           " is more than 25 years from the analysis date";
}

void AnalyseLeavingOutMistypedYears(HerdList& herd, Date analysisDate,
                                    const std::string& herdFile,
                                    const std::string& workingFolder,
                                    const std::function<void(HerdList& herd)>& analyse,
                                    UserServices& services) {
    const std::vector<MistypedLactation> mistyped = FindMistypedLactations(herd, analysisDate);
    if (mistyped.empty()) {
        analyse(herd);
        return;
    }
    // The analysis trims and completes the records it walks: the other lactations are kept
    // as loaded in a list of their own, which a second attempt analyses, so the herd is held
    // twice at most; the left-out ones are kept for their messages.
    HerdList kept;
    kept.CopyTechnicians(herd);  // the records keep their technicians' numbers
    kept.Reserve(static_cast<std::size_t>(herd.Count()) - mistyped.size());
    std::vector<FullCowRecord> leftOut;
    leftOut.reserve(mistyped.size());
    std::size_t next = 0;  // into mistyped, in list order as loaded
    for (int index = 1; index <= herd.Count(); ++index) {
        if (next < mistyped.size() && mistyped[next].index == index) {
            leftOut.emplace_back(herd.RecordAt(index));
            ++next;
            continue;
        }
        kept.Assign(kept.FindOrAdd(herd.KeyAt(index)), herd.RecordAt(index));
    }
    try {
        analyse(herd);
        return;
    } catch (const RangeError&) {
    }

    for (std::size_t i = 0; i < mistyped.size(); ++i) {
        services.ShowInfo(herdFile + ": " + LeftOutMessage(leftOut[i], mistyped[i]));
    }
    {
        TraceWriter trace;
        trace.Open(workingFolder);
        trace.Line("Herd analysed again without ", mistyped.size(),
                   mistyped.size() == 1 ? " lactation" : " lactations",
                   " dated more than 25 years from the analysis date");
    }
    analyse(kept);
}

}  // namespace ovista
