#include "interpret/trends.h"

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "herd/textutil.h"

namespace ovista {
namespace {

// A seasonal herd's season with mating from 20 December of `year` (its calving window runs
// from August to February: season "year/year+1"), 10 weeks of mating.
HerdReport Seasonal(int year, int analType, int icr6wk, int nicr = 0) {
    HerdReport r;
    r.ActCalvingPattern = r.AnalysisCalvingPattern = kSeasonalCalving;
    r.AnalType = static_cast<std::int16_t>(analType);
    r.MSD = MakeDate(20, 12, year);
    r.EOMating = r.MSD + 69;
    r.CowsAnalysed = 200;
    r.ICR6wk = static_cast<std::int16_t>(icr6wk);
    r.NICR = static_cast<std::int16_t>(nicr);
    return r;
}

HerdReport YearRound(int year, int analType, int icr100d) {
    HerdReport r;
    r.ActCalvingPattern = r.AnalysisCalvingPattern = kYearRoundCalving;
    r.AnalType = static_cast<std::int16_t>(analType);
    r.CalvingStart = MakeDate(1, 6, year);
    r.CalvingStop = MakeDate(31, 5, year + 1);
    r.CowsAnalysed = 150;
    r.ICR100d = static_cast<std::int16_t>(icr100d);
    return r;
}

// The page of seasons given oldest first, as a reader would list them.
TrendPage PageOf(std::vector<HerdReport> oldestFirst) {
    const HerdReport report = oldestFirst.back();
    oldestFirst.pop_back();
    return InterpretTrends(report, std::vector<HerdReport>(oldestFirst.rbegin(), oldestFirst.rend()));
}

const TrendRow& RowOf(const TrendPage& page, HeadlineField figure) {
    for (const TrendRow& row : page.rows) {
        if (row.figure == figure) return row;
    }
    throw std::runtime_error("no such row");
}

TEST(TrendPage, EachFigureSaysHowItMovedAgainstWhatTheMethodCanTellApart) {
    constexpr int kDetailed = kBasisEarlyPregTest;
    constexpr int kBasic = kBasisRecalving;
    struct Case {
        const char* why;
        std::vector<HerdReport> seasons;  // oldest first
        HeadlineField figure;
        std::string sentence;
        TrendChange change;
    };
    const Case cases[] = {
        {"8 points is beyond the Detailed margin of 7",
         {Seasonal(2022, kDetailed, 60), Seasonal(2023, kDetailed, 62), Seasonal(2024, kDetailed, 70)},
         HeadlineField::ICR6wk, "Up 8 points since last season", TrendChange::Better},
        {"6 points, and 6 since the first season, are within it",
         {Seasonal(2022, kDetailed, 60), Seasonal(2023, kDetailed, 64), Seasonal(2024, kDetailed, 66)},
         HeadlineField::ICR6wk, "About the same as last season", TrendChange::Same},
        {"a drift over the seasons is told against the oldest",
         {Seasonal(2022, kDetailed, 58), Seasonal(2023, kDetailed, 63), Seasonal(2024, kDetailed, 66)},
         HeadlineField::ICR6wk, "Up 8 points since 2022/23", TrendChange::Better},
        {"a season without the figure is passed over",
         {Seasonal(2022, kDetailed, 60), Seasonal(2023, kDetailed, 0), Seasonal(2024, kDetailed, 50)},
         HeadlineField::ICR6wk, "Down 10 points since 2022/23", TrendChange::Worse},
        {"no figure this season",
         {Seasonal(2023, kDetailed, 60), Seasonal(2024, kDetailed, 0)},
         HeadlineField::ICR6wk, "Not given this season", TrendChange::None},
        {"a not-in-calf rate going down is better",
         {Seasonal(2023, kDetailed, 60, 15), Seasonal(2024, kDetailed, 60, 9)},
         HeadlineField::NICR, "Down 6 points since last season", TrendChange::Better},
        {"Basic against Detailed takes the larger margin, 13",
         {Seasonal(2023, kBasic, 60), Seasonal(2024, kDetailed, 72)},
         HeadlineField::ICR6wk, "About the same as last season", TrendChange::Same},
        {"a year-round season before a seasonal one starts no comparison",
         {YearRound(2022, kDetailed, 50), Seasonal(2023, kDetailed, 50), Seasonal(2024, kDetailed, 70)},
         HeadlineField::ICR6wk, "Up 20 points since last season", TrendChange::Better},
        {"the figures of the other calving system",
         {YearRound(2022, kDetailed, 50), Seasonal(2023, kDetailed, 50), Seasonal(2024, kDetailed, 70)},
         HeadlineField::ICR100d, "Only in seasons analysed as year-round calving", TrendChange::None},
        {"the first season of a new calving system",
         {Seasonal(2022, kDetailed, 50), YearRound(2023, kDetailed, 55)},
         HeadlineField::ICR100d, "First season analysed as year-round calving", TrendChange::None},
    };
    for (const Case& c : cases) {
        const TrendPage page = PageOf(c.seasons);
        const TrendRow& row = RowOf(page, c.figure);
        EXPECT_EQ(row.sentence, c.sentence) << c.why;
        EXPECT_EQ(row.change, c.change) << c.why;
    }
}

TEST(TrendPage, SeasonsRunOldestFirstWithTheirOwnFiguresAndLines) {
    const TrendPage page = PageOf({YearRound(2021, kBasisMatingRecords, 45), Seasonal(2022, kBasisRecalving, 55),
                                   Seasonal(2023, kBasisEarlyPregTest, 60, 12)});
    ASSERT_EQ(page.seasons.size(), 3u);
    EXPECT_EQ(page.seasons[0], (TrendSeason{"2021/22", "01/06/21", "31/05/22", "Year-round", "Intermediate", "150",
                                            kYearRoundCalving, false}));
    EXPECT_EQ(page.seasons[1], (TrendSeason{"2022/23", "12/08/22", "17/02/23", "Seasonal", "Basic", "200",
                                            kSeasonalCalving, true}));
    EXPECT_FALSE(page.seasons[2].newLine);
    EXPECT_TRUE(page.note.empty());

    // The report's figures first, then the year-round ones; the conception rate is shared.
    // The one year-round season has no pregnancy tests: its not-in-calf rate comes last.
    std::vector<std::string> names;
    for (const TrendRow& row : page.rows) names.push_back(row.name);
    EXPECT_EQ(names, (std::vector<std::string>{"6-week in-calf rate", "Not-in-calf rate", "3-week submission rate",
                                               "Conception rate", "Herd calved by week 6", "100-day in-calf rate",
                                               "80-day submission rate", "200-day not-in-calf rate"}));
    EXPECT_EQ(RowOf(page, HeadlineField::NICR200d).notGiven, "Not given: needs pregnancy-test records");
    const TrendRow& nicr = RowOf(page, HeadlineField::NICR);
    EXPECT_EQ(nicr.aimText, "Aim below 20%");  // 10 weeks of mating
    EXPECT_FALSE(nicr.values[0].applies);
    // The Basic season's not-in-calf rate is not given, as on its page 1.
    EXPECT_EQ(nicr.values[1], (TrendValue{true, 0, "", 20, 0}));
    EXPECT_EQ(nicr.values[2], (TrendValue{true, 12, "12%", 20, 5}));
    EXPECT_EQ(RowOf(page, HeadlineField::ICR100d).values[0], (TrendValue{true, 45, "45%", 58, 3}));
    EXPECT_EQ(RowOf(page, HeadlineField::ICR100d).aimText, "Aim above 58%");
}

// A figure that no season gives for want of its records is one short row saying what it
// needs, after the figures with values; one that some season could give stays a full row.
TEST(TrendPage, FiguresNoSeasonGivesSayWhatTheyNeed) {
    struct Case {
        std::vector<HerdReport> seasons;  // oldest first
        std::map<HeadlineField, std::string> notGiven;  // the rest: none
        std::vector<HeadlineField> order;
    };
    const Case cases[] = {
        {{Seasonal(2022, kBasisRecalving, 50), Seasonal(2023, kBasisRecalving, 55)},
         {{HeadlineField::NICR, "Not given: needs pregnancy-test records"},
          {HeadlineField::SR3wk, "Not given: needs mating records"},
          {HeadlineField::CR, "Not given: needs mating records"}},
         {HeadlineField::ICR6wk, HeadlineField::Calv6wk, HeadlineField::NICR, HeadlineField::SR3wk, HeadlineField::CR}},
        {{Seasonal(2023, kBasisRecalving, 55)},
         {{HeadlineField::NICR, "Not given: needs pregnancy-test records"},
          {HeadlineField::SR3wk, "Not given: needs mating records"},
          {HeadlineField::CR, "Not given: needs mating records"}},
         {HeadlineField::ICR6wk, HeadlineField::Calv6wk, HeadlineField::NICR, HeadlineField::SR3wk, HeadlineField::CR}},
        // A Detailed season could give them all: the empty ones are not the records' fault.
        {{Seasonal(2022, kBasisEarlyPregTest, 50), Seasonal(2023, kBasisRecalving, 55)},
         {},
         {HeadlineField::ICR6wk, HeadlineField::NICR, HeadlineField::SR3wk, HeadlineField::CR, HeadlineField::Calv6wk}},
        {{Seasonal(2022, kBasisPregTest, 50, 12), Seasonal(2023, kBasisPregTest, 55, 10)},
         {{HeadlineField::SR3wk, "Not given: needs mating records"}, {HeadlineField::CR, "Not given: needs mating records"}},
         {HeadlineField::ICR6wk, HeadlineField::NICR, HeadlineField::Calv6wk, HeadlineField::SR3wk, HeadlineField::CR}},
    };
    for (const Case& c : cases) {
        const TrendPage page = PageOf(c.seasons);
        std::vector<HeadlineField> order;
        for (const TrendRow& row : page.rows) {
            order.push_back(row.figure);
            const auto wanted = c.notGiven.find(row.figure);
            EXPECT_EQ(row.notGiven, wanted == c.notGiven.end() ? "" : wanted->second)
                << row.name << " of " << c.seasons.size() << " seasons, the last " << c.seasons.back().AnalType;
        }
        EXPECT_EQ(order, c.order) << c.seasons.front().AnalType;
    }
}

TEST(TrendPage, TheSameSeasonFoundAgainAndSeasonsBeyondFourAreLeftOut) {
    // Analysed a year apart on recalvings, both found the calvings of 2023/24.
    HerdReport again = Seasonal(2023, kBasisRecalving, 50);
    again.MSD += 9;
    std::vector<HerdReport> earlier = {again};
    for (int year = 2022; year >= 2017; --year) earlier.push_back(Seasonal(year, kBasisRecalving, 50));
    const TrendPage page = InterpretTrends(Seasonal(2023, kBasisRecalving, 52), earlier);
    std::vector<std::string> labels;
    for (const TrendSeason& season : page.seasons) labels.push_back(season.label);
    EXPECT_EQ(labels, (std::vector<std::string>{"2019/20", "2020/21", "2021/22", "2022/23", "2023/24"}));
}

// The margins are those measured in docs/ACCURACY.md ("Margins of the trend page").
TEST(TrendPage, MarginsAreTheTableOfTheAccuracyPage) {
    std::ifstream in(std::string(OVISTA_SOURCE_DIR) + "/docs/ACCURACY.md");
    std::string line;
    while (std::getline(in, line) && line != "### Margins of the trend page") {
    }
    const std::map<std::string, HeadlineField> figures = {
        {"6-week in-calf rate", HeadlineField::ICR6wk},     {"Not-in-calf rate", HeadlineField::NICR},
        {"3-week submission rate", HeadlineField::SR3wk},   {"Conception rate", HeadlineField::CR},
        {"Herd calved by week 6", HeadlineField::Calv6wk},  {"100-day in-calf rate", HeadlineField::ICR100d},
        {"200-day not-in-calf rate", HeadlineField::NICR200d}, {"80-day submission rate", HeadlineField::SR80d}};
    int rows = 0;
    while (std::getline(in, line) && line.rfind("## ", 0) != 0) {
        std::vector<std::string> cells;
        std::istringstream split(line);
        for (std::string cell; std::getline(split, cell, '|');) cells.push_back(TrimBlanks(cell));
        if (cells.size() != 7 || !figures.contains(cells[1])) continue;
        ++rows;
        for (int column = 0; column < 5; ++column) {
            const std::string& cell = cells[static_cast<std::size_t>(column + 2)];
            EXPECT_EQ(MeasuredTrendMargin(figures.at(cells[1]), column), cell == "–" ? 0 : std::stoi(cell))
                << cells[1] << " column " << column;
        }
    }
    EXPECT_EQ(rows, 8);
    // Fall-backs: an unmeasured level takes the figure's largest margin.
    EXPECT_EQ(TrendMargin(HeadlineField::ICR6wk, kBasisPregTest), 13);
    EXPECT_EQ(TrendMargin(HeadlineField::ICR100d, kBasisEarlyPregTest, kBasisMatingRecords), 12);
}

}  // namespace
}  // namespace ovista
