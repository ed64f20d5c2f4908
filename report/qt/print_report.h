#pragma once
// The report driver: one herd's report pages to the printer, to the pictures of a preview or
// to a PDF file.
#include <string>
#include <vector>

#include "analysis/cow_lists.h"
#include "analysis/herd_report.h"
#include "herd/errors.h"
#include "report/qt/preview_dialog.h"

namespace ovista {

// Where a PDF goes.
struct PdfDestination {
    std::string folder;    // created when missing
    std::string fileName;  // the file inside folder; empty gives "report.pdf"
};

// The report of one herd on the default printer (or the only one there is). NoPrinterError
// when there is no printer at all, OvistaError when the job cannot be started or finished
// or the rating pictures are missing beside the program.
// earlierSeasons: when given, a third page shows the herd season by season (the herd's
// earlier seasons, the latest first; none gives the page its one column). cowLists: when
// given, the pages "Cows to act on" follow; the same for the other outputs below.
void PrintReportOnPrinter(const HerdReport& report, const std::vector<HerdReport>* earlierSeasons = nullptr,
                          const CowLists* cowLists = nullptr);

// The report's pages as the preview shows them, on the default printer's page (A4 at 600
// dots per inch without a printer).
PreviewPages ReportPreviewPages(const HerdReport& report,
                                const std::vector<HerdReport>* earlierSeasons = nullptr,
                                const CowLists* cowLists = nullptr);

// The PDF of the report as pdf.fileName in pdf.folder (created when missing).
void WriteReportPdfInto(const HerdReport& report, const PdfDestination& pdf,
                        const std::vector<HerdReport>* earlierSeasons = nullptr,
                        const CowLists* cowLists = nullptr);

// The PDF of the report at path, written whole under a temporary name beside it and
// renamed into place; an earlier file of that name is replaced.
void WriteReportPdf(const HerdReport& report, const std::string& path,
                    const std::vector<HerdReport>* earlierSeasons = nullptr,
                    const CowLists* cowLists = nullptr);

// True when the machine has a printer to print reports on.
bool PrinterInstalled();

}  // namespace ovista
