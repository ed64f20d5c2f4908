// A transfer folder's summary file and batch log as the centre benchmark reads them (the
// bytes before the first form feed are the summary file, the rest the log), through the
// percentile rules and the benchmark pages on the recording device. Any file must either be
// refused with our own error or give standings within their ranges, a line per herd and
// figure, and pages that stay on the paper.
#include <cstdint>
#include <sstream>
#include <string>

#include "formats/benchmark_files.h"
#include "fuzz/fuzz_support.h"
#include "herd/errors.h"
#include "report/benchmark_pages.h"
#include "report/recording_canvas.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    ovista::fuzz::FixToday();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace ovista;
    const std::string_view text = fuzz::AsText(data, size);
    const std::size_t cut = std::min(text.find('\f'), text.size());
    std::istringstream summary{std::string(text.substr(0, cut))};
    std::istringstream log{std::string(text.substr(std::min(cut + 1, text.size())))};

    Benchmark benchmark;
    try {
        SummaryHerds read = ReadSummaryHerds(summary, "TAMSLREP.CSV");
        benchmark.rowsLeftOut = static_cast<int>(read.skipped.size());
        benchmark.herds = std::move(read.herds);
    } catch (const OvistaError&) {
        return 0;
    }
    benchmark.counts = cut < text.size() ? CountFromBatchLog(log) : CountFromSummary(benchmark.herds);
    FUZZ_CHECK(benchmark.counts.analysed + benchmark.counts.Failed() == benchmark.counts.inBatch, "");
    benchmark.lines = BenchmarkLines(benchmark.herds);
    for (const BenchmarkLine& line : benchmark.lines) {
        const bool given = line.value != 0;
        FUZZ_CHECK(line.herd < benchmark.herds.size() && line.compared >= (given ? 1 : 0), "");
        FUZZ_CHECK(given ? line.percentile >= 0 && line.percentile <= 100 && line.quartile == Quartile(line.percentile)
                         : line.percentile == -1 && line.quartile == 0,
                   std::to_string(line.value) + " " + std::to_string(line.percentile));
    }
    const std::string csv = BenchmarkCsvText(benchmark.herds, benchmark.lines);
    std::size_t lineEnds = 0;
    for (std::size_t at = csv.find("\r\n"); at != std::string::npos; at = csv.find("\r\n", at + 2)) ++lineEnds;
    FUZZ_CHECK(lineEnds == benchmark.lines.size() + 1, "one line per herd and figure, after the header");

    const BenchmarkPages pages(benchmark);
    HerdReport none;
    ClearHerdReport(none);
    for (int n = 1; n <= pages.PageCount() && n <= 4; ++n) {
        RecordingCanvas page(4958, 7017);
        ReportCanvas canvas(none, page, 600);
        pages.Draw(canvas, n);
        for (const DeviceCall& call : page.Calls()) {
            const bool within = call.x1 >= 0 && call.y1 >= 0 && call.x2 <= page.Width() && call.y2 <= page.Height();
            FUZZ_CHECK(within, "page " + std::to_string(n) + " '" + call.text + "'");
        }
    }
    return 0;
}
