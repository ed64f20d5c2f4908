#pragma once
// The report driver: one herd's two report pages to the printer, the preview window or a
// PDF file.
#include <string>
#include <vector>

#include "analysis/herd_report.h"
#include "herd/errors.h"

namespace ovista {

// Printing was asked for on a machine with no printer at all: the same for every report of a
// run, unlike a report that fails on its own.
class NoPrinterError : public OvistaError {
public:
    using OvistaError::OvistaError;
};

// Output kinds of PrintReport; any other value prints.
inline constexpr int kOutputPrinter = 0;
inline constexpr int kOutputPreview = 1;
inline constexpr int kOutputPdf = 2;

// Where a PDF goes. An empty folder asks the user for the file.
struct PdfDestination {
    std::string folder;    // created when missing
    std::string fileName;  // the file inside folder; empty gives "report.pdf"
};

// Draws the report of one herd onto the chosen output. The record is copied at once, so the
// caller may reuse it. Throws OvistaError when the output cannot be made (no printer, a PDF
// that cannot be written, the rating pictures missing beside the program); whatever was
// started is released first. A cancelled file dialog writes nothing and throws nothing.
// earlierSeasons: when given, a third page shows the herd season by season (the herd's
// earlier seasons, the latest first; none gives the page its one column).
void PrintReport(const HerdReport& report, int outputKind, const PdfDestination& pdf = {},
                 const std::vector<HerdReport>* earlierSeasons = nullptr);

// The PDF of the report at path, written whole under a temporary name beside it and
// renamed into place; an earlier file of that name is replaced.
void WriteReportPdf(const HerdReport& report, const std::string& path,
                    const std::vector<HerdReport>* earlierSeasons = nullptr);

// True when the machine has a printer to print reports on.
bool PrinterInstalled();

}  // namespace ovista
