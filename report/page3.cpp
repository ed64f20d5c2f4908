#include "report/page3.h"

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "interpret/facts_block.h"
#include "report/page1.h"
#include "report/page_header.h"
#include "report/page_marks_draw.h"

namespace ovista {
namespace {

using namespace trend_layout;

// The fills of page 1's chart bands: the chart of a figure that got better since the season
// it is compared with takes the "Top result" fill, one that got worse the "Below average" one.
constexpr Rgb kBetterFill{219, 231, 214};
constexpr Rgb kWorseFill{241, 217, 197};

constexpr double kRowGap = 0.6;        // between figure rows
constexpr double kSentenceSpace = 1.6; // under each chart
constexpr double kDash = 0.8;          // aim lines: dash and gap, in page percent across
constexpr double kDashGap = 0.5;
constexpr double kPointHalfWidth = 0.45;
constexpr double kPointHalfHeight = 0.32;

// Left edge and width of season column i of a page of n seasons.
double ColumnX(std::size_t i, std::size_t n) { return kColumnsLeft + TrendColumnPitch(n) * static_cast<double>(i); }
double ColumnWidth(std::size_t n) { return TrendColumnPitch(n) - kColumnGap; }

Rgb ChartFill(const ReportCanvas& canvas, TrendChange change) {
    if (change == TrendChange::Better) return kBetterFill;
    if (change == TrendChange::Worse) return kWorseFill;
    return canvas.PanelColour();
}

// Texts of one row of the season block, centred in each column.
void SeasonRow(ReportCanvas& canvas, const char* label, double top, double height, bool dark,
               const std::vector<std::string>& texts, double pointSize, bool bold) {
    canvas.SetFont(7, false);
    canvas.DrawTextRight(label, kLabelRight - 0.5, top + 0.4);
    const std::size_t n = texts.size();
    for (std::size_t i = 0; i < n; ++i) {
        const double x = ColumnX(i, n);
        canvas.DrawBox(true, true, dark ? canvas.HeadingColour() : canvas.PanelColour(), x, top, x + ColumnWidth(n),
                       top + height);
        canvas.SetFont(pointSize, bold);
        canvas.DrawTextCentred(texts[i], "", x + ColumnWidth(n) / 2, top + 0.3);
    }
}

double SeasonBlock(ReportCanvas& canvas, const TrendPage& page) {
    std::vector<std::string> labels, from, to, systems, levels, cows;
    for (const TrendSeason& s : page.seasons) {
        labels.push_back(s.label);
        from.push_back(s.calvedFrom.empty() ? s.calvedFrom : s.calvedFrom + " -");
        to.push_back(s.calvedTo);
        systems.push_back(s.system);
        levels.push_back(s.level);
        cows.push_back(s.cows);
    }
    double top = kTableTop;
    SeasonRow(canvas, "Season", top, 2.0, true, labels, 8, true);
    top += 2.2;
    SeasonRow(canvas, "Cows calved between", top, 2.6, false, from, 7, false);
    canvas.SetFont(7, false);
    for (std::size_t i = 0; i < to.size(); ++i) {
        canvas.DrawTextCentred(to[i], "", ColumnX(i, to.size()) + ColumnWidth(to.size()) / 2, top + 1.3);
    }
    top += 2.8;
    SeasonRow(canvas, "Calving system", top, 2.0, false, systems, 7, false);
    top += 2.2;
    SeasonRow(canvas, "Level of analysis", top, 2.0, false, levels, 7, false);
    top += 2.2;
    SeasonRow(canvas, "Cows included", top, 2.0, false, cows, 7, false);
    return top + 2.0;
}

void LegendLine(ReportCanvas& canvas, double y, const char* text) {
    canvas.SetFont(7, false);
    canvas.DrawTextAt(text, kChartLeft + 4, y);
}

void DashedRule(ReportCanvas& canvas, double x1, double x2, double y) {
    for (double x = x1; x < x2; x += kDash + kDashGap) canvas.DrawRule(false, x, y, std::min(x + kDash, x2), y);
}

void Legend(ReportCanvas& canvas, const TrendPage& page) {
    canvas.SetFont(8, true);
    canvas.DrawTextAt("Reading the charts", kChartLeft, kTableTop);
    double y = kTableTop + 2;
    const double sampleRight = kChartLeft + 3;
    canvas.SetPen(kBlack, canvas.BoxPenWidth() * 2, PenStyle::Solid);
    canvas.DrawRule(false, kChartLeft, y + 0.5, sampleRight, y + 0.5);
    canvas.SetPen(kBlack, canvas.BoxPenWidth(), PenStyle::Solid);
    LegendLine(canvas, y, "Your herd, one point a season");
    y += 1.7;
    DashedRule(canvas, kChartLeft, sampleRight, y + 0.5);
    LegendLine(canvas, y, "The aim");
    y += 1.7;
    canvas.DrawBox(false, true, kBetterFill, kChartLeft, y, sampleRight, y + 1.1);
    LegendLine(canvas, y, "Better than the season compared with");
    y += 1.7;
    canvas.DrawBox(false, true, kWorseFill, kChartLeft, y, sampleRight, y + 1.1);
    LegendLine(canvas, y, "Worse than the season compared with");
    y += 1.7;
    LegendLine(canvas, y, "A smaller change than the method can tell apart");
    canvas.DrawTextAt("is about the same.", kChartLeft + 4, y + 1);
    if (std::any_of(page.seasons.begin(), page.seasons.end(), [](const TrendSeason& s) { return s.newLine; })) {
        y += 2.6;
        canvas.SetPen(kBlack, 1, PenStyle::Dot);
        canvas.DrawRule(false, kChartLeft + 1.5, y - 0.2, kChartLeft + 1.5, y + 1.3);
        canvas.SetPen(kBlack, canvas.BoxPenWidth(), PenStyle::Solid);
        LegendLine(canvas, y, "Calving system changed: a new line");
    }
}

// The whole percent at the edges of a chart: the values and aims with room around them, in
// steps of 10, at least 20 apart.
std::pair<int, int> ChartRange(const TrendRow& row) {
    int low = 100;
    int high = 0;
    for (const TrendValue& v : row.values) {
        for (const int p : {v.value, v.aim}) {
            if (p == 0) continue;
            low = std::min(low, std::clamp(p, 0, 100));
            high = std::max(high, std::clamp(p, 0, 100));
        }
    }
    if (low > high) return {0, 100};
    low = std::max(0, (low - 5) / 10 * 10);
    high = std::min(100, (high + 14) / 10 * 10);
    if (high - low < 20) {
        if (high + 10 <= 100) high += 10;
        if (high - low < 20) low = std::max(0, low - 10);
    }
    return {low, high};
}

void Chart(ReportCanvas& canvas, const TrendPage& page, const TrendRow& row, double top, double bottom) {
    canvas.DrawBox(false, true, ChartFill(canvas, row.change), kChartLeft, top, kRightEdge, bottom);
    const double left = kChartLeft + 3.6;
    const double right = kRightEdge - 0.8;
    const double plotTop = top + 0.7;
    const double plotBottom = bottom - 1.5;
    const auto [low, high] = ChartRange(row);
    const auto yOf = [&, low = low, high = high](int percent) {
        const double p = std::clamp(percent, low, high);
        return plotBottom - (plotBottom - plotTop) * (p - low) / (high - low);
    };
    const std::size_t n = page.seasons.size();
    const double pitch = (right - left) / static_cast<double>(n);
    const auto xOf = [&](std::size_t i) { return left + pitch * (static_cast<double>(i) + 0.5); };

    canvas.SetFont(6, false);
    canvas.DrawTextRight(std::to_string(high) + "%", left - 0.4, yOf(high) - 0.4);
    canvas.DrawTextRight(std::to_string(low) + "%", left - 0.4, yOf(low) - 0.4);
    canvas.SetPen(kBlack, 1, PenStyle::Dot);
    canvas.DrawRule(false, left, yOf(high), right, yOf(high));
    canvas.DrawRule(false, left, yOf(low), right, yOf(low));
    for (std::size_t i = 1; i < n; ++i) {
        if (page.seasons[i].newLine) canvas.DrawRule(false, left + pitch * i, plotTop, left + pitch * i, plotBottom);
    }
    canvas.SetPen(kBlack, canvas.BoxPenWidth(), PenStyle::Solid);
    for (std::size_t i = 0; i < n; ++i) {
        canvas.DrawTextCentred(page.seasons[i].label, "", xOf(i), plotBottom + 0.25);
        if (row.values[i].applies) DashedRule(canvas, xOf(i) - pitch / 2 + 0.2, xOf(i) + pitch / 2 - 0.2, yOf(row.values[i].aim));
    }
    // The herd's line: from season to season of one calving system, broken where a figure is
    // not given.
    canvas.SetPen(kBlack, canvas.BoxPenWidth() * 2, PenStyle::Solid);
    for (std::size_t i = 1; i < n; ++i) {
        const TrendValue& a = row.values[i - 1];
        const TrendValue& b = row.values[i];
        if (a.value == 0 || b.value == 0 || page.seasons[i].newLine) continue;
        canvas.DrawRule(false, xOf(i - 1), yOf(a.value), xOf(i), yOf(b.value));
    }
    canvas.SetPen(kBlack, canvas.BoxPenWidth(), PenStyle::Solid);
    DeviceCanvas& device = canvas.Device();
    device.SetBrush(kBlack);
    for (std::size_t i = 0; i < n; ++i) {
        if (row.values[i].value == 0) continue;
        const double x = xOf(i);
        const double y = yOf(row.values[i].value);
        device.DrawEllipse(canvas.PixelX(x - kPointHalfWidth), canvas.PixelY(y - kPointHalfHeight),
                           canvas.PixelX(x + kPointHalfWidth), canvas.PixelY(y + kPointHalfHeight));
    }
    device.SetBrush(std::nullopt);
}

void FigureRow(ReportCanvas& canvas, const TrendPage& page, const TrendRow& row, double top, double height) {
    const double bottom = top + height - kRowGap;
    canvas.DrawBox(true, true, canvas.HeadingColour(), kLeftMargin, top, kLabelRight, bottom);
    canvas.SetFont(8, true);
    std::vector<std::string> lines;
    canvas.WrapText(row.name, lines, kLabelRight - kLeftMargin - 1);
    double y = top + 0.4;
    for (const std::string& line : lines) {
        canvas.DrawTextAt(line, kLeftMargin + 0.6, y);
        y += 1.2;
    }
    canvas.SetFont(7, false);
    canvas.DrawTextAt(row.aimText, kLeftMargin + 0.6, y + 0.2);

    const double middle = top + (bottom - top) / 2;
    const std::size_t n = row.values.size();
    for (std::size_t i = 0; i < n; ++i) {
        const TrendValue& v = row.values[i];
        if (!v.applies) continue;  // a figure of another calving system: no cell
        const double x = ColumnX(i, n);
        canvas.DrawBox(true, true, canvas.PanelColour(), x, top, x + ColumnWidth(n), bottom);
        canvas.SetFont(9, false);
        canvas.DrawTextCentred(v.text, "", x + ColumnWidth(n) / 2, middle - 1.3);
        canvas.DrawStars(x + ColumnWidth(n) / 2, middle + 0.2, v.stars);
    }
    if (page.seasons.size() < 2) return;
    const double chartBottom = bottom - kSentenceSpace;
    Chart(canvas, page, row, top, chartBottom);
    canvas.SetFont(7.5, false);
    canvas.DrawTextAt(row.sentence, kChartLeft, chartBottom + 0.25);
}

// A figure that no season gives: its name and what it needs, nothing else.
void NotGivenRow(ReportCanvas& canvas, const TrendRow& row, double top) {
    const double bottom = top + kNotGivenRowHeight - kRowGap;
    canvas.DrawBox(true, true, canvas.HeadingColour(), kLeftMargin, top, kLabelRight, bottom);
    canvas.SetFont(8, true);
    canvas.DrawTextAt(row.name, kLeftMargin + 0.6, top + 0.4);
    canvas.SetFont(8, false);
    canvas.DrawTextAt(row.notGiven, kColumnsLeft + 0.6, top + 0.4);
}

}  // namespace

double TrendColumnPitch(std::size_t seasons) {
    return (kColumnsRight + kColumnGap - kColumnsLeft) / static_cast<double>(std::max<std::size_t>(seasons, 4));
}

double TrendRowHeight(std::size_t rows) {
    if (rows == 0) return kRowHeightMost;
    return std::min(kRowHeightMost, (kFiguresBottom - kFiguresTop) / static_cast<double>(rows));
}

double TrendRowHeight(std::size_t rows, std::size_t notGiven) {
    if (notGiven == 0 || notGiven >= rows) return TrendRowHeight(rows);
    const double room = kFiguresBottom - kFiguresTop - kNotGivenRowHeight * static_cast<double>(notGiven);
    return std::min(kRowHeightMost, room / static_cast<double>(rows - notGiven));
}

void DrawTrendPage(ReportCanvas& canvas, const TrendPage& page) {
    canvas.SetPageNo(kTrendPageNo);
    DrawPage1Band(canvas);

    canvas.SetFont(8, false);
    canvas.DrawTextAt("Each season is your herd analysed as it stood on the same day of an earlier year, by the "
                      "rules of this report.",
                      kLeftMargin, 18.3);
    if (page.seasons.empty()) return;
    SeasonBlock(canvas, page);
    if (page.seasons.size() > 1) {
        Legend(canvas, page);
    } else {
        // Beside the one column, on one line.
        canvas.SetFont(9, true);
        canvas.DrawTextAt(page.note, kColumnsLeft + TrendColumnPitch(1) + 2, kFiguresTop + 0.4);
    }
    const auto notGiven = static_cast<std::size_t>(std::count_if(
        page.rows.begin(), page.rows.end(), [](const TrendRow& row) { return !row.notGiven.empty(); }));
    const double height = TrendRowHeight(page.rows.size(), notGiven);
    double top = kFiguresTop;
    for (const TrendRow& row : page.rows) {
        if (!row.notGiven.empty()) {
            NotGivenRow(canvas, row, top);
            top += kNotGivenRowHeight;
            continue;
        }
        FigureRow(canvas, page, row, top, height);
        top += height;
    }
    DrawPageFooter(canvas);
}

}  // namespace ovista
