#include "batch/benchmark_run.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>

#include "formats/benchmark_files.h"
#include "batch/folder_lock.h"
#include "batch/runs.h"
#include "formats/summary_file.h"
#include "batch/working_folder.h"
#include "herd/errors.h"
#include "herd/input_file.h"
#include "herd/services.h"
#include "herd/textutil.h"

namespace ovista {
namespace {

// A file that can be opened and is not a folder; nothing otherwise. InputFileError for a
// path that is no regular file or one beyond any batch's.
std::unique_ptr<RegularFileInput> OpenFile(const std::string& path) {
    auto file = std::make_unique<RegularFileInput>(path, kBatchOutputInput);
    if (!file->IsOpen()) return nullptr;
    return file;
}

// The whole text under a temporary name beside path, renamed into place when complete: a
// crash or a full disk never leaves a truncated file under the real name.
void WriteWhole(const std::string& path, const std::string& text) {
    std::string temporary = path + ".XXXXXX";
    const int fd = ::mkstemp(temporary.data());
    const auto fail = [&path](int error) {
        throw OvistaError("Could not write " + path + ": " + std::strerror(error));
    };
    if (fd < 0) fail(errno);
    std::size_t written = 0;
    while (written < text.size()) {
        const ssize_t n = ::write(fd, text.data() + written, text.size() - written);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            const int error = n < 0 ? errno : ENOSPC;
            ::close(fd);
            ::unlink(temporary.c_str());
            fail(error);
        }
        written += static_cast<std::size_t>(n);
    }
    // As an ordinary new file: mkstemp gives its file no rights for others.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    int error = ::fchmod(fd, 0666 & ~mask) != 0 || ::fsync(fd) != 0 ? errno : 0;
    if (::close(fd) != 0 && error == 0) error = errno;
    if (error == 0 && std::rename(temporary.c_str(), path.c_str()) != 0) error = errno;
    if (error != 0) {
        ::unlink(temporary.c_str());
        fail(error);
    }
}

}  // namespace

bool RunBenchmark(const std::string& folder, UserServices& services, ReportSink& reports) {
    const std::string path = WithTrailingSeparator(folder);
    FolderLock lock;
    if (lock.Take(path) == FolderLock::Result::InUse) {
        services.ShowInfo(FolderInUseMessage(folder));
        return false;
    }
    const std::string summaryPath = path + kSummaryFileName;
    std::error_code ignored;
    if (!std::filesystem::exists(summaryPath, ignored)) {
        services.ShowInfo("No summary file to benchmark: " + summaryPath + " does not exist");
        return false;
    }
    Benchmark benchmark;
    benchmark.folder = folder;
    benchmark.reportDate = Today();
    try {
        const std::unique_ptr<RegularFileInput> summary = OpenFile(summaryPath);
        if (!summary) throw OvistaError("Could not open " + summaryPath);
        SummaryHerds read = ReadSummaryHerds(summary->Stream(), summaryPath);
        for (const std::string& message : read.skipped) services.ShowInfo(message);
        benchmark.rowsLeftOut = static_cast<int>(read.skipped.size());
        benchmark.herds = std::move(read.herds);
        if (const std::unique_ptr<RegularFileInput> log = OpenFile(path + kBatchLogFileName)) {
            benchmark.counts = CountFromBatchLog(log->Stream());
        } else {
            benchmark.counts = CountFromSummary(benchmark.herds);
        }
        benchmark.lines = BenchmarkLines(benchmark.herds);
        WriteWhole(path + kBenchmarkFileName, BenchmarkCsvText(benchmark.herds, benchmark.lines));
        reports.WriteBenchmarkPdf(benchmark, path + kBenchmarkPdfName);
    } catch (const OvistaError& e) {
        services.ShowInfo(e.what());
        return false;
    }
    return true;
}

}  // namespace ovista
