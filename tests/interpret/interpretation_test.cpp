#include "interpret/interpretation.h"

#include <gtest/gtest.h>

#include <cmath>

#include "interpret/message_table.h"

namespace ovista {
namespace {

const PageMark* At(const PageMarks& marks, PageMark::Kind kind, double x, double y) {
    for (const PageMark& m : marks) {
        if (m.kind == kind && std::abs(m.x - x) < 1e-9 && std::abs(m.y - y) < 1e-9) return &m;
    }
    return nullptr;
}
std::string TextAt(const PageMarks& marks, double x, double y) {
    const PageMark* m = At(marks, PageMark::Kind::Text, x, y);
    return m ? m->text : "";
}
int StarsAt(const PageMarks& marks, double x, double y) {
    const PageMark* m = At(marks, PageMark::Kind::Stars, x, y);
    return m ? m->count : 0;
}

HerdReport Seasonal() {
    HerdReport r;
    r.ActCalvingPattern = kSeasonalCalving;
    r.AnalType = kBasisEarlyPregTest;
    r.MSD = MakeDate(1, 10, 2005);
    return r;
}

TEST(Interpretation, StarBoundaries) {
    struct Case {
        int icr6wk, nicr, icrStars, nicrStars;
    };
    // 17 weeks of mating: not-in-calf top below 11, average below 13.
    for (const Case c : {Case{69, 10, 5, 5}, Case{68, 11, 3, 3}, Case{59, 12, 1, 3}, Case{60, 13, 3, 1}}) {
        HerdReport r = Seasonal();
        r.EOMating = r.MSD + 16 * 7;
        r.ICR6wk = static_cast<std::int16_t>(c.icr6wk);
        r.NICR = static_cast<std::int16_t>(c.nicr);
        const Interpretation in = InterpretSeasonal(r, false);
        EXPECT_EQ(StarsAt(in.marks, 38.5, 27.2), c.icrStars) << c.icr6wk;
        EXPECT_EQ(StarsAt(in.marks, 86.3, 27.2), c.nicrStars) << c.nicr;
        EXPECT_EQ(TextAt(in.marks, 64.8, 28.2), "9%");
    }
    EXPECT_EQ(MatingWeeks(HerdReport{}), 21);
    EXPECT_EQ(NicrTop(15), 12.1);
    EXPECT_EQ(ExpectedNicr(0, 21), 10);
    EXPECT_EQ(ExpectedNicr(64, 11), 18);
    EXPECT_EQ(ExpectedNicr(85, 8), 9);
}

TEST(Interpretation, FiguresAimsAndEmptyResults) {
    HerdReport r = Seasonal();
    r.ICR6wk = 62;
    r.ICR6wklow = 55;
    r.ICR6wkHigh = 68;
    r.NICR = 12;
    r.NICRHigh = 10;
    r.NICRLow = 15;
    r.Calv3wk2yo = 0;
    r.Calv6wk2yo = 90;
    Interpretation in = InterpretSeasonal(r, false);
    EXPECT_EQ(TextAt(in.marks, 17, 26), "62% (55-68%)");
    EXPECT_EQ(TextAt(in.marks, 17, 28.2), "71%");
    EXPECT_EQ(TextAt(in.marks, 64.8, 26), "12% (10-15%)");
    EXPECT_EQ(in.texts.Icr6wkText, LookupMessage("6wk_Actual"));
    // A week with no calvings loses its label and figure, keeps its aim.
    EXPECT_EQ(TextAt(in.marks, 15.8, 63.1), "");
    EXPECT_EQ(TextAt(in.marks, 16.4, 67.5), "73%");
    EXPECT_EQ(TextAt(in.marks, 23.7, 63.1), "Week 6");
    EXPECT_EQ(TextAt(in.marks, 24.3, 65.3), "90%");
    EXPECT_EQ(StarsAt(in.marks, 26.6, 69.9), 5);
    // Induced cows: every figure written, 0% included.
    EXPECT_EQ(TextAt(in.marks, 86, 88.6), "0%");
    EXPECT_EQ(TextAt(in.marks, 82.6, 92.9), "0%");

    // Split herds: narrower panels and the not-in-calf rate after two mating periods.
    r.ActCalvingPattern = kSplitCalving;
    r.SplitNICR = 6;
    r.SplitNICRLow = 2;
    r.SplitNICRHigh = 18;
    in = InterpretSeasonal(r, true);
    EXPECT_EQ(TextAt(in.marks, 13.3, 26), "62% (55-68%)");
    EXPECT_EQ(TextAt(in.marks, 44.7, 26), "12% (10-15%)");
    EXPECT_EQ(TextAt(in.marks, 75.9, 26), "6% (2-18%)");
    EXPECT_EQ(TextAt(in.marks, 75.9, 28.2), "8%");
    EXPECT_EQ(StarsAt(in.marks, 90.9, 27.2), 5);
    EXPECT_EQ(in.texts.SplitNicrText, LookupMessage("NICR_Reported"));

    r.ICR6wk = 0;  // no 6-week result on early pregnancy tests: no text, figure or stars, aim stays
    in = InterpretSeasonal(r, false);
    EXPECT_EQ(in.texts.Icr6wkText, "");
    EXPECT_EQ(TextAt(in.marks, 17, 26), "");
    EXPECT_EQ(TextAt(in.marks, 17, 28.2), "71%");
    EXPECT_EQ(StarsAt(in.marks, 38.5, 27.2), 0);
}

TEST(Interpretation, NonReturnAndConceptionRules) {
    const std::string ok = LookupMessage("NRR_OK");
    const std::string crBetter = LookupMessage("NRR_CRBetter");
    struct Case {
        int nrrNo, nrr, crNo;
        std::string text;
        bool figure;
    };
    const Case cases[] = {
        {0, 0, 50, crBetter, false},
        {0, 0, 49, LookupMessage("NRR_NoMatings"), false},
        {49, 60, 0, "49 " + LookupMessage("NRR_InsufficientMatings"), false},
        {60, 71, 0, LookupMessage("NRR_NoReturns"), false},
        {60, 65, 50, crBetter, false},
        {60, 65, 10, "60 " + ok, true},
    };
    for (const Case& c : cases) {
        HerdReport r = Seasonal();
        r.NRRNo = static_cast<std::int16_t>(c.nrrNo);
        r.NRR = static_cast<std::int16_t>(c.nrr);
        r.CRNo = static_cast<std::int16_t>(c.crNo);
        r.CR = 55;
        const Interpretation in = InterpretSeasonal(r, false);
        EXPECT_EQ(in.texts.NrrText, c.text) << c.nrrNo << "/" << c.nrr;
        EXPECT_EQ(TextAt(in.marks, 45.2, 49.9), c.figure ? std::to_string(c.nrr) + "%" : "");
        // The conception rate needs more than 50 tested inseminations.
        EXPECT_EQ(in.texts.CrText, c.crNo > 50 ? std::to_string(c.crNo) + " " + LookupMessage("CR_OK")
                                               : LookupMessage("CR_None"));
        EXPECT_EQ(StarsAt(in.marks, 90.9, 51.2), 5);
    }
    // Exactly 50 inseminations: year-round chooses the text but shows no figure.
    HerdReport r = Seasonal();
    r.NRRNo = 50;
    r.NRR = 62;
    EXPECT_EQ(TextAt(InterpretSeasonal(r, false).marks, 45.2, 49.9), "62%");
    r.ActCalvingPattern = kYearRoundCalving;
    const Interpretation yr = InterpretYearRound(r);
    EXPECT_EQ(yr.texts.NrrText, "50 " + ok);
    EXPECT_EQ(TextAt(yr.marks, 45.2, 49.9), "");
    EXPECT_EQ(TextAt(yr.marks, 45.2, 52.1), "60%");
    const PageMark* advice = At(yr.marks, PageMark::Kind::Advice, 59.6, 51.2);
    ASSERT_NE(advice, nullptr);
    EXPECT_TRUE(advice->ok);
}

TechnicianEntry Tech(const char* id, int insems, double rate) {
    return {id, static_cast<std::int16_t>(insems), static_cast<std::int16_t>(std::lround(insems * rate / 100))};
}

TEST(Interpretation, Technicians) {
    struct Case {
        TechnicianEntry first, second;
        std::string firstRate, secondText, secondName;
    };
    const Case cases[] = {
        {Tech("ALPHA-TECH-9", 450, 55.2), Tech("B2", 420, 50.0), "55%", "Similar to", "ALPHA-TECH-9"},
        {Tech("A1", 450, 55.2), Tech("B2", 420, 62.0), "55%", "62%", ""},
        {Tech("A1", 40, 55.0), Tech("B2", 30, 90.0), "", "", ""},
        {Tech("A1", 250, 50.0), Tech("", 200, 59.5), "50%", "Similar to", "A1"},  // 9.5 < 10
    };
    for (const Case& c : cases) {
        HerdReport r = Seasonal();
        r.Technicians[0] = c.first;
        r.Technicians[1] = c.second;
        const Interpretation in = InterpretSeasonal(r, false);
        EXPECT_EQ(in.texts.AiPracticeText, LookupMessage("AIPractice_OK"));
        EXPECT_EQ(TextAt(in.marks, 45, 77.3), c.first.Tech.substr(0, 8));
        EXPECT_EQ(TextAt(in.marks, 45, 81.7), c.firstRate);
        const bool small = c.secondText == "Similar to";
        EXPECT_EQ(TextAt(in.marks, 52.008, small ? 81.5 : 81.7), c.secondText);
        EXPECT_EQ(TextAt(in.marks, 52.008, 82.3), c.secondName);
    }
    // Third technician: compared with the second when both differ from the first.
    HerdReport r;
    r.ActCalvingPattern = kYearRoundCalving;
    r.Technicians[0] = Tech("A", 450, 40);
    r.Technicians[1] = Tech("B", 420, 60);
    r.Technicians[2] = Tech("C", 410, 62);
    Interpretation in = InterpretYearRound(r);
    EXPECT_EQ(TextAt(in.marks, 86.355, 80.3), "Similar to");
    EXPECT_EQ(TextAt(in.marks, 86.355, 81.1), "B");
    r.Technicians[2] = Tech("C", 410, 43);  // close to the first: its comparison with the first
    in = InterpretYearRound(r);
    EXPECT_EQ(TextAt(in.marks, 86.355, 81.1), "A");
    // Seasonal herds compare technicians only on early pregnancy tests.
    r = Seasonal();
    r.AnalType = kBasisPregTest;
    r.Technicians[0] = Tech("A", 450, 40);
    in = InterpretSeasonal(r, false);
    EXPECT_EQ(in.texts.AiPracticeText, LookupMessage("AIPractice_None"));
    EXPECT_EQ(TextAt(in.marks, 45, 77.3), "");
}

TEST(Interpretation, FirstCalverMilk) {
    struct Case {
        int young, mature;
        std::string text, ratio;
    };
    const Case cases[] = {
        {19, 100, LookupMessage("1stCalverMilk_None"), ""},
        {30, 200, LookupMessage("1stCalverMilk_TooFew"), ""},  // share 0.13
        {30, 170, "Herd test records from 30 first calvers and 170 mature cows were used to calculated the ratio.",
         "82%"},
    };
    for (const Case& c : cases) {
        HerdReport r = Seasonal();
        r.n2yo = static_cast<std::int16_t>(c.young);
        r.nMature = static_cast<std::int16_t>(c.mature);
        r.Yield2yo = 20.5;
        r.YieldMature = 25.0;  // 82%
        const Interpretation in = InterpretSeasonal(r, false);
        EXPECT_EQ(in.texts.FirstCalverMilkText, c.text);
        EXPECT_EQ(TextAt(in.marks, 59, 65.3), c.ratio);
        EXPECT_EQ(TextAt(in.marks, 43, 65.3), c.ratio.empty() ? "" : "20.5");
        EXPECT_EQ(TextAt(in.marks, 59, 67.5), "83%");
        EXPECT_EQ(StarsAt(in.marks, 61, 69.9), c.ratio.empty() ? 0 : 5);
    }
}

TEST(Interpretation, EachReportHoldsOnlyItsOwnSystemsTexts) {
    HerdReport yr;
    yr.ActCalvingPattern = kYearRoundCalving;
    yr.VWP = 75;
    yr.HeatIntervals = 40;
    yr.HeatIntervals1824 = 21;  // 52.5 rounds to the even 52
    const Interpretation first = InterpretReport(yr);
    EXPECT_FALSE(first.texts.VwpText.empty());
    EXPECT_EQ(TextAt(first.marks, 15, 65.2), "75 days*");
    EXPECT_EQ(TextAt(first.marks, 77.5, 65.2), "52%");
    EXPECT_EQ(first.texts.InducedText, "");
    const Interpretation second = InterpretReport(Seasonal());
    EXPECT_EQ(second.texts.VwpText, "");
    EXPECT_EQ(second.texts.HeatIntervalText, "");
    EXPECT_EQ(second.texts.Icr100dText, "");
    EXPECT_EQ(second.texts.Sr80dText, "");
    EXPECT_EQ(second.texts.SplitNicrText, "");
    EXPECT_FALSE(second.texts.InducedText.empty());
    HerdReport unknown;
    unknown.ActCalvingPattern = 7;
    EXPECT_EQ(InterpretReport(unknown), Interpretation{});
}

}  // namespace
}  // namespace ovista
