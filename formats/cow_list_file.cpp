#include "formats/cow_list_file.h"

#include "herd/textutil.h"

namespace ovista {
namespace {

std::string TwoDigits(int value) {
    return std::string(1, static_cast<char>('0' + value / 10)) + static_cast<char>('0' + value % 10);
}

std::string NumberOrEmpty(std::int64_t value) { return value == 0 ? std::string() : IntToText(value); }

}  // namespace

std::string CowListField(std::string_view text) {
    if (text.find_first_of(",\"\r\n") == std::string_view::npos) return std::string(text);
    std::string out = "\"";
    for (char c : text) {
        if (c == '"') out += '"';
        out += c;
    }
    out += '"';
    return out;
}

std::string CowListDate(Date date) {
    if (date == 0) return {};
    const CalendarDate d = DecodeDate(date);
    std::string year = IntToText(d.year);
    year.insert(0, year.size() < 4 ? 4 - year.size() : 0, '0');
    return TwoDigits(d.day) + '/' + TwoDigits(d.month) + '/' + year;
}

std::string CowListRows(std::string_view shno, const CowLists& lists) {
    std::string rows;
    if (!lists.made) return rows;
    const std::string herd = CowListField(shno);
    for (const CowList& list : lists.lists) {
        const std::string code = CowListCode(list.kind);
        for (const CowListEntry& cow : list.cows) {
            rows += herd + ',' + code + ',' + CowListField(cow.cowId) + ',' + CowListDate(cow.calved) + ',' +
                    NumberOrEmpty(cow.age) + ',' + CowListDate(cow.firstMating) + ',' + IntToText(cow.matings) + ',' +
                    NumberOrEmpty(cow.inCalfDay) + "\r\n";
        }
    }
    return rows;
}

}  // namespace ovista
