// Herds at the edges of what a farm can export but still valid: a single cow, twenty
// thousand lactations, a whole herd calving on one day, herds in 1950 and in 2090, and rows
// with every service and pregnancy-test slot filled. The analysis must finish quickly on each
// and refuse a herd only where a day count really leaves its 16 bits.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <string>

#include "analysis/analyse_herd.h"
#include "herd/errors.h"
#include "herd/herd_file.h"
#include "herd/herd_list.h"
#include "recording_services.h"

namespace ovista {
namespace {

// A herd built lactation by lactation, in the locale's case-blind key order as the reader
// builds it.
class Herd {
public:
    Herd() {
        list.TechnicianNumber("T1");
        list.TechnicianNumber("T2");
    }
    FullCowRecord& Add(const std::string& cow, Date calved, std::int16_t age = 5) {
        const std::string key = MakeHerdKey(cow, calved);
        list.FindOrAddRecord(key, work_, index_);
        work_.Calved = calved;
        work_.Age = age;
        return work_;
    }
    // Stores the lactation last added, with what the caller filled in.
    void Put() { list.PutRecord(index_, work_); }

    HerdList list;

private:
    FullCowRecord work_;
    int index_ = 0;
};

// An AI service by technician "T1".
ServiceRecord AIService(Date date) {
    ServiceRecord service;
    service.Date = date;
    service.AI = true;
    service.HasSire = true;
    service.Tech = 1;
    return service;
}

// How the lactations of a seasonal herd are filled.
struct SeasonalShape {
    int cowsPerYear = 100;
    int years = 4;
    bool everySlot = false;  // all 14 services and all 6 pregnancy tests on every lactation
};

// A seasonal herd calving from 1 July over nine weeks in each of the years before the
// analysis date's year (31 May), with AI from 1 October, a service every three weeks until
// conception, a pregnancy scan six weeks after the end of AI and the next calving 282 days
// after conception. With everySlot, services go on every three weeks to fill all 14 slots
// and the scan is repeated every fortnight to fill all six test slots.
void FillSeasonalHerd(Herd& herd, int analysisYear, const SeasonalShape& shape) {
    const Date analysisDate = MakeDate(31, 5, analysisYear);
    for (int y = analysisYear - shape.years; y < analysisYear; ++y) {
        const Date blockStart = MakeDate(1, 7, y);
        const Date msd = MakeDate(1, 10, y);
        for (int c = 0; c < shape.cowsPerYear; ++c) {
            FullCowRecord& r = herd.Add("C" + std::to_string(y) + "_" + std::to_string(c), blockStart + (c * 61) / shape.cowsPerYear,
                                    static_cast<std::int16_t>(2 + c % 8));
            // Cows conceive to their first, second or third service, one in ten not at all.
            const int conceivedAt = c % 10 == 9 ? -1 : c % 3;
            const int services = shape.everySlot ? kServiceSlots : (conceivedAt < 0 ? 3 : conceivedAt + 1);
            Date conception = 0;
            for (int s = 0; s < services; ++s) {
                ServiceRecord& service = r.Services[static_cast<std::size_t>(s)];
                service.Date = msd + c % 21 + 21 * s;
                service.AI = s < 3;
                service.HasSire = true;
                service.Tech = c % 2 == 0 ? 1 : 2;  // "T1", "T2"
                if (s == conceivedAt) conception = service.Date;
            }
            const int tests = shape.everySlot ? kPregTestSlots : 1;
            for (int t = 0; t < tests; ++t) {
                PregTestRecord& test = r.PregTests[static_cast<std::size_t>(t)];
                test.Date = msd + 105 + 14 * t;
                test.Weeks = conception == 0 ? 0 : static_cast<std::int16_t>((test.Date - conception) / 7);
            }
            r.Dryoff = blockStart + 280;
            r.Days = 270;
            r.Litres = 5200;
            if (conception != 0 && conception + 282 <= analysisDate) {
                r.NextCalve = conception + 282;
            } else if (conception == 0) {
                r.Culled = msd + 160;
            }
            herd.Put();
        }
    }
}

struct Outcome {
    HerdReport report;
    int summaryRows = 0;
    double seconds = 0;
};

Outcome Analyse(HerdList& herd, Date analysisDate) {
    Outcome outcome;
    const auto start = std::chrono::steady_clock::now();
    AnalyseHerd("EXTREME", analysisDate, "Owner", "Address", herd, outcome.report, "",
                [&outcome](HerdReport&) { ++outcome.summaryRows; });
    outcome.seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return outcome;
}

// The figures of a report that do not depend on the century: codes, counts, percentages,
// and the day and month of its mating dates.
std::string Figures(const HerdReport& r) {
    auto dayMonth = [](Date date) { return FormatDateText(date).substr(0, 5); };
    std::string text;
    for (int value : {int{r.Error}, int{r.ActCalvingPattern}, int{r.AnalysisCalvingPattern},
                      int{r.CowsAnalysed}, int{r.AnalType}, int{r.SR3wk}, int{r.ICR6wk},
                      int{r.ICR6wklow}, int{r.ICR6wkHigh}, int{r.NICR}, int{r.CR},
                      int{r.CRNo}, int{r.NRR}, int{r.NRRNo}}) {
        text += std::to_string(value) + " ";
    }
    return text + dayMonth(r.MSD) + " " + dayMonth(r.EOAI) + " " + dayMonth(r.EOMating);
}

class ExtremeHerds : public ::testing::Test {
protected:
    ExtremeHerds() { SetToday(2026, 6, 15); }
    testing::RecordingServices services_;
};

TEST_F(ExtremeHerds, OneCowIsTooFewCalvingsAndWritesNoRow) {
    Herd herd;
    FullCowRecord& r = herd.Add("ONLY", MakeDate(10, 7, 2025));
    r.Services[0] = AIService(MakeDate(1, 10, 2025));
    r.PregTests[0] = {MakeDate(15, 1, 2026), 15};
    herd.Put();
    const Outcome outcome = Analyse(herd.list, MakeDate(31, 5, 2026));
    EXPECT_EQ(outcome.report.Error, kErrorNoCalvingPeriod);
    EXPECT_EQ(outcome.summaryRows, 0);
}

TEST_F(ExtremeHerds, TwentyThousandLactationsAreAnalysedInAFewSeconds) {
    Herd herd;
    FillSeasonalHerd(herd, 2026, {5000, 4, false});
    ASSERT_EQ(herd.list.Count(), 20000);
    const Outcome outcome = Analyse(herd.list, MakeDate(31, 5, 2026));
    EXPECT_EQ(outcome.report.Error, kErrorNone);
    EXPECT_EQ(outcome.report.ActCalvingPattern, kSeasonalCalving);
    EXPECT_EQ(outcome.report.CowsAnalysed, 5000);
    EXPECT_EQ(outcome.summaryRows, 1);
    EXPECT_LT(outcome.seconds, 10.0);
}

TEST_F(ExtremeHerds, AHerdThatCalvedAllOnOneDayIsRefusedAsBatchRecorded) {
    Herd herd;
    for (int c = 0; c < 300; ++c) {
        FullCowRecord& r = herd.Add("C" + std::to_string(c), MakeDate(15, 7, 2025));
        r.Services[0] = AIService(MakeDate(1, 10, 2025) + c % 21);
        herd.Put();
    }
    const Outcome outcome = Analyse(herd.list, MakeDate(31, 5, 2026));
    EXPECT_EQ(outcome.report.Error, kErrorImplausibleCalvings);
    EXPECT_EQ(outcome.summaryRows, 0);
}

TEST_F(ExtremeHerds, HerdsOf1950And2090GiveTheFiguresOfTheSameHerdToday) {
    // The three spans have their leap year in the same place, so the herds are day for day
    // the same.
    Herd today, past, future;
    FillSeasonalHerd(today, 2026, {150, 4, false});
    FillSeasonalHerd(past, 1950, {150, 4, false});
    FillSeasonalHerd(future, 2090, {150, 4, false});
    const Outcome expected = Analyse(today.list, MakeDate(31, 5, 2026));
    ASSERT_EQ(expected.report.Error, kErrorNone);
    const Outcome of1950 = Analyse(past.list, MakeDate(31, 5, 1950));
    const Outcome of2090 = Analyse(future.list, MakeDate(31, 5, 2090));
    EXPECT_EQ(Figures(of1950.report), Figures(expected.report));
    EXPECT_EQ(Figures(of2090.report), Figures(expected.report));
    EXPECT_EQ(FormatDateText(of1950.report.MSD), "01/10/49");
    EXPECT_EQ(FormatDateText(of2090.report.MSD), "01/10/89");
}

TEST_F(ExtremeHerds, EveryServiceAndTestSlotFilledOnEveryRow) {
    Herd herd;
    FillSeasonalHerd(herd, 2026, {300, 4, true});
    const Outcome outcome = Analyse(herd.list, MakeDate(31, 5, 2026));
    EXPECT_EQ(outcome.report.Error, kErrorNone);
    EXPECT_EQ(outcome.report.ActCalvingPattern, kSeasonalCalving);
    EXPECT_EQ(outcome.report.CowsAnalysed, 300);
    EXPECT_EQ(outcome.summaryRows, 1);
}

// A lactation 140 years before the analysis only matters when one of its days is counted
// from the mating start: a culling or a conception then lies more than 32767 days away.
TEST_F(ExtremeHerds, ALactationOf1950InAHerdOf2090FailsOnlyWhenItsDaysAreCounted) {
    Herd plain;
    FillSeasonalHerd(plain, 2090, {150, 4, false});
    const std::string expected = Figures(Analyse(plain.list, MakeDate(31, 5, 2090)).report);

    const Date calved1950 = MakeDate(1, 7, 1950);
    auto withOldLactation = [&](Date calved, auto fill) {
        Herd herd;
        FillSeasonalHerd(herd, 2090, {150, 4, false});
        fill(herd.Add("OLD", calved));
        herd.Put();
        return Analyse(herd.list, MakeDate(31, 5, 2090));
    };
    const auto calvingOnly = [](FullCowRecord&) {};
    const auto served = [](FullCowRecord& r) {
        r.Services[0] = AIService(MakeDate(1, 10, 1950));
    };
    const auto testedEmpty = [](FullCowRecord& r) { r.PregTests[0] = {MakeDate(15, 1, 1951), 0}; };
    EXPECT_EQ(Figures(withOldLactation(calved1950, calvingOnly).report), expected);
    EXPECT_EQ(Figures(withOldLactation(calved1950, served).report), expected);
    EXPECT_EQ(Figures(withOldLactation(calved1950, testedEmpty).report), expected);
    // A row without calving date ("--/--/--") is carried the same way.
    EXPECT_EQ(Figures(withOldLactation(0, served).report), expected);

    const auto culled = [](FullCowRecord& r) { r.Culled = MakeDate(1, 1, 1951); };
    const auto testedInCalf = [](FullCowRecord& r) {
        r.Services[0] = AIService(MakeDate(1, 10, 1950));
        r.PregTests[0] = {MakeDate(15, 1, 1951), 15};
    };
    EXPECT_THROW(withOldLactation(calved1950, culled), RangeError);
    EXPECT_THROW(withOldLactation(calved1950, testedInCalf), RangeError);
}

}  // namespace
}  // namespace ovista
