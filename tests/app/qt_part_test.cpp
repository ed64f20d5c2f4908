// The program loads its Qt part (qt/ovista-qt.so beside it) only when a run needs windows or a
// report: a copy of the program without it still analyses a batch that puts out no report,
// and every other run says plainly what is missing instead of failing to start.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "test_files.h"

namespace ovista {
namespace {

namespace fs = std::filesystem;
using testing::PrivateFolder;
using testing::ReadFile;

TEST(QtPart, ProgramWithoutItRunsWhatNeedsNoReportAndNamesItOtherwise) {
#ifdef OVISTA_QT_PART_INSIDE
    GTEST_SKIP() << "this build's program carries its Qt part";
#endif
    const fs::path folder = PrivateFolder("ovista_qt_part_");
    fs::remove_all(folder);
    fs::create_directories(folder / "bin");
    fs::copy_file(fs::path(OVISTA_BINARY_DIR) / "ovista", folder / "bin/ovista");
    const fs::path golden = fs::path(OVISTA_TEST_DATA) / "app/sample_batch/TAMSLREP.CSV";

    struct Case {
        const char* what;
        const char* environment;  // besides "today" and a print system without printers
        bool noDialogs;
        bool pdf;
        int status;
        bool summaryRows;     // the sample batch's rows, as the whole program writes them
        const char* message;  // in standard error or the batch log
    };
    const Case cases[] = {
        {"no printer, no report", "", true, false, 0, true, "No printer is installed"},
        {"PDF reports: each herd's report fails, the batch goes on", "", true, true, 0, true,
         "Could not print report for herd006.csv: The program's windows, printing and report pages are "
         "missing: "},
        {"a display: message boxes need it", "DISPLAY=:99", false, false, 1, false,
         "The program's windows, printing and report pages are missing: "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const fs::path out = folder / "out";
        fs::remove_all(out);
        fs::create_directories(out);
        const std::string command = "cd '" + std::string(OVISTA_SOURCE_DIR) + "' && env -u DISPLAY -u WAYLAND_DISPLAY " +
                                    "OVISTA_TODAY=07/12/2026 CUPS_SERVER='" + (folder / "none.sock").string() +
                                    "' " + c.environment + " '" + (folder / "bin/ovista").string() + "' " + (c.noDialogs ? "NODIALOGS" : "") +
                                    (c.pdf ? " 'PDFFOLDER=" + (folder / "pdf").string() + "'" : "") +
                                    " 'XFERFOLDER=" + out.string() + "' QMRBATCHFILE=examples/batch.txt 2>'" +
                                    (folder / "stderr.txt").string() + "' >/dev/null";
        const int status = std::system(command.c_str());
        const std::string errors = ReadFile(folder / "stderr.txt") +
                                   (fs::exists(out / "QMRBATCH.REP") ? ReadFile(out / "QMRBATCH.REP") : "");
        ASSERT_TRUE(WIFEXITED(status)) << errors;
        EXPECT_EQ(WEXITSTATUS(status), c.status) << errors;
        EXPECT_NE(errors.find(c.message), std::string::npos) << errors;
        if (c.pdf || !c.noDialogs) {
            EXPECT_NE(errors.find("ovista-qt.so"), std::string::npos) << errors;
        }
        if (c.summaryRows) {
            EXPECT_EQ(ReadFile(out / "TAMSLREP.CSV"), ReadFile(golden));
        } else {
            EXPECT_FALSE(fs::exists(out / "TAMSLREP.CSV"));
        }
    }
    fs::remove_all(folder);
}

}  // namespace
}  // namespace ovista
