#pragma once
// The report pages of a herd, drawn the same way onto every output.
#include <optional>
#include <vector>

#include "analysis/herd_report.h"
#include "interpret/interpretation.h"
#include "interpret/trends.h"
#include "report/cow_list_pages.h"
#include "report/report_canvas.h"

namespace ovista {

// Draws page pageNo (1 or 2) onto the canvas's current device page: the background, the
// header band and the body; page 1 also carries the interpretation's marks, page 2 its notes.
void DrawReportPage(ReportCanvas& canvas, int pageNo, const Interpretation& interpretation);

// A herd's report as one document: page 1 with the interpretation's marks, page 2 with its
// notes and, with earlier seasons, the trend page, then with cow lists the pages "Cows to act
// on". The printer, the preview, the PDF device,
// JPEG export and the tests all draw it through this object.
class HerdReportPages {
public:
    // interpretation: InterpretReport(report); it must outlive the pages. earlierSeasons: the
    // herd's earlier seasons, the latest first (none gives the trend page its one column);
    // nullptr: two pages. cowLists: the herd's lists of cows to act on; nullptr: no such pages.
    HerdReportPages(const Interpretation& interpretation, const HerdReport& report,
                    const std::vector<HerdReport>* earlierSeasons = nullptr,
                    const CowLists* cowLists = nullptr);

    int PageCount() const { return ReportPageCount() + (cowLists_ ? cowLists_->PageCount() : 0); }
    // Draws page pageNo (from 1) onto the canvas's current device page; the canvas holds
    // the report.
    void Draw(ReportCanvas& canvas, int pageNo) const;

private:
    int ReportPageCount() const { return trends_ ? 3 : 2; }

    const Interpretation& interpretation_;
    std::optional<TrendPage> trends_;
    std::optional<CowListPages> cowLists_;
    std::optional<Page1BandMarks> band_;  // for the cow-list pages, made once
};

}  // namespace ovista
