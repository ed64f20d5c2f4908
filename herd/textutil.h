#pragma once
// Text, number and date rules shared by the reader, the analysis traces, the CSV outputs and
// the report. They decide the exact look of every number and date the program writes.
#include <cstdint>
#include <string>
#include <string_view>

namespace ovista {

// A date is a whole day number; day 0 is 30 December 1899 and 0 also means "no date".
using Date = std::int32_t;

// ---- process-wide date settings -------------------------------------------------------

struct DateSettings {
    char separator = '/';
    std::string shortDateFormat = "dd/MM/yy";
    int todayYear = 2000;
    int todayMonth = 1;
    int todayDay = 1;
    Date openEnded = 0;  // 31/12/2099, parsed with our own date reader at start-up
};

// The settings in force; set once at start-up, and by tests to fix "today".
const DateSettings& GetDateSettings();
// Sets today's date and recomputes the open-ended date (the two-digit-year window
// depends on today's year).
void SetToday(int year, int month, int day);
// Sets today from the system clock.
void SetTodayFromClock();
// Today's date as a day number.
Date Today();

// ---- text -----------------------------------------------------------------------------

// Removes leading and trailing spaces and NULs; tabs stay.
std::string TrimBlanks(std::string_view text);
// Appends spaces up to width; a longer text is cut to its first width characters.
std::string PadRight(std::string_view text, int width);
// Trims, then puts spaces before it up to width; a longer text is cut to its first width characters.
std::string PadLeft(std::string_view text, int width);
// n copies of c, n clamped to 0..255.
std::string RepeatChar(char c, int n);

// ---- numbers --------------------------------------------------------------------------

// The missing floating value: all eight bytes 0xFF.
double MissingValue();
bool IsMissingValue(double x);

// General text of a floating value, padded to 23 characters (or cut to 12 when its first
// space stands at position 12 or earlier). shortVariant: 10 significant digits, else 14.
// Empty text for the missing value.
std::string FormatNumber(double x, bool shortVariant = true);
// The same without the padding: the form used for counts, day numbers and line numbers.
std::string FormatNumberTrimmed(double x, bool shortVariant = true);
// Fixed-point text with the given decimals (0..30), the exact binary value rounded to the
// nearest, exact ties to the even digit: 0.125 with 2 decimals is "0.12". Never localised.
std::string FormatFixed(double x, int decimals);
// Decimal text of an integer.
std::string IntToText(std::int64_t value);
// Decimal text of a 16-bit integer; empty for -32768 (a missing 16-bit value).
std::string Int16ToText(std::int16_t value);

// Parses a floating number after trimming spaces and NULs: [+-]?(\d+\.?\d*|\.\d+)([eE][+-]?\d+)?
// Returns false for anything else. Read in the "C" locale; too large a value gives infinity.
bool ParseFloat(std::string_view text, double& out);
// Trimmed text as a number rounded half to even and clamped to +-2147483647; 0 when not a number.
std::int32_t TextToInt(std::string_view text);
// Trimmed text as a floating number; 0 when not a number.
double TextToReal(std::string_view text);

// Nearest whole number, halves to the even neighbour.
double RoundHalfEven(double x);
// x rounded half to even into 16 bits; RangeError when it does not fit.
std::int16_t RoundToInt16(double x);
// Throws RangeError (kept out of line, so that the checks below stay small).
[[noreturn]] void ThrowRangeError();
// A whole value into 16 bits; RangeError when it does not fit.
inline std::int16_t CheckedInt16(std::int64_t value) {
    if (value < -32768 || value > 32767) ThrowRangeError();
    return static_cast<std::int16_t>(value);
}

// ---- dates ----------------------------------------------------------------------------

// The first and last day numbers we can write: 01/01/0001 and 31/12/9999.
inline constexpr Date kFirstDate = -693593;
inline constexpr Date kLastDate = 2958465;
// A computed day number as a Date; RangeError when it lies outside kFirstDate..kLastDate.
Date CheckedDate(std::int64_t dayNumber);
// date + days; RangeError when the result lies outside the calendar.
Date AddDays(Date date, std::int64_t days);
// Day number of the first day of a month given with its full year; RangeError outside the
// calendar.
Date FirstOfMonth(std::int64_t year, int month);
// The same day and month `years` later (earlier when negative); 29 February becomes
// 28 February in a common year. RangeError outside years 1 to 9999.
Date AddYears(Date date, int years);

// Day number of a date; a year below 100 is 2000 + year when at most 60, else 1900 + year.
// DateError for an impossible date (text "d/m/y"); RangeError for a year outside 1..9999.
Date MakeDate(int day, int month, int year);
// True when the date exists (years 1 to 9999).
bool IsValidDate(int day, int month, int year);
// Day/month/year text with a two-digit year placed within 50 years of today's year;
// 0 for an empty year. DateError("'<text>' is not a valid date") otherwise.
Date ParseDateText(std::string_view text);
// Herd-file date: "--/--/..." and "--.--...." are no date; '-' and '.' read as '/'.
Date ParseHerdDate(std::string_view text);
// "dd/MM/yy"; "  /  /  " for 0.
std::string FormatDateText(Date date);
// FormatDateText with every '.' replaced by '/'.
std::string FormatDateSlash(Date date);
// The same texts written at out (kDateTextLength bytes); the end returned.
inline constexpr std::size_t kDateTextLength = 8;
char* PutDateText(char* out, Date date);
char* PutDateSlash(char* out, Date date);

struct CalendarDate {
    int year;
    int month;
    int day;
};
// Calendar parts of a day number (day 0 = 30/12/1899); RangeError outside kFirstDate..kLastDate.
CalendarDate DecodeDate(Date date);
int YearOf(Date date);
int MonthOf(Date date);
int DayOf(Date date);

}  // namespace ovista
