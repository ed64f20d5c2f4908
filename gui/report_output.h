#pragma once
// The reports of the runs on this machine's devices: the printer, the preview window, PDF
// files (with the save dialog when no folder is given).
#include <string>
#include <vector>

#include "analysis/herd_report.h"
#include "batch/report_sink.h"
#include "report/qt/preview_dialog.h"
#include "report/qt/print_report.h"

namespace ovista {

// Output kinds of PrintReport; any other value prints.
inline constexpr int kOutputPrinter = 0;
inline constexpr int kOutputPreview = 1;
inline constexpr int kOutputPdf = 2;

// What a report's preview names and offers besides its pages.
struct PreviewOptions {
    std::string caption;     // the herd and "n of N", for the window title; empty: none
    bool offerSkip = false;  // "Skip the remaining previews"
};

// Draws the report of one herd onto the chosen output. The record is copied at once, so the
// caller may reuse it. Throws OvistaError when the output cannot be made (no printer, a PDF
// that cannot be written, the rating pictures missing beside the program); whatever was
// started is released first. A cancelled file dialog writes nothing and throws nothing.
// earlierSeasons: when given, a third page shows the herd season by season (the herd's
// earlier seasons, the latest first; none gives the page its one column). cowLists: when
// given, the pages "Cows to act on" follow.
// A preview proposes pdf.fileName (without its folder) when the report is saved from it, and
// returns how the person left it; every other output returns PreviewEnd::Closed.
PreviewEnd PrintReport(const HerdReport& report, int outputKind, const PdfDestination& pdf = {},
                       const std::vector<HerdReport>* earlierSeasons = nullptr,
                       const PreviewOptions& preview = {}, const CowLists* cowLists = nullptr);

// The runs' reports through PrintReport; the benchmark as our PDF.
class QtReportSink : public ReportSink {
public:
    void Put(const HerdReport& report, const ReportOutput& output) override;
    bool PrinterInstalled() override;
    void WriteBenchmarkPdf(const Benchmark& benchmark, const std::string& path) override;
};

}  // namespace ovista
