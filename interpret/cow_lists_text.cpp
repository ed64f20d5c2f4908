#include "interpret/cow_lists_text.h"

#include <algorithm>
#include <charconv>

#include "herd/text_decode.h"
#include "herd/textutil.h"

namespace ovista {
namespace {

const char* ListSubject(CowListKind kind) {
    switch (kind) {
        case CowListKind::NotMated3Wk: return "not mated in the first 3 weeks";
        case CowListKind::NotMated80d: return "not mated by 80 days after calving";
        case CowListKind::NotInCalf: return "not in calf";
        case CowListKind::InCalfLate: return "in calf after week 6";
        case CowListKind::Repeat: return "with three or more matings";
        case CowListKind::CalvedLate: return "calved less than 6 weeks before mating start";
    }
    return "";
}

// A row's dates as "dd/mm/yy" (none: empty), written at out: a herd has thousands, and a
// list by calving date meets the same date many times running.
class ShortDates {
public:
    char* Put(char* out, Date date) {
        if (date == 0) return out;
        if (date != last_) {
            const CalendarDate d = DecodeDate(date);
            const int year = d.year % 100;
            text_ = {static_cast<char>('0' + d.day / 10 % 10), static_cast<char>('0' + d.day % 10), '/',
                     static_cast<char>('0' + d.month / 10 % 10), static_cast<char>('0' + d.month % 10), '/',
                     static_cast<char>('0' + year / 10), static_cast<char>('0' + year % 10)};
            last_ = date;
        }
        return std::copy(text_.begin(), text_.end(), out);
    }

private:
    Date last_ = 0;
    std::array<char, 8> text_{};
};

// A number at out as IntToText writes it (out has room for 20 characters); none for 0 when
// zeroIsEmpty.
char* PutNumber(char* out, std::int64_t value, bool zeroIsEmpty) {
    if (value == 0 && zeroIsEmpty) return out;
    return std::to_chars(out, out + 20, value).ptr;
}

// The cow's identifier as the page shows it: most are plain ASCII, which reads the same.
void AppendCowId(std::string& cells, std::string_view id) {
    if (std::all_of(id.begin(), id.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; })) {
        cells += id;
    } else {
        cells += RecordTextToUtf8(id);
    }
}

}  // namespace

std::string CowListHeading(CowListKind kind, std::size_t count) {
    return IntToText(static_cast<std::int64_t>(count)) + (count == 1 ? " cow " : " cows ") + ListSubject(kind);
}

std::string ContinuedHeading(const std::string& heading) { return heading + " (continued)"; }

const char* CowListAdvice(CowListKind kind) {
    switch (kind) {
        case CowListKind::NotMated3Wk:
            return "Check these cows for heats and talk to your vet about cows that are not cycling";
        case CowListKind::NotMated80d:
            return "Check these cows for heats and talk to your vet about cows that are not cycling";
        case CowListKind::NotInCalf:
            return "Have these cows checked by your vet and decide which to mate again, keep or sell";
        case CowListKind::InCalfLate:
            return "These cows will calve late next season: plan their drying off and feeding now";
        case CowListKind::Repeat:
            return "Ask your vet to examine cows that keep returning to service before mating them again";
        case CowListKind::CalvedLate:
            return "Late calvers need good feeding to cycle in time: watch them closely for heats";
    }
    return "";
}

CowListTexts InterpretCowLists(const CowLists& lists) {
    CowListTexts texts;
    const bool yearRound = lists.system == kYearRoundCalving;
    texts.intro = "Cows still in the herd behind the figures of this report, list by list. A cow can be on "
                  "more than one list.";
    texts.columns = {"Cow", "Calved", "Age", "First mating", "Matings",
                     yearRound ? "In calf (day after calving)" : "In calf (day of mating)"};
    if (!lists.made) {
        texts.reason = "This herd has no report for the season, so there are no cows to list";
        return texts;
    }
    for (const CowList& list : lists.lists) {
        if (list.cows.empty()) continue;
        CowListSection section;
        section.kind = list.kind;
        section.heading = CowListHeading(list.kind, list.cows.size());
        section.advice = CowListAdvice(list.kind);
        section.cells.reserve(list.cows.size() * 32);
        section.ends.reserve(list.cows.size() * kCowListColumns);
        ShortDates calved;
        ShortDates firstMating;
        for (const CowListEntry& cow : list.cows) {
            AppendCowId(section.cells, cow.cowId);
            section.ends.push_back(static_cast<std::uint32_t>(section.cells.size()));
            // The other cells are short: written here, then added in one piece.
            std::array<char, 8 + 20 + 8 + 20 + 20> row;
            std::array<std::size_t, kCowListColumns - 1> ends{};
            char* out = row.data();
            out = calved.Put(out, cow.calved);
            ends[0] = static_cast<std::size_t>(out - row.data());
            out = PutNumber(out, cow.age, true);
            ends[1] = static_cast<std::size_t>(out - row.data());
            out = firstMating.Put(out, cow.firstMating);
            ends[2] = static_cast<std::size_t>(out - row.data());
            out = PutNumber(out, cow.matings, false);
            ends[3] = static_cast<std::size_t>(out - row.data());
            out = PutNumber(out, cow.inCalfDay, true);
            ends[4] = static_cast<std::size_t>(out - row.data());
            const std::size_t start = section.cells.size();
            section.cells.append(row.data(), ends[4]);
            for (const std::size_t end : ends) section.ends.push_back(static_cast<std::uint32_t>(start + end));
        }
        texts.sections.push_back(std::move(section));
    }
    if (!texts.sections.empty()) return texts;
    texts.reason = lists.AnyApplies()
                       ? "No cow still in the herd is on any of the lists for this season"
                       : "This herd file has no mating or pregnancy-test records for the season";
    return texts;
}

}  // namespace ovista
