#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <tuple>

#include "herd/textutil.h"
#include "interpret/interpretation.h"
#include "interpret/trends.h"
#include "report/page1.h"
#include "report/page3.h"
#include "report/recording_canvas.h"
#include "report/report_pages.h"
#include "report/result_panels.h"

namespace ovista {
namespace {

HerdReport SeasonalHerd() {
    HerdReport r;
    r.Owner = "J Smith";
    r.Address = "12 Long Road,Hillside,,Northtown";
    r.SHNO = "AB12";
    r.ActCalvingPattern = kSeasonalCalving;
    r.AnalType = kBasisEarlyPregTest;
    r.MSD = MakeDate(1, 6, 2005);
    r.EOMating = MakeDate(15, 8, 2005);
    r.ReportDate = MakeDate(1, 3, 2006);
    r.CowsAnalysed = 210;
    r.ICR3wk = 40;
    r.ICR6wk = 69;
    r.ICR9wk = 90;
    r.ICR12wk = 82;
    return r;
}

struct Drawn {
    RecordingCanvas device;
    ReportCanvas canvas;
    Drawn(const HerdReport& r, int width, int height, int pageNo = 1)
        : device(width, height), canvas(r, device, width * 600 / 4961) {
        DrawReportPage(canvas, pageNo, InterpretReport(r));
    }
    // Page-percent top-left of the first text equal to `text`; (-1, -1) when absent.
    std::pair<double, double> At(std::string_view text) const {
        for (const DeviceCall& c : device.Texts()) {
            if (c.text == text) return {c.x1 / canvas.ScaleX(), c.y1 / canvas.ScaleY()};
        }
        return {-1, -1};
    }
};

TEST(PageLayout, TheSamePageLandsAtTheSamePlacesOnEveryPageSize) {
    for (int system : {1, 2, 3}) {
        HerdReport r = SeasonalHerd();
        r.ActCalvingPattern = static_cast<std::int16_t>(system);
        const Drawn pdf(r, 4961, 7016);
        const Drawn printer(r, 2480, 3508);  // 300 dpi
        const Drawn preview(r, 1240, 1754);  // 150 dpi
        const auto& big = pdf.device.Calls();
        for (const Drawn* other : {&printer, &preview}) {
            const auto& calls = other->device.Calls();
            ASSERT_EQ(calls.size(), big.size()) << system;
            for (std::size_t i = 0; i < big.size(); ++i) {
                const double dx = big[i].x1 / pdf.canvas.ScaleX() - calls[i].x1 / other->canvas.ScaleX();
                const double dy = big[i].y1 / pdf.canvas.ScaleY() - calls[i].y1 / other->canvas.ScaleY();
                EXPECT_LT(std::abs(dx), 0.4) << system << " call " << i << " " << big[i].text;
                EXPECT_LT(std::abs(dy), 0.3) << system << " call " << i << " " << big[i].text;
            }
        }
    }
}

TEST(PageLayout, ChartPointsSitInTheirBands) {
    const double bt = 10;
    EXPECT_DOUBLE_EQ(BandPosition(69, 60, 69, bt), bt + 2.5);  // boundary of top and average
    EXPECT_DOUBLE_EQ(BandPosition(90, 60, 69, bt), bt);        // above upper = 78
    EXPECT_DOUBLE_EQ(BandPosition(78, 60, 69, bt), bt);
    EXPECT_DOUBLE_EQ(BandPosition(60, 60, 69, bt), bt + 5);
    EXPECT_DOUBLE_EQ(BandPosition(51, 60, 69, bt), bt + 7.5);   // at lower = 51
    EXPECT_DOUBLE_EQ(BandPosition(54, 60, 69, bt), bt + 5.25);  // scaled by 60, not by 9

    // Early pregnancy testing plots balls; other bases print the two "could not" lines.
    HerdReport r = SeasonalHerd();
    const Drawn detailed(r, 4961, 7016);
    int balls = 0;
    for (const DeviceCall& c : detailed.device.Calls()) balls += c.op == DeviceCall::Op::Image && c.image == ReportImage::Ball;
    EXPECT_EQ(balls, 4);
    EXPECT_EQ(detailed.At("Supply the results of early rectal pregnancy testing.").first, -1);
    r.AnalType = kBasisPregTest;
    const Drawn intermediate(r, 4961, 7016);
    for (const DeviceCall& c : intermediate.device.Calls()) {
        EXPECT_FALSE(c.op == DeviceCall::Op::Image && c.image == ReportImage::Ball);
        EXPECT_NE(c.penStyle, PenStyle::Dot);
    }
    EXPECT_NEAR(intermediate.At("Supply the results of early rectal pregnancy testing.").second, 30.5 + 3.5 + 5.75, 0.05);
}

TEST(PageLayout, ChartPointsStayInsideTheChart) {
    const double bt = 10, half = kStarHeight / 2;  // the ball's top is half a star above its point
    const double low = bt + 7.5 - kBallHeight + half;  // its bottom on the chart's bottom
    const struct {
        const char* why;
        double position, drawnAt;
    } rows[] = {
        {"on the top edge (above the top band): moved down", bt, bt + half},
        {"just under the top edge: stays", bt + 0.2, bt + 0.2},
        {"its picture's top on the chart's top: stays", bt + half, bt + half},
        {"inside: stays", bt + 3.7, bt + 3.7},
        {"its picture's bottom on the chart's bottom: stays", low, low},
        {"on the bottom edge (at or below the bottom band): moved up", bt + 7.5, low},
    };
    for (const auto& row : rows) EXPECT_DOUBLE_EQ(ChartPointY(row.position, bt), row.drawnAt) << row.why;

    // On the page: above the upper limit, on a band boundary, at an upper limit of 100 and
    // below the lower limit. Each ball lies on the chart; the one on the boundary where it was.
    HerdReport r = SeasonalHerd();
    r.ICR3wk = 90;
    r.ICR6wk = 69;
    r.ICR9wk = 100;
    r.ICR12wk = 10;
    const Drawn page(r, 4961, 7016);
    const double top = 30.5 + 0.5 + 3;
    std::vector<DeviceCall> balls;
    for (const DeviceCall& c : page.device.Calls()) {
        if (c.op == DeviceCall::Op::Image && c.image == ReportImage::Ball) balls.push_back(c);
    }
    ASSERT_EQ(balls.size(), 4u);
    for (const DeviceCall& ball : balls) {
        EXPECT_GE(ball.y1, page.canvas.PixelY(top));
        EXPECT_LE(ball.y2, page.canvas.PixelY(top + 7.5));
    }
    EXPECT_EQ(balls[1].y1, page.canvas.PixelY(top + 2.5 - half));
}

// The rounded cell that holds the page point (x, y); nullptr when none does.
const DeviceCall* CellAround(const Drawn& page, double x, double y) {
    const int px = page.canvas.PixelX(x), py = page.canvas.PixelY(y);
    for (const DeviceCall& c : page.device.Calls()) {
        if (c.op == DeviceCall::Op::RoundRect && c.x1 <= px && px <= c.x2 && c.y1 <= py && py <= c.y2) return &c;
    }
    return nullptr;
}

TEST(PageLayout, RatingsAndTechnicianTextsKeepInsideTheirCells) {
    HerdReport r = SeasonalHerd();
    r.Calv3wk2yo = r.Calv6wk2yo = 99;  // five stars nearly everywhere
    r.Calv3wk = r.Calv6wk = r.Calv9wk = 100;
    r.SR3wk = r.NRR = r.SR80dMature = 95;
    // The second technician is "Similar to" the first, whose whole 12-character name follows.
    r.Technicians[0] = {"ABCDEFGHIJKL", 100, 50};
    r.Technicians[1] = {"MNOPQRSTUVWX", 100, 52};
    r.Technicians[2] = {"T3", 60, 10};
    for (int system : {1, 2, 3}) {
        r.ActCalvingPattern = static_cast<std::int16_t>(system);
        const Drawn page(r, 4961, 7016);
        const double sx = page.canvas.ScaleX(), inset = kCellInset - 1 / sx;  // a pixel of rounding
        int stars = 0;
        for (const DeviceCall& c : page.device.Calls()) {
            if (c.op != DeviceCall::Op::Image || c.image != ReportImage::Star || c.y1 > page.canvas.PixelY(84)) continue;
            const DeviceCall* cell = CellAround(page, c.x1 / sx, c.y1 / page.canvas.ScaleY() + 0.1);
            ASSERT_NE(cell, nullptr) << system << " star at " << c.x1;
            EXPECT_GE(std::min(c.x1 - cell->x1, cell->x2 - c.x2) / sx, inset) << system << " star at " << c.x1;
            ++stars;
        }
        EXPECT_GE(stars, 5) << system;
        // A row that kept its distance stays on its anchor: the 6-week rate's stars at 17 + 21.5.
        const auto& calls = page.device.Calls();
        const auto first = std::find_if(calls.begin(), calls.end(), [&](const DeviceCall& c) {
            return c.op == DeviceCall::Op::Image && c.y1 == page.canvas.PixelY(27.2);
        });
        EXPECT_TRUE(system != 1 || (first != calls.end() && first->x1 == page.canvas.PixelX(38.5 - 2.9)));
        // The 12-character name needs the smallest size in a third-width column, not in a half.
        const double nameSize = system == 3 ? 6 : 5;
        for (const auto& [text, size] : {std::pair{"MNOPQRST", 7.0}, {"Similar to", 6.0}, {"ABCDEFGHIJKL", nameSize}, {"T3", 7.0}}) {
            const auto [x, y] = page.At(text);
            const DeviceCall* cell = CellAround(page, x, y);
            ASSERT_TRUE(x > 40 && cell != nullptr) << text;
            for (const DeviceCall& t : page.device.Texts()) {
                if (t.text != text) continue;
                EXPECT_DOUBLE_EQ(t.pointSize, size) << text;
                EXPECT_GE((cell->x2 - t.x2) / sx, inset) << text;
            }
        }
    }
}

bool Overlap(const PanelCell& a, const PanelCell& b) {
    return a.x1 < b.x2 - 1e-9 && b.x1 < a.x2 - 1e-9 && a.y1 < b.y2 - 1e-9 && b.y1 < a.y2 - 1e-9;
}

TEST(PageLayout, PanelCellsStayInsideThePanelAndApart) {
    RecordingCanvas device(4961, 7016);
    HerdReport r;
    ReportCanvas canvas(r, device, 600);
    for (int columns = 1; columns <= 3; ++columns) {
        for (int layout = 1; layout <= 12; ++layout) {
            const PanelGeometry g = ResultPanelGeometry(canvas, columns, columns, layout, 40);
            ASSERT_FALSE(g.cells.empty()) << layout;
            for (std::size_t i = 0; i < g.cells.size(); ++i) {
                const PanelCell& c = g.cells[i];
                EXPECT_GE(c.x1, g.x) << layout;
                EXPECT_LE(c.x2, g.x + g.width + 1e-9) << "layout " << layout << " of " << columns;
                EXPECT_GE(c.y1, 44.4) << layout;
                EXPECT_LT(c.y1, c.y2) << layout;
                for (std::size_t j = 0; j < i; ++j) EXPECT_FALSE(Overlap(c, g.cells[j])) << layout;
            }
            canvas.SetFont(8, false);
            for (const PanelLabel& label : g.labels) {
                const double right = label.rightAligned ? label.x : label.x + canvas.TextWidth(label.text);
                const double left = right - canvas.TextWidth(label.text);
                // "No. of insems" is wider than the "No of insem." the layout measures: it may
                // reach into the gap beside the panel, never further.
                EXPECT_GE(left, g.x - kThreeColumnGap) << layout << " " << label.text;
                const PanelCell box{left, label.y, right, label.y + 1.2, false};
                for (const PanelCell& c : g.cells) EXPECT_FALSE(Overlap(box, c)) << layout << " " << label.text;
            }
        }
    }
    EXPECT_TRUE(ResultPanelGeometry(canvas, 2, 3, 1, 40).cells.empty());
    DrawResultPanel(canvas, 2, 3, 1, "description", "title", 40);
    DrawResultPanel(canvas, 4, 1, 1, "description", "title", 40);
    EXPECT_TRUE(device.Calls().empty());
}

TEST(PageLayout, HeaderAndSectionsOfTheCalvingSystems) {
    HerdReport r = SeasonalHerd();
    const Drawn seasonal(r, 4961, 7016);
    EXPECT_NEAR(seasonal.At("Ovista 2005: ").first, 4, 0.01);
    EXPECT_NEAR(seasonal.At("Ovista 2005: ").second, 2, 0.01);
    EXPECT_NEAR(seasonal.At("Seasonal").second, 2.1, 0.01);
    // Address pieces 1, 2 and 4: the empty third piece leaves its line blank.
    EXPECT_NEAR(seasonal.At("12 Long Road").second, 8, 0.01);
    EXPECT_NEAR(seasonal.At("Hillside").second, 10, 0.01);
    EXPECT_NEAR(seasonal.At("Northtown").second, 14, 0.01);
    EXPECT_NE(seasonal.At("Induced cows").first, -1);
    EXPECT_NEAR(seasonal.At("Rating").second, 85.5, 0.5);
    // The logo block: the product logo (wider than its block here) stays inside 85.5..96.
    for (const DeviceCall& c : seasonal.device.Calls()) {
        if (c.op != DeviceCall::Op::Image || c.image != ReportImage::ProductLogo) continue;
        EXPECT_NEAR(c.x1 / seasonal.canvas.ScaleX(), 85.5, 0.02);
        EXPECT_NEAR(c.x2 / seasonal.canvas.ScaleX(), 96, 0.02);
        EXPECT_NEAR(c.y1 / seasonal.canvas.ScaleY(), 2, 0.02);
    }
    EXPECT_NEAR(seasonal.At("Mating start & stop date:").second, 12.4, 0.01);
    EXPECT_NEAR(seasonal.At("Planned start of calving:").second, 15.4, 0.01);
    EXPECT_EQ(WeeksOfMating(r.MSD, r.EOMating), 11);
    EXPECT_EQ(WeeksOfMating(r.MSD, 0), 21);

    r.ActCalvingPattern = kSplitCalving;
    r.MSD = MakeDate(15, 3, 2005);
    const Drawn split(r, 4961, 7016);
    EXPECT_NE(split.At("Ovista 04/05: ").first, -1);
    EXPECT_NE(split.At("% of cows not pregnant after two mating periods").first, -1);
    const Drawn split2(r, 4961, 7016, 2);
    EXPECT_NE(split2.At("Report period: Cows calved between 15/11/04 and 15/03/05. ").first, -1);

    r.ActCalvingPattern = kYearRoundCalving;
    r.CalvingStart = MakeDate(1, 7, 2004);
    r.CalvingStop = MakeDate(30, 6, 2005);
    Drawn yearRound(r, 4961, 7016);
    EXPECT_NE(yearRound.At("Ovista 04/05: ").first, -1);
    EXPECT_EQ(yearRound.At("Induced cows").first, -1);
    EXPECT_GT(yearRound.At("Rating").first, 20);
    EXPECT_LT(yearRound.At("Rating").first, 24.4);
    EXPECT_NEAR(yearRound.At("Herd ID:").second, 7.9, 0.01);
}

TEST(PageLayout, LongOwnerLinesShrinkInsideTheOwnerPanelOnTheirBaseline) {
    HerdReport r = SeasonalHerd();
    r.Address = "Corner of Main South Road and Old West Coast Road, RD 12, Springfield Junction";
    RecordingCanvas first(4961, 7016);
    RecordingCanvas trend(4961, 7016);
    ReportCanvas canvas(r, first, 600);
    canvas.SetPageNo(1);
    DrawReportPage(canvas, 1, InterpretReport(r));
    canvas.SetDevice(trend);
    DrawTrendPage(canvas, InterpretTrends(r, {}));
    // Recording metrics: the ascent is the font's pixel height, 100 at 12 pt and 79 at 9.5 pt.
    for (const RecordingCanvas* page : {&first, &trend}) {
        std::map<std::string, DeviceCall> texts;
        for (const DeviceCall& c : page->Texts()) texts.emplace(c.text, c);
        const DeviceCall& owner = texts.at("J Smith");
        const DeviceCall& road = texts.at("RD 12");
        const DeviceCall& corner = texts.at("Corner of Main South Road and Old West Coast Road");
        EXPECT_EQ(std::tie(owner.x1, owner.y1, owner.pointSize), std::tuple(canvas.PixelX(10), canvas.PixelY(6), 12.0));
        EXPECT_EQ(std::tie(road.x1, road.y1, road.pointSize), std::tuple(canvas.PixelX(10), canvas.PixelY(10), 12.0));
        EXPECT_EQ(std::tie(corner.x1, corner.y1, corner.pointSize),
                  std::tuple(canvas.PixelX(10), canvas.PixelY(8) + 100 - 79, 9.5));
        EXPECT_LE(corner.x2, canvas.PixelX(kOwnerPanelRight - kCellInset));
    }
}

}  // namespace
}  // namespace ovista
