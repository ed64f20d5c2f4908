#include "analysis/analyse_herd.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "analysis/prepared_calendar.h"
#include "herd/errors.h"
#include "herd/herd_file.h"
#include "recording_services.h"

namespace ovista {
namespace {

namespace fs = std::filesystem;

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// A temporary working folder, removed with its trace files at the end of the test.
class TempFolder {
public:
    TempFolder() {
        path_ = fs::temp_directory_path() /
                ("ovista_driver_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "_" +
                 ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(path_);
        fs::create_directories(path_);
    }
    ~TempFolder() { fs::remove_all(path_); }
    std::string str() const { return path_.string(); }
    std::string Trace() const { return ReadFile(path_ / kTraceFileName); }

private:
    fs::path path_;
};

// A herd built in the test: lactations keyed in the order they are added.
class TestHerd {
public:
    TestHerd() : list([](std::string_view a, std::string_view b) { return a.compare(b); }) {
        list.TechnicianNumber("T1");
    }

    // Adds a lactation calved on the given date; returns it for further filling by Put.
    FullCowRecord Add(Date calved, std::int16_t age = 5) {
        FullCowRecord record;
        const std::string key = MakeHerdKey("C" + std::to_string(++added_), calved);
        int index = 0;
        list.FindOrAddRecord(key, record, index);
        record.Calved = calved;
        record.Age = age;
        list.PutRecord(index, record);
        return record;
    }
    void Put(const FullCowRecord& record) {
        FullCowRecord stored;
        int index = 0;
        ASSERT_TRUE(list.LocateRecord(record.Key, stored, index));
        list.PutRecord(index, record);
    }
    FullCowRecord Get(std::string_view key) const {
        FullCowRecord record;
        int index = 0;
        EXPECT_TRUE(list.LocateRecord(key, record, index));
        return record;
    }

    HerdList list;

private:
    int added_ = 0;
};

class AnalyseHerdTest : public ::testing::Test {
protected:
    AnalyseHerdTest() { SetToday(2006, 7, 1); }

    // Runs the driver on the herd with a context the test keeps.
    AnalysisContext& Run(TestHerd& herd, Date analysisDate, const std::string& folder = "") {
        context_ = std::make_unique<AnalysisContext>(herd.list, report, analysisDate,
                                                     [this](HerdReport&) { ++summaries; });
        AnalyseHerd(*context_, "H1", "Owner", "Address", folder);
        return *context_;
    }

    const Date analysisDate = MakeDate(15, 6, 2006);
    HerdReport report;
    int summaries = 0;

private:
    std::unique_ptr<AnalysisContext> context_;
};

// Errors 1 to 3 stop a herd before its period is analysed; later stages set the others.
bool StoppedByDriver(const HerdReport& report) { return report.Error >= 1 && report.Error <= 3; }

ServiceRecord Service(Date date, bool sire = true, bool ai = true) {
    ServiceRecord service;
    service.Date = date;
    service.HasSire = sire;
    service.AI = ai;
    service.Tech = 1;  // "T1", every TestHerd's first technician
    return service;
}

// ---- period boundaries ----------------------------------------------------------------

TEST(AnalysisPeriodBounds, PeriodZeroEndsWithTheAnalysisMonthAndEachFurtherOneAMonthEarlier) {
    SetToday(2006, 7, 1);
    const Date date = ParseDateText("15/06/06");
    EXPECT_EQ(AnalysisPeriodBounds(date, 0).start, MakeDate(1, 7, 2005));
    EXPECT_EQ(AnalysisPeriodBounds(date, 0).end, MakeDate(30, 6, 2006));
    EXPECT_EQ(AnalysisPeriodBounds(date, 1).end, MakeDate(31, 5, 2006));
    EXPECT_EQ(AnalysisPeriodBounds(date, 36).start, MakeDate(1, 7, 2002));
    EXPECT_EQ(AnalysisPeriodBounds(date, 36).end, MakeDate(30, 6, 2003));
    EXPECT_THROW(AnalysisPeriodBounds(date, 37), RangeError);
    // December rolls into January; a leap February ends on the 29th.
    EXPECT_EQ(AnalysisPeriodBounds(MakeDate(31, 12, 2007), 0).start, MakeDate(1, 1, 2007));
    EXPECT_EQ(AnalysisPeriodBounds(MakeDate(3, 3, 2008), 1).end, MakeDate(29, 2, 2008));
}

TEST(AnalysisPeriodBounds, TwoDigitYearsReadAsThisOrLastCenturyAndYear10000IsARangeError) {
    const Date year49 = kFirstDate + 48 * 365 + 12 + 165;  // 15/06/0049
    ASSERT_EQ(DecodeDate(year49).year, 49);
    EXPECT_EQ(AnalysisPeriodBounds(year49, 0).end, MakeDate(30, 6, 2049));
    EXPECT_EQ(AnalysisPeriodBounds(year49 + 365, 0).end, MakeDate(30, 6, 1950));
    EXPECT_EQ(AnalysisPeriodBounds(MakeDate(30, 11, 9999), 0).end, MakeDate(30, 11, 9999));
    EXPECT_THROW(AnalysisPeriodBounds(MakeDate(1, 12, 9999), 0), RangeError);
}

// ---- trimming to the culling date -----------------------------------------------------

TEST(CullTrim, RemovesWhatFollowsTheCullingDateAndKeepsTheCullingDayItself) {
    FullCowRecord record;
    record.Calved = 1000;
    record.Culled = 1200;
    record.Dryoff = 1201;
    record.NextCalve = 1300;
    record.Services[0] = Service(1100);
    record.Services[1] = Service(1200);
    record.Services[2] = Service(1201);
    record.Services[2].CountedService = true;
    record.Services[2].ConceptionService = true;
    record.PregTests[0] = {1200, 8};
    record.PregTests[1] = {1250, 12};

    CullTrim(record);

    EXPECT_EQ(record.Dryoff, 0);
    EXPECT_EQ(record.NextCalve, 0);
    EXPECT_EQ(record.Services[0], Service(1100));
    EXPECT_EQ(record.Services[1], Service(1200));
    EXPECT_EQ(record.Services[2], ServiceRecord{});
    EXPECT_EQ(record.PregTests[0], (PregTestRecord{1200, 8}));
    EXPECT_EQ(record.PregTests[1], PregTestRecord{});

    FullCowRecord notCulled = record;
    notCulled.Culled = 0;
    notCulled.Dryoff = 1300;
    notCulled.Services[3] = Service(1500);
    const FullCowRecord expected = notCulled;
    CullTrim(notCulled);
    EXPECT_EQ(notCulled, expected);
}

// ---- the walk over the lactations -----------------------------------------------------

TEST_F(AnalyseHerdTest, ServicesAndTestsAfterCullingAreRemovedBeforeAnythingIsCounted) {
    TestHerd herd;
    FullCowRecord cow = herd.Add(analysisDate - 200);
    cow.Culled = analysisDate - 100;
    cow.Dryoff = analysisDate - 50;
    cow.Services[0] = Service(analysisDate - 150);
    cow.Services[1] = Service(analysisDate - 90);
    cow.PregTests[0] = {analysisDate - 105, 0};
    cow.PregTests[1] = {analysisDate - 80, 5};
    herd.Put(cow);

    AnalysisContext& context = Run(herd, analysisDate);

    EXPECT_EQ(context.DailyServices[150], 1);
    EXPECT_EQ(context.DailyServices[90], 0);
    EXPECT_EQ(context.DailyConceptions[80 + 35], 0);
    EXPECT_EQ(context.Period(0).TotPD, 1);
    const FullCowRecord stored = herd.Get(cow.Key);
    EXPECT_EQ(stored.Dryoff, 0);
    EXPECT_EQ(stored.LastService, analysisDate - 150);
    EXPECT_EQ(stored.LastHeat, analysisDate - 150);
    EXPECT_EQ(stored.ConceptionDate, 0);
}

TEST_F(AnalyseHerdTest, ACalvingDueAfterTheAnalysisDateCountsOnlyWhenTheCowIsNotTwoYearsOld) {
    TestHerd heifer;
    heifer.Add(analysisDate + 10, 2);
    EXPECT_EQ(Run(heifer, analysisDate).DailyCalvings[-10], 0);

    TestHerd cow;
    cow.Add(analysisDate + 10, 5);
    cow.Add(analysisDate + 366, 5);
    AnalysisContext& context = Run(cow, analysisDate);
    EXPECT_EQ(context.DailyCalvings[-10], 1);
    EXPECT_EQ(context.DailyCalvings[-365], 0);
    EXPECT_EQ(context.Period(0).Calved, 1);
}

TEST_F(AnalyseHerdTest, DerivesServiceDatesAndDatesTheConceptionFromTheFirstUsableTest) {
    TestHerd herd;
    const Date calved = analysisDate - 300;
    FullCowRecord cow = herd.Add(calved);
    cow.Services[0] = Service(calved + 40, false);        // heat without a sire
    cow.Services[1] = Service(calved + 60, true, false);  // natural service
    cow.Services[2] = Service(calved + 81);
    cow.Services[3] = Service(calved + 201);              // beyond the 200-day window
    cow.Services[4] = Service(calved + 230, false);
    cow.PregTests[0] = {calved + 100, 0};                 // found empty
    cow.PregTests[1] = {calved + 251, 9};                 // too late after calving
    cow.PregTests[2] = {calved + 130, 7};                 // the first usable test
    cow.PregTests[3] = {calved + 140, 8};
    herd.Put(cow);

    AnalysisContext& context = Run(herd, analysisDate);

    const FullCowRecord stored = herd.Get(cow.Key);
    EXPECT_EQ(stored.FirstService, calved + 60);
    EXPECT_FALSE(stored.FirstServiceAI);
    EXPECT_EQ(stored.LastService, calved + 201);
    EXPECT_EQ(stored.LastHeat, calved + 230);
    EXPECT_EQ(stored.ConceptionDate, calved + 130 - 49);
    EXPECT_EQ(context.DailyServices[300 - 60], 1);
    EXPECT_EQ(context.DailyServices[300 - 81], 1);
    EXPECT_EQ(context.DailyServices[300 - 201], 0);
    EXPECT_EQ(context.DailyConceptions[300 - 81], 1);
    const PeriodSummary& p = context.Period(0);
    EXPECT_EQ(p.Calved, 1);
    EXPECT_EQ(p.Mated, 1);
    EXPECT_EQ(p.Tested, 1);
    EXPECT_EQ(p.TotPD, 4);
    EXPECT_EQ(p.Early, 4);  // 0 weeks counts as early too
}

TEST_F(AnalyseHerdTest, ALactationWithoutAPlaceableCalvingIsCompletedButNotCounted) {
    TempFolder folder;
    TestHerd herd;
    FullCowRecord noDate = herd.Add(0);
    noDate.Services[0] = Service(analysisDate - 20);
    noDate.Culled = analysisDate - 30;
    herd.Put(noDate);
    FullCowRecord farAway = herd.Add(analysisDate - 40000);
    farAway.PregTests[0] = {analysisDate - 39900, 6};
    herd.Put(farAway);

    AnalysisContext& context = Run(herd, analysisDate, folder.str());

    EXPECT_EQ(context.DailyServices[20], 0);
    EXPECT_EQ(context.DailyCalvings[kHistogramDays], 0);
    const FullCowRecord stored = herd.Get(noDate.Key);
    EXPECT_EQ(stored.Services[0], ServiceRecord{});  // trimmed: after the culling
    EXPECT_EQ(herd.Get(farAway.Key).ConceptionDate, 0);
    const std::string trace = folder.Trace();
    EXPECT_NE(trace.find("Calving date out of range, lactation not counted: " + noDate.Key + "\r\n"),
              std::string::npos);
    EXPECT_NE(trace.find("Calving date out of range, lactation not counted: " + farAway.Key + "\r\n"),
              std::string::npos);
    EXPECT_EQ(report.Error, kErrorNoCalvingPeriod);
}

TEST_F(AnalyseHerdTest, ATestDatingTheConceptionBeyond16BitDaysIsReportedAndSkipped) {
    testing::RecordingServices services;
    TestHerd herd;
    FullCowRecord cow = herd.Add(analysisDate - 100);
    cow.PregTests[0] = {analysisDate - 50, 5000};
    herd.Put(cow);
    Run(herd, analysisDate);
    ASSERT_EQ(services.infos.size(), 1U);
    EXPECT_EQ(services.infos[0], "First conception range error for cow " + cow.Key);
}

TEST_F(AnalyseHerdTest, AServiceDayCountBeyond16BitsIsARangeErrorAndFreesTheWorkAreas) {
    TempFolder folder;
    TestHerd herd;
    FullCowRecord cow = herd.Add(analysisDate - 100);
    cow.Services[0] = Service(analysisDate - 40000);
    herd.Put(cow);
    AnalysisContext context(herd.list, report, analysisDate);
    EXPECT_THROW(AnalyseHerd(context, "H1", "", "", folder.str()), RangeError);
    EXPECT_TRUE(context.WorkAreas.empty());
    EXPECT_FALSE(context.trace.Tracing());
}

TEST_F(AnalyseHerdTest, AZeroAnalysisDateIsRefusedWithNothingTouched) {
    TempFolder folder;
    TestHerd herd;
    FullCowRecord cow = herd.Add(MakeDate(1, 8, 2005));
    cow.Culled = cow.Calved + 10;
    cow.Services[0] = Service(cow.Calved + 20);
    herd.Put(cow);
    report.SHNO = "KEEP";
    report.Error = 7;
    int writes = 0;
    try {
        AnalyseHerd("H1", 0, "Owner", "Address", herd.list, report, folder.str(),
                    [&](HerdReport&) { ++writes; });
        FAIL() << "no error";
    } catch (const OvistaError& error) {
        EXPECT_STREQ(error.what(), "Analysis date must not be zero.");
    }
    EXPECT_EQ(report.SHNO, "KEEP");
    EXPECT_EQ(report.Error, 7);
    EXPECT_EQ(herd.Get(cow.Key), cow);
    EXPECT_FALSE(fs::exists(fs::path(folder.str()) / kTraceFileName));
    EXPECT_EQ(writes, 0);
}

TEST_F(AnalyseHerdTest, TheReportIsClearedAndTakesTheHerdIdentityCutToItsFields) {
    TestHerd herd;
    report.ICR6wk = 55;
    AnalysisContext context(herd.list, report, analysisDate);
    AnalyseHerd(context, "123456789", std::string(50, 'o'), std::string(300, 'a'), "");
    EXPECT_EQ(report.ICR6wk, 0);
    EXPECT_EQ(report.AnalysisDate, analysisDate);
    EXPECT_EQ(report.SHNO, "12345678");
    EXPECT_EQ(report.Owner, std::string(40, 'o'));
    EXPECT_EQ(report.Address, std::string(250, 'a'));
    EXPECT_EQ(report.Error, kErrorNoCalvingPeriod);  // an empty herd
    EXPECT_TRUE(context.WorkAreas.empty());
}

// ---- rejected herds and the chosen period ---------------------------------------------

// Adds count lactations calved on first, first - step, first - 2 step, ...
void AddCalvings(TestHerd& herd, Date first, int count, int step = 1, std::int16_t age = 5) {
    for (int i = 0; i < count; ++i) herd.Add(first - i * step, age);
}

TEST_F(AnalyseHerdTest, CalvingsBunchedOnAFewDaysAreBatchRecorded) {
    TempFolder folder;
    TestHerd herd;
    AddCalvings(herd, analysisDate - 20, 78, 2);  // one every other day
    for (int i = 0; i < 13; ++i) herd.Add(analysisDate - 250);
    for (int i = 0; i < 14; ++i) herd.Add(analysisDate - 300);  // 27 of 105: above a quarter
    AnalysisContext& context = Run(herd, analysisDate, folder.str());
    EXPECT_EQ(report.Error, kErrorImplausibleCalvings);
    EXPECT_EQ(context.SmoothedCalvings[250], 13);
    const std::string trace = folder.Trace();
    EXPECT_NE(trace.find("\r\nFunny calvings = 27\r\n"), std::string::npos);
    EXPECT_EQ(trace.find("Summary with sufficient"), std::string::npos);
    EXPECT_EQ(summaries, 0);
}

TEST_F(AnalyseHerdTest, BunchedCalvingsOfExactlyAQuarterOrWithinABusyFortnightPass) {
    TestHerd quarter;
    AddCalvings(quarter, analysisDate - 20, 78, 2);
    for (int i = 0; i < 13; ++i) quarter.Add(analysisDate - 250);
    for (int i = 0; i < 13; ++i) quarter.Add(analysisDate - 300);  // 26 of 104
    Run(quarter, analysisDate);
    EXPECT_NE(report.Error, kErrorImplausibleCalvings);

    // 11 on one day hold less than half of their 15-day window.
    TestHerd busy;
    AddCalvings(busy, analysisDate - 18, 7, 1);  // days 18..24
    AddCalvings(busy, analysisDate - 26, 5, 1);  // days 26..30
    for (int i = 0; i < 11; ++i) busy.Add(analysisDate - 25);
    AnalysisContext& context = Run(busy, analysisDate);
    EXPECT_EQ(context.SmoothedCalvings[25], 11 + 12);
    EXPECT_NE(report.Error, kErrorImplausibleCalvings);
}

TEST_F(AnalyseHerdTest, APeriodNeedsMoreThan50CalvingsToBeSufficient) {
    for (const int calvings : {50, 51}) {
        TempFolder folder;
        TestHerd herd;
        for (int i = 0; i < calvings; ++i) herd.Add(analysisDate - 1 - i % 14);  // June 2006: period 0 only
        AnalysisContext& context = Run(herd, analysisDate, folder.str());
        ASSERT_EQ(context.Period(1).Calved, 0);
        EXPECT_EQ(context.SufficientPeriod, calvings == 51 ? 0 : -1);
        // 51 calvings without any other information fail on the information.
        EXPECT_EQ(report.Error, calvings == 51 ? kErrorNoSufficientInformation : kErrorNoCalvingPeriod);
        const std::string trace = folder.Trace();
        EXPECT_NE(trace.find(calvings == 51 ? "\r\nSummary with sufficient calvings = 0\r\n"
                                            : "\r\nSummary with sufficient calvings = -1\r\n"),
                  std::string::npos);
        EXPECT_EQ(trace.find("Summary with recalving info") == std::string::npos, calvings == 50);
    }
}

// More than 50 calvings (over a fortnight, not bunched) give a sufficient period only within
// periods 0..36; the bound tells it from the calving dates alone, and says "no" only where
// the analysis writes no summary row.
TEST_F(AnalyseHerdTest, MayFindSufficientPeriodBoundsTheAnalysisFromItsCalvingsAlone) {
    const PeriodBounds newest = AnalysisPeriodBounds(analysisDate, 0);
    const PeriodBounds oldest = AnalysisPeriodBounds(analysisDate, kPeriodCount - 1);
    struct Case {
        Date from;
        int step;  // the next calving a day later (1) or earlier (-1)
        int calvings;
        bool may;
    };
    const Case cases[] = {
        {newest.end, -1, 51, true},  {newest.end + 1, 1, 51, false},  // due after period 0
        {oldest.start, 1, 51, true}, {oldest.start - 1, -1, 51, false},
        {analysisDate - 1, -1, 50, false}, {analysisDate - 1, -1, 51, true},
    };
    for (const Case& c : cases) {
        TestHerd herd;
        std::vector<Date> calvings;
        for (int i = 0; i < c.calvings; ++i) calvings.push_back(herd.Add(c.from + c.step * (i % 14)).Calved);
        EXPECT_EQ(MayFindSufficientPeriod(calvings, analysisDate), c.may) << c.from << " " << c.calvings;
        summaries = 0;
        Run(herd, analysisDate);
        EXPECT_EQ(c.may, report.Error != kErrorNoCalvingPeriod) << c.from << " " << report.Error;
        if (!c.may) {
            EXPECT_EQ(summaries, 0);
        }
    }
}

TEST_F(AnalyseHerdTest, TheSufficientPeriodMustHoldOver70PercentOfTheLargest) {
    for (const int recent : {70, 71}) {
        TestHerd herd;
        for (int day = 1; day <= 25; ++day) AddCalvings(herd, MakeDate(day, 6, 2005), 4, 0);  // periods 1..12
        for (int i = 0; i < recent; ++i) herd.Add(analysisDate - 1 - i % 14);             // period 0 only
        AnalysisContext& context = Run(herd, analysisDate);
        ASSERT_EQ(context.Period(0).Calved, recent);
        ASSERT_EQ(context.Period(1).Calved, 100);
        EXPECT_EQ(context.SufficientPeriod, recent == 70 ? 1 : 0) << recent << " recent calvings";
    }
}

// Lactations calved on 1 August 2005 (within periods 0 to 10), the calving date spread
// over a week so that no day holds a batch.
struct InformationHerd {
    int calved = 100;
    int culledEarly = 0;    // culled 100 days after calving (not in the denominators)
    int culledInYear = 0;   // culled 300 days after calving (out of the recalving denominator)
    int mated = 0;          // service slot 1 at 200 days after calving
    int recalved = 0;
    int tested = 0;         // test slot 1 at 365 days after calving
    int earlyTests = 0;     // of the tested, at 17 weeks; the others at 18

    void Build(TestHerd& herd) const {
        const Date base = MakeDate(1, 8, 2005);
        for (int i = 0; i < calved + culledEarly + culledInYear; ++i) {
            FullCowRecord cow = herd.Add(base + i % 7);
            if (i >= calved + culledInYear) {
                cow.Culled = cow.Calved + 100;
            } else if (i >= calved) {
                cow.Culled = cow.Calved + 300;
            } else {
                if (i < mated) cow.Services[0] = Service(cow.Calved + 200);
                if (i < recalved) cow.NextCalve = cow.Calved + 365;
                if (i < tested) cow.PregTests[0] = {cow.Calved + 365, static_cast<std::int16_t>(i < earlyTests ? 17 : 18)};
            }
            herd.Put(cow);
        }
    }
};

TEST_F(AnalyseHerdTest, EachKindOfInformationNeedsItsShareOfTheCowsStrictly) {
    struct Row {
        const char* why;
        InformationHerd herd;
        int mating, recalving, pregTest, earlyPD;
    };
    const Row rows[] = {
        {"50 of the 100 cows not culled within 200 days mated: not over half",
         {.culledEarly = 10, .mated = 50}, -1, -1, -1, -1},
        {"51 of 100 mated", {.culledEarly = 10, .mated = 51}, 0, -1, -1, -1},
        {"70 of the 100 cows not culled within a year recalved: not over 70%",
         {.culledInYear = 5, .recalved = 70}, -1, -1, -1, -1},
        {"71 of 100 recalved", {.culledInYear = 5, .recalved = 71}, -1, 0, -1, -1},
        {"80 of 100 tested: not over 80%", {.tested = 80, .earlyTests = 80}, -1, -1, -1, -1},
        {"81 tested, 65 of the 81 tests early", {.tested = 81, .earlyTests = 65}, -1, -1, 0, 0},
        {"81 tested, 64 of the 81 tests early: not over 80%", {.tested = 81, .earlyTests = 64}, -1, -1, 0, -1},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.why);
        TestHerd herd;
        row.herd.Build(herd);
        AnalysisContext& context = Run(herd, analysisDate);
        EXPECT_EQ(context.MatingPeriod, row.mating);
        EXPECT_EQ(context.RecalvingPeriod, row.recalving);
        EXPECT_EQ(context.PregTestPeriod, row.pregTest);
        EXPECT_EQ(context.EarlyPDPeriod, row.earlyPD);
        const bool any = std::max({row.mating, row.recalving, row.pregTest, row.earlyPD}) == 0;
        if (any) {
            EXPECT_FALSE(StoppedByDriver(report)) << report.Error;
        } else {
            EXPECT_EQ(report.Error, kErrorNoSufficientInformation);
        }
        EXPECT_EQ(context.AnalysisPeriod, any ? 0 : -1);
    }
}

TEST_F(AnalyseHerdTest, PeriodsBeforeTheSufficientOneAreNotFlaggedAndTheSmallestIndexIsAnalysed) {
    TempFolder folder;
    TestHerd herd;
    for (int i = 0; i < 100; ++i) {
        FullCowRecord cow = herd.Add(MakeDate(1 + i % 25, 6, 2005));  // periods 1 to 12
        cow.Services[0] = Service(cow.Calved + 60);
        if (i < 80) cow.NextCalve = cow.Calved + 370;
        herd.Put(cow);
    }
    for (int i = 0; i < 40; ++i) {  // period 0 only, too few to be sufficient
        FullCowRecord cow = herd.Add(analysisDate - 1 - i % 14);
        cow.Services[0] = Service(analysisDate + 10);
        herd.Put(cow);
    }
    AnalysisContext& context = Run(herd, analysisDate, folder.str());

    EXPECT_EQ(context.SufficientPeriod, 1);
    EXPECT_FALSE(context.Period(0).MatingOK);
    EXPECT_TRUE(context.Period(1).MatingOK);
    EXPECT_TRUE(context.Period(12).RecalvingOK);
    EXPECT_FALSE(context.Period(13).MatingOK);  // no calvings: nothing to flag
    EXPECT_EQ(context.MatingPeriod, 1);
    EXPECT_EQ(context.RecalvingPeriod, 1);
    EXPECT_EQ(context.AnalysisPeriod, 1);
    EXPECT_FALSE(StoppedByDriver(report)) << report.Error;
    EXPECT_NE(folder.Trace().find("Summary with sufficient calvings = 1\r\n"
                                  "Summary with recalving info = 1\r\n"
                                  "Summary with early PD info = -1\r\n"
                                  "Summary with preg test info = -1\r\n"
                                  "Summary with mating info = 1\r\n"),
              std::string::npos);
}

// ---- the trace file -------------------------------------------------------------------

TEST_F(AnalyseHerdTest, TheSummaryTableIsAppendedWithRightAlignedColumnsAndCrLf) {
    TempFolder folder;
    TestHerd herd;
    FullCowRecord cow = herd.Add(MakeDate(20, 5, 2006));
    cow.Culled = MakeDate(1, 6, 2006);
    cow.PregTests[0] = {MakeDate(30, 5, 2006), 3};
    herd.Put(cow);
    Run(herd, analysisDate, folder.str());
    const std::string once = folder.Trace();
    Run(herd, analysisDate, folder.str());
    const std::string twice = folder.Trace();

    EXPECT_EQ(twice, once + once);
    EXPECT_EQ(once.substr(0, 12), "Herd ID = H1");
    EXPECT_NE(once.find("\r\n 0 01/07/05 30/06/06        1       1       1       0       0       1       1       1\r\n"
                        " 1 01/06/05 31/05/06        1"),
              std::string::npos);
    EXPECT_NE(once.find("\r\n36 01/07/02 30/06/03        0       0"), std::string::npos);
    EXPECT_TRUE(fs::exists(fs::path(folder.str()) / kDetailTraceFileName));
}

TEST(TraceWriter, ColumnsAreRightAlignedAndNeverCut) {
    EXPECT_EQ(RightAligned(7, 3), "  7");
    EXPECT_EQ(RightAligned(-12, 2), "-12");
    EXPECT_EQ(FixedPoint(0.125, 2, 6), "  0.12");
    EXPECT_EQ(TraceText("n = ", std::int16_t{-1}, ", total ", 40000L), "n = -1, total 40000");
}

TEST(TraceWriter, AFolderThatCannotBeOpenedIsIgnored) {
    TraceWriter trace;
    trace.Open("/nonexistent/ovista/folder");
    EXPECT_FALSE(trace.Tracing() || trace.Detailing());
    trace.Line("goes nowhere");
}

// A generated seasonal herd with mating records and early pregnancy tests, analysed as of
// the date in its identification row.
TEST(AnalyseHerdGolden, ASeasonalHerdWithMatingRecordsGivesTheExpectedPeriodsAndSummaryTable) {
    SetToday(2026, 6, 1);
    TempFolder folder;
    std::unique_ptr<HerdList> herd;
    HerdHeaderFields header;
    ASSERT_TRUE(LoadHerdFile(OVISTA_TEST_DATA "/analysis/seasonal_early_pd_herd.csv", "590001", herd, header));
    ASSERT_GE(header.size(), 5U);
    HerdReport report;
    AnalysisContext context(*herd, report, ParseDateText(header[4]));
    AnalyseHerd(context, header[1], header[2], header[3], folder.str());

    EXPECT_EQ(context.SufficientPeriod, 0);
    EXPECT_EQ(context.MatingPeriod, 0);
    EXPECT_EQ(context.EarlyPDPeriod, 0);
    EXPECT_EQ(context.PregTestPeriod, 0);
    EXPECT_EQ(context.RecalvingPeriod, 9);  // the latest calvings have not recalved yet
    EXPECT_EQ(context.AnalysisPeriod, 0);
    EXPECT_FALSE(StoppedByDriver(report)) << report.Error;

    // The driver's part of the trace: from "Herd ID = " to the last period index.
    const std::string expected = ReadFile(OVISTA_TEST_DATA "/analysis/seasonal_early_pd_summary.txt");
    ASSERT_FALSE(expected.empty());
    EXPECT_EQ(folder.Trace().substr(0, expected.size()), expected);
}
// The earlier seasons' driver takes from the prepared herd's calendar what its walk would
// count: on the calendar's first and last dates and between; dates it does not cover walk.
TEST(PreparedCalendar, TheDriverCountsTheSameFromTheCalendarAsByTheWalk) {
    SetToday(2026, 6, 1);
    std::unique_ptr<HerdList> herd;
    HerdHeaderFields header;
    ASSERT_TRUE(LoadHerdFile(OVISTA_TEST_DATA "/analysis/seasonal_early_pd_herd.csv", "590001", herd, header));
    const Date today = ParseDateText(header[4]);
    PreparedHerd prepared;
    prepared.Prepare(*herd);
    const Date first = today - 1461;
    const Date last = today - 365;
    PreparedCalendar calendar;
    ASSERT_TRUE(calendar.Take(prepared, static_cast<std::size_t>(herd->Count()), first, last));
    const auto driverCounts = [&](Date date, const PreparedCalendar* from) {
        for (int index = 1; index <= herd->Count(); ++index) PreparedHerd::ClearWorkingFields(herd->RecordAt(index));
        HerdReport report;
        AnalysisContext context(*herd, report, date);
        context.extent = ReportExtent(ReportExtent::SummaryRow, nullptr, &prepared, nullptr, from);
        AnalyseHerd(context, "H1", "Owner", "Address", "");
        return std::tuple(context.DailyCalvings, context.DailyServices, context.DailyConceptions,
                          context.PeriodSummaries, report.Error, context.MSD, context.PrevMSD);
    };
    const struct {
        Date date;
        bool served;
    } cases[] = {{first, true}, {first + 300, true}, {last - 1, true}, {last, true}, {first - 1, false}, {last + 1, false}};
    for (const auto& c : cases) {
        EXPECT_EQ(calendar.Serves(c.date), c.served) << FormatDateText(c.date);
        EXPECT_TRUE(driverCounts(c.date, &calendar) == driverCounts(c.date, nullptr)) << FormatDateText(c.date);
    }
}
}  // namespace
}  // namespace ovista
