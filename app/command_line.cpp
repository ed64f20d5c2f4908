#include "app/command_line.h"

#include <array>
#include <utility>

namespace ovista {
namespace {

enum class Effect {
    StoredResultFile,
    HerdCsvFile,
    ReportCsvFile,
    None,
    TransferFolder,
    BatchFile,
    Preview,
    NoDialogs,
    PdfFolder,
    Jobs,
    Merge,
    NoTrace,
    Benchmark,
    Trends,
    CowLists,
};

struct KeyEntry {
    std::string_view text;
    Effect effect;
    std::string_view explanation;
    // Our later flags count only before an argument's "=": a path that happens to hold the
    // word does not switch them on.
    bool beforeEqualsOnly = false;
};

// The order is the order in which each argument is tried; it matters only for which value
// an argument that matches two keys gives first.
constexpr std::array<KeyEntry, 15> kKeys = {{
    {"QMRSUMMARY=", Effect::StoredResultFile, "Print the report of a stored result file."},
    {"CSVFILE=", Effect::HerdCsvFile, "Analyse one herd CSV file and print its report."},
    {"QMRREP=", Effect::ReportCsvFile, "Print the report of a summary CSV row (TAMSLREP.CSV)."},
    {"DUMPBMP", Effect::None, "Accepted; has no effect."},
    {"XFERFOLDER=", Effect::TransferFolder, "Folder for the log and summary files of a batch."},
    {"QMRBATCHFILE=", Effect::BatchFile, "Batch file of herds; with XFERFOLDER= runs the batch."},
    {"QMRPREVIEW", Effect::Preview, "Show reports in the preview window, not on the printer."},
    {"NODIALOGS", Effect::NoDialogs, "Open no window; messages go to standard error."},
    {"PDFFOLDER=", Effect::PdfFolder, "Write each report as a PDF file into this folder."},
    {"JOBS=", Effect::Jobs, "Worker processes of a batch (default: one per processor)."},
    {"MERGE=", Effect::Merge, "Shard folders (comma-separated) to merge into XFERFOLDER=."},
    {"NOTRACE", Effect::NoTrace, "Write no trace files (DbugQMR.TXT, DbugQM1.TXT)."},
    {"BENCHMARK", Effect::Benchmark, "Centre benchmark (BENCHMARK.CSV, BENCHMARK.pdf) of XFERFOLDER=.", true},
    {"TRENDS", Effect::Trends, "Analyse 1-4 years earlier too: TRENDS.CSV, report page 3.", true},
    {"COWLISTS", Effect::CowLists, "Lists of cows to act on: COWS.CSV, pages after the report.", true},
}};

std::string UpperAscii(std::string_view text) {
    std::string upper(text);
    for (char& c : upper) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    return upper;
}

bool IsUtf8Continuation(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

void Apply(const KeyEntry& key, std::string_view argument, CommandLineValues& values) {
    switch (key.effect) {
        case Effect::StoredResultFile: values.storedResultFile = KeyValue(argument); break;
        case Effect::HerdCsvFile: values.herdCsvFile = KeyValue(argument); break;
        case Effect::ReportCsvFile: values.reportCsvFile = KeyValue(argument); break;
        case Effect::None: break;
        case Effect::TransferFolder:
            values.transferFolder = KeyValue(argument);
            ++values.folderAndBatchCount;
            break;
        case Effect::BatchFile:
            values.batchFile = KeyValue(argument);
            ++values.folderAndBatchCount;
            break;
        case Effect::Preview: values.preview = 1; break;
        case Effect::NoDialogs: values.noDialogs = true; break;
        case Effect::PdfFolder: values.pdfFolder = KeyValue(argument); break;
        case Effect::Jobs: values.jobs = KeyValue(argument); break;
        case Effect::Merge: values.mergeFolders = KeyValue(argument); break;
        case Effect::NoTrace: values.noTrace = true; break;
        case Effect::Benchmark: values.benchmark = true; break;
        case Effect::Trends: values.trends = true; break;
        case Effect::CowLists: values.cowLists = true; break;
    }
}

}  // namespace

const std::vector<CommandLineKey>& CommandLineKeys() {
    static const std::vector<CommandLineKey> keys = [] {
        std::vector<CommandLineKey> list;
        for (const KeyEntry& key : kKeys) list.push_back({key.text, key.explanation});
        return list;
    }();
    return keys;
}

std::string KeyValue(std::string_view argument) {
    const auto equals = argument.find('=');
    if (equals == std::string_view::npos) return {};
    std::string_view value = argument.substr(equals + 1);
    // Paths arrive as UTF-8: count characters, and never cut one in half.
    std::size_t characters = 0;
    for (std::size_t i = 0; i < value.size(); ++i) {
        if (IsUtf8Continuation(value[i])) continue;
        if (++characters > kMaxKeyValueLength) {
            value = value.substr(0, i);
            break;
        }
    }
    return std::string(value);
}

CommandLineValues ParseCommandLine(const std::vector<std::string>& arguments) {
    CommandLineValues values;
    for (const std::string& argument : arguments) {
        const std::string upper = UpperAscii(argument);
        const std::string_view name = std::string_view(upper).substr(0, upper.find('='));
        for (const KeyEntry& key : kKeys) {
            const std::string_view where = key.beforeEqualsOnly ? name : std::string_view(upper);
            if (where.find(key.text) != std::string_view::npos) Apply(key, argument, values);
        }
    }
    return values;
}

RunMode ChooseRunMode(const CommandLineValues& values) {
    if (values.folderAndBatchCount == 2) return RunMode::Batch;
    if (!values.mergeFolders.empty() && !values.transferFolder.empty() && values.batchFile.empty()) {
        return RunMode::MergeShards;
    }
    if (values.benchmark && !values.transferFolder.empty() && values.batchFile.empty() &&
        values.mergeFolders.empty()) {
        return RunMode::Benchmark;
    }
    if (!values.reportCsvFile.empty()) return RunMode::ReportFromSummaryCsv;
    if (!values.storedResultFile.empty()) return RunMode::ReportFromStoredResult;
    if (!values.herdCsvFile.empty()) return RunMode::SingleHerdCsv;
    return RunMode::Interactive;
}

InfoRequest FindInfoRequest(const std::vector<std::string>& arguments) {
    for (const std::string& argument : arguments) {
        const std::string upper = UpperAscii(argument);
        if (upper == "--HELP" || upper == "-H" || upper == "/?") return InfoRequest::Help;
        if (upper == "--VERSION") return InfoRequest::Version;
    }
    return InfoRequest::None;
}

namespace {

// What a value key's value is, as --help and the README's key table show it.
std::string_view Placeholder(std::string_view key) {
    static constexpr std::pair<std::string_view, std::string_view> kPlaceholders[] = {
        {"XFERFOLDER=", "<folder>"},
        {"PDFFOLDER=", "<folder>"},
        {"JOBS=", "<n>"},
        {"MERGE=", "<folder>,<folder>..."},
    };
    for (const auto& [name, placeholder] : kPlaceholders) {
        if (name == key) return placeholder;
    }
    return key.ends_with('=') ? "<file>" : "";
}

// "  NAME  explanation" with the explanations in one column; a name too long for the column
// has its explanation on the next line.
std::string HelpLine(std::string_view name, std::string_view explanation) {
    constexpr std::size_t kColumn = 24;
    std::string line = "  " + std::string(name);
    if (line.size() + 2 > kColumn) {
        line += "\n" + std::string(kColumn, ' ');
    } else {
        line.resize(kColumn, ' ');
    }
    return line + std::string(explanation) + "\n";
}

}  // namespace

std::string HelpText() {
    std::string text =
        "Usage: ovista [KEY...]\n"
        "Analyses the fertility of dairy herds and prints for each herd a\n"
        "two-page report (three with the trend page; the cow lists add pages of\n"
        "cows to act on).\n"
        "Without keys the main window opens.\n"
        "\n"
        "Keys (case-blind, found anywhere in an argument; a value is what follows the first\n"
        "\"=\", case kept, at most 255 characters; a later argument overwrites an earlier one):\n";
    for (const KeyEntry& key : kKeys) {
        text += HelpLine(std::string(key.text) + std::string(Placeholder(key.text)), key.explanation);
    }
    text += HelpLine("--help, -h, /?", "Show this help and end.");
    text += HelpLine("--version", "Show the version and end.");
    text +=
        "\n"
        "The first run that applies is made: XFERFOLDER= together with QMRBATCHFILE= (batch),\n"
        "then MERGE= with one XFERFOLDER= (merge batch shards), then BENCHMARK with one\n"
        "XFERFOLDER= (benchmark of its herds), then QMRREP=, QMRSUMMARY=, CSVFILE=; otherwise\n"
        "the main window opens. A key with nothing after its \"=\" chooses no run. BENCHMARK\n"
        "also benchmarks the herds of XFERFOLDER= after a batch or a MERGE= run.\n"
        "\n"
        "Without a display, or with NODIALOGS, no window opens and messages go to standard\n"
        "error.\n"
        "\n"
        "Exit status: 0 when the run went to its end (a herd that failed in a batch is in the\n"
        "batch log), 1 when it stopped on a failure that it reported (an output file that\n"
        "cannot be written stops a batch; a folder in use by another run is not touched),\n"
        "130 or 143 when Ctrl-C or SIGTERM stopped it between herds.\n";
    return text;
}

std::string VersionText() { return "Version 2.H\n"; }

}  // namespace ovista
