#pragma once
// Day numbers and date texts for the generator: day 0 is 30/12/1899, as in the herd files.
#include <cstdint>
#include <string>
#include <string_view>

namespace ovista::herdgen {

using Day = std::int32_t;

struct Ymd {
    int year;
    int month;
    int day;
};

// Day number of a calendar date (proleptic Gregorian).
Day DayNumber(int year, int month, int day);
// Calendar date of a day number.
Ymd SplitDay(Day day);
// Last day of the month that holds day.
Day EndOfMonth(Day day);
// Last day of the month that lies months before the month of day (months >= 0).
Day EndOfMonthBefore(Day day, int months);
// "dd/mm/yyyy" (with "/" or "-" or ".") or "d/m/yyyy"; 0 when the text is not such a date.
Day ParseDate(std::string_view text);

// How a herd file writes its dates.
enum class DateStyle { Slash4, Dash2, Dot2 };

// dd/mm/yyyy, dd-mm-yy or dd.mm.yy.
std::string FormatDate(Day day, DateStyle style = DateStyle::Slash4);

}  // namespace ovista::herdgen
