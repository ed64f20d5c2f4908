#include "formats/cow_list_file.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdint>
#include <cstring>
#include <vector>

#include "herd/textutil.h"

namespace ovista {
namespace {

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

// "dd/mm/yyyy" (the year filled to 4 digits) at out; nothing for 0.
char* PutDate(char* out, Date date) {
    if (date == 0) return out;
    const CalendarDate d = DecodeDate(date);
    *out++ = static_cast<char>('0' + d.day / 10);
    *out++ = static_cast<char>('0' + d.day % 10);
    *out++ = '/';
    *out++ = static_cast<char>('0' + d.month / 10);
    *out++ = static_cast<char>('0' + d.month % 10);
    *out++ = '/';
    char year[16];
    const std::size_t length = static_cast<std::size_t>(std::to_chars(year, year + sizeof year, d.year).ptr - year);
    for (std::size_t filled = length; filled < 4; ++filled) *out++ = '0';
    std::memcpy(out, year, length);
    return out + length;
}
constexpr std::size_t kDateMaxBytes = 6 + 11;  // dd/mm/ and an int's digits and sign

}  // namespace

std::string CowListField(std::string_view text) {
    std::string out;
    AppendField(out, text);
    return out;
}

std::string CowListDate(Date date) {
    char text[kDateMaxBytes];
    return std::string(text, static_cast<std::size_t>(PutDate(text, date) - text));
}

namespace {

// A batch lists some 140 cows a herd, each row written in place: the bytes a row takes beyond
// its herd number and cow identifier (list code, two dates, three numbers, commas, CR LF).
constexpr std::size_t kRowBytesBesideTexts = 128;

char* Put(char* out, std::string_view text) {
    std::memcpy(out, text.data(), text.size());
    return out + text.size();
}

char* PutField(char* out, std::string_view text) {
    bool plain = true;
    for (const char c : text) plain &= c != ',' && c != '"' && c != '\r' && c != '\n';
    if (plain) return Put(out, text);
    *out++ = '"';
    for (const char c : text) {
        if (c == '"') *out++ = '"';
        *out++ = c;
    }
    *out++ = '"';
    return out;
}

char* PutInteger(char* out, std::int64_t value) { return std::to_chars(out, out + 24, value).ptr; }

// The texts of the dates met last: a list runs by calving date, and its cows share dates.
class DateTexts {
public:
    char* Put(char* out, Date date) {
        if (date == 0) return out;
        Text& text = texts_[static_cast<std::uint32_t>(date) % kTexts];
        if (text.date != date) {
            text.date = date;
            text.length = static_cast<std::uint8_t>(PutDate(text.bytes, date) - text.bytes);
        }
        std::memcpy(out, text.bytes, text.length);
        return out + text.length;
    }

private:
    static constexpr std::size_t kTexts = 64;
    struct Text {
        Date date = 0;  // none
        std::uint8_t length = 0;
        char bytes[kDateMaxBytes];
    };
    std::array<Text, kTexts> texts_{};
};

}  // namespace

std::string CowListRows(std::string_view shno, const CowLists& lists) {
    std::string rows;
    if (!lists.made) return rows;
    const std::string herd = CowListField(shno);
    DateTexts dates;
    rows.reserve(lists.Rows() * (herd.size() + kRowBytesBesideTexts / 2));
    std::vector<char> row;
    for (const CowList& list : lists.lists) {
        const std::string_view code = CowListCode(list.kind);
        for (const CowListEntry& cow : list.cows) {
            const std::size_t most = herd.size() + 2 * cow.cowId.size() + 2 + kRowBytesBesideTexts;
            if (row.size() < most) row.resize(most);
            char* const start = row.data();
            char* out = Put(start, herd);
            *out++ = ',';
            out = Put(out, code);
            *out++ = ',';
            out = PutField(out, cow.cowId);
            *out++ = ',';
            out = dates.Put(out, cow.calved);
            *out++ = ',';
            if (cow.age != 0) out = PutInteger(out, cow.age);
            *out++ = ',';
            out = dates.Put(out, cow.firstMating);
            *out++ = ',';
            out = PutInteger(out, cow.matings);
            *out++ = ',';
            if (cow.inCalfDay != 0) out = PutInteger(out, cow.inCalfDay);
            *out++ = '\r';
            *out++ = '\n';
            rows.append(start, static_cast<std::size_t>(out - start));
        }
    }
    return rows;
}

}  // namespace ovista
