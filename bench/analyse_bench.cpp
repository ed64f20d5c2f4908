// Analysing a large herd: about 5,000 lactations with services and early pregnancy scans, one
// herd for each calving pattern, made by the herd generator and read once when a benchmark
// first needs it. A year-round herd with services is analysed on its mating records (its
// recent calvers are served long before they can be scanned), so a fourth herd, year-round
// with scans and no services, takes the year-round path through the conception tables. The analysis trims lactations to their culling dates and writes its working
// fields into the herd list, so every iteration starts from the herd as it was read (restored
// outside the timed part). No trace files are written and no summary row.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include "analysis/analyse_herd.h"
#include "analysis/herd_report.h"
#include "herd/cow_record.h"
#include "herd/herd_file.h"
#include "herd/herd_list.h"
#include "tools/herdgen/herdgen_lib.h"

namespace {

namespace herdgen = ovista::herdgen;

// Herd size (cows calving a year) that gives about 5,000 lactation rows over five years.
constexpr int kCows = 1000;

class LoadedHerd {
public:
    LoadedHerd(herdgen::Pattern pattern, herdgen::Quality quality) {
        herdgen::HerdRequest request;
        request.seed = 5000;
        request.pattern = pattern;
        request.quality = quality;
        request.cows = kCows;
        request.years = 5;
        request.analysisDate = herdgen::DayNumber(2026, 5, 31);
        analysisDate_ = static_cast<ovista::Date>(request.analysisDate);
        const herdgen::SimulatedHerd simulated = herdgen::SimulateHerd(request);
        const herdgen::HerdFile file = herdgen::WriteHerdFile(simulated);
        herdNumber_ = simulated.herdNumber;

        const std::string path = (std::filesystem::temp_directory_path() /
                                  ("ovista_analyse_bench_" + std::to_string(::getpid()) + "_" +
                                   herdgen::PatternName(pattern) + "_" + herdgen::QualityName(quality) +
                                   ".csv"))
                                     .string();
        std::ofstream(path, std::ios::binary) << file.text;
        ovista::HerdHeaderFields header;
        loaded_ = ovista::LoadHerdFile(path, herdNumber_, list_, header) && list_ != nullptr;
        std::error_code ignored;
        std::filesystem::remove(path, ignored);
        if (!loaded_) return;
        original_.resize(static_cast<std::size_t>(list_->Count()));
        for (int i = 1; i <= list_->Count(); ++i) list_->GetRecord(i, original_[static_cast<std::size_t>(i - 1)]);
    }

    bool Loaded() const { return loaded_; }
    int Lactations() const { return static_cast<int>(original_.size()); }

    // Puts every lactation back as it was read.
    void Restore() {
        for (int i = 1; i <= list_->Count(); ++i) list_->PutRecord(i, original_[static_cast<std::size_t>(i - 1)]);
    }

    void Analyse(ovista::HerdReport& report) {
        static const ovista::SummaryWriter kNoSummary = [](ovista::HerdReport&) {};
        ovista::AnalyseHerd(herdNumber_, analysisDate_, "Bench owner", "Bench address", *list_, report,
                            std::string(), kNoSummary);
    }

private:
    bool loaded_ = false;
    std::string herdNumber_;
    ovista::Date analysisDate_ = 0;
    std::unique_ptr<ovista::HerdList> list_;
    std::vector<ovista::FullCowRecord> original_;
};

LoadedHerd& Herd(herdgen::Pattern pattern, herdgen::Quality quality) {
    static std::map<std::pair<herdgen::Pattern, herdgen::Quality>, std::unique_ptr<LoadedHerd>> herds;
    auto& herd = herds[{pattern, quality}];
    if (!herd) herd = std::make_unique<LoadedHerd>(pattern, quality);
    return *herd;
}

void BM_AnalyseHerd(benchmark::State& state, herdgen::Pattern pattern, herdgen::Quality quality) {
    LoadedHerd& herd = Herd(pattern, quality);
    if (!herd.Loaded()) {
        state.SkipWithError("could not read the generated herd file");
        return;
    }
    // The result of a first analysis: every timed one must give it again, or the restore
    // missed something the analysis had changed.
    ovista::HerdReport expected;
    herd.Restore();
    herd.Analyse(expected);
    ovista::HerdReport report;
    for (auto _ : state) {
        state.PauseTiming();
        herd.Restore();
        state.ResumeTiming();
        herd.Analyse(report);
        benchmark::DoNotOptimize(report);
        benchmark::ClobberMemory();
    }
    if (!(report == expected)) {
        state.SkipWithError("a repeated analysis of the same herd gave another result");
        return;
    }
    state.counters["lactations"] = herd.Lactations();
    state.counters["AnalType"] = report.AnalType;
    state.counters["pattern"] = report.ActCalvingPattern;
    state.counters["Error"] = report.Error;
    state.SetItemsProcessed(state.iterations() * herd.Lactations());
}

BENCHMARK_CAPTURE(BM_AnalyseHerd, seasonal, herdgen::Pattern::Seasonal, herdgen::Quality::EarlyPregTests)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_AnalyseHerd, split, herdgen::Pattern::Split, herdgen::Quality::EarlyPregTests)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_AnalyseHerd, yearround, herdgen::Pattern::YearRound, herdgen::Quality::EarlyPregTests)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_AnalyseHerd, yearround_scans, herdgen::Pattern::YearRound, herdgen::Quality::ScansOnly)
    ->Unit(benchmark::kMillisecond);

}  // namespace
