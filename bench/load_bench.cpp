// Reading a large herd file: a seasonal herd of 1000 cows over five years, about 5,000
// lactation rows with services and pregnancy tests, made by the herd generator into a
// temporary file when the benchmark starts.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <system_error>

#include "herd/heap.h"
#include "herd/herd_file.h"
#include "herd/herd_list.h"
#include "tools/herdgen/herdgen_lib.h"

namespace {

// As in the program: the memory of one herd is kept for the next.
const bool kHeapKept = (ovista::KeepHeapBetweenHerds(), true);

class GeneratedHerdFile {
public:
    GeneratedHerdFile() {
        ovista::herdgen::HerdRequest request;
        request.seed = 5000;
        request.pattern = ovista::herdgen::Pattern::Seasonal;
        request.quality = ovista::herdgen::Quality::EarlyPregTests;
        request.cows = 1000;
        request.years = 5;
        request.analysisDate = ovista::herdgen::DayNumber(2026, 5, 31);
        const auto file = ovista::herdgen::WriteHerdFile(ovista::herdgen::SimulateHerd(request));
        rows_ = file.lactationRows;
        path_ = (std::filesystem::temp_directory_path() /
                 ("ovista_load_bench_" + std::to_string(::getpid()) + ".csv"))
                    .string();
        std::ofstream(path_, std::ios::binary) << file.text;
    }
    ~GeneratedHerdFile() {
        std::error_code ignored;
        std::filesystem::remove(path_, ignored);
    }
    const std::string& Path() const { return path_; }
    int Rows() const { return rows_; }

private:
    std::string path_;
    int rows_ = 0;
};

const GeneratedHerdFile& Herd() {
    static const GeneratedHerdFile herd;
    return herd;
}

void BM_LoadHerdFile(benchmark::State& state) {
    const GeneratedHerdFile& herd = Herd();
    std::unique_ptr<ovista::HerdList> list;
    ovista::HerdHeaderFields header;
    for (auto _ : state) {
        if (!ovista::LoadHerdFile(herd.Path(), "bench", list, header)) {
            state.SkipWithError("could not read the generated herd file");
            return;
        }
        benchmark::DoNotOptimize(list->Count());
    }
    state.counters["lactations"] = list ? list->Count() : 0;
    state.counters["rows"] = herd.Rows();
    state.SetItemsProcessed(state.iterations() * herd.Rows());
}
BENCHMARK(BM_LoadHerdFile)->Unit(benchmark::kMillisecond);

}  // namespace
