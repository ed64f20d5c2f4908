#include "report/report_canvas.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "herd/textutil.h"
#include "interpret/ratings.h"
#include "report/recording_canvas.h"

namespace ovista {
namespace {

// A 600-dpi A4 page: 12 pt is 100 pixels high, 10 pt text 0.5 x 83 = 42 pixels a character.
struct Page {
    RecordingCanvas device{4961, 7016};
    HerdReport report;
    ReportCanvas canvas{report, device, 600};
};

std::vector<std::string> Wrapped(std::string_view text, double width, bool split) {
    Page page;
    page.canvas.SetFont(10, false);  // 42 px a character, 0.847 page % of 4961 px
    std::vector<std::string> lines;
    if (split) {
        page.canvas.SplitAndWrap(text, lines, width);
    } else {
        page.canvas.WrapText(text, lines, width);
    }
    return lines;
}

TEST(ReportCanvas, WrapsAtTheLastFittingSpace) {
    using Lines = std::vector<std::string>;
    struct Row {
        const char* why;
        const char* text;
        double width;
        bool split;
        Lines lines;
    };
    const Row rows[] = {
        {"narrower than the width: one line", "aaa bbb", 10, false, {"aaa bbb"}},
        {"a width below 5 means the whole page", "aaa bbb ccc", 4, false, {"aaa bbb ccc"}},
        {"breaks after the last space that fits", "aaa bbb ccc ddd", 7, false, {"aaa bbb", "ccc ddd"}},
        {"a word wider than the width stands alone", "aaaaaaaaaaaaaaaa bb cc", 5, false,
         {"aaaaaaaaaaaaaaaa", "bb cc"}},
        {"one long word stays whole", "aaaaaaaaaaaaaaaaaaaaa", 5, false, {"aaaaaaaaaaaaaaaaaaaaa"}},
        {"a backslash forces a break", "aaa\\bbb", 50, true, {"aaa", "bbb"}},
        {"leading and double backslashes add no empty line", "\\aaa\\\\bbb\\", 50, true,
         {"aaa", "bbb"}},
        {"an empty text gives no line", "", 50, true, {}},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(Wrapped(row.text, row.width, row.split), row.lines) << row.why;
    }
}

TEST(ReportCanvas, StarCountsAtTheirBoundaries) {
    struct Row {
        double value;
        int stars;
        int starsLow;
    };
    // Higher is better with average from 50, top from 80; lower is better with
    // average below 50, top below 20.
    const Row rows[] = {{0, 0, 0},   {19.9, 1, 5}, {20, 1, 3}, {49.9, 1, 3}, {50, 3, 1},
                        {79.9, 3, 1}, {80, 5, 1},   {-1, 1, 5}};
    for (const Row& row : rows) {
        EXPECT_EQ(StarCount(row.value, 50, 80), row.stars) << row.value;
        EXPECT_EQ(StarCountLow(row.value, 50, 20), row.starsLow) << row.value;
    }
    EXPECT_EQ(AdviceFor(60, 60), AdviceMark::Ok);
    EXPECT_EQ(AdviceFor(59, 60), AdviceMark::SeekAdvice);
    EXPECT_EQ(AdviceForLow(60, 60), AdviceMark::Ok);
    EXPECT_EQ(AdviceForLow(61, 60), AdviceMark::SeekAdvice);
    EXPECT_EQ(AdviceForLow(0, 60), AdviceMark::None);
}

TEST(ReportCanvas, StarsAreCentredAndPixelsRoundHalfToEven) {
    Page page;
    page.canvas.DrawStarRating(50, 10, 80, 50, 80);
    const auto& calls = page.device.Calls();
    ASSERT_EQ(calls.size(), 5u);
    // Five stars 5.8 wide centred on 50: the first from 47.1, the last to 52.9.
    EXPECT_EQ(calls.front().x1, page.canvas.PixelX(47.1));
    EXPECT_EQ(calls.back().x2, page.canvas.PixelX(52.9));
    RecordingCanvas small(201, 101);  // scales 2 and 1
    ReportCanvas c(page.report, small, 96);
    EXPECT_EQ(c.PixelX(1.25), 2);  // 2.5 -> 2
    EXPECT_EQ(c.PixelX(1.75), 4);  // 3.5 -> 4
    EXPECT_EQ(c.PixelY(2.5), 2);
    // Every place rounds as RoundHalfEven does: halves both ways, negatives, a hair off a
    // half, past 2^51 (clamped).
    for (const double y : {-3.5, -2.5, -0.5, -0.3, 0.5, 1.5, 0.49999999999999994, 2.5000000000000004, 123456.5,
                           8388609.5, 0x1p52 + 2, -2e9}) {
        EXPECT_EQ(c.PixelY(y), static_cast<int>(std::clamp(RoundHalfEven(y), -1e9, 1e9))) << y;
    }

    // A degenerate one-pixel page draws without failing (every length there is 0 or infinite).
    RecordingCanvas dot(1, 1);
    ReportCanvas onDot(page.report, dot, 96);
    onDot.SetFont(10, false);
    std::vector<std::string> lines;
    onDot.SplitAndWrap("a few words\\to wrap", lines, 20);
    onDot.DrawTextBox("Title", "Body text", kBlack, 10, 10, 40, 20, 8, 7);
    onDot.DrawTextRight("right", 50, 50);
    EXPECT_FALSE(dot.Calls().empty());
}

TEST(ReportCanvas, CellTextsAreCutToTheStartThatMeasuresNoWiderThanTheirWidth) {
    // Widths on and a hair beside each character's boundary, none, below none, beyond any
    // page; pages of odd scales; a two-byte character is never split.
    for (const int pageWidth : {4961, 4958, 201, 1}) {
        RecordingCanvas device(pageWidth, 7016);
        const HerdReport report;
        ReportCanvas canvas(report, device, 600);
        canvas.SetFont(10, false);
        const std::string text = "ab\xc3\xa9" "cd";
        std::vector<double> widths = {0, -0.5, -1e12, 1e12, std::nan("")};
        for (int chars = 1; chars <= 5; ++chars) {
            const double edge = canvas.TextWidth(text.substr(0, chars + (chars >= 3 ? 1 : 0)));
            widths.insert(widths.end(), {edge, std::nextafter(edge, 0.0), std::nextafter(edge, 1e9)});
        }
        for (const double width : widths) {
            std::string_view expected = text;
            while (!expected.empty() && canvas.TextWidth(expected) > width) {
                expected.remove_suffix(expected.size() >= 2 && expected[expected.size() - 2] == '\xc3' ? 2 : 1);
            }
            const std::size_t before = device.Calls().size();
            canvas.DrawTextFitting(text, 10, 10, width);
            ASSERT_EQ(device.Calls().size(), before + 1);
            EXPECT_EQ(device.Calls().back().text, expected) << pageWidth << ' ' << width;
        }
    }
}

TEST(ReportCanvas, StarRowsKeepInsideTheirCell) {
    // A rating cell 10..16.8 at rows 20..22: five stars (5.8 wide) kept 0.3 inside may be
    // centred from 13.2 to 13.6.
    const struct {
        const char* why;
        double x, y;
        int count;
        double drawnAt;
    } rows[] = {
        {"0.3 kept on the right: stays", 13.6, 20.5, 5, 13.6},
        {"0.3 kept on the left: stays", 13.2, 20.5, 5, 13.2},
        {"0.29 on the right: centred", 13.61, 20.5, 5, 13.4},
        {"0.29 on the left: centred", 13.19, 20.5, 5, 13.4},
        {"one star near the edge keeps 0.3: stays", 15.7, 20.5, 1, 15.7},
        {"a row outside the cell stays", 16.5, 22.1, 5, 16.5},
    };
    for (const auto& row : rows) {
        Page page;
        page.canvas.AddPanelCell({10, 20, 16.8, 22});
        page.canvas.DrawStars(row.x, row.y, row.count);
        const double half = (row.count * kStarWidth + (row.count - 1) * kStarGap) / 2;
        const auto& calls = page.device.Calls();
        EXPECT_NEAR(calls.front().x1 / page.canvas.ScaleX(), row.drawnAt - half, 0.02) << row.why;
        EXPECT_NEAR(calls.back().x2 / page.canvas.ScaleX(), row.drawnAt + half, 0.02) << row.why;
        EXPECT_EQ(calls.front().y1, page.canvas.PixelY(row.y)) << row.why;
    }
    Page page;  // a new page starts without cells
    page.canvas.AddPanelCell({10, 20, 16.8, 22});
    page.canvas.SetPageNo(2);
    EXPECT_EQ(page.canvas.CellAt(13, 21), nullptr);
}

TEST(ReportCanvas, TechnicianTextsShrinkThenAreCut) {
    // Recording metrics: a character is 0.042 page % wide per point, in whole pixels. The
    // cell ends at 20, so a text at 12 has 7.7 of room.
    const std::string ellipsis = "\xe2\x80\xa6";
    const struct {
        const char* why;
        std::string text;
        double drawnSize;
        std::string drawn;
    } rows[] = {
        {"a short identifier stays as it is", "ABCDEFGH", 7, "ABCDEFGH"},
        {"13 characters take 7.64 of 7.7: stay", "ABCDEFGHIJKLM", 7, "ABCDEFGHIJKLM"},
        {"14 characters are drawn half a point smaller", "ABCDEFGHIJKLMN", 6.5, "ABCDEFGHIJKLMN"},
        {"18 characters need the smallest size", "ABCDEFGHIJKLMNOPQR", 5, "ABCDEFGHIJKLMNOPQR"},
        {"wider still: cut, ending in an ellipsis", "ABCDEFGHIJKLMNOPQRST", 5, "ABCDEFGHIJKLMNOPQ" + ellipsis},
        {"cut between whole characters", "\xc3\x89" "BCDEFGHIJKLMNOPQRST", 5, "\xc3\x89" "BCDEFGHIJKLMNOPQ" + ellipsis},
    };
    for (const auto& row : rows) {
        Page page;
        page.canvas.AddPanelCell({10, 60, 20, 64});
        const double right = page.canvas.DrawTextInCell(row.text, 12, 61, 7, false);
        const auto texts = page.device.Texts();
        ASSERT_EQ(texts.size(), 1u) << row.why;
        EXPECT_EQ(texts[0].text, row.drawn) << row.why;
        EXPECT_DOUBLE_EQ(texts[0].pointSize, row.drawnSize) << row.why;
        EXPECT_EQ(texts[0].x1, page.canvas.PixelX(12)) << row.why;
        EXPECT_LE(right, 20 - kCellInset + 1e-9) << row.why;
    }
}

TEST(ReportCanvas, OwnerLinesShrinkToThePanelThenAreCut) {
    // A character 39.7 / 480 page % wide per point: at x = 10 a line has 39.7 of room, which
    // 40 characters fill exactly at 12 pt and 60 at 8 pt.
    const double room = kOwnerPanelRight - kCellInset - 10;
    const auto width = [](std::string_view text, double size) {
        double chars = 0;
        for (const char c : text) chars += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
        return chars * size * 39.7 / 480;
    };
    const std::string ellipsis = "\xe2\x80\xa6";
    const std::string x56(56, 'x');
    const struct {
        const char* why;
        std::string text;
        double size;
        std::string drawn;
    } rows[] = {
        {"fits at 12 pt", std::string(30, 'x'), 12, std::string(30, 'x')},
        {"ends exactly 0.3 before the edge: stays", std::string(40, 'x'), 12, std::string(40, 'x')},
        {"needs 10.5 pt", std::string(45, 'x'), 10.5, std::string(45, 'x')},
        {"needs 8 pt", std::string(60, 'x'), 8, std::string(60, 'x')},
        {"cut at 8 pt after a whole two-byte letter", x56 + "Ng\xc4\x81ruaw\xc4\x81hia Road", 8,
         x56 + "Ng\xc4\x81" + ellipsis},
        {"a combining macron goes with its letter", x56 + "Nga\xcc\x84ruawa\xcc\x84hia Road", 8,
         x56 + "Ng" + ellipsis},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(FitText(row.text, 12, kSmallestOwnerSize, room, width), (FittedText{row.size, row.drawn}))
            << row.why;
    }
}

TEST(ReportCanvas, TextBoxOnPageOneCentresItsBlockAndEmptyTextsDrawOnlyThePanel) {
    Page page;
    page.canvas.DrawTextBox("", "", kBlack, 10, 10, 40, 14, 8, 7);
    ASSERT_EQ(page.device.Calls().size(), 1u);
    EXPECT_EQ(page.device.Calls()[0].op, DeviceCall::Op::Rect);

    Page titled;
    titled.canvas.DrawTextBox("Title", "Body", kBlack, 10, 10, 40, 20, 8, 7);
    const auto texts = titled.device.Texts();
    ASSERT_EQ(texts.size(), 2u);
    const int mid = titled.canvas.PixelY(15);
    EXPECT_NEAR((texts[0].y1 + texts[1].y2) / 2.0, mid, 2);
    EXPECT_TRUE(texts[0].bold);
    EXPECT_NEAR((texts[0].x1 + texts[0].x2) / 2.0, titled.canvas.PixelX(25), 1);
}

}  // namespace
}  // namespace ovista
