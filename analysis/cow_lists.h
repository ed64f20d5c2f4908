#pragma once
// The cows behind the figures: for a herd analysed for its current season, the lactations
// still in the herd that the submission, in-calf, repeat-mating and calving-spread figures
// count against it, list by list. The lists use the very tests the analysis passes count
// with, so a list never disagrees with the figure it explains.
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "analysis/analysis_context.h"
#include "herd/cow_record.h"
#include "herd/textutil.h"

namespace ovista {

// The lists, in the order they are written and drawn.
enum class CowListKind {
    NotMated3Wk,  // seasonal and split: not submitted in the first 3 weeks of mating
    NotMated80d,  // year-round: not submitted by 80 days after calving
    NotInCalf,    // pregnancy-test basis: not in calf
    InCalfLate,   // seasonal and split, pregnancy-test basis: in calf after day 42 of mating
    Repeat,       // three or more heats or services in the season
    CalvedLate,   // seasonal and split: calved less than 6 weeks before mating start
};
inline constexpr std::size_t kCowListKinds = 6;

// The list's code in the cow-list file: "NOTMATED3WK", "NOTMATED80D", "NOTINCALF",
// "INCALFLATE", "REPEAT", "CALVEDLATE".
const char* CowListCode(CowListKind kind);

// One listed lactation.
struct CowListEntry {
    std::string cowId;             // first 11 characters of the key, trailing blanks removed
    Date calved = 0;
    std::int16_t age = 0;          // as read; 0 when the herd file gave none
    Date firstMating = 0;          // FirstService; 0 when none
    int matings = 0;               // heats and services in the season's window (see MatingsInSeason)
    std::int16_t inCalfDay = 0;    // day of conception when known in calf on a test basis; else 0

    bool operator==(const CowListEntry&) const = default;
};

struct CowList {
    CowListKind kind = CowListKind::NotMated3Wk;
    // The herd has the figure behind the list (the rule applies), whether or not any cow is on it.
    bool applies = false;
    std::vector<CowListEntry> cows;  // by calving date, then in the herd's cow order

    bool operator==(const CowList&) const = default;
};

struct CowLists {
    bool made = false;               // false for a herd without a report: no lists
    std::int16_t system = 0;         // AnalysisCalvingPattern
    std::int16_t basis = 0;          // AnalType
    std::array<CowList, kCowListKinds> lists{};  // indexed by CowListKind

    const CowList& List(CowListKind kind) const { return lists[static_cast<std::size_t>(kind)]; }
    CowList& List(CowListKind kind) { return lists[static_cast<std::size_t>(kind)]; }
    // Whether any rule applies, and the rows over all lists (a cow counts once per list).
    bool AnyApplies() const;
    std::size_t Rows() const;

    bool operator==(const CowLists&) const = default;
};

// The lists of the herd as its analysis left it (context after AnalyseHerd, or handed to the
// summary writer): herd, report and the passes' dates. Not made when the report would not
// be printed.
CowLists MakeCowLists(const AnalysisContext& context);

// Counted in the 3-week (seasonal, split) or 80-day (year-round) eligible count but not in
// the submitted count, culled or not: over the herd, as many as eligible minus submitted.
bool NotSubmittedIn3Weeks(const AnalysisContext& context, const CowRecord& cow);
bool NotSubmittedBy80Days(const AnalysisContext& context, const CowRecord& cow);

// Heats and services of the season: seasonal and split herds from the MSD on, year-round herds
// after the calving up to the analysis date.
int MatingsInSeason(const AnalysisContext& context, const CowRecord& cow);

// The cow identifier of a key: its first 11 characters without trailing blanks.
std::string_view CowIdOfKey(std::string_view key);

}  // namespace ovista
