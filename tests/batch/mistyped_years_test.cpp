// A herd whose analysis fails on a mistyped year is analysed again without the lactations
// holding a date more than 25 years from the analysis date.
#include "analysis/mistyped_years.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <limits>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "batch/runs.h"
#include "formats/summary_file.h"
#include "batch/working_folder.h"
#include "herd/errors.h"
#include "recording_services.h"
#include "test_files.h"
#include "test_job.h"

namespace ovista {
namespace {

namespace fs = std::filesystem;
using testing::Lines;
using testing::ReadFile;
using testing::WriteFile;

TEST(MistypedYears, TheFirstDateMoreThan25YearsFromTheAnalysisDateIsNamed) {
    const Date day = MakeDate(31, 5, 2026);
    using Set = void (*)(FullCowRecord&, Date);
    const std::vector<std::tuple<Set, Date, std::string>> cases = {
        {[](FullCowRecord& r, Date d) { r.Culled = d; }, day + 9131, ""},
        {[](FullCowRecord& r, Date d) { r.Culled = d; }, day + 9132, "culling date"},
        {[](FullCowRecord& r, Date d) { r.Dryoff = d; }, day - 9131, ""},
        {[](FullCowRecord& r, Date d) { r.Dryoff = d; }, day - 9132, "dry-off date"},
        {[](FullCowRecord& r, Date d) { r.NextCalve = d; }, MakeDate(3, 8, 2062), "next calving date"},
        {[](FullCowRecord& r, Date d) { r.Services[13].Date = d; }, MakeDate(3, 8, 1926), "service date"},
        {[](FullCowRecord& r, Date d) { r.PregTests[5].Date = d; }, MakeDate(3, 8, 2206), "pregnancy test date"},
        {[](FullCowRecord& r, Date d) { r.Calved = r.Culled = d; }, MakeDate(3, 8, 1925), "calving date"},
    };
    for (const auto& [set, date, field] : cases) {
        HerdList herd;
        FullCowRecord record;
        int index = 0;
        herd.FindOrAddRecord("A1", record, index);  // no date at all: not mistyped
        herd.FindOrAddRecord("B2", record, index);
        record.Calved = MakeDate(1, 8, 2025);
        set(record, date);
        herd.PutRecord(index, record);
        const std::vector<MistypedLactation> found = FindMistypedLactations(herd, day);
        ASSERT_EQ(found.size(), field.empty() ? 0u : 1u) << date;
        if (field.empty()) continue;
        EXPECT_EQ(found[0].index, index);
        EXPECT_EQ(found[0].field, field);
        EXPECT_EQ(found[0].date, date);
    }
}

// Each lactation's earliest date, conceptions from its tests included, and the herd's span.
TEST(LactationDateSpan, EarliestDatesWithConceptionsAndTheSpanOverLactations) {
    const Date c = MakeDate(1, 8, 2025);
    using Set = void (*)(FullCowRecord&);
    struct Case {
        const char* name;
        Set set;
        Date earliest;  // what Add returns
        Date first;     // the span after it alone: 0, 0 when no date was added
        Date last;
    };
    const Date lowest = std::numeric_limits<Date>::min();
    const Case cases[] = {
        {"calving only", [](FullCowRecord& r) { r.Calved = MakeDate(1, 8, 2025); }, c, c, c},
        {"no calving: the lowest date, the others spanned", [](FullCowRecord& r) { r.Dryoff = MakeDate(1, 8, 2025); },
         lowest, c, c},
        {"no date at all", [](FullCowRecord&) {}, lowest, 0, 0},
        {"a test in the last slot only, 10 weeks pregnant",
         [](FullCowRecord& r) { r.Calved = MakeDate(1, 8, 2025); r.PregTests[5] = {MakeDate(1, 8, 2025) + 30, 10}; },
         c + 30 - 70, c, c + 30},
        {"weeks without a test date count for nothing",
         [](FullCowRecord& r) { r.Calved = MakeDate(1, 8, 2025); r.PregTests[2] = {0, 40}; }, c, c, c},
        {"a service and a next calving",
         [](FullCowRecord& r) { r.Calved = MakeDate(1, 8, 2025); r.Services[0].Date = MakeDate(1, 8, 2025) - 5;
                            r.NextCalve = MakeDate(1, 8, 2026); },
         c - 5, c - 5, MakeDate(1, 8, 2026)},
        {"dates before day 0", [](FullCowRecord& r) { r.Calved = -400; r.Culled = -20; }, -400, -400, -20},
        {"a conception below the lowest date is the lowest",
         [](FullCowRecord& r) { r.Calved = lowest + 3; r.PregTests[0] = {lowest + 5, 2}; }, lowest, lowest + 3, lowest + 5},
    };
    LactationDateSpan herd;
    for (const Case& k : cases) {
        FullCowRecord record;
        k.set(record);
        LactationDateSpan alone;
        EXPECT_EQ(alone.Add(record), k.earliest) << k.name;
        EXPECT_EQ(alone.Latest(), k.last) << k.name;
        EXPECT_EQ(alone.HoldsMistyped(k.first + kMistypedYearDays + 1), k.last != 0) << k.name;
        herd.Add(record);
    }
    EXPECT_EQ(herd.EarliestWithConceptions(), lowest);
    EXPECT_EQ(herd.Latest(), MakeDate(1, 8, 2026));
    EXPECT_TRUE(herd.HoldsMistyped(c));
}

class MistypedYearRuns : public ::testing::Test {
protected:
    MistypedYearRuns() {
        SetToday(2026, 12, 7);
        folder_ = testing::PrivateFolder("ovista_mistyped_");
        fs::remove_all(folder_);
        fs::create_directories(folder_);
        steps_ = StandardRunSteps();
        steps_.print = [](const HerdReport&, const ReportOutput&) {};
        steps_.printerInstalled = nullptr;
    }
    ~MistypedYearRuns() override {
        fs::remove_all(folder_);
    }

    std::string Path(const std::string& name) const { return (folder_ / name).string(); }
    std::string Out(const char* name) const { return ReadFile(folder_ / name); }

    // Runs a batch of the named herd files; returns its log.
    std::string Batch(const std::vector<std::string>& herds) {
        std::string text;
        for (const std::string& herd : herds) text += Path(herd) + ",H,,,31/05/2026\r\n";
        WriteFile(folder_ / "batch.txt", text);
        EXPECT_TRUE(RunBatch(testing::Job(steps_, folder_.string()), Path("batch.txt")));
        return Out(kBatchLogFileName);
    }

    testing::RecordingServices services_;
    fs::path folder_;
    RunSteps steps_;
};

TEST_F(MistypedYearRuns, AHerdWithAMistypedYearGivesTheRowsOfTheHerdWithoutThatLactation) {
    // Rows of the sample herd (no quotes in lactation rows), and two of the latest season that
    // no earlier row's next calving makes: deleting such a row deletes its lactation.
    std::vector<std::vector<std::string>> rows;
    std::set<std::pair<std::string, std::string>> recalvings;
    for (const std::string& line : Lines(ReadFile(fs::path(OVISTA_SOURCE_DIR) / "examples/herd001.csv"))) {
        std::vector<std::string>& row = rows.emplace_back();
        std::stringstream in(line);
        for (std::string field; std::getline(in, field, ',');) row.push_back(field);
        row.resize(std::max<std::size_t>(row.size(), 79));
        recalvings.insert({row[0], row[4]});
    }
    std::vector<std::size_t> own;
    for (std::size_t i = 2; i < rows.size(); ++i) {
        if (rows[i][1].ends_with("/2025") && rows[i][4].empty() && rows[i][7].empty() &&
            recalvings.count({rows[i][0], rows[i][1]}) == 0) {
            own.push_back(i);
        }
    }
    ASSERT_GE(own.size(), 2u);
    auto write = [&](const std::string& name, std::size_t typoRow, std::size_t column, const std::string& date) {
        std::string with, without;
        for (std::size_t i = 0; i < rows.size(); ++i) {
            std::vector<std::string> row = rows[i];
            if (i == typoRow) row[column] = date;
            if (i == typoRow && column == 67) row[68] = "6";  // a positive test
            std::string line;
            for (std::size_t c = 0; c < row.size(); ++c) line += (c ? "," : "") + row[c];
            with += line + "\r\n";
            if (i != typoRow) without += line + "\r\n";
        }
        WriteFile(folder_ / (name + ".csv"), with);
        WriteFile(folder_ / (name + " deleted.csv"), without);
    };
    write("culled", own[0], 7, "01/01/2202");
    write("tested", own[1], 67, "15/01/2206");

    Batch({"culled deleted.csv", "tested deleted.csv"});
    const std::string summary = Out(kSummaryFileName), conceptions = Out(kConceptionFileName);
    const std::string trace = Out("DbugQMR.TXT");
    ASSERT_EQ(Lines(summary).size(), 3u);
    EXPECT_EQ(Batch({"culled.csv", "tested.csv"}), "Data analysed from " + Path("culled.csv") +
                                                       "\r\nData analysed from " + Path("tested.csv") + "\r\n");
    EXPECT_EQ(Out(kSummaryFileName), summary);
    EXPECT_EQ(Out(kConceptionFileName), conceptions);
    const std::string far = " is more than 25 years from the analysis date";
    EXPECT_EQ(services_.infos,
              (std::vector<std::string>{
                  Path("culled.csv") + ": lactation " + rows[own[0]][0] + " calved " + rows[own[0]][1] +
                      " left out: culling date 01/01/2202" + far,
                  Path("tested.csv") + ": lactation " + rows[own[1]][0] + " calved " + rows[own[1]][1] +
                      " left out: pregnancy test date 15/01/2206" + far}));
    // The failed first attempt's trace stays; the second is that of the herd without the lactation.
    const std::string again = "Herd analysed again without 1 lactation dated more than 25 years"
                              " from the analysis date\r\n";
    const std::string retried = Out("DbugQMR.TXT");
    ASSERT_NE(retried.rfind(again), std::string::npos);
    EXPECT_EQ(retried.substr(retried.rfind(again) + again.size()), trace.substr(trace.rfind("Herd ID = ")));
}

TEST_F(MistypedYearRuns, OnlyARangeErrorOfAHerdWithAMistypedYearIsTriedAgain) {
    WriteFile(folder_ / "typo.csv", "FARMER ID,H1,,,31/05/2026\r\nA1,01/08/2025,,,,,,01/01/2202\r\nB2,05/08/2025\r\n");
    WriteFile(folder_ / "fine.csv", "A1,01/08/2025\r\nB2,05/08/2025\r\n");
    std::vector<int> lactations;
    std::string raise;
    steps_.analyse = [&](const std::string&, Date, const std::string&, const std::string&, HerdList& herd,
                         HerdReport& report, const std::string&, const SummaryWriter& writeSummary,
                         UserServices&, CowLists*, ReportExtent) {
        lactations.push_back(herd.Count());
        ClearHerdReport(report);
        writeSummary(report);  // a failure after the row was handed over leaves no row
        if (raise == "range" || (raise == "once" && lactations.size() == 1)) throw RangeError();
        if (raise == "zero") throw OvistaError("Analysis date must not be zero.");
    };
    const std::string left = Path("typo.csv") + ": lactation A1 calved 01/08/2025 left out: culling date"
                                                " 01/01/2202 is more than 25 years from the analysis date";
    const std::vector<std::tuple<std::string, std::string, std::string, std::vector<int>, bool>> cases = {
        {"typo.csv", "", "Data analysed from @", {2}, false},
        {"typo.csv", "once", "Data analysed from @", {2, 1}, true},
        {"typo.csv", "range", "Analysis failes for @: Range check error", {2, 1}, true},
        {"typo.csv", "zero", "Analysis failes for @: Analysis date must not be zero.", {2}, false},
        {"fine.csv", "range", "Analysis failes for @: Range check error", {2}, false},
    };
    for (const auto& [herd, how, logLine, calls, named] : cases) {
        raise = how;
        lactations.clear();
        services_.infos.clear();
        std::string log = logLine;
        log.replace(log.find('@'), 1, Path(herd));
        EXPECT_EQ(Batch({herd}), log + "\r\n") << how;
        EXPECT_EQ(lactations, calls) << how;
        EXPECT_EQ(services_.infos, named ? std::vector<std::string>{left} : std::vector<std::string>{}) << how;
        EXPECT_EQ(Lines(Out(kSummaryFileName)).size(), log.starts_with("Data") ? 2u : 1u) << how;
    }
    // The single-herd run does the same.
    raise = "once";
    lactations.clear();
    services_.infos.clear();
    EXPECT_TRUE(RunSingleHerdCsv(testing::Job(steps_, folder_.string()), Path("typo.csv")));
    EXPECT_EQ(services_.infos, std::vector<std::string>{left});
    EXPECT_EQ(Lines(Out(kSummaryFileName)).size(), 2u);
}

}  // namespace
}  // namespace ovista
