#include "formats/cow_list_file.h"

#include <charconv>

#include "herd/textutil.h"

namespace ovista {
namespace {

// The rows are written straight into the file's text: a batch lists some 140 cows a herd.
void AppendField(std::string& out, std::string_view text) {
    if (text.find_first_of(",\"\r\n") == std::string_view::npos) {
        out += text;
        return;
    }
    out += '"';
    for (char c : text) {
        if (c == '"') out += '"';
        out += c;
    }
    out += '"';
}

void AppendDate(std::string& out, Date date) {
    if (date == 0) return;
    const CalendarDate d = DecodeDate(date);
    const char dayMonth[6] = {static_cast<char>('0' + d.day / 10),   static_cast<char>('0' + d.day % 10),   '/',
                              static_cast<char>('0' + d.month / 10), static_cast<char>('0' + d.month % 10), '/'};
    out.append(dayMonth, sizeof dayMonth);
    char year[16];
    const std::size_t length = static_cast<std::size_t>(std::to_chars(year, year + sizeof year, d.year).ptr - year);
    if (length < 4) out.append(4 - length, '0');
    out.append(year, length);
}

void AppendInteger(std::string& out, std::int64_t value) {
    char text[24];
    out.append(text, static_cast<std::size_t>(std::to_chars(text, text + sizeof text, value).ptr - text));
}

}  // namespace

std::string CowListField(std::string_view text) {
    std::string out;
    AppendField(out, text);
    return out;
}

std::string CowListDate(Date date) {
    std::string out;
    AppendDate(out, date);
    return out;
}

std::string CowListRows(std::string_view shno, const CowLists& lists) {
    std::string rows;
    if (!lists.made) return rows;
    const std::string herd = CowListField(shno);
    for (const CowList& list : lists.lists) {
        const std::string_view code = CowListCode(list.kind);
        for (const CowListEntry& cow : list.cows) {
            rows += herd;
            rows += ',';
            rows += code;
            rows += ',';
            AppendField(rows, cow.cowId);
            rows += ',';
            AppendDate(rows, cow.calved);
            rows += ',';
            if (cow.age != 0) AppendInteger(rows, cow.age);
            rows += ',';
            AppendDate(rows, cow.firstMating);
            rows += ',';
            AppendInteger(rows, cow.matings);
            rows += ',';
            if (cow.inCalfDay != 0) AppendInteger(rows, cow.inCalfDay);
            rows += "\r\n";
        }
    }
    return rows;
}

}  // namespace ovista
