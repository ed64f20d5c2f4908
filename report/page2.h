#pragma once
// Page 2 under its header: Part A, the herd records cross check; Part B, the notes on how
// each result was worked out, laid out like the result panels of page 1; the disclaimer.
#include <string>
#include <string_view>

#include "interpret/interpretation.h"
#include "report/report_canvas.h"

namespace ovista {

// The cross-check table's period label: "2005" for a window starting in January, else
// "2004/05"; empty without a window start.
std::string CrossCheckPeriodLabel(Date crossCheckStart);

// One note panel in column `column` of a row of `columns` (1 to 3), 8.5 high from y; nothing
// for a column outside the row.
void DrawNotePanel(ReportCanvas& canvas, int columns, int column, std::string_view note, std::string_view title,
                   double y);

// Everything of page 2 below the header, for calving system `system`.
void DrawPage2Body(ReportCanvas& canvas, int system, const InterpretationTexts& texts);

}  // namespace ovista
