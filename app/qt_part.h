#pragma once
// The program's Qt part (windows, message boxes, the printer and the report's pages) is a
// library of its own beside the program, loaded only when a run needs it: mapping and binding
// Qt's libraries is most of the time of a run that writes no report.
#include <string>

#include "app/command_line.h"
#include "batch/report_sink.h"

namespace ovista {

// The Qt part's entry points. Each makes the application object first when there is none yet,
// from the arguments given to KeepProgramArguments.
extern "C" {
// A run whose messages may be boxes on a display: runs what the keys choose, the main window
// included, and returns the exit status.
using QtRunEntry = int (*)(const CommandLineValues* keys);
// The printer, the preview and PDF files for a run whose messages go to standard error.
using QtReportsEntry = ReportSink* (*)();
// The arguments kept for the application object.
using QtArgumentsEntry = void (*)(int* argc, char** argv);
}
inline constexpr const char* kQtRunEntry = "ovista_qt_run";
inline constexpr const char* kQtReportsEntry = "ovista_qt_reports";
inline constexpr const char* kQtArgumentsEntry = "ovista_qt_arguments";

// The library's path in the program's real folder. A folder of its own keeps it out of the
// system's library folders' direct children, which Debian's package tools take for shared
// libraries of the system (and run ldconfig for).
inline constexpr const char* kQtPartFile = "qt/ovista-qt.so";

// The arguments the application object is made from; they must live as long as the process.
void KeepProgramArguments(int* argc, char** argv);

// Loads the Qt part (once) and returns the named entry point. Throws OvistaError naming the
// library and the loader's reason when it cannot be loaded or lacks the entry.
void* QtPartEntry(const char* name);

// The run's reports through the Qt part, loaded at the first report; whether a printer is
// installed is asked of the print system directly, so a batch that finds none (or writes
// summary rows only) never loads it.
class DeferredReportSink : public ReportSink {
public:
    void Put(const HerdReport& report, const ReportOutput& output) override;
    bool PrinterInstalled() override;
    void WriteBenchmarkPdf(const Benchmark& benchmark, const std::string& path) override;

private:
    ReportSink& Loaded();
    ReportSink* loaded_ = nullptr;
};

}  // namespace ovista
