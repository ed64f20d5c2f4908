#include "report/cow_list_pages.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "herd/textutil.h"
#include "report/page_header.h"
#include "report/recording_canvas.h"

namespace ovista {
namespace {

using namespace cow_list_layout;

CowLists Lists(std::int16_t system) {
    CowLists lists;
    lists.made = true;
    lists.system = system;
    lists.basis = kBasisEarlyPregTest;
    for (std::size_t k = 0; k < kCowListKinds; ++k) lists.lists[k].kind = static_cast<CowListKind>(k);
    return lists;
}

// n cows with the widest texts a list holds.
void Fill(CowList& list, std::size_t n) {
    list.applies = true;
    for (std::size_t i = 0; i < n; ++i) {
        list.cows.push_back({"WWWWWWWWWWW", MakeDate(28, 8, 2025), 12, MakeDate(28, 12, 2025), 14, 148});
    }
}

struct Drawn {
    CowListPages pages;
    HerdReport report;
    std::vector<RecordingCanvas> devices;
    explicit Drawn(const CowLists& lists) : pages(InterpretCowLists(lists)) {
        report.SHNO = "590001";
        report.ActCalvingPattern = kSeasonalCalving;
        for (int n = 1; n <= pages.PageCount(); ++n) {
            RecordingCanvas& device = devices.emplace_back(4961, 7016);
            ReportCanvas canvas(report, device, 600);
            pages.Draw(canvas, n);
        }
    }
    std::vector<std::string> Texts(int pageNo, double pointSize, bool bold) const {
        std::vector<std::string> texts;
        const RecordingCanvas& device = devices[static_cast<std::size_t>(pageNo - 1)];
        for (const DeviceCall& c : device.Texts()) {
            // Below the header band.
            if (c.y1 < kIntroTop * (device.Height() - 1) / 100) continue;
            if (c.pointSize == pointSize && c.bold == bold) texts.push_back(c.text);
        }
        return texts;
    }
    bool Has(int pageNo, const std::string& text) const {
        for (const DeviceCall& c : devices[static_cast<std::size_t>(pageNo - 1)].Texts()) {
            if (c.text == text) return true;
        }
        return false;
    }
};

TEST(CowListPages, AHerdWithoutAListGetsOnePageSayingWhy) {
    CowLists none = Lists(kSeasonalCalving);  // no rule applies: recalving basis
    const Drawn drawn(none);
    ASSERT_EQ(drawn.pages.PageCount(), 1);
    EXPECT_TRUE(drawn.Has(1, kCowListPageTitle));
    EXPECT_TRUE(drawn.Has(1, "This herd file has no mating or pregnancy-test records for the season"));
    none.List(CowListKind::NotMated3Wk).applies = true;
    EXPECT_EQ(InterpretCowLists(none).reason, "No cow still in the herd is on any of the lists for this season");
}

TEST(CowListPages, OneRow) {
    CowLists lists = Lists(kSeasonalCalving);
    lists.List(CowListKind::NotInCalf).applies = true;
    lists.List(CowListKind::NotInCalf).cows = {{"K2959", MakeDate(24, 9, 2025), 4, MakeDate(24, 1, 2026), 2, 0}};
    const Drawn drawn(lists);
    ASSERT_EQ(drawn.pages.PageCount(), 1);
    EXPECT_EQ(drawn.Texts(1, 11, true), std::vector<std::string>{"1 cow not in calf"});
    EXPECT_EQ(drawn.Texts(1, 8, false),
              (std::vector<std::string>{InterpretCowLists(lists).intro, CowListAdvice(CowListKind::NotInCalf), "K2959",
                                        "24/09/25", "4", "24/01/26", "2", ""}));
    // A cow identifier not in UTF-8 reads as Windows-1252.
    lists.List(CowListKind::NotInCalf).cows[0].cowId = "K\xe9" "2";
    EXPECT_EQ(InterpretCowLists(lists).sections[0].Cell(0, 0), "K\xc3\xa9" "2");
}

// A 1,000-cow herd's longest list: four pages, the heading repeated with "(continued)" on
// each page it runs on to, every row drawn once, and every text inside its box.
TEST(CowListPages, AListOverFourPages) {
    // Rows of the list's first page (under its advice) and of the pages it runs on to.
    const double body = kBodyBottom - kBodyTop - kHeadingHeight - kTableHeadHeight;
    const auto firstPage = static_cast<std::size_t>((body - kAdviceHeight) / kRowHeight);
    const auto laterPage = static_cast<std::size_t>(body / kRowHeight);
    for (const std::size_t rows : {firstPage + 2 * laterPage, firstPage + 2 * laterPage + 1}) {
        CowLists lists = Lists(kSeasonalCalving);
        Fill(lists.List(CowListKind::NotMated3Wk), rows);
        Fill(lists.List(CowListKind::CalvedLate), 1000);
        const Drawn drawn(lists);
        const int listPages = rows > firstPage + 2 * laterPage ? 4 : 3;
        std::size_t drawnRows = 0;
        int pagesOfList = 0;
        for (int n = 1; n <= drawn.pages.PageCount(); ++n) {
            for (const CowListPages::Block& block : drawn.pages.Blocks(n)) {
                if (block.section == 0) drawnRows += block.rows;
            }
            if (drawn.pages.Blocks(n).front().section == 0) ++pagesOfList;
        }
        EXPECT_EQ(drawnRows, rows);
        ASSERT_EQ(pagesOfList, listPages) << rows;
        for (int n = 1; n <= listPages; ++n) {
            const std::string heading =
                IntToText(static_cast<std::int64_t>(rows)) + " cows not mated in the first 3 weeks";
            EXPECT_EQ(drawn.Texts(n, 11, true).front(), n == 1 ? heading : ContinuedHeading(heading));
            EXPECT_TRUE(drawn.Has(n, "Page " + IntToText(n) + " of " + IntToText(drawn.pages.PageCount())));
        }
        EXPECT_EQ(drawn.pages.Blocks(listPages + 1).front().section, 1u);
    }

    CowLists lists = Lists(kYearRoundCalving);
    Fill(lists.List(CowListKind::NotMated80d), 1000);
    const Drawn drawn(lists);
    for (int n = 1; n <= drawn.pages.PageCount(); ++n) {
        const RecordingCanvas& device = drawn.devices[static_cast<std::size_t>(n - 1)];
        const auto x = [&](double percent) { return static_cast<int>(percent * (device.Width() - 1) / 100 + 0.5); };
        const auto y = [&](double percent) { return static_cast<int>(percent * (device.Height() - 1) / 100 + 0.5); };
        for (const DeviceCall& text : device.Texts()) {
            if (text.y1 < y(kIntroTop) || text.y1 >= y(kBodyBottom)) continue;  // header band, footer
            EXPECT_GE(text.x1, x(kLeftMargin)) << text.text;
            EXPECT_LE(text.x2, x(kRightEdge)) << text.text;
            EXPECT_LE(text.y2, y(kBodyBottom)) << text.text;
            if (text.y1 < y(kBodyTop)) continue;
            // Inside the column it starts in, when in the table.
            for (std::size_t c = 0; c < kCowListColumns; ++c) {
                if (text.x1 > x(kColumnX[c]) && text.x1 < x(kColumnX[c + 1]) && text.pointSize <= 8 &&
                    text.x1 != x(kLeftMargin)) {
                    EXPECT_LT(text.x2, x(kColumnX[c + 1])) << text.text;
                }
            }
        }
    }
}

}  // namespace
}  // namespace ovista
