#include "interpret/report_dates.h"

#include <cstdio>

#include "analysis/herd_report.h"

namespace ovista {
namespace {
bool offsetOn = false;

bool InCalendar(Date date) { return date >= kFirstDate && date <= kLastDate; }
}  // namespace

void SetStoredDateOffset(bool on) { offsetOn = on; }

bool StoredDateOffsetOn() { return offsetOn; }

Date StoredDateToDate(Date date) { return offsetOn ? date - kStoredDateOffset : date; }

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
