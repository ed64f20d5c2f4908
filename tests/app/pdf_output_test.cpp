// Reports as PDF files, as herd-management software asks for them without a person at the
// screen: "PDFFOLDER=" on a batch, and a preview turned into a PDF under "NODIALOGS". The
// built program is run on the sample herds; poppler's pdfinfo and pdftotext read the result.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "batch/pdf_names.h"
#include "test_files.h"

namespace ovista {
namespace {

namespace fs = std::filesystem;
using testing::Lines;
using testing::PrivateFolder;
using testing::ReadFile;
using testing::WriteFile;

using testing::CommandOutput;

std::vector<std::string> FileNames(const fs::path& folder) {
    std::vector<std::string> names;
    std::error_code ignored;
    for (const auto& entry : fs::directory_iterator(folder, ignored)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

class PdfOutput : public ::testing::Test {
protected:
    PdfOutput() : folder_(PrivateFolder("ovista_pdf_")) {
        fs::remove_all(folder_);
        fs::create_directories(folder_ / "out");
    }
    ~PdfOutput() override { fs::remove_all(folder_); }

    // The program started in the source folder with keys; its exit status.
    int Run(const std::string& keys, const std::string& environment = "") const {
        const std::string command = "cd '" OVISTA_SOURCE_DIR "' && QT_QPA_PLATFORM=offscreen "
                                    "OVISTA_TODAY=07/12/2026 " + environment + " '" OVISTA_BINARY_DIR
                                    "/ovista' NODIALOGS " + keys + " 2>'" +
                                    (folder_ / "stderr.txt").string() + "' >/dev/null";
        const int status = std::system(command.c_str());
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    int RunBatch(const fs::path& batch, const fs::path& pdfFolder) const {
        return Run("'XFERFOLDER=" + (folder_ / "out").string() + "' 'QMRBATCHFILE=" +
                   batch.string() + "' 'PDFFOLDER=" + pdfFolder.string() + "'");
    }

    // A two-page A4 report whose text holds every one of texts.
    static void ExpectReport(const fs::path& pdf, const std::vector<std::string>& texts) {
        ASSERT_TRUE(fs::exists(pdf)) << pdf;
        const std::string info = CommandOutput("pdfinfo '" + pdf.string() + "' 2>&1");
        EXPECT_NE(info.find("Pages:           2\n"), std::string::npos) << info;
        EXPECT_NE(info.find("Page size:       595 x 842 pts (A4)"), std::string::npos) << info;
        EXPECT_NE(info.find("Title:           Ovista Report"), std::string::npos) << info;
        EXPECT_NE(info.find("Producer:        ovista Version 2.H"), std::string::npos) << info;
        const std::string text = CommandOutput("pdftotext -raw '" + pdf.string() + "' -");
        for (const std::string& expected : texts) {
            EXPECT_NE(text.find(expected), std::string::npos) << pdf << " lacks " << expected;
        }
    }

    fs::path folder_;
};

TEST_F(PdfOutput, SampleBatchGivesATwoPageReportPerHerd) {
    const fs::path pdf = folder_ / "pdf" / "new";  // created by the run
    ASSERT_EQ(RunBatch("examples/batch.txt", pdf), 0) << ReadFile(folder_ / "stderr.txt");
    const std::vector<std::string> herds = {"590001", "920002", "150003", "680004", "470005", "430006"};
    for (std::size_t i = 0; i < herds.size(); ++i) {
        ExpectReport(pdf / ("herd00" + std::to_string(i + 1) + ".pdf"),
                     {herds[i], "Overall herd reproductive performance", "Version 2.H"});
    }
    // Only the finished reports: no temporary file is left behind.
    EXPECT_EQ(FileNames(pdf).size(), herds.size());
}

TEST_F(PdfOutput, SameNamedHerdFilesOfOneBatchKeepTheirOwnReports) {
    // Three herds in three folders, all "herd.csv"; a report of an earlier run is replaced.
    for (const char* sub : {"a", "b", "c"}) {
        fs::create_directories(folder_ / sub);
    }
    fs::copy_file(fs::path(OVISTA_SOURCE_DIR) / "examples/herd001.csv", folder_ / "a/herd.csv");
    fs::copy_file(fs::path(OVISTA_SOURCE_DIR) / "examples/herd002.csv", folder_ / "b/herd.csv");
    fs::copy_file(fs::path(OVISTA_SOURCE_DIR) / "examples/herd003.csv", folder_ / "c/herd.csv");
    WriteFile(folder_ / "batch.txt",
              (folder_ / "a/herd.csv").string() + ",590001,A,A,31/05/2026\r\n" +
                  (folder_ / "b/herd.csv").string() + ",920002,B,B,31/05/2026\r\n" +
                  (folder_ / "c/herd.csv").string() + ",150003,C,C,31/05/2026\r\n");
    WriteFile(folder_ / "pdf/herd.pdf", "an earlier run's report");

    ASSERT_EQ(RunBatch(folder_ / "batch.txt", folder_ / "pdf"), 0);
    EXPECT_EQ(FileNames(folder_ / "pdf"),
              (std::vector<std::string>{"herd-2.pdf", "herd-3.pdf", "herd.pdf"}));
    ExpectReport(folder_ / "pdf/herd.pdf", {"590001"});
    ExpectReport(folder_ / "pdf/herd-2.pdf", {"920002"});
    ExpectReport(folder_ / "pdf/herd-3.pdf", {"150003"});
}

TEST_F(PdfOutput, AnUnwritablePdfFolderIsLoggedPerHerdAndTheSummaryStillWritten) {
    WriteFile(folder_ / "blocker", "a file where the folder should be");
    ASSERT_EQ(RunBatch("examples/batch.txt", folder_ / "blocker/pdf"), 0);

    const std::vector<std::string> log = Lines(ReadFile(folder_ / "out/QMRBATCH.REP"));
    ASSERT_EQ(log.size(), 6u);
    for (std::size_t i = 0; i < log.size(); ++i) {
        const std::string herd = "herd00" + std::to_string(i + 1) + ".csv";
        EXPECT_EQ(log[i].rfind("Could not print report for " + herd + ": ", 0), 0u) << log[i];
        EXPECT_NE(log[i].find((folder_ / "blocker/pdf").string()), std::string::npos) << log[i];
    }
    EXPECT_EQ(Lines(ReadFile(folder_ / "out/TAMSLREP.CSV")).size(), 7u);  // header and six herds
}

TEST_F(PdfOutput, APreviewWithoutDialogsBecomesAPdfInTheWorkingFolder) {
    const std::string home = "HOME='" + folder_.string() + "'";
    ASSERT_EQ(Run("QMRPREVIEW CSVFILE=examples/herd004.csv", home), 0)
        << ReadFile(folder_ / "stderr.txt");
    ExpectReport(folder_ / "TAMSEL/herd004.pdf", {"680004"});
}

// A damaged stored result whose dates lie far outside the calendar (a fuzzing find: a date
// field of -2147483648) still prints; those dates print as no date.
TEST_F(PdfOutput, AStoredResultWithDatesBeyondTheCalendarPrints) {
    const std::string stored = OVISTA_TEST_DATA "/app/stored-result-date-int-min.dat";
    ASSERT_EQ(Run("'QMRSUMMARY=" + stored + "' 'PDFFOLDER=" + (folder_ / "pdf").string() + "'"), 0)
        << ReadFile(folder_ / "stderr.txt");
    ExpectReport(folder_ / "pdf/stored-result-date-int-min.pdf",
                 {"Split calving", "Overall herd reproductive performance"});
    EXPECT_EQ(ReadFile(folder_ / "stderr.txt"), "");
}

TEST(PdfFileNames, LastExtensionBecomesPdfAndRepeatsAreNumbered) {
    PdfFileNames names;
    const struct {
        const char* input;
        const char* pdf;
    } cases[] = {
        {"/herds/a/herd001.csv", "herd001.pdf"},
        {"/herds/b/herd001.csv", "herd001-2.pdf"},
        {"herd001.CSV", "herd001-3.pdf"},
        {"herd001-2.csv", "herd001-2-2.pdf"},  // its own name was given out already
        {"stored.result.dat", "stored.result.pdf"},
        {"noextension", "noextension.pdf"},
        {"/herds/", "report.pdf"},
    };
    for (const auto& c : cases) EXPECT_EQ(names.Claim(c.input), c.pdf) << c.input;
    EXPECT_EQ(PdfFileNameFor("/a/b/herd001.csv"), "herd001.pdf");
}

}  // namespace
}  // namespace ovista
