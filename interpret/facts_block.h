#pragma once
// The herd's identity and analysis period as page texts: the owner block of page 1 and the
// values in the header's value boxes of both pages. Values only; the header draws the boxes.
#include <string>
#include <utility>
#include <vector>

#include "analysis/herd_report.h"
#include "interpret/page_marks.h"

namespace ovista {

// First and last day of the calving window of a calving system: split MSD - 120 to MSD,
// year-round CalvingStart to CalvingStop, seasonal (and any unknown system) MSD - 130 to
// MSD + 59.
std::pair<Date, Date> CalvingWindow(const HerdReport& report, int system);

// The title's period label: "2005" when the window lies in one year, else "04/05". The
// year-round window stands in whenever MSD is 0.
std::string PeriodLabel(const HerdReport& report);

// "dd/mm/yy and dd/mm/yy" of the calving window of the report's own calving system.
std::string CalvingWindowText(const HerdReport& report);

// The address cut into its lines: cut at commas outside double quotes, quotes dropped,
// each piece trimmed; empty pieces stay (they leave their line blank).
std::vector<std::string> AddressPieces(const std::string& address);

// Owner at (10, 6) in 12 pt and the first five address pieces at y = 8 to 16, each an owner
// line (fitted to the owner panel when drawn).
PageMarks OwnerBlockMarks(const HerdReport& report);

// The texts of the header value boxes of page pageNo (1 or 2), 8 pt at x = 68, in the rows
// of the report's calving system. Calving window, mating dates and planned start of calving
// of seasonal and split herds only when MSD is known.
PageMarks HeaderValueMarks(const HerdReport& report, int pageNo);

}  // namespace ovista
