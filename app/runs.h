#pragma once
// The unattended runs that the command line (and, for the batch, the main window) starts.
// Each reports its own failures through ShowInfo and returns false when it stopped on one.
#include <string>

namespace ovista {

// How each report of a run is put out.
struct ReportOutput {
    bool preview = false;   // true: the preview window; false: the default printer
    std::string pdfFolder;  // not empty: a PDF file per report into this folder, no dialog
};

bool RunBatch(const std::string& transferFolder, const std::string& batchFile,
              const ReportOutput& output);
bool RunReportFromSummaryCsv(const std::string& path, const ReportOutput& output);
bool RunReportFromStoredResult(const std::string& path, const ReportOutput& output);
bool RunSingleHerdCsv(const std::string& path, const ReportOutput& output);

}  // namespace ovista
