#pragma once
// The interpretation of one herd's results: for every figure of page 1 its target, its rating
// and the place where each stands, and for page 2 one explanatory note per measure. It reads
// a HerdReport and returns values; it draws nothing.
#include <string>

#include "analysis/herd_report.h"
#include "interpret/page_marks.h"

namespace ovista {

// One note per measure, printed on page 2. A report starts with all of them empty, so a
// note that this herd's calving system does not set is never printed.
struct InterpretationTexts {
    std::string Icr6wkText;
    std::string NicrText;
    std::string SplitNicrText;
    std::string Icr100dText;
    std::string Nicr200dText;
    std::string Sr80dText;
    std::string Sr3wkText;
    std::string NrrText;
    std::string CrText;
    std::string HeiferPatternText;
    std::string HerdPatternText;
    std::string FirstCalverMilkText;
    std::string MatureSrText;
    std::string VwpText;
    std::string AiPracticeText;
    std::string InducedText;
    std::string BullsText;
    std::string HeatIntervalText;

    bool operator==(const InterpretationTexts&) const = default;
};

struct Interpretation {
    PageMarks marks;  // page 1: facts block, header values, figures, targets, ratings
    InterpretationTexts texts;
};

// Seasonal herds (split off) and split herds (split on).
Interpretation InterpretSeasonal(const HerdReport& report, bool split);
Interpretation InterpretYearRound(const HerdReport& report);
// By ActCalvingPattern: 1 seasonal, 2 split, 3 year-round; any other value interprets nothing.
Interpretation InterpretReport(const HerdReport& report);

}  // namespace ovista
