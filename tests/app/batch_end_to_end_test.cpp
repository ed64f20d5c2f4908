// The program as herd-management software calls it: a batch of the sample herds in
// examples/, unattended. The five files it writes are compared byte for byte with golden
// copies in tests/data/app/sample_batch/; "today" is fixed so the report dates compare too. When the analysis changes what it writes, run
//     OVISTA_UPDATE_GOLDEN=1 build/tests/test_app --gtest_filter='SampleBatch*'
// to rewrite them, and review the difference before committing it.
#include <gtest/gtest.h>
#include <unistd.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

const char* const kOutputFiles[] = {"QMRBATCH.REP", "TAMSLREP.CSV", "CONCEPS.CSV", "DbugQMR.TXT",
                                    "DbugQM1.TXT"};

// A folder of this test alone: other builds may run the same tests at the same time.
fs::path PrivateFolder(const std::string& prefix) {
    return fs::temp_directory_path() /
           (prefix + std::to_string(getpid()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
}

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void WriteFile(const fs::path& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

// True when every line ends CR LF, the last one included.
bool AllLinesEndCrLf(const std::string& text) {
    if (text.empty()) return true;
    if (text.size() < 2 || text.substr(text.size() - 2) != "\r\n") return false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r')) return false;
        if (text[i] == '\r' && (i + 1 == text.size() || text[i + 1] != '\n')) return false;
    }
    return true;
}

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
    int RunOvista(const std::string& batchFile) const {
        const std::string command = std::string("cd '") + OVISTA_SOURCE_DIR +
                                    "' && QT_QPA_PLATFORM=offscreen OVISTA_TODAY=07/12/2026 '" + OVISTA_BINARY_DIR +
                                    "/ovista' NODIALOGS 'XFERFOLDER=" + Out().string() +
                                    "' 'QMRBATCHFILE=" + batchFile + "' 2>'" +
                                    (folder_ / "stderr.txt").string() + "' >/dev/null";
        const int status = std::system(command.c_str());
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    fs::path Out() const { return folder_ / "out"; }

    static fs::path ExampleBatch() { return fs::path(OVISTA_SOURCE_DIR) / "examples/batch.txt"; }

    fs::path folder_;
};

TEST_F(SampleBatch, WritesTheFiveFilesWithCrLfAsTheGoldenCopies) {
    if (!fs::exists(ExampleBatch())) GTEST_SKIP() << "no examples/batch.txt";
    ASSERT_EQ(RunOvista("examples/batch.txt"), 0) << ReadFile(folder_ / "stderr.txt");

    for (const char* name : kOutputFiles) {
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
    for (const char* name : kOutputFiles) {
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

    ASSERT_EQ(RunOvista((folder_ / "batch.txt").string()), 0);
    const std::vector<std::string> log = Lines(ReadFile(Out() / "QMRBATCH.REP"));
    ASSERT_GE(log.size(), 2u);
    EXPECT_EQ(log[0], "Could not load data from " + missing.string());
    EXPECT_EQ(log[1].rfind("Analysis failes for " + garbled.string(), 0), 0u) << log[1];
    std::string rest;
    for (std::size_t i = 2; i < log.size(); ++i) rest += log[i] + "\r\n";
    EXPECT_EQ(rest, plainLog);
}

}  // namespace
