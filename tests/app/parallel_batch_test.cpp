// A batch on worker processes, and shards of a batch merged: the built program on the sample
// herds, a herd with bad rows, a blank line and a missing file, compared with the files one
// process writes.
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "test_files.h"

namespace ovista {
namespace {

namespace fs = std::filesystem;
using testing::kBatchFiles;
using testing::Lines;
using testing::PrivateFolder;
using testing::ReadFile;
using testing::WriteFile;

class ParallelBatch : public ::testing::Test {
protected:
    ParallelBatch() {
        folder_ = PrivateFolder("ovista_parallel_");
        fs::remove_all(folder_);
        const fs::path examples = fs::path(OVISTA_SOURCE_DIR) / "examples";
        std::vector<std::string> lines;
        for (const std::string& line : Lines(ReadFile(examples / "batch.txt"))) {
            if (!line.empty()) lines.push_back((fs::path(OVISTA_SOURCE_DIR) / line).string());
        }
        // A herd with a row whose date does not exist, a cow written in lower case and a
        // row beyond 16 bits: messages, and lactations that differ from the clean file.
        std::string bad = ReadFile(examples / "herd001.csv");
        bad.insert(bad.find('\n', bad.find("\nCowID")) + 1,
                   "x1,31/02/2024\nX1,01/08/2024\nx1,01/08/2024,,,,,,,40000\n");
        WriteFile(folder_ / "bad.csv", bad);
        lines.insert(lines.begin() + 2, (folder_ / "bad.csv").string() + ",1,Owner,Address,31/05/2026");
        lines.insert(lines.begin() + 3, "");
        lines.push_back((folder_ / "missing.csv").string() + ",2,Owner,Address,31/05/2026");
        std::string batch;
        for (const std::string& line : lines) batch += line + "\r\n";
        WriteFile(folder_ / "batch.txt", batch);
    }
    ~ParallelBatch() override { fs::remove_all(folder_); }

    // Runs the program on a batch file into out/<name>; returns its exit status.
    int Run(const std::string& name, const std::string& keys, const std::string& environment = "",
            const std::string& batch = "batch.txt") const {
        fs::create_directories(folder_ / name);
        const std::string command =
            "cd '" + folder_.string() + "' && QT_QPA_PLATFORM=offscreen OVISTA_TODAY=07/12/2026 " +
            environment + " '" + OVISTA_BINARY_DIR + "/ovista' NODIALOGS 'XFERFOLDER=" +
            (folder_ / name).string() + "' " + (batch.empty() ? "" : "'QMRBATCHFILE=" + batch + "' ") +
            keys + " 2>'" + (folder_ / name).string() + ".err' >/dev/null";
        const int status = std::system(command.c_str());
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    std::string Out(const std::string& name, const std::string& file) const {
        return ReadFile(folder_ / name / file);
    }

    fs::path folder_;
};

TEST_F(ParallelBatch, TwoWorkersWriteTheBytesOfOneProcess) {
    ASSERT_EQ(Run("one", "JOBS=1"), 0);
    ASSERT_EQ(Run("two", "JOBS=2"), 0);
    for (const char* name : kBatchFiles) {
        EXPECT_TRUE(Out("one", name) == Out("two", name)) << name;
    }
    EXPECT_TRUE(ReadFile(folder_ / "one.err") == ReadFile(folder_ / "two.err"));
    EXPECT_NE(ReadFile(folder_ / "one.err").find("is not a valid date"), std::string::npos);
    EXPECT_NE(Out("one", "QMRBATCH.REP").find("Could not load data from"), std::string::npos);
    EXPECT_EQ(Lines(Out("one", "TAMSLREP.CSV")).size(), 8u);  // the header, six herds and the bad one
}

TEST_F(ParallelBatch, AWorkerThatCrashesCostsItsHerdOnly) {
    ASSERT_EQ(Run("one", "JOBS=1"), 0);
    ASSERT_EQ(Run("crash", "JOBS=2", "OVISTA_TEST_CRASH_HERD=herd003.csv"), 0);
    std::vector<std::string> expected = Lines(Out("one", "QMRBATCH.REP"));
    const std::vector<std::string> log = Lines(Out("crash", "QMRBATCH.REP"));
    ASSERT_EQ(log.size(), expected.size());
    for (std::size_t i = 0; i < log.size(); ++i) {
        if (expected[i].find("herd003.csv") == std::string::npos) {
            EXPECT_EQ(log[i], expected[i]);
        } else {
            EXPECT_EQ(log[i], "Analysis failes for " + (fs::path(OVISTA_SOURCE_DIR) / "examples/herd003.csv").string() +
                                  ": the worker process ended on signal 6 (Aborted)");
        }
    }
    // Its summary and conception lines are missing, the others are there.
    EXPECT_EQ(Lines(Out("crash", "TAMSLREP.CSV")).size() + 1, Lines(Out("one", "TAMSLREP.CSV")).size());
    EXPECT_EQ(Lines(Out("crash", "CONCEPS.CSV")).size() + 1, Lines(Out("one", "CONCEPS.CSV")).size());
}

// Batch lines naming a pipe nobody writes to, a device, a folder and a file beyond any herd:
// each is logged once and said on standard error (the folder as a missing file), the batch
// goes on at once to the good herd, and workers do it as one process does.
TEST_F(ParallelBatch, PathsThatAreNoHerdFilesAreLoggedOnceAndTheBatchGoesOn) {
    const std::string fifo = (folder_ / "fifo.csv").string();
    const std::string folder = (folder_ / "folder.csv").string();
    const std::string giant = (folder_ / "giant.csv").string();
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    fs::create_directories(folder);
    WriteFile(giant, "");
    fs::resize_file(giant, (256 << 20) + 1);  // sparse: no disk taken
    const std::string good = (fs::path(OVISTA_SOURCE_DIR) / "examples/herd001.csv").string();
    std::string batch;
    for (const std::string& path : {fifo, std::string("/dev/null"), folder, giant, good}) {
        batch += path + ",1,Owner,Address,31/05/2026\r\n";
    }
    WriteFile(folder_ / "paths.txt", batch);
    WriteFile(folder_ / "good.txt", good + ",1,Owner,Address,31/05/2026\r\n");

    const std::string pdf = " 'PDFFOLDER=" + (folder_ / "pdf").string() + "'";
    ASSERT_EQ(Run("alone", "JOBS=1" + pdf, "", "good.txt"), 0);
    for (const std::string jobs : {"JOBS=1", "JOBS=2"}) {
        SCOPED_TRACE(jobs);
        const std::string name = "paths" + jobs.substr(5);
        ASSERT_EQ(Run(name, jobs + pdf, "", "paths.txt"), 0);
        EXPECT_EQ(Lines(Out(name, "QMRBATCH.REP")),
                  (std::vector<std::string>{"Could not load data from " + fifo,
                                            "Could not load data from /dev/null",
                                            "Could not load data from " + folder,
                                            "Could not load data from " + giant,
                                            "Data analysed from " + good}));
        EXPECT_EQ(Out(name, "TAMSLREP.CSV"), Out("alone", "TAMSLREP.CSV"));
        EXPECT_EQ(Out(name, "CONCEPS.CSV"), Out("alone", "CONCEPS.CSV"));
        const std::vector<std::string> said = Lines(ReadFile(folder_ / (name + ".err")));
        ASSERT_EQ(said.size(), 4u);
        EXPECT_EQ(said[0], fifo + " is not a regular file");
        EXPECT_EQ(said[1], "/dev/null is not a regular file");
        EXPECT_EQ(said[2], giant + " is 268435457 bytes; a herd file may hold at most 256 MB");
        EXPECT_TRUE(said[3].starts_with("Extracting Tamsel data for ")) << said[3];
    }
}

TEST_F(ParallelBatch, ThreeShardsMergedGiveTheBytesOfOneRun) {
    ASSERT_EQ(Run("one", "JOBS=1"), 0);
    const std::vector<std::string> lines = Lines(ReadFile(folder_ / "batch.txt"));
    const std::size_t cuts[] = {0, 3, 5, lines.size()};
    std::string shards;
    for (int s = 0; s < 3; ++s) {
        std::string shard;
        for (std::size_t i = cuts[s]; i < cuts[s + 1]; ++i) shard += lines[i] + "\r\n";
        const std::string name = "shard" + std::to_string(s);
        WriteFile(folder_ / (name + ".txt"), shard);
        ASSERT_EQ(Run(name, "JOBS=2", "", name + ".txt"), 0);
        shards += (s ? "," : "") + (folder_ / name).string();
    }
    ASSERT_EQ(Run("merged", "'MERGE=" + shards + "'", "", ""), 0) << ReadFile(folder_ / "merged.err");
    for (const char* name : kBatchFiles) {
        EXPECT_TRUE(Out("one", name) == Out("merged", name)) << name;
    }
    // Shards without traces (NOTRACE) merge into a folder without them, as one such run leaves it.
    ASSERT_EQ(Run("shard2", "JOBS=2 NOTRACE", "", "shard2.txt"), 0);
    EXPECT_EQ(Run("mixed", "'MERGE=" + shards + "'", "", ""), 1);
    ASSERT_EQ(Run("shard0", "NOTRACE", "", "shard0.txt"), 0);
    ASSERT_EQ(Run("shard1", "NOTRACE", "", "shard1.txt"), 0);
    ASSERT_EQ(Run("untraced", "'MERGE=" + shards + "'", "", ""), 0);
    for (const char* name : {"QMRBATCH.REP", "TAMSLREP.CSV", "CONCEPS.CSV"}) {
        EXPECT_TRUE(Out("one", name) == Out("untraced", name)) << name;
    }
    EXPECT_FALSE(fs::exists(folder_ / "untraced" / "DbugQMR.TXT"));
    // A missing shard is refused and leaves nothing behind.
    EXPECT_EQ(Run("refused", "'MERGE=" + shards + "," + (folder_ / "nowhere").string() + "'", "", ""), 1);
    EXPECT_FALSE(fs::exists(folder_ / "refused" / "TAMSLREP.CSV"));
    // So is one whose file is a named pipe, at once.
    fs::create_directories(folder_ / "piped");
    ASSERT_EQ(mkfifo((folder_ / "piped" / "QMRBATCH.REP").c_str(), 0600), 0);
    EXPECT_EQ(Run("refused", "'MERGE=" + shards + "," + (folder_ / "piped").string() + "'", "", ""), 1);
    EXPECT_FALSE(fs::exists(folder_ / "refused" / "TAMSLREP.CSV"));
}

}  // namespace
}  // namespace ovista
