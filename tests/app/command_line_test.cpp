#include "app/command_line.h"

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "app/startup.h"

namespace ovista {
namespace {

CommandLineValues Parse(std::vector<std::string> arguments) { return ParseCommandLine(arguments); }

TEST(CommandLine, NoArgumentsCollectNothingAndOpenTheMainWindow) {
    EXPECT_EQ(Parse({}), CommandLineValues{});
    EXPECT_EQ(ChooseRunMode(Parse({})), RunMode::Interactive);
}

TEST(CommandLine, KeysAreFoundCaseBlindAnywhereInTheArgument) {
    for (const char* flag : {"qmrpreview", "-QMRPREVIEW", "/QmrPreview", "xQMRPREVIEWx"}) {
        EXPECT_EQ(Parse({flag}).preview, 1) << flag;
    }
    EXPECT_EQ(Parse({"--csvfile=/herds/a.csv"}).herdCsvFile, "/herds/a.csv");
    EXPECT_TRUE(Parse({"-nodialogs"}).noDialogs);
    EXPECT_EQ(Parse({"/pdffolder=/out"}).pdfFolder, "/out");
}

TEST(CommandLine, TheValueIsEverythingAfterTheFirstEqualsWithItsCaseKept) {
    const auto values = Parse({"QMRSUMMARY=/Data/Herd=A.qmr", "qmrrep=C:\\Xfer\\TamslRep.csv"});
    EXPECT_EQ(values.storedResultFile, "/Data/Herd=A.qmr");
    EXPECT_EQ(values.reportCsvFile, "C:\\Xfer\\TamslRep.csv");
    // The first "=" of the argument, even when it stands before the key.
    EXPECT_EQ(Parse({"a=b CSVFILE=c"}).herdCsvFile, "b CSVFILE=c");
}

TEST(CommandLine, ValuesAreCutTo255Characters) {
    const std::string exact(255, 'a');
    EXPECT_EQ(Parse({"CSVFILE=" + exact}).herdCsvFile, exact);
    EXPECT_EQ(Parse({"CSVFILE=" + exact + "bc"}).herdCsvFile, exact);
    // Characters, not bytes: a two-byte letter counts once and is never split.
    const std::string letters = std::string(254, 'a') + "\xC3\xA9";  // 255 characters
    EXPECT_EQ(Parse({"CSVFILE=" + letters + "\xC3\xA9"}).herdCsvFile, letters);
}

TEST(CommandLine, LaterArgumentsOverwriteEarlierOnesEvenWithNothing) {
    EXPECT_EQ(Parse({"CSVFILE=a.csv", "CSVFILE=b.csv"}).herdCsvFile, "b.csv");
    const auto values = Parse({"CSVFILE=a.csv", "CSVFILE="});
    EXPECT_EQ(values.herdCsvFile, "");
    EXPECT_EQ(ChooseRunMode(values), RunMode::Interactive);
}

TEST(CommandLine, OneArgumentCanMatchSeveralKeys) {
    EXPECT_EQ(Parse({"CSVFILE=/herds/qmrpreview.csv"}).preview, 1);
    const auto values = Parse({"XFERFOLDER=/x/QMRBATCHFILE=y"});
    EXPECT_EQ(values.folderAndBatchCount, 2);
    EXPECT_EQ(values.transferFolder, "/x/QMRBATCHFILE=y");
    EXPECT_EQ(values.batchFile, "/x/QMRBATCHFILE=y");
}

TEST(CommandLine, UnknownArgumentsAreIgnored) {
    EXPECT_EQ(Parse({"hello", "=x", "QMRREPORT=x", "-platform"}), CommandLineValues{});
}

TEST(CommandLine, ABatchNeedsAFolderAndBatchCountOfExactlyTwo) {
    const auto batch = Parse({"XFERFOLDER=/xfer", "QMRBATCHFILE=/xfer/herds.qmb", "CSVFILE=a.csv"});
    EXPECT_EQ(batch.folderAndBatchCount, 2);
    EXPECT_EQ(ChooseRunMode(batch), RunMode::Batch);

    EXPECT_EQ(ChooseRunMode(Parse({"XFERFOLDER=/a", "XFERFOLDER=/b"})), RunMode::Batch);
    EXPECT_EQ(ChooseRunMode(Parse({"QMRBATCHFILE=/b"})), RunMode::Interactive);
    EXPECT_EQ(ChooseRunMode(Parse({"QMRBATCHFILE=/b", "CSVFILE=a.csv"})), RunMode::SingleHerdCsv);
    const auto three = Parse({"XFERFOLDER=/a", "QMRBATCHFILE=/b", "XFERFOLDER=/c"});
    EXPECT_EQ(three.folderAndBatchCount, 3);
    EXPECT_EQ(ChooseRunMode(three), RunMode::Interactive);
}

TEST(CommandLine, TheBenchmarkKeyCountsBeforeAnArgumentsEqualsOnly) {
    EXPECT_TRUE(Parse({"/benchmark"}).benchmark);
    EXPECT_FALSE(Parse({"XFERFOLDER=/srv/benchmark"}).benchmark);
    EXPECT_FALSE(Parse({"QMRBATCHFILE=benchmark.qmb"}).benchmark);
    EXPECT_EQ(ChooseRunMode(Parse({"BENCHMARK", "XFERFOLDER=/x"})), RunMode::Benchmark);
    EXPECT_EQ(ChooseRunMode(Parse({"BENCHMARK", "XFERFOLDER=/x", "QMRBATCHFILE=/b"})), RunMode::Batch);
    EXPECT_EQ(ChooseRunMode(Parse({"BENCHMARK", "XFERFOLDER=/x", "MERGE=/a,/b"})), RunMode::MergeShards);
    EXPECT_EQ(ChooseRunMode(Parse({"BENCHMARK", "CSVFILE=a.csv"})), RunMode::SingleHerdCsv);
    // So does TRENDS, which chooses no run of its own.
    EXPECT_TRUE(Parse({"-trends"}).trends);
    EXPECT_FALSE(Parse({"XFERFOLDER=/srv/trends"}).trends);
    EXPECT_EQ(ChooseRunMode(Parse({"TRENDS", "XFERFOLDER=/x"})), RunMode::Interactive);
    // And COWLISTS.
    EXPECT_TRUE(Parse({"-cowlists"}).cowLists);
    EXPECT_FALSE(Parse({"XFERFOLDER=/srv/cowlists"}).cowLists);
    EXPECT_EQ(ChooseRunMode(Parse({"COWLISTS", "XFERFOLDER=/x"})), RunMode::Interactive);
}

TEST(CommandLine, TheReportRunsComeInTheirFixedOrder) {
    EXPECT_EQ(ChooseRunMode(Parse({"QMRSUMMARY=s", "QMRREP=r", "CSVFILE=c"})),
              RunMode::ReportFromSummaryCsv);
    EXPECT_EQ(ChooseRunMode(Parse({"CSVFILE=c", "QMRSUMMARY=s"})),
              RunMode::ReportFromStoredResult);
    EXPECT_EQ(ChooseRunMode(Parse({"CSVFILE=c", "DUMPBMP", "QMRPREVIEW"})),
              RunMode::SingleHerdCsv);
}

TEST(CommandLine, HelpAndVersionAreWholeArgumentsAndTheFirstWins) {
    EXPECT_EQ(FindInfoRequest({"--help"}), InfoRequest::Help);
    EXPECT_EQ(FindInfoRequest({"CSVFILE=a", "-H"}), InfoRequest::Help);
    EXPECT_EQ(FindInfoRequest({"/?"}), InfoRequest::Help);
    EXPECT_EQ(FindInfoRequest({"--version", "--help"}), InfoRequest::Version);
    EXPECT_EQ(FindInfoRequest({"CSVFILE=--help", "-help"}), InfoRequest::None);
}

TEST(Startup, MessagesGoToTheConsoleWithoutAWindowingDisplay) {
    EXPECT_FALSE(UseConsoleServices(false, "xcb", true));
    EXPECT_TRUE(UseConsoleServices(true, "xcb", true));
    EXPECT_TRUE(UseConsoleServices(false, "offscreen", true));
    EXPECT_TRUE(UseConsoleServices(false, "minimal", true));
    EXPECT_TRUE(UseConsoleServices(false, "xcb", false));
}

// ---- the program itself ----------------------------------------------------------------

struct Outcome {
    int status = -1;
    std::string out;
    std::string err;
};

std::string ReadAll(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// Runs the program with a server's environment (no display) unless env says otherwise; a
// program that waited for a window would be stopped by the timeout (status 124).
Outcome RunOvista(const std::string& arguments,
                  const std::string& env = "env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM") {
    const auto folder = std::filesystem::temp_directory_path() /
                        ("ovista_cli_" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder);
    const std::string command = env + " timeout 60 " OVISTA_BINARY_DIR "/ovista " + arguments +
                                " >" + (folder / "out").string() + " 2>" +
                                (folder / "err").string();
    Outcome outcome;
    const int raw = std::system(command.c_str());
    outcome.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    outcome.out = ReadAll(folder / "out");
    outcome.err = ReadAll(folder / "err");
    std::filesystem::remove_all(folder);
    return outcome;
}

TEST(Program, HelpListsEveryKeyAndEndsWell) {
    const Outcome help = RunOvista("--help");
    EXPECT_EQ(help.status, 0);
    for (const CommandLineKey& key : CommandLineKeys()) {
        EXPECT_NE(help.out.find(std::string(key.text)), std::string::npos) << key.text;
    }
    EXPECT_NE(help.out.find("--version"), std::string::npos);
    EXPECT_NE(help.out.find("Exit status"), std::string::npos);
    EXPECT_EQ(RunOvista("'/?'").out, help.out);
}

// ---- --help and the README's key table ---------------------------------------------------

// The keys as --help lists them, placeholders included ("JOBS=<n>", "--help", "-h", ...).
std::vector<std::string> HelpKeys(const std::string& help) {
    std::vector<std::string> keys;
    std::istringstream lines(help);
    std::string line;
    bool listing = false;
    while (std::getline(lines, line)) {
        if (line.starts_with("Keys")) {
            listing = true;
        } else if (listing && line.empty()) {
            break;
        } else if (listing && line.starts_with("  ") && line[2] != ' ') {
            std::string names = line.substr(2, line.find("  ", 2) - 2);
            for (std::size_t comma; (comma = names.find(", ")) != std::string::npos;) {
                keys.push_back(names.substr(0, comma));
                names.erase(0, comma + 2);
            }
            keys.push_back(names);
        }
    }
    return keys;
}

// Every `...` of the first column of the README's key table.
std::vector<std::string> ReadmeKeys(const std::string& readme) {
    std::vector<std::string> keys;
    std::istringstream lines(readme.substr(readme.find("| Key | Effect |")));
    std::string line;
    std::getline(lines, line);
    while (std::getline(lines, line) && line.starts_with('|')) {
        const std::string cell = line.substr(1, line.find('|', 1) - 1);
        for (std::size_t open = cell.find('`'); open != std::string::npos;) {
            const std::size_t close = cell.find('`', open + 1);
            keys.push_back(cell.substr(open + 1, close - open - 1));
            open = cell.find('`', close + 1);
        }
    }
    return keys;
}

// The keys named where the choice of run is told, from "that applies" to "otherwise", in the
// order of their first mention.
std::vector<std::string> RunOrder(const std::string& text) {
    const std::size_t at = text.find("that applies");
    const std::string paragraph = text.substr(at, text.find("otherwise", at) - at);
    std::vector<std::string> order;
    for (std::size_t i = 0; i < paragraph.size();) {
        std::size_t end = i;
        while (end < paragraph.size() && (std::isupper(static_cast<unsigned char>(paragraph[end])) ||
                                          std::isdigit(static_cast<unsigned char>(paragraph[end])))) {
            ++end;
        }
        if (end < paragraph.size() && paragraph[end] == '=') ++end;
        const std::string word = paragraph.substr(i, end - i);
        const bool isKey = std::ranges::any_of(
            CommandLineKeys(), [&](const CommandLineKey& key) { return key.text == word; });
        if (isKey && std::ranges::find(order, word) == order.end()) order.push_back(word);
        i = end == i ? i + 1 : end;
    }
    return order;
}

TEST(Help, NamesTheKeysPlaceholdersAndOrderOfRunsOfTheReadme) {
    const std::string readme = ReadAll(OVISTA_SOURCE_DIR "/README.md");
    std::vector<std::string> help = HelpKeys(HelpText());
    std::vector<std::string> table = ReadmeKeys(readme);
    ASSERT_EQ(help.size(), CommandLineKeys().size() + 4) << "every key, --help, -h, /?, --version";
    std::ranges::sort(help);
    std::ranges::sort(table);
    EXPECT_EQ(help, table) << "--help and the README's key table differ";

    const std::vector<std::string> runs = RunOrder(HelpText());
    EXPECT_GE(runs.size(), 6u);
    EXPECT_EQ(runs, RunOrder(readme)) << "the order of runs in --help and in the README differ";
}

TEST(Program, VersionPrintsTheVersion) {
    const Outcome version = RunOvista("--version");
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out, "Version 2.H\n");
}

TEST(Program, AFailedRunWithoutDialogsIsReportedOnStandardError) {
    // Without XDG_RUNTIME_DIR too, and in locales that are not UTF-8 (cron's, env -i's): Qt's
    // notes about them must not reach the caller's messages.
    for (const char* env : {"env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM -u XDG_RUNTIME_DIR",
                            "env QT_QPA_PLATFORM=offscreen DISPLAY=:99",
                            "env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM -u LC_ALL -u LC_CTYPE LANG=C",
                            "env QT_QPA_PLATFORM=offscreen LANG=C.UTF-8 LC_ALL=POSIX"}) {
        const Outcome run = RunOvista("NODIALOGS QMRSUMMARY=/no/such/file", env);
        EXPECT_NE(run.status, 0) << env;
        EXPECT_NE(run.status, 124) << "waited for a window: " << env;
        EXPECT_EQ(run.out, "") << env;
        EXPECT_EQ(run.err, "Could not open /no/such/file\n") << env;
    }
}

TEST(Program, WithoutADisplayTheMainWindowIsRefusedNotAwaited) {
    const Outcome run = RunOvista("");
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("needs a display"), std::string::npos) << run.err;
}

}  // namespace
}  // namespace ovista
