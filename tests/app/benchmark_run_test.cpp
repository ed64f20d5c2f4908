// The centre benchmark as centres run it: after a batch, after a merge of shards, and on its
// own over a folder with a summary file. The built program on the sample herds; poppler reads
// the PDF back.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "formats/summary_file.h"
#include "test_files.h"

namespace ovista {
namespace {

namespace fs = std::filesystem;
using testing::Lines;
using testing::PrivateFolder;
using testing::ReadFile;
using testing::WriteFile;

constexpr const char* kHeader = "SHNO,CalvingSystem,Column,Value,HerdsCompared,Percentile,Quartile\r\n";

using testing::CommandOutput;

class BenchmarkRun : public ::testing::Test {
protected:
    BenchmarkRun() : folder_(PrivateFolder("ovista_benchmark_")) { fs::remove_all(folder_); }
    ~BenchmarkRun() override { fs::remove_all(folder_); }

    // The program with keys, its transfer folder out/<name>; the exit status.
    int Run(const std::string& name, const std::string& keys) const {
        fs::create_directories(folder_ / name);
        const std::string command = "cd '" + folder_.string() +
                                    "' && QT_QPA_PLATFORM=offscreen OVISTA_TODAY=07/12/2026 '" OVISTA_BINARY_DIR
                                    "/ovista' NODIALOGS 'XFERFOLDER=" + (folder_ / name).string() + "' " + keys +
                                    " 2>'" + (folder_ / (name + ".err")).string() + "' >/dev/null";
        const int status = std::system(command.c_str());
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    std::string Out(const std::string& name, const std::string& file) const { return ReadFile(folder_ / name / file); }
    std::string PdfText(const std::string& name) const {
        return CommandOutput("pdftotext -raw '" + (folder_ / name / "BENCHMARK.pdf").string() + "' -");
    }

    fs::path folder_;
};

TEST_F(BenchmarkRun, MergedShardsAndTheSummaryAloneGiveTheBenchmarkOfOneRun) {
    std::vector<std::string> lines;
    for (const std::string& line : Lines(ReadFile(fs::path(OVISTA_SOURCE_DIR) / "examples" / "batch.txt"))) {
        if (!line.empty()) lines.push_back((fs::path(OVISTA_SOURCE_DIR) / "examples" / line).string());
    }
    lines.push_back((folder_ / "missing.csv").string() + ",9,Owner,Address,31/05/2026");
    std::string batch, first, second;
    for (std::size_t i = 0; i < lines.size(); ++i) (i < 3 ? first : second) += lines[i] + "\r\n";
    WriteFile(folder_ / "batch.txt", first + second);
    WriteFile(folder_ / "first.txt", first);
    WriteFile(folder_ / "second.txt", second);

    ASSERT_EQ(Run("one", "QMRBATCHFILE=batch.txt BENCHMARK JOBS=1"), 0) << ReadFile(folder_ / "one.err");
    const std::string benchmark = Out("one", "BENCHMARK.CSV");
    ASSERT_EQ(benchmark.rfind(kHeader, 0), 0u);
    EXPECT_TRUE(testing::AllLinesEndCrLf(benchmark));
    EXPECT_GE(Lines(benchmark).size(), 1u + 4 * (Lines(Out("one", "TAMSLREP.CSV")).size() - 1));

    // Shards without the key write no benchmark; their merge with it writes the same one.
    ASSERT_EQ(Run("shard0", "QMRBATCHFILE=first.txt JOBS=2"), 0);
    ASSERT_EQ(Run("shard1", "QMRBATCHFILE=second.txt JOBS=2"), 0);
    EXPECT_FALSE(fs::exists(folder_ / "shard0" / "BENCHMARK.CSV"));
    EXPECT_FALSE(fs::exists(folder_ / "shard0" / "BENCHMARK.pdf"));
    ASSERT_EQ(Run("merged", "'MERGE=" + (folder_ / "shard0").string() + "," + (folder_ / "shard1").string() +
                                "' benchmark"),
              0);
    EXPECT_TRUE(Out("merged", "BENCHMARK.CSV") == benchmark);

    // The summary file alone: the same lines; the batch is counted from its rows.
    WriteFile(folder_ / "alone" / "TAMSLREP.CSV", Out("one", "TAMSLREP.CSV"));
    ASSERT_EQ(Run("alone", "/BENCHMARK"), 0);
    EXPECT_TRUE(Out("alone", "BENCHMARK.CSV") == benchmark);

    const std::string text = PdfText("one");
    for (const char* expected : {"Centre benchmark", "The batch in numbers", "lines of the batch log",
                                 "Herd file could not be read", "Herds to visit first", "Aim 71%"}) {
        EXPECT_NE(text.find(expected), std::string::npos) << expected;
    }
    EXPECT_NE(PdfText("alone").find("rows of the summary file"), std::string::npos);
}

TEST_F(BenchmarkRun, AnEmptySummaryIsABenchmarkOfNoHerdsAndAMissingOneAnError) {
    WriteFile(folder_ / "empty" / "TAMSLREP.CSV", SummaryHeaderText() + "\r\n");
    ASSERT_EQ(Run("empty", "BENCHMARK"), 0) << ReadFile(folder_ / "empty.err");
    EXPECT_EQ(Out("empty", "BENCHMARK.CSV"), kHeader);
    EXPECT_NE(PdfText("empty").find("Herds in the batch"), std::string::npos);

    ASSERT_EQ(Run("none", "BENCHMARK"), 1);
    EXPECT_NE(ReadFile(folder_ / "none.err").find((folder_ / "none" / "TAMSLREP.CSV").string()), std::string::npos);
    EXPECT_FALSE(fs::exists(folder_ / "none" / "BENCHMARK.CSV"));

    WriteFile(folder_ / "other" / "TAMSLREP.CSV", "SHNO,Owner\r\n1,2\r\n");
    EXPECT_EQ(Run("other", "BENCHMARK"), 1);
    EXPECT_NE(ReadFile(folder_ / "other.err").find("is not a summary file"), std::string::npos);

    // A folder named after the key does not ask for a benchmark.
    WriteFile(folder_ / "benchmark" / "TAMSLREP.CSV", "");
    EXPECT_EQ(Run("benchmark", "QMRPREVIEW"), 1) << "no run: the main window needs a display";
    EXPECT_FALSE(fs::exists(folder_ / "benchmark" / "BENCHMARK.CSV"));
}

}  // namespace
}  // namespace ovista
