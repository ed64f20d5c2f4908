#include "tools/herdgen/calendar.h"

#include <cstdio>

namespace ovista::herdgen {
namespace {

// Days from 1 January 1970 (civil-from-days and days-from-civil of the proleptic calendar).
std::int64_t DaysFromCivil(std::int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const auto yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

constexpr std::int64_t kEpochShift = 25569;  // 30/12/1899 is 25569 days before 1/1/1970

bool IsLeap(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int DaysInMonth(int y, int m) {
    static const int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return m == 2 && IsLeap(y) ? 29 : kDays[m - 1];
}

}  // namespace

Day DayNumber(int year, int month, int day) {
    return static_cast<Day>(DaysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day)) +
                            kEpochShift);
}

Ymd SplitDay(Day dayNumber) {
    std::int64_t z = static_cast<std::int64_t>(dayNumber) - kEpochShift + 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const auto doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const std::int64_t y = static_cast<std::int64_t>(yoe) + era * 400;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    const unsigned d = doy - (153 * mp + 2) / 5 + 1;
    const unsigned m = mp < 10 ? mp + 3 : mp - 9;
    return {static_cast<int>(y + (m <= 2)), static_cast<int>(m), static_cast<int>(d)};
}

Day EndOfMonth(Day day) {
    const Ymd ymd = SplitDay(day);
    return DayNumber(ymd.year, ymd.month, DaysInMonth(ymd.year, ymd.month));
}

Day EndOfMonthBefore(Day day, int months) {
    const Ymd ymd = SplitDay(day);
    int index = ymd.year * 12 + (ymd.month - 1) - months;
    const int year = index / 12;
    const int month = index % 12 + 1;
    return DayNumber(year, month, DaysInMonth(year, month));
}

Day ParseDate(std::string_view text) {
    int parts[3] = {0, 0, 0};
    int digits[3] = {0, 0, 0};
    int part = 0;
    for (char c : text) {
        if (c >= '0' && c <= '9') {
            if (digits[part] >= 4) return 0;
            parts[part] = parts[part] * 10 + (c - '0');
            ++digits[part];
        } else if ((c == '/' || c == '-' || c == '.') && part < 2 && digits[part] > 0) {
            ++part;
        } else {
            return 0;
        }
    }
    if (part != 2 || digits[2] != 4) return 0;
    const int d = parts[0], m = parts[1], y = parts[2];
    if (y < 1900 || m < 1 || m > 12 || d < 1 || d > DaysInMonth(y, m)) return 0;
    return DayNumber(y, m, d);
}

std::string FormatDate(Day day, DateStyle style) {
    const Ymd ymd = SplitDay(day);
    char text[16];
    switch (style) {
        case DateStyle::Dash2:
            std::snprintf(text, sizeof text, "%02d-%02d-%02d", ymd.day, ymd.month, ymd.year % 100);
            break;
        case DateStyle::Dot2:
            std::snprintf(text, sizeof text, "%02d.%02d.%02d", ymd.day, ymd.month, ymd.year % 100);
            break;
        case DateStyle::Slash4:
            std::snprintf(text, sizeof text, "%02d/%02d/%04d", ymd.day, ymd.month, ymd.year);
            break;
    }
    return text;
}

}  // namespace ovista::herdgen
