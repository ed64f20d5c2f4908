#include "formats/benchmark_files.h"

#include "formats/summary_file.h"
#include "herd/csv_line.h"
#include "herd/errors.h"
#include "herd/textutil.h"

namespace ovista {
namespace {

bool StartsWith(std::string_view text, std::string_view start) {
    return text.substr(0, start.size()) == start;
}

// "<path> with error code <n>": the herd was analysed but allows no report. Returns the code
// after the last such phrase, or false for a line of another form.
bool ErrorCodeOf(std::string_view rest, int& code) {
    constexpr std::string_view kPhrase = " with error code ";
    const std::size_t at = rest.rfind(kPhrase);
    if (at == std::string_view::npos) return false;
    std::string_view digits = rest.substr(at + kPhrase.size());
    const bool negative = StartsWith(digits, "-");
    if (negative) digits.remove_prefix(1);
    if (digits.empty() || digits.size() > 6) return false;
    int value = 0;
    for (char c : digits) {
        if (c < '0' || c > '9') return false;
        value = value * 10 + (c - '0');
    }
    code = negative ? -value : value;
    return true;
}

// The herd number as the summary file writes it: bare unless it would break the line.
std::string HerdNumberField(std::string_view number) {
    if (number.find_first_of(",\"") == std::string_view::npos) return std::string(number);
    std::string quoted = "\"";
    for (char c : number) {
        if (c == '"') quoted += '"';
        quoted += c;
    }
    return quoted + '"';
}

}  // namespace

SummaryHerds ReadSummaryHerds(std::istream& in, const std::string& path) {
    SummaryHerds result;
    if (!SkipByteOrderMark(in)) throw OvistaError(path + ": " + kUtf16TextMessage);
    std::string line;
    if (!ReadTextLine(in, line)) return result;
    if (line != SummaryHeaderText()) {
        throw OvistaError(path + " is not a summary file: its first line is not the summary header");
    }
    for (long long number = 2; ReadTextLine(in, line); ++number) {
        if (TrimBlanks(line).empty()) continue;
        try {
            result.herds.push_back(BenchmarkHerdOf(ReadSummaryRow(line)));
        } catch (const OvistaError& e) {
            result.skipped.push_back(path + " line " + IntToText(number) + ": " + e.what() +
                                     "; the row is left out of the benchmark");
        }
    }
    if (in.bad()) throw OvistaError("Could not read " + path);
    return result;
}

BatchCounts CountFromBatchLog(std::istream& log) {
    BatchCounts counts;
    counts.fromLog = true;
    std::string line;
    while (ReadTextLine(log, line)) {
        std::string_view text = line;
        int code = 0;
        if (StartsWith(text, "Data analysed from ")) {
            ++counts.analysed;
        } else if (StartsWith(text, "Could not print report for ")) {
            ++counts.analysed;
            ++counts.notPrinted;
        } else if (StartsWith(text, "Could not load data from ")) {
            ++counts.notLoaded;
        } else if (StartsWith(text, "Analysis failes for ")) {
            if (ErrorCodeOf(text.substr(20), code)) {
                ++counts.noReport;
                ++counts.errorCodes[code];
            } else {
                ++counts.analysisFailed;
            }
        } else {
            continue;
        }
        ++counts.inBatch;
    }
    return counts;
}

std::string_view BenchmarkHeaderText() {
    return "SHNO,CalvingSystem,Column,Value,HerdsCompared,Percentile,Quartile";
}

std::string BenchmarkCsvText(const std::vector<BenchmarkHerd>& herds,
                             const std::vector<BenchmarkLine>& lines) {
    std::string text(BenchmarkHeaderText());
    text += "\r\n";
    for (const BenchmarkLine& line : lines) {
        const BenchmarkHerd& herd = herds[line.herd];
        text += HerdNumberField(herd.herdNumber);
        text += ',';
        text += CalvingSystemName(herd.system);
        text += ',';
        text += line.figure->column;
        text += ',' + IntToText(line.value) + ',' + IntToText(line.compared) + ',';
        if (line.quartile != 0) text += IntToText(line.percentile) + ',' + IntToText(line.quartile);
        else text += ',';
        text += "\r\n";
    }
    return text;
}

}  // namespace ovista
