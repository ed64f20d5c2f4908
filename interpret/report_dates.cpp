#include "interpret/report_dates.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <limits>

#include "analysis/herd_report.h"

namespace ovista {
namespace {
bool offsetOn = false;

bool InCalendar(Date date) { return date >= kFirstDate && date <= kLastDate; }
}  // namespace

void SetStoredDateOffset(bool on) { offsetOn = on; }

bool StoredDateOffsetOn() { return offsetOn; }

// A damaged record may hold any 32-bit day; the shift is taken in 64 bits and held at the
// ends of the range, where it lies outside the calendar and prints as no date.
Date StoredDateToDate(Date date) {
    if (!offsetOn) return date;
    const std::int64_t shifted = std::int64_t{date} - kStoredDateOffset;
    return static_cast<Date>(
        std::clamp<std::int64_t>(shifted, std::numeric_limits<Date>::min(), std::numeric_limits<Date>::max()));
}

std::string DateText(Date date) {
    if (date == 0) return {};
    const Date day = StoredDateToDate(date);
    if (!InCalendar(day)) return {};
    const CalendarDate c = DecodeDate(day);
    char text[16];
    std::snprintf(text, sizeof text, "%02d/%02d/%02d", c.day, c.month, c.year % 100);
    return text;
}

int DateYear(Date date) {
    const Date day = StoredDateToDate(date);
    return InCalendar(day) ? DecodeDate(day).year : 0;
}

int DateMonth(Date date) {
    const Date day = StoredDateToDate(date);
    return InCalendar(day) ? DecodeDate(day).month : 0;
}

}  // namespace ovista
