#include "formats/benchmark_files.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "formats/summary_file.h"
#include "herd/errors.h"

namespace ovista {
namespace {

std::string Row(const std::string& herdNumber, int system, int icr6wk, int nicr, int error = 0) {
    HerdReport r;
    ClearHerdReport(r);
    r.SHNO = herdNumber;
    r.Owner = "Owner of " + herdNumber;
    r.AnalysisCalvingPattern = static_cast<std::int16_t>(system);
    r.ActCalvingPattern = static_cast<std::int16_t>(system);
    r.Error = static_cast<std::int16_t>(error);
    r.ICR6wk = static_cast<std::int16_t>(icr6wk);
    r.NICR = static_cast<std::int16_t>(nicr);
    return SummaryRowText(r) + "\r\n";
}

TEST(BenchmarkFiles, SummaryRowsAreReadInOrderAndABadRowIsLeftOutByLine) {
    const std::string header = SummaryHeaderText() + "\r\n";
    std::string text = header + Row("11", 1, 60, 10) + "\r\n" + Row("12", 3, 0, 0, 7);
    text += "\"Bad\",\"\",13,0,\"31/02/26\",1,1,\r\n";  // a report date that is no date
    text += Row("14", 1, 70, 5);
    std::istringstream in(text);
    const SummaryHerds read = ReadSummaryHerds(in, "/x/TAMSLREP.CSV");
    ASSERT_EQ(read.herds.size(), 3u);
    EXPECT_EQ(read.herds[0].herdNumber, "11");
    EXPECT_EQ(read.herds[0].Value(HeadlineField::ICR6wk), 60);
    EXPECT_TRUE(read.herds[0].reported);
    EXPECT_FALSE(read.herds[1].reported) << "a year-round herd with error 7 has no report";
    EXPECT_EQ(read.herds[2].owner, "Owner of 14");
    ASSERT_EQ(read.skipped.size(), 1u);
    EXPECT_EQ(read.skipped[0], "/x/TAMSLREP.CSV line 5: '31/02/2026' is not a valid date; the row is left "
                               "out of the benchmark");

    // A file without rows, or without any line, has no herds; another kind of file is refused.
    for (const std::string& empty : {header, std::string()}) {
        std::istringstream none(empty);
        EXPECT_TRUE(ReadSummaryHerds(none, "s").herds.empty());
    }
    std::istringstream other("SHNO,Owner\r\n1,2\r\n");
    EXPECT_THROW(ReadSummaryHerds(other, "s"), OvistaError);
}

TEST(BenchmarkFiles, TheBatchLogCountsEachHerdByItsOutcome) {
    std::istringstream log(
        "Data analysed from a.csv\r\n"
        "Could not print report for b.csv: disk full\r\n"
        "Could not load data from c.csv\r\n"
        "Analysis failes for d.csv with error code 7\r\n"
        "Analysis failes for e with error code 5.csv with error code 5\r\n"
        "Analysis failes for f.csv: Range check error\r\n"
        "Analysis failes for g.csv with error code x\r\n"
        "a line of another kind\r\n");
    const BatchCounts counts = CountFromBatchLog(log);
    EXPECT_TRUE(counts.fromLog);
    EXPECT_EQ(counts.inBatch, 7);
    EXPECT_EQ(counts.analysed, 2);
    EXPECT_EQ(counts.notPrinted, 1);
    EXPECT_EQ(counts.notLoaded, 1);
    EXPECT_EQ(counts.noReport, 2);
    EXPECT_EQ(counts.analysisFailed, 2);
    EXPECT_EQ(counts.Failed(), 5);
    EXPECT_EQ(counts.errorCodes, (std::map<int, int>{{5, 1}, {7, 1}}));
}

TEST(BenchmarkFiles, EveryHerdHasALinePerHeadlineFigure) {
    std::vector<BenchmarkHerd> herds(2);
    herds[0].herdNumber = "A,1";  // quoted, as the summary file would write it
    herds[0].system = 3;
    herds[0].values[static_cast<std::size_t>(HeadlineField::ICR100d)] = 48;
    herds[1].herdNumber = "B2";
    herds[1].system = 3;
    herds[1].values[static_cast<std::size_t>(HeadlineField::ICR100d)] = 52;
    EXPECT_EQ(BenchmarkCsvText(herds, BenchmarkLines(herds)),
              "SHNO,CalvingSystem,Column,Value,HerdsCompared,Percentile,Quartile\r\n"
              "\"A,1\",Year-round,ICR100d,48,2,0,4\r\n"
              "\"A,1\",Year-round,NICR200d,0,0,,\r\n"
              "\"A,1\",Year-round,SR80d,0,0,,\r\n"
              "\"A,1\",Year-round,CR,0,0,,\r\n"
              "B2,Year-round,ICR100d,52,2,100,1\r\n"
              "B2,Year-round,NICR200d,0,0,,\r\n"
              "B2,Year-round,SR80d,0,0,,\r\n"
              "B2,Year-round,CR,0,0,,\r\n");
    EXPECT_EQ(BenchmarkCsvText({}, {}), "SHNO,CalvingSystem,Column,Value,HerdsCompared,Percentile,Quartile\r\n");
}

}  // namespace
}  // namespace ovista
