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

    bool operator==(const Interpretation&) const = default;
};

// Seasonal herds (split off) and split herds (split on).
Interpretation InterpretSeasonal(const HerdReport& report, bool split);
Interpretation InterpretYearRound(const HerdReport& report);
// By ActCalvingPattern: 1 seasonal, 2 split, 3 year-round; any other value interprets nothing.
Interpretation InterpretReport(const HerdReport& report);

// Weeks of mating: (EOMating - MSD) div 7 + 1 when mating ended after it started, else 21.
int MatingWeeks(const HerdReport& report);

// The not-in-calf rate to expect after `weeks` of mating from a 6-week in-calf rate.
int ExpectedNicr(int icr6wk, int weeks);
// Not-in-calf aim (printed), and the top and average limits of its rating (lower is better).
int NicrTarget(int weeks);
double NicrTop(int weeks);
int NicrAverage(int weeks);

// A technician's conception rate, Pregs x 100 / Insems; 0 without inseminations.
double TechnicianRate(const TechnicianEntry& entry);

// How a shown technician's conception rate compares with a reference technician's: its rate
// ("62%") when it differs by enough for the smaller of the two insemination counts, else
// "Similar to" with the reference's identifier as name; both empty under 50 inseminations.
struct TechnicianComparison {
    std::string text;
    std::string name;
};
TechnicianComparison CompareTechnicians(const TechnicianEntry& reference, const TechnicianEntry& shown);

}  // namespace ovista
