#include "analysis/mating_arrays.h"

#include <gtest/gtest.h>

#include <deque>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <iterator>
#include <string>

#include "herd/errors.h"

namespace ovista {
namespace {

const Date kAnalysisDate = MakeDate(30, 6, 2006);
const Date kMSD = MakeDate(1, 10, 2005);

struct Service {
    Date date;
    bool ai = true;
    const char* sire = "SIRE";
};

// A herd of hand-made lactations and the analysis state around it.
class MatingArrays : public ::testing::Test {
protected:
    MatingArrays()
        : herd([](std::string_view a, std::string_view b) { return a.compare(b); }),
          context(herd, report, kAnalysisDate) {
        report.AnalysisCalvingPattern = kSeasonalCalving;
        context.MSD = kMSD;
    }

    // Adds a lactation with the derived service dates the driver would have filled in.
    FullCowRecord& Add(Date calved, std::initializer_list<Service> services = {}) {
        FullCowRecord& cow = cows.emplace_back();
        cow.Key = "COW" + std::to_string(cows.size() + 100);
        cow.Calved = calved;
        int slot = 0;
        for (const Service& s : services) {
            ServiceRecord& r = cow.Services[static_cast<std::size_t>(slot++)];
            r.Date = s.date;
            r.AI = s.ai;
            r.HasSire = *s.sire != '\0';
        }
        return cow;
    }

    void Store() {
        for (FullCowRecord& cow : cows) {
            for (const ServiceRecord& s : cow.Services) {
                if (s.Date == 0) continue;
                cow.LastHeat = s.Date;
                if (!s.HasSire) continue;
                if (cow.FirstService == 0) cow.FirstService = s.Date;
                cow.LastService = s.Date;
            }
            FullCowRecord stored;
            int index = 0;
            herd.FindOrAddRecord(cow.Key, stored, index);
            herd.PutRecord(index, cow);
        }
    }

    FullCowRecord Stored(int index) const {
        FullCowRecord cow;
        herd.GetRecord(index, cow);
        return cow;
    }

    void ServiceDays(std::initializer_list<int> daysBeforeAnalysis) {
        for (int n : daysBeforeAnalysis) context.DailyServices[n] = 3;
    }

    HerdList herd;
    HerdReport report;
    AnalysisContext context;
    std::deque<FullCowRecord> cows;  // references stay valid as cows are added
};

// Reads the trace written during a test; the folder is removed afterwards.
class TraceFolder {
public:
    TraceFolder()
        : path_(std::filesystem::temp_directory_path() /
                (std::string("ovista_arrays_") + ::testing::UnitTest::GetInstance()->current_test_info()->name())) {
        std::filesystem::create_directories(path_);
    }
    ~TraceFolder() { std::filesystem::remove_all(path_); }
    std::string Path() const { return path_.string(); }
    std::string Read(const char* name) const {
        std::ifstream in(path_ / name, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }

private:
    std::filesystem::path path_;
};

// ---- InMatingGroup ------------------------------------------------------------------

TEST_F(MatingArrays, SeasonalGroupRunsFrom130DaysBeforeTo59DaysAfterTheMSD) {
    EXPECT_FALSE(InMatingGroup(context, Add(kMSD - 131), 0, false, true));
    EXPECT_TRUE(InMatingGroup(context, Add(kMSD - 130), 0, false, true));
    EXPECT_TRUE(InMatingGroup(context, Add(kMSD + 59), 0, false, true));
    EXPECT_FALSE(InMatingGroup(context, Add(kMSD + 60), 0, false, true));
}

TEST_F(MatingArrays, SplitGroupRunsFrom120DaysBeforeToTheMSD) {
    report.AnalysisCalvingPattern = kSplitCalving;
    EXPECT_FALSE(InMatingGroup(context, Add(kMSD - 121), 0, false, true));
    EXPECT_TRUE(InMatingGroup(context, Add(kMSD - 120), 0, false, true));
    EXPECT_TRUE(InMatingGroup(context, Add(kMSD), 0, false, true));
    EXPECT_FALSE(InMatingGroup(context, Add(kMSD + 1), 0, false, true));
}

TEST_F(MatingArrays, YearRoundCowCulledWithin49DaysOfCalvingLeavesTheGroup) {
    report.AnalysisCalvingPattern = kYearRoundCalving;
    const Date d = kAnalysisDate;
    FullCowRecord& day49 = Add(d - 100);
    day49.Culled = day49.Calved + 49;
    FullCowRecord& day50 = Add(d - 100);
    day50.Culled = day50.Calved + 50;
    FullCowRecord& recalvedFirst = Add(d - 100);
    recalvedFirst.Culled = recalvedFirst.Calved + 10;
    recalvedFirst.NextCalve = recalvedFirst.Calved + 5;
    EXPECT_FALSE(InMatingGroup(context, day49, d, false, true));
    EXPECT_TRUE(InMatingGroup(context, day49, d, false, false));
    EXPECT_TRUE(InMatingGroup(context, day50, d, false, true));
    EXPECT_TRUE(InMatingGroup(context, recalvedFirst, d, false, true));
    // The year up to d: d - 365 is out, d itself in, a day later out.
    EXPECT_FALSE(InMatingGroup(context, Add(d - 365), d, false, true));
    EXPECT_TRUE(InMatingGroup(context, Add(d - 364), d, false, true));
    EXPECT_TRUE(InMatingGroup(context, Add(d), d, false, true));
    EXPECT_FALSE(InMatingGroup(context, Add(d + 1), d, false, true));
}

TEST_F(MatingArrays, CowCulledBeforeMatingStartsOrEmbryoTransferCowIsOutOfTheGroup) {
    FullCowRecord& culled = Add(kMSD - 50);
    culled.Culled = kMSD - 1;
    FullCowRecord& culledOnMSD = Add(kMSD - 50);
    culledOnMSD.Culled = kMSD;
    FullCowRecord& et = Add(kMSD - 50);
    et.ETCow = true;
    EXPECT_FALSE(InMatingGroup(context, culled, 0, false, true));
    EXPECT_TRUE(InMatingGroup(context, culled, 0, false, false));
    EXPECT_TRUE(InMatingGroup(context, culledOnMSD, 0, false, true));
    EXPECT_FALSE(InMatingGroup(context, et, 0, false, false));
}

TEST_F(MatingArrays, PreviousGroupNeedsAPreviousMatingStart) {
    report.AnalysisCalvingPattern = kSplitCalving;
    FullCowRecord& cow = Add(kMSD - 200);
    EXPECT_FALSE(InMatingGroup(context, cow, 0, true, false));
    context.PrevMSD = kMSD - 180;
    EXPECT_TRUE(InMatingGroup(context, cow, 0, true, false));
    cow.Culled = context.PrevMSD - 1;
    EXPECT_FALSE(InMatingGroup(context, cow, 0, true, true));
}

// ---- MatchBasisPeriod and FindMatingStarts -----------------------------------------------

class MatingStarts : public MatingArrays {
protected:
    MatingStarts() {
        // Period 2 has early pregnancy tests, period 5 recalving information.
        context.Period(2) = PeriodSummary{.start = kAnalysisDate - 700, .end = kAnalysisDate - 400};
        context.Period(5) = PeriodSummary{.start = kAnalysisDate - 1000, .end = kAnalysisDate - 400};
        context.EarlyPDPeriod = 2;
        context.RecalvingPeriod = 5;
        context.MSD = 0;
    }
    bool Flagged(int n) const { return context.MatingStartFlags[n] == 1; }
};

TEST_F(MatingStarts, EarlierBasisWinsUnlessOnlyRecalvingsCount) {
    EXPECT_TRUE(MatchBasisPeriod(context, kAnalysisDate - 500, false));
    EXPECT_EQ(context.AnalysisBasis, kBasisEarlyPregTest);
    EXPECT_EQ(context.PeriodIndex, 2);
    EXPECT_TRUE(MatchBasisPeriod(context, kAnalysisDate - 500, true));
    EXPECT_EQ(context.AnalysisBasis, kBasisRecalving);
    EXPECT_EQ(context.PeriodIndex, 5);
    EXPECT_EQ(context.MSD, kAnalysisDate - 500);

    context.MSD = 7;
    EXPECT_FALSE(MatchBasisPeriod(context, kAnalysisDate - 399, false));
    EXPECT_EQ(context.MSD, 7);
}

TEST_F(MatingStarts, FirstServicesOfTheRecordsStartMatingWithoutAnEarlierGap) {
    ServiceDays({1461, 1460, 1459, 1458});
    FindMatingStarts(context, false);
    EXPECT_TRUE(Flagged(1461));
}

TEST_F(MatingStarts, ThreeServiceDaysInAWeekAreNoStartButTheNextBusierWeekIs) {
    ServiceDays({800, 798, 796, 793, 792});
    FindMatingStarts(context, false);
    EXPECT_FALSE(Flagged(800));
    EXPECT_TRUE(Flagged(798));
}

TEST_F(MatingStarts, StartsMustBeSixtyDaysApart) {
    ServiceDays({1000, 999, 998, 997, 941, 940, 939, 938});
    FindMatingStarts(context, false);
    EXPECT_TRUE(Flagged(1000));
    EXPECT_FALSE(Flagged(941));  // 59 days after the start
    EXPECT_FALSE(Flagged(940));  // 60 days after, but only three service days left in its week

    context.DailyServices.Clear();
    ServiceDays({1000, 999, 998, 997, 940, 939, 938, 937});
    FindMatingStarts(context, false);
    EXPECT_TRUE(Flagged(940));
}

TEST_F(MatingStarts, ANewSeasonNeedsMoreThanThreeWeeksWithoutServices) {
    // Daily services through days 1000..950, then 21 empty days: no new season.
    for (int n = 1000; n >= 950; --n) context.DailyServices[n] = 1;
    for (int n = 928; n >= 925; --n) context.DailyServices[n] = 1;
    FindMatingStarts(context, false);
    EXPECT_TRUE(Flagged(1000));
    EXPECT_FALSE(Flagged(928));
    EXPECT_FALSE(Flagged(927));

    // 22 empty days: the next service day starts one.
    context.DailyServices[928] = 0;
    context.DailyServices[924] = 1;
    FindMatingStarts(context, false);
    EXPECT_TRUE(Flagged(927));
}

TEST_F(MatingStarts, NewestStartInABasisPeriodIsTheMSDWithItsNeighbours) {
    ServiceDays({900, 899, 898, 897, 500, 499, 498, 497, 300, 299, 298, 297});
    FindMatingStarts(context, false);
    EXPECT_EQ(context.MSD, kAnalysisDate - 500);
    EXPECT_EQ(context.AnalysisBasis, kBasisEarlyPregTest);
    EXPECT_EQ(context.PeriodIndex, 2);
    EXPECT_EQ(context.NextMSD, kAnalysisDate - 300);
    EXPECT_EQ(context.PrevMSD, kAnalysisDate - 900);
}

TEST_F(MatingStarts, NoStartInABasisPeriodLeavesTheMSDUnsetAndTheOldestStartNext) {
    context.EarlyPDPeriod = -1;
    context.RecalvingPeriod = -1;
    ServiceDays({900, 899, 898, 897, 300, 299, 298, 297});
    FindMatingStarts(context, false);
    EXPECT_EQ(context.MSD, 0);
    EXPECT_EQ(context.AnalysisBasis, 0);
    EXPECT_EQ(context.NextMSD, kAnalysisDate - 900);
    EXPECT_EQ(context.PrevMSD, 0);
}

TEST_F(MatingStarts, TraceListsServiceDaysAndStarts) {
    TraceFolder folder;
    context.trace.Open(folder.Path());
    ServiceDays({500, 499, 498, 497});
    FindMatingStarts(context, false);
    context.trace.Close();
    const std::string start = FormatDateText(kAnalysisDate - 500);
    EXPECT_EQ(folder.Read("DbugQMR.TXT"),
              "Mating array\r\n" + start + "  3\r\n" + FormatDateText(kAnalysisDate - 499) + "  3\r\n" +
                  FormatDateText(kAnalysisDate - 498) + "  3\r\n" + FormatDateText(kAnalysisDate - 497) +
                  "  3\r\nMating start dates\r\n" + start + "\r\nNumber of mating start dates = 1\r\n");
}

// ---- BuildServiceArrays --------------------------------------------------------------

TEST_F(MatingArrays, ReturnIntervalsCountFrom2To72DaysAndNormalOnesFrom18To24) {
    Date d = kMSD;
    std::vector<Date> dates{d};
    for (int gap : {1, 2, 17, 18, 24, 25, 72, 73}) dates.push_back(d += gap);
    FullCowRecord& cow = Add(kMSD - 60);
    for (std::size_t i = 0; i < dates.size(); ++i) {
        cow.Services[i].Date = dates[i];
        cow.Services[i].HasSire = true;
    }
    Store();
    BuildServiceArrays(context);
    EXPECT_EQ(context.counters.ReturnIntervals, 6);        // 2, 17, 18, 24, 25, 72
    EXPECT_EQ(context.counters.NormalReturnIntervals, 2);  // 18, 24
}

TEST_F(MatingArrays, ServicesCountByMatingDayFromTheMSDAsDayOne) {
    Add(kMSD - 60, {{kMSD - 1}, {kMSD}, {kMSD + 199, false}, {kMSD + 200}});
    Add(kMSD - 60, {{kMSD, true, ""}});  // a heat, no service
    Store();
    BuildServiceArrays(context);
    EXPECT_EQ(context.ServicesByDay[1], 1);
    EXPECT_EQ(context.AIByDay[1], 1);
    EXPECT_EQ(context.ServicesByDay[200], 1);
    EXPECT_EQ(context.AIByDay[200], 0);
    int total = 0;
    for (int k = 1; k <= kMatingDays; ++k) total += context.ServicesByDay[k];
    EXPECT_EQ(total, 2);
}

TEST_F(MatingArrays, FourteenthSlotIsOnlyTheLaterEventOfTheThirteenth) {
    FullCowRecord& full = Add(kMSD - 60);
    for (int slot = 0; slot < kServiceSlots; ++slot) {
        ServiceRecord& service = full.Services[static_cast<std::size_t>(slot)];
        service.Date = kMSD + 3 * slot;
        service.AI = true;
        service.HasSire = true;
    }
    Add(kMSD - 60, {{kMSD + 49}, {kMSD + 50}});  // AI goes on to day 51
    Store();
    BuildServiceArrays(context);
    EXPECT_EQ(context.EOAI, kMSD + 50);
    EXPECT_EQ(context.AIByDay[40], 0);       // slot 14
    EXPECT_EQ(context.ReturnsByDay[40], 0);
    EXPECT_EQ(context.AIByDay[37], 1);       // slot 13, returned to slot 14
    EXPECT_EQ(context.ReturnsByDay[37], 1);
    EXPECT_EQ(context.ReturnsByDay[50], 1);
    EXPECT_EQ(context.ReturnsByDay[51], 0);  // nothing after it
}

TEST_F(MatingArrays, ReturnAfterTheEndOfAIIsNotCounted) {
    Add(kMSD - 60, {{kMSD}, {kMSD + 1}, {kMSD + 2}, {kMSD + 40, false}});
    Store();
    BuildServiceArrays(context);
    EXPECT_EQ(context.EOAI, kMSD + 2);
    EXPECT_EQ(context.EOMating, kMSD + 40);
    EXPECT_EQ(context.ReturnsByDay[1], 1);
    EXPECT_EQ(context.ReturnsByDay[2], 1);
    EXPECT_EQ(context.ReturnsByDay[3], 0);  // its return came after the end of AI
}

TEST_F(MatingArrays, LoneLastAIDayDoesNotEndSeasonalAI) {
    Add(kMSD - 60, {{kMSD}, {kMSD + 4}, {kMSD + 9}, {kMSD + 14}, {kMSD + 19}, {kMSD + 24}, {kMSD + 29}, {kMSD + 39}});
    Store();
    BuildServiceArrays(context);
    EXPECT_EQ(context.EOAI, kMSD + 29);
    EXPECT_EQ(context.EOMating, kMSD + 39);  // the last service
}

TEST_F(MatingArrays, SeasonalAIEndsOnlyWhereAIDaysLieWithinAWeek) {
    Add(kMSD - 60, {{kMSD}, {kMSD + 8}});  // 7 free days between
    Store();
    BuildServiceArrays(context);
    EXPECT_EQ(context.EOAI, 0);

    herd.FreeRecords();
    cows.clear();
    Add(kMSD - 60, {{kMSD}, {kMSD + 7}});  // 6 free days between
    Store();
    context.AIByDay.Clear();
    BuildServiceArrays(context);
    EXPECT_EQ(context.EOAI, kMSD + 7);
}

TEST_F(MatingArrays, SplitHerdEndsAIAfterMoreThanAWeekWithoutAI) {
    report.AnalysisCalvingPattern = kSplitCalving;
    Add(kMSD - 60, {{kMSD}, {kMSD + 5}, {kMSD + 13}, {kMSD + 22}, {kMSD + 60, false}});
    Store();
    BuildServiceArrays(context);
    // Days 7..13 are 7 free days (not more), days 15..22 are 8.
    EXPECT_EQ(context.EOAI, kMSD + 13);
    // Services end after more than 21 free days: day 23, then nothing until day 61.
    EXPECT_EQ(context.EOMating, kMSD + 22);
}

TEST_F(MatingArrays, EndOfMatingFromConceptionsIsTheLastBusyDayBeforeThirtyQuietOnes) {
    report.PDMSD = kMSD;
    const int s = kAnalysisDate - kMSD;
    for (int n = s; n > s - 20; --n) context.DailyConceptions[n] = 2;
    context.DailyConceptions[s - 30] = 2;  // ends a run of only 10 quiet days
    BuildServiceArrays(context);
    EXPECT_EQ(context.PDMatingEnd, kMSD + 30);
    EXPECT_EQ(context.EOMating, kMSD + 30);

    // A run of busy days longer than 147 days is cut at PD MSD + 147.
    for (int n = s; n > s - 200; --n) context.DailyConceptions[n] = 2;
    BuildServiceArrays(context);
    EXPECT_EQ(context.PDMatingEnd, kMSD + 147);
}

TEST_F(MatingArrays, PreviousGroupGivesTheLastHeatAndAIBeforeTheMSD) {
    context.PrevMSD = kMSD - 365;
    const Date prev = context.PrevMSD;
    Add(prev - 60, {{prev + 10}, {prev + 30, false}, {prev + 50, false, ""}, {kMSD + 5}});
    Add(kMSD - 60, {{kMSD - 3}});  // the current group only
    Store();
    BuildServiceArrays(context);
    EXPECT_EQ(context.PrevMatingEnd, prev + 50);  // a heat counts
    EXPECT_EQ(context.PrevEOAI, prev + 10);
}

TEST_F(MatingArrays, SplitHerdsFindBothMatingEndsFromConceptions) {
    report.AnalysisCalvingPattern = kSplitCalving;
    report.PDMSD = kMSD + 60;
    report.PrevPdMsd = kMSD - 200;
    const auto conceptions = [&](Date from, Date to, int count) {
        for (Date d = from; d <= to; ++d) context.DailyConceptions[kAnalysisDate - d] = count;
    };
    conceptions(kMSD - 200, kMSD + 5, 2);
    conceptions(kMSD + 60, kMSD + 69, 1);  // one conception a day keeps a split herd mating
    BuildServiceArrays(context);
    EXPECT_EQ(context.PDMatingEnd, kMSD + 69);
    EXPECT_EQ(context.EOMating, kMSD + 69);
    // The previous mating ran past the MSD, so it ends three weeks before it.
    EXPECT_EQ(context.PrevPDMatingEnd, kMSD - 21);
    EXPECT_EQ(context.PrevMatingEnd, kMSD - 21);

    conceptions(kMSD - 200, kMSD + 5, 0);
    conceptions(kMSD - 200, kMSD - 181, 2);
    context.EOMating = 0;
    BuildServiceArrays(context);
    EXPECT_EQ(context.PrevPDMatingEnd, kMSD - 181);
}

TEST_F(MatingArrays, CulledCowsAreMarkedWithTheirDaysFromTheMatingStart) {
    context.PrevMSD = kMSD - 365;
    Add(kMSD - 60).Culled = kMSD + 60;
    FullCowRecord& recalved = Add(kMSD - 60);
    recalved.Culled = kMSD + 400;
    recalved.NextCalve = kMSD + 300;
    Add(kMSD - 60).Culled = context.PrevMSD + 699;
    Add(kMSD - 60).Culled = context.PrevMSD + 700;
    Store();
    BuildServiceArrays(context);
    EXPECT_EQ(Stored(1).CulledFlag, 1);
    EXPECT_EQ(Stored(1).DaysToCull, 61);
    EXPECT_EQ(Stored(1).PrevCulledFlag, 1);
    EXPECT_EQ(Stored(1).DaysToCullPrev, 61 + 365);
    EXPECT_EQ(Stored(2).CulledFlag, 1);  // culled, but after her next calving
    EXPECT_EQ(Stored(2).DaysToCull, 0);
    EXPECT_EQ(Stored(3).PrevCulledFlag, 1);
    EXPECT_EQ(Stored(4).PrevCulledFlag, 0);
    EXPECT_EQ(Stored(4).DaysToCull, 336);
}

TEST_F(MatingArrays, CountsCalvingSpreadSubmissionAndYields) {
    Add(kMSD - 63, {{kMSD + 5}}).Age = 2;   // calved in week 1, submitted on day 6
    FullCowRecord& induced = Add(kMSD - 30, {{kMSD + 20}});
    induced.InducedCode = 1;
    FullCowRecord& served = Add(kMSD - 100, {{kMSD - 5}});  // served before mating: not eligible
    served.Days = 0;
    served.Litres = 6000;
    served.Age = 5;
    FullCowRecord& culled = Add(kMSD - 20);
    culled.Culled = kMSD - 1;
    Store();
    BuildServiceArrays(context);
    const AnalysisCounters& c = context.counters;
    EXPECT_EQ(c.CalvedCows, 4);
    EXPECT_EQ(c.CurrentCows, 3);
    EXPECT_EQ(c.CalvedBefore63, 2);
    EXPECT_EQ(c.CalvedBefore42, 2);
    EXPECT_EQ(c.CalvedBefore21, 3);
    EXPECT_EQ(c.InducedCows, 1);
    EXPECT_EQ(c.InducedBefore21, 1);
    EXPECT_EQ(c.TwoYearOlds, 1);
    EXPECT_EQ(c.TwoYearOldsBefore63, 1);
    EXPECT_EQ(c.EarlyCalvers, 2);
    EXPECT_EQ(c.Eligible3wk, 2);
    EXPECT_EQ(c.Submitted3wk, 2);
    EXPECT_EQ(c.Submitted10d, 1);
    EXPECT_EQ(c.MatureEligible3wk, 0);
    EXPECT_EQ(c.MatureYieldCount, 1);
    EXPECT_DOUBLE_EQ(c.MatureYieldSum, 6000.0 / 305);
    EXPECT_EQ(c.TwoYearOldYieldCount, 0);  // no litres recorded
}

TEST_F(MatingArrays, RecalvingCountsFollowTheMSDFromCalvings) {
    report.CdateMSD = kMSD;
    Add(kMSD - 42).NextCalve = kMSD + 168;   // conceived in the first 42 days of mating
    Add(kMSD - 41).NextCalve = kMSD + 324;   // too late for 42 days, still next season
    Add(kMSD - 50).NextCalve = kMSD + 482;   // not the next season
    Store();
    BuildServiceArrays(context);
    EXPECT_EQ(context.counters.Calved42, 2);
    EXPECT_EQ(context.counters.ReCalved42, 1);
    EXPECT_EQ(context.counters.ReCalvedNextYear, 2);
}

TEST_F(MatingArrays, ServiceArrayTraceListsDaysWithInseminationsOrReturns) {
    TraceFolder folder;
    context.trace.Open(folder.Path());
    Add(kMSD - 60, {{kMSD}, {kMSD + 20}, {kMSD + 21}});
    Store();
    BuildServiceArrays(context);
    context.trace.Close();
    const std::string trace = folder.Read("DbugQMR.TXT");
    EXPECT_EQ(trace, "Insem and return arrays\r\nDate      Insems  Returns\r\n" + FormatDateText(kMSD) +
                         "       1       1   TRUE\r\n" + FormatDateText(kMSD + 20) + "       1       1   TRUE\r\n" +
                         FormatDateText(kMSD + 21) + "       1       0   TRUE\r\n");
}

TEST_F(MatingArrays, MatingDayBeyondSixteenBitsIsARangeError) {
    Add(kMSD - 60, {{kMSD + 40000}});
    Store();
    EXPECT_THROW(BuildServiceArrays(context), RangeError);
}

}  // namespace
}  // namespace ovista
