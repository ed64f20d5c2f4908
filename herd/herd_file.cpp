#include "herd/herd_file.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <new>

#include "herd/errors.h"
#include "herd/services.h"

namespace ovista {
namespace {

// Columns of a lactation row, 0-based (column 1 of the file is 0).
constexpr std::size_t kColCowId = 0;
constexpr std::size_t kColCalved = 1;
constexpr std::size_t kColInduced = 2;
constexpr std::size_t kColDryoff = 3;
constexpr std::size_t kColNextCalve = 4;
constexpr std::size_t kColNextInduce = 5;
constexpr std::size_t kColCulled = 7;
constexpr std::size_t kColAge = 8;
constexpr std::size_t kColDays = 9;
constexpr std::size_t kColLitres = 10;
constexpr std::size_t kColFirstService = 11;    // date, AI, sire, technician; 14 times
constexpr std::size_t kColFirstPregTest = 67;   // date, weeks; 6 times
constexpr std::size_t kReportedColumns = 7;     // columns shown with a bad row

std::string UpperAscii(std::string_view text) {
    std::string upper(text);
    for (char& c : upper) {
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        }
    }
    return upper;
}

// Upper case, without leading and trailing blanks and control characters: how the
// induction and AI columns are compared with their code words.
std::string UpperTrimmed(std::string_view text) {
    auto blank = [](char c) { return static_cast<unsigned char>(c) <= ' '; };
    while (!text.empty() && blank(text.front())) text.remove_prefix(1);
    while (!text.empty() && blank(text.back())) text.remove_suffix(1);
    return UpperAscii(text);
}

bool StartsWith(std::string_view text, std::string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

// An integer column: optional sign and decimal digits only, into 16 bits.
std::int16_t ParseInt16(const std::string& text) {
    std::size_t at = 0;
    bool negative = false;
    if (at < text.size() && (text[at] == '+' || text[at] == '-')) {
        negative = text[at] == '-';
        ++at;
    }
    if (at == text.size()) {
        throw IntegerError(text);
    }
    std::int64_t value = 0;
    for (; at < text.size(); ++at) {
        char c = text[at];
        if (c < '0' || c > '9') {
            throw IntegerError(text);
        }
        // Saturated: any whole number beyond 16 bits is a range error, however long.
        value = std::min<std::int64_t>(value * 10 + (c - '0'), std::int64_t{1} << 32);
    }
    return CheckedInt16(negative ? -value : value);
}

// Set for any text but empty, "FALSE" and "0" (so "N" is flagged with code 0).
bool InducedFlag(std::string_view upperText) {
    return !upperText.empty() && upperText != "FALSE" && upperText != "0";
}

void ParseLactationRow(const CsvFields& f, HerdList& list) {
    CowRecord work{};
    const Date calved = ParseHerdDate(f[kColCalved]);
    if (f[kColCalved].empty() || f[kColCowId].empty()) {
        return;
    }
    const std::string key = MakeHerdKey(f[kColCowId], calved);
    int index = 0;
    list.FindOrAddRecord(key, work, index);
    work.Key = key.substr(0, kKeyMaxLength);

    work.Calved = calved;
    const std::string induced = UpperTrimmed(f[kColInduced]);
    DecodeInductionCode(induced, work.InducedCode);
    if (InducedFlag(induced)) {
        work.Induced = true;
    }

    work.NextCalve = ParseHerdDate(f[kColNextCalve]);
    const std::string nextInduced = UpperTrimmed(f[kColNextInduce]);
    DecodeInductionCode(nextInduced, work.NextInducedCode);
    if (InducedFlag(nextInduced) && !f[kColNextCalve].empty()) {
        work.NextInduced = true;
    }

    work.Culled = ParseHerdDate(f[kColCulled]);
    work.Dryoff = ParseHerdDate(f[kColDryoff]);

    if (!f[kColAge].empty()) work.Age = ParseInt16(f[kColAge]);
    if (!f[kColDays].empty()) work.Days = ParseInt16(f[kColDays]);
    if (!f[kColLitres].empty()) work.Litres = CheckedInt16(TextToInt(f[kColLitres]));

    // Services fill slots from 1 in column order; an entry without a date leaves no gap.
    std::size_t slot = 0;
    for (std::size_t k = 0; k < kServiceSlots; ++k) {
        const std::size_t col = kColFirstService + 4 * k;
        if (f[col].empty() || StartsWith(f[col], "--/--")) {
            continue;
        }
        ServiceRecord& service = work.Services[slot++];
        service.Date = ParseHerdDate(f[col]);
        service.AI = UpperTrimmed(f[col + 1]) == "TRUE";
        service.Sire = f[col + 2].substr(0, kSireMaxLength);
        service.Tech = f[col + 3].substr(0, kTechMaxLength);
    }

    // A dated test without weeks uses its slot up but writes nothing into it.
    slot = 0;
    for (std::size_t k = 0; k < kPregTestSlots; ++k) {
        const std::size_t col = kColFirstPregTest + 2 * k;
        if (f[col].empty() || StartsWith(f[col], "--/--")) {
            continue;
        }
        PregTestRecord& test = work.PregTests[slot++];
        if (f[col + 1].empty()) {
            continue;
        }
        test.Date = ParseHerdDate(f[col]);
        test.Weeks = ParseInt16(f[col + 1]);
    }

    list.PutRecord(index, work);

    // The following calving starts the cow's next lactation.
    const std::string& nextCalveText = f[kColNextCalve];
    if (work.NextCalve != 0 && !nextCalveText.empty() && !StartsWith(nextCalveText, "--")) {
        const std::string nextKey = MakeHerdKey(f[kColCowId], work.NextCalve);
        CowRecord next;
        int nextIndex = 0;
        list.FindOrAddRecord(nextKey, next, nextIndex);
        next.Key = nextKey.substr(0, kKeyMaxLength);
        next.Calved = work.NextCalve;
        DecodeInductionCode(nextInduced, next.InducedCode);
        if (InducedFlag(nextInduced)) {
            next.Induced = true;
        }
        next.Culled = work.Culled;
        if (!f[kColAge].empty()) {
            const std::int16_t age = ParseInt16(f[kColAge]);
            if (age > 0) {
                next.Age = CheckedInt16(std::int64_t{age} + 1);
            }
        }
        list.PutRecord(nextIndex, next);
    }
}

std::string BadRowMessage(const std::string& error, std::int64_t lineNumber, const CsvFields& f) {
    std::string message = "Error " + error + " at line " + IntToText(lineNumber);
    for (std::size_t col = 0; col < kReportedColumns; ++col) {
        message += "\r\n";
        message += f[col];
    }
    return message;
}

}  // namespace

std::string MakeHerdKey(std::string_view cowId, Date calved) {
    return PadRight(cowId, 11) + PadLeft(FormatNumber(calved), 9);
}

void DecodeInductionCode(std::string_view text, std::int16_t& code) {
    if (text == "TRUE") {
        code = 1;
        return;
    }
    if (text.empty()) {
        return;
    }
    switch (text.front()) {
        case 'I': code = 1; break;
        case 'A': code = 2; break;
        case 'L': code = 3; break;
        case 'N': code = 0; break;
        default:
            if (text.front() >= '0' && text.front() <= '9') {
                code = ParseInt16(std::string(text));
            }
            break;
    }
}

bool LoadHerdFile(const std::string& fileName, const std::string& herdLabel,
                  std::unique_ptr<HerdList>& list, HerdHeaderFields& header) {
    list = std::make_unique<HerdList>();
    std::error_code ignored;
    if (std::filesystem::is_directory(fileName, ignored)) {
        return false;
    }
    std::ifstream in(fileName, std::ios::binary);
    if (!in.is_open()) {
        return false;
    }
    if (!SkipByteOrderMark(in)) {
        // Read byte by byte, UTF-16 would give a herd of garbage rows.
        ShowInfo(kUtf16TextMessage);
        return false;
    }

    for (std::string& field : header) {
        field.clear();
    }
    std::string label = herdLabel;
    std::unique_ptr<StatusWindow> status;
    std::int64_t lineNumber = 0;
    std::string line;
    CsvFields fields;

    while (ReadTextLine(in, line)) {
        ++lineNumber;
        SplitCsvLine(line, fields);
        PumpMessages();

        const std::string kind = UpperAscii(fields[0]);
        if (kind == "FARMER ID") {
            header = fields;
            label = fields[1];
            continue;
        }
        if (kind == "COWID" || kind.empty()) {
            continue;
        }
        if (!status) {
            status = ShowStatus("Extracting Tamsel data for " + label);
        }
        try {
            ParseLactationRow(fields, *list);
        } catch (const std::bad_alloc&) {
            throw;
        } catch (const std::exception& error) {
            ShowInfo(BadRowMessage(error.what(), lineNumber, fields));
        }
    }
    return true;
}

}  // namespace ovista
