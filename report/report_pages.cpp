#include "report/report_pages.h"

#include "report/page1.h"
#include "report/page2.h"
#include "report/page3.h"
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

HerdReportPages::HerdReportPages(const Interpretation& interpretation, const HerdReport& report,
                                 const std::vector<HerdReport>* earlierSeasons,
                                 const CowLists* cowLists)
    : interpretation_(interpretation) {
    if (earlierSeasons != nullptr) trends_ = InterpretTrends(report, *earlierSeasons);
    if (cowLists != nullptr) {
        cowLists_.emplace(InterpretCowLists(*cowLists));
        band_ = MakePage1BandMarks(report);
    }
}

void HerdReportPages::Draw(ReportCanvas& canvas, int pageNo) const {
    if (pageNo > ReportPageCount()) {
        // The canvas's report is the one the pages were made for.
        if (cowLists_) cowLists_->Draw(canvas, pageNo - ReportPageCount(), &*band_);
        return;
    }
    if (pageNo == kTrendPageNo && trends_) {
        DrawTrendPage(canvas, *trends_);
        return;
    }
    canvas.SetPageNo(pageNo);
    DrawReportPage(canvas, pageNo, interpretation_);
}

}  // namespace ovista
