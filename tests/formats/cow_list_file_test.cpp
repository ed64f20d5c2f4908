// The cow-list file's rows: one herd's by hand, and the sample herds of examples/ as analysed,
// byte for byte against tests/data/formats/sample_cows.csv (OVISTA_UPDATE_GOLDEN=1 rewrites it
// after a deliberate change).
#include "formats/cow_list_file.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>

#include "analysis/analyse_herd.h"
#include "herd/csv_line.h"
#include "herd/herd_file.h"
#include "recording_services.h"

namespace ovista {
namespace {

namespace fs = std::filesystem;

TEST(CowListFile, RowsOfASmallHerd) {
    CowLists lists;
    lists.made = true;
    for (std::size_t k = 0; k < kCowListKinds; ++k) lists.lists[k].kind = static_cast<CowListKind>(k);
    const Date calved = MakeDate(14, 8, 2025);
    lists.List(CowListKind::Repeat).cows = {{"R\xE9ka", calved, 4, MakeDate(5, 10, 2025), 3, 0}};
    lists.List(CowListKind::NotMated3Wk).cows = {{"12,A", calved, 0, 0, 0, 0}, {"Big \"B\"", calved + 1, 2, 0, 0, 0}};
    lists.List(CowListKind::InCalfLate).cows = {{"7", calved, 3, MakeDate(1, 10, 2025), 2, 50}};
    EXPECT_EQ(std::string(kCowListHeader), "SHNO,List,CowID,Calved,Age,FirstMating,Matings,InCalfDay");
    EXPECT_EQ(CowListRows("590001", lists),
              "590001,NOTMATED3WK,\"12,A\",14/08/2025,,,0,\r\n"
              "590001,NOTMATED3WK,\"Big \"\"B\"\"\",15/08/2025,2,,0,\r\n"
              "590001,INCALFLATE,7,14/08/2025,3,01/10/2025,2,50\r\n"
              "590001,REPEAT,R\xE9ka,14/08/2025,4,05/10/2025,3,\r\n");
    EXPECT_EQ(CowListRows("A,1", lists).substr(0, 18), "\"A,1\",NOTMATED3WK,");
    lists.made = false;
    EXPECT_EQ(CowListRows("590001", lists), "");
}

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(CowListFile, SampleHerdsMatchTheGoldenFile) {
    const fs::path examples = fs::path(OVISTA_SOURCE_DIR) / "examples";
    std::ifstream batch(examples / "batch.txt", std::ios::binary);
    if (!batch) GTEST_SKIP() << "no examples/batch.txt";
    testing::RecordingServices services;
    std::string file = std::string(kCowListHeader) + "\r\n";
    std::string line;
    CsvFields f;
    while (ReadTextLine(batch, line)) {
        SplitCsvLine(line, f);
        if (f[0].empty()) continue;
        std::unique_ptr<HerdList> list;
        HerdHeaderFields header;
        ASSERT_TRUE(LoadHerdFile((examples / f[0]).string(), f[1], list, header)) << f[0];
        HerdReport report;
        CowLists lists;
        std::string rows;
        // Written with the summary row, as the batch writes them.
        AnalyseHerd(f[1], ParseDateText(f[4]), f[2], f[3], *list, report, "",
                    [&](HerdReport& r) { rows = CowListRows(r.SHNO, lists); }, Services(), &lists);
        file += rows;
    }
    const fs::path golden = fs::path(OVISTA_TEST_DATA) / "formats/sample_cows.csv";
    if (const char* update = std::getenv("OVISTA_UPDATE_GOLDEN"); update != nullptr && std::string(update) == "1") {
        fs::create_directories(golden.parent_path());
        std::ofstream(golden, std::ios::binary) << file;
        return;
    }
    EXPECT_TRUE(ReadFile(golden) == file) << "the sample herds' cow lists differ from " << golden;
}

}  // namespace
}  // namespace ovista
