#pragma once
// Draws the interpretation's page marks.
#include "interpret/page_marks.h"
#include "report/report_canvas.h"

namespace ovista {

// Each mark in its own font; a raised suffix follows the right edge of the text mark before it.
void DrawPageMarks(ReportCanvas& canvas, const PageMarks& marks);

}  // namespace ovista
