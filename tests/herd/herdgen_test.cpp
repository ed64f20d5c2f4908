// The sample herds in examples/ (made by tools/herdgen): each loads without a row error into
// as many lactations as the generator wrote, and the batch file names them as their own
// identification rows do.
#include <gtest/gtest.h>

#include <cctype>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "herd/csv_line.h"
#include "herd/herd_file.h"
#include "herd/textutil.h"
#include "recording_services.h"

namespace ovista {
namespace {

const std::string kExamples = std::string(OVISTA_SOURCE_DIR) + "/examples/";

struct SampleHerd {
    std::string file;
    std::string herdNumber;
    int lactations = 0;
};

// One entry per herd file of the manifest (it has a line per mating group).
std::vector<SampleHerd> ManifestHerds() {
    std::ifstream in(kExamples + "manifest.csv", std::ios::binary);
    std::vector<SampleHerd> herds;
    std::string line;
    CsvFields f;
    ReadTextLine(in, line);  // heading: herd,file,herd_number,pattern,quality,messy,cows,lactations,...
    while (ReadTextLine(in, line)) {
        SplitCsvLine(line, f);
        if (f[1].empty() || (!herds.empty() && herds.back().file == f[1])) continue;
        herds.push_back({f[1], f[2], std::stoi(f[7])});
    }
    return herds;
}

class SampleHerds : public ::testing::Test {
protected:
    SampleHerds() : saved_(GetDateSettings()) { SetToday(2026, 6, 1); }
    ~SampleHerds() override { SetToday(saved_.todayYear, saved_.todayMonth, saved_.todayDay); }

    testing::RecordingServices services_;

private:
    DateSettings saved_;
};

TEST_F(SampleHerds, EachLoadsIntoTheLactationsTheGeneratorWrote) {
    const std::vector<SampleHerd> herds = ManifestHerds();
    ASSERT_GE(herds.size(), 5u);
    for (const SampleHerd& herd : herds) {
        SCOPED_TRACE(herd.file);
        std::unique_ptr<HerdList> list;
        HerdHeaderFields header;
        ASSERT_TRUE(LoadHerdFile(kExamples + herd.file, herd.file, list, header));
        EXPECT_EQ(list->Count(), herd.lactations);
        std::string kind = header[0];
        for (char& c : kind) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        EXPECT_EQ(kind, "FARMER ID");
        EXPECT_EQ(header[1], herd.herdNumber);
        EXPECT_EQ(ParseDateText(header[4]), MakeDate(31, 5, 2026));
    }
    EXPECT_TRUE(services_.infos.empty()) << services_.infos.front();
}

TEST_F(SampleHerds, MessyFileKeepsEveryDateOfItsRows) {
    std::unique_ptr<HerdList> list;
    HerdHeaderFields header;
    ASSERT_TRUE(LoadHerdFile(kExamples + "herd006.csv", "herd006", list, header));
    ASSERT_GT(list->Count(), 0);
    int dated = 0;
    for (int i = 1; i <= list->Count(); ++i) {
        FullCowRecord record;
        list->GetRecord(i, record);
        EXPECT_GT(record.Calved, MakeDate(1, 1, 2022)) << record.Key;
        EXPECT_LE(record.Calved, MakeDate(31, 5, 2026)) << record.Key;
        for (const PregTestRecord& test : record.PregTests) dated += test.Date != 0;
    }
    EXPECT_GT(dated, list->Count() / 2) << "pregnancy tests in dd-mm-yy and dd.mm.yy forms";
    EXPECT_TRUE(services_.infos.empty());
}

TEST_F(SampleHerds, BatchFileNamesEachHerdAsItsIdentificationRowDoes) {
    std::map<std::string, std::string> numbers;
    for (const SampleHerd& herd : ManifestHerds()) numbers[herd.file] = herd.herdNumber;
    std::ifstream in(kExamples + "batch.txt", std::ios::binary);
    std::string line;
    CsvFields f;
    int lines = 0;
    while (ReadTextLine(in, line)) {
        SplitCsvLine(line, f);
        if (f[0].empty()) continue;
        ++lines;
        SCOPED_TRACE(line);
        ASSERT_EQ(numbers.count(f[0]), 1u) << "paths are relative to the repository root";
        EXPECT_EQ(f[1], numbers[f[0]]);
        EXPECT_NE(f[2].find(','), std::string::npos) << "owner with a comma inside quotes";
        EXPECT_NE(f[3].find(','), std::string::npos) << "address with commas inside quotes";
        EXPECT_EQ(ParseDateText(f[4]), MakeDate(31, 5, 2026));
    }
    EXPECT_EQ(lines, static_cast<int>(numbers.size()));
}

}  // namespace
}  // namespace ovista
