// The batch log's lines as the runs write them and the benchmark reads them back.
#include "formats/batch_log.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace ovista {
namespace {

TEST(BatchLogLines, EachLineReadsBackAsWhatBecameOfTheHerd) {
    struct Case {
        std::string line;
        std::optional<LoggedOutcome> outcome;
        int code;
    };
    const std::string path = "C:\\Xfer\\herd 1.csv";
    const std::vector<Case> cases = {
        {AnalysedLine(path), LoggedOutcome::Analysed, 0},
        {NotPrintedLine(path, "No default printer"), LoggedOutcome::NotPrinted, 0},
        {NotLoadedLine(path, ""), LoggedOutcome::NotLoaded, 0},
        {NotLoadedLine(path, ": Range check error"), LoggedOutcome::NotLoaded, 0},
        {AnalysisFailedLine(path, kOutOfMemoryText), LoggedOutcome::AnalysisFailed, 0},
        {NoReportLine(path, 2), LoggedOutcome::NoReport, 2},
        {NoReportLine(path, -7), LoggedOutcome::NoReport, -7},
        // A reason that ends like an error code is still a failed analysis only when the
        // number is not one.
        {AnalysisFailedLine(path, "see with error code x"), LoggedOutcome::AnalysisFailed, 0},
        {"Task completed", std::nullopt, 0},
        {"", std::nullopt, 0},
    };
    for (const Case& c : cases) {
        int code = 0;
        EXPECT_EQ(ReadLogLine(c.line, code), c.outcome) << c.line;
        EXPECT_EQ(code, c.code) << c.line;
    }
    EXPECT_EQ(AnalysedLine("h.csv"), "Data analysed from h.csv");
    EXPECT_EQ(NoReportLine("h.csv", 3), "Analysis failes for h.csv with error code 3");
}

}  // namespace
}  // namespace ovista
