#include "report/report_pages.h"

#include "report/page1.h"
#include "report/page2.h"
#include "report/page_header.h"
#include "report/page_marks_draw.h"

namespace ovista {

void DrawReportPage(ReportCanvas& canvas, int pageNo, const Interpretation& interpretation) {
    canvas.SetPageNo(pageNo);
    const int system = canvas.Report().ActCalvingPattern;
    canvas.DrawBox(false, false, kBackgroundColour, 0, 0, 100, 100);
    DrawPageHeader(canvas, system, 2);
    if (pageNo == 2) {
        DrawHeaderValues(canvas);
        DrawPage2Body(canvas, system, interpretation.texts);
        return;
    }
    DrawPage1Body(canvas, system);
    DrawPageMarks(canvas, interpretation.marks);
}

}  // namespace ovista
