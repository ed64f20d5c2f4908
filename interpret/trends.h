#pragma once
// Page 3 of a report with earlier seasons, "Your herd season by season": the report's season
// and the earlier seasons that could be analysed, their headline figures with aims and page-1
// ratings, and for each figure one plain sentence on how it has moved. A change smaller than
// the method can tell apart from one season to the next (the margins measured on generated
// herds in docs/ACCURACY.md) is "about the same". Values and texts only: report/ lays them out.
#include <string>
#include <vector>

#include "analysis/herd_report.h"
#include "interpret/headline_figures.h"

namespace ovista {


// The smallest change of a figure, in points, that the method tells apart from one season to
// the next at a level of analysis (AnalType 1 to 4): the 90th percentile of the difference
// between measured and true change in docs/ACCURACY.md, rounded up. A level without a measured
// margin takes the figure's largest. Two seasons of different levels take the margin measured
// for such pairs or the larger of their own, whichever is larger.
int TrendMargin(HeadlineField figure, int analType);
int TrendMargin(HeadlineField figure, int analTypeA, int analTypeB);
// The table behind it: column 0 to 3 for AnalType 1 to 4, 4 for seasons of different levels;
// 0 where too few changes were measured.
int MeasuredTrendMargin(HeadlineField figure, int column);

// One season of the page (a column of the table, a point of each chart).
struct TrendSeason {
    std::string label;        // "2022/23" (calving window over two years) or "2023"
    std::string calvedFrom;   // calving window of the season's cows, "dd/mm/yy"
    std::string calvedTo;
    std::string system;       // "Seasonal", "Split", "Year-round"
    std::string level;        // "Detailed", "Intermediate", "Basic"
    std::string cows;         // cows included
    int calvingSystem = 0;    // ActCalvingPattern
    // Analysed under another calving system than the season before it: its points start a
    // new line in every chart.
    bool newLine = false;

    bool operator==(const TrendSeason&) const = default;
};

// One figure of one season.
struct TrendValue {
    bool applies = false;  // a figure of the season's calving system
    int value = 0;         // percent; 0 when not given (the chart leaves a gap)
    std::string text;      // "66%", empty when not given
    int aim = 0;           // the season's aim, percent (0 when the figure does not apply)
    int stars = 0;         // page 1's rating of the value: 1, 3 or 5; 0 when not given

    bool operator==(const TrendValue&) const = default;
};

// How the report's season compares in a figure.
enum class TrendChange { None, Better, Same, Worse };

// One headline figure: a row of the table, a chart and its sentence.
struct TrendRow {
    HeadlineField figure = HeadlineField::ICR6wk;
    std::string name;        // "6-week in-calf rate"
    std::string aimText;     // the report season's aim: "Aim above 71%", "Aim below 13%"
    bool lowerIsBetter = false;
    std::vector<TrendValue> values;  // one per season, oldest first
    std::string sentence;    // "Up 7 points since 2022/23", "About the same as last season"...
    TrendChange change = TrendChange::None;
    // Set when no season gives the figure because none has the records it needs ("Not
    // given: needs mating records"): the row is this text alone, after the rows with values.
    std::string notGiven;

    bool operator==(const TrendRow&) const = default;
};

struct TrendPage {
    std::vector<TrendSeason> seasons;  // oldest first; the report's own season last
    std::vector<TrendRow> rows;        // the report's calving system's figures first
    // With one season: "Earlier seasons could not be analysed from this herd file."
    std::string note;

    bool operator==(const TrendPage&) const = default;
};

// Seasons a page shows at most: the report's own and four earlier ones.
inline constexpr std::size_t kTrendSeasonsMost = 5;

// The page for the report's record and the earlier seasons that could be analysed (latest
// first, as the runs collect them). A season whose calving system is not 1 to 3 is left out,
// and so is any beyond the latest kTrendSeasonsMost - 1.
TrendPage InterpretTrends(const HerdReport& report, const std::vector<HerdReport>& earlierSeasons);

// The season label of a record: the years of its calving window, "2022/23" or "2023".
std::string SeasonLabel(const HerdReport& report);

}  // namespace ovista
