#include "analysis/conception.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "herd/errors.h"

namespace ovista {
namespace {

const Date kAnalysisDate = MakeDate(30, 6, 2006);
const Date kMSD = MakeDate(1, 10, 2005);

FullCowRecord Cow(const std::string& key, Date calved) {
    FullCowRecord cow;
    cow.Key = key;
    cow.Calved = calved;
    return cow;
}

void AddService(FullCowRecord& cow, Date date, bool ai = true) {
    for (ServiceRecord& slot : cow.Services) {
        if (slot.Date != 0) continue;
        slot.Date = date;
        slot.AI = ai;
        slot.HasSire = true;
        if (cow.FirstService == 0) cow.FirstService = date;
        cow.LastService = cow.LastHeat = date;
        return;
    }
}

void AddTest(FullCowRecord& cow, Date date, std::int16_t weeks) {
    for (PregTestRecord& slot : cow.PregTests) {
        if (slot.Date != 0) continue;
        slot = {date, weeks};
        return;
    }
}

void Cull(FullCowRecord& cow, Date culled, Date origin) {
    cow.Culled = culled;
    cow.CulledFlag = 1;
    cow.DaysToCull = CheckedInt16(std::int64_t{culled} - origin + 1);
}

class TempFolder {
public:
    TempFolder()
        : path_(std::filesystem::temp_directory_path() /
                (std::string("ovista_conception_") + ::testing::UnitTest::GetInstance()->current_test_info()->name())) {
        std::filesystem::create_directories(path_);
    }
    ~TempFolder() { std::filesystem::remove_all(path_); }
    std::string Path() const { return path_.string(); }
    std::vector<std::string> Lines(const char* name) const {
        std::ifstream in(path_ / name, std::ios::binary);
        const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
        std::vector<std::string> lines;
        std::size_t from = 0;
        for (std::size_t end; (end = text.find("\r\n", from)) != std::string::npos; from = end + 2) {
            lines.push_back(text.substr(from, end - from));
        }
        return lines;
    }

private:
    std::filesystem::path path_;
};

class Conception : public ::testing::Test {
protected:
    Conception()
        : herd([](std::string_view a, std::string_view b) { return a.compare(b); }),
          context(herd, report, kAnalysisDate) {
        report.AnalysisCalvingPattern = kSeasonalCalving;
        report.CalvingStop = kMSD + 100;
        context.MSD = kMSD;
        context.PeriodIndex = 0;
        context.EOMating = kMSD + 100;
        context.EOAI = kMSD + 80;
        context.TakeWorkAreas();
    }

    void Store(const FullCowRecord& cow) {
        FullCowRecord stored;
        int index = 0;
        herd.FindOrAddRecord(cow.Key, stored, index);
        herd.PutRecord(index, cow);
    }
    FullCowRecord Stored(const std::string& key) const {
        FullCowRecord cow;
        int index = 0;
        herd.LocateRecord(key, cow, index);
        return cow;
    }
    const LifeTable& Table(LifeTableSet set, Estimate estimate) const { return context.Table(set, estimate); }

    HerdList herd;
    HerdReport report;
    AnalysisContext context;
};

struct Days {
    int central, centralFlag, optimistic, optimisticFlag, pessimistic, pessimisticFlag;
    bool operator==(const Days&) const = default;
};
std::ostream& operator<<(std::ostream& out, const Days& d) {
    return out << d.central << "/" << d.centralFlag << " " << d.optimistic << "/" << d.optimisticFlag << " "
               << d.pessimistic << "/" << d.pessimisticFlag;
}
Days CurrentDays(const FullCowRecord& c) {
    return {c.DaysToConception, c.Conceived, c.OptDays, c.OptConceived, c.PessDays, c.PessConceived};
}
Days PreviousDays(const FullCowRecord& c) {
    return {c.PrevDays, c.PrevConceived, c.PrevOptDays, c.PrevOptConceived, c.PrevPessDays, c.PrevPessConceived};
}

// ---- ComputeLifeTable ------------------------------------------------------------------

TEST(LifeTable, WithoutCowsEveryRowHasEverythingConceived) {
    LifeTable table;
    ComputeLifeTable(table, kLifeTableDays);
    for (int d = 1; d <= kLifeTableDays; ++d) {
        EXPECT_EQ(table[d].Start, 0);
        EXPECT_EQ(table[d].q, 0.0);
        EXPECT_EQ(table[d].S, 0.0);
        EXPECT_EQ(table[d].CPreg, 1.0);
    }
}

TEST(LifeTable, RowsAfterTheLastCowsLeaveShowAllConceived) {
    LifeTable table;
    table[1].Start = 4;
    table[2].Preg = 1;
    table[3].Cens = 1;
    table[5].Preg = 1;
    table[5].Cens = 1;
    ComputeLifeTable(table, kLifeTableDays);
    EXPECT_EQ(table[1].CPreg, 0.0);
    EXPECT_EQ(table[2].CPreg, 0.25);
    EXPECT_EQ(table[4].Start, 2);
    EXPECT_EQ(table[4].CPreg, 0.25);
    EXPECT_EQ(table[5].CPreg, 0.625);
    for (int d = 6; d <= kLifeTableDays; ++d) {
        EXPECT_EQ(table[d].Start, 0);
        EXPECT_EQ(table[d].q, 0.0);
        EXPECT_EQ(table[d].CPreg, 1.0);
    }
}

TEST(LifeTable, AgreesWithAProductLimitEstimateOfRandomDurations) {
    std::mt19937 random(20060630);
    std::uniform_int_distribution<int> duration(1, 260);
    std::bernoulli_distribution conceived(0.6);
    struct Cow {
        int days;
        bool conceived;
    };
    std::vector<Cow> cows(400);
    for (Cow& cow : cows) cow = {duration(random), conceived(random)};

    LifeTable table;
    table[1].Start = static_cast<int>(cows.size());
    for (const Cow& cow : cows) {
        if (cow.days > kLifeTableDays) continue;
        ++(cow.conceived ? table[cow.days].Preg : table[cow.days].Cens);
    }
    ComputeLifeTable(table, kLifeTableDays);

    double survival = 1.0;
    for (int t = 1; t <= kLifeTableDays; ++t) {
        int atRisk = 0;
        int events = 0;
        for (const Cow& cow : cows) {
            if (cow.days >= t) ++atRisk;
            if (cow.days == t && cow.conceived) ++events;
        }
        ASSERT_GT(atRisk, 0);
        survival *= 1.0 - static_cast<double>(events) / atRisk;
        EXPECT_EQ(table[t].Start, atRisk) << "day " << t;
        EXPECT_NEAR(table[t].CPreg, 1.0 - survival, 1e-12) << "day " << t;
    }
}

TEST(LifeTable, RowCountOutsideTheTableIsARangeError) {
    LifeTable table;
    EXPECT_THROW(ComputeLifeTable(table, 0), RangeError);
    EXPECT_THROW(ComputeLifeTable(table, kLifeTableRows + 1), RangeError);
    EXPECT_NO_THROW(ComputeLifeTable(table, kLifeTableRows));
}

// The tables an analysis gave back come to the next one zeroed, whichever way they were
// written: whole (Table) or up to a row (TableUpTo).
TEST(LifeTable, TheNextAnalysisTakesTheWorkAreasZeroed) {
    HerdList herd;
    HerdReport report;
    {
        AnalysisContext first(herd, report, 1);
        first.TakeWorkAreas();
        first.Table(LifeTableSet::Previous, Estimate::Pessimistic)[kLifeTableRows].Preg = 7;
        first.TableUpTo(LifeTableSet::Main, Estimate::Central, kLifeTableDays)[kLifeTableDays].CPreg = 0.5;
        first.TableUpTo(LifeTableSet::Year200, Estimate::Optimistic, kLifeTableDays)[1].Start = 3;
        first.ReleaseWorkAreas();
        EXPECT_TRUE(first.WorkAreas.empty());
    }
    AnalysisContext next(herd, report, 1);
    next.TakeWorkAreas();
    for (const LifeTableSet set : {LifeTableSet::Main, LifeTableSet::Year200, LifeTableSet::Previous}) {
        for (const Estimate estimate : {Estimate::Central, Estimate::Optimistic, Estimate::Pessimistic}) {
            EXPECT_TRUE(next.Table(set, estimate) == LifeTable{}) << static_cast<int>(set) << static_cast<int>(estimate);
        }
    }
    next.ReleaseWorkAreas();
    EXPECT_THROW(next.Table(LifeTableSet::Main, Estimate::Central), std::out_of_range);
}

// ---- ComputeConceptionTimes and BuildConceptionTables -----------------------------------

// Three cows of a seasonal herd: one conceived to a service, one culled after a service
// without a test, one tested empty early and culled later.
class WorkedCows : public Conception {
protected:
    WorkedCows() {
        FullCowRecord pregnant = Cow("A-PREGNANT", kMSD - 60);
        AddService(pregnant, kMSD + 10);
        AddService(pregnant, kMSD + 33);
        AddTest(pregnant, kMSD + 100, 10);
        Store(pregnant);

        FullCowRecord culled = Cow("B-CULLED", kMSD - 60);
        AddService(culled, kMSD + 39);
        Cull(culled, kMSD + 60, kMSD);
        Store(culled);

        FullCowRecord empty = Cow("C-EMPTY", kMSD - 60);
        AddTest(empty, kMSD + 60, 0);
        Cull(empty, kMSD + 100, kMSD);
        Store(empty);
    }
};

TEST_F(WorkedCows, EachCowGetsTheDaysOfTheThreeEstimates) {
    ComputeConceptionTimes(context);
    const FullCowRecord pregnant = Stored("A-PREGNANT");
    EXPECT_EQ(pregnant.TestConception, kMSD + 33);  // from MSD + 30, moved to the service
    EXPECT_EQ(CurrentDays(pregnant), (Days{34, 1, 34, 1, 34, 1}));
    EXPECT_EQ(CurrentDays(Stored("B-CULLED")), (Days{60, 0, 40, 1, 148, 0}));
    EXPECT_EQ(CurrentDays(Stored("C-EMPTY")), (Days{148, 0, 27, 1, 148, 0}));
}

TEST_F(WorkedCows, ServicesBeforeThePositiveTestAreCountedAndTheConceptionMarked) {
    ComputeConceptionTimes(context);
    const FullCowRecord pregnant = Stored("A-PREGNANT");
    EXPECT_TRUE(pregnant.Services[0].CountedService);
    EXPECT_FALSE(pregnant.Services[0].ConceptionService);
    EXPECT_TRUE(pregnant.Services[1].CountedService);
    EXPECT_TRUE(pregnant.Services[1].ConceptionService);
    EXPECT_FALSE(Stored("B-CULLED").Services[0].CountedService);  // no test tells
}

TEST_F(WorkedCows, TablesCapAtCullingAndReadTheRatesAtTheEndOfMating) {
    ComputeConceptionTimes(context);
    BuildConceptionTables(context);
    const LifeTable& central = Table(LifeTableSet::Main, Estimate::Central);
    const LifeTable& optimistic = Table(LifeTableSet::Main, Estimate::Optimistic);
    const LifeTable& pessimistic = Table(LifeTableSet::Main, Estimate::Pessimistic);
    EXPECT_EQ(central[1].Start, 3);
    EXPECT_EQ(central[34].Preg, 1);
    EXPECT_EQ(central[60].Cens, 1);
    EXPECT_EQ(central[101].Cens, 1);  // tested empty, censored when culled
    EXPECT_EQ(optimistic[1].Start, 3);
    EXPECT_EQ(optimistic[27].Preg, 1);
    EXPECT_EQ(optimistic[34].Preg, 1);
    EXPECT_EQ(optimistic[40].Preg, 1);
    EXPECT_EQ(pessimistic[34].Preg, 1);
    EXPECT_EQ(pessimistic[148].Cens, 2);
    EXPECT_DOUBLE_EQ(report.ConceptionByDay[33], 1.0 / 3);  // day 34
    EXPECT_EQ(report.ConceptionByDay[32], 0.0);
    EXPECT_EQ(Table(LifeTableSet::Year200, Estimate::Central)[1].Start, 0);  // seasonal herd

    ReadTableRates(context);
    EXPECT_EQ(report.NICR, 67);      // day 101
    EXPECT_EQ(report.NICRHigh, 0);   // optimistic: all three in calf by day 40
    EXPECT_EQ(report.NICRLow, 67);   // pessimistic
    EXPECT_EQ(report.ICR6wk, 0);     // not an early pregnancy test basis
}

TEST_F(WorkedCows, TraceHoldsEachCowsDaysAndTheTables) {
    TempFolder folder;
    context.trace.Open(folder.Path());
    ComputeConceptionTimes(context);
    BuildConceptionTables(context);
    context.trace.Close();

    const std::string calved = FormatDateText(kMSD - 60);
    EXPECT_EQ(folder.Lines("DbugQM1.TXT"),
              (std::vector<std::string>{"1 A-PREGNAN" + calved + "          34  1    34  1    34  1",
                                        "1 B-CULLED" + calved + "          60  0    40  1   148  0",
                                        "1 C-EMPTY" + calved + "         101  0    27  1   148  0"}));
    const std::vector<std::string> trace = folder.Lines("DbugQMR.TXT");
    ASSERT_EQ(trace.size(), 2u * (2 + 200));
    EXPECT_EQ(trace[0], "Conception probabilities");
    EXPECT_EQ(trace[1], "Day  Start  Preg  Cens  CPreg     Opti   Preg  Cens  CPreg     Pess   Preg  Cens  CPreg");
    EXPECT_EQ(trace[2], "   1     3     0     0  0.00         3     0     0  0.00         3     0     0  0.00");
    EXPECT_EQ(trace[2 + 33], "  34     3     1     0  0.33         2     1     0  0.67         3     1     0  0.33");
    EXPECT_EQ(trace[202], "Conception probabilities for yr 200 day NICR");
    EXPECT_EQ(trace[204], "   1     0     0     0  1.00         0     0     0  1.00         0     0     0  1.00");
}

TEST_F(Conception, CowCulledAfterAIWithoutServiceMayHaveConceivedToTheBull) {
    context.Period(0).MatingOK = true;
    FullCowRecord cow = Cow("COW", kMSD - 60);
    Cull(cow, kMSD + 119, kMSD);  // day 120, after the end of AI on day 81
    Store(cow);
    ComputeConceptionTimes(context);
    EXPECT_EQ(CurrentDays(Stored("COW")), (Days{119, 0, 82, 1, 148, 0}));  // the day after AI ended

    context.EOMating = context.EOAI;  // no bull: open until day 148, so in calf before culling
    ComputeConceptionTimes(context);
    EXPECT_EQ(CurrentDays(Stored("COW")), (Days{119, 0, 119, 1, 148, 0}));

    context.Period(0).MatingOK = false;
    ComputeConceptionTimes(context);
    EXPECT_EQ(CurrentDays(Stored("COW")), (Days{119, 0, 1, 1, 148, 0}));
}

TEST_F(Conception, CowCulledOnTheDayOfHerLastServiceConceivedTheDayBefore) {
    FullCowRecord cow = Cow("COW", kMSD - 60);
    AddService(cow, kMSD + 39);
    Cull(cow, kMSD + 39, kMSD);
    Store(cow);
    ComputeConceptionTimes(context);
    EXPECT_EQ(CurrentDays(Stored("COW")), (Days{39, 0, 39, 1, 148, 0}));
}

TEST_F(Conception, CowConceivingOnHerCullingDayStaysConceivedInTheTables) {
    FullCowRecord cow = Cow("COW", kMSD - 60);
    AddTest(cow, kMSD + 75, 6);  // conceived on MSD + 33, day 34
    Cull(cow, kMSD + 33, kMSD);
    Store(cow);
    ComputeConceptionTimes(context);
    BuildConceptionTables(context);
    EXPECT_EQ(Table(LifeTableSet::Main, Estimate::Central)[34].Preg, 1);
    EXPECT_EQ(Table(LifeTableSet::Main, Estimate::Optimistic)[33].Preg, 1);  // the day before culling
}

TEST_F(Conception, EndOfMatingLateInTheSeasonReadsTheNotInCalfRateAtDay147) {
    LifeTable central, none;
    central[1].Start = 10;
    central[50].Preg = 2;
    central[120].Preg = 3;
    ComputeLifeTable(central, kLifeTableDays);
    ComputeLifeTable(none, kLifeTableDays);

    context.EOMating = kMSD + 147;  // day 148
    ReadTableRates(context, central, central, central, none, none, none);
    EXPECT_EQ(report.NICR, 50);
    context.EOMating = kMSD + 146;  // day 147
    ReadTableRates(context, central, central, central, none, none, none);
    EXPECT_EQ(report.NICR, 50);
    context.EOMating = kMSD + 100;  // day 101
    ReadTableRates(context, central, central, central, none, none, none);
    EXPECT_EQ(report.NICR, 80);
    context.EOMating = kMSD - 1;  // day 0
    ReadTableRates(context, central, central, central, none, none, none);
    EXPECT_EQ(report.NICR, 50);
}

TEST_F(Conception, EarlyTestBasisReadsWeeklyInCalfRatesRoundedHalfToEven) {
    context.AnalysisBasis = kBasisEarlyPregTest;
    LifeTable central, optimistic, none;
    central[1].Start = 8;
    central[21].Preg = 1;  // 12.5 % by day 21
    optimistic[1].Start = 8;
    optimistic[1].Preg = 3;  // 37.5 % from day 1
    for (LifeTable* t : {&central, &optimistic, &none}) ComputeLifeTable(*t, kLifeTableDays);
    ReadTableRates(context, central, optimistic, none, none, none, none);
    EXPECT_EQ(report.ICR3wk, 12);
    EXPECT_EQ(report.ICR6wk, 12);
    EXPECT_EQ(report.ICR6wkHigh, 38);
    EXPECT_EQ(report.ICR6wklow, 100);
    EXPECT_EQ(report.NICRHigh, 62);  // 62.5
}

TEST_F(Conception, YearRoundCowNeverTestedNorCulledIsAtRiskButNeverCounted) {
    report.AnalysisCalvingPattern = kYearRoundCalving;
    FullCowRecord cow = Cow("COW", report.CalvingStop - 150);
    AddService(cow, cow.Calved + 60);
    Store(cow);
    ComputeConceptionTimes(context);
    EXPECT_EQ(CurrentDays(Stored("COW")), (Days{201, 0, 201, 0, 201, 0}));
    BuildConceptionTables(context);
    for (LifeTableSet set : {LifeTableSet::Main, LifeTableSet::Year200}) {
        const LifeTable& central = Table(set, Estimate::Central);
        EXPECT_EQ(central[1].Start, 1);
        EXPECT_EQ(central[200].Start, 1);
        EXPECT_EQ(central[200].CPreg, 0.0);
    }
    ReadTableRates(context);
    EXPECT_EQ(report.ICR100d, 0);
    EXPECT_EQ(report.NICR200dLow, 100);
    EXPECT_EQ(report.nCalved130, 100);
}

TEST_F(Conception, YearRoundServiceFollowedByHeatsAndTestsIsAnInferredFailure) {
    report.AnalysisCalvingPattern = kYearRoundCalving;
    FullCowRecord cow = Cow("COW", kMSD - 300);
    AddService(cow, kMSD - 250);
    AddService(cow, kMSD - 200);
    Store(cow);
    context.LastAIMating = kMSD - 179;  // first service is 71 days before it
    context.LastPregTest = kMSD - 214;  // 36 days after the first service
    ComputeConceptionTimes(context);
    const FullCowRecord stored = Stored("COW");
    EXPECT_TRUE(stored.Services[0].CountedService);
    EXPECT_TRUE(stored.Services[0].InferredFailure);
    EXPECT_FALSE(stored.Services[1].CountedService);  // the last heat itself

    context.LastPregTest = kMSD - 215;
    ComputeConceptionTimes(context);
    EXPECT_FALSE(Stored("COW").Services[0].CountedService);
}

TEST_F(Conception, EmptyTestCountsTheServicesFiveWeeksBeforeIt) {
    FullCowRecord cow = Cow("COW", kMSD - 60);
    AddService(cow, kMSD + 5);
    AddService(cow, kMSD + 26);
    AddTest(cow, kMSD + 60, 0);
    Store(cow);
    ComputeConceptionTimes(context);
    const FullCowRecord stored = Stored("COW");
    EXPECT_TRUE(stored.Services[0].CountedService);
    EXPECT_FALSE(stored.Services[1].CountedService);  // 34 days before the test
    EXPECT_EQ(CurrentDays(stored), (Days{148, 0, 148, 0, 148, 0}));  // not culled
}

TEST_F(Conception, SplitHerdReadsTheNotInCalfRateOverBothMatingPeriods) {
    report.AnalysisCalvingPattern = kSplitCalving;
    context.PrevMSD = kMSD - 180;
    context.AnalysisBasis = kBasisPregTest;
    FullCowRecord pregnant = Cow("A", kMSD - 250);
    AddTest(pregnant, kMSD - 60, 10);  // conceived on PrevMSD + 50
    Store(pregnant);
    Store(Cow("B", kMSD - 200));  // never tested, not culled
    ComputeConceptionTimes(context);
    EXPECT_EQ(PreviousDays(Stored("A")), (Days{51, 1, 51, 1, 51, 1}));
    EXPECT_EQ(PreviousDays(Stored("B")), (Days{701, 0, 701, 0, 701, 0}));

    TempFolder folder;
    context.trace.Open(folder.Path());
    BuildConceptionTables(context);
    ReadSplitNICR(context);
    context.trace.Close();
    const LifeTable& previous = Table(LifeTableSet::Previous, Estimate::Central);
    EXPECT_EQ(previous[1].Start, 2);
    EXPECT_EQ(previous[700].Start, 1);
    EXPECT_EQ(report.SplitNICR, 50);
    EXPECT_EQ(report.SplitNICRLow, 50);
    EXPECT_EQ(report.SplitNICRHigh, 50);
    const std::vector<std::string> trace = folder.Lines("DbugQMR.TXT");
    ASSERT_EQ(trace.size(), 3u * 2 + 200 + 200 + 700 + 2);
    EXPECT_EQ(trace[404], "Conception probabilities in previous mating period");
    EXPECT_EQ(trace[trace.size() - 2], "2 period NICR duration = 281");
    EXPECT_EQ(trace.back(), "2 period NICR = 50 50 50");
    EXPECT_EQ(folder.Lines("DbugQM1.TXT"),
              (std::vector<std::string>{"3 A" + FormatDateText(kMSD - 250) + "          51  1    51  1    51  1",
                                        "3 B" + FormatDateText(kMSD - 200) + "         701  0   701  0   701  0"}));

    context.AnalysisBasis = kBasisMatingRecords;
    report.SplitNICR = 0;
    ReadSplitNICR(context);
    EXPECT_EQ(report.SplitNICR, 0);
}

TEST_F(Conception, ConceptionDayBeyondSixteenBitsIsARangeError) {
    FullCowRecord cow = Cow("COW", kMSD - 60);
    AddTest(cow, kMSD + 40000, 5);
    Store(cow);
    EXPECT_THROW(ComputeConceptionTimes(context), RangeError);
}

TEST_F(Conception, DatesComputedBeyondTheCalendarAreRangeErrors) {
    context.MSD = kLastDate - 100;  // the default end of mating, MSD + 147, is past 31/12/9999
    context.EOMating = context.EOAI = 0;
    EXPECT_THROW(ComputeConceptionTimes(context), RangeError);

    context.MSD = kFirstDate + 10;  // 5 weeks before a test on MSD + 10 lies before 01/01/0001
    context.EOMating = context.EOAI = 0;
    FullCowRecord cow = Cow("COW", kFirstDate);
    AddTest(cow, kFirstDate + 20, 5);
    Store(cow);
    EXPECT_THROW(ComputeConceptionTimes(context), RangeError);
}

}  // namespace
}  // namespace ovista
