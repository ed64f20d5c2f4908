#pragma once
// What the pages "Cows to act on" say: per list a heading with its count, one line of plain
// advice and the table's texts, or, for a herd with no cow to list, why. Texts only:
// report/ lays them out.
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "analysis/cow_lists.h"

namespace ovista {

inline constexpr const char* kCowListPageTitle = "Cows to act on";
inline constexpr std::size_t kCowListColumns = 6;  // Cow, Calved, Age, First mating, Matings, In calf

// One list with cows: its heading ("37 cows not mated in the first 3 weeks"), the advice
// line and one row of column texts per cow.
struct CowListSection {
    CowListKind kind = CowListKind::NotMated3Wk;
    std::string heading;
    std::string advice;
    // The rows' cells, row by row, their texts one after another (a list of a thousand cows
    // holds six thousand short texts): each cell's text ends at its entry in ends.
    std::string cells;
    std::vector<std::uint32_t> ends;

    std::size_t Rows() const { return ends.size() / kCowListColumns; }
    std::string_view Cell(std::size_t row, std::size_t column) const {
        const std::size_t at = row * kCowListColumns + column;
        const std::uint32_t begin = at == 0 ? 0 : ends[at - 1];
        return {cells.data() + begin, ends[at] - begin};
    }

    bool operator==(const CowListSection&) const = default;
};

struct CowListTexts {
    std::string intro;  // the line under the header band
    std::array<std::string, kCowListColumns> columns;
    std::vector<CowListSection> sections;  // lists with cows, in file order
    // Why there is no list, when sections is empty.
    std::string reason;

    bool operator==(const CowListTexts&) const = default;
};

// The heading of a list of count cows: "1 cow not in calf", "37 cows not mated in the first 3 weeks".
std::string CowListHeading(CowListKind kind, std::size_t count);
// The heading of a list that runs on from the page before.
std::string ContinuedHeading(const std::string& heading);
// What to do about the cows of a list, in one line.
const char* CowListAdvice(CowListKind kind);

CowListTexts InterpretCowLists(const CowLists& lists);

}  // namespace ovista
