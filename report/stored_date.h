#pragma once
// Dates of a stored result record count from 1 January 0001 as day 1, while the rest of the
// program counts from 30 December 1899 as day 0. A report printed from such a record
// switches the offset on, and the report pages take every date through StoredDateToDate
// before they format it or split it into year and month. Once on, it stays on: the process
// ends after that one report.
#include "herd/textutil.h"

namespace ovista {

// Switches the stored-date offset on or off (tests switch it off again).
void SetStoredDateOffset(bool on);

// True while the dates the report is given count from 1 January 0001.
bool StoredDateOffsetOn();

// The date in this program's calendar: date - 693594 while the offset is on, else date.
Date StoredDateToDate(Date date);

}  // namespace ovista
