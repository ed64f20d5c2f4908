#include "report/page2.h"

#include "herd/textutil.h"
#include "interpret/report_dates.h"
#include "report/result_panels.h"

namespace ovista {
namespace {

constexpr double kTableY = 21;
constexpr double kPartBY = 35;
constexpr double kOverallY = 45;
constexpr double kDriversY = 55;
constexpr double kKeyIndicatorsY = 66.5;
constexpr double kFooterY = 88;

constexpr double kNoteHeight = 8.5;
constexpr double kCrossRowHeight = 2.3;
constexpr double kFirstCountX = 22;
constexpr double kCountColumnWidth = (96.0 - 22.0) / 13;

constexpr const char* kMonthNames[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                         "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
constexpr const char* kCrossCheckRows[kCrossCheckGroups] = {
    "No. of calvings", "No. of AI matings", "No. of early preg tests", "No. of late preg tests",
    "No. of cows culled or died"};

constexpr const char* kMilkTitle = "First calver milk production\\compared with mature cows";

void RestorePen(ReportCanvas& canvas) { canvas.SetPen(kBlack, canvas.BoxPenWidth(), PenStyle::Solid); }

void DrawCrossCheck(ReportCanvas& canvas) {
    const HerdReport& r = canvas.Report();
    const double top = kTableY + 1.5;  // header row text stands at top + 1.5
    const double boxTop = top + 1;
    const double boxBottom = boxTop + 6 * kCrossRowHeight;
    canvas.DrawBox(true, true, canvas.HeadingColour(), 4, boxTop, 96, boxBottom);

    canvas.SetPen(kBlack, 1, PenStyle::Solid);
    for (int k = 1; k <= 5; ++k) canvas.DrawRule(false, 4, boxTop + kCrossRowHeight * k, 96, boxTop + kCrossRowHeight * k);
    // The month block is set off by thick lines before the first month and before "Total".
    const int thick = canvas.PixelsPerInch() / 40;
    for (int c = 1; c <= 13; ++c) {
        canvas.SetPen(kBlack, c == 1 || c == 13 ? thick : 1, PenStyle::Solid);
        const double x = kFirstCountX + (c - 1) * kCountColumnWidth;
        canvas.DrawRule(false, x, boxTop, x, boxBottom);
    }
    RestorePen(canvas);

    canvas.SetFont(8, false);
    for (int k = 1; k <= 5; ++k) canvas.DrawTextRight(kCrossCheckRows[k - 1], 21, top + kCrossRowHeight * k + 1.5);
    canvas.SetFont(8, true);
    canvas.DrawTextRight(CrossCheckPeriodLabel(r.CrossCheckStart), 21, top + 1.5);

    canvas.SetFont(8, false);
    const int firstMonth = r.CrossCheckStart != 0 ? DateMonth(r.CrossCheckStart) : 0;
    const int startIndex = firstMonth >= 1 ? firstMonth - 1 : 0;
    auto columnRight = [](int c) { return kFirstCountX + c * kCountColumnWidth - 0.5; };
    for (int c = 1; c <= 12; ++c) canvas.DrawTextRight(kMonthNames[(startIndex + c - 1) % 12], columnRight(c), top + 1.5);
    canvas.DrawTextRight("Total", 95.5, top + 1.5);

    for (std::size_t g = 0; g < kCrossCheckGroups; ++g) {
        const double y = top + kCrossRowHeight * static_cast<double>(g + 1) + 1.5;
        const auto& counts = r.RecordsCrossCheck[g];
        for (int c = 1; c <= 12; ++c) {
            const std::int16_t count = counts[static_cast<std::size_t>(c - 1)];
            if (count != 0) canvas.DrawTextRight(FormatNumberTrimmed(count), columnRight(c), y);
        }
        canvas.DrawTextRight(FormatNumberTrimmed(counts[kCrossCheckYearTotal]), columnRight(13), y);
    }
}

void DrawSectionHeading(ReportCanvas& canvas, int number, std::string_view title, double y, bool rule) {
    if (rule) canvas.DrawRule(true, 4, y - 0.7, 96, y - 0.7);
    canvas.SetFont(12, true);
    canvas.DrawNumberedPoint(number, title, 4, y);
}

void DrawFooter(ReportCanvas& canvas) {
    canvas.SetFont(6, false);
    const double y = kFooterY;
    canvas.DrawTextAt("\xC2\xA9 Marrowind. All rights reserved.", 4, y + 4);
    canvas.DrawTextAt("No warranty of accuracy or reliability of the information provided by Tamsel Ovista is given,", 4,
                      y + 5);
    canvas.DrawTextAt("and no responsiblity for loss arising in any way from or in connection with its use is accepted by",
                      4, y + 6);
    canvas.DrawTextAt("Marrowind or the provider of this report.", 4, y + 7);
    canvas.DrawTextAt("Users should obtain professional advice for their specific circumstances.", 4, y + 8);
}

}  // namespace

std::string CrossCheckPeriodLabel(Date crossCheckStart) {
    if (crossCheckStart == 0) return {};
    const int year = DateYear(crossCheckStart);
    if (year == 0) return {};
    if (DateMonth(crossCheckStart) == 1) return IntToText(year);
    const int next = (year + 1) % 100;
    return IntToText(year) + "/" + (next < 10 ? "0" : "") + IntToText(next);
}

void DrawNotePanel(ReportCanvas& canvas, int columns, int column, std::string_view note, std::string_view title,
                   double y) {
    if (columns < 1 || columns > 3 || column < 1 || column > columns) return;
    double x1 = kLeftMargin;
    double width = kRightEdge - kLeftMargin;
    if (columns == 2) {
        width = kTwoColumnWidth;
        if (column == 2) x1 = kTwoColumnSecondX;
    } else if (columns == 3) {
        width = kThreeColumnWidth;
        x1 = column == 1 ? kLeftMargin : column == 2 ? kThreeColumnSecondX : kThreeColumnThirdX;
    }
    canvas.DrawTextBox(title, note, canvas.PanelColour(), x1, y, x1 + width, y + kNoteHeight, 8, 7);
}

void DrawPage2Body(ReportCanvas& canvas, int system, const InterpretationTexts& t) {
    const bool yearRound = system == kYearRoundCalving;
    DrawCrossCheck(canvas);

    canvas.SetFont(12, true);
    canvas.DrawTextAt("Part B)  Notes on the calculations", 4, kPartBY + 3);
    canvas.SetFont(10, false);
    canvas.DrawTextAt("Use the following notes to see how your results were calculated.", 4, kPartBY + 4.5);
    DrawSectionHeading(canvas, 1, "Overall herd reproductive performance", kPartBY + 7, false);

    if (system == kSeasonalCalving || system == kSplitCalving) {
        const int columns = system == kSplitCalving ? 3 : 2;
        DrawNotePanel(canvas, columns, 1, t.Icr6wkText, "6-week in-calf rate", kOverallY);
        DrawNotePanel(canvas, columns, 2, t.NicrText, "Not-in-calf rate", kOverallY);
        DrawNotePanel(canvas, columns, 3, t.SplitNicrText,
                      "Not-in-calf rate after two mating periods, for previous calving group", kOverallY);
    } else {
        DrawNotePanel(canvas, 2, 1, t.Icr100dText, "100-day in-calf rate", kOverallY);
        DrawNotePanel(canvas, 2, 2, t.Nicr200dText, "200-day not-in-calf rate", kOverallY);
    }

    const bool seasonalOrSplit = system == kSeasonalCalving || system == kSplitCalving;
    DrawSectionHeading(canvas, 2, seasonalOrSplit ? "Drivers of the 6-week in-calf rate" : "Drivers of in-calf rates",
                       kDriversY, true);
    const double driversY = kDriversY + 2;
    if (yearRound) {
        DrawNotePanel(canvas, 3, 1, t.Sr80dText, "80-day submission rate", driversY);
    } else {
        DrawNotePanel(canvas, 3, 1, t.Sr3wkText, "3-week submission rate", driversY);
    }
    DrawNotePanel(canvas, 3, 2, t.NrrText, "Non-return rate", driversY);
    DrawNotePanel(canvas, 3, 3, t.CrText, "Conception rate", driversY);

    const double y = kKeyIndicatorsY;
    DrawSectionHeading(canvas, 3, "Key indicators to areas for improvement", y, true);
    if (yearRound) {
        DrawGroupBracket(canvas, "Heat detection", kThreeColumnSecondX, kRightEdge, y + 1.9, y + 2.5, y + 3, 10);
        DrawNotePanel(canvas, 3, 1, t.VwpText, "Voluntary Waiting Period", y + 3.3);
        DrawNotePanel(canvas, 3, 2, t.MatureSrText, "Mature cow submission rate", y + 3.3);
        DrawNotePanel(canvas, 3, 3, t.HeatIntervalText, "Return intervals", y + 3.3);
        DrawNotePanel(canvas, 2, 1, t.FirstCalverMilkText, kMilkTitle, y + 12.3);
        DrawNotePanel(canvas, 2, 2, t.AiPracticeText, "AI practice", y + 12.3);
    } else {
        DrawGroupBracket(canvas, "Calf and heifer management", kLeftMargin, kThreeColumnSecondX + kThreeColumnWidth,
                         y + 1.9, y + 2.5, y + 3, 8);
        DrawNotePanel(canvas, 3, 1, t.HeiferPatternText, "Calving pattern of first calvers", y + 3.3);
        DrawNotePanel(canvas, 3, 2, t.FirstCalverMilkText, kMilkTitle, y + 3.3);
        DrawNotePanel(canvas, 3, 3, t.HerdPatternText, "Calving pattern of whole herd", y + 3.3);
        DrawNotePanel(canvas, 3, 1, t.MatureSrText, "Heat detection", y + 12.3);
        DrawNotePanel(canvas, 3, 2, t.AiPracticeText, "AI practice", y + 12.3);
        DrawNotePanel(canvas, 3, 3, t.BullsText, "Performance after week 6", y + 12.3);
    }

    DrawFooter(canvas);
    if (seasonalOrSplit) DrawNotePanel(canvas, 3, 3, t.InducedText, "Induced cows", kFooterY);
}

}  // namespace ovista
