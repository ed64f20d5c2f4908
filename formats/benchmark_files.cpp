#include "formats/benchmark_files.h"

#include "formats/batch_log.h"
#include "formats/summary_file.h"
#include "herd/csv_line.h"
#include "herd/errors.h"
#include "herd/textutil.h"

namespace ovista {
namespace {

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
        int code = 0;
        const std::optional<LoggedOutcome> outcome = ReadLogLine(line, code);
        if (!outcome) continue;
        switch (*outcome) {
            case LoggedOutcome::Analysed: ++counts.analysed; break;
            case LoggedOutcome::NotPrinted:
                ++counts.analysed;
                ++counts.notPrinted;
                break;
            case LoggedOutcome::NotLoaded: ++counts.notLoaded; break;
            case LoggedOutcome::NoReport:
                ++counts.noReport;
                ++counts.errorCodes[code];
                break;
            case LoggedOutcome::AnalysisFailed: ++counts.analysisFailed; break;
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
