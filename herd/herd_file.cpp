#include "herd/herd_file.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <charconv>
#include <cstring>
#include <exception>
#include <new>
#include <optional>
#include <streambuf>
#include <system_error>
#include <thread>
#include <vector>

#include "herd/errors.h"
#include "herd/input_file.h"
#include "herd/services.h"
#include "herd/stop_request.h"

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

bool EqualsUpperAscii(std::string_view text, std::string_view upper) {
    if (text.size() != upper.size()) return false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
        if (c != upper[i]) return false;
    }
    return true;
}

// Without leading and trailing blanks and control characters.
std::string_view TrimmedBlanks(std::string_view text) {
    auto blank = [](char c) { return static_cast<unsigned char>(c) <= ' '; };
    while (!text.empty() && blank(text.front())) text.remove_prefix(1);
    while (!text.empty() && blank(text.back())) text.remove_suffix(1);
    return text;
}

// Upper case, without leading and trailing blanks and control characters: how the
// induction and AI columns are compared with their code words.
std::string UpperTrimmed(std::string_view text) {
    std::string upper(TrimmedBlanks(text));
    for (char& c : upper) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    return upper;
}

bool StartsWith(std::string_view text, std::string_view prefix) {
    return SameBytes(text.substr(0, prefix.size()), prefix);
}

// An integer column: optional sign and decimal digits only, into 16 bits.
std::int16_t ParseInt16(std::string_view text) {
    std::size_t at = 0;
    bool negative = false;
    if (at < text.size() && (text[at] == '+' || text[at] == '-')) {
        negative = text[at] == '-';
        ++at;
    }
    if (at == text.size()) {
        throw IntegerError(std::string(text));
    }
    std::int64_t value = 0;
    for (; at < text.size(); ++at) {
        char c = text[at];
        if (c < '0' || c > '9') {
            throw IntegerError(std::string(text));
        }
        // Saturated: any whole number beyond 16 bits is a range error, however long.
        value = std::min<std::int64_t>(value * 10 + (c - '0'), std::int64_t{1} << 32);
    }
    return CheckedInt16(negative ? -value : value);
}

// TextToInt, with yields of decimal digits and at most one decimal point read directly:
// "5738" and "5738.5" (rounded to the nearest, halves to even, as TextToInt rounds).
std::int32_t WholeNumber(std::string_view text) {
    std::int32_t value = 0;
    std::size_t at = 0;
    for (; at < text.size() && at < 9 && text[at] >= '0' && text[at] <= '9'; ++at) {
        value = value * 10 + (text[at] - '0');
    }
    if (at == 0 || (at < text.size() && text[at] != '.')) return TextToInt(text);
    if (at == text.size()) return value;
    // The decimals decide the rounding: above, below or exactly one half. With at most six
    // of them after at most nine digits, the text's own value does, as it would in binary.
    const std::string_view decimals = text.substr(at + 1);
    if (decimals.empty() || decimals.size() > 6) return TextToInt(text);
    for (char c : decimals) {
        if (c < '0' || c > '9') return TextToInt(text);
    }
    const bool rest = decimals.find_first_not_of('0', 1) != std::string_view::npos;
    if (decimals[0] > '5' || (decimals[0] == '5' && (rest || value % 2 == 1))) ++value;
    return value;
}

// Set for any text but empty, "FALSE" and "0" (so "N" is flagged with code 0).
bool InducedFlag(std::string_view upperText) {
    return !upperText.empty() && upperText != "FALSE" && upperText != "0";
}

// "00" to "99" one after the other.
constexpr char kDigitPairs[] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
    "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";

// MakeHerdKey into a reused string. A day number is a whole number of at most 7 digits, so
// its number text is its decimal digits.
void MakeHerdKeyInto(std::string& key, std::string_view cowId, Date calved) {
    if (calved >= 0 && calved < 1'000'000'000) {  // every day of a herd file: written in place
        key.resize(20);
        char* const out = key.data();
        const std::size_t idLength = std::min<std::size_t>(cowId.size(), 11);
        std::memcpy(out, cowId.data(), idLength);
        std::memset(out + idLength, ' ', 20 - idLength);
        auto value = static_cast<std::uint32_t>(calved);
        char* at = out + 20;
        for (; value >= 100; value /= 100) {  // two digits at a time
            at -= 2;
            std::memcpy(at, kDigitPairs + 2 * (value % 100), 2);
        }
        if (value >= 10) {
            at -= 2;
            std::memcpy(at, kDigitPairs + 2 * value, 2);
        } else {
            *--at = static_cast<char>('0' + value);
        }
        return;
    }
    key.assign(cowId.substr(0, 11));
    key.resize(11, ' ');
    char digits[16];
    const int length =
        static_cast<int>(std::to_chars(digits, digits + sizeof digits, calved).ptr - digits);
    if (length > 9) {
        key.resize(11);
        key += PadLeft(FormatNumber(calved), 9);
        return;
    }
    key.append(static_cast<std::size_t>(9 - length), ' ');
    key.append(digits, static_cast<std::size_t>(length));
}

// One row's heat/service entry and pregnancy test, read before anything is stored. Set
// field by field for the entries a row has (no clearing of all fourteen per row).
struct ServiceEntry {
    Date date;
    bool ai;
    std::size_t column;  // of its date; the sire and technician follow the AI column
};
struct PregTestEntry {
    bool filled = false;  // false: a dated test without weeks, its slot used up but not written
    Date date = 0;
    std::int16_t weeks = 0;
};

// Reads a lactation row into its record, and the next calving into the cow's next record.
// Every value is read before a record changes, so a row that fails leaves what was stored
// (and a key that it added with zero fields).
void ParseLactationRow(const CsvFieldViews& f, HerdList& list, std::string& key) {
    const Date calved = ParseHerdDate(f[kColCalved]);
    if (f[kColCalved].empty() || f[kColCowId].empty()) {
        return;
    }
    MakeHerdKeyInto(key, f[kColCowId], calved);
    // A record just added has no slot in use; one met before keeps what it knew.
    CowRecord& work = list.FindOrAdd(key);

    std::int16_t inducedCode = work.InducedCode;
    const std::string induced = UpperTrimmed(f[kColInduced]);
    DecodeInductionCode(induced, inducedCode);

    const Date nextCalve = ParseHerdDate(f[kColNextCalve]);
    std::int16_t nextInducedCode = work.NextInducedCode;
    const std::string nextInduced = UpperTrimmed(f[kColNextInduce]);
    DecodeInductionCode(nextInduced, nextInducedCode);

    const Date culled = ParseHerdDate(f[kColCulled]);
    const Date dryoff = ParseHerdDate(f[kColDryoff]);

    const bool hasAge = !f[kColAge].empty();
    const std::int16_t age = hasAge ? ParseInt16(f[kColAge]) : work.Age;
    const std::int16_t days = !f[kColDays].empty() ? ParseInt16(f[kColDays]) : work.Days;
    const std::int16_t litres =
        !f[kColLitres].empty() ? CheckedInt16(WholeNumber(f[kColLitres])) : work.Litres;

    // Services fill slots from 1 in column order; an entry without a date leaves no gap.
    std::array<ServiceEntry, kServiceSlots> services;
    std::size_t serviceCount = 0;
    for (std::size_t k = 0; k < kServiceSlots; ++k) {
        const std::size_t col = kColFirstService + 4 * k;
        if (f[col].empty() || StartsWith(f[col], "--/--")) {
            continue;
        }
        ServiceEntry& service = services[serviceCount++];
        service.date = ParseHerdDate(f[col]);
        service.ai = EqualsUpperAscii(TrimmedBlanks(f[col + 1]), "TRUE");
        service.column = col;
    }

    std::array<PregTestEntry, kPregTestSlots> tests;
    std::size_t testCount = 0;
    std::size_t testsWritten = 0;  // up to the last filled slot
    for (std::size_t k = 0; k < kPregTestSlots; ++k) {
        const std::size_t col = kColFirstPregTest + 2 * k;
        if (f[col].empty() || StartsWith(f[col], "--/--")) {
            continue;
        }
        PregTestEntry& test = tests[testCount++];
        if (f[col + 1].empty()) {
            continue;
        }
        testsWritten = testCount;
        test.filled = true;
        test.date = ParseHerdDate(f[col]);
        test.weeks = ParseInt16(f[col + 1]);
    }

    // Technicians numbered before anything is stored: a herd of too many fails its row.
    std::array<std::uint32_t, kServiceSlots> techs;
    for (std::size_t slot = 0; slot < serviceCount; ++slot) {
        techs[slot] = list.TechnicianNumber(f[services[slot].column + 3]);
    }

    work.Key.assign(key, 0, kKeyMaxLength);
    work.Calved = calved;
    work.InducedCode = inducedCode;
    if (InducedFlag(induced)) work.Induced = true;
    work.NextCalve = nextCalve;
    work.NextInducedCode = nextInducedCode;
    if (InducedFlag(nextInduced) && !f[kColNextCalve].empty()) work.NextInduced = true;
    work.Culled = culled;
    work.Dryoff = dryoff;
    work.Age = age;
    work.Days = days;
    work.Litres = litres;
    // The slots in use: those of this row, and those of an earlier row of the key beyond them.
    list.SetSlotsInUse(work, std::max(ServiceSlotsInUse(work), static_cast<int>(serviceCount)),
                       std::max(TestSlotsInUse(work), static_cast<int>(testsWritten)));
    const std::span<ServiceRecord> serviceSlots = ServicesInUse(work);
    for (std::size_t slot = 0; slot < serviceCount; ++slot) {
        ServiceRecord& service = serviceSlots[slot];
        service.Date = services[slot].date;
        service.AI = services[slot].ai;
        service.HasSire = !f[services[slot].column + 2].empty();
        service.Tech = techs[slot];
    }
    const std::span<PregTestRecord> testSlots = TestsInUse(work);
    for (std::size_t slot = 0; slot < testsWritten; ++slot) {
        if (!tests[slot].filled) continue;
        testSlots[slot].Date = tests[slot].date;
        testSlots[slot].Weeks = tests[slot].weeks;
    }

    // The following calving starts the cow's next lactation.
    const std::string_view nextCalveText = f[kColNextCalve];
    if (nextCalve != 0 && !nextCalveText.empty() && !StartsWith(nextCalveText, "--")) {
        MakeHerdKeyInto(key, f[kColCowId], nextCalve);
        CowRecord& next = list.FindOrAdd(key);  // added with no slot in use
        std::int16_t nextAge = next.Age;
        if (hasAge && age > 0) nextAge = CheckedInt16(std::int64_t{age} + 1);
        next.Key.assign(key, 0, kKeyMaxLength);
        next.Calved = nextCalve;
        DecodeInductionCode(nextInduced, next.InducedCode);
        if (InducedFlag(nextInduced)) next.Induced = true;
        next.Culled = culled;
        next.Age = nextAge;
    }
}

std::string BadRowMessage(const std::string& error, std::int64_t lineNumber, std::string_view fields) {
    return "Error " + error + " at line " + IntToText(lineNumber) + std::string(fields);
}

// Text, as far as its first 4 KB tell: no NUL byte, and at most one byte in ten a control
// byte other than tab, line ends, form feed and the end-of-file mark of old DOS programs.
bool LooksLikeText(std::string_view bytes) {
    bytes = bytes.substr(0, 4096);
    std::size_t control = 0;
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte == 0) return false;
        if ((byte < 0x20 && byte != '\t' && byte != '\n' && byte != '\r' && byte != '\f' &&
             byte != 0x1A) ||
            byte == 0x7F) {
            ++control;
        }
    }
    return control * 10 <= bytes.size();
}

std::string FurtherBadRowsMessage(std::int64_t rows) {
    return IntToText(rows) + (rows == 1 ? " further row could not be read and was skipped"
                                        : " further rows could not be read and were skipped");
}

// What a row of a herd file is: the farm's identification, a lactation, or neither (a heading
// or a blank row).
enum class RowKind { Identification, Lactation, Other };

RowKind KindOf(const CsvFieldViews& fields) {
    if (EqualsUpperAscii(fields[0], "FARMER ID")) return RowKind::Identification;
    if (EqualsUpperAscii(fields[0], "COWID") || fields[0].empty()) return RowKind::Other;
    return RowKind::Lactation;
}

// Reads a lactation row into the list: the error text of a row that cannot be read, else
// nothing. Running out of memory is not a bad row.
std::optional<std::string> ReadLactationRow(const CsvFieldViews& fields, HerdList& list, std::string& key) {
    try {
        ParseLactationRow(fields, list, key);
        return std::nullopt;
    } catch (const std::bad_alloc&) {
        throw;
    } catch (const std::exception& error) {
        return error.what();
    }
}

// The columns shown with a bad row, each on a line of its own.
std::string ReportedFields(const CsvFieldViews& f) {
    std::string text;
    for (std::size_t col = 0; col < kReportedColumns; ++col) {
        text += "\r\n";
        text += f[col];
    }
    return text;
}

std::atomic<int> gReaders{std::thread::hardware_concurrency() >= 2 ? 2 : 1};
std::atomic<std::uint64_t> gTwoReaderBytes{kTwoReaderBytes};

// The second reader's slices: smaller than the first's, as its memory comes on top.
constexpr std::size_t kSecondSlice = 16 * 1024;

// A file's bytes from an offset to its end, read apart from its stream (RegularFileInput::ReadAt).
class RestOfFile : public std::streambuf {
public:
    RestOfFile(const RegularFileInput& file, std::uint64_t from) : file_(file), at_(from) {}
    bool Failed() const { return failed_; }

protected:
    std::streamsize xsgetn(char* to, std::streamsize count) override {
        std::streamsize done = 0;
        while (done < count && !failed_) {
            const std::int64_t got = file_.ReadAt(at_, to + done, static_cast<std::size_t>(count - done));
            if (got <= 0) {
                failed_ = got < 0;
                break;
            }
            at_ += static_cast<std::uint64_t>(got);
            done += got;
        }
        return done;
    }

private:
    const RegularFileInput& file_;
    std::uint64_t at_;
    bool failed_ = false;
};

// The rows of a large file's second half, read on another core into a list of their own
// while the first half is read: what they leave, for the first reader to take over.
struct SecondHalf {
    struct BadRow {
        std::string error;
        std::int64_t line;  // from the half's start
        std::string fields;
    };
    std::unique_ptr<HerdList> list;  // made by the first reader, in its locale
    std::int64_t lines = 0;
    std::int64_t badRows = 0;
    std::vector<BadRow> reported;  // the first kReportedBadRows
    bool lactations = false;
    // Read again by the first reader: an identification row (it names the herd in the
    // status text), keys that are not plain, a read that failed, or a stop.
    bool readAgain = false;
    std::exception_ptr error;  // out of memory, or a stop while a slice was read
};

// Where a second reader may start: the first line in 16 KB past the middle whose cow
// differs from the line's before, so that one cow's rows stay in one half; 0 for none.
std::uint64_t SecondHalfStart(const RegularFileInput& file) {
    std::array<char, 16 * 1024> bytes;
    const std::int64_t got = file.ReadAt(file.Size() / 2, bytes.data(), bytes.size());
    if (got <= 0) return 0;
    const std::string_view window(bytes.data(), static_cast<std::size_t>(got));
    const auto cow = [](std::string_view line) { return line.substr(0, line.find(',')); };
    std::size_t start = window.find('\n');
    if (start == std::string_view::npos) return 0;
    ++start;
    std::string_view before;
    for (bool first = true;; first = false) {
        const std::size_t end = window.find('\n', start);
        if (end == std::string_view::npos) return 0;
        const std::string_view line = window.substr(start, end - start);
        if (!first && cow(line) != before) return file.Size() / 2 + start;
        before = cow(line);
        start = end + 1;
    }
}

void ReadSecondHalf(const RegularFileInput& file, std::uint64_t from, SecondHalf& half,
                    const std::stop_token& stop) {
    try {
        RestOfFile bytes(file, from);
        SlicedLines lines(bytes, kSecondSlice);
        // The list's room, as its first slice's rows tell (as the first reader estimates).
        const std::string_view start = lines.Ahead(kSecondSlice);
        const auto rows = static_cast<double>(std::count(start.begin(), start.end(), '\n') + 1);
        half.list->Reserve(static_cast<std::size_t>(std::min(
            rows * static_cast<double>(file.Size() - from) / static_cast<double>(std::max<std::size_t>(start.size(), 1)), 1e6)));
        CsvSplitter splitter;
        std::string key;
        std::string_view line;
        while (lines.Next(line)) {
            if (stop.stop_requested() || StopRequest() != 0) {
                half.readAgain = true;
                return;
            }
            ++half.lines;
            const CsvFieldViews& fields = splitter.Split(line);
            const RowKind kind = KindOf(fields);
            if (kind == RowKind::Identification) {
                half.readAgain = true;
                return;
            }
            if (kind == RowKind::Other) continue;
            half.lactations = true;
            if (std::optional<std::string> error = ReadLactationRow(fields, *half.list, key);
                error && ++half.badRows <= kReportedBadRows) {
                half.reported.push_back({std::move(*error), half.lines, ReportedFields(fields)});
            }
            if (!half.list->FindsByPlaceCodes()) {
                half.readAgain = true;
                return;
            }
        }
        half.readAgain = bytes.Failed();
        half.list->Records();  // ordered on this core, for the first reader to merge
    } catch (...) {
        half.error = std::current_exception();
    }
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
                code = ParseInt16(text);
            }
            break;
    }
}

void SetHerdFileReaders(int readers, std::uint64_t minBytes) {
    gReaders = readers;
    if (minBytes != 0) gTwoReaderBytes = minBytes;
}

int HerdFileReaders() { return gReaders; }

bool LoadHerdFile(const std::string& fileName, const std::string& herdLabel,
                  std::unique_ptr<HerdList>& list, HerdHeaderFields& header,
                  UserServices& services) {
    list = std::make_unique<HerdList>();
    RegularFileInput file(fileName, kHerdFileInput);
    if (!file.IsOpen()) {
        return false;
    }
    // A large file's second half is read on another core, from the start of a cow's rows.
    std::uint64_t half = 0;
    if (gReaders >= 2 && file.Size() >= gTwoReaderBytes) {
        half = SecondHalfStart(file);
        if (half < 2 * SlicedLines::kSlice) half = 0;  // the first slice is read as it was
    }
    SecondHalf second;
    std::jthread secondReader;  // stopped and waited for however this function ends
    if (half != 0) {
        try {
            second.list = std::make_unique<HerdList>();
            secondReader = std::jthread(
                [&file, half, &second](const std::stop_token& stop) { ReadSecondHalf(file, half, second, stop); });
            file.StopAt(half);
        } catch (const std::system_error&) {
            half = 0;  // no thread to be had: one reader
        }
    }
    std::istream& in = file.Stream();
    if (!SkipByteOrderMark(in)) {
        // Read byte by byte, UTF-16 would give a herd of garbage rows.
        services.ShowInfo(kUtf16TextMessage);
        return false;
    }

    // Read a slice at a time: a herd's list is what has to fit in memory, not its file too.
    std::optional<SlicedLines> lines(std::in_place, *in.rdbuf());
    const std::string_view start = lines->Ahead(SlicedLines::kSlice);
    if (file.ReadFailed()) {
        return false;
    }
    if (!LooksLikeText(start)) throw NotHerdFileError(fileName + " is not a herd CSV file");
    for (std::string& field : header) {
        field.clear();
    }
    std::string label = herdLabel;
    std::unique_ptr<StatusWindow> status;
    std::int64_t lineNumber = 0;
    std::int64_t badRows = 0;
    // About a lactation per row that is not blank, as the rows of the first slice tell: the
    // list's room. The estimate is capped (a herd of 10,000 cows and ten years has about
    // 100,000 rows); tables outgrown double.
    std::size_t rows = 0;
    for (const char* at = start.data();
         (at = static_cast<const char*>(std::memchr(at, '\n', start.data() + start.size() - at))) != nullptr; ++at) {
        if (at != start.data() && at[-1] != '\n') ++rows;
    }
    if (start.size() >= SlicedLines::kSlice && file.Size() > start.size()) {
        rows = static_cast<std::size_t>(std::min(
            static_cast<double>(rows + 1) * static_cast<double>(file.Size()) / static_cast<double>(start.size()),
            1e6));
    }
    ThrowIfStopRequested();  // before the list takes its room
    // Room for this reader's own rows: a block of items is given pages of 2 MB only where its
    // list will fill half of it.
    list->Reserve(half == 0 ? rows
                            : static_cast<std::size_t>(static_cast<double>(rows) * static_cast<double>(half) /
                                                       static_cast<double>(file.Size())),
                  rows);
    std::string_view line;
    CsvSplitter splitter;
    std::string key;

    const auto readLines = [&] {
        while (lines->Next(line)) {
            ThrowIfStopRequested();  // a big herd takes seconds
            ++lineNumber;
            const CsvFieldViews& fields = splitter.Split(line);
            services.PumpMessages();

            const RowKind kind = KindOf(fields);
            if (kind == RowKind::Identification) {
                for (std::size_t i = 0; i < header.size(); ++i) header[i].assign(fields[i]);
                label = header[1];
                continue;
            }
            if (kind == RowKind::Other) continue;
            if (!status) {
                status = services.ShowStatus("Extracting Tamsel data for " + label);
            }
            // A file of many bad rows is one problem, not a box for every row.
            if (const std::optional<std::string> error = ReadLactationRow(fields, *list, key);
                error && ++badRows <= kReportedBadRows) {
                services.ShowMessage(MessageKind::Warning,
                                     BadRowMessage(*error, lineNumber, ReportedFields(fields)));
            }
        }
    };
    readLines();
    if (half != 0) {
        secondReader.join();
        if (second.error) std::rethrow_exception(second.error);
        ThrowIfStopRequested();
        if (file.ReadFailed()) return false;  // the rows after a failed read are not read
        // The second half's rows as if read here, or read here again: the first half's
        // status text names the herd, and its keys and technicians must not meet the second's.
        if (!second.readAgain && (status || !second.lactations) && list->TakeOver(*second.list)) {
            for (const SecondHalf::BadRow& bad : second.reported) {
                if (++badRows <= kReportedBadRows) {
                    services.ShowMessage(MessageKind::Warning,
                                         BadRowMessage(bad.error, lineNumber + bad.line, bad.fields));
                }
            }
            badRows += second.badRows - static_cast<std::int64_t>(second.reported.size());
        } else {
            second.list.reset();
            file.ReadOn();
            lines.emplace(*in.rdbuf());
            readLines();
        }
    }
    if (badRows > kReportedBadRows) {
        services.ShowMessage(MessageKind::Warning, FurtherBadRowsMessage(badRows - kReportedBadRows));
    }
    return !file.ReadFailed();
}

}  // namespace ovista
