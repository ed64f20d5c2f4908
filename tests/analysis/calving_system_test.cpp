#include "analysis/calving_system.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "analysis/analyse_herd.h"
#include "analysis/analysis_context.h"
#include "herd/herd_file.h"

namespace ovista {
namespace {

namespace fs = std::filesystem;

std::string Join(const std::vector<AnalysisStage>& stages) {
    std::string text;
    for (AnalysisStage stage : stages) {
        if (!text.empty()) text += ", ";
        text += StageName(stage);
    }
    return text;
}

ServiceRecord AIService(Date date) {
    ServiceRecord service;
    service.Date = date;
    service.AI = true;
    service.HasSire = true;
    service.Tech = 1;  // "T1", the fixture's herd's first technician
    return service;
}

// A herd analysed as of 15/06/2006 with the period summaries' dates filled in; the tests set
// the period indexes, flags and calving pattern they need. Traces go to a temporary folder.
class CalvingSystemTest : public ::testing::Test {
protected:
    CalvingSystemTest()
        : herd([](std::string_view a, std::string_view b) { return a.compare(b); }),
          context(herd, report, analysisDate) {
        herd.TechnicianNumber("T1");
        for (int r = 0; r < kPeriodCount; ++r) {
            const PeriodBounds bounds = AnalysisPeriodBounds(analysisDate, r);
            context.Period(r).start = bounds.start;
            context.Period(r).end = bounds.end;
        }
        report.CalvingStart = context.Period(0).start;
        report.CalvingStop = context.Period(0).end;
        context.TakeWorkAreas();
        folder = fs::temp_directory_path() /
                 ("ovista_system_" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        fs::remove_all(folder);
        fs::create_directories(folder);
        context.trace.Open(folder.string());
    }
    ~CalvingSystemTest() override {
        context.trace.Close();
        fs::remove_all(folder);
    }

    std::vector<std::string> TraceLines() {
        context.trace.Close();
        std::ifstream in(folder / kTraceFileName, std::ios::binary);
        std::vector<std::string> lines;
        std::string line;
        while (std::getline(in, line)) {
            if (!line.empty() && line.back() == '\r') line.pop_back();
            lines.push_back(line);
        }
        return lines;
    }

    // True when the trace holds these lines one after another.
    bool TraceHas(const std::vector<std::string>& expected) {
        const std::vector<std::string> lines = TraceLines();
        return std::search(lines.begin(), lines.end(), expected.begin(), expected.end()) != lines.end();
    }

    // Adds a lactation under a fresh cow id, with the dates the driver derives from its services.
    void AddCow(FullCowRecord cow) {
        for (const ServiceRecord& service : cow.Services) {
            if (service.Date == 0 || !service.HasSire) continue;
            if (cow.FirstService == 0) cow.FirstService = service.Date;
            cow.LastService = service.Date;
        }
        cow.Key = MakeHerdKey("C" + std::to_string(++cows_), cow.Calved);
        FullCowRecord stored;
        int index = 0;
        herd.FindOrAddRecord(cow.Key, stored, index);
        herd.PutRecord(index, cow);
    }

    FullCowRecord Cow(Date calved, std::int16_t age = 5) {
        FullCowRecord cow;
        cow.Calved = calved;
        cow.Age = age;
        return cow;
    }

    // Year-round herd analysed on recalvings over period 0 (the stages then only read counts).
    void YearRoundOnRecalvings() {
        report.AnalysisCalvingPattern = kYearRoundCalving;
        context.RecalvingPeriod = 0;
        context.Period(0).RecalvingOK = true;
    }

    const Date analysisDate = MakeDate(15, 6, 2006);
    HerdList herd;
    HerdReport report;
    AnalysisContext context;
    fs::path folder;

private:
    int cows_ = 0;
};

// ---- the stage sequences --------------------------------------------------------------

TEST(StageSequence, FollowsTheBasisThePatternAndTheMatingData) {
    struct Row {
        std::int16_t pattern;
        std::int16_t basis;
        bool mating;
        const char* stages;
    };
    const std::string ct = "ComputeConceptionTimes, BuildConceptionTables, ";
    const Row rows[] = {
        {1, 1, true, "NonReturnRate, HerdRates, SubmissionRates, EstimateICR"},
        {1, 1, false, "NonReturnRate, HerdRates, SubmissionRates, EstimateICR"},
        {1, 2, true, "NonReturnRate, ReadTableRates, ConceptionRateByTech, HerdRates, SubmissionRates"},
        {1, 2, false, "ReadTableRates, HerdRates"},
        {1, 3, true, "ReadTableRates, NonReturnRate, ConceptionRateByTech, HerdRates, SubmissionRates, EstimateICR"},
        {1, 3, false, "ReadTableRates, HerdRates"},
        {1, 4, true, "RecalvingICR, HerdRates"},
        {2, 1, true, "NonReturnRate, HerdRates, SubmissionRates, EstimateICR"},
        {2, 2, true,
         "NonReturnRate, ReadTableRates, ReadSplitNICR, ConceptionRateByTech, HerdRates, SubmissionRates"},
        {2, 2, false, "ReadTableRates, ReadSplitNICR, HerdRates"},
        {2, 3, true,
         "ReadTableRates, ReadSplitNICR, NonReturnRate, ConceptionRateByTech, HerdRates, SubmissionRates, "
         "EstimateICR"},
        {2, 3, false, "ReadTableRates, ReadSplitNICR, HerdRates"},
        {2, 4, true, "RecalvingICR"},
        {3, 1, false, "YearRoundNonReturnRate, HerdRates, SubmissionRates, EstimateICR"},
        {3, 2, true,
         "YearRoundNonReturnRate, ReadTableRates, ConceptionRateByTech, HerdRates, SubmissionRates"},
        {3, 2, false, "ReadTableRates, HerdRates"},
        {3, 3, true,
         "ReadTableRates, YearRoundNonReturnRate, ConceptionRateByTech, HerdRates, SubmissionRates, "
         "EstimateICR"},
        {3, 3, false, "ReadTableRates, HerdRates"},
        {3, 4, false, "HerdRates, RecalvingICR"},
    };
    for (const Row& row : rows) {
        const std::string expected = (row.basis == 2 || row.basis == 3 ? ct : "") + row.stages;
        EXPECT_EQ(Join(StageSequence(row.pattern, row.basis, row.mating)), expected)
            << "pattern " << row.pattern << " basis " << row.basis << " mating " << row.mating;
    }
    EXPECT_TRUE(StageSequence(1, 0, true).empty());
    EXPECT_TRUE(StageSequence(1, 7, true).empty());
}

// ---- seasonal and split herds ---------------------------------------------------------

TEST_F(CalvingSystemTest, SeasonalHerdWithoutAMatchingMSDFallsBackToEarlyTestsFromThePDMSD) {
    report.AnalysisCalvingPattern = kSeasonalCalving;
    context.EarlyPDPeriod = 20;
    report.PDMSD = MakeDate(1, 10, 2005);  // not within period 20
    report.CdateMSD = MakeDate(3, 10, 2005);

    AnalyseSeasonal(context, false);

    EXPECT_EQ(report.AnalType, kBasisEarlyPregTest);
    EXPECT_EQ(context.MSD, report.PDMSD);
    EXPECT_EQ(context.PeriodIndex, 20);
    EXPECT_EQ(report.MSD, report.PDMSD);  // written by HerdRates
    EXPECT_TRUE(TraceHas({"Analysis MSD =   /  /  ", "Analysis basis = Not possible", "Previous MSD =   /  /  ",
                          "Revised Analysis MSD = 01/10/05", "Analysis basis = Early preg test",
                          "Previous MSD =   /  /  "}));
}

TEST_F(CalvingSystemTest, SeasonalHerdTakesRecalvingsWhenAskedOrWithoutEarlyTests) {
    report.AnalysisCalvingPattern = kSeasonalCalving;
    report.PDMSD = MakeDate(1, 10, 2005);
    report.CdateMSD = MakeDate(3, 10, 2005);
    context.RecalvingPeriod = 25;

    AnalyseSeasonal(context, false);
    EXPECT_EQ(report.AnalType, kBasisRecalving);
    EXPECT_EQ(context.MSD, report.CdateMSD);
    EXPECT_EQ(context.PeriodIndex, 25);
    // Period 25 has no recalving information.
    EXPECT_EQ(report.Error, kErrorNoRecalvingPeriod);

    report.Error = 0;
    context.EarlyPDPeriod = 20;
    AnalyseSeasonal(context, true);
    EXPECT_EQ(report.AnalType, kBasisRecalving);
    EXPECT_EQ(context.MSD, report.CdateMSD);
    EXPECT_TRUE(TraceHas({"Revised Analysis MSD = 03/10/05", "Analysis basis = Recalving info"}));
}

TEST_F(CalvingSystemTest, SeasonalHerdOnEarlyTestsWithoutAPDMSDFailsOnTheFirstCulling) {
    // Early tests without a mating start found from them count days from day 0, so the
    // first culling day does not fit in 16 bits: the herd fails and the batch logs it.
    report.AnalysisCalvingPattern = kSeasonalCalving;
    context.EarlyPDPeriod = 20;
    report.CdateMSD = MakeDate(3, 10, 2005);
    FullCowRecord cow = Cow(MakeDate(1, 8, 2005));
    cow.Culled = MakeDate(1, 12, 2005);
    cow.PregTests[0] = {MakeDate(1, 11, 2005), 4};
    AddCow(cow);

    EXPECT_THROW(AnalyseSeasonal(context, false), RangeError);
}

TEST_F(CalvingSystemTest, SeasonalRecalvingEstimateAndYieldsOverLactationsLongerThanOneHundredDays) {
    report.AnalysisCalvingPattern = kSeasonalCalving;
    const Date msd = MakeDate(3, 10, 2005);
    report.CdateMSD = msd;
    context.RecalvingPeriod = 0;
    context.Period(0).RecalvingOK = true;
    FullCowRecord shortLactation = Cow(msd - 60, 2);
    shortLactation.Days = 100;
    shortLactation.Litres = 2000;
    AddCow(shortLactation);
    FullCowRecord counted = Cow(msd - 50, 2);
    counted.Days = 101;
    counted.Litres = 3000;
    counted.NextCalve = msd + 290;
    AddCow(counted);

    AnalyseSeasonal(context, false);

    EXPECT_EQ(report.AnalType, kBasisRecalving);
    EXPECT_EQ(report.n2yo, 1);
    EXPECT_DOUBLE_EQ(report.Yield2yo, 29.7);
    EXPECT_EQ(report.Tot2yo, 2);
    EXPECT_EQ(report.CowsAnalysed, 2);
    // Calved42 2, ReCalved42 1, ReCalvedNextYear 1 of 2 current cows: not enough recalved.
    EXPECT_EQ(report.Error, kErrorTooFewRecalved);
    EXPECT_TRUE(TraceHas({"Calved42 = 2", "ReCalved42 = 1", "ReCalvedNextYear = 1"}));
}

TEST_F(CalvingSystemTest, SplitHerdWithoutAPreviousMatingStartIsAnalysedAsSeasonal) {
    report.AnalysisCalvingPattern = kSplitCalving;
    report.CdateMSD = MakeDate(3, 10, 2005);
    context.RecalvingPeriod = 0;
    context.Period(0).RecalvingOK = true;

    AnalyseSplit(context);

    EXPECT_EQ(report.AnalysisCalvingPattern, kSeasonalCalving);
    EXPECT_EQ(report.AnalType, kBasisRecalving);
    EXPECT_EQ(report.Error, 0);
    const std::vector<std::string> lines = TraceLines();
    const auto changed = std::find(lines.begin(), lines.end(), "Calving pattern for analysis changed to 1");
    EXPECT_NE(std::find(changed, lines.end(), "Analysis MSD = 03/10/05"), lines.end());
}

TEST_F(CalvingSystemTest, SplitHerdWithoutABasisOrEarlyTestsStopsWithErrorFour) {
    report.AnalysisCalvingPattern = kSplitCalving;
    report.PDMSD = MakeDate(1, 10, 2005);
    report.PrevPdMsd = MakeDate(1, 4, 2005);

    AnalyseSplit(context);

    EXPECT_EQ(report.Error, kErrorNoAnalysisBasis);
    EXPECT_EQ(report.AnalType, 0);
    EXPECT_EQ(report.AnalysisCalvingPattern, kSplitCalving);
    EXPECT_TRUE(TraceHas({"Analysis MSD =   /  /  ", "Analysis basis = Not possible", "Previous MSD = 01/04/05",
                          "Previous End Of AI =   /  /  "}));
}

TEST_F(CalvingSystemTest, SplitHerdWithEarlyTestsCountsFromThePDMSD) {
    report.AnalysisCalvingPattern = kSplitCalving;
    report.PDMSD = MakeDate(1, 10, 2005);
    report.PrevPdMsd = MakeDate(1, 4, 2005);
    context.EarlyPDPeriod = 30;

    AnalyseSplit(context);

    EXPECT_EQ(report.Error, 0);
    EXPECT_EQ(report.AnalType, kBasisEarlyPregTest);
    EXPECT_EQ(context.MSD, report.PDMSD);
    EXPECT_EQ(context.PrevMSD, report.PrevPdMsd);
    EXPECT_EQ(report.MSD, report.PDMSD);
}

// ---- year-round herds -----------------------------------------------------------------

TEST_F(CalvingSystemTest, YearRoundEarlyTestsWinATieWithMatingRecords) {
    report.AnalysisCalvingPattern = kYearRoundCalving;
    context.MatingPeriod = 2;
    context.EarlyPDPeriod = 2;
    context.RecalvingPeriod = 2;

    AnalyseYearRound(context);

    EXPECT_EQ(report.AnalType, kBasisEarlyPregTest);
    EXPECT_EQ(context.PeriodIndex, 2);
    EXPECT_EQ(report.Error, 0);
    EXPECT_TRUE(TraceHas({"Analysis Year = 01/05/05 to 30/04/06", "Analysis basis = Early preg test"}));
}

TEST_F(CalvingSystemTest, YearRoundTakesTheMostRecentPeriodWhateverItsKind) {
    report.AnalysisCalvingPattern = kYearRoundCalving;
    context.EarlyPDPeriod = 4;
    context.PregTestPeriod = 3;
    context.RecalvingPeriod = 3;
    context.Period(3).RecalvingOK = true;

    AnalyseYearRound(context);

    EXPECT_EQ(report.AnalType, kBasisPregTest);
    EXPECT_EQ(context.PeriodIndex, 3);
}

TEST_F(CalvingSystemTest, YearRoundWithoutAnyPeriodStopsWithErrorFour) {
    report.AnalysisCalvingPattern = kYearRoundCalving;
    AnalyseYearRound(context);
    EXPECT_EQ(report.Error, kErrorNoAnalysisBasis);
    EXPECT_EQ(report.AnalType, 0);
    EXPECT_EQ(TraceLines(), (std::vector<std::string>{"Analysis Year not calculated", "Analysis basis = Not possible"}));
}

// Intervals 30, 31, ... days from calving to first service for `served` cows of a group of
// `group` cows calved 200 days before the end of the period.
struct VWPCase {
    int served;
    int group;
    std::int16_t vwp;
};

class VoluntaryWaitingPeriodTest : public CalvingSystemTest,
                                   public ::testing::WithParamInterface<VWPCase> {};

TEST_P(VoluntaryWaitingPeriodTest, IsTheIntervalFivePercentOfTheServedCowsReached) {
    YearRoundOnRecalvings();
    const Date calved = report.CalvingStop - 200;
    for (int i = 0; i < GetParam().group; ++i) {
        FullCowRecord cow = Cow(calved);
        // Served in descending order, so the list must sort them.
        if (i < GetParam().served) cow.Services[0] = AIService(calved + 30 + (GetParam().served - 1 - i));
        AddCow(cow);
    }
    AnalyseYearRound(context);
    EXPECT_EQ(report.VWP, GetParam().vwp);
    EXPECT_EQ(context.IntervalCount, GetParam().served);
    EXPECT_EQ(context.GroupCount, GetParam().group);
    EXPECT_EQ(context.FirstServiceIntervals[0], 30);
    EXPECT_EQ(context.FirstServiceIntervals[static_cast<std::size_t>(GetParam().served)], kNoInterval);
}

INSTANTIATE_TEST_SUITE_P(
    ServedCowsAndGroups, VoluntaryWaitingPeriodTest,
    ::testing::Values(VWPCase{100, 150, 34},  // k = 5: the fifth smallest interval
                      VWPCase{100, 200, 0},   // not more than half the group served
                      VWPCase{50, 60, 0},     // not more than 50 served
                      VWPCase{51, 60, 32}));  // k = round(2.55) = 3

TEST_F(CalvingSystemTest, VoluntaryWaitingPeriodMustBeBelowTwoHundredDays) {
    YearRoundOnRecalvings();
    const Date calved = report.CalvingStop - 300;
    for (int i = 0; i < 60; ++i) {
        FullCowRecord cow = Cow(calved);
        cow.Services[0] = AIService(calved + 200 + i);
        AddCow(cow);
    }
    AnalyseYearRound(context);
    EXPECT_EQ(report.VWP, 0);
    EXPECT_TRUE(TraceHas({"C-S1 intervals", "Intervals = 60", "200", "201", "202", "VWP = 0"}));
}

TEST_F(CalvingSystemTest, AnUnservedCow140DaysCalvedAtTheLastAIMatingAddsItsProbability) {
    YearRoundOnRecalvings();
    const Date lastAI = report.CalvingStop - 10;
    FullCowRecord served = Cow(lastAI - 100);  // served at 100 days: too early for the estimate
    served.Services[0] = AIService(lastAI);
    AddCow(served);
    AddCow(Cow(lastAI - 140));
    AddCow(Cow(lastAI - 130));  // not more than 130 days

    AnalyseYearRound(context);

    EXPECT_EQ(context.LastAIMating, lastAI);
    EXPECT_EQ(report.Est100dN, 1);
    EXPECT_NEAR(context.counters.Est100dTotal, 0.1032, 0.0001);
    EXPECT_EQ(context.counters.Eligible80d, 3);
    EXPECT_EQ(context.counters.Submitted80d, 0);
    EXPECT_EQ(context.counters.CurrentCows, 3);
}

TEST_F(CalvingSystemTest, YearRoundServicesGiveHeatIntervalsNonReturnsAndTheEstimateTerms) {
    YearRoundOnRecalvings();
    const Date calved = report.CalvingStop - 300;
    const Date first = calved + 60;
    FullCowRecord cow = Cow(calved);
    cow.Services[0] = AIService(first);
    cow.Services[1] = AIService(first + 18);  // a normal return
    cow.Services[2] = AIService(first + 91);  // 73 days on: no heat interval
    AddCow(cow);

    AnalyseYearRound(context);

    const AnalysisCounters& c = context.counters;
    EXPECT_EQ(c.ReturnIntervals, 1);
    EXPECT_EQ(c.NormalReturnIntervals, 1);
    // The last service is within 30 days of the last AI mating and is not judged.
    EXPECT_EQ(c.YrNRRInsems, 2);
    EXPECT_EQ(c.YrNRRReturns, 1);
    EXPECT_EQ(report.NRRSTart, first);
    EXPECT_EQ(report.NRRStop, first + 18);
    EXPECT_EQ(c.Submitted80d, 1);
    FullCowRecord stored;
    herd.GetRecord(1, stored);
    EXPECT_EQ(stored.ServedBy100d, 1);
    EXPECT_EQ(stored.Served101To130, 0);
    EXPECT_EQ(stored.DaysToFirstService, 60);
    EXPECT_EQ(stored.SubmittedDate, first);
    // z = -0.01717 x 60 - 2.162 + 4.543
    EXPECT_NEAR(context.counters.Est100dTotal, 0.79426, 0.00001);
    EXPECT_TRUE(TraceHas({"NRR Insems 2", "NRR ReturnsInsems 1"}));
}

TEST_F(CalvingSystemTest, YearRoundRecalvingCountsUseTheLastNaturalRecalving) {
    YearRoundOnRecalvings();
    const Date stop = report.CalvingStop;
    FullCowRecord latest = Cow(stop - 300);
    latest.NextCalve = stop + 80;  // the last recalving; 380 days: not itself counted
    AddCow(latest);
    FullCowRecord induced = Cow(stop - 200);
    induced.NextCalve = stop + 100;
    induced.NextInduced = true;
    AddCow(induced);
    FullCowRecord recalved = Cow(stop - 340);
    recalved.NextCalve = stop - 340 + 300;
    AddCow(recalved);
    AddCow(Cow(stop - 330));
    FullCowRecord tooSoon = Cow(stop - 320);
    tooSoon.NextCalve = stop - 320 + 250;
    AddCow(tooSoon);

    AnalyseYearRound(context);

    EXPECT_EQ(report.LastRecalving, stop + 80);
    EXPECT_EQ(report.yrCalved382, 3);
    EXPECT_EQ(report.yrReCalved382, 1);
    EXPECT_EQ(report.ICR100d, 38);  // (1.0369 / 3 + 0.0305) x 100 = 37.6
    EXPECT_EQ(report.AnalType, kBasisRecalving);
}

TEST_F(CalvingSystemTest, YearRoundYieldsCountLactationsOfAnyLength) {
    YearRoundOnRecalvings();
    FullCowRecord shortLactation = Cow(report.CalvingStop - 200, 2);
    shortLactation.Days = 100;
    shortLactation.Litres = 3000;
    AddCow(shortLactation);
    FullCowRecord mature = Cow(report.CalvingStop - 150, 0);
    mature.Days = 0;
    mature.Litres = 6100;
    AddCow(mature);

    AnalyseYearRound(context);

    EXPECT_EQ(report.n2yo, 1);
    EXPECT_DOUBLE_EQ(report.Yield2yo, 30.0);
    EXPECT_EQ(report.nMature, 1);
    EXPECT_DOUBLE_EQ(report.YieldMature, 20.0);  // 6100 / 305
}

TEST_F(CalvingSystemTest, YearRoundCullingMarksCountDaysFromCalving) {
    YearRoundOnRecalvings();
    FullCowRecord culled = Cow(report.CalvingStop - 200);
    culled.Culled = report.CalvingStop - 100;
    culled.NextCalve = report.CalvingStop - 20;  // after culling: dropped
    culled.Services[0] = AIService(report.CalvingStop - 150);
    culled.Services[1] = AIService(report.CalvingStop - 90);
    AddCow(culled);

    AnalyseYearRound(context);

    FullCowRecord stored;
    herd.GetRecord(1, stored);
    EXPECT_EQ(stored.CulledFlag, 1);
    EXPECT_EQ(stored.DaysToCull, 100);
    EXPECT_EQ(stored.NextCalve, 0);
    EXPECT_EQ(stored.Services[1].Date, 0);
    EXPECT_EQ(context.LastAIMating, report.CalvingStop - 150);
}

}  // namespace
}  // namespace ovista
