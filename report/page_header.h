#pragma once
// The header band of both report pages: title, left panel, labelled value boxes and the
// logo block.
#include "interpret/page_marks.h"
#include "report/report_canvas.h"

namespace ovista {

// The trend page of a report with earlier seasons: its number and its title in the band.
inline constexpr int kTrendPageNo = 3;
inline constexpr const char* kTrendPageTitle = "Your herd season by season";
// The pages "Cows to act on" take this number on the canvas: page 1's band and colours under
// their own title.
inline constexpr int kCowListPageNo = 4;

// The band of the canvas's current page for calving system `system` (1 seasonal, 2 split,
// 3 year-round; any other value is drawn as seasonal), top at y0 (2 on every page). The
// values in the boxes are not written here (DrawHeaderValues, and on page 1 the
// interpretation's marks). The trend page has page 1's band under its own title.
void DrawPageHeader(ReportCanvas& canvas, int system, double y0);

// The value texts of the header boxes of page 2.
void DrawHeaderValues(ReportCanvas& canvas);

// The marks of page 1's band that a herd's pages after page 2 repeat: its owner block and the
// values in its boxes.
struct Page1BandMarks {
    PageMarks owner;
    PageMarks values;
};
Page1BandMarks MakePage1BandMarks(const HerdReport& report);

// The pages after page 2 (trend page, cows to act on): the background and page 1's band with
// its owner block and values, on the canvas's current page; marks, when given, are the
// canvas's report's (made once for the herd's pages).
void DrawPage1Band(ReportCanvas& canvas, const Page1BandMarks* marks = nullptr);

}  // namespace ovista
