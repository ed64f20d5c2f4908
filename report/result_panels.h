#pragma once
// The in-calf chart and the result panels of page 1, and the group bracket over panels.
#include <string_view>

#include "report/report_canvas.h"

namespace ovista {

// Top of the chart's bands below the chart's top y.
inline constexpr double kChartBandOffset = 3.5;
inline constexpr double kChartBandHeight = 2.5;

// Page y of a chart point whose bands start at bandTop: the top band holds values from
// topFrom up to topFrom + (topFrom - averageFrom), the middle band averageFrom to topFrom,
// the bottom band down to averageFrom - (topFrom - averageFrom); values beyond stay on the
// chart's edges.
double BandPosition(double value, double averageFrom, double topFrom, double bandTop);

// Page y at which the chart point at bandPosition is drawn: the position itself, or, for a
// point on the top or bottom edge of the bands starting at bandTop, the nearest position
// that keeps the ball's picture wholly on them.
double ChartPointY(double bandPosition, double bandTop);

// The in-calf chart with its top at y, for calving system `system`.
void DrawPregnancyChart(ReportCanvas& canvas, int system, double y);

// Page-percent placement of one panel's pieces, for tests and for drawing.
struct PanelCell {
    double x1, y1, x2, y2;
    bool dark;
};
struct PanelLabel {
    std::string_view text;
    double x, y;
    bool rightAligned;
};
struct PanelGeometry {
    double x = 0, width = 0;
    double cx = 0, x0 = 0, rowTop = 0;
    std::vector<PanelCell> cells;
    std::vector<PanelLabel> labels;
};
// Geometry of layout 1..12 in column `column` of `columns` (1 to 3) at top y; empty (width 0)
// when the column does not exist. Measures with the canvas's 8-pt font.
PanelGeometry ResultPanelGeometry(ReportCanvas& canvas, int columns, int column, int layout, double y);

// One result panel: heading box (not for layout 12), row labels and empty cells.
void DrawResultPanel(ReportCanvas& canvas, int columns, int column, int layout,
                     std::string_view description, std::string_view title, double y);

// A bracket naming the panels under it: the name centred between x1 and x2 at textY in
// pointSize bold, a line at lineY broken for the name (half its width plus 1 each side), and
// both ends turned down to endY.
void DrawGroupBracket(ReportCanvas& canvas, std::string_view name, double x1, double x2,
                      double textY, double lineY, double endY, double pointSize);

}  // namespace ovista
