#include "report/page2.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "report/recording_canvas.h"

namespace ovista {
namespace {

struct Page {
    explicit Page(const HerdReport& r) : report(r) { canvas.SetPageNo(2); }
    RecordingCanvas device{4961, 7016};
    HerdReport report;
    ReportCanvas canvas{report, device, 600};

    // The texts whose cell top is at page y, left to right as drawn.
    std::vector<std::string> Row(double y) const {
        std::vector<std::string> texts;
        for (const DeviceCall& call : device.Texts()) {
            if (call.y1 == canvas.PixelY(y)) texts.push_back(call.text);
        }
        return texts;
    }
    bool Has(std::string_view text) const {
        for (const DeviceCall& call : device.Texts()) {
            if (call.text == text) return true;
        }
        return false;
    }
};

TEST(Page2, CrossCheckPeriodMonthsAndBlankZeroMonths) {
    struct Case {
        Date start;
        std::vector<std::string> header;
    };
    const Case cases[] = {
        {MakeDate(1, 6, 2004),
         {"Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec", "Jan", "Feb", "Mar", "Apr", "May", "Total", "2004/05"}},
        {MakeDate(1, 1, 2005),
         {"Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec", "Total", "2005"}},
    };
    for (const Case& c : cases) {
        HerdReport r;
        r.CrossCheckStart = c.start;
        r.RecordsCrossCheck[kCrossCheckCalvings][1] = 3;
        r.RecordsCrossCheck[kCrossCheckCalvings][11] = 1200;
        r.RecordsCrossCheck[kCrossCheckCalvings][kCrossCheckYearTotal] = 1203;
        Page page(r);
        DrawPage2Body(page.canvas, kSeasonalCalving, {});
        std::vector<std::string> header = page.Row(24.0);
        std::sort(header.begin(), header.end());
        std::vector<std::string> expected = c.header;
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(header, expected);
        EXPECT_EQ(CrossCheckPeriodLabel(c.start), c.header.back());
        // Month columns leave 0 blank; the total is always written.
        EXPECT_EQ(page.Row(26.3), (std::vector<std::string>{"No. of calvings", "3", "1200", "1203"}));
        EXPECT_EQ(page.Row(26.3 + 2.3 * 4), (std::vector<std::string>{"No. of cows culled or died", "0"}));
    }
    // Month columns end half a unit before their right edge; the total ends at 95.5.
    HerdReport r;
    r.CrossCheckStart = MakeDate(1, 1, 2005);
    r.RecordsCrossCheck[kCrossCheckAIMatings][0] = 7;
    Page page(r);
    DrawPage2Body(page.canvas, kYearRoundCalving, {});
    int seven = 0;
    for (const DeviceCall& call : page.device.Texts()) {
        if (call.text == "7" && call.y1 == page.canvas.PixelY(28.6)) {
            ++seven;
            EXPECT_NEAR(call.x2, page.canvas.PixelX(22 + 74.0 / 13 - 0.5), 1);
        }
    }
    EXPECT_EQ(seven, 1);
}

TEST(Page2, NotesOfTheHerdsCalvingSystem) {
    InterpretationTexts texts;
    texts.Icr6wkText = "six week note";
    texts.SplitNicrText = "split note";
    texts.InducedText = "induced note";
    texts.VwpText = "waiting note";
    struct Case {
        int system;
        std::vector<std::string> present, absent;
    };
    const Case cases[] = {
        {kSeasonalCalving,
         {"six week note", "induced note", "Induced cows", "Calf and heifer management", "Drivers of the 6-week in-calf rate"},
         {"split note", "waiting note"}},
        {kSplitCalving, {"split note", "six week note"}, {"waiting note"}},
        {kYearRoundCalving,
         {"waiting note", "Heat detection", "Drivers of in-calf rates", "Return intervals"},
         {"Induced cows", "induced note", "six week note", "Calf and heifer management"}},
    };
    for (const Case& c : cases) {
        Page page{HerdReport{}};
        DrawPage2Body(page.canvas, c.system, texts);
        for (const std::string& text : c.present) EXPECT_TRUE(page.Has(text)) << c.system << ": " << text;
        for (const std::string& text : c.absent) EXPECT_FALSE(page.Has(text)) << c.system << ": " << text;
        EXPECT_EQ(page.Row(96), (std::vector<std::string>{
                                    "Users should obtain professional advice for their specific circumstances."}));
    }
}

}  // namespace
}  // namespace ovista
