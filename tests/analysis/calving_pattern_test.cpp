#include "analysis/calving_pattern.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <deque>
#include <string>
#include <vector>

#include "analysis/analyse_herd.h"
#include "herd/csv_line.h"
#include "herd/errors.h"
#include "herd/herd_file.h"
#include "recording_services.h"

namespace ovista {
namespace {

namespace fs = std::filesystem;

// A herd analysed as of 31/05/2010: period 0 runs 01/06/2009..31/05/2010, period 1 one month
// earlier. Calvings and conceptions go straight into the histograms, lactations into the list.
class PeriodTest : public ::testing::Test {
protected:
    PeriodTest()
        : herd([](std::string_view a, std::string_view b) { return a.compare(b); }),
          today(MakeDate(31, 5, 2010)),
          start(MakeDate(1, 6, 2009)) {
        context = std::make_unique<AnalysisContext>(herd, report, today, [this](HerdReport& r) {
            ++rowsWritten;
            written = r;
        });
        context->Period(0) = {start, MakeDate(31, 5, 2010)};
        context->Period(1) = {MakeDate(1, 5, 2009), MakeDate(30, 4, 2010)};
    }

    Date Day(int offset) const { return start + offset; }
    void CalveOn(Date date, int count) { context->DailyCalvings[today - date] += count; }
    void CalveInWeek(int week, int count) { CalveOn(Day(7 * week), count); }
    void CalveInWeeks(int first, int last, int count) {
        for (int w = first; w <= last; ++w) CalveInWeek(w, count);
    }
    void ConceiveOn(Date date, int count) { context->DailyConceptions[today - date] += count; }

    FullCowRecord& AddLactation(Date calved) {
        FullCowRecord cow;
        int index = 0;
        herd.FindOrAddRecord(MakeHerdKey("C" + std::to_string(herd.Count() + 1), calved), cow, index);
        cow.Calved = calved;
        lactations.push_back(cow);
        return lactations.back();
    }
    void StoreLactations() {
        for (const FullCowRecord& cow : lactations) {
            FullCowRecord stored;
            int index = 0;
            ASSERT_TRUE(herd.LocateRecord(cow.Key, stored, index));
            herd.PutRecord(index, cow);
        }
    }

    bool Analyse(std::int16_t period = 0) { return AnalysePeriod(*context, period); }

    HerdList herd;
    HerdReport report;
    Date today;
    Date start;
    std::unique_ptr<AnalysisContext> context;
    std::deque<FullCowRecord> lactations;  // references stay valid as lactations are added
    int rowsWritten = 0;
    HerdReport written;
};

struct Block {
    int firstWeek;
    int lastWeek;
    int calvingsPerWeek;
};
struct PatternRow {
    const char* why;
    std::vector<Block> blocks;
    int clusters;
    std::int16_t pattern;
    int weeksTo80;
};

TEST_F(PeriodTest, BlocksOfCalvingsAreClassifiedByTheirClusters) {
    const std::vector<PatternRow> rows{
        {"one 8-week block: 7 weeks of 12.5% reach 80%", {{10, 17, 10}}, 1, kSeasonalCalving, 7},
        {"60% and 40% blocks 10 weeks apart", {{0, 4, 12}, {15, 19, 8}}, 2, kSplitCalving, 8},
        {"95% and 5% (1% a week still makes a cluster)", {{0, 4, 38}, {20, 24, 2}}, 2, kSeasonalCalving, 5},
        {"a gap of 3 quiet weeks is bridged", {{0, 4, 12}, {8, 12, 8}}, 1, kSeasonalCalving, 8},
        {"a gap of 4 quiet weeks is not", {{0, 4, 12}, {9, 13, 8}}, 2, kSplitCalving, 8},
        // The removal walk starts the week after the first cluster begins, so a first block
        // of four weeks counts as short and goes.
        {"a first block of 4 weeks is removed", {{0, 3, 5}, {10, 19, 8}}, 1, kSeasonalCalving, 10},
        {"one cluster running 36 weeks after its first", {{0, 19, 8}, {20, 25, 3}, {26, 36, 2}}, 1,
         kSeasonalCalving, 20},
        {"one cluster running 37 weeks after its first", {{0, 19, 8}, {20, 23, 3}, {24, 37, 2}}, 1,
         kYearRoundCalving, 20},
    };
    for (const PatternRow& row : rows) {
        SCOPED_TRACE(row.why);
        context->DailyCalvings.Clear();
        for (const Block& block : row.blocks) CalveInWeeks(block.firstWeek, block.lastWeek, block.calvingsPerWeek);
        ASSERT_TRUE(Analyse());
        EXPECT_EQ(report.Clusters, row.clusters);
        EXPECT_EQ(report.ActCalvingPattern, row.pattern);
        EXPECT_EQ(report.Weekto80PC, row.weeksTo80);
    }
    EXPECT_DOUBLE_EQ(context->ClusterShares[1], 1.0);
}

TEST_F(PeriodTest, SplitHerdsShareTheirCalvingsOutAmongTheClusters) {
    CalveInWeeks(0, 4, 12);
    CalveInWeeks(15, 19, 8);
    ASSERT_TRUE(Analyse());
    EXPECT_DOUBLE_EQ(context->ClusterShares[1], 0.6);
    EXPECT_DOUBLE_EQ(context->ClusterShares[2], 0.4);
    for (int w = 5; w <= 14; ++w) EXPECT_EQ(context->ClusterMap[w], 0) << "week " << w;
}

TEST_F(PeriodTest, EvenCalvingOverTheYearIsYearRound) {
    for (int d = 0; d < 365; ++d) CalveOn(Day(d), 1);
    ASSERT_TRUE(Analyse());
    EXPECT_GT(report.Weekto80PC, 21);
    EXPECT_EQ(report.ActCalvingPattern, kYearRoundCalving);
}

TEST_F(PeriodTest, ASeasonalHerdWritesItsPeriodAndCalvingMSDAndOneSummaryRow) {
    CalveInWeeks(10, 17, 10);
    ASSERT_TRUE(Analyse());
    EXPECT_EQ(report.CalvingStart, start);
    EXPECT_EQ(report.CalvingStop, MakeDate(31, 5, 2010));
    EXPECT_EQ(context->ReferenceFrom, 364);
    EXPECT_EQ(context->ReferenceTo, -365);
    // No recalvings next year: 83 days after the first calving week, + 3 as the weeks are level.
    EXPECT_EQ(report.CdateMSD, Day(70 + 83 + 3));
    EXPECT_EQ(rowsWritten, 1);
    EXPECT_EQ(written.ActCalvingPattern, kSeasonalCalving);
}

TEST_F(PeriodTest, RecalvingsOfTheFollowingYearGiveTheCdateMSD) {
    CalveInWeeks(10, 17, 10);
    CalveInWeeks(62, 69, 10);  // the same block a year on
    ASSERT_TRUE(Analyse());
    // 282 days before the recalvings began, + 3 as the block is level.
    EXPECT_EQ(report.CdateMSD, Day(7 * 62 + 3 - 282));
    EXPECT_EQ(report.ActCalvingPattern, kSeasonalCalving);
}

TEST_F(PeriodTest, APeriodWithoutCalvingsFailsWithoutASummaryRow) {
    CalveOn(MakeDate(31, 5, 2009), 50);  // the day before the period
    EXPECT_FALSE(Analyse());
    EXPECT_EQ(report.Error, kErrorNoCalvingPeriod);
    EXPECT_EQ(rowsWritten, 0);
}

TEST_F(PeriodTest, CalvingsOnlyInTheLastPartWeekLeaveThePatternUnknownButWriteTheRow) {
    CalveOn(MakeDate(31, 5, 2010), 60);  // week 52 holds the last day only
    report.Technicians[kUnspecifiedTechnician].Insems = 4;
    ASSERT_TRUE(Analyse());
    EXPECT_EQ(report.ActCalvingPattern, 0);
    EXPECT_EQ(report.AnalysisCalvingPattern, 0);
    EXPECT_EQ(report.Weekto80PC, 1);
    EXPECT_EQ(report.Clusters, 0);
    EXPECT_EQ(report.CrossCheckStart, start);
    EXPECT_EQ(report.Technicians[0].Insems, 4);
    EXPECT_EQ(rowsWritten, 1);
}

TEST_F(PeriodTest, ThreeConceptionsAfterThirtyQuietDaysGiveThePDMSD) {
    CalveInWeeks(10, 17, 10);
    ConceiveOn(Day(30), 3);
    ConceiveOn(Day(31), 2);
    ASSERT_TRUE(Analyse());
    EXPECT_EQ(report.PDMSD, Day(30));

    context->DailyConceptions.Clear();
    report.PDMSD = 0;
    ConceiveOn(Day(29), 3);  // only 29 quiet days before it
    ConceiveOn(Day(40), 2);
    ASSERT_TRUE(Analyse());
    EXPECT_EQ(report.PDMSD, 0);
}

TEST_F(PeriodTest, SeasonalHerdsTakeTheFirstPDStartAndSplitHerdsTheLastWithThePreviousOne) {
    ConceiveOn(Day(40), 3);
    ConceiveOn(Day(200), 4);
    CalveInWeeks(10, 17, 10);
    ASSERT_TRUE(Analyse());
    EXPECT_EQ(report.PDMSD, Day(40));
    EXPECT_EQ(report.PrevPdMsd, 0);

    context->DailyCalvings.Clear();
    report.PDMSD = 0;
    CalveInWeeks(0, 4, 12);
    CalveInWeeks(15, 19, 8);
    ASSERT_TRUE(Analyse());
    ASSERT_EQ(report.ActCalvingPattern, kSplitCalving);
    EXPECT_EQ(report.PDMSD, Day(200));
    // Searched from 365 days before the PD MSD, 346 days on: finds the start at day 40.
    EXPECT_EQ(report.PrevPdMsd, Day(40));
}

TEST_F(PeriodTest, APDStartAfterTheCalvingPeriodMovesOneYearBack) {
    // Period 1 ends 30/04/2010; the walk from 01/05/2009 reaches 01/05/2010 on its last day.
    for (int d = 0; d < 365; ++d) CalveOn(MakeDate(1, 5, 2009) + d, 1);
    ConceiveOn(MakeDate(1, 5, 2010), 3);
    ASSERT_TRUE(Analyse(1));
    EXPECT_EQ(report.PDMSD, MakeDate(1, 5, 2009));
}

TEST(MonthsBetween, CountsMonthsOfAYearBeginningInTheSecondDatesMonth) {
    const Date june = MakeDate(1, 6, 2009);
    EXPECT_EQ(MonthsBetween(MakeDate(30, 6, 2009), june), 1);
    EXPECT_EQ(MonthsBetween(MakeDate(1, 12, 2009), june), 7);
    EXPECT_EQ(MonthsBetween(MakeDate(1, 1, 2010), june), 8);
    EXPECT_EQ(MonthsBetween(MakeDate(31, 5, 2010), june), 12);
    const Date january = MakeDate(1, 1, 2010);
    EXPECT_EQ(MonthsBetween(MakeDate(31, 1, 2010), january), 1);
    EXPECT_EQ(MonthsBetween(MakeDate(1, 7, 2010), january), 7);
    EXPECT_EQ(MonthsBetween(MakeDate(31, 12, 2010), january), 12);
}

TEST_F(PeriodTest, CrossCheckCountsTheYearByMonthAndTheLatestPeriod) {
    // Year-round herd analysed over period 1: the cross-check year is 01/05/2009..30/04/2010,
    // the latest period 01/06/2009..31/05/2010.
    for (int d = 0; d < 365; ++d) CalveOn(MakeDate(1, 5, 2009) + d, 1);
    FullCowRecord& a = AddLactation(MakeDate(15, 5, 2009));
    a.Services[0] = {.Date = MakeDate(20, 6, 2009), .Tech = herd.TechnicianNumber("T1"), .AI = true, .HasSire = true};
    a.Services[1] = {.Date = MakeDate(21, 6, 2009), .HasSire = true};  // natural mating: not counted
    a.PregTests[0] = {MakeDate(10, 8, 2009), 0};
    a.PregTests[1] = {MakeDate(11, 8, 2009), 17};
    a.PregTests[2] = {MakeDate(12, 8, 2009), 18};
    a.Culled = MakeDate(15, 5, 2010);
    AddLactation(MakeDate(30, 4, 2010));
    AddLactation(MakeDate(1, 5, 2010));
    StoreLactations();

    ASSERT_TRUE(Analyse(1));
    ASSERT_EQ(report.ActCalvingPattern, kYearRoundCalving);
    EXPECT_EQ(report.CrossCheckStart, MakeDate(1, 5, 2009));
    using Counts = std::array<std::int16_t, kCrossCheckCounts>;
    const auto& check = report.RecordsCrossCheck;
    EXPECT_EQ(check[kCrossCheckCalvings], (Counts{1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 2, 2}));
    EXPECT_EQ(check[kCrossCheckAIMatings], (Counts{0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 1}));
    EXPECT_EQ(check[kCrossCheckEarlyPregTests], (Counts{0, 0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 2, 2}));
    EXPECT_EQ(check[kCrossCheckLatePregTests], (Counts{0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 1, 1}));
    EXPECT_EQ(check[kCrossCheckCulledOrDied], (Counts{0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1}));
    EXPECT_EQ(written.RecordsCrossCheck, check);
}

TEST_F(PeriodTest, TechniciansAreRankedByInseminationsWithNegativeCountsDropped) {
    CalveInWeeks(10, 17, 10);
    const std::vector<std::int16_t> insems{3, 0, 7, -2, 3, 0, 1, 0, 0, 0, 2};
    for (std::size_t i = 0; i < kTechnicianCount; ++i) {
        report.Technicians[i] = {std::string(1, static_cast<char>('A' + i)), insems[i], static_cast<std::int16_t>(i)};
    }
    ASSERT_TRUE(Analyse());
    std::string order;
    for (const TechnicianEntry& entry : report.Technicians) order += entry.Tech.empty() ? "-" : entry.Tech;
    EXPECT_EQ(order, "CAEKGBFHIJ-");
    EXPECT_EQ(report.Technicians[1], (TechnicianEntry{"A", 3, 0}));
    EXPECT_EQ(report.Technicians[10], TechnicianEntry{});
    EXPECT_EQ(written.Technicians, report.Technicians);
}

TEST_F(PeriodTest, DatesBeyondTheCalendarRaiseARangeError) {
    auto last = std::make_unique<AnalysisContext>(herd, report, MakeDate(31, 12, 9999));
    last->Period(0) = {MakeDate(1, 1, 9999), MakeDate(31, 12, 9999)};
    EXPECT_THROW(AnalysePeriod(*last, 0), RangeError);
}

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

TEST_F(PeriodTest, TracesThePatternAndItsClustersLineByLine) {
    const fs::path folder = fs::temp_directory_path() /
                            ("ovista_pattern_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()));
    fs::remove_all(folder);
    fs::create_directories(folder);
    context->trace.Open(folder.string());
    CalveInWeeks(10, 17, 10);
    ConceiveOn(MakeDate(2, 3, 2010), 2);
    ASSERT_TRUE(Analyse());
    context->trace.Close();
    const std::string trace = ReadFile(folder / kTraceFileName);
    fs::remove_all(folder);

    std::string weeks;
    for (int w = 10; w <= 17; ++w) weeks += FormatDateText(Day(7 * w)) + "  12.5%\r\n";
    const std::string head =
        "Most recent summary for analysis = 0\r\n"
        "12 month calving period for analysis = 01/06/09 to 31/05/10\r\n"
        "Calving array reference from = 364 to -365\r\n"
        "Weekly calving pattern\r\n" +
        weeks +
        "Conception pattern\r\n"
        "02/03/10  2\r\n"
        "Sorted weekly calving pattern\r\n" +
        weeks +
        "Weeks to get 80% calved = 7\r\n"
        "First cluster map\r\n"
        "01/06/09  0.0%  0\r\n";
    EXPECT_EQ(trace.substr(0, head.size()), head);
    EXPECT_NE(trace.find("\r\n10/08/09 12.5%  1\r\n"), std::string::npos);
    const std::string clusterLines =
        "Number of calving clusters = 1\r\n"
        "Maximum cluster legnth = 7\r\n"
        "CDate MSD estimate from calvings = 04/11/09\r\n"
        "Actual calving pattern = 1\r\n"
        "CDate Estimated MSD = 04/11/09\r\n"
        "PD Estimated MSD =   /  /  \r\n"
        "PD Estimated PRev MSD =   /  /  \r\n";
    const std::size_t clusters = trace.find("Number of calving clusters = ");
    ASSERT_NE(clusters, std::string::npos);
    EXPECT_EQ(trace.substr(clusters, clusterLines.size()), clusterLines);
    for (const char* line : {"\r\nStart of cluster = 10/08/09\r\n", "\r\nJoined cluster map\r\n"}) {
        EXPECT_NE(trace.find(line), std::string::npos) << line;
    }
    EXPECT_EQ(trace.find("Joined cluster map"), trace.rfind("Joined cluster map"));
}

// The sample herds of examples/: each is classified as the generator made it, and gets its
// cross-check counts and one summary row.
TEST(SampleHerds, AreClassifiedAsGenerated) {
    const fs::path root = OVISTA_SOURCE_DIR;
    std::ifstream manifest(root / "examples" / "manifest.csv", std::ios::binary);
    std::ifstream batch(root / "examples" / "batch.txt", std::ios::binary);
    if (!manifest || !batch) GTEST_SKIP() << "no sample herds in examples/";
    testing::RecordingServices services;

    std::map<std::string, std::int16_t> generated;  // herd file name -> calving pattern
    const std::map<std::string, std::int16_t> codes{
        {"seasonal", kSeasonalCalving}, {"split", kSplitCalving}, {"yearround", kYearRoundCalving}};
    std::string line;
    CsvFields fields;
    ReadTextLine(manifest, line);  // heading
    while (ReadTextLine(manifest, line)) {
        SplitCsvLine(line, fields);
        if (!fields[1].empty()) generated[fields[1]] = codes.at(fields[3]);
    }

    int herds = 0;
    while (ReadTextLine(batch, line)) {
        SplitCsvLine(line, fields);
        if (fields[0].empty()) continue;
        const std::string file = fs::path(fields[0]).filename().string();
        SCOPED_TRACE(file);
        std::unique_ptr<HerdList> list;
        HerdHeaderFields header;
        ASSERT_TRUE(LoadHerdFile((root / "examples" / fields[0]).string(), fields[1], list, header));
        HerdReport report;
        int rows = 0;
        AnalyseHerd(fields[1], ParseDateText(fields[4]), fields[2], fields[3], *list, report, "",
                    [&rows](HerdReport&) { ++rows; });
        EXPECT_EQ(report.ActCalvingPattern, generated.at(file));
        EXPECT_EQ(rows, 1);
        EXPECT_GT(report.RecordsCrossCheck[kCrossCheckCalvings][kCrossCheckYearTotal], 0);
        EXPECT_GT(report.RecordsCrossCheck[kCrossCheckCalvings][kCrossCheckPeriodTotal], 0);
        EXPECT_NE(report.CrossCheckStart, 0);
        ++herds;
    }
    EXPECT_EQ(herds, static_cast<int>(generated.size()));
}

}  // namespace
}  // namespace ovista
