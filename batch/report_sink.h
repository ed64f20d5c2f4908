#pragma once
// Where the runs send their reports. The engine decides which report goes out and how
// (ReportOutput); the program hands in the devices that draw it: the printer, the preview
// window, PDF files. So the engine knows no drawing library.
#include <string>

#include "analysis/herd_report.h"
#include "interpret/benchmark.h"

namespace ovista {

struct ReportOutput;

class ReportSink {
public:
    virtual ~ReportSink() = default;
    // Puts out one herd's report as output says. The record may be reused once it returns.
    // NoPrinterError when there is no printer at all, ReportFileError when the report's file
    // cannot be written, OvistaError when the output cannot be made otherwise.
    virtual void Put(const HerdReport& report, const ReportOutput& output) = 0;
    // True when the machine has a printer to print reports on.
    virtual bool PrinterInstalled() = 0;
    // The centre benchmark's pages as a PDF file at path; OvistaError naming the file.
    virtual void WriteBenchmarkPdf(const Benchmark& benchmark, const std::string& path) = 0;
};

}  // namespace ovista
