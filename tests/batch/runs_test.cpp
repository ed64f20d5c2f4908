#include "batch/runs.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <limits>
#include <map>
#include <new>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "analysis/output_file.h"
#include "analysis/trace.h"
#include "formats/summary_file.h"
#include "batch/working_folder.h"
#include "herd/errors.h"
#include "recording_services.h"
#include "interpret/report_dates.h"
#include "test_files.h"
#include "test_job.h"

namespace ovista {
namespace {

namespace fs = std::filesystem;
using testing::PrivateFolder;
using testing::ReadFile;
using testing::WriteFile;

// What a stand-in analysis makes of a herd, chosen by its herd number.
struct FakeOutcome {
    std::int16_t pattern = 1;
    std::int16_t error = 0;
    std::string raise;  // not empty: the analysis throws OvistaError with this text
    bool outOfMemory = false;  // the analysis throws std::bad_alloc
};

struct AnalysisCall {
    std::string herdNumber;
    Date analysisDate;
    std::string owner;
    std::string address;
    int lactations;
};

class Runs : public ::testing::Test {
protected:
    Runs() {
        SetToday(2024, 6, 15);
        folder_ = PrivateFolder("ovista_runs_");
        fs::remove_all(folder_);
        fs::create_directories(folder_);
        steps_.analyse = [this](const std::string& herdNumber, Date analysisDate,
                                const std::string& owner, const std::string& address,
                                HerdList& herd, HerdReport& report, const std::string&,
                                const SummaryWriter& writeSummary, UserServices&, CowLists*, ReportExtent) {
            calls_.push_back({herdNumber, analysisDate, owner, address, herd.Count()});
            const FakeOutcome outcome = outcomes_[herdNumber];
            ClearHerdReport(report);
            report.SHNO = herdNumber;
            report.Owner = owner;
            report.AnalysisCalvingPattern = outcome.pattern;
            report.Error = outcome.error;
            if (writeSummary) writeSummary(report);
            // A failure after the row was handed over must still leave no row.
            if (!outcome.raise.empty()) throw OvistaError(outcome.raise);
            if (outcome.outOfMemory) throw std::bad_alloc();
        };
        steps_.print = [this](const HerdReport& report, const ReportOutput&) {
            if (report.SHNO == failingPrint_) throw OvistaError("No default printer");
            printed_.push_back(report);
        };
    }
    ~Runs() override {
        SetStoredDateOffset(false);
        fs::remove_all(folder_);
    }

    // A herd file of two cows; with an identification row when farmerId is not empty.
    fs::path Herd(const std::string& name, const std::string& farmerId = "") {
        std::string text;
        if (!farmerId.empty()) text += farmerId + "\r\n";
        text += "CowID,Calved\r\nA1,01/08/2023\r\nB2,05/08/2023\r\n";
        WriteFile(folder_ / name, text);
        return folder_ / name;
    }

    fs::path Batch(const std::string& text) {
        WriteFile(folder_ / "batch.txt", text);
        return folder_ / "batch.txt";
    }

    std::string Log() const { return ReadFile(folder_ / kBatchLogFileName); }
    std::string Path(const std::string& name) const { return (folder_ / name).string(); }

    testing::RecordingServices services_;
    fs::path folder_;
    RunSteps steps_;
    std::optional<std::string> workingFolder_;  // of the single-herd runs; nullopt: the default
    std::map<std::string, FakeOutcome> outcomes_;
    std::vector<AnalysisCall> calls_;
    std::vector<HerdReport> printed_;
    std::string failingPrint_ = "(no herd)";
};

TEST_F(Runs, BatchDecidesEachHerdLogsOneLineAndSkipsBlankLines) {
    Herd("a.csv");
    Herd("b.csv");
    Herd("c.csv");
    outcomes_["HA"] = {1, 0, ""};
    outcomes_["HB"] = {3, 7, ""};  // year-round herd without recalvings: no report
    outcomes_["HC"] = {1, 5, ""};  // seasonal herd with an estimate gap: still reported
    outcomes_["HD"] = {1, 4, ""};  // no analysis basis: no report, whatever the pattern
    const std::string a = Path("a.csv"), b = Path("b.csv"), c = Path("c.csv");
    const fs::path batch = Batch(a + ",HA,Owner A,Addr A,15/06/2024\r\n"
                                 "\r\n"
                                 ",HX,Nobody,,15/06/2024\r\n" +
                                 b + ",HB,Owner B,Addr B,15/06/2024\r\n" +
                                 c + ",HC,Owner C,Addr C,15/06/2024\n" +
                                 c + ",HD,Owner D,Addr D,15/06/2024\r\n" +
                                 Path("missing.csv") + ",HE,Owner E,,15/06/2024");

    BatchTally tally;
    EXPECT_TRUE(RunBatch(testing::Job(steps_, folder_.string()), batch.string(), &tally));

    // The failed herds with their reasons, for the end of the run; the log says it its way.
    EXPECT_EQ(tally.failures, (std::vector<FailedHerd>{{b, "analysis failed with error code 7"},
                                                      {c, "analysis failed with error code 4"},
                                                      {Path("missing.csv"), "no such file"}}));
    EXPECT_EQ(Log(), "Data analysed from " + a + "\r\n" +
                         "Analysis failes for " + b + " with error code 7\r\n" +
                         "Data analysed from " + c + "\r\n" +
                         "Analysis failes for " + c + " with error code 4\r\n" +
                         "Could not load data from " + Path("missing.csv") + "\r\n");
    ASSERT_EQ(printed_.size(), 2u);
    EXPECT_EQ(printed_[0].SHNO, "HA");
    EXPECT_EQ(printed_[1].SHNO, "HC");
    ASSERT_EQ(calls_.size(), 4u);
    EXPECT_EQ(calls_[0].analysisDate, MakeDate(15, 6, 2024));
    EXPECT_EQ(calls_[0].lactations, 2);
    EXPECT_TRUE(services_.infos.empty());  // printing runs never stop on a dialog
    EXPECT_GE(services_.pumps, 4);
}

TEST_F(Runs, PreviewSaysWhenAHerdHasNoReport) {
    Herd("b.csv");
    outcomes_["HB"] = {3, 7, ""};
    const fs::path batch = Batch(Path("b.csv") + ",HB,Owner B,Addr B,15/06/2024\r\n");
    EXPECT_TRUE(RunBatch(testing::Job(steps_, folder_.string(), {true, ""}), batch.string()));
    EXPECT_EQ(services_.infos, std::vector<std::string>{"No report possible for " + Path("b.csv")});
}

// What the window says at the end of a batch that went to its end: the herds analysed and
// failed, the reports in the words of their output, the log; a warning when a herd failed or
// an analysed herd's report was not made.
TEST(BatchSummary, SaysWhatTheRunDidAndWarnsWhenSomethingWasLeftOut) {
    const std::string log = "/x/QMRBATCH.REP";
    ReportOutput preview{true, ""};
    ReportOutput previewThenPdf{true, ""};
    previewThenPdf.skippedPdfFolder = "/x/pdf";
    struct Case {
        BatchTally tally;  // herds, failed, printed, previewed
        ReportOutput output;
        std::string text;
        bool warning;
    };
    const Case cases[] = {
        {{6, 0, 6, 0, {}}, {}, "6 herds analysed, 0 failed, 6 reports printed", false},
        {{1, 0, 1, 0, {}}, {}, "1 herd analysed, 0 failed, 1 report printed", false},
        {{6, 6, 0, 0, {}}, {}, "0 herds analysed, 6 failed, 0 reports printed", true},
        {{6, 1, 5, 0, {}}, {}, "5 herds analysed, 1 failed, 5 reports printed", true},
        {{6, 0, 0, 0, {}}, {}, "6 herds analysed, 0 failed, 0 reports printed", true},  // no printer
        {{0, 0, 0, 0, {}}, {}, "0 herds analysed, 0 failed, 0 reports printed", false},
        {{2, 0, 2, 0, {}}, {false, "/x/pdf"}, "2 herds analysed, 0 failed, 2 reports saved as PDF files", false},
        {{1, 0, 1, 0, {}}, {false, "/x/pdf"}, "1 herd analysed, 0 failed, 1 report saved as a PDF file", false},
        {{3, 0, 0, 3, {}}, preview, "3 herds analysed, 0 failed, 3 reports shown", false},
        {{3, 0, 2, 1, {}}, preview, "3 herds analysed, 0 failed, 1 report shown, 2 printed", false},
        {{3, 0, 2, 1, {}}, previewThenPdf, "3 herds analysed, 0 failed, 1 report shown, 2 saved as PDF files", false},
    };
    for (const Case& c : cases) {
        bool warning = !c.warning;
        EXPECT_EQ(BatchSummaryText(c.tally, c.output, log, warning),
                  "Task completed: " + c.text + " (batch log: /x/QMRBATCH.REP)");
        EXPECT_EQ(warning, c.warning) << c.text;
    }
}

// A relative herd path is looked up from the current folder first, then from the batch
// file's own folder (never from folders above it); the log keeps it as written.
TEST_F(Runs, RelativeHerdPathsAreFoundFromTheBatchFileToo) {
    const fs::path project = folder_ / "project";
    WriteFile(project / "batches/beside.csv", "x");
    WriteFile(project / "herds/top.csv", "x");
    WriteFile(project / "above.csv", "x");
    WriteFile(folder_ / "here/herds/top.csv", "x");  // the current folder comes first
    WriteFile(folder_ / "here/own.csv", "x");
    const std::string batch = (project / "batches/b.txt").string();
    const fs::path cwd = fs::current_path();
    fs::current_path(folder_ / "here");
    struct Case {
        std::string written, batchFile, opened;
    };
    const Case cases[] = {
        {"own.csv", batch, "own.csv"},
        {"herds/top.csv", batch, "herds/top.csv"},
        {"above.csv", batch, "above.csv"},  // in the folder above the batch file's: not looked for
        {"beside.csv", batch, (project / "batches/beside.csv").string()},
        {"../batches/beside.csv", batch, (project / "batches/../batches/beside.csv").string()},
        {"missing.csv", batch, "missing.csv"},
        {(project / "absent.csv").string(), batch, (project / "absent.csv").string()},
        // A batch file named from the current folder: its folder is taken from there.
        {"beside.csv", "../project/batches/b.txt",
         (folder_ / "here/../project/batches/beside.csv").string()},
        {"", batch, ""},
    };
    for (const Case& c : cases) EXPECT_EQ(HerdFileToOpen(c.written, c.batchFile), c.opened) << c.written;

    Herd("project/batches/herd.csv");
    const fs::path batchFile = Batch("herd.csv,HA,Owner,Addr,15/06/2024\r\n" +
                                     std::string("missing.csv,HB,Owner,Addr,15/06/2024\r\n"));
    fs::rename(batchFile, project / "batches/b.txt");
    EXPECT_TRUE(RunBatch(testing::Job(steps_, folder_.string()), batch));
    fs::current_path(cwd);
    EXPECT_EQ(Log(), "Data analysed from herd.csv\r\nCould not load data from missing.csv\r\n");
}

// A batch's previews name the herd and "n of N" and offer to skip the rest; once skipped,
// the rest go where they would go without preview, unseen.
TEST_F(Runs, BatchPreviewsCountTheHerdsAndMaySkipTheRest) {
    for (const char* name : {"a.csv", "b.csv", "c.csv"}) Herd(name);
    const fs::path batch = Batch(Path("a.csv") + ",HA,,,15/06/2024\r\n\r\n" + Path("b.csv") +
                                 ",HB,,,15/06/2024\r\n" + Path("c.csv") + ",HC,,,15/06/2024\r\n");
    std::vector<ReportOutput> outputs;
    steps_.print = [&outputs](const HerdReport&, const ReportOutput& output) {
        outputs.push_back(output);
        if (outputs.size() == 2) output.series->skipRemaining = true;  // at herd 2 of 3
    };
    ReportOutput preview{true, ""};
    preview.skippedPdfFolder = Path("pdf");
    BatchTally tally;
    EXPECT_TRUE(RunBatch(testing::Job(steps_, folder_.string(), preview, 1), batch.string(), &tally));
    ASSERT_EQ(outputs.size(), 3u);
    EXPECT_TRUE(outputs[0].preview);
    EXPECT_EQ(outputs[0].herdCaption, Path("a.csv") + " (1 of 3)");
    EXPECT_EQ(outputs[0].pdfFileName, "a.pdf");
    EXPECT_EQ(outputs[1].herdCaption, Path("b.csv") + " (2 of 3)");
    EXPECT_FALSE(outputs[2].preview);
    EXPECT_EQ(outputs[2].pdfFolder, Path("pdf"));
    EXPECT_EQ(tally.herds, 3);
    EXPECT_EQ(tally.previewed, 2);
    EXPECT_EQ(tally.printed, 1);
    EXPECT_EQ(tally.failed, 0);
}

// The preview of a batch's only herd names it alone: there is no "1 of 1" to tell.
TEST_F(Runs, TheOnlyHerdsPreviewNamesItAlone) {
    Herd("a.csv");
    std::vector<ReportOutput> outputs;
    steps_.print = [&outputs](const HerdReport&, const ReportOutput& output) { outputs.push_back(output); };
    EXPECT_TRUE(RunBatch(testing::Job(steps_, folder_.string(), ReportOutput{true, ""}, 1),
                         Batch(Path("a.csv") + ",HA,,,15/06/2024\r\n").string()));
    ASSERT_EQ(outputs.size(), 1u);
    EXPECT_EQ(outputs[0].herdCaption, Path("a.csv"));
}

TEST_F(Runs, TheFarmerIdRowWinsOverTheBatchLine) {
    Herd("id.csv", "farmer id,H77,\"Rosebank, Mrs K\",2 Farm Rd,01/01/2020");
    const fs::path batch =
        Batch("\"" + Path("id.csv") + "\", H1 ,Batch Owner,Batch Addr, 15/06/2024 \r\n");
    EXPECT_TRUE(RunBatch(testing::Job(steps_, folder_.string()), batch.string()));
    ASSERT_EQ(calls_.size(), 1u);
    EXPECT_EQ(calls_[0].herdNumber, "H77");
    EXPECT_EQ(calls_[0].owner, "Rosebank, Mrs K");
    EXPECT_EQ(calls_[0].address, "2 Farm Rd");
    EXPECT_EQ(calls_[0].analysisDate, MakeDate(15, 6, 2024));  // the date stays the batch's
}

TEST_F(Runs, AHerdWhoseAnalysisFailsIsLoggedWithoutRowAndTheBatchGoesOn) {
    Herd("a.csv");
    outcomes_["HR"] = {1, 0, "Range check error"};
    const std::string a = Path("a.csv");
    const fs::path batch = Batch(a + ",HZ,Owner,Addr,\r\n" +         // no date
                                 a + ",HI,Owner,Addr,31/02/2024\r\n" + // no such day
                                 a + ",HR,Owner,Addr,15/06/2024\r\n" +
                                 a + ",HA,Owner,Addr,15/06/2024\r\n");
    RunSteps steps = steps_;
    const auto fake = steps_.analyse;
    steps.analyse = [fake](const std::string& herdNumber, Date date, const std::string& owner,
                           const std::string& address, HerdList& herd, HerdReport& report,
                           const std::string& folder, const SummaryWriter& writer, UserServices& services,
                           CowLists* lists, ReportExtent extent) {
        // The refusal of a zero date is the real analysis's.
        if (date == 0) StandardRunSteps().analyse(herdNumber, date, owner, address, herd,
                                                  report, folder, writer, services, lists, extent);
        fake(herdNumber, date, owner, address, herd, report, folder, writer, services, lists, extent);
    };

    EXPECT_TRUE(RunBatch(testing::Job(steps, folder_.string()), batch.string()));

    EXPECT_EQ(Log(), "Analysis failes for " + a + ": Analysis date must not be zero.\r\n" +
                         "Analysis failes for " + a + ": '31/02/2024' is not a valid date\r\n" +
                         "Analysis failes for " + a + ": Range check error\r\n" +
                         "Data analysed from " + a + "\r\n");
    const std::string summary = ReadFile(folder_ / kSummaryFileName);
    EXPECT_EQ(summary.substr(0, SummaryHeaderText().size() + 2), SummaryHeaderText() + "\r\n");
    EXPECT_EQ(std::count(summary.begin(), summary.end(), '\n'), 2);  // header and HA only
    ASSERT_EQ(printed_.size(), 1u);
    EXPECT_EQ(printed_[0].SHNO, "HA");
}

// In one process and on worker processes alike.
TEST_F(Runs, AHerdThatRunsOutOfMemoryIsLoggedAndTheBatchGoesOn) {
    Herd("a.csv");
    outcomes_["HM"].outOfMemory = true;
    const std::string a = Path("a.csv");
    const fs::path batch =
        Batch(a + ",HM,Owner,Addr,15/06/2024\r\n" + a + ",HA,Owner,Addr,15/06/2024\r\n");
    for (const int jobs : {1, 2}) {
        const fs::path out = folder_ / ("jobs" + std::to_string(jobs));
        fs::create_directories(out);
        EXPECT_TRUE(RunBatch(testing::Job(steps_, out.string(), {}, jobs), batch.string()));
        EXPECT_EQ(ReadFile(out / kBatchLogFileName),
                  "Analysis failes for " + a + ": out of memory\r\nData analysed from " + a + "\r\n");
        const std::string summary = ReadFile(out / kSummaryFileName);
        EXPECT_EQ(std::count(summary.begin(), summary.end(), '\n'), 2);  // header and HA only
    }
}

// Services that take their time over one message, as a person reading it would.
class SlowOverMessage : public testing::RecordingServices {
public:
    static constexpr const char* kSlow = "slow";
    void ShowInfo(const std::string& message) override {
        if (message.ends_with(kSlow)) std::this_thread::sleep_for(std::chrono::milliseconds(600));
        RecordingServices::ShowInfo(message);
    }
};

// A worker keeps a herd's traces until the herds before it are in the trace files; when it
// ends first, the batch process appends them from the herd's folder and loses none.
TEST_F(Runs, AWorkerThatEndsBeforeWritingAHerdsTracesLosesNone) {
    Herd("a.csv");
    const std::string a = Path("a.csv");
    SlowOverMessage services;  // the batch process's from here on
    // H0 and H2 go to one worker, H1 and H3 to the other, which ends on H3: while H0 still
    // runs, or while the batch process takes its time over H0's message, so that it finds the
    // worker gone only when it sends the request for H1's traces.
    for (const bool whileTakingOver : {false, true}) {
        SCOPED_TRACE(whileTakingOver ? "while the batch process takes H0 over" : "while H0 runs");
        const fs::path folder = folder_ / (whileTakingOver ? "over" : "runs");
        fs::create_directories(folder);
        RunSteps steps = steps_;
        steps.analyse = [analyse = steps_.analyse, whileTakingOver](
                            const std::string& herdNumber, Date analysisDate, const std::string& owner,
                            const std::string& address, HerdList& herd, HerdReport& report,
                            const std::string& traces, const SummaryWriter& writeSummary, UserServices& services,
                            CowLists* cowLists, ReportExtent extent) {
            for (const char* name : {kTraceFileName, kDetailTraceFileName}) {
                OutputFile file;
                file.OpenForAppending(traces + name);
                file.Write(herdNumber + " " + name + "\r\n");
            }
            if (herdNumber == (whileTakingOver ? "H1" : "H0")) {
                std::this_thread::sleep_for(std::chrono::milliseconds(whileTakingOver ? 200 : 400));
            }
            if (whileTakingOver && herdNumber == "H0") services.ShowInfo(SlowOverMessage::kSlow);
            analyse(herdNumber, analysisDate, owner, address, herd, report, traces, writeSummary, services, cowLists,
                    extent);
        };
        const fs::path batch = Batch(a + ",H0,Owner,Addr,15/06/2024\r\n" + a + ",H1,Owner,Addr,15/06/2024\r\n" +
                                     a + ",H2,Owner,Addr,15/06/2024\r\n" + a + ",H3,Ends,Addr,15/06/2024\r\n");
        setenv("OVISTA_TEST_CRASH_HERD", ",Ends,", 1);
        EXPECT_TRUE(RunBatch(testing::Job(steps, folder.string(), {}, 2), batch.string()));
        unsetenv("OVISTA_TEST_CRASH_HERD");
        EXPECT_EQ(ReadFile(folder / kTraceFileName), "H0 DbugQMR.TXT\r\nH1 DbugQMR.TXT\r\nH2 DbugQMR.TXT\r\n");
        EXPECT_EQ(ReadFile(folder / kDetailTraceFileName), "H0 DbugQM1.TXT\r\nH1 DbugQM1.TXT\r\nH2 DbugQM1.TXT\r\n");
        EXPECT_EQ(ReadFile(folder / kBatchLogFileName),
                  "Data analysed from " + a + "\r\nData analysed from " + a + "\r\nData analysed from " + a +
                      "\r\nAnalysis failes for " + a + ": the worker process ended on signal 6 (Aborted)\r\n");
        // The summary rows too, which a worker appends after a herd's traces: H1's by the batch
        // process, as its worker ended.
        const std::vector<std::string> rows = testing::Lines(ReadFile(folder / kSummaryFileName));
        ASSERT_EQ(rows.size(), 4u);
        for (std::size_t i = 1; i < rows.size(); ++i) {
            EXPECT_NE(rows[i].find(",H" + std::to_string(i - 1) + ","), std::string::npos) << rows[i];
        }
    }
}

TEST_F(Runs, AReportThatCannotBePrintedIsLoggedAndTheBatchGoesOn) {
    Herd("a.csv");
    failingPrint_ = "HP";
    const std::string a = Path("a.csv");
    const fs::path batch =
        Batch(a + ",HP,Owner,Addr,15/06/2024\r\n" + a + ",HA,Owner,Addr,15/06/2024\r\n");
    EXPECT_TRUE(RunBatch(testing::Job(steps_, folder_.string()), batch.string()));
    EXPECT_EQ(Log(), "Could not print report for " + a + ": No default printer\r\n" +
                         "Data analysed from " + a + "\r\n");
}

TEST_F(Runs, BatchWritesItsFilesIntoTheTransferFolderGivenWithoutSeparator) {
    Herd("a.csv");
    WriteFile(folder_ / "DbugQMR.TXT", "old trace\r\n");
    WriteFile(folder_ / "DbugQM1.TXT", "old detail\r\n");
    const fs::path batch = Batch(Path("a.csv") + ",HA,Owner,Addr,15/06/2024\r\n");

    EXPECT_TRUE(RunBatch(testing::Job(steps_, folder_.string()), batch.string()));

    EXPECT_EQ(ReadFile(folder_ / "DbugQMR.TXT"), "");
    EXPECT_EQ(ReadFile(folder_ / "DbugQM1.TXT"), "");
    HerdReport row;
    ClearHerdReport(row);
    row.SHNO = "HA";
    row.Owner = "Owner";
    row.AnalysisCalvingPattern = 1;
    row.ReportDate = Today();
    EXPECT_EQ(ReadFile(folder_ / kSummaryFileName),
              SummaryHeaderText() + "\r\n" + SummaryRowText(row) + "\r\n");
    EXPECT_EQ(ReadFile(folder_ / kConceptionFileName), ConceptionLineText(row) + "\r\n");
}

TEST_F(Runs, WorkingFolderGetsOneSeparatorKeeps250CharactersAndTheDefaultIsCreated) {
    EXPECT_EQ(WithTrailingSeparator("/tmp/x"), "/tmp/x/");
    EXPECT_EQ(WithTrailingSeparator("/"), "/");
    EXPECT_EQ(WithTrailingSeparator(""), "");
    EXPECT_EQ(WorkingFolder(std::string(300, 'd')), std::string(250, 'd'));
    EXPECT_EQ(WorkingFolderPath(folder_.string()), folder_.string() + "/");

    const std::string home = std::getenv("HOME") ? std::getenv("HOME") : "";
    setenv("HOME", folder_.c_str(), 1);
    EXPECT_EQ(WorkingFolderPath(std::nullopt), folder_.string() + "/TAMSEL/");
    EXPECT_TRUE(fs::is_directory(folder_ / "TAMSEL"));
    setenv("HOME", home.c_str(), 1);
}

TEST_F(Runs, BatchStopsWithAMessageWhenItsFilesCannotBeOpened) {
    const fs::path batch = Batch("");
    const std::string absent = Path("absent");
    EXPECT_FALSE(RunBatch(testing::Job(steps_, absent), batch.string()));
    EXPECT_FALSE(RunBatch(testing::Job(steps_, folder_.string()), Path("no-batch.txt")));
    EXPECT_EQ(services_.infos,
              (std::vector<std::string>{"Could not open " + absent +
                                            "/QMRBATCH.REP: No such file or directory",
                                        "Could not open " + Path("no-batch.txt")}));
}

TEST_F(Runs, RelativeHerdPathsAreOpenedFromTheCurrentFolder) {
    Herd("a.csv");
    const fs::path previous = fs::current_path();
    fs::current_path(folder_);
    const fs::path batch = Batch("a.csv,HA,Owner,Addr,15/06/2024\r\n");
    const bool ran = RunBatch(testing::Job(steps_, folder_.string()), batch.string());
    fs::current_path(previous);
    EXPECT_TRUE(ran);
    EXPECT_EQ(Log(), "Data analysed from a.csv\r\n");
}

TEST_F(Runs, TheRealAnalysisLogsTheErrorCodeOfAHerdTooSmallToAnalyse) {
    Herd("a.csv");
    const fs::path batch = Batch(Path("a.csv") + ",HA,Owner,Addr,15/06/2024\r\n");
    RunSteps steps = StandardRunSteps();
    steps.print = steps_.print;
    steps.printerInstalled = nullptr;
    EXPECT_TRUE(RunBatch(testing::Job(steps, folder_.string()), batch.string()));
    EXPECT_EQ(Log(), "Analysis failes for " + Path("a.csv") + " with error code 2\r\n");
    EXPECT_TRUE(printed_.empty());
}

TEST_F(Runs, SingleHerdCsvTakesHerdAndDateFromTheIdentificationRowOnly) {
    workingFolder_ = folder_.string();
    const fs::path withId = Herd("id.csv", "FARMER ID,H77,Mrs K,Farm Rd,14/05/2024");
    EXPECT_TRUE(RunSingleHerdCsv(testing::Job(steps_, workingFolder_), withId.string()));
    const fs::path withoutId = Herd("plain.csv");
    EXPECT_TRUE(RunSingleHerdCsv(testing::Job(steps_, workingFolder_), withoutId.string()));
    ASSERT_EQ(calls_.size(), 2u);
    EXPECT_EQ(calls_[0].herdNumber, "H77");
    EXPECT_EQ(calls_[0].owner, "Mrs K");
    EXPECT_EQ(calls_[0].address, "Farm Rd");
    EXPECT_EQ(calls_[0].analysisDate, MakeDate(14, 5, 2024));
    EXPECT_EQ(calls_[1].herdNumber, "");
    EXPECT_EQ(calls_[1].analysisDate, 0);
    EXPECT_FALSE(fs::exists(folder_ / kBatchLogFileName));
}

TEST_F(Runs, SingleHerdCsvWithoutIdentificationRowIsRefusedByTheAnalysis) {
    workingFolder_ = folder_.string();
    const fs::path plain = Herd("plain.csv");
    RunSteps steps = StandardRunSteps();
    steps.print = steps_.print;
    steps.printerInstalled = nullptr;
    EXPECT_FALSE(RunSingleHerdCsv(testing::Job(steps, workingFolder_), plain.string()));
    EXPECT_EQ(services_.infos, std::vector<std::string>{"Analysis failes for " + plain.string() +
                                                        ": Analysis date must not be zero."});
    EXPECT_EQ(ReadFile(folder_ / kSummaryFileName), SummaryHeaderText() + "\r\n");
    EXPECT_TRUE(printed_.empty());
}

TEST_F(Runs, SingleHerdCsvReportsWhatStoppedIt) {
    workingFolder_ = folder_.string();
    EXPECT_FALSE(RunSingleHerdCsv(testing::Job(steps_, workingFolder_), Path("missing.csv")));
    outcomes_["H7"] = {3, 7, ""};
    const fs::path herd = Herd("h7.csv", "FARMER ID,H7,Owner,Addr,14/05/2024");
    EXPECT_TRUE(RunSingleHerdCsv(testing::Job(steps_, workingFolder_, {false, ""}), herd.string()));  // printing: silent
    EXPECT_TRUE(RunSingleHerdCsv(testing::Job(steps_, workingFolder_, {true, ""}), herd.string()));
    workingFolder_ = Path("absent");
    EXPECT_FALSE(RunSingleHerdCsv(testing::Job(steps_, workingFolder_), herd.string()));
    EXPECT_EQ(services_.infos,
              (std::vector<std::string>{"Could not load data from " + Path("missing.csv"),
                                        "No report possible for " + herd.string(),
                                        "Could not create TAMSLREP.CSV: No such file or directory"}));
}

// Files saved as "UTF-8 with BOM" read as without the mark; UTF-16 files are refused by name.
TEST_F(Runs, ByteOrderMarksAreSkippedAndUtf16FilesRefused) {
    const std::string bom = "\xEF\xBB\xBF";
    const std::string herd = ReadFile(fs::path(OVISTA_SOURCE_DIR) / "examples/herd001.csv");
    ASSERT_EQ(herd.rfind("FARMER ID,590001,", 0), 0u);
    std::string utf16 = "\xFF\xFE";
    for (const char c : herd.substr(0, 2000)) utf16 += std::string{c, '\0'};
    WriteFile(folder_ / "plain.csv", herd);
    WriteFile(folder_ / "bom.csv", bom + herd);
    WriteFile(folder_ / "utf16.csv", utf16);
    RunSteps steps = StandardRunSteps();
    steps.print = steps_.print;
    steps.printerInstalled = nullptr;
    const std::string line = ",H1,Owner,Addr,31/05/2026\r\n";

    const fs::path plainBatch = Batch(Path("plain.csv") + line);
    ASSERT_TRUE(RunBatch(testing::Job(steps, folder_.string()), plainBatch.string()));
    const std::vector<std::string> plain = testing::Lines(ReadFile(folder_ / kSummaryFileName));
    ASSERT_EQ(plain.size(), 2u);
    ASSERT_NE(plain[1].find(",590001,"), std::string::npos);  // the FARMER ID row's herd

    const fs::path batch = Batch(bom + Path("bom.csv") + line + Path("utf16.csv") + line +
                                 Path("plain.csv") + line);
    ASSERT_TRUE(RunBatch(testing::Job(steps, folder_.string()), batch.string()));
    EXPECT_EQ(Log(), "Data analysed from " + Path("bom.csv") + "\r\n" +
                         "Could not load data from " + Path("utf16.csv") + "\r\n" +
                         "Data analysed from " + Path("plain.csv") + "\r\n");
    EXPECT_EQ(testing::Lines(ReadFile(folder_ / kSummaryFileName)),
              (std::vector<std::string>{plain[0], plain[1], plain[1]}));

    WriteFile(folder_ / "summary.csv", bom + plain[0] + "\r\n" + plain[1] + "\r\n");
    WriteFile(folder_ / "summary16.csv", utf16);
    ASSERT_EQ(printed_.size(), 3u);
    EXPECT_TRUE(RunReportFromSummaryCsv(testing::Job(steps), Path("summary.csv")));
    EXPECT_EQ(printed_.back().SHNO, "590001");
    EXPECT_FALSE(RunReportFromSummaryCsv(testing::Job(steps), Path("summary16.csv")));
    EXPECT_FALSE(RunSingleHerdCsv(testing::Job(steps, workingFolder_), Path("utf16.csv")));
    WriteFile(folder_ / "batch16.txt", utf16);
    EXPECT_FALSE(RunBatch(testing::Job(steps, folder_.string()), Path("batch16.txt")));
    const std::string refused = ": UTF-16 text is not supported; save it as CSV";
    EXPECT_EQ(services_.infos,
              (std::vector<std::string>{Path("utf16.csv") + refused, Path("summary16.csv") + refused,
                                        Path("utf16.csv") + refused,
                                        "Could not load data from " + Path("utf16.csv"),
                                        Path("batch16.txt") + refused}));
}

TEST_F(Runs, AStoredResultOf100BytesPrintsWithTheRestZeroAndStoredDates) {
    HerdReport full;
    ClearHerdReport(full);
    full.Owner = "J Smith";
    full.Address = "12 Long Rd";
    full.SHNO = "H1";  // at byte 292: beyond the file
    full.Error = 5;
    const HerdReportBytes bytes = StoreHerdReport(full);
    WriteFile(folder_ / "short.qmr",
              std::string(reinterpret_cast<const char*>(bytes.data()), 100));

    EXPECT_TRUE(RunReportFromStoredResult(testing::Job(steps_), Path("short.qmr")));
    ASSERT_EQ(printed_.size(), 1u);
    HerdReport expected;
    ClearHerdReport(expected);
    expected.Owner = "J Smith";
    expected.Address = "12 Long Rd";
    EXPECT_EQ(printed_[0], expected);
    EXPECT_TRUE(StoredDateOffsetOn());
    EXPECT_EQ(StoredDateToDate(kStoredDateOffset + 45000), 45000);
    // Any 32-bit day of a damaged record: the shift holds at the range's ends, no date shows.
    constexpr Date kMin = std::numeric_limits<Date>::min();
    constexpr Date kMax = std::numeric_limits<Date>::max();
    for (const auto& [stored, shifted, text] : {std::tuple{kMin, kMin, ""}, std::tuple{kMin + 5, kMin, ""},
                                                std::tuple{kMax, kMax - kStoredDateOffset, ""},
                                                std::tuple{kStoredDateOffset + 1, 1, "31/12/99"}}) {
        EXPECT_EQ(StoredDateToDate(stored), shifted) << stored;
        EXPECT_EQ(DateText(stored), text) << stored;
        EXPECT_EQ(DateYear(stored), std::string(text).empty() ? 0 : 1899) << stored;
    }
}

TEST_F(Runs, ReportFromFilesSaysWhyThereIsNone) {
    EXPECT_FALSE(RunReportFromStoredResult(testing::Job(steps_), Path("none.qmr")));
    EXPECT_FALSE(RunReportFromSummaryCsv(testing::Job(steps_), Path("none.csv")));
    WriteFile(folder_ / "header.csv", SummaryHeaderText() + "\r\n");
    EXPECT_FALSE(RunReportFromSummaryCsv(testing::Job(steps_), Path("header.csv")));
    WriteFile(folder_ / "bad.csv", SummaryHeaderText() + "\r\n\"o\",\"a\",H,0,\"31/02/06\"\r\n");
    EXPECT_FALSE(RunReportFromSummaryCsv(testing::Job(steps_), Path("bad.csv")));
    EXPECT_EQ(services_.infos,
              (std::vector<std::string>{"Could not open " + Path("none.qmr"),
                                        "Could not open " + Path("none.csv"),
                                        "Could not read " + Path("header.csv"),
                                        "Could not analyse report from " + Path("bad.csv")}));
    EXPECT_TRUE(printed_.empty());
}

TEST_F(Runs, ReportFromSummaryCsvRebuildsTheSecondLine) {
    HerdReport r;
    ClearHerdReport(r);
    r.Owner = "J Smith";
    r.SHNO = "H1";
    r.Yield2yo = 12.6;
    r.MSD = MakeDate(1, 10, 2023);
    r.Technicians[0] = {"AB", 30, 12};
    r.Technicians[1] = {"CD", 5, 2};
    r.Technicians[10] = {"", 4, 1};
    HerdReport other = r;
    other.SHNO = "H2";
    WriteFile(folder_ / "rows.csv", SummaryHeaderText() + "\r\n" + SummaryRowText(r) + "\r\n" +
                                        SummaryRowText(other) + "\r\n");

    EXPECT_TRUE(RunReportFromSummaryCsv(testing::Job(steps_), Path("rows.csv")));
    ASSERT_EQ(printed_.size(), 1u);
    EXPECT_EQ(printed_[0].SHNO, "H1");
    EXPECT_EQ(printed_[0].Yield2yo, 13.0);
    EXPECT_EQ(printed_[0].MSD, MakeDate(1, 10, 2023));
    EXPECT_EQ(printed_[0].Technicians[2], (TechnicianEntry{"UNSPEC", 4, 1}));
    EXPECT_FALSE(StoredDateOffsetOn());
}

}  // namespace
}  // namespace ovista
