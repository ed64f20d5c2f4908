// The number and date readers over any text: ParseFloat, TextToInt, TextToReal,
// ParseDateText and ParseHerdDate, with the formatters they feed. Every column of a herd
// file and every date of a batch line or summary row goes through them.
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>

#include "fuzz/fuzz_support.h"
#include "herd/errors.h"
#include "herd/textutil.h"

namespace {

using namespace ovista;

bool EndsWith(std::string_view text, std::string_view tail) {
    return text.size() >= tail.size() && text.substr(text.size() - tail.size()) == tail;
}

void CheckNumbers(std::string_view text) {
    double x = 0;
    const bool number = ParseFloat(text, x);
    const std::int32_t whole = TextToInt(text);
    const double real = TextToReal(text);
    if (!number) {
        FUZZ_CHECK(whole == 0 && real == 0.0, std::string(text));
        return;
    }
    const std::string trimmed = TrimBlanks(text);
    FUZZ_CHECK(trimmed.find_first_not_of("+-0123456789.eE") == std::string::npos, trimmed);
    FUZZ_CHECK(!std::isnan(x), trimmed);
    FUZZ_CHECK(real == x, trimmed);
    const double expected = x < -2147483647.0 ? -2147483647.0 : x > 2147483647.0 ? 2147483647.0 : RoundHalfEven(x);
    FUZZ_CHECK(whole == expected, trimmed + " -> " + std::to_string(whole));
    FUZZ_CHECK(std::fabs(whole - x) <= 0.5 || std::fabs(x) > 2147483647.0, trimmed);

    // The formatters that write such values back into trace and summary files.
    const std::string shortText = FormatNumberTrimmed(x, true);
    const std::string longText = FormatNumberTrimmed(x, false);
    FUZZ_CHECK(!shortText.empty() && shortText.size() <= 40, shortText);
    FUZZ_CHECK(!longText.empty() && longText.size() <= 40, longText);
    if (std::isfinite(x)) {
        double back = 0;
        FUZZ_CHECK(ParseFloat(shortText, back), shortText);
    }
    try {
        (void)RoundToInt16(x);
    } catch (const RangeError&) {
        FUZZ_CHECK(!(RoundHalfEven(x) >= -32768 && RoundHalfEven(x) <= 32767), trimmed);
    }
}

// A date that was read lies in the calendar, formats, and reads back from its four-digit
// year text (two-digit years depend on the window, so only those from 100 on).
void CheckDate(Date date, std::string_view text) {
    if (date == 0) {
        FUZZ_CHECK(FormatDateText(date) == "  /  /  ", "");
        return;
    }
    FUZZ_CHECK(date >= kFirstDate && date <= kLastDate, std::string(text));
    const CalendarDate c = DecodeDate(date);
    FUZZ_CHECK(IsValidDate(c.day, c.month, c.year), std::string(text));
    FUZZ_CHECK(FormatDateText(date).size() == 8, std::string(text));
    if (c.year >= 100) {
        const std::string full = std::to_string(c.day) + "/" + std::to_string(c.month) + "/" + std::to_string(c.year);
        FUZZ_CHECK(ParseDateText(full) == date, full);
        FUZZ_CHECK(MakeDate(c.day, c.month, c.year) == date, full);
    }
    // A written date read back lands within 50 years of today.
    const Date windowed = ParseDateText(FormatDateText(date));
    FUZZ_CHECK(std::abs(YearOf(windowed) - GetDateSettings().todayYear) <= 50, FormatDateText(date));
    FUZZ_CHECK(DayOf(windowed) == c.day && MonthOf(windowed) == c.month, FormatDateText(date));
}

template <class Parse>
void CheckDateReader(Parse parse, std::string_view text) {
    Date date = 0;
    try {
        date = parse(text);
    } catch (const DateError& error) {
        const std::string_view message = error.what();
        FUZZ_CHECK(message.front() == '\'' && EndsWith(message, "' is not a valid date"), std::string(message));
        return;
    } catch (const RangeError&) {
        return;
    }
    CheckDate(date, text);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    ovista::fuzz::FixToday();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // Text reaches these readers only as a field of a split line, and every splitter stops
    // at a NUL character; the raw bytes below take the whole input.
    std::string_view text = fuzz::AsText(data, size);
    text = text.substr(0, text.find('\0'));
    try {
        CheckNumbers(text);
        CheckDateReader([](std::string_view t) { return ParseDateText(t); }, text);
        CheckDateReader([](std::string_view t) { return ParseHerdDate(t); }, text);

        // Raw values as they may come out of a damaged stored record: any double through
        // the number formatter, any day number through the date formatter.
        if (size >= 8) {
            double x = 0;
            std::memcpy(&x, data, 8);
            (void)FormatNumber(x, true);
            (void)FormatNumber(x, false);
            Date day = 0;
            std::memcpy(&day, data, 4);
            try {
                (void)FormatDateText(day);
            } catch (const RangeError&) {
                FUZZ_CHECK(day < kFirstDate || day > kLastDate, std::to_string(day));
            }
        }
    } catch (const OvistaError& error) {
        fuzz::Fail(__FILE__, __LINE__, "no error beyond the ones checked", error.what());
    }
    return 0;
}
