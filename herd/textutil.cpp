#include "herd/textutil.h"

#include <algorithm>
#include <cstring>
#include <bit>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <locale.h>
#include <stdlib.h>

#include "herd/errors.h"

namespace ovista {
namespace {

// ---- calendar arithmetic (proleptic Gregorian) ----------------------------------------

// Day number of 1 January 1970 in our count (day 0 = 30/12/1899).
constexpr std::int64_t kUnixEpochDay = 25569;

constexpr bool IsLeapYear(std::int64_t y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

constexpr int DaysInMonth(std::int64_t y, int m) {
    constexpr int days[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return m == 2 && IsLeapYear(y) ? 29 : days[m - 1];
}

// Days since 1 January 1970 of a civil date (era-based, exact for any year).
constexpr std::int64_t DaysFromCivil(std::int64_t y, int m, int d) {
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const std::int64_t yoe = y - era * 400;
    const std::int64_t doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

constexpr Date EncodeDays(std::int64_t y, int m, int d) {
    return static_cast<Date>(DaysFromCivil(y, m, d) + kUnixEpochDay);
}

struct DateSettingsHolder {
    DateSettings settings;
    DateSettingsHolder() { settings.openEnded = EncodeDays(2099, 12, 31); }
};

DateSettingsHolder& Holder() {
    static DateSettingsHolder holder;
    return holder;
}

// The date reader: three unsigned numbers separated by '/', blanks allowed around each,
// day/month/year; the whole text must be used and the date must exist.
bool ReadDayMonthYear(std::string_view text, int& day, int& month, int& year) {
    std::size_t pos = 0;
    auto skipBlanks = [&] {
        while (pos < text.size() && text[pos] == ' ') ++pos;
    };
    auto readNumber = [&](int& out) {
        skipBlanks();
        const std::size_t start = pos;
        std::int64_t value = 0;
        while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9') {
            value = std::min<std::int64_t>(value * 10 + (text[pos] - '0'), 1000000);
            ++pos;
        }
        skipBlanks();
        out = static_cast<int>(value);
        return pos > start;
    };
    int parts[3];
    for (int i = 0; i < 3; ++i) {
        if (!readNumber(parts[i])) return false;
        if (i < 2) {
            if (pos >= text.size() || text[pos] != '/') return false;
            ++pos;
        }
    }
    if (pos != text.size()) return false;
    day = parts[0];
    month = parts[1];
    year = parts[2];
    return IsValidDate(day, month, year);
}

// Scientific text with one digit before the point and `decimals` after it; the exponent
// comes back separately.
std::string Scientific(double x, int decimals, int& exponent) {
    char buf[64];
    const auto res = std::to_chars(buf, buf + sizeof buf, x, std::chars_format::scientific, decimals);
    std::string text(buf, res.ptr);
    const std::size_t e = text.find('e');
    exponent = 0;
    std::from_chars(text.data() + e + (text[e + 1] == '+' ? 2 : 1), text.data() + text.size(), exponent);
    text.resize(e);
    return text;
}

std::string Fixed(double x, int decimals) {
    char buf[400];
    const auto res = std::to_chars(buf, buf + sizeof buf, x, std::chars_format::fixed, decimals);
    return std::string(buf, res.ptr);
}

std::string FormatNumberUnpadded(double x, bool shortVariant) {
    if (IsMissingValue(x)) return {};
    if (std::isnan(x)) return "NAN";
    if (std::isinf(x)) return x > 0 ? "INF" : "-INF";
    const double ax = std::fabs(x);
    const double big = shortVariant ? 1e10 : 1e14;
    const double small = shortVariant ? 1e-10 : 1e-14;
    int exponent = 0;
    if (x != 0 && (ax >= big || ax <= small)) {
        std::string mantissa = Scientific(x, 18, exponent);
        while (!mantissa.empty() && mantissa.back() == '0') mantissa.pop_back();
        // Four exponent digits whose leading zeros are then removed: plain decimal digits.
        const int absExp = exponent < 0 ? -exponent : exponent;
        return mantissa + "E" + (exponent < 0 ? "-" : "+") + std::to_string(absExp);
    }
    Scientific(x, 18, exponent);
    std::string text = Fixed(x, (shortVariant ? 10 : 14) - exponent);
    while (!text.empty() && text.back() == '0') text.pop_back();
    if (ax < 1e-30) return "0";
    if (ax < 2147483647.0 && ax > 1.0) {
        const double whole = RoundHalfEven(x);
        // A value just below a whole number is written as that whole number, not cut
        // down to the one below.
        if (std::fabs(x - whole) < 1e-6) text = Fixed(whole, 0);
    }
    if (!text.empty() && text.back() == '.') text.pop_back();
    return text;
}

}  // namespace

// ---- process-wide date settings -------------------------------------------------------

const DateSettings& GetDateSettings() { return Holder().settings; }

void SetToday(int year, int month, int day) {
    if (!IsValidDate(day, month, year)) {
        throw DateError(std::to_string(day) + "/" + std::to_string(month) + "/" + std::to_string(year));
    }
    DateSettings& s = Holder().settings;
    s.todayYear = year;
    s.todayMonth = month;
    s.todayDay = day;
    // Read after today is set: the two-digit-year window depends on today's year.
    s.openEnded = ParseDateText("31/12/2099");
}

void SetTodayFromClock() {
    const std::time_t now = std::chrono::system_clock::to_time_t(std::chrono::system_clock::now());
    std::tm local{};
    localtime_r(&now, &local);
    SetToday(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday);
}

Date Today() {
    const DateSettings& s = GetDateSettings();
    return EncodeDays(s.todayYear, s.todayMonth, s.todayDay);
}

// ---- text -----------------------------------------------------------------------------

std::string TrimBlanks(std::string_view text) {
    auto blank = [](char c) { return c == ' ' || c == '\0'; };
    std::size_t begin = 0;
    std::size_t end = text.size();
    while (begin < end && blank(text[begin])) ++begin;
    while (end > begin && blank(text[end - 1])) --end;
    return std::string(text.substr(begin, end - begin));
}

std::string PadRight(std::string_view text, int width) {
    const std::size_t w = static_cast<std::size_t>(std::max(width, 0));
    std::string out(text.substr(0, w));
    out.resize(w, ' ');
    return out;
}

std::string PadLeft(std::string_view text, int width) {
    const std::size_t w = static_cast<std::size_t>(std::max(width, 0));
    std::string trimmed = TrimBlanks(text);
    if (trimmed.size() >= w) return trimmed.substr(0, w);
    return std::string(w - trimmed.size(), ' ') + trimmed;
}

std::string RepeatChar(char c, int n) { return std::string(static_cast<std::size_t>(std::clamp(n, 0, 255)), c); }

// ---- numbers --------------------------------------------------------------------------

double MissingValue() { return std::bit_cast<double>(~std::uint64_t{0}); }

bool IsMissingValue(double x) { return std::bit_cast<std::uint64_t>(x) == ~std::uint64_t{0}; }

std::string FormatNumber(double x, bool shortVariant) {
    std::string text = FormatNumberUnpadded(x, shortVariant);
    if (text.empty()) return text;
    // Padded to 23; a text of at most 11 characters keeps only a 12-character field.
    if (text.size() < 23) text.resize(23, ' ');
    const std::size_t firstSpace = text.find(' ');
    if (firstSpace != std::string::npos && firstSpace + 1 <= 12) text.resize(12);
    return text;
}

std::string FormatNumberTrimmed(double x, bool shortVariant) { return FormatNumberUnpadded(x, shortVariant); }

std::string FormatFixed(double x, int decimals) { return Fixed(x, std::clamp(decimals, 0, 30)); }

std::string IntToText(std::int64_t value) { return std::to_string(value); }

std::string Int16ToText(std::int16_t value) { return value == -32768 ? std::string() : std::to_string(value); }

bool ParseFloat(std::string_view text, double& out) {
    const std::string t = TrimBlanks(text);
    std::size_t pos = 0;
    auto digits = [&] {
        const std::size_t start = pos;
        while (pos < t.size() && t[pos] >= '0' && t[pos] <= '9') ++pos;
        return pos - start;
    };
    if (pos < t.size() && (t[pos] == '+' || t[pos] == '-')) ++pos;
    std::size_t mantissaDigits = digits();
    if (pos < t.size() && t[pos] == '.') {
        ++pos;
        mantissaDigits += digits();
    }
    if (mantissaDigits == 0) return false;
    if (pos < t.size() && (t[pos] == 'e' || t[pos] == 'E')) {
        ++pos;
        if (pos < t.size() && (t[pos] == '+' || t[pos] == '-')) ++pos;
        if (digits() == 0) return false;
    }
    if (pos != t.size()) return false;
    // The text is a plain decimal number now; read it in the "C" locale so a comma-decimal
    // user setting cannot change it. Overflow gives infinity, underflow zero.
    static const locale_t cLocale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
    out = strtod_l(t.c_str(), nullptr, cLocale);
    return true;
}

std::int32_t TextToInt(std::string_view text) {
    double x = 0;
    if (!ParseFloat(text, x)) return 0;
    if (x < -2147483647.0) return -2147483647;
    if (x > 2147483647.0) return 2147483647;
    return static_cast<std::int32_t>(RoundHalfEven(x));
}

double TextToReal(std::string_view text) {
    double x = 0;
    return ParseFloat(text, x) ? x : 0.0;
}

double RoundHalfEven(double x) {
    if (!std::isfinite(x)) return x;
    const double down = std::floor(x);
    const double frac = x - down;  // exact for every finite double
    if (frac > 0.5) return down + 1;
    if (frac < 0.5) return down;
    return std::fmod(down, 2.0) == 0 ? down : down + 1;
}

std::int16_t RoundToInt16(double x) {
    const double r = RoundHalfEven(x);
    if (!(r >= -32768.0 && r <= 32767.0)) throw RangeError();
    return static_cast<std::int16_t>(r);
}

void ThrowRangeError() { throw RangeError(); }

// ---- dates ----------------------------------------------------------------------------

bool IsValidDate(int day, int month, int year) {
    return year >= 1 && year <= 9999 && month >= 1 && month <= 12 && day >= 1 && day <= DaysInMonth(year, month);
}

Date MakeDate(int day, int month, int year) {
    if (year < 100) year += year <= 60 ? 2000 : 1900;
    if (year < 1 || year > 9999) throw RangeError();
    if (!IsValidDate(day, month, year)) {
        throw DateError(std::to_string(day) + "/" + std::to_string(month) + "/" + std::to_string(year));
    }
    return EncodeDays(year, month, day);
}

Date CheckedDate(std::int64_t dayNumber) {
    if (dayNumber < kFirstDate || dayNumber > kLastDate) throw RangeError();
    return static_cast<Date>(dayNumber);
}

Date AddDays(Date date, std::int64_t days) { return CheckedDate(static_cast<std::int64_t>(date) + days); }

Date FirstOfMonth(std::int64_t year, int month) {
    if (year < 1 || year > 9999 || month < 1 || month > 12) throw RangeError();
    return EncodeDays(year, month, 1);
}

Date AddYears(Date date, int years) {
    const CalendarDate c = DecodeDate(date);
    const std::int64_t year = static_cast<std::int64_t>(c.year) + years;
    if (year < 1 || year > 9999) throw RangeError();
    const int day = (c.month == 2 && c.day == 29 && !IsLeapYear(year)) ? 28 : c.day;
    return EncodeDays(year, c.month, day);
}

Date ParseDateText(std::string_view text) {
    const std::size_t slash = text.rfind('/');
    const std::string_view dateText = slash == std::string_view::npos ? std::string_view() : text.substr(0, slash + 1);
    const std::string_view yearText = slash == std::string_view::npos ? text : text.substr(slash + 1);
    if (TrimBlanks(yearText).empty()) return 0;
    std::int64_t year = TextToInt(yearText);
    if (year < 100) {
        const int current = GetDateSettings().todayYear;
        year += 100 * (current / 100);
        if (year > current + 50) year -= 100;
        if (year < current - 50) year += 100;
    }
    const std::string full = std::string(dateText) + std::to_string(year);
    int day = 0;
    int month = 0;
    int y = 0;
    if (!ReadDayMonthYear(full, day, month, y)) throw DateError(full);
    return EncodeDays(y, month, day);
}

namespace {

// The forms herd files nearly always hold, d/m/yyyy and d/m/yy with '/', '-' or '.' between,
// for an existing date: read as ParseDateText reads them, without its general number reader.
// False for anything else, which then takes the general way (and its errors).
bool ReadPlainHerdDate(std::string_view text, Date& out) {
    int parts[3];
    std::size_t lengths[3];
    std::size_t pos = 0;
    for (int i = 0; i < 3; ++i) {
        const std::size_t start = pos;
        int value = 0;
        while (pos < text.size() && pos - start < 4 && text[pos] >= '0' && text[pos] <= '9') {
            value = value * 10 + (text[pos] - '0');
            ++pos;
        }
        parts[i] = value;
        lengths[i] = pos - start;
        if (i < 2) {
            if (pos >= text.size() || (text[pos] != '/' && text[pos] != '-' && text[pos] != '.')) return false;
            ++pos;
        }
    }
    if (pos != text.size() || lengths[0] < 1 || lengths[0] > 2 || lengths[1] < 1 || lengths[1] > 2) return false;
    int year = parts[2];
    if (lengths[2] == 2) {
        const int current = GetDateSettings().todayYear;
        year += 100 * (current / 100);
        if (year > current + 50) year -= 100;
        if (year < current - 50) year += 100;
    } else if (lengths[2] != 4 || year < 100) {
        return false;
    }
    if (!IsValidDate(parts[0], parts[1], year)) return false;
    out = EncodeDays(year, parts[1], parts[0]);
    return true;
}

}  // namespace

Date ParseHerdDate(std::string_view text) {
    if (text.empty()) return 0;  // as ParseDateText reads it, without its general way
    // dd/mm/yyyy, the form of nearly every date of nearly every herd file, read at once:
    // every digit checked without a branch, the day counted from the year's start. Any
    // other text, or a date that does not exist, takes the ways below (and their errors).
    if (text.size() == 10 && text[2] == '/' && text[5] == '/') {
        const auto* c = reinterpret_cast<const unsigned char*>(text.data());
        const unsigned d0 = c[0] - 48u, d1 = c[1] - 48u, m0 = c[3] - 48u, m1 = c[4] - 48u;
        const unsigned y0 = c[6] - 48u, y1 = c[7] - 48u, y2 = c[8] - 48u, y3 = c[9] - 48u;
        const bool digits = (d0 <= 9) & (d1 <= 9) & (m0 <= 9) & (m1 <= 9) & (y0 <= 9) & (y1 <= 9) &
                            (y2 <= 9) & (y3 <= 9);
        const unsigned day = d0 * 10 + d1;
        const unsigned month = m0 * 10 + m1;
        const unsigned year = y0 * 1000 + y1 * 100 + y2 * 10 + y3;
        if (digits && year >= 100 && month - 1 < 12 && day - 1 < 31) {
            static constexpr std::uint8_t kDaysIn[13] = {0, 31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
            static constexpr std::uint16_t kDaysBefore[13] = {0, 0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334};
            const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
            if (day <= kDaysIn[month] + unsigned{month == 2 && leap}) {
                const unsigned before = year - 1;  // whole years since 1 January 0001
                const std::int64_t sinceYearOne = std::int64_t{365} * before + before / 4 - before / 100 +
                                                  before / 400 + kDaysBefore[month] + (month > 2 && leap) + day - 1;
                return static_cast<Date>(sinceYearOne + kFirstDate);
            }
        }
    }
    const std::string_view head = text.substr(0, 6);
    if (head == "--/--/" || head == "--.--.") return 0;
    if (Date plain = 0; ReadPlainHerdDate(text, plain)) return plain;
    std::string t(text);
    std::replace_if(t.begin(), t.end(), [](char c) { return c == '-' || c == '.'; }, '/');
    return ParseDateText(t);
}

char* PutDateText(char* out, Date date) {
    const char sep = GetDateSettings().separator;
    if (date == 0) {
        const char blank[kDateTextLength] = {' ', ' ', sep, ' ', ' ', sep, ' ', ' '};
        std::memcpy(out, blank, sizeof blank);
        return out + sizeof blank;
    }
    const CalendarDate c = DecodeDate(date);
    // Written by hand: traces and summary rows format thousands of dates a herd.
    const int year = c.year % 100;
    const char text[kDateTextLength] = {
        static_cast<char>('0' + c.day / 10),   static_cast<char>('0' + c.day % 10),   sep,
        static_cast<char>('0' + c.month / 10), static_cast<char>('0' + c.month % 10), sep,
        static_cast<char>('0' + year / 10),    static_cast<char>('0' + year % 10)};
    std::memcpy(out, text, sizeof text);
    return out + sizeof text;
}

char* PutDateSlash(char* out, Date date) {
    char* const end = PutDateText(out, date);
    std::replace(out, end, '.', '/');
    return end;
}

std::string FormatDateText(Date date) {
    char text[kDateTextLength];
    return std::string(text, static_cast<std::size_t>(PutDateText(text, date) - text));
}

std::string FormatDateSlash(Date date) {
    char text[kDateTextLength];
    return std::string(text, static_cast<std::size_t>(PutDateSlash(text, date) - text));
}

CalendarDate DecodeDate(Date date) {
    if (date < kFirstDate || date > kLastDate) throw RangeError();
    // Civil date from days since 1 January 1970 (era-based).
    const std::int64_t z = static_cast<std::int64_t>(date) - kUnixEpochDay + 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const std::int64_t doe = z - era * 146097;
    const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const std::int64_t mp = (5 * doy + 2) / 153;
    const int day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    const int month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    const int year = static_cast<int>(yoe + era * 400 + (month <= 2));
    return {year, month, day};
}

int YearOf(Date date) { return DecodeDate(date).year; }
int MonthOf(Date date) { return DecodeDate(date).month; }
int DayOf(Date date) { return DecodeDate(date).day; }

}  // namespace ovista
