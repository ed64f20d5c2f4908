// A full disk, a signal and a second run in the same folder: the files that other programs
// read hold whole lines only, a batch that cannot write stops with status 1, and a batch run
// again gives the files an undisturbed run gives.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <map>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "analysis/output_file.h"
#include "batch/merge_shards.h"
#include "batch/run_files.h"
#include "batch/runs.h"
#include "batch/stop_signals.h"
#include "batch/working_folder.h"
#include "recording_services.h"
#include "test_files.h"
#include "test_job.h"

extern char** environ;

namespace ovista {
namespace {

namespace fs = std::filesystem;
using testing::kBatchFiles;
using testing::Lines;
using testing::PrivateFolder;
using testing::ReadFile;
using testing::WriteFile;

// The first n lines of text, each with its line end.
std::string FirstLines(const std::string& text, std::size_t n) {
    std::size_t end = 0;
    for (std::size_t i = 0; i < n; ++i) end = text.find('\n', end) + 1;
    return text.substr(0, end);
}

bool IsWholeLinePrefix(const std::string& part, const std::string& whole) {
    return whole.compare(0, part.size(), part) == 0 && (part.empty() || part.ends_with("\r\n"));
}

// Standard error of the code under test, line by line.
class CapturedErrors {
public:
    CapturedErrors() : old_(std::cerr.rdbuf(text_.rdbuf())) {}
    ~CapturedErrors() { std::cerr.rdbuf(old_); }
    std::vector<std::string> Lines() const { return testing::Lines(text_.str()); }

private:
    std::ostringstream text_;
    std::streambuf* old_;
};

// The sample herds, analysed for real in this process; reports are not printed.
class RobustBatch : public ::testing::Test {
protected:
    RobustBatch() {
        SetToday(2026, 12, 7);
        folder_ = PrivateFolder("ovista_robust_");
        fs::remove_all(folder_);
        std::string batch;
        for (const std::string& line : Lines(ReadFile(fs::path(OVISTA_SOURCE_DIR) / "examples/batch.txt"))) {
            if (!line.empty()) batch += std::string(OVISTA_SOURCE_DIR) + "/examples/" + line + "\r\n";
        }
        WriteFile(Batch(), batch);
        herds_ = Lines(batch);
        steps_ = StandardRunSteps();
        steps_.print = [](const HerdReport&, const ReportOutput&) {};
        steps_.printerInstalled = nullptr;
        fs::create_directories(folder_ / "ref");
        fs::create_directories(folder_ / "out");
        EXPECT_TRUE(RunBatch(testing::Job(steps_, (folder_ / "ref").string()), Batch().string()));
    }
    ~RobustBatch() override {
        for (const char* name : kBatchFiles) LimitOutputFileForTesting(name, std::nullopt);
        fs::remove_all(folder_);
    }

    fs::path Batch() const { return folder_ / "batch.txt"; }
    bool Run(bool traces = true, int jobs = 1) {
        return RunBatch(testing::Job(steps_, (folder_ / "out").string(), {}, jobs, traces), Batch().string());
    }
    std::string Ref(const char* name) const { return ReadFile(folder_ / "ref" / name); }
    std::string Out(const char* name) const { return ReadFile(folder_ / "out" / name); }
    std::string HerdPath(std::size_t i) const { return herds_[i].substr(0, herds_[i].find(',')); }

    testing::RecordingServices services_;
    fs::path folder_;
    std::vector<std::string> herds_;
    RunSteps steps_;
};

TEST_F(RobustBatch, AFileThatFillsUpKeepsWholeLinesAndStopsTheBatchButATraceIsEmptied) {
    ASSERT_EQ(Lines(Ref("QMRBATCH.REP")).size(), 6u);
    struct Case {
        const char* file;
        std::size_t linesThatFit;  // the limit falls 7 bytes into the next line
        std::size_t herdsWritten;  // rows in the summary and conception files
        int error = ENOSPC;
    };
    const Case cases[] = {
        {"TAMSLREP.CSV", 3, 2},  // header and two rows
        {"CONCEPS.CSV", 2, 2},   // the third herd's summary row is taken back
        {"QMRBATCH.REP", 2, 3},  // the third herd is written before its log line fails
        {"DbugQMR.TXT", 40, 6},
        {"DbugQM1.TXT", 40, 6},
        {"DbugQMR.TXT", 40, 6, EIO},  // not for want of space: the traces stay, cut short
    };
    for (const Case& c : cases) {
        const bool trace = std::string(c.file).starts_with("Dbug");
        // On worker processes a worker appends its herd's traces, rows and log lines itself.
        for (const int jobs : {1, 2}) {
            SCOPED_TRACE(std::string(c.file) + " jobs " + std::to_string(jobs));
            const std::string limited = (folder_ / "out" / c.file).string();
            services_.infos.clear();
            LimitOutputFileForTesting(limited, FirstLines(Ref(c.file), c.linesThatFit).size() + 7, c.error);
            CapturedErrors errors;
            const bool ranToEnd = Run(true, jobs);
            LimitOutputFileForTesting(limited, std::nullopt);

            for (const char* name : {"DbugQMR.TXT", "DbugQM1.TXT"}) {
                EXPECT_TRUE(IsWholeLinePrefix(Out(name), Ref(name))) << name;
            }
            EXPECT_EQ(Out("TAMSLREP.CSV"), FirstLines(Ref("TAMSLREP.CSV"), 1 + c.herdsWritten));
            EXPECT_EQ(Out("CONCEPS.CSV"), FirstLines(Ref("CONCEPS.CSV"), c.herdsWritten));
            const std::string why = std::string("Could not write ") + c.file + ": " + std::strerror(c.error);
            if (trace && c.error != ENOSPC) {
                EXPECT_TRUE(ranToEnd);
                EXPECT_EQ(Out("QMRBATCH.REP"), Ref("QMRBATCH.REP"));
                EXPECT_LT(Out(c.file).size(), Ref(c.file).size());
                // A worker writes a herd's traces whole or not at all: here the first herd's.
                EXPECT_EQ(Out("DbugQM1.TXT").empty(), jobs == 2);
                EXPECT_EQ(errors.Lines(), std::vector<std::string>{
                    "The trace files were cut short; the analysis goes on without them: " + why});
                continue;
            }
            if (trace) {
                // Both traces give their room to the summary rows.
                EXPECT_TRUE(ranToEnd);
                EXPECT_EQ(Out("QMRBATCH.REP"), Ref("QMRBATCH.REP"));
                EXPECT_EQ(Out("DbugQMR.TXT") + Out("DbugQM1.TXT"), "");
                EXPECT_EQ(errors.Lines(), std::vector<std::string>{
                    "The trace files were emptied to keep room for the summary; the analysis goes "
                    "on without them: " + why});
                EXPECT_TRUE(services_.infos.empty());
                continue;
            }
            EXPECT_FALSE(ranToEnd);
            std::string log = FirstLines(Ref("QMRBATCH.REP"), 2);
            if (c.herdsWritten == 2) log += "Analysis failes for " + HerdPath(2) + ": " + why + "\r\n";
            EXPECT_EQ(Out("QMRBATCH.REP"), log);
            EXPECT_EQ(services_.infos, std::vector<std::string>{
                "The batch stopped after 2 herds of " + Batch().string() + ": could not write " +
                (folder_ / "out" / c.file).string() + ": No space left on device"});
        }
    }
}

TEST_F(RobustBatch, AMergeIntoAFullDiskKeepsWholeLinesAndNamesTheFile) {
    // The batch's folder merged twice over: every file twice, the summary header once.
    const std::string shard = (folder_ / "ref").string();
    std::map<std::string, std::string> merged;
    for (const char* name : kBatchFiles) merged[name] = Ref(name) + Ref(name);
    merged["TAMSLREP.CSV"].erase(Ref("TAMSLREP.CSV").size(), Lines(Ref("TAMSLREP.CSV"))[0].size() + 2);
    for (const char* full : kBatchFiles) {
        SCOPED_TRACE(full);
        services_.infos.clear();
        LimitOutputFileForTesting(full, merged[full].size() / 2 + 7);
        const bool done = MergeShards((folder_ / "out").string(), {shard, shard}, services_);
        LimitOutputFileForTesting(full, std::nullopt);
        EXPECT_FALSE(done);
        EXPECT_EQ(services_.infos, std::vector<std::string>{
            "The merge into " + (folder_ / "out").string() + " stopped: could not write " +
            (folder_ / "out" / full).string() + ": No space left on device"});
        const bool traceFailed = std::string(full).starts_with("Dbug");
        bool reached = true;  // files after the full one stay empty
        for (const char* name : kBatchFiles) {
            const std::string out = Out(name);
            EXPECT_TRUE(IsWholeLinePrefix(out, merged[name])) << name;
            if (!reached || (traceFailed && std::string(name).starts_with("Dbug"))) {
                EXPECT_EQ(out, "") << name;
            } else if (name == std::string(full)) {
                EXPECT_FALSE(out.empty());
                EXPECT_LT(out.size(), merged[name].size());
            } else {
                EXPECT_EQ(out, merged[name]) << name;
            }
            if (name == std::string(full)) reached = false;
        }
    }
}

TEST_F(RobustBatch, AWorkerFolderThatFillsUpStopsTheBatchNamingItAndTheReason) {
    const fs::path temp = folder_ / "tmp";
    fs::create_directories(temp);
    const std::string savedTemp = std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "";
    setenv("TMPDIR", temp.c_str(), 1);
    for (const bool traces : {true, false}) {  // the traces fill it first, or the summary row
        SCOPED_TRACE(traces);
        services_.infos.clear();
        LimitOutputFileForTesting(temp.string() + "/", 100);
        const bool ranToEnd = RunBatch(testing::Job(steps_, (folder_ / "out").string(), {}, 2, traces), Batch().string());
        LimitOutputFileForTesting(temp.string() + "/", std::nullopt);
        EXPECT_FALSE(ranToEnd);
        const std::string file = temp.string() + "/ovista-batch-";
        const std::string reason = ": No space left on device";
        ASSERT_EQ(services_.infos.size(), 1u);
        EXPECT_TRUE(services_.infos[0].starts_with("The batch stopped after 0 herds of " +
                                                   Batch().string() + ": could not write " + file))
            << services_.infos[0];
        EXPECT_TRUE(services_.infos[0].ends_with(
            reason + " (the worker processes' folder; TMPDIR chooses another)"));
        const std::vector<std::string> log = Lines(Out("QMRBATCH.REP"));
        ASSERT_EQ(log.size(), 1u);
        EXPECT_TRUE(log[0].starts_with("Analysis failes for " + HerdPath(0) + ": Could not write " + file));
        EXPECT_TRUE(log[0].ends_with(reason));
        EXPECT_EQ(Out("TAMSLREP.CSV"), FirstLines(Ref("TAMSLREP.CSV"), 1));
        EXPECT_EQ(Out("CONCEPS.CSV"), "");
        EXPECT_TRUE(fs::is_empty(temp));  // the workers' folder is gone
    }
    if (savedTemp.empty()) {
        unsetenv("TMPDIR");
    } else {
        setenv("TMPDIR", savedTemp.c_str(), 1);
    }
}

TEST_F(RobustBatch, NoTraceWritesTheSameRowsAndNoTraceFile) {
    WriteFile(folder_ / "out/DbugQMR.TXT", "a trace of another batch\r\n");
    EXPECT_TRUE(Run(false));
    for (const char* name : {"QMRBATCH.REP", "TAMSLREP.CSV", "CONCEPS.CSV"}) {
        EXPECT_EQ(Out(name), Ref(name)) << name;
    }
    EXPECT_FALSE(fs::exists(folder_ / "out/DbugQMR.TXT"));
    EXPECT_FALSE(fs::exists(folder_ / "out/DbugQM1.TXT"));
}

// Raises SIGTERM while the n-th herd file is read: at the line after its first lactation.
class SignalWhileReading : public UserServices {
public:
    explicit SignalWhileReading(int herd) : outer_(Services()), herd_(herd) { InstallServices(this); }
    ~SignalWhileReading() override { InstallServices(&outer_); }
    SignalWhileReading(const SignalWhileReading&) = delete;
    SignalWhileReading& operator=(const SignalWhileReading&) = delete;

    void ShowInfo(const std::string& message) override { outer_.ShowInfo(message); }
    std::unique_ptr<StatusWindow> ShowStatus(const std::string& message) override {
        ++herdsRead_;  // each herd file shows its status at its first lactation
        return outer_.ShowStatus(message);
    }
    void PumpMessages() override {
        if (herdsRead_ == herd_ && !raised_) {
            raised_ = true;
            std::raise(SIGTERM);
        }
        outer_.PumpMessages();
    }

private:
    UserServices& outer_;
    int herd_;
    int herdsRead_ = 0;
    bool raised_ = false;
};

TEST_F(RobustBatch, ASignalDuringAHerdLeavesThatHerdOutAndStopsTheBatch) {
    const auto analyse = steps_.analyse;
    for (const bool whileReading : {false, true}) {
        SCOPED_TRACE(whileReading ? "while the herd file is read" : "while the herd is analysed");
        const StopSignalHandlers handlers;
        int herds = 0;
        steps_.analyse = [&](auto&&... arguments) {
            analyse(arguments...);
            if (++herds == 3 && !whileReading) std::raise(SIGTERM);
        };
        std::optional<SignalWhileReading> signal;
        if (whileReading) signal.emplace(3);
        CapturedErrors errors;
        EXPECT_FALSE(Run());
        EXPECT_EQ(StopSignal(), SIGTERM);
        EXPECT_EQ(herds, whileReading ? 2 : 3);
        EXPECT_EQ(Out("QMRBATCH.REP"), FirstLines(Ref("QMRBATCH.REP"), 2));
        EXPECT_EQ(Out("TAMSLREP.CSV"), FirstLines(Ref("TAMSLREP.CSV"), 3));
        EXPECT_EQ(Out("CONCEPS.CSV"), FirstLines(Ref("CONCEPS.CSV"), 2));
        EXPECT_EQ(errors.Lines(), std::vector<std::string>{
            "Stopped by signal 15 after 2 herds of " + Batch().string() +
            "; no later herd is written."});
    }
}

// ---- the program itself ----------------------------------------------------------------

// 200 generated herds, three times over, and the files of an undisturbed run of them, in one
// process: long enough a run to catch it in the middle. The reports are not what these tests
// are about: they go to a PDF folder that cannot be made, which fails at once and is logged
// alike in every run.
class ProgramBatch : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        root_ = new fs::path(fs::temp_directory_path() /
                             ("ovista_program_batch_" + std::to_string(getpid())));
        fs::remove_all(*root_);
        const std::string generate = "'" + std::string(OVISTA_BINARY_DIR) +
                                     "/tools/herdgen' --out '" + (*root_ / "herds").string() +
                                     "' --herds 200 --seed 18 --cows 60 --years 4 >/dev/null";
        ASSERT_EQ(std::system(generate.c_str()), 0);
        const std::string herds = ReadFile(*root_ / "herds/batch.txt");
        WriteFile(Herds(), herds + herds + herds);
        ASSERT_EQ(Run(*root_ / "lone", Herds()), 0);
    }
    static void TearDownTestSuite() {
        fs::remove_all(*root_);
        delete root_;
    }
    ~ProgramBatch() override { fs::remove_all(Folder()); }

    static fs::path Root() { return *root_; }
    static std::string Herds() { return (*root_ / "herds/batch3.txt").string(); }
    static fs::path Folder() {
        return Root() / ::testing::UnitTest::GetInstance()->current_test_info()->name();
    }

    // Starts the program on a batch into the folder out, its standard error into errors.
    static pid_t Launch(const fs::path& out, const std::string& batch, const fs::path& errors) {
        fs::create_directories(out);
        std::vector<std::string> texts = {std::string(OVISTA_BINARY_DIR) + "/ovista", "NODIALOGS",
                                          "XFERFOLDER=" + out.string(), "QMRBATCHFILE=" + batch,
                                          "PDFFOLDER=" + Herds() + "/pdf", "JOBS=1"};
        std::vector<std::string> env = {"QT_QPA_PLATFORM=offscreen", "OVISTA_TODAY=07/12/2026"};
        for (char** e = environ; *e != nullptr; ++e) env.emplace_back(*e);
        std::vector<char*> argv, envp;
        for (std::string& t : texts) argv.push_back(t.data());
        for (std::string& e : env) envp.push_back(e.data());
        argv.push_back(nullptr);
        envp.push_back(nullptr);
        const pid_t pid = fork();
        if (pid == 0) {
            const int fd = open(errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            dup2(fd, 2);
            execve(argv[0], argv.data(), envp.data());
            _exit(127);
        }
        return pid;
    }
    // The exit status, or minus the signal that ended the program.
    static int Wait(pid_t pid) {
        int status = 0;
        waitpid(pid, &status, 0);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
    }
    static int Run(const fs::path& out, const std::string& batch,
                   const fs::path& errors = "/dev/null") {
        return Wait(Launch(out, batch, errors));
    }

    // Starts the program on the generated batch; returns once it holds the folder out and
    // has created its files, with most of the herds still to go.
    static pid_t Start(const fs::path& out) {
        fs::create_directories(Folder());
        fs::remove(out / "TAMSLREP.CSV");
        const pid_t pid = Launch(out, Herds(), Folder() / "started.err");
        for (int attempt = 0; attempt < 60000 && ReadFile(out / "TAMSLREP.CSV").empty(); ++attempt) {
            usleep(1000);
        }
        return pid;
    }

    static fs::path* root_;
};
fs::path* ProgramBatch::root_ = nullptr;

TEST_F(ProgramBatch, SigtermBetweenHerdsLeavesWholeHerdsAndStatus143AndARerunMatches) {
    const fs::path out = Folder() / "out";
    const pid_t pid = Start(out);
    for (int i = 0; i < 600000 && Lines(ReadFile(out / "QMRBATCH.REP")).size() < 20; ++i) {
        usleep(1000);
    }
    kill(pid, SIGTERM);
    EXPECT_EQ(Wait(pid), 143);

    // The herds before the signal, each whole, and none after it.
    const std::size_t herds = Lines(ReadFile(out / "QMRBATCH.REP")).size();
    EXPECT_GE(herds, 20u);
    EXPECT_LT(herds, 600u);
    const fs::path lone = Root() / "lone";
    EXPECT_EQ(ReadFile(out / "QMRBATCH.REP"), FirstLines(ReadFile(lone / "QMRBATCH.REP"), herds));
    EXPECT_EQ(ReadFile(out / "TAMSLREP.CSV"), FirstLines(ReadFile(lone / "TAMSLREP.CSV"), herds + 1));
    EXPECT_EQ(ReadFile(out / "CONCEPS.CSV"), FirstLines(ReadFile(lone / "CONCEPS.CSV"), herds));
    for (const char* name : {"DbugQMR.TXT", "DbugQM1.TXT"}) {
        EXPECT_TRUE(IsWholeLinePrefix(ReadFile(out / name), ReadFile(lone / name))) << name;
    }

    ASSERT_EQ(Run(out, Herds()), 0);
    for (const char* name : kBatchFiles) {
        EXPECT_TRUE(ReadFile(out / name) == ReadFile(lone / name)) << name;
    }
}

TEST_F(ProgramBatch, ASecondRunOnTheFolderRefusesAndTouchesNothing) {
    const fs::path out = Folder() / "out";
    const pid_t first = Start(out);
    kill(first, SIGSTOP);  // held while the second run tries the folder
    int status = 0;
    ASSERT_EQ(waitpid(first, &status, WUNTRACED), first);
    ASSERT_TRUE(WIFSTOPPED(status));
    std::map<std::string, std::string> before;
    for (const auto& entry : fs::directory_iterator(out)) {
        before[entry.path().filename()] = ReadFile(entry.path());
    }
    const fs::path errors = Folder() / "second.err";
    EXPECT_EQ(Run(out, Herds(), errors), 1);
    EXPECT_EQ(ReadFile(errors), out.string() + " is in use by another ovista run\n");
    std::map<std::string, std::string> after;
    for (const auto& entry : fs::directory_iterator(out)) {
        after[entry.path().filename()] = ReadFile(entry.path());
    }
    EXPECT_EQ(after, before);

    kill(first, SIGCONT);
    EXPECT_EQ(Wait(first), 0);
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(out)) names.insert(entry.path().filename());
    EXPECT_EQ(names, std::set<std::string>(std::begin(kBatchFiles), std::end(kBatchFiles)));
    for (const char* name : kBatchFiles) {
        EXPECT_TRUE(ReadFile(out / name) == ReadFile(Root() / "lone" / name)) << name;
    }

    // A run that is killed holds the folder no longer.
    const pid_t killed = Start(out);
    kill(killed, SIGKILL);
    EXPECT_EQ(Wait(killed), -SIGKILL);
    EXPECT_EQ(Run(out, Herds()), 0);
}

}  // namespace
}  // namespace ovista
