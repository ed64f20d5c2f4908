#pragma once
// The summary file "TAMSLREP.CSV" (one row of figures per analysed herd) and the conception
// file "CONCEPS.CSV" (the herd's 200 daily conception probabilities). Other programs read
// them, so their bytes are fixed: CR LF line ends, "." decimal points whatever the locale,
// dates "dd/MM/yy". A summary row can also be read back into a HerdReport to print the
// herd's report again without analysing it.
#include <iosfwd>
#include <string>
#include <string_view>
#include <vector>

#include "analysis/herd_report.h"

namespace ovista {

inline constexpr const char* kSummaryFileName = "TAMSLREP.CSV";
inline constexpr const char* kConceptionFileName = "CONCEPS.CSV";

// The header line of the summary file, without its line end. It names 62 columns and one
// technician triple; the six columns after the 62nd have no name.
const std::string& SummaryHeaderText();

// The summary row of a herd, without its line end: 68 columns each followed by ",", then a
// triple per technician entry 0 to 9 with inseminations, then the "UNSPEC" triple of entry
// 10 when it has inseminations (which alone ends the row without a comma).
std::string SummaryRowText(const HerdReport& report);

// The conception line of a herd, without its line end: SHNO, then the 200 values of
// ConceptionByDay with two decimals, each after a comma.
std::string ConceptionLineText(const HerdReport& report);

// Litres with one decimal ("0.0" for 0) and a conception value with two decimals, rounded
// as printf rounds, never localised.
std::string FormatYield(double litres);
std::string FormatConceptionValue(double value);

// Writes text and CR LF and flushes, so that a finished line survives a later failure.
// OvistaError("Could not write " + fileName) when the stream fails.
void WriteCrLfLine(std::ostream& out, std::string_view text, std::string_view fileName);

// Writes the header line to a newly created summary file.
void WriteSummaryHeader(std::ostream& summary);

// Records the herd's lines: ReportDate := today, then the summary row, then the
// conception line. Both lines are composed before anything is written.
void WriteSummaryRow(HerdReport& report, std::ostream& summary, std::ostream& conception);
// The summary row as WriteSummaryRow writes it, CR LF included, ReportDate set as there: for
// analyses whose conception line nobody keeps (the earlier seasons of a herd).
std::string SummaryRowLine(HerdReport& report);

// Fields of a summary row: split at commas outside double quotes, quotes dropped except
// that "" inside quotes is one double quote, each field trimmed of spaces and NULs. The scan
// stops at a NUL character.
std::vector<std::string> SplitSummaryRow(std::string_view line);

// Rebuilds a record from a summary row: texts cut to their maxima, dates read with
// ParseDateText, every other column (the yields too, which come back as whole litres) with
// TextToInt, then up to ten technician triples into entries 0 to 9. What the row does not
// carry stays zero. DateError for a date column that is not a date; RangeError for a count
// that does not fit 16 bits.
HerdReport ReadSummaryRow(std::string_view line);

}  // namespace ovista
