#include "analysis/rates.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "analysis/analysis_context.h"
#include "herd/herd_file.h"

namespace ovista {
namespace {

namespace fs = std::filesystem;

// A context over a herd of its own, with the trace written to a temporary folder.
class RatesTest : public ::testing::Test {
protected:
    RatesTest()
        : herd([](std::string_view a, std::string_view b) { return a.compare(b); }),
          context(herd, report, MakeDate(15, 6, 2006)) {
        folder = fs::temp_directory_path() /
                 ("ovista_rates_" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        fs::remove_all(folder);
        fs::create_directories(folder);
        context.trace.Open(folder.string());
        report.AnalysisCalvingPattern = kSeasonalCalving;
        context.MSD = msd;
    }
    ~RatesTest() override {
        context.trace.Close();
        fs::remove_all(folder);
    }

    std::string Trace() {
        context.trace.Close();
        std::ifstream in(folder / kTraceFileName, std::ios::binary);
        std::ostringstream text;
        text << in.rdbuf();
        return text.str();
    }

    // Adds a lactation under a fresh cow id.
    void AddCow(FullCowRecord cow) {
        cow.Key = MakeHerdKey("C" + std::to_string(++cows_), cow.Calved);
        FullCowRecord stored;
        int index = 0;
        herd.FindOrAddRecord(cow.Key, stored, index);
        herd.PutRecord(index, cow);
    }

    // An AI service counted by the conception rate, its technician numbered in the herd.
    ServiceRecord CountedService(Date date, const std::string& tech, bool conception = false) {
        ServiceRecord service;
        service.Date = date;
        service.AI = true;
        service.HasSire = true;
        service.Tech = herd.TechnicianNumber(tech);
        service.CountedService = true;
        service.ConceptionService = conception;
        return service;
    }

    const Date msd = MakeDate(1, 10, 2005);
    HerdList herd;
    HerdReport report;
    AnalysisContext context;
    fs::path folder;

private:
    int cows_ = 0;
};


// ---- non-return rate ------------------------------------------------------------------

TEST_F(RatesTest, NonReturnRateNeedsTwentyThreeDaysOfAIAfterTheMatingStart) {
    context.AIByDay[1] = 10;
    context.ReturnsByDay[1] = 3;
    context.AIByDay[2] = 50;
    context.ReturnsByDay[2] = 50;

    context.EOAI = msd + 22;
    NonReturnRate(context);
    EXPECT_EQ(report.NRR, 0);
    EXPECT_EQ(report.NRRNo, 0);
    EXPECT_EQ(report.NRRSTart, 0);

    // One day more counts mating day 1 only.
    context.EOAI = msd + 23;
    NonReturnRate(context);
    EXPECT_EQ(report.NRR, 70);
    EXPECT_EQ(report.NRRNo, 10);
    EXPECT_EQ(report.NRRSTart, msd);
    EXPECT_EQ(report.NRRStop, msd + 200);
}

TEST_F(RatesTest, NonReturnRateOfThirtyInseminationsWithNineReturnsIsSeventy) {
    context.AIByDay[1] = 12;
    context.ReturnsByDay[1] = 4;
    context.AIByDay[30] = 18;
    context.ReturnsByDay[30] = 5;
    context.EOAI = msd + 60;
    NonReturnRate(context);
    EXPECT_EQ(report.NRR, 70);
    EXPECT_EQ(report.NRRNo, 30);
    // The window always ends 200 days after the mating start.
    EXPECT_EQ(report.NRRStop, msd + 200);
}

TEST_F(RatesTest, NonReturnRateCountsNoDayBeyondTwoHundred) {
    context.AIByDay[200] = 4;
    context.ReturnsByDay[200] = 1;
    context.EOAI = msd + 400;
    NonReturnRate(context);
    EXPECT_EQ(report.NRR, 75);
    EXPECT_EQ(report.NRRNo, 4);
}

TEST_F(RatesTest, YearRoundNonReturnRateAboveSeventyIsDroppedWithItsCount) {
    report.AnalysisCalvingPattern = kYearRoundCalving;
    report.NRRSTart = MakeDate(1, 8, 2005);
    report.NRRStop = MakeDate(1, 5, 2006);
    context.counters.YrNRRInsems = 100;
    context.counters.YrNRRReturns = 29;
    YearRoundNonReturnRate(context);
    EXPECT_EQ(report.NRR, 0);
    EXPECT_EQ(report.NRRNo, 0);
    EXPECT_EQ(report.NRRSTart, 0);
    EXPECT_EQ(report.NRRStop, 0);

    context.counters.YrNRRReturns = 30;
    YearRoundNonReturnRate(context);
    EXPECT_EQ(report.NRR, 70);
    EXPECT_EQ(report.NRRNo, 100);
}

// ---- conception rate by technician ----------------------------------------------------

TEST_F(RatesTest, TechniciansFillTenNamedEntriesAndTheRestGoToTheLast) {
    FullCowRecord first;
    first.Calved = msd - 50;
    for (int i = 0; i < 10; ++i) {
        first.Services[static_cast<std::size_t>(i)] = CountedService(msd + 2 * i, "tech" + std::to_string(i + 1));
    }
    AddCow(first);

    FullCowRecord second;
    second.Calved = msd - 40;
    second.Services[0] = CountedService(msd - 5, "tech1");  // before mating: not counted
    second.Services[1] = CountedService(msd + 30, "Tech11", true);
    second.Services[2] = CountedService(msd + 50, "");
    second.Services[3] = CountedService(msd + 70, "TeCh3", true);
    second.Services[4] = CountedService(msd + 90, "tech2");
    second.Services[4].CountedService = false;
    AddCow(second);

    FullCowRecord outside;  // calved after the group window
    outside.Calved = msd + 60;
    outside.Services[0] = CountedService(msd + 100, "tech1", true);
    AddCow(outside);

    ConceptionRateByTech(context);

    EXPECT_EQ(context.counters.CountedServices, 13);
    EXPECT_EQ(context.counters.ConceptionServices, 2);
    EXPECT_EQ(report.CRSTart, msd);
    EXPECT_EQ(report.CRStop, msd + 70);
    // The slots are walked from the last, so the tenth technician takes entry 0.
    for (int e = 0; e < 10; ++e) {
        const TechnicianEntry& entry = report.Technicians[static_cast<std::size_t>(e)];
        EXPECT_EQ(entry.Tech, "TECH" + std::to_string(10 - e));
        EXPECT_EQ(entry.Insems, e == 7 ? 2 : 1) << entry.Tech;
        EXPECT_EQ(entry.Pregs, e == 7 ? 1 : 0) << entry.Tech;
    }
    // The eleventh technician and the service without one, both without a name.
    EXPECT_EQ(report.Technicians[10], (TechnicianEntry{"", 2, 1}));
}

TEST_F(RatesTest, YearRoundConceptionRateCountsServicesBeforeAnyMatingStart) {
    report.AnalysisCalvingPattern = kYearRoundCalving;
    report.CalvingStop = MakeDate(30, 6, 2006);
    context.MSD = 0;
    FullCowRecord cow;
    cow.Calved = MakeDate(1, 1, 2006);
    cow.Services[0] = CountedService(MakeDate(1, 3, 2006), "ab");
    cow.Services[1] = CountedService(MakeDate(22, 3, 2006), "AB", true);
    AddCow(cow);
    ConceptionRateByTech(context);
    EXPECT_EQ(report.Technicians[0], (TechnicianEntry{"AB", 2, 1}));
    EXPECT_EQ(report.CRSTart, MakeDate(1, 3, 2006));
    EXPECT_EQ(report.CRStop, MakeDate(22, 3, 2006));
}

// ---- herd rates -----------------------------------------------------------------------

TEST_F(RatesTest, HerdRatesGiveCalvingSpreadInducedSharesAndTheMatingDates) {
    AnalysisCounters& c = context.counters;
    c.CurrentCows = 7;
    c.CountedServices = 40;
    c.ConceptionServices = 18;
    c.CalvedCows = 8;
    c.CalvedBefore63 = 2;
    c.CalvedBefore42 = 4;
    c.CalvedBefore21 = 6;
    c.InducedCows = 2;
    c.InducedBefore63 = 1;
    c.InducedBefore42 = 1;
    c.InducedBefore21 = 2;
    c.TwoYearOlds = 3;
    c.TwoYearOldsBefore63 = 1;
    c.TwoYearOldsBefore42 = 2;
    context.EOMating = msd + 120;
    context.EOAI = msd + 60;

    HerdRates(context);

    EXPECT_EQ(report.CowsAnalysed, 7);
    EXPECT_EQ(report.CR, 45);
    EXPECT_EQ(report.CRNo, 40);
    EXPECT_EQ(report.Calv3wk, 25);
    EXPECT_EQ(report.Calv6wk, 50);
    EXPECT_EQ(report.Calv9wk, 75);
    EXPECT_EQ(report.nCalved, 8);
    EXPECT_EQ(report.Induced3wk, 50);
    EXPECT_EQ(report.Induced6wk, 50);
    EXPECT_EQ(report.Induced9wk, 100);
    EXPECT_EQ(report.InducedPct, 25);
    EXPECT_EQ(report.Calv3wk2yo, 33);
    EXPECT_EQ(report.Calv6wk2yo, 67);
    EXPECT_EQ(report.Tot2yo, 3);
    EXPECT_EQ(report.MSD, msd);
    EXPECT_EQ(report.EOMating, msd + 120);
    EXPECT_EQ(report.EOAI, msd + 60);
}

TEST_F(RatesTest, HerdRatesWriteZeroCountsOverAnEarlierPass) {
    // A second, recalving-only pass finds no first calvers and no yields.
    report.Tot2yo = 12;
    report.n2yo = 9;
    report.nMature = 40;
    report.nCalved = 60;
    report.Calv3wk2yo = 40;
    report.Yield2yo = 14.5;
    HerdRates(context);
    EXPECT_EQ(report.Tot2yo, 0);
    EXPECT_EQ(report.n2yo, 0);
    EXPECT_EQ(report.nMature, 0);
    EXPECT_EQ(report.nCalved, 0);
    // Rates whose denominator is 0 are left as they were.
    EXPECT_EQ(report.Calv3wk2yo, 40);
    EXPECT_EQ(report.Yield2yo, 14.5);
}

TEST_F(RatesTest, YieldsAreMeansWithOneDecimalRoundedHalfToEven) {
    context.counters.TwoYearOldYieldCount = 2;
    context.counters.TwoYearOldYieldSum = 36.5;  // mean 18.25
    context.counters.MatureYieldCount = 3;
    context.counters.MatureYieldSum = 3000.0 / 101 + 3000.0 / 305 + 20;
    HerdRates(context);
    EXPECT_DOUBLE_EQ(report.Yield2yo, 18.2);
    EXPECT_EQ(report.n2yo, 2);
    EXPECT_DOUBLE_EQ(report.YieldMature, 19.8);
    EXPECT_EQ(report.nMature, 3);
}

TEST_F(RatesTest, YearRoundHerdRatesLeaveCalvingSpreadAndMatingDatesAlone) {
    report.AnalysisCalvingPattern = kYearRoundCalving;
    context.counters.CalvedCows = 10;
    context.counters.CalvedBefore42 = 5;
    context.counters.CurrentCows = 9;
    context.counters.MatureYieldCount = 1;
    context.counters.MatureYieldSum = 21.04;
    HerdRates(context);
    EXPECT_EQ(report.CowsAnalysed, 9);
    EXPECT_EQ(report.nCalved, 0);
    EXPECT_EQ(report.Calv6wk, 0);
    EXPECT_EQ(report.MSD, 0);
    EXPECT_DOUBLE_EQ(report.YieldMature, 21.0);
}

// ---- submission rates -----------------------------------------------------------------

TEST_F(RatesTest, ThreeWeekSubmissionNeedsTwentyDaysOfAIButItsCountIsAlwaysWritten) {
    AnalysisCounters& c = context.counters;
    c.CurrentCows = 50;
    c.ReturnIntervals = 30;
    c.NormalReturnIntervals = 21;
    c.Eligible3wk = 40;
    c.Submitted3wk = 30;
    c.Eligible10d = 44;
    c.Submitted10d = 22;
    c.MatureEligible3wk = 20;
    c.MatureSubmitted3wk = 17;

    context.EOAI = msd + 19;
    SubmissionRates(context);
    EXPECT_EQ(report.SR3wk, 0);
    EXPECT_EQ(report.SR3wk_n, 40);
    EXPECT_EQ(report.SR3wkEarlyMature, 0);
    EXPECT_EQ(report.SR3wkEM_n, 20);
    EXPECT_EQ(report.SR10d, 50);
    EXPECT_EQ(report.SR10d_n, 44);
    EXPECT_EQ(report.CowsAnalysed, 50);
    EXPECT_EQ(report.HeatIntervals, 30);
    EXPECT_EQ(report.HeatIntervals1824, 21);

    context.EOAI = msd + 20;
    SubmissionRates(context);
    EXPECT_EQ(report.SR3wk, 75);
    EXPECT_EQ(report.SR3wkEarlyMature, 85);

    // The 10-day rate needs nine days.
    report.SR10d = 0;
    context.EOAI = msd + 8;
    SubmissionRates(context);
    EXPECT_EQ(report.SR10d, 0);
    EXPECT_EQ(report.SR10d_n, 44);
}

TEST_F(RatesTest, YearRoundSubmissionIsByEightyDays) {
    report.AnalysisCalvingPattern = kYearRoundCalving;
    AnalysisCounters& c = context.counters;
    c.Eligible80d = 80;
    c.Submitted80d = 50;
    c.MatureEligible80d = 0;
    c.Eligible3wk = 10;
    SubmissionRates(context);
    EXPECT_EQ(report.SR80d, 62);  // 62.5 to even
    EXPECT_EQ(report.SR80d_n, 80);
    EXPECT_EQ(report.SR80dMature, 0);
    EXPECT_EQ(report.SR80dMature_n, 0);
    EXPECT_EQ(report.SR3wk_n, 0);
}

// ---- estimated in-calf rates ----------------------------------------------------------

TEST_F(RatesTest, SixWeekEstimateUsesTheNonReturnRateOnlyWhenItRestsOnFiftyServices) {
    report.SR3wk = 60;
    report.NRR = 55;
    report.NRRNo = 80;
    context.counters.EarlyCalvers = 90;
    context.counters.CurrentCows = 100;
    EstimateICR(context);
    EXPECT_EQ(report.ICR6wk, 57);  // 26.928 + 1.01 + 9.966 + 19.467

    report.NRRNo = 40;
    EstimateICR(context);
    EXPECT_EQ(report.ICR6wk, 59);  // 27.282 + 9.15 + 22.455

    report.NRRNo = 80;
    report.NRR = 71;
    EstimateICR(context);
    EXPECT_EQ(report.ICR6wk, 59);

    EXPECT_EQ(Trace(),
              "Estimated 6wk ICR  SR=0.600 NRR=0.550 Early calvers=90  Current cows=100\r\n"
              "Estimated 6wk ICR  SR=0.600 NRR=0.550 Early calvers=90  Current cows=100\r\n"
              "Estimated 6wk ICR  SR=0.600 NRR=0.710 Early calvers=90  Current cows=100\r\n");
}

TEST_F(RatesTest, HundredDayEstimateIsTheMeanProbabilityOrErrorSix) {
    report.AnalysisCalvingPattern = kYearRoundCalving;
    context.counters.CurrentCows = 60;
    context.counters.Est100dTotal = 20.5;
    report.Est100dN = 50;
    EstimateICR(context);
    EXPECT_EQ(report.ICR100d, 41);
    EXPECT_EQ(report.Error, 0);

    report.Est100dN = 0;
    context.counters.Est100dTotal = 0;
    EstimateICR(context);
    EXPECT_EQ(report.Error, kErrorNoEst100dCows);
    EXPECT_EQ(Trace(),
              "Estimated 100d ICR  total estimate =20.500 N=50\r\n"
              "Estimated 100d ICR  total estimate =0.000 N=0\r\n");
}

TEST_F(RatesTest, RecalvingEstimateFailsWhenExactlySeventyPercentRecalved) {
    context.PeriodIndex = 0;
    context.Period(0).RecalvingOK = true;
    report.CdateMSD = msd;
    AnalysisCounters& c = context.counters;
    c.CurrentCows = 100;
    c.Calved42 = 40;
    c.ReCalved42 = 30;
    c.ReCalvedNextYear = 70;
    RecalvingICR(context);
    EXPECT_EQ(report.Error, kErrorTooFewRecalved);
    EXPECT_EQ(report.ICR6wk, 0);

    report.Error = 0;
    c.ReCalvedNextYear = 71;
    RecalvingICR(context);
    EXPECT_EQ(report.Error, 0);
    EXPECT_EQ(report.ICR6wk, 35);  // 11.676 + 6.86 + 16.698
    EXPECT_EQ(Trace(),
              "Calved42 = 40\r\nReCalved42 = 30\r\nReCalvedNextYear = 70\r\n"
              "Calved42 = 40\r\nReCalved42 = 30\r\nReCalvedNextYear = 71\r\n");
}

TEST_F(RatesTest, RecalvingEstimateNeedsAPeriodWithRecalvingInformation) {
    context.counters.CurrentCows = 100;
    context.counters.Calved42 = 40;
    context.counters.ReCalved42 = 30;
    context.counters.ReCalvedNextYear = 90;
    // A seasonal herd that fell back to recalvings without a recalving period.
    context.PeriodIndex = -1;
    RecalvingICR(context);
    EXPECT_EQ(report.Error, kErrorNoRecalvingPeriod);

    report.Error = 0;
    context.PeriodIndex = 3;
    context.Period(3).RecalvingOK = false;
    RecalvingICR(context);
    EXPECT_EQ(report.Error, kErrorNoRecalvingPeriod);
    EXPECT_EQ(report.ICR6wk, 0);
    EXPECT_EQ(Trace(), "");

    // Split herds have no recalving estimate.
    context.Period(3).RecalvingOK = true;
    report.AnalysisCalvingPattern = kSplitCalving;
    RecalvingICR(context);
    EXPECT_EQ(report.Error, kErrorSplitRecalving);
}

TEST_F(RatesTest, YearRoundRecalvingEstimateUsesTheYearOf382Days) {
    report.AnalysisCalvingPattern = kYearRoundCalving;
    context.PeriodIndex = 0;
    context.Period(0).RecalvingOK = true;
    report.LastRecalving = MakeDate(20, 6, 2006);
    report.yrCalved382 = 80;
    report.yrReCalved382 = 60;
    RecalvingICR(context);
    EXPECT_EQ(report.ICR100d, 81);  // 77.7675 + 3.05
    EXPECT_EQ(report.Error, 0);

    report.yrReCalved382 = 0;
    RecalvingICR(context);
    EXPECT_EQ(report.Error, kErrorNoYearRoundRecalving);
    EXPECT_EQ(Trace(),
              "yrLastRecalving= 20/06/06\r\nyrLastRecalving-382= 03/06/05\r\n"
              "yrCalved382 = 80\r\nyrReCalved382 = 60\r\n"
              "yrLastRecalving= 20/06/06\r\nyrLastRecalving-382= 03/06/05\r\n"
              "yrCalved382 = 80\r\nyrReCalved382 = 0\r\n");
}

}  // namespace
}  // namespace ovista
