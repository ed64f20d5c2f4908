// The program as herd-management software calls it: a batch of the sample herds in
// examples/, unattended. The five files it writes are compared byte for byte with golden
// copies in tests/data/app/sample_batch/; "today" is fixed so the report dates compare too. When the analysis changes what it writes, run
//     OVISTA_UPDATE_GOLDEN=1 build/tests/test_app --gtest_filter='SampleBatch*'
// to rewrite them, and review the difference before committing it.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "test_files.h"

namespace ovista {
namespace {

namespace fs = std::filesystem;
using testing::AllLinesEndCrLf;
using testing::kBatchFiles;
using testing::Lines;
using testing::PrivateFolder;
using testing::ReadFile;
using testing::WriteFile;

class SampleBatch : public ::testing::Test {
protected:
    SampleBatch() {
        folder_ = PrivateFolder("ovista_batch_");
        fs::remove_all(folder_);
        fs::create_directories(folder_ / "out");
    }
    ~SampleBatch() override { fs::remove_all(folder_); }

    // Runs the program from the source folder, as the examples' relative paths expect;
    // returns its exit status.
    int RunOvista(const std::string& batchFile, const std::string& keys = "") const {
        return testing::RunOvistaBatch(OVISTA_SOURCE_DIR, Out(), batchFile, folder_ / "stderr.txt",
                                       "OVISTA_TODAY=07/12/2026", keys);
    }

    fs::path Out() const { return folder_ / "out"; }

    static fs::path ExampleBatch() { return fs::path(OVISTA_SOURCE_DIR) / "examples/batch.txt"; }

    fs::path folder_;
};

TEST_F(SampleBatch, WritesTheFiveFilesWithCrLfAsTheGoldenCopies) {
    if (!fs::exists(ExampleBatch())) GTEST_SKIP() << "no examples/batch.txt";
    ASSERT_EQ(RunOvista("examples/batch.txt"), 0) << ReadFile(folder_ / "stderr.txt");

    for (const char* name : kBatchFiles) {
        ASSERT_TRUE(fs::exists(Out() / name)) << name;
        EXPECT_TRUE(AllLinesEndCrLf(ReadFile(Out() / name))) << name;
    }
    std::size_t herds = 0;
    for (const std::string& line : Lines(ReadFile(ExampleBatch()))) {
        if (!line.empty() && line[0] != ',') ++herds;
    }
    EXPECT_EQ(Lines(ReadFile(Out() / "QMRBATCH.REP")).size(), herds);
    const std::vector<std::string> rows = Lines(ReadFile(Out() / "TAMSLREP.CSV"));
    ASSERT_GE(rows.size(), 1u);
    EXPECT_EQ(rows.size() - 1, Lines(ReadFile(Out() / "CONCEPS.CSV")).size());

    const fs::path golden = fs::path(OVISTA_TEST_DATA) / "app/sample_batch";
    const char* update = std::getenv("OVISTA_UPDATE_GOLDEN");
    for (const char* name : kBatchFiles) {
        const std::string actual = ReadFile(Out() / name);
        if (update != nullptr && std::string(update) == "1") {
            fs::create_directories(golden);
            WriteFile(golden / name, actual);
            continue;
        }
        ASSERT_TRUE(fs::exists(golden / name)) << "no golden " << name;
        EXPECT_TRUE(ReadFile(golden / name) == actual)
            << name << " differs from its golden copy; see the comment at the top of this file";
    }
}

// The cows to act on: the rows of the sample herds' golden file with one worker or two, the
// other files as without them; a run without the key removes the file of an earlier run.
TEST_F(SampleBatch, CowListsAreTheGoldenRowsWithOneOrTwoWorkersAndGoWithoutTheKey) {
    if (!fs::exists(ExampleBatch())) GTEST_SKIP() << "no examples/batch.txt";
    const std::string golden = ReadFile(fs::path(OVISTA_TEST_DATA) / "formats/sample_cows.csv");
    ASSERT_EQ(RunOvista("examples/batch.txt", "JOBS=1 COWLISTS"), 0) << ReadFile(folder_ / "stderr.txt");
    EXPECT_TRUE(ReadFile(Out() / "COWS.CSV") == golden);
    for (const char* name : kBatchFiles) {
        EXPECT_TRUE(ReadFile(fs::path(OVISTA_TEST_DATA) / "app/sample_batch" / name) == ReadFile(Out() / name))
            << name;
    }
    // The report's PDF has the pages after its two.
    const fs::path pdf = folder_ / "pdf" / "herd001.pdf";
    const std::string text = testing::CommandOutput("pdftotext -raw '" + pdf.string() + "' -");
    EXPECT_NE(text.find("Cows to act on"), std::string::npos) << text.substr(0, 200);
    EXPECT_EQ(testing::CommandOutput("pdfinfo '" + pdf.string() + "' | grep -c '^Pages: *[3-9]'"), "1\n");
    fs::remove_all(folder_ / "pdf");
    ASSERT_EQ(RunOvista("examples/batch.txt", "JOBS=2 COWLISTS"), 0) << ReadFile(folder_ / "stderr.txt");
    EXPECT_TRUE(ReadFile(Out() / "COWS.CSV") == golden);
    ASSERT_EQ(RunOvista("examples/batch.txt", "JOBS=2"), 0) << ReadFile(folder_ / "stderr.txt");
    EXPECT_FALSE(fs::exists(Out() / "COWS.CSV"));
}

// Printing on a machine with no printer (the print system pointed at nothing): the log is
// the analysis's, as with PDF files, and the reason is said once for the whole batch.
TEST_F(SampleBatch, WithoutAPrinterTheLogIsTheAnalysisAndTheReasonIsSaidOnce) {
    if (!fs::exists(ExampleBatch())) GTEST_SKIP() << "no examples/batch.txt";
    const fs::path errors = folder_ / "stderr.txt";
    const std::string command =
        "cd '" + std::string(OVISTA_SOURCE_DIR) + "' && QT_QPA_PLATFORM=offscreen OVISTA_TODAY=07/12/2026 " +
        "CUPS_SERVER='" + (folder_ / "no-cups.sock").string() + "' '" + OVISTA_BINARY_DIR +
        "/ovista' NODIALOGS JOBS=1 'XFERFOLDER=" + Out().string() +
        "' QMRBATCHFILE=examples/batch.txt 2>'" + errors.string() + "' >/dev/null";
    ASSERT_EQ(std::system(command.c_str()), 0) << ReadFile(errors);
    const std::string log = ReadFile(Out() / "QMRBATCH.REP");
    if (log.find("No printer") == std::string::npos && ReadFile(errors).find("No printer") == std::string::npos) {
        GTEST_SKIP() << "this machine has a printer";
    }
    const fs::path golden = fs::path(OVISTA_TEST_DATA) / "app/sample_batch";
    EXPECT_EQ(log, ReadFile(golden / "QMRBATCH.REP"));
    EXPECT_EQ(ReadFile(Out() / "TAMSLREP.CSV"), ReadFile(golden / "TAMSLREP.CSV"));
    const std::string said = ReadFile(errors);
    const std::size_t first = said.find("No printer is installed: the reports of this run are not printed");
    ASSERT_NE(first, std::string::npos) << said;
    EXPECT_EQ(said.find("No printer is installed", first + 1), std::string::npos) << said;
}

TEST_F(SampleBatch, AMissingAndAGarbledHerdFileAreLoggedAndTheOthersStillAnalysed) {
    if (!fs::exists(ExampleBatch())) GTEST_SKIP() << "no examples/batch.txt";
    ASSERT_EQ(RunOvista("examples/batch.txt"), 0);
    const std::string plainLog = ReadFile(Out() / "QMRBATCH.REP");

    std::mt19937 random(20240615);
    std::string garbage(20000, '\0');
    for (char& c : garbage) c = static_cast<char>(random() & 0xFF);
    const fs::path garbled = folder_ / "garbled.csv";
    WriteFile(garbled, garbage);
    const fs::path missing = folder_ / "missing.csv";
    const std::string batch = ReadFile(ExampleBatch());
    const std::string extended = missing.string() + ",H900,Nobody,Nowhere,15/06/2024\r\n" +
                                 garbled.string() + ",H901,Nobody,Nowhere,15/06/2024\r\n" +
                                 batch;
    WriteFile(folder_ / "batch.txt", extended);
    // The sample lines name their herds as lying beside the batch file.
    for (const auto& entry : fs::directory_iterator(ExampleBatch().parent_path())) {
        if (entry.path().extension() == ".csv") fs::copy_file(entry.path(), folder_ / entry.path().filename());
    }

    ASSERT_EQ(RunOvista((folder_ / "batch.txt").string()), 0);
    const std::vector<std::string> log = Lines(ReadFile(Out() / "QMRBATCH.REP"));
    ASSERT_GE(log.size(), 2u);
    EXPECT_EQ(log[0], "Could not load data from " + missing.string());
    EXPECT_EQ(log[1], "Could not load data from " + garbled.string());  // not text: refused whole
    const std::string said = ReadFile(folder_ / "stderr.txt");
    EXPECT_NE(said.find(garbled.string() + " is not a herd CSV file\n"), std::string::npos) << said;
    EXPECT_EQ(said.find(garbled.string() + ": Error"), std::string::npos) << said;  // no row messages
    std::string rest;
    for (std::size_t i = 2; i < log.size(); ++i) rest += log[i] + "\r\n";
    EXPECT_EQ(rest, plainLog);
}

}  // namespace
}  // namespace ovista
