#pragma once
// Page 1 under its header: the three result sections, the in-calf chart, the rating legend,
// the induced-cows box and the footer. The figures in the panels are the interpretation's.
#include "report/report_canvas.h"

namespace ovista {

// Weeks of the mating period: (EOMating - MSD) / 7 + 1 whole weeks when mating ended after
// it started, else 21.
int WeeksOfMating(Date msd, Date eoMating);

void DrawPage1Body(ReportCanvas& canvas, int system);

// Page 1's copyright and disclaimer lines at its foot; the trend page has them too.
void DrawPageFooter(ReportCanvas& canvas);

}  // namespace ovista
