#include "report/page3.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "herd/textutil.h"
#include "interpret/trends.h"
#include "report/page_header.h"
#include "report/recording_canvas.h"

namespace ovista {
namespace {

using namespace trend_layout;

HerdReport Seasonal(int year, int icr6wk, int sr3wk) {
    HerdReport r;
    r.Owner = "J Smith";
    r.SHNO = "AB12";
    r.ActCalvingPattern = kSeasonalCalving;
    r.AnalType = kBasisEarlyPregTest;
    r.MSD = MakeDate(20, 12, year);
    r.ICR6wk = static_cast<std::int16_t>(icr6wk);
    r.SR3wk = static_cast<std::int16_t>(sr3wk);
    r.Calv6wk = 80;
    return r;
}

HerdReport YearRound(int year, int icr100d) {
    HerdReport r = Seasonal(year, 0, 0);
    r.ActCalvingPattern = kYearRoundCalving;
    r.MSD = 0;
    r.CalvingStart = MakeDate(1, 6, year);
    r.CalvingStop = MakeDate(31, 5, year + 1);
    r.ICR100d = static_cast<std::int16_t>(icr100d);
    r.SR80d = 60;
    return r;
}

struct Drawn {
    TrendPage page;
    RecordingCanvas device{4961, 7016};
    ReportCanvas canvas;
    explicit Drawn(std::vector<HerdReport> oldestFirst)
        : page(InterpretTrends(oldestFirst.back(),
                               std::vector<HerdReport>(oldestFirst.rbegin() + 1, oldestFirst.rend()))),
          canvas(oldestFirst.back(), device, 600) {
        DrawTrendPage(canvas, page);
    }
    double X(int pixels) const { return pixels / canvas.ScaleX(); }
    double Y(int pixels) const { return pixels / canvas.ScaleY(); }
    // The first text call of exactly this text.
    const DeviceCall* Text(std::string_view text) const {
        for (const DeviceCall& c : device.Calls()) {
            if (c.op == DeviceCall::Op::Text && c.text == text) return &c;
        }
        return nullptr;
    }
};

// Herd-line segments the page should draw: neighbouring seasons of one calving system with
// the figure given in both.
int ExpectedSegments(const TrendPage& page) {
    int segments = 0;
    for (const TrendRow& row : page.rows) {
        for (std::size_t i = 1; i < row.values.size(); ++i) {
            if (row.values[i - 1].value != 0 && row.values[i].value != 0 && !page.seasons[i].newLine) ++segments;
        }
    }
    return segments;
}

// Seasons of calvings only: the figures they cannot give are one short row each, at the
// foot, and the figures with values share the room left.
TEST(TrendPageLayout, FiguresNoSeasonGivesAreShortRowsAtTheFoot) {
    std::vector<HerdReport> seasons = {Seasonal(2023, 60, 0), Seasonal(2024, 64, 0)};
    for (HerdReport& r : seasons) r.AnalType = kBasisRecalving;
    const Drawn d(seasons);
    const auto full = static_cast<std::size_t>(std::count_if(
        d.page.rows.begin(), d.page.rows.end(), [](const TrendRow& row) { return row.notGiven.empty(); }));
    ASSERT_EQ(full, 2u);
    const double height = TrendRowHeight(d.page.rows.size(), d.page.rows.size() - full);
    EXPECT_GT(height, TrendRowHeight(d.page.rows.size()));
    double rowTop = kFiguresTop;
    for (const TrendRow& row : d.page.rows) {
        const DeviceCall* name = d.Text(row.name);
        ASSERT_NE(name, nullptr) << row.name;
        EXPECT_NEAR(d.Y(name->y1), rowTop + 0.4, 0.02) << row.name;
        if (row.notGiven.empty()) {
            EXPECT_NE(d.Text(row.sentence), nullptr) << row.name;
            rowTop += height;
            continue;
        }
        // Two figures may need the same records: the text of this row is the one at its top.
        const std::vector<DeviceCall>& calls = d.device.Calls();
        EXPECT_TRUE(std::any_of(calls.begin(), calls.end(), [&](const DeviceCall& call) {
            return call.op == DeviceCall::Op::Text && call.text == row.notGiven &&
                   std::abs(d.Y(call.y1) - (rowTop + 0.4)) < 0.02;
        })) << row.notGiven << " at " << rowTop;
        EXPECT_EQ(d.Text(row.sentence), nullptr) << "no chart for " << row.name;
        rowTop += kNotGivenRowHeight;
    }
    EXPECT_LE(rowTop, kFiguresBottom + 0.01);
}

TEST(TrendPageLayout, OneThreeAndFiveSeasonsAndAChangeOfCalvingSystem) {
    struct Case {
        const char* name;
        std::vector<HerdReport> seasons;  // oldest first
    };
    const Case cases[] = {
        {"one season", {Seasonal(2024, 66, 80)}},
        {"three seasons, a gap", {Seasonal(2022, 60, 82), Seasonal(2023, 0, 85), Seasonal(2024, 70, 81)}},
        {"five seasons",
         {Seasonal(2020, 55, 70), Seasonal(2021, 58, 75), Seasonal(2022, 60, 82), Seasonal(2023, 64, 85),
          Seasonal(2024, 70, 81)}},
        {"year-round, then seasonal",
         {YearRound(2021, 50), YearRound(2022, 54), Seasonal(2023, 60, 80), Seasonal(2024, 63, 84)}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Drawn d(c.seasons);
        const std::size_t n = c.seasons.size();
        ASSERT_EQ(d.page.seasons.size(), n);

        // The header band under the page's own title, in page 1's colours.
        const DeviceCall* title = d.Text(kTrendPageTitle);
        ASSERT_NE(title, nullptr);
        EXPECT_NEAR(d.X(title->x1), 4, 0.02);
        EXPECT_NEAR(d.Y(title->y1), 2, 0.02);
        EXPECT_NE(d.Text("J Smith"), nullptr);
        EXPECT_NE(d.Text("AB12"), nullptr);

        // One column per season, oldest left, in the space between labels and charts.
        double previous = 0;
        for (const TrendSeason& season : d.page.seasons) {
            const DeviceCall* label = d.Text(season.label);
            ASSERT_NE(label, nullptr) << season.label;
            EXPECT_GT(d.X(label->x1), std::max(previous, kColumnsLeft)) << season.label;
            EXPECT_LT(d.X(label->x2), kColumnsRight) << season.label;
            EXPECT_NEAR(d.Y(label->y1), kTableTop + 0.3, 0.02) << season.label;
            previous = d.X(label->x1);
        }

        // Each figure row: its name, and beside it a chart and its sentence; a single season
        // has the note instead.
        const std::vector<DeviceCall>& calls = d.device.Calls();
        const auto charts = std::count_if(calls.begin(), calls.end(), [&](const DeviceCall& call) {
            return call.op == DeviceCall::Op::Rect && std::abs(d.X(call.x1) - kChartLeft) < 0.02 &&
                   d.Y(call.y1) >= kFiguresTop - 0.02;
        });
        EXPECT_EQ(static_cast<std::size_t>(charts), n > 1 ? d.page.rows.size() : 0);
        EXPECT_EQ(d.Text("Earlier seasons could not be analysed from this herd file.") != nullptr, n == 1);
        double rowTop = kFiguresTop;
        for (const TrendRow& row : d.page.rows) {
            const DeviceCall* name = d.Text(row.name);
            ASSERT_NE(name, nullptr) << row.name;
            EXPECT_NEAR(d.Y(name->y1), rowTop + 0.4, 0.02) << row.name;
            if (n > 1) {
                const DeviceCall* sentence = d.Text(row.sentence);
                ASSERT_NE(sentence, nullptr) << row.sentence;
                EXPECT_NEAR(d.X(sentence->x1), kChartLeft, 0.02) << row.sentence;
                EXPECT_LT(d.Y(sentence->y1), rowTop + TrendRowHeight(d.page.rows.size())) << row.sentence;
            }
            rowTop += TrendRowHeight(d.page.rows.size());
        }

        // The herd's lines: thick, broken at a gap and where the calving system changed,
        // where a dotted rule in each chart marks the new line.
        const int thick = 2 * d.canvas.BoxPenWidth();
        const auto segments = std::count_if(calls.begin(), calls.end(), [&](const DeviceCall& call) {
            return call.op == DeviceCall::Op::Line && call.penWidth == thick && d.X(call.x1) >= kChartLeft + 3;
        });
        EXPECT_EQ(segments, ExpectedSegments(d.page));
        const bool newLine = std::any_of(d.page.seasons.begin(), d.page.seasons.end(),
                                         [](const TrendSeason& s) { return s.newLine; });
        const auto dotted = std::count_if(calls.begin(), calls.end(), [&](const DeviceCall& call) {
            return call.op == DeviceCall::Op::Line && call.penStyle == PenStyle::Dot && call.x1 == call.x2 &&
                   d.Y(call.y1) > kFiguresTop;
        });
        EXPECT_EQ(static_cast<std::size_t>(dotted), newLine ? d.page.rows.size() : 0);
    }
}

}  // namespace
}  // namespace ovista
