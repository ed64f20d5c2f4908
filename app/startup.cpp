#include "app/startup.h"

#include <cstdlib>
#include <exception>
#include <iostream>
#include <new>
#include <string>

#include "batch/folder_lock.h"
#include "batch/batch_progress.h"
#include "batch/benchmark_run.h"
#include "batch/merge_shards.h"
#include "batch/parallel_batch.h"
#include "batch/run_files.h"
#include "batch/runs.h"
#include "batch/stop_signals.h"
#include "batch/working_folder.h"
#include "herd/errors.h"
#include "herd/services.h"
#include "herd/textutil.h"

namespace ovista {
namespace {

bool EnvironmentSet(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0';
}

}  // namespace

bool DisplayNamedInEnvironment() {
#if defined(_WIN32) || defined(__APPLE__)
    return true;
#else
    return EnvironmentSet("DISPLAY") || EnvironmentSet("WAYLAND_DISPLAY");
#endif
}

void ChooseOffscreenPlatformWhenHeadless(bool noDialogs) {
    if (EnvironmentSet("QT_QPA_PLATFORM")) return;
    if (noDialogs || !DisplayNamedInEnvironment()) setenv("QT_QPA_PLATFORM", "offscreen", 1);
}

bool SetTodayForRun() {
    SetTodayFromClock();
    const char* fixed = std::getenv("OVISTA_TODAY");
    if (fixed == nullptr || *fixed == '\0') return true;
    try {
        const CalendarDate today = DecodeDate(ParseDateText(fixed));
        SetToday(today.year, today.month, today.day);
        return true;
    } catch (const OvistaError& error) {
        std::cerr << "OVISTA_TODAY: " << error.what() << '\n';
        return false;
    }
}

int RunWithMessages(UserServices& services, const std::function<int()>& run) {
    InstallServices(&services);
    int status = 1;
    try {
        status = run();
    } catch (const std::bad_alloc&) {
        // Said, not aborted: the files of the run hold whole lines up to here.
        ShowInfo("The run stopped: out of memory");
    } catch (const std::exception& e) {
        ShowInfo(std::string("The run stopped: ") + e.what());
    }
    InstallServices(nullptr);
    return status;
}

bool UseConsoleServices(bool noDialogs, std::string_view platformName, bool displayNamed) {
    return noDialogs || platformName == "offscreen" || platformName == "minimal" ||
           !displayNamed;
}

BatchJob JobOfKeys(const CommandLineValues& keys, bool consoleServices, UserServices& services,
                   ReportSink& reports) {
    BatchJob job(services, reports);
    job.output = ReportOutput{keys.preview == 1, keys.pdfFolder, consoleServices};
    job.traces = !keys.noTrace;
    job.trends = keys.trends;
    job.cowLists = keys.cowLists;
    if (ChooseRunMode(keys) == RunMode::Batch) {
        job.workingFolder = keys.transferFolder;
        job.jobs = BatchJobs(keys.jobs, consoleServices, job.output);
        job.progressLine = consoleServices && !job.output.preview && StandardErrorIsTerminal();
    }
    return job;
}

int RunChosenMode(const CommandLineValues& keys, bool consoleServices, UserServices& services,
                  ReportSink& reports, const std::function<int()>& openMainWindow) {
    const BatchJob job = JobOfKeys(keys, consoleServices, services, reports);
    bool ranToEnd = false;
    switch (ChooseRunMode(keys)) {
        case RunMode::Batch: {
            const StopSignalHandlers handlers;
            ranToEnd = RunBatch(job, keys.batchFile);
            if (StopSignal() != 0) return StopStatus(StopSignal());
            // The batch's own folder: the transfer folder as the batch cut it.
            if (ranToEnd && keys.benchmark) {
                ranToEnd = RunBenchmark(WorkingFolder(job.workingFolder), services, reports);
            }
            break;
        }
        case RunMode::MergeShards: {
            {
                FolderLock lock;
                if (lock.Take(WithTrailingSeparator(keys.transferFolder)) == FolderLock::Result::InUse) {
                    services.ShowInfo(FolderInUseMessage(keys.transferFolder));
                    return 1;
                }
                ranToEnd = MergeShards(keys.transferFolder, SplitShardFolders(keys.mergeFolders), services);
            }
            // The benchmark takes the folder again once the merge has let it go.
            if (ranToEnd && keys.benchmark) ranToEnd = RunBenchmark(keys.transferFolder, services, reports);
            break;
        }
        case RunMode::Benchmark:
            return RunBenchmark(keys.transferFolder, services, reports) ? 0 : 1;
        case RunMode::ReportFromSummaryCsv:
            ranToEnd = RunReportFromSummaryCsv(job, keys.reportCsvFile);
            break;
        case RunMode::ReportFromStoredResult:
            ranToEnd = RunReportFromStoredResult(job, keys.storedResultFile);
            break;
        case RunMode::SingleHerdCsv: {
            const StopSignalHandlers handlers;
            ranToEnd = RunSingleHerdCsv(job, keys.herdCsvFile);
            if (StopSignal() != 0) return StopStatus(StopSignal());
            break;
        }
        case RunMode::Interactive: {
            if (consoleServices || !openMainWindow) {
                services.ShowInfo("The main window needs a display; give the keys of a run "
                         "(ovista --help lists them).");
                return 1;
            }
            return openMainWindow();
        }
    }
    return ranToEnd ? 0 : 1;
}

}  // namespace ovista
