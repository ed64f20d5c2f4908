#include "app/mistyped_years.h"

#include <cstdio>
#include <cstdlib>
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
    for (const ServiceRecord& service : r.Services) {
        if (Mistyped(service.Date, analysisDate)) {
            found.field = "service date";
            found.date = service.Date;
            return true;
        }
    }
    for (const PregTestRecord& test : r.PregTests) {
        if (Mistyped(test.Date, analysisDate)) {
            found.field = "pregnancy test date";
            found.date = test.Date;
            return true;
        }
    }
    return false;
}

}  // namespace

std::vector<MistypedLactation> FindMistypedLactations(const HerdList& herd, Date analysisDate) {
    std::vector<MistypedLactation> mistyped;
    for (int index = 1; index <= herd.Count(); ++index) {
        MistypedLactation found;
        if (FindMistypedDate(herd.RecordAt(index), analysisDate, found)) {
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
                                    const std::function<void(HerdList& herd)>& analyse) {
    const std::vector<MistypedLactation> mistyped = FindMistypedLactations(herd, analysisDate);
    if (mistyped.empty()) {
        analyse(herd);
        return;
    }
    // The analysis trims and completes the records it walks: keep them as loaded.
    std::vector<std::pair<std::string, CowRecord>> loaded(static_cast<std::size_t>(herd.Count()));
    for (int index = 1; index <= herd.Count(); ++index) {
        auto& [key, record] = loaded[static_cast<std::size_t>(index - 1)];
        key = herd.KeyAt(index);
        herd.GetRecord(index, record);
    }
    try {
        analyse(herd);
        return;
    } catch (const RangeError&) {
    }

    HerdList kept;
    std::size_t next = 0;  // into mistyped, in list order as loaded
    for (std::size_t i = 0; i < loaded.size(); ++i) {
        const auto& [key, record] = loaded[i];
        if (next < mistyped.size() && mistyped[next].index == static_cast<int>(i) + 1) {
            ShowInfo(herdFile + ": " + LeftOutMessage(record, mistyped[next]));
            ++next;
            continue;
        }
        CowRecord added;
        int at = 0;
        kept.FindOrAddRecord(key, added, at);
        kept.PutRecord(at, record);
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
