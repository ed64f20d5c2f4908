// Season trends: earlier analysis dates, and the built program with TRENDS on the sample
// herds, a herd analysed on 29 February (its earliest seasons lie before its records), a
// herd with a mistyped year (in every season, and in the latest two only) and one with
// lactations calved long after its seasons that still count in them, against a batch of the
// same herds with the moved dates.
#include "batch/trend_seasons.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "herd/errors.h"
#include "test_files.h"

namespace ovista {
namespace {

namespace fs = std::filesystem;
using testing::kBatchFiles;
using testing::Lines;
using testing::PrivateFolder;
using testing::ReadFile;
using testing::WriteFile;

std::string LongDate(Date date) {
    const CalendarDate c = DecodeDate(date);
    char text[16];
    std::snprintf(text, sizeof text, "%02d/%02d/%04d", c.day, c.month, c.year);
    return text;
}

TEST(EarlierAnalysisDate, TheSameDayAndMonthWith29FebruaryAs28) {
    struct Case {
        Date date;
        int years;
        const char* earlier;
    };
    const Case cases[] = {
        {MakeDate(31, 5, 2026), 1, "31/05/2025"},
        {MakeDate(31, 5, 2026), 4, "31/05/2022"},
        {MakeDate(29, 2, 2024), 1, "28/02/2023"},
        {MakeDate(29, 2, 2024), 4, "28/02/2020"},  // a leap year too, and still 28 February
        {MakeDate(1, 3, 2024), 4, "01/03/2020"},
    };
    for (const Case& c : cases) EXPECT_EQ(LongDate(EarlierAnalysisDate(c.date, c.years)), c.earlier) << c.years;
    EXPECT_THROW(EarlierAnalysisDate(kFirstDate + 400, 4), RangeError);  // February of the year 2
}

// Each earlier season walks the lactations dated before the last of its counted future
// calvings, whether it starts afresh or narrows the walk of the season after it.
TEST(LoadedHerd, EachSeasonWalksTheLactationsDatedBeforeItsLastCountedFutureCalving) {
    const Date date = MakeDate(31, 5, 2026);
    const auto lastWalked = [&](int years) { return EarlierAnalysisDate(date, years) + kFutureCalvingDays; };
    HerdList herd([](std::string_view a, std::string_view b) { return a.compare(b); });
    // In key order, so that each is at its place in the list.
    const Date calvings[] = {lastWalked(4), lastWalked(4) + 1, lastWalked(1), lastWalked(1) + 1};
    for (const Date calved : calvings) {
        FullCowRecord cow;
        cow.Key = "COW" + std::to_string(calved);
        cow.Calved = calved;
        FullCowRecord stored;
        int index = 0;
        herd.FindOrAddRecord(cow.Key.str(), stored, index);
        herd.PutRecord(index, cow);
    }
    const LoadedHerd loaded(herd, date);
    const std::vector<std::uint32_t> walked[] = {{}, {0, 1, 2}, {0, 1}, {0, 1}, {0}};  // by years back
    LactationWalk narrowed;
    for (int years = 1; years <= kEarlierSeasonCount; ++years) {
        LactationWalk fresh;
        loaded.WalkInto(herd, EarlierAnalysisDate(date, years), fresh);
        loaded.WalkInto(herd, EarlierAnalysisDate(date, years), narrowed, years > 1);
        EXPECT_EQ(fresh.places, walked[years]) << years;
        EXPECT_EQ(narrowed.places, walked[years]) << years;
    }
    LactationWalk walk;
    EXPECT_THROW(loaded.WalkInto(herd, date, walk), std::logic_error);  // the herd's own season
}

class TrendRuns : public ::testing::Test {
protected:
    TrendRuns() {
        folder_ = PrivateFolder("ovista_trends_");
        fs::remove_all(folder_);
        const fs::path examples = fs::path(OVISTA_SOURCE_DIR) / "examples";
        std::vector<std::string> lines;
        for (const std::string& line : Lines(ReadFile(examples / "batch.txt"))) {
            if (!line.empty()) lines.push_back((examples / line).string());
        }
        std::string leap = ReadFile(examples / "herd001.csv");
        leap.replace(leap.find("590001"), 6, "590099");
        WriteFile(folder_ / "leap.csv", leap);
        lines.push_back((folder_ / "leap.csv").string() + ",1,Owner,Address,29/02/2024");
        // A culling typed in the wrong century: each analysis goes again without it.
        std::string mistyped = ReadFile(examples / "herd004.csv");
        mistyped.replace(mistyped.find("680004"), 6, "680098");
        mistyped.insert(mistyped.find('\n', mistyped.find("\nCowID")) + 1, "x9,01/08/2024,,,,,,01/01/2202\n");
        WriteFile(folder_ / "mistyped.csv", mistyped);
        lines.push_back((folder_ / "mistyped.csv").string() + ",2,Owner,Address,31/05/2026");
        // A culling mistyped for the herd's own season and the one before, not for the others.
        std::string once = ReadFile(examples / "herd004.csv");
        once.replace(once.find("680004"), 6, "680096");
        once.insert(once.find('\n', once.find("\nCowID")) + 1, "x8,01/08/2024,,,,,,01/12/1999\n");
        WriteFile(folder_ / "once.csv", once);
        lines.push_back((folder_ / "once.csv").string() + ",4,Owner,Address,31/05/2026");
        // Lactations calved long after every season that still count in some: conceptions
        // their tests point to in the winters of 2023 and 2024, and a week of services in
        // April 2025, dated long before their calvings.
        std::string late = ReadFile(examples / "herd001.csv");
        late.replace(late.find("590001"), 6, "590097");
        std::string rows;
        for (int cow = 1; cow <= 6; ++cow) {
            const std::string id = std::to_string(cow);
            rows += "e" + id + ",01/08/2040,,,,,,,5,0,0" + std::string(57, ',') + "01/10/2040," +
                    (cow <= 3 ? "846" : "898") + std::string(10, ',') + "\n";
            rows += "f" + id + ",01/08/2045,,,,,,,5,0,0,0" + id + "/04/2025,TRUE,X" + std::string(65, ',') + "\n";
        }
        late.insert(late.find('\n', late.find("\nCowID")) + 1, rows);
        WriteFile(folder_ / "late.csv", late);
        lines.push_back((folder_ / "late.csv").string() + ",3,Owner,Address,31/05/2026");

        // The same herds as batch lines with the analysis dates moved back.
        std::string batch, moved;
        for (const std::string& line : lines) {
            batch += line + "\r\n";
            const std::size_t comma = line.rfind(',');
            const Date date = ParseDateText(line.substr(comma + 1));
            for (int years = 1; years <= kEarlierSeasonCount; ++years) {
                moved += line.substr(0, comma + 1) + LongDate(EarlierAnalysisDate(date, years)) + "\r\n";
            }
        }
        WriteFile(folder_ / "batch.txt", batch);
        WriteFile(folder_ / "moved.txt", moved);
        lines_ = lines;
    }
    ~TrendRuns() override { if (!HasFailure()) fs::remove_all(folder_); }

    int Run(const std::string& name, const std::string& keys, const std::string& batch = "batch.txt") const {
        fs::create_directories(folder_ / name);
        const std::string command =
            "cd '" + folder_.string() + "' && QT_QPA_PLATFORM=offscreen OVISTA_TODAY=07/12/2026 '" +
            OVISTA_BINARY_DIR + "/ovista' NODIALOGS 'XFERFOLDER=" + (folder_ / name).string() + "' " +
            (batch.empty() ? "" : "'QMRBATCHFILE=" + batch + "' ") + keys + " 2>'" +
            (folder_ / name).string() + ".err' >/dev/null";
        const int status = std::system(command.c_str());
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    std::string Out(const std::string& name, const std::string& file) const { return ReadFile(folder_ / name / file); }

    fs::path folder_;
    std::vector<std::string> lines_;
};

TEST_F(TrendRuns, RowsAreThoseOfTheMovedDatesWithOneOrTwoWorkersAndMergedShards) {
    ASSERT_EQ(Run("plain", "JOBS=1 'PDFFOLDER=" + (folder_ / "plainpdf").string() + "'"), 0);
    ASSERT_EQ(Run("trends", "JOBS=1 TRENDS 'PDFFOLDER=" + (folder_ / "pdf").string() + "'"), 0);
    ASSERT_EQ(Run("moved", "JOBS=1", "moved.txt"), 0);

    const std::string trends = Out("trends", kTrendsFileName);
    EXPECT_TRUE(trends == Out("moved", "TAMSLREP.CSV"));
    EXPECT_TRUE(testing::AllLinesEndCrLf(trends));
    EXPECT_FALSE(fs::exists(folder_ / "plain" / kTrendsFileName));
    for (const char* name : kBatchFiles) EXPECT_TRUE(Out("plain", name) == Out("trends", name)) << name;
    // The messages of a herd are not said again for its earlier seasons.
    EXPECT_TRUE(ReadFile(folder_ / "plain.err") == ReadFile(folder_ / "trends.err"));
    EXPECT_NE(ReadFile(folder_ / "plain.err").find("left out"), std::string::npos);

    // The herd analysed on 29/02/2024 has records from June 2022: only 28/02/2023 gives a row.
    // The herd with the mistyped year is analysed again without it in each season; its records
    // too begin in 2022, so the season four years back gives none.
    int leapRows = 0;
    int mistypedRows = 0;
    int onceRows = 0;
    for (const std::string& row : Lines(trends)) {
        leapRows += row.find(",590099,") != std::string::npos;
        mistypedRows += row.find(",680098,") != std::string::npos;
        onceRows += row.find(",680096,") != std::string::npos;
    }
    EXPECT_EQ(leapRows, 1);
    EXPECT_EQ(mistypedRows, 3);
    EXPECT_EQ(onceRows, 3);

    // Reports get the third page.
    const std::string info = "pdfinfo '" + (folder_ / "pdf" / "herd001.pdf").string() + "' | grep Pages: > '" +
                             (folder_ / "pages.txt").string() + "'";
    ASSERT_EQ(std::system(info.c_str()), 0);
    EXPECT_NE(ReadFile(folder_ / "pages.txt").find(" 3\n"), std::string::npos);

    // Two workers, and shards merged, give the same files. The cow lists are of the current
    // seasons only: the sample herds' rows come first, as without TRENDS.
    ASSERT_EQ(Run("two", "JOBS=2 TRENDS COWLISTS"), 0);
    EXPECT_TRUE(trends == Out("two", kTrendsFileName));
    const std::string cows = Out("two", "COWS.CSV");
    EXPECT_TRUE(cows.starts_with(ReadFile(fs::path(OVISTA_TEST_DATA) / "formats/sample_cows.csv")));

    std::string shards;
    const std::size_t cut = 3;
    for (int s = 0; s < 2; ++s) {
        std::string shard;
        for (std::size_t i = s == 0 ? 0 : cut; i < (s == 0 ? cut : lines_.size()); ++i) shard += lines_[i] + "\r\n";
        const std::string name = "shard" + std::to_string(s);
        WriteFile(folder_ / (name + ".txt"), shard);
        ASSERT_EQ(Run(name, "JOBS=2 TRENDS COWLISTS", name + ".txt"), 0);
        shards += (s ? "," : "") + (folder_ / name).string();
    }
    ASSERT_EQ(Run("merged", "'MERGE=" + shards + "'", ""), 0) << ReadFile(folder_ / "merged.err");
    EXPECT_TRUE(trends == Out("merged", kTrendsFileName));
    EXPECT_TRUE(cows == Out("merged", "COWS.CSV"));
    EXPECT_TRUE(Out("trends", "TAMSLREP.CSV") == Out("merged", "TAMSLREP.CSV"));
    // A shard run without TRENDS cannot be merged with shards run with it.
    ASSERT_EQ(Run("shard1", "JOBS=2", "shard1.txt"), 0);
    EXPECT_EQ(Run("mixed", "'MERGE=" + shards + "'", ""), 1);
}

}  // namespace
}  // namespace ovista
