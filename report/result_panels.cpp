#include "report/result_panels.h"

#include <algorithm>

namespace ovista {
namespace {

struct Band {
    const char* name;
    Rgb label;
    Rgb fill;
};
constexpr Band kBands[] = {
    {"Top result", {178, 209, 174}, {219, 231, 214}},
    {"Average", {235, 204, 157}, {244, 229, 204}},
    {"Below average", {228, 177, 143}, {241, 217, 197}},
};

struct ChartPoint {
    const char* label;
    const char* measure;  // centring width: the words after it run to the right
    double value;
    bool plotted;
    double averageFrom;
    double topFrom;
};

constexpr double kChartLeft = 4 + 14;                  // 18
constexpr double kChartPitch = (96 - 18) * 0.85 / 4;   // 16.575

bool WideLayout(int layout) { return layout == 1 || layout == 6 || layout == 11; }
bool TwoColumnLayout(int layout) { return layout == 2 || layout == 3; }

}  // namespace

double BandPosition(double value, double averageFrom, double topFrom, double bandTop) {
    const double t = topFrom;
    const double a = averageFrom;
    const double d = t - a;
    const double upper = std::min(t + d, 100.0);
    const double lower = std::max(a - d, 0.0);
    const double h = kChartBandHeight;
    if (value > upper) return bandTop;
    if (value > t) return bandTop + h * (upper - value) / (upper - t);
    if (value > a) return bandTop + h + h * (t - value) / d;
    // The bottom band is scaled by the average threshold itself, not by the band's width.
    if (value > lower && a != 0) return bandTop + 2 * h + h * (a - value) / a;
    return bandTop + 3 * h;
}

double ChartPointY(double bandPosition, double bandTop) {
    // A value beyond the upper or lower limit sits on the chart's edge, and its ball would
    // hang half over the section rule: it is drawn just inside. Every other point stays on
    // its band position.
    if (bandPosition == bandTop) return bandTop + kStarHeight / 2;
    const double bottom = bandTop + 3 * kChartBandHeight;
    if (bandPosition == bottom) return bottom - kBallHeight + kStarHeight / 2;
    return bandPosition;
}

void DrawPregnancyChart(ReportCanvas& canvas, int system, double y) {
    const HerdReport& r = canvas.Report();
    const bool yearRound = system == kYearRoundCalving;
    const double y1 = y + 0.5;
    const double bt = y1 + 3;
    canvas.SetFont(8, true);

    std::vector<ChartPoint> points;
    if (yearRound) {
        points = {{"100 days", "", double(r.ICR100d), r.ICR100d > 0, 45, 55},
                  {"150 days", "", double(r.NICR200d), r.NICR200d > 0, 71, 79},
                  {"200 days after calving", "200 days", 100.0 - r.NICR200dLow, r.NICR200dLow < 100, 81, 86}};
    } else {
        points = {{"3 weeks", "", double(r.ICR3wk), r.ICR3wk > 0, 37.5, 44},
                  {"6 weeks", "", double(r.ICR6wk), r.ICR6wk > 0, 60, 69},
                  {"9 weeks", "", double(r.ICR9wk), r.ICR9wk > 0, 72, 79},
                  {"12 weeks of mating", "12 weeks", double(r.ICR12wk), r.ICR12wk > 0, 79, 84}};
    }
    canvas.DrawTextAt(yearRound ? "% of herd in calf by:" : "% of herd in calf after:", 4, y1 + 1.5);
    for (std::size_t c = 0; c < points.size(); ++c) {
        canvas.DrawTextCentred(points[c].label, points[c].measure, kChartLeft + kChartPitch * (c + 1), y1 + 1.5);
    }

    for (int b = 0; b < 3; ++b) {
        const double top = bt + kChartBandHeight * b;
        canvas.DrawBox(false, true, kBands[b].label, 4, top, kChartLeft, top + kChartBandHeight);
        canvas.DrawBox(false, true, kBands[b].fill, kChartLeft, top, 96, top + kChartBandHeight);
    }
    const bool plotted = r.AnalType == kBasisEarlyPregTest;
    if (plotted) {
        canvas.SetPen(kBlack, 1, PenStyle::Dot);
        for (int c = 1; c <= 4; ++c) {
            const double x = kChartLeft + kChartPitch * c;
            canvas.DrawRule(false, x, bt, x, bt + 3 * kChartBandHeight);
        }
    }
    canvas.SetFont(8, true);
    for (int b = 0; b < 3; ++b) canvas.DrawTextCentred(kBands[b].name, "", 11, bt + 0.7 + kChartBandHeight * b);

    if (plotted) {
        for (std::size_t c = 0; c < points.size(); ++c) {
            const ChartPoint& p = points[c];
            if (!p.plotted) continue;
            canvas.DrawBall(kChartLeft + kChartPitch * (c + 1),
                            ChartPointY(BandPosition(p.value, p.averageFrom, p.topFrom, bt), bt));
        }
    } else {
        const double middle = kChartLeft + 2 * kChartPitch;
        canvas.DrawTextCentred("A graph of % herd in calf through the mating period could not be plotted.", "",
                               middle, bt + 3.5);
        canvas.DrawTextCentred("Supply the results of early rectal pregnancy testing.", "", middle, bt + 5.75);
    }
    canvas.SetPen(kBlack, canvas.BoxPenWidth(), PenStyle::Solid);
}

PanelGeometry ResultPanelGeometry(ReportCanvas& canvas, int columns, int column, int layout, double y) {
    PanelGeometry g;
    if (columns < 1 || columns > 3 || column < 1 || column > columns || layout < 1 || layout > 12) return g;
    if (columns == 1) {
        g.x = kLeftMargin;
        g.width = 92;
    } else if (columns == 2) {
        g.width = kTwoColumnWidth;
        g.x = column == 1 ? kLeftMargin : kTwoColumnSecondX;
    } else {
        g.width = kThreeColumnWidth;
        g.x = column == 1 ? kLeftMargin : column == 2 ? kThreeColumnSecondX : kThreeColumnThirdX;
    }
    const double w = g.width;
    canvas.SetFont(8, false);
    const double lw = canvas.TextWidth(layout == 5 ? "No of insem." : "Your herd");
    g.rowTop = y + ((layout == 1 || layout == 11) ? 4.6 : 4.4);

    const double avail = w - lw - 1;
    const double a = 0.37 * w;
    const double b = 0.23 * w;
    double gap = WideLayout(layout) ? (avail - a - b) / 3 : TwoColumnLayout(layout) ? (avail - 2 * b) / 3
                                                                                   : (avail - 3 * b) / 4;
    gap = std::clamp(gap, 0.2, 1.0);
    const double m = WideLayout(layout)        ? (avail - a - b - gap) / 2
                     : TwoColumnLayout(layout) ? (avail - 2 * b - gap) / 2
                                               : (avail - 3 * b - 2 * gap) / 2;
    g.cx = m < 0 ? g.x + 2 * m + lw : g.x + m + lw;
    g.x0 = g.cx + 1;

    const double rowTop = g.rowTop;
    // A cell over rows first..last; `lowered` cells start 0.2 below their row.
    auto cell = [&](double x1, double x2, int first, int last, bool dark, bool lowered = false) {
        g.cells.push_back({x1, rowTop + 2.2 * first + (lowered ? 0.2 : 0), x2, rowTop + 2.2 * last + 2.0, dark});
    };
    auto narrow = [&](int j, int first, int last, bool dark, bool lowered = false) {
        const double x1 = g.x0 + (b + gap) * j;
        cell(x1, x1 + b, first, last, dark, lowered);
    };
    auto label = [&](std::string_view text, int row) { g.labels.push_back({text, g.cx, rowTop + 0.5 + 2.2 * row, true}); };

    switch (layout) {
        case 1: case 8: case 9: case 10: case 11:
            label("Your herd", 0);
            label(layout == 11 ? "Aim below" : "Aim above", 1);
            cell(g.x0, g.x0 + a, 0, 0, true);
            cell(g.x0, g.x0 + a, 1, 1, false);
            cell(g.x0 + a + gap, g.x0 + a + gap + b, 0, 1, true);
            break;
        case 2: case 3: case 4:
            if (layout != 3) label("Calved by", 0);
            label("Your herd", 1);
            label("Aim above", 2);
            for (int j = 0; j < (layout == 4 ? 3 : 2); ++j) {
                narrow(j, layout == 3 ? 1 : 0, 1, true);
                narrow(j, 2, 2, false, true);
                narrow(j, 3, 3, true, true);
            }
            break;
        case 5:
            label("Tech.", 0);
            label("No. of insems", 1);
            label("Conc. rate", 2);
            for (int j = 0; j < 3; ++j) narrow(j, 0, 2, true);
            break;
        case 6:
            g.labels.push_back({"Not-in-calf rate", g.x0, rowTop + 0.5, false});
            label("Your herd", 1);
            label("Expected", 2);
            cell(g.x0, g.x0 + a, 1, 1, true);
            cell(g.x0, g.x0 + a, 2, 2, false, true);
            cell(g.x0 + a + gap, g.x0 + a + gap + b, 1, 2, true);
            break;
        case 7:
            label("Your herd", 1);
            g.labels.push_back({"Aim above", g.x0 + (columns == 2 ? 20 : 13), rowTop + 0.5 + 2.2 * 2, true});
            for (int j = 0; j < 3; ++j) narrow(j, 0, 1, true);
            narrow(2, 2, 2, false, true);
            narrow(2, 3, 3, true, true);
            break;
        case 12:
            label("Calved by", 0);
            label("Your herd", 1);
            for (int j = 0; j < 3; ++j) narrow(j, 0, 1, false);
            break;
        default:
            break;
    }
    return g;
}

void DrawResultPanel(ReportCanvas& canvas, int columns, int column, int layout,
                     std::string_view description, std::string_view title, double y) {
    if (column > columns || columns > 3) return;
    const PanelGeometry g = ResultPanelGeometry(canvas, columns, column, layout, y);
    if (g.width == 0) return;
    if (layout != 12) {
        canvas.DrawTextBox(title, description, canvas.HeadingColour(), g.x, y, g.x + g.width, y + 4, 8, 7);
    }
    canvas.SetFont(8, false);
    for (const PanelLabel& label : g.labels) {
        if (label.rightAligned) {
            canvas.DrawTextRight(label.text, label.x, label.y);
        } else {
            canvas.DrawTextAt(label.text, label.x, label.y);
        }
    }
    for (const PanelCell& c : g.cells) {
        canvas.DrawBox(true, true, c.dark ? canvas.HeadingColour() : canvas.PanelColour(), c.x1, c.y1, c.x2, c.y2);
        canvas.AddPanelCell({c.x1, c.y1, c.x2, c.y2});
    }
}

void DrawGroupBracket(ReportCanvas& canvas, std::string_view name, double x1, double x2,
                      double textY, double lineY, double endY, double pointSize) {
    canvas.SetFont(pointSize, true);
    const double middle = x1 + (x2 - x1) / 2;
    const double half = canvas.TextWidth(name) / 2 + 1;
    canvas.DrawTextCentred(name, "", middle, textY);
    canvas.DrawRule(false, x1, lineY, middle - half, lineY);
    canvas.DrawRule(false, middle + half, lineY, x2, lineY);
    canvas.DrawRule(false, x1, lineY, x1, endY);
    canvas.DrawRule(false, x2, lineY, x2, endY);
}

}  // namespace ovista
