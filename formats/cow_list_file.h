#pragma once
// The cow-list file "COWS.CSV": one row per listed lactation and list, for herd-management
// programs that take the cows to act on. Like the summary file its bytes are fixed: the
// herd file's Windows-1252 text passed through, CR LF line ends, dates dd/mm/yyyy.
#include <string>
#include <string_view>

#include "analysis/cow_lists.h"

namespace ovista {

inline constexpr const char* kCowListFileName = "COWS.CSV";

// The header line, without its line end.
inline constexpr std::string_view kCowListHeader = "SHNO,List,CowID,Calved,Age,FirstMating,Matings,InCalfDay";

// A field as the file writes it: bare, or inside double quotes (a quote in it doubled) when
// it holds a comma, a double quote or a line break, which would otherwise break the row.
std::string CowListField(std::string_view text);

// "dd/mm/yyyy"; empty for 0 (no date).
std::string CowListDate(Date date);

// A herd's rows, each ended by CR LF, lists in file order and each list's cows in its order;
// empty when the lists were not made or hold no cow. shno: the herd number as the summary
// row has it. Age and InCalfDay are empty when 0.
std::string CowListRows(std::string_view shno, const CowLists& lists);

}  // namespace ovista
