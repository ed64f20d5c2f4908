#include "formats/summary_file.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <string>

#include "herd/errors.h"
#include "herd/textutil.h"

namespace ovista {
namespace {

Date Day(int day, int month, int year) { return MakeDate(day, month, year); }

// A record whose 68 columns can be told apart: every count holds its column number, the
// dates are distinct days of 2024, and the texts are plain.
HerdReport NumberedReport() {
    HerdReport r;
    ClearHerdReport(r);
    r.Owner = "J Smith";
    r.Address = "12 Long Rd";
    r.SHNO = "H123";
    r.Error = 4;
    r.ReportDate = Day(5, 1, 2024);
    r.ActCalvingPattern = 6;
    r.AnalysisCalvingPattern = 7;
    r.CowsAnalysed = 8;
    r.CalvingStart = Day(9, 1, 2024);
    r.CalvingStop = Day(10, 1, 2024);
    r.CdateMSD = Day(11, 1, 2024);
    r.PDMSD = 0;  // column 12 left without a date
    r.Weekto80PC = 13;
    r.Clusters = 14;
    r.AnalType = 15;
    r.NRRSTart = Day(16, 1, 2024);
    r.NRRStop = Day(17, 1, 2024);
    r.NRR = 18;
    r.NRRNo = 19;
    r.CRSTart = Day(20, 1, 2024);
    r.CRStop = Day(21, 1, 2024);
    r.CR = 22;
    r.CRNo = 23;
    r.Yield2yo = 24.0;
    r.n2yo = 25;
    r.YieldMature = 26.5;
    r.nMature = 27;
    r.MSD = Day(28, 1, 2024);
    r.EOMating = Day(29, 1, 2024);
    r.EOAI = Day(30, 1, 2024);
    std::int16_t* counts[] = {
        &r.SR10d, &r.SR10d_n, &r.SR3wk, &r.SR3wk_n, &r.ICR6wklow, &r.ICR6wkHigh,
        &r.ICR6wk, &r.ICR6wkCarryOvers, &r.NICR, &r.NICRLow, &r.NICRHigh, &r.Calv3wk2yo,
        &r.Calv6wk2yo, &r.Tot2yo, &r.Calv3wk, &r.Calv6wk, &r.Calv9wk, &r.nCalved,
        &r.SR3wkEarlyMature, &r.SR3wkEM_n, &r.SplitNICR, &r.SplitNICRLow, &r.SplitNICRHigh,
        &r.SR80d, &r.SR80d_n, &r.ICR100dLower, &r.ICR100dUPper, &r.ICR100d, &r.NICR200d,
        &r.NICR200dLow, &r.NICR200dHigh, &r.nCalved130, &r.Est100dN, &r.SR80dMature,
        &r.SR80dMature_n, &r.VWP, &r.HeatIntervals, &r.HeatIntervals1824};
    std::int16_t column = 31;
    for (std::int16_t* count : counts) *count = column++;
    r.HeatIntervals1824 = -68;  // negative numbers keep their sign
    return r;
}

const std::string kNumberedColumns =
    "\"J Smith\",\"12 Long Rd\",H123,4,\"05/01/24\",6,7,8,\"09/01/24\",\"10/01/24\","
    "\"11/01/24\",\"  /  /  \",13,14,15,\"16/01/24\",\"17/01/24\",18,19,\"20/01/24\","
    "\"21/01/24\",22,23,24.0,25,26.5,27,\"28/01/24\",\"29/01/24\",\"30/01/24\","
    "31,32,33,34,35,36,37,38,39,40,41,42,43,44,45,46,47,48,49,50,51,52,53,54,55,56,57,58,"
    "59,60,61,62,63,64,65,66,67,-68,";

class SummaryFile : public ::testing::Test {
protected:
    SummaryFile() { SetToday(2024, 6, 15); }
};

TEST_F(SummaryFile, HeaderIsTheEightTextsJoined) {
    EXPECT_EQ(SummaryHeaderText(),
              "Owner,Address,SHNO,Error,ReportDate,ActCalvingPattern,AnalysisCalvingPattern, "
              "CowsAnalysed,CalvingStart,CalvingStop,"
              "Cdate MSD,PD MSD,Weekto80PC,Clusters,AnalType,NRRSTart,NRRStop,NRR,NRRNo,"
              "CRSTart,CRStop,CR,CRNo,"
              "Yield2yo,n 2yo,YieldMature,n Mature,"
              "MSD,EOMating,EOAI,SR10d,SR10d(n),SR3wk,SR3wk(n),ICR6wklow,ICR6wkHigh,ICR6wk,"
              "ICR6wkCarryOvers,"
              "NICR,NICRLow, NICRHigh,"
              "Calv3wk2yo,Calv6wk2yo,Tot2yo,Calv3wk,Calv6wk,Calv9wk,nCalved,SR3wkEarlyMature,"
              "SR3wkEM(n),"
              "SplitNICR,SplitNICRLow,SplitNICRHigh,SR80d,SR80d(n),"
              "ICR100dLower,ICR100dUPper,ICR100d,NICR200d,NICRLow, NICRHigh, nCalved130, "
              "Tech1,Insems,Pregs,.....");
}

TEST_F(SummaryFile, RowWithoutTechniciansEndsWithTheCommaAfterColumn68) {
    EXPECT_EQ(SummaryRowText(NumberedReport()), kNumberedColumns);
}

TEST_F(SummaryFile, NamedTechniciansFollowInEntryOrderAndUnspecifiedClosesTheRow) {
    HerdReport r = NumberedReport();
    r.Technicians[0] = {"AB", 30, 12};
    r.Technicians[1] = {"IDLE", 0, 0};  // no inseminations: not written
    r.Technicians[2] = {"CD", 5, 0};
    r.Technicians[10] = {"", 4, 1};
    EXPECT_EQ(SummaryRowText(r),
              kNumberedColumns + "\"AB\",30,12,\"CD\",5,0,\"UNSPEC\",4,1");
}

TEST_F(SummaryFile, InseminationsWithoutTechnicianRankedFirstGiveAnEmptyName) {
    HerdReport r = NumberedReport();
    r.Technicians[0] = {"", 7, 3};
    EXPECT_EQ(SummaryRowText(r), kNumberedColumns + "\"\",7,3,");
}

TEST_F(SummaryFile, TheLastOfElevenRankedEntriesIsWrittenAsUnspecified) {
    HerdReport r = NumberedReport();
    std::string triples;
    for (int i = 0; i < 10; ++i) {
        const std::string tech = "T" + std::to_string(i);
        r.Technicians[i] = {tech, static_cast<std::int16_t>(20 - i), 1};
        triples += "\"" + tech + "\"," + std::to_string(20 - i) + ",1,";
    }
    r.Technicians[10] = {"T10", 2, 0};
    EXPECT_EQ(SummaryRowText(r), kNumberedColumns + triples + "\"UNSPEC\",2,0");
}

TEST_F(SummaryFile, QuotesInsideTextsAreDoubledAndAHerdNumberThatNeedsThemIsQuoted) {
    HerdReport r = NumberedReport();
    r.Owner = "Smith, J";              // a comma is safe inside the quotes: unchanged
    r.Address = "\"Rosebank\" Farm";   // a quote is doubled
    r.SHNO = "12,3";                   // would shift every column: quoted
    r.Technicians[0] = {"O\"NEIL", 2, 1};
    const std::string row = SummaryRowText(r);
    const std::string head = "\"Smith, J\",\"\"\"Rosebank\"\" Farm\",\"12,3\",4,\"";
    const std::string tail = ",\"O\"\"NEIL\",2,1,";
    EXPECT_EQ(row.substr(0, head.size()), head);
    EXPECT_EQ(row.substr(row.size() - tail.size()), tail);

    const HerdReport back = ReadSummaryRow(row);
    EXPECT_EQ(back.Owner, r.Owner);
    EXPECT_EQ(back.Address, r.Address);
    EXPECT_EQ(back.SHNO, r.SHNO);
    EXPECT_EQ(back.Error, 4);
    EXPECT_EQ(back.Technicians[0], r.Technicians[0]);

    r.SHNO = "H\"1";
    EXPECT_EQ(ConceptionLineText(r).substr(0, 12), "\"H\"\"1\",0.00,");
}

TEST_F(SummaryFile, YieldsHaveOneDecimalAndConceptionValuesTwoRoundedAsPrintfDoes) {
    EXPECT_EQ(FormatYield(0.0), "0.0");
    EXPECT_EQ(FormatYield(12.25), "12.2");  // exact tie: even digit
    EXPECT_EQ(FormatYield(-3.0), "-3.0");
    EXPECT_EQ(FormatYield(14567.86), "14567.9");
    EXPECT_EQ(FormatConceptionValue(0.125), "0.12");
    EXPECT_EQ(FormatConceptionValue(0.135), "0.14");  // just above the tie in binary
    EXPECT_EQ(FormatConceptionValue(1.0), "1.00");
}

TEST_F(SummaryFile, WriteSummaryRowStampsTodayAndWritesBothLinesWithCrLf) {
    HerdReport r = NumberedReport();
    for (std::size_t i = 0; i < kConceptionDays; ++i) r.ConceptionByDay[i] = i / 200.0;
    std::ostringstream summary;
    std::ostringstream conception;
    WriteSummaryRow(r, summary, conception);

    EXPECT_EQ(r.ReportDate, Day(15, 6, 2024));
    std::string expected = kNumberedColumns;
    expected.replace(expected.find("05/01/24"), 8, "15/06/24");
    EXPECT_EQ(summary.str(), expected + "\r\n");
    HerdReport alone = NumberedReport();
    EXPECT_EQ(SummaryRowLine(alone), summary.str());
    EXPECT_EQ(alone.ReportDate, r.ReportDate);

    const std::string line = conception.str();
    ASSERT_GE(line.size(), 2u);
    EXPECT_EQ(line.substr(line.size() - 2), "\r\n");
    // In binary 0.005 lies just above its tie and 0.995 just below.
    EXPECT_EQ(line.substr(0, 20), "H123,0.00,0.01,0.01,");
    EXPECT_EQ(line.substr(line.size() - 12), ",0.99,0.99\r\n");
    EXPECT_EQ(std::count(line.begin(), line.end(), ','), 200);
}

TEST_F(SummaryFile, AFailedWriteIsAnErrorNamingTheFile) {
    std::ostringstream summary;
    std::ostringstream conception;
    conception.setstate(std::ios::badbit);
    HerdReport r = NumberedReport();
    try {
        WriteSummaryRow(r, summary, conception);
        FAIL() << "no error";
    } catch (const OvistaError& e) {
        EXPECT_STREQ(e.what(), "Could not write CONCEPS.CSV");
    }
}

TEST_F(SummaryFile, ARowReadBackGivesTheRecordWithWholeLitres) {
    HerdReport r = NumberedReport();
    r.Yield2yo = 12.6;
    r.YieldMature = 12.5;
    r.Technicians[0] = {"AB", 30, 12};
    r.Technicians[1] = {"CD", 5, 2};
    r.Technicians[10] = {"", 4, 1};
    r.ConceptionByDay[3] = 0.25;  // not in the row: stays zero

    const HerdReport back = ReadSummaryRow(SummaryRowText(r));
    HerdReport expected = r;
    expected.Yield2yo = 13.0;
    expected.YieldMature = 12.0;  // halves to even
    expected.Technicians[2] = {"UNSPEC", 4, 1};
    expected.Technicians[10] = {};
    expected.ConceptionByDay = {};
    EXPECT_EQ(back, expected);
    EXPECT_EQ(SummaryRowText(back).find(",13.0,25,12.0,27,") != std::string::npos, true);
}

TEST_F(SummaryFile, AShortRowLeavesTheRestZeroAndLongTextsAreCut) {
    const HerdReport back = ReadSummaryRow(
        "\"" + std::string(45, 'o') + "\",\"addr\",ABCDEFGHIJ,2,\"  /  /  \",3");
    EXPECT_EQ(back.Owner, std::string(40, 'o'));
    EXPECT_EQ(back.SHNO, "ABCDEFGH");
    EXPECT_EQ(back.Error, 2);
    EXPECT_EQ(back.ReportDate, 0);
    EXPECT_EQ(back.ActCalvingPattern, 3);
    EXPECT_EQ(back.AnalysisCalvingPattern, 0);
    EXPECT_EQ(back.Technicians[0], TechnicianEntry{});
}

TEST_F(SummaryFile, ARowThatCannotBeARecordIsAnError) {
    EXPECT_THROW(ReadSummaryRow("\"o\",\"a\",H,40000"), RangeError);
    EXPECT_THROW(ReadSummaryRow("\"o\",\"a\",H,0,\"31/02/06\""), DateError);
}

}  // namespace
}  // namespace ovista
