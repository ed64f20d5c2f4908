#include "analysis/cow_lists.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "analysis/analyse_herd.h"
#include "herd/csv_line.h"
#include "herd/herd_file.h"
#include "recording_services.h"
#include "tools/herdgen/herdgen_lib.h"

namespace ovista {
namespace {

const Date kAnalysisDate = MakeDate(30, 6, 2006);
const Date M = MakeDate(1, 10, 2005);      // seasonal and split MSD
const Date S = MakeDate(31, 5, 2006);      // year-round CalvingStop
const Date L = MakeDate(20, 6, 2006);      // year-round last AI mating

// Fills the service slots in order; heats (no sire) where sire is false.
void Serve(FullCowRecord& cow, std::initializer_list<Date> dates, bool sire = true) {
    int slot = 0;
    while (slot < kServiceSlots && cow.Services[static_cast<std::size_t>(slot)].Date != 0) ++slot;
    for (Date d : dates) {
        ServiceRecord& s = cow.Services[static_cast<std::size_t>(slot++)];
        s.Date = d;
        s.AI = sire;
        s.HasSire = sire;
        if (sire && (cow.FirstService == 0 || d < cow.FirstService)) cow.FirstService = d;
    }
}

// A seasonal herd analysed on early pregnancy tests whose every figure is computed, and a
// cow of its mating group, mated on day 6, in calf on day 6: on no list.
void SeasonalHerd(HerdReport& r, AnalysisContext& c, FullCowRecord& cow) {
    r.AnalysisCalvingPattern = kSeasonalCalving;
    r.AnalType = kBasisEarlyPregTest;
    r.MSD = c.MSD = M;
    r.EOAI = M + 60;
    r.SR3wk_n = 50;
    r.nCalved = 60;
    cow.Calved = M - 60;
    Serve(cow, {M + 5});
    cow.DaysToConception = 6;
    cow.Conceived = 1;
}

// A year-round herd on pregnancy tests, and a cow calved 200 days before the calving stop,
// served at 40 days and in calf: on no list.
void YearRoundHerd(HerdReport& r, AnalysisContext& c, FullCowRecord& cow) {
    r.AnalysisCalvingPattern = kYearRoundCalving;
    r.AnalType = kBasisPregTest;
    r.CalvingStop = S;
    r.SR80d_n = 40;
    c.LastAIMating = L;
    cow.Calved = S - 200;
    Serve(cow, {S - 160});
    cow.DaysToConception = 41;
    cow.Conceived = 1;
}

using HerdSetup = std::function<void(HerdReport&, AnalysisContext&, FullCowRecord&)>;

// What a case changes in the herd's report and analysis state and in its one cow.
struct H {
    HerdReport& r;
    AnalysisContext& c;
    FullCowRecord& cow;
};
using Change = std::function<void(H&)>;

void Unserve(FullCowRecord& cow) {
    cow.Services = {};
    cow.FirstService = 0;
}

// Not in calf at the end of its 200-day record, calved on the given day, with these services.
void Open(FullCowRecord& cow, Date calved, std::initializer_list<Date> services = {}) {
    cow.Calved = calved;
    Unserve(cow);
    if (services.size() > 0) Serve(cow, services);
    cow.Conceived = 0;
    cow.DaysToConception = 201;
}

// The codes of the lists the one cow of the herd is on.
std::vector<std::string> ListsOfOneCow(const HerdSetup& base, const Change& change) {
    HerdList herd([](std::string_view a, std::string_view b) { return a.compare(b); });
    HerdReport report;
    AnalysisContext context(herd, report, kAnalysisDate);
    FullCowRecord cow;
    cow.Key = "COW1";
    base(report, context, cow);
    H h{report, context, cow};
    change(h);
    FullCowRecord stored;
    int index = 0;
    herd.FindOrAddRecord(cow.Key, stored, index);
    herd.PutRecord(index, cow);
    std::vector<std::string> codes;
    const CowLists lists = MakeCowLists(context);
    for (const CowList& list : lists.lists) {
        if (!list.cows.empty()) codes.push_back(CowListCode(list.kind));
    }
    return codes;
}

TEST(CowLists, EachRuleAtItsBoundaries) {
    using V = std::vector<std::string>;
    const Change none = [](H&) {};
    struct Case {
        const char* name;
        const HerdSetup& base;
        Change change;
        V lists;
    };
    const HerdSetup& seasonal = SeasonalHerd;
    const HerdSetup& yearRound = YearRoundHerd;
    auto firstServed = [](Date d) {
        return [d](H& h) {
            Unserve(h.cow);
            if (d != 0) Serve(h.cow, {d});
        };
    };
    const Case cases[] = {
        {"seasonal cow served on day 6 and in calf", seasonal, none, {}},
        // 3-week submission: the first 21 days are M .. M + 20.
        {"first served M + 20: submitted", seasonal, firstServed(M + 20), {}},
        {"first served M + 21: not mated in 3 weeks", seasonal, firstServed(M + 21), {"NOTMATED3WK"}},
        {"never served", seasonal, firstServed(0), {"NOTMATED3WK"}},
        {"served before the MSD: not eligible", seasonal, firstServed(M - 1), {}},
        {"culled cow not served: not still in the herd", seasonal,
         [](H& h) { Unserve(h.cow); h.cow.Culled = M + 30; }, {}},
        {"AI records end 19 days after the MSD: no 3-week list", seasonal,
         [](H& h) { h.r.EOAI = M + 19; Unserve(h.cow); }, {}},
        {"AI records end 20 days after the MSD", seasonal,
         [](H& h) { h.r.EOAI = M + 20; Unserve(h.cow); },
         {"NOTMATED3WK"}},
        {"no submission rate: neither the 3-week nor the repeat list", seasonal,
         [](H& h) { h.r.SR3wk_n = 0; Unserve(h.cow); Serve(h.cow, {M + 30, M + 50, M + 70}); },
         {}},
        // Conception tables.
        {"open on early tests", seasonal,
         [](H& h) { h.cow.Conceived = 0; h.cow.DaysToConception = 148; }, {"NOTINCALF"}},
        {"open on late tests", seasonal,
         [](H& h) { h.r.AnalType = kBasisPregTest; h.cow.Conceived = 0; h.cow.DaysToConception = 148; },
         {"NOTINCALF"}},
        {"open on mating records: no test basis", seasonal,
         [](H& h) { h.r.AnalType = kBasisMatingRecords; h.cow.Conceived = 0; h.cow.DaysToConception = 148; },
         {}},
        {"open on recalvings: no test basis", seasonal,
         [](H& h) { h.r.AnalType = kBasisRecalving; h.cow.Conceived = 0; h.cow.DaysToConception = 148; },
         {}},
        {"outside the conception tables (day 0)", seasonal,
         [](H& h) { h.cow.Conceived = 0; h.cow.DaysToConception = 0; }, {}},
        {"in calf on day 42", seasonal, [](H& h) { h.cow.DaysToConception = 42; }, {}},
        {"in calf on day 43", seasonal, [](H& h) { h.cow.DaysToConception = 43; },
         {"INCALFLATE"}},
        {"in calf on day 43, culled", seasonal,
         [](H& h) { h.cow.DaysToConception = 43; h.cow.Culled = M + 100; }, {}},
        // Repeat matings: heats count, entries before the MSD do not.
        {"two matings", seasonal, [](H& h) { Serve(h.cow, {M + 26}); }, {}},
        {"three matings", seasonal, [](H& h) { Serve(h.cow, {M + 26, M + 47}); },
         {"REPEAT"}},
        {"three entries, one a heat", seasonal,
         [](H& h) { Serve(h.cow, {M + 26}, false); Serve(h.cow, {M + 47}); }, {"REPEAT"}},
        {"three entries, one before the MSD", seasonal,
         [](H& h) { Serve(h.cow, {M - 2, M + 26}, false); }, {}},
        // Calving spread: calved 42 days before M counts as calved in 6 weeks.
        {"calved 42 days before M", seasonal, [](H& h) { h.cow.Calved = M - 42; }, {}},
        {"calved 41 days before M", seasonal, [](H& h) { h.cow.Calved = M - 41; },
         {"CALVEDLATE"}},
        {"calved 41 days before M, no calvings counted", seasonal,
         [](H& h) { h.r.nCalved = 0; h.cow.Calved = M - 41; }, {}},
        {"calved late, culled before the MSD", seasonal,
         [](H& h) { h.cow.Calved = M - 41; h.cow.Culled = M - 1; Unserve(h.cow); }, {}},
        {"on every seasonal list it meets", seasonal,
         [](H& h) {
             h.cow.Calved = M - 10;
             Unserve(h.cow);
             Serve(h.cow, {M + 30, M + 51, M + 72});
             h.cow.DaysToConception = 73;
         },
         {"NOTMATED3WK", "INCALFLATE", "REPEAT", "CALVEDLATE"}},
        // The seasonal group calved M - 130 .. M + 59.
        {"calved M - 131: not in the group", seasonal, [](H& h) { h.cow.Calved = M - 131; Unserve(h.cow); }, {}},
        {"calved M - 130, not mated", seasonal, [](H& h) { h.cow.Calved = M - 130; Unserve(h.cow); },
         {"NOTMATED3WK"}},
        {"calved M + 59, not mated", seasonal, [](H& h) { h.cow.Calved = M + 59; Unserve(h.cow); },
         {"NOTMATED3WK", "CALVEDLATE"}},
        {"calved M + 60: not in the group", seasonal, [](H& h) { h.cow.Calved = M + 60; Unserve(h.cow); }, {}},
        // Split herds: the group calved M - 120 .. M.
        {"split, calved M - 121: not in the group", seasonal,
         [](H& h) { h.r.AnalysisCalvingPattern = kSplitCalving; h.cow.Calved = M - 121; Unserve(h.cow); },
         {}},
        {"split, calved M - 120, not mated", seasonal,
         [](H& h) { h.r.AnalysisCalvingPattern = kSplitCalving; h.cow.Calved = M - 120; Unserve(h.cow); },
         {"NOTMATED3WK"}},
        {"split, calved on M", seasonal,
         [](H& h) { h.r.AnalysisCalvingPattern = kSplitCalving; h.cow.Calved = M; },
         {"CALVEDLATE"}},
        {"split, calved M + 1: not in the group", seasonal,
         [](H& h) { h.r.AnalysisCalvingPattern = kSplitCalving; h.cow.Calved = M + 1; Unserve(h.cow); },
         {}},
        {"no report: no lists", seasonal,
         [](H& h) { h.r.Error = kErrorNoAnalysisBasis; Unserve(h.cow); }, {}},
        // Year-round: 80-day submission once the AI records run more than 80 days past calving.
        {"year-round cow served at 40 days and in calf", yearRound, none, {}},
        {"first served 80 days after calving", yearRound,
         [](H& h) { Unserve(h.cow); Serve(h.cow, {S - 120}); }, {}},
        {"first served 81 days after calving", yearRound,
         [](H& h) { Unserve(h.cow); Serve(h.cow, {S - 119}); },
         {"NOTMATED80D"}},
        {"AI records 80 days past calving: not eligible", yearRound,
         [](H& h) { h.c.LastAIMating = S - 120; Unserve(h.cow); }, {}},
        {"AI records 81 days past calving", yearRound,
         [](H& h) { h.c.LastAIMating = S - 119; Unserve(h.cow); },
         {"NOTMATED80D"}},
        {"no 80-day rate", yearRound,
         [](H& h) { h.r.SR80d_n = 0; Unserve(h.cow); }, {}},
        {"calved 365 days before the stop: outside the year", yearRound,
         [](H& h) { h.cow.Calved = S - 365; Unserve(h.cow); }, {}},
        {"open, calved 100 days before the stop: in the 200-day group", yearRound,
         [](H& h) { Open(h.cow, S - 100, {S - 60}); },
         {"NOTINCALF"}},
        {"open, calved 99 days before the stop", yearRound,
         [](H& h) { Open(h.cow, S - 99, {S - 60}); },
         {}},
        {"open, calved 464 days before the stop: in the 200-day group", yearRound,
         [](H& h) { Open(h.cow, S - 464); },
         {"NOTINCALF"}},
        {"open, calved 465 days before the stop", yearRound,
         [](H& h) { Open(h.cow, S - 465); },
         {}},
        {"open on mating records", yearRound,
         [](H& h) { h.r.AnalType = kBasisMatingRecords; h.cow.Conceived = 0; h.cow.DaysToConception = 201; },
         {}},
        {"in calf late: no such list year-round", yearRound,
         [](H& h) { h.cow.DaysToConception = 150; }, {}},
        {"three matings after calving", yearRound,
         [](H& h) { Serve(h.cow, {S - 139, kAnalysisDate}); }, {"REPEAT"}},
        {"one of three on the calving day", yearRound,
         [](H& h) { Serve(h.cow, {S - 200, S - 139}); }, {}},
        {"one of three after the analysis date", yearRound,
         [](H& h) { Serve(h.cow, {S - 139, kAnalysisDate + 1}); }, {}},
        {"three matings, culled", yearRound,
         [](H& h) { Serve(h.cow, {S - 139, S - 118}); h.cow.Culled = S; }, {}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ListsOfOneCow(c.base, c.change), c.lists) << c.name;
    }
}

// Rows carry the file's columns and stand by calving date, then in the herd's cow order.
TEST(CowLists, RowsByCalvingDateThenCow) {
    HerdList herd([](std::string_view a, std::string_view b) { return a.compare(b); });
    HerdReport report;
    AnalysisContext context(herd, report, kAnalysisDate);
    FullCowRecord base;
    SeasonalHerd(report, context, base);
    struct Cow {
        const char* id;
        Date calved;
    };
    for (const Cow& c : {Cow{"B", M - 30}, Cow{"C", M - 40}, Cow{"A", M - 30}}) {
        FullCowRecord cow = base;
        cow.Key = MakeHerdKey(c.id, c.calved);
        cow.Calved = c.calved;
        cow.Age = 3;
        Serve(cow, {M + 26, M + 47});
        cow.DaysToConception = 48;  // the third mating
        FullCowRecord stored;
        int index = 0;
        herd.FindOrAddRecord(cow.Key, stored, index);
        herd.PutRecord(index, cow);
    }
    const CowLists lists = MakeCowLists(context);
    ASSERT_TRUE(lists.made);
    const CowList& repeat = lists.List(CowListKind::Repeat);
    ASSERT_EQ(repeat.cows.size(), 3u);
    EXPECT_EQ(repeat.cows[0], (CowListEntry{"C", M - 40, 3, M + 5, 3, 48}));
    EXPECT_EQ(repeat.cows[1].cowId, "A");
    EXPECT_EQ(repeat.cows[2].cowId, "B");
    EXPECT_EQ(lists.List(CowListKind::InCalfLate).cows.size(), 3u);
    EXPECT_EQ(lists.Rows(), 9u);  // repeat, in calf late and calved late
}

// Over simulated herds of every calving system and kind of records, culled cows included,
// the cows not submitted are eligible minus submitted; the lists keep those still in the
// herd, and the analysis hands the driver the same lists.
TEST(CowLists, NotSubmittedIsEligibleMinusSubmittedOverGeneratedHerds) {
    testing::RecordingServices services;
    const std::filesystem::path folder = std::filesystem::temp_directory_path() / "ovista_cow_lists_test";
    std::filesystem::create_directories(folder);
    using herdgen::Pattern;
    using herdgen::Quality;
    int index = 0;
    int listed = 0;
    for (Pattern pattern : {Pattern::Seasonal, Pattern::Split, Pattern::YearRound}) {
        for (Quality quality : {Quality::EarlyPregTests, Quality::MatingRecords, Quality::LatePregTests}) {
            herdgen::HerdRequest request;
            request.index = ++index;
            request.seed = 36;
            request.pattern = pattern;
            request.quality = quality;
            request.cows = 120;
            request.years = 4;
            request.analysisDate = herdgen::DayNumber(2026, 5, 31);
            const herdgen::SimulatedHerd simulated = herdgen::SimulateHerd(request);
            const std::string file = (folder / ("herd" + std::to_string(index) + ".csv")).string();
            std::ofstream(file, std::ios::binary) << herdgen::WriteHerdFile(simulated).text;
            CsvFields batch;
            SplitCsvLine(herdgen::BatchLine(simulated, file), batch);
            SCOPED_TRACE(batch[0]);

            std::unique_ptr<HerdList> list;
            HerdHeaderFields header;
            ASSERT_TRUE(LoadHerdFile(file, batch[1], list, header));
            HerdReport report;
            AnalysisContext context(*list, report, ParseDateText(batch[4]));
            CowLists handed;
            context.cowLists = &handed;
            AnalyseHerd(context, batch[1], batch[2], batch[3], "");
            if (!IsReportPrintable(report)) continue;
            const bool yearRound = report.AnalysisCalvingPattern == kYearRoundCalving;
            const AnalysisCounters& c = context.counters;
            int notSubmitted = 0;
            int stillIn = 0;
            for (int i = 1; i <= list->Count(); ++i) {
                const CowRecord& cow = list->RecordAt(i);
                if (yearRound ? NotSubmittedBy80Days(context, cow) : NotSubmittedIn3Weeks(context, cow)) {
                    ++notSubmitted;
                    if (cow.Culled == 0) ++stillIn;
                }
            }
            EXPECT_EQ(notSubmitted, yearRound ? c.Eligible80d - c.Submitted80d : c.Eligible3wk - c.Submitted3wk);
            const CowLists lists = MakeCowLists(context);
            EXPECT_EQ(lists, handed);
            const CowList& notMated = lists.List(yearRound ? CowListKind::NotMated80d : CowListKind::NotMated3Wk);
            if (notMated.applies) {
                EXPECT_EQ(static_cast<int>(notMated.cows.size()), stillIn);
                listed += stillIn;
            }
        }
    }
    EXPECT_GT(listed, 0);
    std::filesystem::remove_all(folder);
}

}  // namespace
}  // namespace ovista
