#include <gtest/gtest.h>

#include <algorithm>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <locale>
#include <string>
#include <vector>

#include "herd/errors.h"
#include "herd/short_text.h"
#include "herd/textutil.h"

namespace ovista {
namespace {

using namespace std::string_literals;

// Fixes "today" for the two-digit-year window and restores it afterwards.
class FixedToday {
public:
    FixedToday(int year, int month, int day) : saved_(GetDateSettings()) { SetToday(year, month, day); }
    ~FixedToday() { SetToday(saved_.todayYear, saved_.todayMonth, saved_.todayDay); }

private:
    DateSettings saved_;
};

template <typename Error, typename F>
std::string ErrorText(F&& f) {
    try {
        f();
    } catch (const Error& e) {
        return e.what();
    }
    return "(no error)";
}

// ---- text -----------------------------------------------------------------------------

TEST(TextUtil, TrimBlanksRemovesSpacesAndNulsButKeepsTabs) {
    EXPECT_EQ(TrimBlanks(" \0 ab c\0 "s), "ab c");
    EXPECT_EQ(TrimBlanks("\tab\t"), "\tab\t");
    EXPECT_EQ(TrimBlanks("  "), "");
}

TEST(TextUtil, PaddingFillsToTheWidthAndCutsLongerTextFromTheRight) {
    EXPECT_EQ(PadRight("12345", 11), "12345      ");
    EXPECT_EQ(PadRight("ABCDEFGHIJKLM", 11), "ABCDEFGHIJK");
    EXPECT_EQ(PadLeft("38000", 9), "    38000");
    EXPECT_EQ(PadLeft("  38000      ", 9), "    38000");
    EXPECT_EQ(PadLeft("1234567890", 9), "123456789");
    EXPECT_EQ(PadRight("abc", -1), "");
}

TEST(TextUtil, RepeatCharClampsTheCount) {
    EXPECT_EQ(RepeatChar('-', 3), "---");
    EXPECT_EQ(RepeatChar('-', -2), "");
    EXPECT_EQ(RepeatChar('-', 300).size(), 255u);
}

// ---- number text ----------------------------------------------------------------------

TEST(FormatNumber, WholeAndShortFractionsAreWrittenPlainlyInATwelveCharacterField) {
    EXPECT_EQ(FormatNumber(38000), "38000       ");
    EXPECT_EQ(FormatNumberTrimmed(38000), "38000");
    EXPECT_EQ(FormatNumberTrimmed(0.5), "0.5");
    EXPECT_EQ(FormatNumberTrimmed(1.25), "1.25");
    EXPECT_EQ(FormatNumberTrimmed(0), "0");
    EXPECT_EQ(FormatNumberTrimmed(-0.0), "0");
    EXPECT_EQ(FormatNumberTrimmed(-45000), "-45000");
    EXPECT_EQ(FormatNumberTrimmed(9999999999.0), "9999999999");
}

TEST(FormatNumber, ElevenCharactersAreCutToTwelveButTwelveKeepTheFullField) {
    // 11 characters: the first space stands at position 12.
    EXPECT_EQ(FormatNumber(0.123456789), "0.123456789 ");
    // 12 characters: the first space stands at position 13.
    EXPECT_EQ(FormatNumber(0.1234567891), "0.1234567891" + std::string(11, ' '));
    EXPECT_EQ(FormatNumber(1.0 / 3), "0.33333333333" + std::string(10, ' '));
}

TEST(FormatNumber, LargeAndTinyValuesUseTheScientificForm) {
    EXPECT_EQ(FormatNumberTrimmed(1e10), "1.E+10");
    EXPECT_EQ(FormatNumber(1e10), "1.E+10      ");
    EXPECT_EQ(FormatNumberTrimmed(-12345678901.0), "-1.2345678901E+10");
    // Eighteen mantissa decimals show the binary value of 1e-11.
    EXPECT_EQ(FormatNumber(1e-11), "9.999999999999999395E-12");  // wider than the field
    EXPECT_EQ(FormatNumberTrimmed(1e-11), "9.999999999999999395E-12");
    EXPECT_EQ(FormatNumberTrimmed(1e-10), "1.000000000000000036E-10");
    EXPECT_EQ(FormatNumberTrimmed(2.5e-10), "0.00000000025");
    EXPECT_EQ(FormatNumberTrimmed(1e-9), "0.000000001");
}

TEST(FormatNumber, TheLongVariantMovesTheThresholdsToFourteenDigits) {
    EXPECT_EQ(FormatNumberTrimmed(1e10, false), "10000000000");
    EXPECT_EQ(FormatNumberTrimmed(1e14, false), "1.E+14");
    EXPECT_EQ(FormatNumberTrimmed(1e-11, false), "0.00000000001");
    EXPECT_EQ(FormatNumberTrimmed(0.0009765625 * 0.0009765625 * 0.0009765625 * 0.0009765625 * 0.0009765625, false),
              "8.881784197001252323E-16");
    EXPECT_EQ(FormatNumberTrimmed(1.0 / 3, false), "0.333333333333333");
}

TEST(FormatNumber, ValuesWithinAMillionthOfAWholeNumberAreWrittenWhole) {
    EXPECT_EQ(FormatNumberTrimmed(2.0000001), "2");
    EXPECT_EQ(FormatNumberTrimmed(2.9999999), "3");
    EXPECT_EQ(FormatNumberTrimmed(-2.0000001), "-2");
    EXPECT_EQ(FormatNumberTrimmed(2.00001), "2.00001");
    // Only above 1: a fraction just below 1 keeps its digits.
    EXPECT_EQ(FormatNumberTrimmed(0.9999999), "0.9999999");
}

TEST(FormatNumber, TheMissingValueGivesEmptyText) {
    EXPECT_TRUE(IsMissingValue(MissingValue()));
    EXPECT_FALSE(IsMissingValue(std::numeric_limits<double>::quiet_NaN()));
    EXPECT_EQ(FormatNumber(MissingValue()), "");
    EXPECT_EQ(FormatNumberTrimmed(MissingValue(), false), "");
}

TEST(NumberText, FixedTextRoundsExactTiesToEven) {
    EXPECT_EQ(FormatFixed(0.125, 2), "0.12");
    EXPECT_EQ(FormatFixed(12.25, 1), "12.2");
    EXPECT_EQ(FormatFixed(0.1 + 0.2, 2), "0.30");
    EXPECT_EQ(FormatFixed(2.5, 0), "2");
}

TEST(NumberText, IntegersAndTheMissingSixteenBitValue) {
    EXPECT_EQ(IntToText(-2147483648LL), "-2147483648");
    EXPECT_EQ(Int16ToText(-32767), "-32767");
    EXPECT_EQ(Int16ToText(-32768), "");
}

// A comma-decimal user setting must not reach the exchange files.
struct CommaDecimal : std::numpunct<char> {
    char do_decimal_point() const override { return ','; }
    char do_thousands_sep() const override { return '.'; }
    std::string do_grouping() const override { return "\3"; }
};

TEST(NumberText, ACommaDecimalCppLocaleDoesNotChangeNumbers) {
    const std::locale saved = std::locale::global(std::locale(std::locale::classic(), new CommaDecimal));
    const std::string text = FormatNumberTrimmed(12.5);
    const std::string fixed = FormatFixed(12.5, 2);
    const double back = TextToReal("12.5");
    std::locale::global(saved);
    EXPECT_EQ(text, "12.5");
    EXPECT_EQ(fixed, "12.50");
    EXPECT_EQ(back, 12.5);
}

// Compiles a German locale into a private folder with glibc's localedef when the machine has
// none installed, so the comma-decimal test runs on a bare build machine too.
void CompileGermanLocale() {
    const std::string folder = ::testing::TempDir() + "ovista_locales";
    const std::string command = "mkdir -p '" + folder + "' && localedef -i de_DE -f UTF-8 '" +
                                folder + "/de_DE.UTF-8' >/dev/null 2>&1";
    if (std::system(command.c_str()) == 0) setenv("LOCPATH", folder.c_str(), 1);
}

TEST(NumberText, ACommaDecimalCLocaleDoesNotChangeNumbers) {
    const std::string saved = std::setlocale(LC_ALL, nullptr);
    const char* chosen = nullptr;
    for (int attempt = 0; attempt < 2 && chosen == nullptr; ++attempt) {
        if (attempt == 1) CompileGermanLocale();
        for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "de_DE", "fr_FR.UTF-8", "nl_NL.UTF-8"}) {
            if (std::setlocale(LC_ALL, name) != nullptr) {
                chosen = name;
                break;
            }
        }
    }
    if (chosen == nullptr || std::string(std::localeconv()->decimal_point) != ",") {
        std::setlocale(LC_ALL, saved.c_str());
        GTEST_SKIP() << "no comma-decimal locale installed";
    }
    const std::string text = FormatNumberTrimmed(12.5);
    const std::string fixed = FormatFixed(12.5, 2);
    const double back = TextToReal("12.5");
    const std::int32_t comma = TextToInt("12,5");
    std::setlocale(LC_ALL, saved.c_str());
    EXPECT_EQ(text, "12.5");
    EXPECT_EQ(fixed, "12.50");
    EXPECT_EQ(back, 12.5);
    EXPECT_EQ(comma, 0);
}

// ---- reading numbers ------------------------------------------------------------------

TEST(ParseFloat, AcceptsPlainDecimalNumbersOnly) {
    double x = 0;
    for (const char* good : {"1.", ".5", "+3", "-2e3", " 7 ", "1E+2", "0.5e-1"}) {
        EXPECT_TRUE(ParseFloat(good, x)) << good;
    }
    EXPECT_TRUE(ParseFloat("\0 12\0"s, x));
    EXPECT_EQ(x, 12);
    for (const char* bad : {"", ".", "1,5", "0x10", "inf", "nan", "\t5", "1e", "1.2.3", "1 000", "e5", "--1"}) {
        EXPECT_FALSE(ParseFloat(bad, x)) << bad;
    }
}

TEST(TextToInt, RoundsHalvesToEvenAndClamps) {
    EXPECT_EQ(TextToInt("3.6"), 4);
    EXPECT_EQ(TextToInt("2.5"), 2);
    EXPECT_EQ(TextToInt("3.5"), 4);
    EXPECT_EQ(TextToInt("-2.5"), -2);
    EXPECT_EQ(TextToInt("abc"), 0);
    EXPECT_EQ(TextToInt(" 42 "), 42);
    EXPECT_EQ(TextToInt("1e12"), 2147483647);
    EXPECT_EQ(TextToInt("1e999"), 2147483647);
    EXPECT_EQ(TextToInt("-2147483648"), -2147483647);
    EXPECT_EQ(TextToInt("2147483647.4"), 2147483647);
    EXPECT_EQ(TextToReal("abc"), 0);
    EXPECT_EQ(TextToReal(" -1.5e2"), -150);
}

TEST(Rounding, SixteenBitValuesRaiseTheRangeErrorWhenTheyDoNotFit) {
    EXPECT_EQ(RoundHalfEven(0.5), 0);
    EXPECT_EQ(RoundHalfEven(1.5), 2);
    EXPECT_EQ(RoundHalfEven(-1.5), -2);
    EXPECT_EQ(RoundHalfEven(-0.4), 0);
    EXPECT_EQ(RoundToInt16(32767.4), 32767);
    EXPECT_THROW(RoundToInt16(32767.5), RangeError);
    EXPECT_EQ(RoundToInt16(-32768.5), -32768);
    EXPECT_THROW(RoundToInt16(std::numeric_limits<double>::quiet_NaN()), RangeError);
    EXPECT_EQ(CheckedInt16(-32768), -32768);
    EXPECT_THROW(CheckedInt16(32768), RangeError);
    EXPECT_THROW(CheckedInt16(-32769), RangeError);
}

// ---- dates ----------------------------------------------------------------------------

TEST(Dates, DayZeroIsTheThirtiethOfDecember1899) {
    EXPECT_EQ(MakeDate(30, 12, 1899), 0);
    EXPECT_EQ(MakeDate(1, 1, 1900), 2);
    EXPECT_EQ(MakeDate(1, 3, 1900), 61);  // 1900 is no leap year
}

TEST(Dates, MakeDateTakesItsOwnTwoDigitYearRule) {
    EXPECT_EQ(MakeDate(1, 1, 60), MakeDate(1, 1, 2060));
    EXPECT_EQ(MakeDate(1, 1, 61), MakeDate(1, 1, 1961));
    EXPECT_EQ(MakeDate(1, 1, 0), MakeDate(1, 1, 2000));
    EXPECT_EQ(MakeDate(1, 1, -5), MakeDate(1, 1, 1995));  // every year below 100
    EXPECT_EQ(ErrorText<DateError>([] { MakeDate(29, 2, 2100); }), "'29/2/2100' is not a valid date");
    EXPECT_THROW(MakeDate(1, 13, 2006), DateError);
    EXPECT_THROW(MakeDate(1, 1, 10000), RangeError);
}

TEST(Dates, TheRangeRunsFromYearOneToYear9999) {
    EXPECT_EQ(kFirstDate, MakeDate(1, 1, 100) - 36159);  // 99 years, 24 of them leap
    EXPECT_EQ(kLastDate, MakeDate(31, 12, 9999));
    EXPECT_EQ(CheckedDate(kLastDate), kLastDate);
    EXPECT_THROW(CheckedDate(std::int64_t{kLastDate} + 1), RangeError);
    EXPECT_THROW(CheckedDate(std::int64_t{kFirstDate} - 1), RangeError);
    EXPECT_THROW(DecodeDate(kLastDate + 1), RangeError);
    EXPECT_THROW(FormatDateText(kFirstDate - 1), RangeError);
}

TEST(Dates, FormattedDayFirstWithATwoDigitYear) {
    EXPECT_EQ(FormatDateText(0), "  /  /  ");
    EXPECT_EQ(FormatDateText(MakeDate(5, 3, 2006)), "05/03/06");
    EXPECT_EQ(FormatDateText(MakeDate(31, 12, 1899)), "31/12/99");
    EXPECT_EQ(FormatDateSlash(MakeDate(1, 10, 2100)), "01/10/00");
    EXPECT_EQ(FormatDateSlash(0), "  /  /  ");
    EXPECT_EQ(YearOf(MakeDate(5, 3, 2006)), 2006);
    EXPECT_EQ(MonthOf(MakeDate(5, 3, 2006)), 3);
    EXPECT_EQ(DayOf(MakeDate(5, 3, 2006)), 5);
}

class DateText : public ::testing::Test {
protected:
    FixedToday today_{2026, 6, 15};
};

TEST_F(DateText, TwoDigitYearsFallWithinFiftyYearsOfToday) {
    EXPECT_EQ(ParseDateText("1/2/76"), MakeDate(1, 2, 2076));
    EXPECT_EQ(ParseDateText("1/2/77"), MakeDate(1, 2, 1977));
    EXPECT_EQ(ParseDateText("1/2/1850"), MakeDate(1, 2, 1850));
    EXPECT_EQ(ParseDateText("1/2/06"), MakeDate(1, 2, 2006));
    FixedToday late{2090, 1, 1};
    EXPECT_EQ(ParseDateText("1/1/30"), MakeDate(1, 1, 2130));
    EXPECT_EQ(ParseDateText("1/1/40"), MakeDate(1, 1, 2040));
}

TEST_F(DateText, BlanksAroundTheNumbersAndAnEmptyYearAreAccepted) {
    EXPECT_EQ(ParseDateText(" 1 / 2 / 2006 "), MakeDate(1, 2, 2006));
    EXPECT_EQ(ParseDateText(""), 0);
    EXPECT_EQ(ParseDateText("1/2/  "), 0);
    EXPECT_EQ(ParseDateText("1/2/6.4"), MakeDate(1, 2, 2006));
}

TEST_F(DateText, AnInvalidDateNamesTheTextGivenToTheDateReader) {
    EXPECT_EQ(ErrorText<DateError>([] { ParseDateText("31/02/06"); }), "'31/02/2006' is not a valid date");
    EXPECT_EQ(ErrorText<DateError>([] { ParseDateText("abc"); }), "'2000' is not a valid date");
    EXPECT_EQ(ErrorText<DateError>([] { ParseDateText("1/2/3/4"); }), "'1/2/3/2004' is not a valid date");
    EXPECT_EQ(ErrorText<DateError>([] { ParseDateText("1/2/10000"); }), "'1/2/10000' is not a valid date");
    EXPECT_EQ(ErrorText<DateError>([] { ParseDateText("1 2/3/06"); }), "'1 2/3/2006' is not a valid date");
    EXPECT_EQ(ErrorText<DateError>([] { ParseDateText("+1/2/06"); }), "'+1/2/2006' is not a valid date");
}

TEST_F(DateText, HerdDatesReadDashesAndDotsAsSlashes) {
    EXPECT_EQ(ParseHerdDate("--/--/----"), 0);
    EXPECT_EQ(ParseHerdDate("--.--.--"), 0);
    EXPECT_EQ(ParseHerdDate(""), 0);
    EXPECT_EQ(ParseHerdDate("03-04-05"), MakeDate(3, 4, 2005));
    EXPECT_EQ(ParseHerdDate("03.04.05"), MakeDate(3, 4, 2005));
    EXPECT_EQ(ErrorText<DateError>([] { ParseHerdDate("--/04/05"); }), "'///04/2005' is not a valid date");
}

// Herd dates of the usual forms take a short way; it must agree with the general reader on
// every form near them, the errors included.
TEST_F(DateText, HerdDatesOfTheUsualFormsReadAsTheGeneralReaderReadsThem) {
    const char* texts[] = {"3/4/05", "03/04/2005", "29/02/2024", "29/02/2023", "31/4/26", "1/1/0099",
                           "1/1/0100", "31/12/9999", "00/01/2020", "1/13/20", "12-05-05", "12.05.05",
                           "1/2/3", "1/2/123", "001/2/2020", "1/2/20200", " 1/2/2020", "1/2/2020 ",
                           "1/2/76", "1/2/77", "1/2/-5", "1//2020", "a/b/c", "12-05.2005", "0a/01/2020",
                           "01/0:/2020", "01/01/20 0", "01/01/ 2020", "+1/01/2020"};
    std::vector<std::string> all(std::begin(texts), std::end(texts));
    // Every day and month, and a neighbour beyond each, in years of every leap rule.
    for (int year : {99, 100, 1600, 1700, 1899, 1900, 2000, 2023, 2024, 2100, 9999}) {
        for (int month = 0; month <= 13; ++month) {
            for (int day = 0; day <= 32; ++day) {
                char text[16];
                std::snprintf(text, sizeof text, "%02d/%02d/%04d", day, month, year);
                all.emplace_back(text);
            }
        }
    }
    for (const std::string& text : all) {
        std::string slashed = text;
        std::replace_if(slashed.begin(), slashed.end(), [](char c) { return c == '-' || c == '.'; }, '/');
        std::string general, herd;
        Date generalDate = -1, herdDate = -2;
        try { generalDate = ParseDateText(slashed); } catch (const OvistaError& e) { general = e.what(); }
        try { herdDate = ParseHerdDate(text); } catch (const OvistaError& e) { herd = e.what(); }
        EXPECT_EQ(herd, general) << text;
        if (general.empty()) {
            EXPECT_EQ(herdDate, generalDate) << text;
        }
    }
}

TEST_F(DateText, TheOpenEndedDateIsTheLastDayOf2099) {
    EXPECT_EQ(GetDateSettings().openEnded, MakeDate(31, 12, 2099));
    EXPECT_EQ(Today(), MakeDate(15, 6, 2026));
    EXPECT_THROW(SetToday(2026, 2, 30), DateError);
}

// Civil date of every day number by counting forward from 1 January 0001 one day at a
// time: slow but independent of the era arithmetic under test.
TEST(Dates, DecodeAndMakeRoundTripOverTheWholeRange) {
    static constexpr int kMonthDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    int y = 1;
    int m = 1;
    int d = 1;
    int mismatches = 0;
    for (Date date = kFirstDate; date <= kLastDate; ++date) {
        const CalendarDate c = DecodeDate(date);
        if (c.year != y || c.month != m || c.day != d) {
            if (++mismatches < 5) ADD_FAILURE() << date << " decodes to " << c.day << "/" << c.month << "/" << c.year;
        }
        if (y >= 100 && date % 97 == 0 && MakeDate(d, m, y) != date) {
            if (++mismatches < 5) ADD_FAILURE() << d << "/" << m << "/" << y << " does not make " << date;
        }
        const bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
        const int inMonth = m == 2 && leap ? 29 : kMonthDays[m - 1];
        if (++d > inMonth) {
            d = 1;
            if (++m > 12) {
                m = 1;
                ++y;
            }
        }
    }
    EXPECT_EQ(mismatches, 0);
    EXPECT_EQ(y, 10000);
}

}  // namespace
}  // namespace ovista

namespace ovista {
namespace {

TEST(DateArithmetic, AYearOnFromTheTwentyNinthOfFebruaryIsTheTwentyEighth) {
    EXPECT_EQ(AddYears(MakeDate(29, 2, 2024), 1), MakeDate(28, 2, 2025));
    EXPECT_EQ(AddYears(MakeDate(29, 2, 2024), -1), MakeDate(28, 2, 2023));
    EXPECT_EQ(AddYears(MakeDate(29, 2, 2024), 4), MakeDate(29, 2, 2028));
    EXPECT_EQ(AddYears(MakeDate(15, 6, 2006), -1), MakeDate(15, 6, 2005));
}

TEST(DateArithmetic, ComputedDatesOutsideTheCalendarAreRangeErrors) {
    EXPECT_THROW(AddYears(MakeDate(1, 1, 9999), 1), RangeError);
    EXPECT_THROW(AddDays(kLastDate, 1), RangeError);
    EXPECT_THROW(AddDays(kFirstDate, -1), RangeError);
    EXPECT_EQ(AddDays(kLastDate, 0), kLastDate);
    EXPECT_EQ(FirstOfMonth(2006, 7), MakeDate(1, 7, 2006));
    EXPECT_THROW(FirstOfMonth(10000, 1), RangeError);
}

// Every length up to beyond the word-load cases, with one byte changed at every place.
TEST(SameBytes, FindsADifferenceAtEveryPlaceOfEveryLength) {
    for (std::size_t n = 0; n <= 40; ++n) {
        const std::string a(n, 'k');
        EXPECT_TRUE(SameBytes(a, std::string(n, 'k'))) << n;
        EXPECT_FALSE(SameBytes(a, std::string(n + 1, 'k'))) << n;
        for (std::size_t i = 0; i < n; ++i) {
            std::string b = a;
            b[i] = 'K';
            EXPECT_FALSE(SameBytes(a, b)) << n << " at " << i;
        }
    }
}

}  // namespace
}  // namespace ovista
