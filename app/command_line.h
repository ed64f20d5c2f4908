#pragma once
// Command-line keys. Herd-management software calls the program with keys such as
// "XFERFOLDER=C:\Xfer" "QMRBATCHFILE=C:\Xfer\herds.qmb" to run a batch without anyone at the
// screen. Matching is deliberately loose (case-blind, anywhere in the argument) so that
// "/qmrpreview" or "-QMRPREVIEW" written by older callers still count.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace ovista {

// Values collected from the arguments; texts start empty, at most 255 characters each.
struct CommandLineValues {
    std::string transferFolder;    // "XFERFOLDER="
    std::string batchFile;         // "QMRBATCHFILE="
    std::string reportCsvFile;     // "QMRREP=": a summary CSV file to report from
    std::string storedResultFile;  // "QMRSUMMARY=": one stored result record
    std::string herdCsvFile;       // "CSVFILE="
    std::int32_t preview = 0;      // "QMRPREVIEW": 1 shows reports in the preview window
    int folderAndBatchCount = 0;   // matches of "XFERFOLDER=" and "QMRBATCHFILE="
    bool noDialogs = false;        // "NODIALOGS": messages to standard error, no window
    std::string pdfFolder;         // "PDFFOLDER=": reports as PDF files into this folder
    std::string jobs;              // "JOBS=": worker processes of a batch
    std::string mergeFolders;      // "MERGE=": shard folders to merge into the transfer folder
    bool noTrace = false;          // "NOTRACE": no trace files
    bool benchmark = false;        // "BENCHMARK": the centre benchmark of the transfer folder
    bool trends = false;           // "TRENDS": earlier seasons, TRENDS.CSV and the trend page
    bool cowLists = false;         // "COWLISTS": the cows to act on, COWS.CSV and their pages

    bool operator==(const CommandLineValues&) const = default;
};

// One key of the command line, in the order in which keys are tried on each argument.
struct CommandLineKey {
    std::string_view text;         // as matched, upper case; value keys end in "="
    std::string_view explanation;  // one line for --help
};
// "QMRSUMMARY=", "CSVFILE=", "QMRREP=", "DUMPBMP", "XFERFOLDER=", "QMRBATCHFILE=",
// "QMRPREVIEW", then our additions "NODIALOGS", "PDFFOLDER=", "JOBS=", "MERGE=",
// "NOTRACE", "BENCHMARK", "TRENDS" and "COWLISTS".
const std::vector<CommandLineKey>& CommandLineKeys();

// Longest value kept for a key, in characters; the rest is cut off.
constexpr std::size_t kMaxKeyValueLength = 255;

// Matches every argument (program name excluded) against every key in order. A key matches
// when its text occurs anywhere in the upper-cased argument; its value is everything after
// the argument's first "=", case kept. Later arguments overwrite earlier values; arguments
// matching no key are ignored. "BENCHMARK", "TRENDS" and "COWLISTS" count only before an
// argument's first "=", so a folder or file named after them does not ask for them.
CommandLineValues ParseCommandLine(const std::vector<std::string>& arguments);

// The part of an argument after its first "=", cut to 255 characters (UTF-8 characters,
// never half of one); empty when there is no "=".
std::string KeyValue(std::string_view argument);

enum class RunMode {
    Batch,                   // transfer folder + batch file
    MergeShards,             // "MERGE=" + transfer folder, no batch file
    Benchmark,               // "BENCHMARK" + transfer folder alone
    ReportFromSummaryCsv,    // "QMRREP="
    ReportFromStoredResult,  // "QMRSUMMARY="
    SingleHerdCsv,           // "CSVFILE="
    Interactive,             // the main window
};

// The first mode that applies: a folder-and-batch count of exactly 2, then shard folders with
// a transfer folder and no batch file, then "BENCHMARK" with a transfer folder alone, then a
// report CSV path, a stored result path, a herd CSV path, else the main window.
RunMode ChooseRunMode(const CommandLineValues& values);

// Requests answered before any key is matched: "--help", "-h" or "/?", and "--version"
// (whole arguments, case-blind; the first one given wins).
enum class InfoRequest { None, Help, Version };
InfoRequest FindInfoRequest(const std::vector<std::string>& arguments);

// The --help text: usage, every key with its explanation, the exit status.
std::string HelpText();
// The --version text.
std::string VersionText();

}  // namespace ovista
