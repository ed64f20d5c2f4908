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

CowListEntry EntryOf(const AnalysisContext& context, const CowRecord& cow) {
    CowListEntry entry;
    entry.cowId = std::string(CowIdOfKey(std::string_view(cow.Key)));
    entry.calved = cow.Calved;
    entry.age = cow.Age;
    entry.firstMating = cow.FirstService;
    entry.matings = MatingsInSeason(context, cow);
    if (OnTestBasis(context.report.AnalType) && cow.Conceived == 1 && cow.DaysToConception >= 1) {
        entry.inCalfDay = cow.DaysToConception;
    }
    return entry;
}

// Which lists a lactation still in the herd is on, each flag for its CowListKind.
std::array<bool, kCowListKinds> ListsOf(const AnalysisContext& context, const CowRecord& cow,
                                        const std::array<bool, kCowListKinds>& applies) {
    const HerdReport& report = context.report;
    std::array<bool, kCowListKinds> on{};
    const auto set = [&](CowListKind kind, bool value) {
        on[static_cast<std::size_t>(kind)] = applies[static_cast<std::size_t>(kind)] && value;
    };
    const Date stop = report.CalvingStop;
    if (report.AnalysisCalvingPattern == kYearRoundCalving) {
        set(CowListKind::NotMated80d, NotSubmittedBy80Days(context, cow));
        const bool tested =
            InMatingGroup(context, cow, stop - kYearTableDays, false, true) && cow.DaysToConception >= 1;
        set(CowListKind::NotInCalf, tested && cow.Conceived == 0);
        set(CowListKind::Repeat,
            InMatingGroup(context, cow, stop, false, true) && MatingsInSeason(context, cow) >= kRepeatMatings);
        return on;
    }
    set(CowListKind::NotMated3Wk, NotSubmittedIn3Weeks(context, cow));
    const bool tested = InMatingGroup(context, cow, stop, false, true) && cow.DaysToConception >= 1;
    set(CowListKind::NotInCalf, tested && cow.Conceived == 0);
    set(CowListKind::InCalfLate, tested && cow.Conceived == 1 && cow.DaysToConception > kInCalfWeek6Day);
    set(CowListKind::Repeat,
        InMatingGroup(context, cow, 0, false, true) && MatingsInSeason(context, cow) >= kRepeatMatings);
    set(CowListKind::CalvedLate,
        InMatingGroup(context, cow, 0, false, false) && !CalvedSixWeeksBeforeMating(cow, report.MSD));
    return on;
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

    const HerdList& herd = context.herd;
    for (int i = 1; i <= herd.Count(); ++i) {
        const CowRecord& cow = herd.RecordAt(i);
        if (!StillInHerd(cow)) continue;
        const std::array<bool, kCowListKinds> on = ListsOf(context, cow, applies);
        if (std::none_of(on.begin(), on.end(), [](bool b) { return b; })) continue;
        const CowListEntry entry = EntryOf(context, cow);
        for (std::size_t k = 0; k < kCowListKinds; ++k) {
            if (on[k]) result.lists[k].cows.push_back(entry);
        }
    }
    // The herd walks its cows in key order (cow, then calving), so a stable sort by calving
    // date leaves the cows of one day in the herd's own order.
    for (CowList& list : result.lists) {
        std::stable_sort(list.cows.begin(), list.cows.end(),
                         [](const CowListEntry& a, const CowListEntry& b) { return a.calved < b.calved; });
    }
    return result;
}

}  // namespace ovista
