// A herd whose analysis fails on a mistyped year is analysed again without the lactations
// holding a date more than 25 years from the analysis date.
#include "app/mistyped_years.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "app/runs.h"
#include "app/summary_file.h"
#include "app/working_folder.h"
#include "herd/errors.h"
#include "herd/herd_file.h"
#include "recording_services.h"
#include "test_files.h"

namespace ovista {
namespace {

namespace fs = std::filesystem;
using testing::Lines;
using testing::PrivateFolder;
using testing::ReadFile;
using testing::WriteFile;

TEST(MistypedYears, TheFirstDateMoreThan25YearsFromTheAnalysisDateIsNamed) {
    const Date analysis = MakeDate(31, 5, 2026);
    struct Case {
        void (*set)(CowRecord&, Date);
        Date date;
        std::string field;  // empty: not mistyped
    };
    const std::vector<Case> cases = {
        {[](CowRecord& r, Date d) { r.Culled = d; }, MakeDate(1, 1, 2202), "culling date"},
        {[](CowRecord& r, Date d) { r.Culled = d; }, analysis + 9131, ""},
        {[](CowRecord& r, Date d) { r.Culled = d; }, analysis + 9132, "culling date"},
        {[](CowRecord& r, Date d) { r.Dryoff = d; }, analysis - 9132, "dry-off date"},
        {[](CowRecord& r, Date d) { r.Dryoff = d; }, analysis - 9131, ""},
        {[](CowRecord& r, Date d) { r.NextCalve = d; }, MakeDate(3, 8, 2062), "next calving date"},
        {[](CowRecord& r, Date d) { r.Services[13].Date = d; }, MakeDate(3, 8, 1926), "service date"},
        {[](CowRecord& r, Date d) { r.PregTests[5].Date = d; }, MakeDate(3, 8, 2206), "pregnancy test date"},
        {[](CowRecord& r, Date d) { r.Calved = d; r.Culled = d; }, MakeDate(3, 8, 1925), "calving date"},
    };
    for (const Case& c : cases) {
        HerdList herd;
        CowRecord record;
        int index = 0;
        herd.FindOrAddRecord("A1                 1", record, index);
        herd.FindOrAddRecord("B2         46000", record, index);
        record.Calved = MakeDate(1, 8, 2025);
        record.Dryoff = record.Services[0].Date = 0;  // no date is never mistyped
        c.set(record, c.date);
        herd.PutRecord(index, record);
        const std::vector<MistypedLactation> found = FindMistypedLactations(herd, analysis);
        if (c.field.empty()) {
            EXPECT_TRUE(found.empty()) << c.date;
            continue;
        }
        ASSERT_EQ(found.size(), 1u) << c.field;
        EXPECT_EQ(found[0].index, index);
        EXPECT_EQ(found[0].field, c.field);
        EXPECT_EQ(found[0].date, c.date);
    }
}

// A herd file's rows as fields (herd files of the generator hold no quotes).
std::vector<std::vector<std::string>> Rows(const std::string& text) {
    std::vector<std::vector<std::string>> rows;
    for (const std::string& line : Lines(text)) {
        std::vector<std::string> fields;
        std::stringstream in(line);
        for (std::string field; std::getline(in, field, ',');) fields.push_back(field);
        fields.resize(std::max<std::size_t>(fields.size(), 79));
        rows.push_back(fields);
    }
    return rows;
}

std::string Text(const std::vector<std::vector<std::string>>& rows) {
    std::string text;
    for (const auto& row : rows) {
        for (std::size_t i = 0; i < row.size(); ++i) text += (i ? "," : "") + row[i];
        text += "\r\n";
    }
    return text;
}

class MistypedYearRuns : public ::testing::Test {
protected:
    MistypedYearRuns() {
        SetToday(2026, 12, 7);
        folder_ = PrivateFolder("ovista_mistyped_");
        fs::remove_all(folder_);
        fs::create_directories(folder_);
        steps_ = StandardRunSteps();
        steps_.print = [](const HerdReport&, const ReportOutput&) {};
    }
    ~MistypedYearRuns() override {
        ResetWorkingFolder();
        fs::remove_all(folder_);
    }

    std::string Path(const std::string& name) const { return (folder_ / name).string(); }

    // Runs a batch of the named herd files; returns its log.
    std::string Batch(const std::vector<std::string>& herds) {
        std::string text;
        for (const std::string& herd : herds) text += Path(herd) + ",H,,,31/05/2026\r\n";
        WriteFile(folder_ / "batch.txt", text);
        EXPECT_TRUE(RunBatch(folder_.string(), Path("batch.txt"), {}, steps_));
        return ReadFile(folder_ / kBatchLogFileName);
    }

    testing::RecordingServices services_;
    fs::path folder_;
    RunSteps steps_;
};

// The latest season's lactation rows of the sample herd that no earlier row's next calving
// makes: deleting such a row deletes its lactation.
TEST_F(MistypedYearRuns, AHerdWithAMistypedYearGivesTheRowsOfTheHerdWithoutThatLactation) {
    const auto rows = Rows(ReadFile(fs::path(OVISTA_SOURCE_DIR) / "examples/herd001.csv"));
    std::set<std::pair<std::string, std::string>> recalvings;
    for (const auto& row : rows) recalvings.insert({row[0], row[4]});
    std::vector<std::size_t> own;
    for (std::size_t i = 2; i < rows.size(); ++i) {
        const auto& row = rows[i];
        if (row[1].ends_with("/2025") && row[4].empty() && row[7].empty() &&
            recalvings.count({row[0], row[1]}) == 0) {
            own.push_back(i);
        }
    }
    ASSERT_GE(own.size(), 2u);
    auto culled = rows, tested = rows, deleted = rows;
    culled[own[0]][7] = "01/01/2202";
    tested[own[1]][67] = "15/01/2206";  // a positive test, 6 weeks
    tested[own[1]][68] = "6";
    deleted.erase(deleted.begin() + static_cast<std::ptrdiff_t>(own[1]));
    deleted.erase(deleted.begin() + static_cast<std::ptrdiff_t>(own[0]));
    auto both = culled;
    both[own[1]] = tested[own[1]];
    WriteFile(folder_ / "culled.csv", Text(culled));
    WriteFile(folder_ / "tested.csv", Text(tested));
    WriteFile(folder_ / "both.csv", Text(both));
    WriteFile(folder_ / "deleted.csv", Text(deleted));
    auto without = rows;
    without.erase(without.begin() + static_cast<std::ptrdiff_t>(own[0]));
    WriteFile(folder_ / "without culled.csv", Text(without));
    without = rows;
    without.erase(without.begin() + static_cast<std::ptrdiff_t>(own[1]));
    WriteFile(folder_ / "without tested.csv", Text(without));

    const std::vector<std::string> expected = {"without culled.csv", "without tested.csv", "deleted.csv"};
    Batch(expected);
    const std::string summary = ReadFile(folder_ / kSummaryFileName);
    const std::string conceptions = ReadFile(folder_ / kConceptionFileName);
    const std::string trace = ReadFile(folder_ / "DbugQMR.TXT");
    ASSERT_EQ(Lines(summary).size(), 4u);

    EXPECT_EQ(Batch({"culled.csv", "tested.csv", "both.csv"}),
              "Data analysed from " + Path("culled.csv") + "\r\nData analysed from " +
                  Path("tested.csv") + "\r\nData analysed from " + Path("both.csv") + "\r\n");
    EXPECT_EQ(ReadFile(folder_ / kSummaryFileName), summary);
    EXPECT_EQ(ReadFile(folder_ / kConceptionFileName), conceptions);
    const std::string culledCow = "lactation " + rows[own[0]][0] + " calved " + rows[own[0]][1];
    const std::string testedCow = "lactation " + rows[own[1]][0] + " calved " + rows[own[1]][1];
    const std::string far = " is more than 25 years from the analysis date";
    EXPECT_EQ(services_.infos,
              (std::vector<std::string>{
                  Path("culled.csv") + ": " + culledCow + " left out: culling date 01/01/2202" + far,
                  Path("tested.csv") + ": " + testedCow + " left out: pregnancy test date 15/01/2206" + far,
                  Path("both.csv") + ": " + culledCow + " left out: culling date 01/01/2202" + far,
                  Path("both.csv") + ": " + testedCow + " left out: pregnancy test date 15/01/2206" + far}));
    // The failed first attempt's trace stays; the second is that of the herd without the lactation.
    const std::string again = "Herd analysed again without 2 lactations dated more than 25 years"
                              " from the analysis date\r\n";
    const std::string retried = ReadFile(folder_ / "DbugQMR.TXT");
    const std::size_t at = retried.find(again);
    ASSERT_NE(at, std::string::npos);
    EXPECT_EQ(retried.substr(at + again.size()), trace.substr(trace.rfind("Herd ID = ")));
}

TEST_F(MistypedYearRuns, OnlyARangeErrorOfAHerdWithAMistypedYearIsTriedAgain) {
    WriteFile(folder_ / "typo.csv", "A1,01/08/2025,,,,,,01/01/2202\r\nB2,05/08/2025\r\n");
    WriteFile(folder_ / "fine.csv", "A1,01/08/2025\r\nB2,05/08/2025\r\n");
    std::vector<int> lactations;
    std::string raise;
    steps_.analyse = [&](const std::string&, Date, const std::string&, const std::string&,
                         HerdList& herd, HerdReport& report, const std::string&,
                         const SummaryWriter& writeSummary) {
        lactations.push_back(herd.Count());
        ClearHerdReport(report);
        writeSummary(report);  // a failure after the row was handed over leaves no row
        if (raise == "range" || (raise == "range once" && lactations.size() == 1)) throw RangeError();
        if (raise == "zero") throw OvistaError("Analysis date must not be zero.");
    };
    const std::string left = Path("typo.csv") +
                             ": lactation A1 calved 01/08/2025 left out: culling date 01/01/2202"
                             " is more than 25 years from the analysis date";
    struct Case {
        std::string herd, raise, log;
        std::vector<int> lactations;
        std::vector<std::string> infos;
    };
    const std::vector<Case> cases = {
        {"typo.csv", "", "Data analysed from ", {2}, {}},
        {"typo.csv", "range once", "Data analysed from ", {2, 1}, {left}},
        {"typo.csv", "range", "Analysis failes for @: Range check error", {2, 1}, {left}},
        {"typo.csv", "zero", "Analysis failes for @: Analysis date must not be zero.", {2}, {}},
        {"fine.csv", "range", "Analysis failes for @: Range check error", {2}, {}},
    };
    for (const Case& c : cases) {
        raise = c.raise;
        lactations.clear();
        services_.infos.clear();
        std::string log = c.log;
        if (log.find('@') != std::string::npos) {
            log.replace(log.find('@'), 1, Path(c.herd));
        } else {
            log += Path(c.herd);
        }
        EXPECT_EQ(Batch({c.herd}), log + "\r\n") << c.raise;
        EXPECT_EQ(lactations, c.lactations) << c.raise;
        EXPECT_EQ(services_.infos, c.infos) << c.raise;
        const std::size_t rows = Lines(ReadFile(folder_ / kSummaryFileName)).size();
        EXPECT_EQ(rows, c.log.starts_with("Data") ? 2u : 1u) << c.raise;
    }
    // The single-herd run does the same.
    raise = "range once";
    lactations.clear();
    services_.infos.clear();
    WriteFile(folder_ / "typo.csv", "FARMER ID,H1,,,31/05/2026\r\nA1,01/08/2025,,,,,,01/01/2202\r\n"
                                    "B2,05/08/2025\r\n");
    SetWorkingFolder(folder_.string());
    EXPECT_TRUE(RunSingleHerdCsv(Path("typo.csv"), {}, steps_));
    EXPECT_EQ(services_.infos, std::vector<std::string>{left});
    EXPECT_EQ(Lines(ReadFile(folder_ / kSummaryFileName)).size(), 2u);
}

}  // namespace
}  // namespace ovista
