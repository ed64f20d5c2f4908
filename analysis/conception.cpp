#include "analysis/conception.h"

#include <algorithm>
#include <span>
#include <string>

#include "analysis/mating_arrays.h"
#include "herd/errors.h"

namespace ovista {
namespace {

// Seasonal and split herds: a cow not known in calf by day 148 of mating is open.
constexpr std::int16_t kOpenDay = 148;
// Year-round herds: days after calving the estimates look at; 201 is beyond the tables.
constexpr std::int16_t kYearOpenDay = 201;
// Previous mating period of split herds: beyond the 700 rows of its tables.
constexpr std::int16_t kPrevOpenDay = 701;
// A pregnancy test finds a conception no earlier than about 5 weeks after it.
constexpr int kTestDelay = 35;
// Last day of the not-in-calf reading: seven heat cycles after the MSD.
constexpr int kNICRDay = 147;

bool HasSire(const ServiceRecord& slot) { return slot.HasSire; }

// An insemination the conception rate can judge: AI, with a sire and a date.
bool Eligible(const ServiceRecord& slot) { return slot.AI && HasSire(slot) && slot.Date != 0; }

struct Estimates {
    std::int16_t central = 0;
    std::int16_t centralFlag = 0;
    std::int16_t optimistic = 0;
    std::int16_t optimisticFlag = 0;
    std::int16_t pessimistic = 0;
    std::int16_t pessimisticFlag = 0;
};

// The day of a date counted from origin (the origin itself is day 1).
std::int16_t DayFrom(Date origin, Date date) { return CheckedInt16(std::int64_t{date} - origin + 1); }

// The conception date a positive test points to, moved to the date of a service (latest
// slot first) that lies from 10 days before to 14 days after it.
Date ConceptionFromTest(const CowRecord& cow, const PregTestRecord& test) {
    const Date fromTest = CheckedDate(std::int64_t{test.Date} - 7 * std::int64_t{test.Weeks});
    for (const ServiceRecord& service : ServicesInUseLatestFirst(cow)) {
        if (service.Date == 0 || !HasSire(service)) continue;
        if (service.Date >= fromTest - 10 && service.Date <= fromTest + 14) return service.Date;
    }
    return fromTest;
}

// The latest service with a sire dated on or after origin; 0 when none.
Date LatestServiceFrom(const CowRecord& cow, Date origin) {
    for (const ServiceRecord& service : ServicesInUseLatestFirst(cow)) {
        if (service.Date != 0 && service.Date >= origin && HasSire(service)) return service.Date;
    }
    return 0;
}

bool PeriodHasMatingData(const AnalysisContext& context) {
    return context.Period(context.PeriodIndex).MatingOK;
}

// Year-round herds: a service that later events show failed: well before the last AI of the
// year, followed by another heat, tested since, and the cow kept long enough to tell.
bool InferredFailedService(const AnalysisContext& context, const CowRecord& cow, Date date) {
    return date < std::int64_t{context.LastAIMating} - 70 && date < cow.LastHeat &&
           date < std::int64_t{context.LastPregTest} - 35 &&
           (cow.Culled == 0 || std::int64_t{cow.Culled} - date > 60);
}

// Where a lactation's pregnancy tests stand: slot indexes, -1 for none.
struct TestSlots {
    int firstPositive = -1;  // lowest slot with a date and weeks pregnant
    int last = -1;           // highest slot with a date
};

TestSlots FindTests(const CowRecord& cow) {
    TestSlots slots;
    const std::span<const PregTestRecord> tests = TestsInUse(cow);
    for (int i = 0; i < TestSlotsInUse(cow); ++i) {
        const PregTestRecord& test = tests[static_cast<std::size_t>(i)];
        if (test.Date == 0) continue;
        if (slots.firstPositive < 0 && test.Weeks > 0) slots.firstPositive = i;
        slots.last = i;
    }
    return slots;
}

// The three estimates of the current mating period (seasonal and split herds from the MSD,
// year-round herds from the day after calving).
Estimates CurrentEstimates(AnalysisContext& context, CowRecord& cow, const TestSlots& tests) {
    const bool yearRound = context.report.AnalysisCalvingPattern == kYearRoundCalving;
    const Date origin = yearRound ? cow.Calved + 1 : context.MSD;
    const bool culled = cow.CulledFlag == 1;
    Estimates e;
    if (tests.last < 0) {
        // Never tested: open unless culled; the optimistic view takes her last service as
        // the conception of a culled cow.
        if (yearRound) {
            if (culled) {
                e.central = cow.DaysToCull < kYearOpenDay ? CheckedInt16(cow.DaysToCull - 1) : kYearOpenDay;
                e.optimistic = 51;
                e.optimisticFlag = 1;
            } else {
                e.central = e.optimistic = kYearOpenDay;
            }
            e.pessimistic = kYearOpenDay;
        } else {
            if (culled) {
                e.central = CheckedInt16(cow.DaysToCull - 1);
                e.optimistic = 1;
                e.optimisticFlag = 1;
            } else {
                e.central = e.optimistic = kOpenDay;
            }
            e.pessimistic = kOpenDay;
        }
        if (culled) {
            const Date service = LatestServiceFrom(cow, origin);
            if (service != 0) {
                e.optimistic = std::max<std::int16_t>(1, DayFrom(origin, service));
                e.optimisticFlag = 1;
            }
        }
        // Culled after the end of AI without a service: she may have conceived to the bull.
        if (e.optimistic == 1 && !yearRound && PeriodHasMatingData(context) &&
            cow.DaysToCull > std::int64_t{context.EOAI} - origin) {
            e.optimistic = context.EOMating > context.EOAI ? DayFrom(context.MSD, context.EOAI + 1) : kOpenDay;
        }
    } else if (tests.firstPositive < 0) {
        // Tested, never found pregnant.
        const PregTestRecord& last = TestsInUse(cow)[static_cast<std::size_t>(tests.last)];
        if (yearRound) {
            if (std::int64_t{last.Date} >= std::int64_t{cow.Calved} + 235) {
                e.central = e.optimistic = e.pessimistic = kYearOpenDay;
            } else {
                if (culled) {
                    e.central = cow.DaysToCull < kYearOpenDay ? CheckedInt16(cow.DaysToCull - 1) : kYearOpenDay;
                    e.optimistic = CheckedInt16(std::max(50, DayFrom(origin, last.Date) - 34));
                    e.optimisticFlag = 1;
                } else {
                    e.central = e.optimistic = kYearOpenDay;
                }
                e.pessimistic = kYearOpenDay;
            }
        } else {
            e.central = e.pessimistic = kOpenDay;
            if (std::int64_t{last.Date} >= std::int64_t{context.EOMating} + kTestDelay || !culled) {
                e.optimistic = kOpenDay;
            } else {
                // Culled after an empty test early in mating: she may have conceived since.
                e.optimistic = CheckedInt16(std::max(1, DayFrom(origin, last.Date) - 34));
                e.optimisticFlag = 1;
            }
        }
    } else {
        cow.TestConception = ConceptionFromTest(cow, TestsInUse(cow)[static_cast<std::size_t>(tests.firstPositive)]);
        e.central = e.optimistic = e.pessimistic = DayFrom(origin, cow.TestConception);
        e.centralFlag = e.optimisticFlag = e.pessimisticFlag = 1;
    }

    // Culled on or before the optimistic day: in calf at the latest the day before culling.
    if (culled && cow.DaysToCull <= e.optimistic) {
        e.optimistic = CheckedInt16(cow.DaysToCull - 1);
        e.optimisticFlag = 1;
    } else if (!culled) {
        e.optimistic = e.central;
    }
    if (e.central >= 1 && e.optimistic < 1) e.optimistic = 1;
    return e;
}

// The conception-rate marks of every service of the lactation.
void MarkServices(const AnalysisContext& context, CowRecord& cow, const TestSlots& tests) {
    const bool yearRound = context.report.AnalysisCalvingPattern == kYearRoundCalving;
    for (ServiceRecord& service : ServicesInUse(cow)) {  // the others are empty and stay unmarked
        const bool eligible = Eligible(service);
        if (tests.firstPositive >= 0) {
            service.CountedService = false;
            const Date tested = TestsInUse(cow)[static_cast<std::size_t>(tests.firstPositive)].Date;
            if (eligible && std::int64_t{service.Date} <= std::int64_t{tested} - kTestDelay) {
                service.CountedService = true;
                service.ConceptionService = service.Date == cow.TestConception;
                service.InferredFailure = false;
            }
            continue;
        }
        service.CountedService = service.ConceptionService = service.InferredFailure = false;
        if (!eligible) continue;
        if (tests.last >= 0) {
            const Date tested = TestsInUse(cow)[static_cast<std::size_t>(tests.last)].Date;
            if (std::int64_t{service.Date} <= std::int64_t{tested} - kTestDelay) {
                service.CountedService = true;  // the empty test shows it failed
                continue;
            }
        }
        if (yearRound && InferredFailedService(context, cow, service.Date)) {
            service.CountedService = true;
            service.InferredFailure = true;
        }
    }
}

// Split herds: the three estimates of the previous mating period, from PrevMSD.
Estimates PreviousEstimates(AnalysisContext& context, CowRecord& cow, const TestSlots& tests) {
    const Date origin = context.PrevMSD;
    const bool culled = cow.PrevCulledFlag == 1;
    Estimates e;
    if (tests.last < 0) {
        if (culled) {
            e.central = CheckedInt16(cow.DaysToCullPrev - 1);
            e.optimistic = 1;
            e.optimisticFlag = 1;
            const Date service = LatestServiceFrom(cow, origin);
            if (service != 0) e.optimistic = DayFrom(origin, service);
        } else {
            e.central = e.optimistic = kPrevOpenDay;
        }
        e.pessimistic = kPrevOpenDay;
        if (e.optimistic == 1 && PeriodHasMatingData(context) &&
            std::int64_t{context.PrevEOAI} - origin < cow.DaysToCullPrev) {
            e.optimistic = context.PrevMatingEnd > context.PrevEOAI ? DayFrom(origin, context.PrevEOAI + 1)
                                                                    : kPrevOpenDay;
        }
    } else if (tests.firstPositive < 0) {
        const PregTestRecord& last = TestsInUse(cow)[static_cast<std::size_t>(tests.last)];
        if (culled) {
            e.central = cow.DaysToCullPrev >= kPrevOpenDay ? kPrevOpenDay : CheckedInt16(cow.DaysToCullPrev - 1);
        } else {
            e.central = kPrevOpenDay;
        }
        e.pessimistic = kPrevOpenDay;
        if (!culled || std::int64_t{last.Date} >= std::int64_t{context.EOMating} + kTestDelay) {
            e.optimistic = kPrevOpenDay;
        } else {
            e.optimistic = CheckedInt16(std::max(1, DayFrom(origin, last.Date) - 34));
            e.optimisticFlag = 1;
        }
    } else {
        cow.PrevTestConception =
            ConceptionFromTest(cow, TestsInUse(cow)[static_cast<std::size_t>(tests.firstPositive)]);
        e.central = e.optimistic = e.pessimistic = DayFrom(origin, cow.PrevTestConception);
        e.centralFlag = e.optimisticFlag = e.pessimisticFlag = 1;
    }

    // Here the optimistic view keeps a culled cow until the day after culling.
    if (culled && cow.DaysToCullPrev < e.optimistic) {
        e.optimistic = CheckedInt16(cow.DaysToCullPrev + 1);
        e.optimisticFlag = 1;
    } else if (!culled) {
        e.optimistic = e.central;
    }
    if (e.central >= 1 && e.optimistic < 1) e.optimistic = 1;
    return e;
}

// ---- tables ---------------------------------------------------------------------------

struct TableSet {
    LifeTable& central;
    LifeTable& optimistic;
    LifeTable& pessimistic;
};

void ClearTables(TableSet& tables, int rows);

// The set for a build that writes its rows 1..rows.
TableSet TablesOf(AnalysisContext& context, LifeTableSet set, int rows) {
    return {context.TableUpTo(set, Estimate::Central, rows), context.TableUpTo(set, Estimate::Optimistic, rows),
            context.TableUpTo(set, Estimate::Pessimistic, rows)};
}

// The set's tables with rows 1..rows zeroed: those this analysis wrote before (a second build
// of the same period); the others are still zero as taken.
TableSet ClearedTablesOf(AnalysisContext& context, LifeTableSet set, int rows) {
    const bool written = context.RowsWritten(set, Estimate::Central) > 0 ||
                         context.RowsWritten(set, Estimate::Optimistic) > 0 ||
                         context.RowsWritten(set, Estimate::Pessimistic) > 0;
    TableSet tables = TablesOf(context, set, rows);
    if (written) ClearTables(tables, rows);
    return tables;
}

struct BuiltSet {
    const LifeTable& central;
    const LifeTable& optimistic;
    const LifeTable& pessimistic;
};

BuiltSet BuiltTablesOf(const AnalysisContext& context, LifeTableSet set) {
    return {context.Table(set, Estimate::Central), context.Table(set, Estimate::Optimistic),
            context.Table(set, Estimate::Pessimistic)};
}

// Caps the central and optimistic days at the culling day; a cow culled before conceiving
// is censored there.
Estimates CappedAtCulling(Estimates e, std::int16_t daysToCull) {
    if (daysToCull > 0) {
        if (daysToCull < e.central) {
            e.central = daysToCull;
            e.centralFlag = 0;
        }
        if (daysToCull < e.optimistic) e.optimistic = daysToCull;
    }
    return e;
}

void CountDay(LifeTable& table, int day, std::int16_t flag, int rows) {
    if (day < 1 || day > rows) return;
    if (flag == 1) {
        ++table[day].Preg;
    } else {
        ++table[day].Cens;
    }
}

// One cow into a set: at risk from day 1, then conceived or censored on her day of each
// estimate (not at all when that day lies beyond the table).
void AddToTables(TableSet& tables, const Estimates& e, int rows) {
    ++tables.central[1].Start;
    CountDay(tables.central, e.central, e.centralFlag, rows);
    CountDay(tables.optimistic, e.optimistic, e.optimisticFlag, rows);
    CountDay(tables.pessimistic, e.pessimistic, e.pessimisticFlag, rows);
}

void DetailLine(AnalysisContext& context, const char* prefix, const CowRecord& cow, const Estimates& e) {
    if (!context.trace.Detailing()) return;
    context.trace.DetailLine(TraceText(
        prefix, std::string_view(cow.Key).substr(0, 9), FormatDateText(cow.Calved), "      ",
        RightAligned(e.central, 6), RightAligned(e.centralFlag, 3), RightAligned(e.optimistic, 6),
        RightAligned(e.optimisticFlag, 3), RightAligned(e.pessimistic, 6), RightAligned(e.pessimisticFlag, 3)));
}

std::string RowText(const LifeTableRow& row) {
    return TraceText(RightAligned(row.Start, 6), RightAligned(row.Preg, 6), RightAligned(row.Cens, 6),
                     FixedPoint(row.CPreg, 2, 6));
}

// Completes the three tables of a set (all at risk from the central table's count) and
// writes them to the trace under title.
void CompleteAndTrace(AnalysisContext& context, TableSet& tables, int rows, const char* title) {
    ComputeLifeTable(tables.central, rows);
    tables.optimistic[1].Start = tables.central[1].Start;
    tables.pessimistic[1].Start = tables.central[1].Start;
    ComputeLifeTable(tables.optimistic, rows);
    ComputeLifeTable(tables.pessimistic, rows);
    TraceWriter& trace = context.trace;
    if (!trace.Tracing()) return;
    trace.Line(title);
    trace.Line("Day  Start  Preg  Cens  CPreg     Opti   Preg  Cens  CPreg     Pess   Preg  Cens  CPreg");
    for (int d = 1; d <= rows; ++d) {
        trace.Line(RightAligned(d, 4), RowText(tables.central[d]), "    ", RowText(tables.optimistic[d]), "    ",
                   RowText(tables.pessimistic[d]));
    }
}

// Zeroes the rows a set's build writes and reads (1..rows); no pass writes the rows after them.
void ClearTables(TableSet& tables, int rows) {
    if (rows < 1) return;
    for (LifeTable* table : {&tables.central, &tables.optimistic, &tables.pessimistic}) {
        for (LifeTableRow& row : table->Run(1, rows)) row = LifeTableRow{};
    }
}

// Whether the estimates of a lactation left out can fail no range check: its days from the
// mating starts and to culling (one less or more), that of the day after the end of AI, and
// the period read for its mating data. Year-round herds count from the lactation's own
// calving, between two of its dates (those left out) or of the herd's (NarrowToMatingGroups).
bool LeftOutEstimatesFit(const AnalysisContext& context, bool split) {
    const LactationWalk* walk = context.extent.walk;
    if (walk == nullptr || context.report.AnalysisCalvingPattern == kYearRoundCalving) return true;
    const std::int64_t from = context.GroupWalkNarrowed ? walk->datesFrom : walk->leftOutFrom;
    const std::int64_t to = context.GroupWalkNarrowed ? walk->datesTo : walk->leftOutTo;
    const auto fits = [](std::int64_t days) { return days >= -32767 && days <= 32767; };
    const auto daysFit = [&](std::int64_t origin) { return fits(from - origin + 1) && fits(to - origin + 1); };
    const std::int64_t msd = context.MSD;
    const std::int64_t prevMsd = context.PrevMSD;
    return daysFit(msd) && context.PeriodIndex >= 0 && context.PeriodIndex < kPeriodCount &&
           fits(std::int64_t{context.EOAI} + 1 - msd + 1) &&
           (!split || (daysFit(prevMsd) && fits(std::int64_t{context.PrevEOAI} + 1 - prevMsd + 1)));
}

// A not-in-calf rate: the share not in calf by day d, as a whole percentage.
std::int16_t NotInCalf(const LifeTable& table, int d) { return RoundToInt16((1 - table[d].CPreg) * 100); }
std::int16_t InCalf(const LifeTable& table, int d) { return RoundToInt16(table[d].CPreg * 100); }

}  // namespace

void ComputeConceptionTimes(AnalysisContext& context) {
    if (context.EOAI == 0) {
        context.EOAI = context.EOMating > 0 ? context.EOMating : CheckedDate(std::int64_t{context.MSD} + kNICRDay);
    }
    if (context.EOMating == 0) context.EOMating = CheckedDate(std::int64_t{context.MSD} + kNICRDay);
    if (context.PrevMatingEnd == 0) context.PrevMatingEnd = context.EOMating;
    if (context.PrevEOAI == 0) context.PrevEOAI = context.EOAI;

    const bool split = context.report.AnalysisCalvingPattern == kSplitCalving;
    RequireLeftOutUnchanged(context, LeftOutEstimatesFit(context, split));
    ForEachInGroups(context, [&context, split](CowRecord& cow) {
        const TestSlots tests = FindTests(cow);
        const Estimates e = CurrentEstimates(context, cow, tests);
        cow.DaysToConception = e.central;
        cow.Conceived = e.centralFlag;
        cow.OptDays = e.optimistic;
        cow.OptConceived = e.optimisticFlag;
        cow.PessDays = e.pessimistic;
        cow.PessConceived = e.pessimisticFlag;
        MarkServices(context, cow, tests);
        if (split) {
            const Estimates p = PreviousEstimates(context, cow, tests);
            cow.PrevDays = p.central;
            cow.PrevConceived = p.centralFlag;
            cow.PrevOptDays = p.optimistic;
            cow.PrevOptConceived = p.optimisticFlag;
            cow.PrevPessDays = p.pessimistic;
            cow.PrevPessConceived = p.pessimisticFlag;
        }
    });
}

void ComputeLifeTable(LifeTable& table, int rows) {
    if (rows < 1 || rows > kLifeTableRows) throw RangeError();
    // Day by day: each row from the one before it.
    const std::span<LifeTableRow> days = table.Run(1, rows);
    LifeTableRow* before = nullptr;
    for (LifeTableRow& row : days) {
        if (before != nullptr) row.Start = before->Start - before->Preg - before->Cens;
        // No cow at risk: nothing to divide, and none left to conceive.
        row.q = row.Start >= 1 ? static_cast<double>(row.Start - row.Preg) / row.Start : 0.0;
        row.S = before != nullptr ? before->S * row.q : row.q;
        row.CPreg = 1 - row.S;
        before = &row;
    }
}

void BuildConceptionTables(AnalysisContext& context) {
    TableSet main = ClearedTablesOf(context, LifeTableSet::Main, kLifeTableDays);
    TableSet year = ClearedTablesOf(context, LifeTableSet::Year200, kLifeTableDays);

    const bool yearRound = context.report.AnalysisCalvingPattern == kYearRoundCalving;
    const Date calvingStop = context.report.CalvingStop;
    ForEachInGroups(context, [&](const CowRecord& cow) {
        const Estimates e = CappedAtCulling({cow.DaysToConception, cow.Conceived, cow.OptDays, cow.OptConceived,
                                             cow.PessDays, cow.PessConceived},
                                            cow.DaysToCull);
        if (e.central < 1) return;
        if (InMatingGroup(context, cow, calvingStop, false, true)) {
            DetailLine(context, "1 ", cow, e);
            AddToTables(main, e, kLifeTableDays);
        }
        // Year-round: the cows calved a year before the last 100 days, so that each had
        // 200 days to conceive.
        if (yearRound && InMatingGroup(context, cow, calvingStop - 100, false, true)) {
            DetailLine(context, "2 ", cow, e);
            AddToTables(year, e, kLifeTableDays);
        }
    });

    CompleteAndTrace(context, main, kLifeTableDays, "Conception probabilities");
    for (int d = 1; d <= kLifeTableDays; ++d) {
        context.report.ConceptionByDay[static_cast<std::size_t>(d - 1)] = main.central[d].CPreg;
    }
    CompleteAndTrace(context, year, kLifeTableDays, "Conception probabilities for yr 200 day NICR");

    if (context.report.AnalysisCalvingPattern != kSplitCalving) return;
    TableSet previous = ClearedTablesOf(context, LifeTableSet::Previous, kLifeTableRows);
    ForEachInGroups(context, [&](const CowRecord& cow) {
        if (!InMatingGroup(context, cow, 0, true, true) || cow.PrevDays <= 0) return;
        const Estimates raw{cow.PrevDays,    cow.PrevConceived, cow.PrevOptDays,
                            cow.PrevOptConceived, cow.PrevPessDays, cow.PrevPessConceived};
        DetailLine(context, "3 ", cow, raw);
        AddToTables(previous, CappedAtCulling(raw, cow.DaysToCullPrev), kLifeTableRows);
    });
    CompleteAndTrace(context, previous, kLifeTableRows, "Conception probabilities in previous mating period");
}

void ReadTableRates(AnalysisContext& context, const LifeTable& central, const LifeTable& optimistic,
                    const LifeTable& pessimistic, const LifeTable& yearCentral, const LifeTable& yearOptimistic,
                    const LifeTable& yearPessimistic) {
    HerdReport& report = context.report;
    if (report.AnalysisCalvingPattern == kYearRoundCalving) {
        report.ICR100d = InCalf(central, 100);
        report.ICR100dUPper = InCalf(optimistic, 100);
        report.ICR100dLower = InCalf(pessimistic, 100);
        report.NICR200d = InCalf(central, 150);
        report.NICR200dLow = NotInCalf(yearCentral, 200);
        report.NICR200dHigh = NotInCalf(yearPessimistic, 200);
        report.nCalved130 = NotInCalf(yearOptimistic, 200);
        return;
    }
    if (context.AnalysisBasis == kBasisEarlyPregTest) {
        report.ICR3wk = InCalf(central, 21);
        report.ICR6wk = InCalf(central, 42);
        report.ICR9wk = InCalf(central, 63);
        report.ICR12wk = InCalf(central, 84);
        report.ICR6wkHigh = InCalf(optimistic, 42);
        report.ICR6wklow = InCalf(pessimistic, 42);
    }
    int d = CheckedInt16(std::int64_t{context.EOMating} - context.MSD + 1);
    if (d < 1 || d > kNICRDay) d = kNICRDay;
    report.NICR = NotInCalf(central, d);
    report.NICRLow = NotInCalf(pessimistic, d);
    report.NICRHigh = NotInCalf(optimistic, d);
    context.trace.Line("NICR duration = ", d);
}

void ReadTableRates(AnalysisContext& context) {
    const BuiltSet main = BuiltTablesOf(context, LifeTableSet::Main);
    const BuiltSet year = BuiltTablesOf(context, LifeTableSet::Year200);
    ReadTableRates(context, main.central, main.optimistic, main.pessimistic, year.central, year.optimistic,
                   year.pessimistic);
}

void ReadSplitNICR(AnalysisContext& context, const LifeTable& central, const LifeTable& optimistic,
                   const LifeTable& pessimistic) {
    if (context.AnalysisBasis != kBasisEarlyPregTest && context.AnalysisBasis != kBasisPregTest) return;
    int d = CheckedInt16(std::int64_t{context.EOMating} - context.PrevMSD + 1);
    if (d < 1 || d > kLifeTableRows) d = kLifeTableRows;
    HerdReport& report = context.report;
    report.SplitNICR = NotInCalf(central, d);
    report.SplitNICRLow = NotInCalf(optimistic, d);
    report.SplitNICRHigh = NotInCalf(pessimistic, d);
    context.trace.Line("2 period NICR duration = ", d);
    context.trace.Line("2 period NICR = ", report.SplitNICR, " ", report.SplitNICRLow, " ", report.SplitNICRHigh);
}

void ReadSplitNICR(AnalysisContext& context) {
    const BuiltSet previous = BuiltTablesOf(context, LifeTableSet::Previous);
    ReadSplitNICR(context, previous.central, previous.optimistic, previous.pessimistic);
}

}  // namespace ovista
