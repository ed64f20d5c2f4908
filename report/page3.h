#pragma once
// Page 3 of a report with earlier seasons, "Your herd season by season": page 1's header band
// under its own title, a table with one column per season (oldest left, the report's season
// right) and one row per headline figure, beside each row a small line chart of the figure
// with its aim dashed, and under each chart the interpretation's sentence. A herd without an
// earlier season gets the table's one column and the interpretation's note instead of charts.
#include "interpret/trends.h"
#include "report/report_canvas.h"

namespace ovista {

// Places of the page, in page percent.
namespace trend_layout {
inline constexpr double kTableTop = 20.5;
inline constexpr double kLabelRight = 27;      // row labels from the left margin to here
inline constexpr double kColumnsLeft = 28;     // first season column
inline constexpr double kColumnsRight = 64.6;  // five columns fill the space to here
inline constexpr double kColumnGap = 0.4;
inline constexpr double kChartLeft = 66.5;     // charts and sentences to the right edge
inline constexpr double kFiguresTop = 33.3;    // first figure row
inline constexpr double kFiguresBottom = 94.2; // above the footer
inline constexpr double kRowHeightMost = 12.2;
inline constexpr double kNotGivenRowHeight = 2.6;  // a figure no season gives: one short row
}  // namespace trend_layout

// Height of one figure row for a page of `rows` figure rows: they share the space above the
// footer, at most kRowHeightMost each.
double TrendRowHeight(std::size_t rows);
// The same when `notGiven` of those rows are short ones of kNotGivenRowHeight: the others
// share what is left.
double TrendRowHeight(std::size_t rows, std::size_t notGiven);
// Distance from one season column to the next for a page of `seasons` seasons: five fill the
// space, fewer keep the width of four.
double TrendColumnPitch(std::size_t seasons);

// Draws the page onto the canvas's current device page (its record gives the header).
void DrawTrendPage(ReportCanvas& canvas, const TrendPage& page);

}  // namespace ovista
