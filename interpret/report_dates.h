#pragma once
// Dates as the report pages show them. Dates of a stored result record count from
// 1 January 0001 as day 1, while the rest of the program counts from 30 December 1899 as
// day 0. A report printed from such a record switches the offset on, and every date of the
// report goes through StoredDateToDate before it is formatted or split into year and month.
// Once on, it stays on: the process ends after that one report.
#include <string>

#include "herd/textutil.h"

namespace ovista {

// Switches the stored-date offset on or off (tests switch it off again).
void SetStoredDateOffset(bool on);

// True while the dates the report is given count from 1 January 0001.
bool StoredDateOffsetOn();

// The date in this program's calendar: date - 693594 while the offset is on (held at the ends
// of the 32-bit range, so a damaged day stays outside the calendar), else date.
Date StoredDateToDate(Date date);

// "dd/mm/yy" of a report date. A date field of 0 means no date and gives empty text, with
// or without the offset; so does a day number outside 01/01/0001..31/12/9999.
std::string DateText(Date date);
// Calendar year (four digits) and month (1 to 12) of a report date; 0 for a date outside
// the calendar.
int DateYear(Date date);
int DateMonth(Date date);

}  // namespace ovista
