#include "formats/batch_log.h"

#include "herd/textutil.h"

namespace ovista {
namespace {

constexpr std::string_view kAnalysed = "Data analysed from ";
constexpr std::string_view kNotPrinted = "Could not print report for ";
constexpr std::string_view kNotLoaded = "Could not load data from ";
constexpr std::string_view kFailed = "Analysis failes for ";
constexpr std::string_view kErrorCode = " with error code ";

bool StartsWith(std::string_view text, std::string_view prefix) { return text.substr(0, prefix.size()) == prefix; }

// "<path> with error code <n>": the herd was analysed but allows no report. Returns the code
// after the last such phrase, or false for a line of another form.
bool ErrorCodeOf(std::string_view rest, int& code) {
    const std::size_t at = rest.rfind(kErrorCode);
    if (at == std::string_view::npos) return false;
    std::string_view digits = rest.substr(at + kErrorCode.size());
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

}  // namespace

std::string AnalysedLine(const std::string& path) { return std::string(kAnalysed) + path; }

std::string NotPrintedLine(const std::string& path, const std::string& reason) {
    return std::string(kNotPrinted) + path + ": " + reason;
}

std::string NotLoadedLine(const std::string& path, const std::string& detail) {
    return std::string(kNotLoaded) + path + detail;
}

std::string AnalysisFailedLine(const std::string& path, const std::string& reason) {
    return std::string(kFailed) + path + ": " + reason;
}

std::string NoReportLine(const std::string& path, int code) {
    return std::string(kFailed) + path + std::string(kErrorCode) + IntToText(code);
}

std::optional<LoggedOutcome> ReadLogLine(std::string_view line, int& code) {
    if (StartsWith(line, kAnalysed)) return LoggedOutcome::Analysed;
    if (StartsWith(line, kNotPrinted)) return LoggedOutcome::NotPrinted;
    if (StartsWith(line, kNotLoaded)) return LoggedOutcome::NotLoaded;
    if (StartsWith(line, kFailed)) {
        return ErrorCodeOf(line.substr(kFailed.size()), code) ? LoggedOutcome::NoReport
                                                              : LoggedOutcome::AnalysisFailed;
    }
    return std::nullopt;
}

BatchLog::BatchLog(const std::string& path) { out_.Create(path); }

void BatchLog::Line(const std::string& text) { out_.WriteLine(text); }

}  // namespace ovista
