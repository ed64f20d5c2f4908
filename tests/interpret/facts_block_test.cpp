#include "interpret/facts_block.h"

#include <gtest/gtest.h>

#include <map>

namespace ovista {
namespace {

// y -> text of the marks, for one x.
std::map<double, std::string> TextsByY(const PageMarks& marks) {
    std::map<double, std::string> texts;
    for (const PageMark& m : marks) texts[m.y] = m.text;
    return texts;
}

TEST(FactsBlock, AddressCutsAtCommasOutsideQuotesAndLeavesEmptyPiecesBlank) {
    HerdReport r;
    r.Owner = "J Smith";
    r.Address = "12 Rd,  \"Farm, Hill\" ,, Town, NZ, six, seven";
    const PageMarks marks = OwnerBlockMarks(r);
    const std::map<double, std::string> expected{
        {6, "J Smith"}, {8, "12 Rd"}, {10, "Farm, Hill"}, {14, "Town"}, {16, "NZ"}};
    EXPECT_EQ(TextsByY(marks), expected);
    for (const PageMark& m : marks) {
        EXPECT_EQ(m.x, 10);
        EXPECT_EQ(m.pointSize, 12);
    }
}

TEST(FactsBlock, HeaderValuesByCalvingSystemAndPage) {
    HerdReport r;
    r.ReportDate = MakeDate(2, 7, 2005);
    r.AnalysisDate = MakeDate(1, 7, 2005);
    r.SHNO = "AB12";
    r.CowsAnalysed = 312;
    r.MSD = MakeDate(1, 6, 2005);
    r.CalvingStart = MakeDate(3, 1, 2004);
    r.CalvingStop = MakeDate(28, 12, 2004);
    struct Case {
        int system, page;
        Date eoMating;
        std::map<double, std::string> values;
    };
    const Case cases[] = {
        {1, 1, MakeDate(15, 8, 2005),
         {{3, "02/07/05"}, {5.5, "AB12"}, {8, "312"}, {10.5, "22/01/05 and 30/07/05"},
          {13, "01/06/05 - 15/08/05"}, {15.5, "10/03/06"}}},
        {2, 2, 0,
         {{7, "02/07/05"}, {9.5, "AB12"}, {12, "01/07/05"}, {14.5, "312"},
          {17, "01/02/05 and 01/06/05"}, {19.5, "01/06/05"}}},
        {3, 1, 0, {{5.5, "02/07/05"}, {8, "AB12"}, {10.5, "312"}, {13, "03/01/04 and 28/12/04"}}},
        {3, 2, 0,
         {{7, "02/07/05"}, {9.5, "AB12"}, {12, "01/07/05"}, {14.5, "312"},
          {17, "03/01/04 and 28/12/04"}}},
    };
    for (const Case& c : cases) {
        r.ActCalvingPattern = static_cast<std::int16_t>(c.system);
        r.EOMating = c.eoMating;
        const PageMarks marks = HeaderValueMarks(r, c.page);
        EXPECT_EQ(TextsByY(marks), c.values) << c.system << "/" << c.page;
        for (const PageMark& m : marks) EXPECT_EQ(m.x, 68);
    }
    // Without a mating start only the identity rows are written.
    r.ActCalvingPattern = 1;
    r.MSD = 0;
    EXPECT_EQ(HeaderValueMarks(r, 1).size(), 3u);
}

TEST(FactsBlock, PeriodLabel) {
    HerdReport r;
    r.ActCalvingPattern = 1;
    r.MSD = MakeDate(1, 6, 2005);
    EXPECT_EQ(PeriodLabel(r), "2005");
    r.ActCalvingPattern = 2;
    r.MSD = MakeDate(15, 3, 2005);
    EXPECT_EQ(PeriodLabel(r), "04/05");
    r.MSD = 0;  // the year-round pair stands in
    r.CalvingStart = MakeDate(1, 6, 2009);
    r.CalvingStop = MakeDate(31, 5, 2010);
    EXPECT_EQ(PeriodLabel(r), "09/10");
}

}  // namespace
}  // namespace ovista
