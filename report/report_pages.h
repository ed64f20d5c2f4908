#pragma once
// The two report pages, drawn the same way onto every output.
#include "interpret/interpretation.h"
#include "report/report_canvas.h"

namespace ovista {

// Draws page pageNo (1 or 2) onto the canvas's current device page: the background, the
// header band and the body; page 1 also carries the interpretation's marks, page 2 its notes.
void DrawReportPage(ReportCanvas& canvas, int pageNo, const Interpretation& interpretation);

}  // namespace ovista
