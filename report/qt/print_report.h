#pragma once
// The report driver: one herd's two report pages to the printer, the preview window or a
// PDF file.
#include <string>

#include "analysis/herd_report.h"

namespace ovista {

// Output kinds of PrintReport; any other value prints.
inline constexpr int kOutputPrinter = 0;
inline constexpr int kOutputPreview = 1;
inline constexpr int kOutputPdf = 2;

// Draws the report of one herd onto the chosen output. The record is copied at once, so the
// caller may reuse it. pdfFolder: for PDF output, the folder to write the file into without
// asking; empty asks for a file name. Throws OvistaError when the output cannot be made (no
// printer, a PDF that cannot be written).
void PrintReport(const HerdReport& report, int outputKind, const std::string& pdfFolder = {});

}  // namespace ovista
