// Whole herd CSV files through a batch with TRENDS. The earlier seasons take shortcuts (the
// herd prepared once, each season walking only the lactations that can count in it, the
// counts laid out by date); whatever the file holds, their rows must be those of the same
// herd analysed at the moved dates as batch lines of their own, and neither run may crash.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>

#include "batch/report_sink.h"
#include "batch/runs.h"
#include "batch/trend_seasons.h"
#include "formats/batch_log.h"
#include "formats/summary_file.h"
#include "fuzz/fuzz_support.h"
#include "herd/services.h"
#include "herd/textutil.h"

namespace ovista {
namespace {

namespace fs = std::filesystem;

// Reports go nowhere: the rows are what is compared.
class NoReports : public ReportSink {
public:
    void Put(const HerdReport&, const ReportOutput&) override {}
    bool PrinterInstalled() override { return true; }
    void WriteBenchmarkPdf(const Benchmark&, const std::string&) override {}
};

// The folder every run works in, made once and removed when the fuzzer exits.
const fs::path& Folder() {
    static const fs::path folder = [] {
        char name[] = "/tmp/fuzz_seasons_XXXXXX";
        if (mkdtemp(name) == nullptr) std::abort();
        return fs::path(name);
    }();
    return folder;
}

void RemoveFolder() {
    std::error_code ignored;
    fs::remove_all(Folder(), ignored);
}

void Write(const fs::path& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
    if (!out) std::abort();
}

// dd/mm/yyyy, as a batch line gives its date.
std::string LongDate(Date date) {
    const CalendarDate c = DecodeDate(date);
    char text[16];
    std::snprintf(text, sizeof text, "%02d/%02d/%04d", c.day, c.month, c.year);
    return text;
}

std::string Read(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The transfer folder name, emptied; RunBatch's own files in it afterwards.
void RunIn(const std::string& name, const std::string& batchFile, bool trends) {
    const fs::path out = Folder() / name;
    fs::remove_all(out);
    fs::create_directories(out);
    NoReports reports;
    BatchJob job(Services(), reports);  // nothing installed: the silent services
    job.workingFolder = out.string();
    job.traces = false;
    job.trends = trends;
    job.output.noDialogs = true;
    FUZZ_CHECK(RunBatch(job, (Folder() / batchFile).string()), "the batch did not run: " + name);
}

}  // namespace
}  // namespace ovista

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    ovista::fuzz::FixToday();
    ovista::Folder();
    std::atexit(ovista::RemoveFolder);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace ovista;
    const fs::path& folder = Folder();
    Write(folder / "herd.csv", std::string(fuzz::AsText(data, size)));
    const Date date = MakeDate(15, 1, 2026);
    const std::string line = (folder / "herd.csv").string() + ",7,Owner,Address,";
    Write(folder / "batch.txt", line + LongDate(date) + "\r\n");
    std::string moved;
    for (int years = 1; years <= kEarlierSeasonCount; ++years) {
        moved += line + LongDate(EarlierAnalysisDate(date, years)) + "\r\n";
    }
    Write(folder / "moved.txt", moved);

    RunIn("trends", "batch.txt", true);
    // A herd whose own season fails to analyse gets no earlier seasons.
    if (Read(folder / "trends" / kBatchLogFileName).find("Analysis failes for ") != std::string::npos) return 0;
    RunIn("moved", "moved.txt", false);
    const std::string trends = Read(folder / "trends" / kTrendsFileName);
    const std::string rows = Read(folder / "moved" / kSummaryFileName);
    FUZZ_CHECK(trends == rows, "TRENDS.CSV:\n" + trends.substr(0, 2000) + "\nthe moved dates' rows:\n" + rows.substr(0, 2000));
    return 0;
}
