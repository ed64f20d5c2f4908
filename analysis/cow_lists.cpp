#include "analysis/cow_lists.h"

#include <algorithm>

#include "analysis/calving_system.h"
#include "analysis/mating_arrays.h"

namespace ovista {
namespace {

constexpr std::size_t kCowIdLength = 11;
// Days of mating after which a conception is late: the 6-week in-calf rate misses it.
constexpr int kInCalfWeek6Day = 42;
// Heats and services in the season that make a repeat breeder.
constexpr int kRepeatMatings = 3;
// AI days after the MSD that a 3-week submission rate needs.
constexpr int kSubmissionAIDays = 20;
// Year-round herds: the pregnancy-test group calved a year before the last 100 days.
constexpr int kYearTableDays = 100;

bool StillInHerd(const CowRecord& cow) { return cow.Culled == 0; }

bool OnTestBasis(std::int16_t basis) { return basis == kBasisEarlyPregTest || basis == kBasisPregTest; }

CowListEntry EntryOf(const AnalysisContext& context, const CowRecord& cow, int matings) {
    CowListEntry entry;
    entry.cowId = std::string(CowIdOfKey(std::string_view(cow.Key)));
    entry.calved = cow.Calved;
    entry.age = cow.Age;
    entry.firstMating = cow.FirstService;
    entry.matings = matings;
    if (OnTestBasis(context.report.AnalType) && cow.Conceived == 1 && cow.DaysToConception >= 1) {
        entry.inCalfDay = cow.DaysToConception;
    }
    return entry;
}

using ListFlags = std::uint8_t;  // bit k: on the list of CowListKind k
constexpr ListFlags Flag(CowListKind kind) { return static_cast<ListFlags>(1U << static_cast<unsigned>(kind)); }

// Which lists a lactation still in the herd is on (applies: the rules' flags), and its matings
// in the season when a list is asked of them. Still in the herd, a lactation was culled before
// no next calving, so each mating group is asked once, with or without the culling.
ListFlags ListsOf(const AnalysisContext& context, const CowRecord& cow, ListFlags applies, int& matings) {
    const HerdReport& report = context.report;
    const Date stop = report.CalvingStop;
    ListFlags on = 0;
    const auto set = [&](CowListKind kind, bool value) {
        if (value) on |= Flag(kind);
    };
    matings = -1;  // not counted
    const auto repeat = [&] {
        if ((applies & Flag(CowListKind::Repeat)) == 0) return false;
        matings = MatingsInSeason(context, cow);
        return matings >= kRepeatMatings;
    };
    if (report.AnalysisCalvingPattern == kYearRoundCalving) {
        const bool yearToStop = InMatingGroup(context, cow, stop, false, false);
        set(CowListKind::NotMated80d,
            yearToStop && EligibleFor80DaySubmission(context, cow) && !SubmittedBy80Days(context, cow));
        set(CowListKind::NotInCalf, cow.DaysToConception >= 1 && cow.Conceived == 0 &&
                                        InMatingGroup(context, cow, stop - kYearTableDays, false, false));
        set(CowListKind::Repeat, yearToStop && repeat());
        return on & applies;
    }
    // Seasonal and split herds: the group does not depend on the date asked.
    if (!InMatingGroup(context, cow, 0, false, false)) return 0;
    set(CowListKind::NotMated3Wk, EligibleFor3WeekSubmission(cow, context.MSD) && !SubmittedIn3Weeks(cow, context.MSD));
    const bool tested = cow.DaysToConception >= 1;
    set(CowListKind::NotInCalf, tested && cow.Conceived == 0);
    set(CowListKind::InCalfLate, tested && cow.Conceived == 1 && cow.DaysToConception > kInCalfWeek6Day);
    set(CowListKind::Repeat, repeat());
    set(CowListKind::CalvedLate, !CalvedSixWeeksBeforeMating(cow, report.MSD));
    return on & applies;
}

// Which rules the herd's figures allow, each flag for its CowListKind.
std::array<bool, kCowListKinds> RulesThatApply(const HerdReport& report) {
    std::array<bool, kCowListKinds> applies{};
    const auto set = [&](CowListKind kind, bool value) { applies[static_cast<std::size_t>(kind)] = value; };
    const bool testBasis = OnTestBasis(report.AnalType);
    if (report.AnalysisCalvingPattern == kYearRoundCalving) {
        set(CowListKind::NotMated80d, report.SR80d_n > 0);
        set(CowListKind::NotInCalf, testBasis);
        set(CowListKind::Repeat, report.SR80d_n > 0);
    } else if (report.AnalysisCalvingPattern == kSeasonalCalving || report.AnalysisCalvingPattern == kSplitCalving) {
        set(CowListKind::NotMated3Wk,
            report.SR3wk_n > 0 && std::int64_t{report.EOAI} - report.MSD >= kSubmissionAIDays);
        set(CowListKind::NotInCalf, testBasis);
        set(CowListKind::InCalfLate, testBasis);
        set(CowListKind::Repeat, report.SR3wk_n > 0);
        set(CowListKind::CalvedLate, report.MSD > 0 && report.nCalved > 0);
    }
    return applies;
}

}  // namespace

const char* CowListCode(CowListKind kind) {
    switch (kind) {
        case CowListKind::NotMated3Wk: return "NOTMATED3WK";
        case CowListKind::NotMated80d: return "NOTMATED80D";
        case CowListKind::NotInCalf: return "NOTINCALF";
        case CowListKind::InCalfLate: return "INCALFLATE";
        case CowListKind::Repeat: return "REPEAT";
        case CowListKind::CalvedLate: return "CALVEDLATE";
    }
    return "";
}

bool CowLists::AnyApplies() const {
    return std::any_of(lists.begin(), lists.end(), [](const CowList& list) { return list.applies; });
}

std::size_t CowLists::Rows() const {
    std::size_t rows = 0;
    for (const CowList& list : lists) rows += list.cows.size();
    return rows;
}

std::string_view CowIdOfKey(std::string_view key) {
    std::string_view id = key.substr(0, std::min(key.size(), kCowIdLength));
    while (!id.empty() && id.back() == ' ') id.remove_suffix(1);
    return id;
}

bool NotSubmittedIn3Weeks(const AnalysisContext& context, const CowRecord& cow) {
    return InMatingGroup(context, cow, 0, false, true) && EligibleFor3WeekSubmission(cow, context.MSD) &&
           !SubmittedIn3Weeks(cow, context.MSD);
}

bool NotSubmittedBy80Days(const AnalysisContext& context, const CowRecord& cow) {
    return InMatingGroup(context, cow, context.report.CalvingStop, false, true) &&
           EligibleFor80DaySubmission(context, cow) && !SubmittedBy80Days(context, cow);
}

int MatingsInSeason(const AnalysisContext& context, const CowRecord& cow) {
    const bool yearRound = context.report.AnalysisCalvingPattern == kYearRoundCalving;
    int matings = 0;
    for (const ServiceRecord& service : ServicesInUse(cow)) {
        if (service.Date == 0) continue;
        const bool inSeason = yearRound ? service.Date > cow.Calved && service.Date <= context.AnalysisDate
                                        : service.Date >= context.report.MSD;
        if (inSeason) ++matings;
    }
    return matings;
}

CowLists MakeCowLists(const AnalysisContext& context) {
    const HerdReport& report = context.report;
    CowLists result;
    for (std::size_t k = 0; k < kCowListKinds; ++k) result.lists[k].kind = static_cast<CowListKind>(k);
    if (!IsReportPrintable(report)) return result;
    result.made = true;
    result.system = report.AnalysisCalvingPattern;
    result.basis = report.AnalType;
    const std::array<bool, kCowListKinds> applies = RulesThatApply(report);
    for (std::size_t k = 0; k < kCowListKinds; ++k) result.lists[k].applies = applies[k];
    if (!result.AnyApplies()) return result;

    ListFlags ruleFlags = 0;
    for (std::size_t k = 0; k < kCowListKinds; ++k) {
        if (applies[k]) ruleFlags |= Flag(static_cast<CowListKind>(k));
    }
    // The listed lactations in the herd's order (cow, then calving), then by calving date with
    // the cows of one day in that order: each list takes its own in that order.
    struct Listed {
        Date calved;
        int index;
        ListFlags on;
        int matings;
    };
    std::vector<Listed> listed;
    // Every list is of a mating group: a lactation that calved outside all of the herd's
    // groups (most of a herd's past ones) is passed at a look at its calving date. The bounds
    // are InMatingGroup's: year-round the years up to CalvingStop - 100 and up to CalvingStop.
    std::int64_t calvedFrom = 0;
    std::int64_t calvedTo = 0;
    if (report.AnalysisCalvingPattern == kYearRoundCalving) {
        calvedFrom = std::int64_t{report.CalvingStop} - kYearTableDays - 364;
        calvedTo = report.CalvingStop;
    } else {
        const bool seasonal = report.AnalysisCalvingPattern == kSeasonalCalving;
        calvedFrom = std::int64_t{context.MSD} - (seasonal ? 130 : 120);
        calvedTo = std::int64_t{context.MSD} + (seasonal ? 59 : 0);
    }
    const HerdList& herd = context.herd;
    for (int i = 1; i <= herd.Count(); ++i) {
        const CowRecord& cow = herd.RecordAt(i);
        if (!StillInHerd(cow) || cow.Calved < calvedFrom || cow.Calved > calvedTo) continue;
        int matings = 0;
        const ListFlags on = ListsOf(context, cow, ruleFlags, matings);
        if (on != 0) listed.push_back({cow.Calved, i, on, matings});
    }
    std::sort(listed.begin(), listed.end(), [](const Listed& a, const Listed& b) {
        return a.calved != b.calved ? a.calved < b.calved : a.index < b.index;
    });
    std::array<std::size_t, kCowListKinds> sizes{};
    for (const Listed& cow : listed) {
        for (std::size_t k = 0; k < kCowListKinds; ++k) sizes[k] += (cow.on >> k) & 1U;
    }
    for (std::size_t k = 0; k < kCowListKinds; ++k) result.lists[k].cows.reserve(sizes[k]);
    for (const Listed& cow : listed) {
        const CowRecord& record = herd.RecordAt(cow.index);
        const CowListEntry entry =
            EntryOf(context, record, cow.matings >= 0 ? cow.matings : MatingsInSeason(context, record));
        for (std::size_t k = 0; k < kCowListKinds; ++k) {
            if (((cow.on >> k) & 1U) != 0) result.lists[k].cows.push_back(entry);
        }
    }
    return result;
}

}  // namespace ovista
