#include "batch/benchmark_run.h"

#include <QByteArray>
#include <QSaveFile>
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
#include "report/qt/benchmark_pdf.h"

namespace ovista {
namespace {

// A file that can be opened and is not a folder; nothing otherwise. InputFileError for a
// path that is no regular file or one beyond any batch's.
std::unique_ptr<RegularFileInput> OpenFile(const std::string& path) {
    auto file = std::make_unique<RegularFileInput>(path, kBatchOutputInput);
    if (!file->IsOpen()) return nullptr;
    return file;
}

// The whole text under a temporary name, renamed into place when complete.
void WriteWhole(const std::string& path, const std::string& text) {
    QSaveFile file(QString::fromStdString(path));
    if (!file.open(QIODevice::WriteOnly) ||
        file.write(text.data(), static_cast<qint64>(text.size())) != static_cast<qint64>(text.size()) ||
        !file.commit()) {
        throw OvistaError("Could not write " + path + ": " + file.errorString().toStdString());
    }
}

}  // namespace

bool RunBenchmark(const std::string& folder) {
    const std::string path = WithTrailingSeparator(folder);
    FolderLock lock;
    if (lock.Take(path) == FolderLock::Result::InUse) {
        ShowInfo(FolderInUseMessage(folder));
        return false;
    }
    const std::string summaryPath = path + kSummaryFileName;
    std::error_code ignored;
    if (!std::filesystem::exists(summaryPath, ignored)) {
        ShowInfo("No summary file to benchmark: " + summaryPath + " does not exist");
        return false;
    }
    Benchmark benchmark;
    benchmark.folder = folder;
    benchmark.reportDate = Today();
    try {
        const std::unique_ptr<RegularFileInput> summary = OpenFile(summaryPath);
        if (!summary) throw OvistaError("Could not open " + summaryPath);
        SummaryHerds read = ReadSummaryHerds(summary->Stream(), summaryPath);
        for (const std::string& message : read.skipped) ShowInfo(message);
        benchmark.rowsLeftOut = static_cast<int>(read.skipped.size());
        benchmark.herds = std::move(read.herds);
        if (const std::unique_ptr<RegularFileInput> log = OpenFile(path + kBatchLogFileName)) {
            benchmark.counts = CountFromBatchLog(log->Stream());
        } else {
            benchmark.counts = CountFromSummary(benchmark.herds);
        }
        benchmark.lines = BenchmarkLines(benchmark.herds);
        WriteWhole(path + kBenchmarkFileName, BenchmarkCsvText(benchmark.herds, benchmark.lines));
        WriteBenchmarkPdf(benchmark, path + kBenchmarkPdfName);
    } catch (const OvistaError& e) {
        ShowInfo(e.what());
        return false;
    }
    return true;
}

}  // namespace ovista
