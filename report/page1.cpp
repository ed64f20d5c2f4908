#include "report/page1.h"

#include <cstdint>
#include <string>

#include "report/result_panels.h"

namespace ovista {
namespace {

constexpr double kSection1 = 18.5;
constexpr double kChartTop = 30.5;
constexpr double kSection2 = 43;
constexpr double kLegendTop = 85;
constexpr double kLegendBottom = 94.7;

void SectionHeading(ReportCanvas& canvas, int number, const char* title, double y, bool ruled) {
    if (ruled) canvas.DrawRule(true, kLeftMargin, y - 0.7, kRightEdge, y - 0.7);
    canvas.SetFont(12, true);
    canvas.DrawNumberedPoint(number, title, kLeftMargin, y);
}

void DrawSection1(ReportCanvas& canvas, int system) {
    const HerdReport& r = canvas.Report();
    const double y = kSection1;
    const double top = y + 2.5;
    const bool seasonalOrSplit = system == kSeasonalCalving || system == kSplitCalving;
    SectionHeading(canvas, 1, "Overall herd reproductive performance", y, false);
    if (!seasonalOrSplit) {
        DrawResultPanel(canvas, 2, 1, 1, "Percentage of cows pregnant by 100 days after calving",
                        "100-day in-calf rate", top);
        DrawResultPanel(canvas, 2, 2, 11, "Percentage of cows that did not become pregnant by 200 days after calving",
                        "200-day not-in-calf rate", top);
    } else {
        const int columns = system == kSplitCalving ? 3 : 2;
        DrawResultPanel(canvas, columns, 1, 1, "Percentage of cows pregnant in the first 6 weeks of mating",
                        "6-week in-calf rate", top);
        const std::string weeks = std::to_string(WeeksOfMating(r.MSD, r.EOMating));
        DrawResultPanel(canvas, columns, 2, 11, "Percentage of cows not pregnant after " + weeks + " weeks of mating",
                        "Not-in-calf rate", top);
        if (system == kSplitCalving) {
            DrawResultPanel(canvas, 3, 3, 11, "% of cows not pregnant after two mating periods",
                            "Not-in-calf rate after two mating periods, for previous calving group", top);
        }
    }
    if (r.AnalType == kBasisEarlyPregTest) return;
    const char* note;
    if (!seasonalOrSplit) {
        note = r.ICR100d != 0 ? "Your herd's 100-day in-calf rate has been estimated - Supply results of regular "
                                "rectal pregnancy testing for greater accuracy."
                              : "Your herd's 100-day in-calf rate could not be estimated due to insufficient data.";
    } else {
        note = r.ICR6wk != 0 ? "Your herd's 6-week in-calf rate has been estimated - Supply results of early "
                               "rectal pregnancy testing for greater accuracy."
                             : "Your herd's 6-week in-calf rate could not be estimated due to insufficient data.";
    }
    canvas.SetFont(7, false);
    canvas.DrawTextCentred(note, "", 50, top + 9.5);
}

void DrawSection2(ReportCanvas& canvas, int system) {
    const double y = kSection2;
    const bool seasonalOrSplit = system == kSeasonalCalving || system == kSplitCalving;
    SectionHeading(canvas, 2, seasonalOrSplit ? "Drivers of the 6-week in-calf rate" : "Drivers of in-calf rates", y,
                   true);
    const double top = y + 2;
    if (system == kYearRoundCalving) {
        DrawResultPanel(canvas, 3, 1, 1, "% of cows that were inseminated by 80 days after calving",
                        "80-day submission rate", top);
    } else {
        DrawResultPanel(canvas, 3, 1, 1, "% of cows that were inseminated in the first 3 weeks of mating",
                        "3-week submission rate", top);
    }
    DrawResultPanel(canvas, 3, 2, 1, "% of inseminations that were not followed by a return to heat",
                    "Non-return rate", top);
    DrawResultPanel(canvas, 3, 3, 1, "% of inseminations that resulted in a confirmed pregnancy", "Conception rate",
                    top);
}

void DrawSection3(ReportCanvas& canvas, int system) {
    const double y = system < kYearRoundCalving ? 55 : 57;
    SectionHeading(canvas, 3, "Key indicators to areas for improvement", y, true);
    const double row = y + 3.3;
    if (system == kYearRoundCalving) {
        DrawGroupBracket(canvas, "Heat detection", kThreeColumnSecondX, kRightEdge, y + 1.9, y + 2.5, y + 3.0, 10);
        DrawResultPanel(canvas, 3, 1, 11, "Voluntary waiting periods less than 60 days are generally more profitable.",
                        "Voluntary Waiting Period", row);
        DrawResultPanel(canvas, 3, 2, 1, "A high % of mature cows should be inseminated by 80 days after calving.",
                        "Mature cow submission rate", row);
        DrawResultPanel(canvas, 3, 3, 1, "A high % of cows that return to heat should do so between 18 and 24 days.",
                        "Return intervals", row);
        const double second = y + 14.3;
        DrawResultPanel(canvas, 2, 1, 7, "Average litres per day",
                        "First calver milk production\\compared with mature cows", second);
        DrawResultPanel(canvas, 2, 2, 5,
                        "Variations in conception rates achieved by technicians should be investigated.",
                        "AI practice", second);
        return;
    }
    DrawGroupBracket(canvas, "Calf and heifer management", kLeftMargin, 64.8, y + 1.9, y + 2.5, y + 3.0, 10);
    DrawResultPanel(canvas, 3, 1, 2, "Well managed heifers get in calf quickly and calve early.",
                    "Calving pattern of first calvers", row);
    DrawResultPanel(canvas, 3, 2, 7, "Average litres per day", "First calver milk production\\compared with mature cows",
                    row);
    DrawResultPanel(canvas, 3, 3, 4, "Did late calvers reduce in-calf rates?", "Calving pattern of whole herd", row);
    const double second = y + 17.4;
    DrawResultPanel(canvas, 3, 1, 1,
                    "A high % of early-calved mature cows should be inseminated in the first 3 weeks of mating.",
                    "Heat detection", second);
    DrawResultPanel(canvas, 3, 2, 5,
                    "Variations in conception rates achieved by technicians indicate the need to review AI practice.",
                    "AI practice", second);
    DrawResultPanel(canvas, 3, 3, 6,
                    "If you ran bulls after week 6 of mating, not-in-calf rate helps assess bull performance.",
                    "Performance after week 6", second);
}

void DrawLegend(ReportCanvas& canvas, int system) {
    const double left = system == kYearRoundCalving ? 20 : kLeftMargin;
    const double edges[4] = {left, left + 8.8, left + 18.1, system == kYearRoundCalving ? left + 61.1 : 65};
    const char* titles[3] = {"Rating", "What does it tell me?", "What should I do?"};
    const double heights[5] = {2.6, 1.6, 1.6, 1.6, 2.3};
    double top = kLegendTop;
    for (int c = 0; c < 3; ++c) {
        canvas.DrawTextBox(titles[c], "", canvas.PanelColour(), edges[c], top, edges[c + 1], top + heights[0], 7, 7);
    }
    top += heights[0];
    struct Row {
        double value;
        const char* name;
        const char* advice;
    };
    const Row rows[3] = {{100, "Top result", "Ideal - keep up the good work!"},
                         {70, "Average", "Getting there - focus on getting the details right."},
                         {30, "Below average", "Plenty of room to improve - seek professional advice."}};
    for (int k = 1; k < 5; ++k) {
        const double bottom = top + heights[k];
        for (int c = 0; c < 3; ++c) canvas.DrawBox(false, true, canvas.HeadingColour(), edges[c], top, edges[c + 1], bottom);
        canvas.SetFont(7, false);
        const double nameX = (edges[1] + edges[2]) / 2;
        if (k < 4) {
            const Row& row = rows[k - 1];
            canvas.DrawStarRating((edges[0] + edges[1]) / 2, top + 0.3, row.value, 50, 80);
            canvas.DrawTextCentred(row.name, "", nameX, top + 0.3);
            canvas.DrawTextAt(row.advice, edges[2] + 0.6, top + 0.3);
        } else {
            canvas.DrawTextCentred("No result", "", nameX, top + 0.3);
            canvas.DrawTextAt("Not enough information provided. Calving and insemination dates, and", edges[2] + 0.6,
                              top + 0.1);
            canvas.DrawTextAt(system == kSeasonalCalving || system == kSplitCalving
                                  ? "results from early rectal pregnancy testing may be required."
                                  : "results from regular rectal pregnancy testing may be required.",
                              edges[2] + 0.6, top + 1);
        }
        top = bottom;
    }
}

void DrawInducedBox(ReportCanvas& canvas) {
    const double x = kThreeColumnThirdX;
    canvas.DrawTextBox("Induced cows", "", canvas.PanelColour(), x, kLegendTop, kRightEdge, 87.6, 7, 7);
    canvas.DrawBox(false, true, canvas.HeadingColour(), x, 87.6, kRightEdge, kLegendBottom);
    canvas.SetFont(8, false);
    const double w = canvas.TextWidth("Average calving date");  // alignment only, never written
    const double t = 87.6 + (kLegendBottom - 87.6 - 7.5) / 2;
    const double inset = (kThreeColumnWidth - (w + 10.5)) / 2;
    canvas.DrawTextRight("% herd induced", x + inset + w, t + 1.2);
    canvas.DrawBox(true, true, canvas.PanelColour(), x + inset + w + 1, t + 0.8, x + inset + w + 10.5, t + 2.8);
    DrawResultPanel(canvas, 3, 3, 12, "", "", t - 1.4);
}

void DrawFooter(ReportCanvas& canvas) {
    canvas.SetFont(6, false);
    canvas.DrawTextCentred("\u00a9 Marrowind. All rights reserved.", "", 50, kLegendBottom + 0.2);
    canvas.DrawTextCentred(
        "No warranty of accuracy or reliability of the information provided by Tamsel Ovista is given, and no "
        "responsiblity for loss arising in any way from or in",
        "", 50, kLegendBottom + 1.2);
    canvas.DrawTextCentred(
        "connection with its use is accepted by Marrowind or the provider of this report. Users should obtain "
        "professional advice for their specific circumstances.",
        "", 50, kLegendBottom + 2.2);
}

}  // namespace

int WeeksOfMating(Date msd, Date eoMating) {
    // In 64 bits: the two dates of a damaged record may lie further apart than int holds.
    return msd < eoMating ? static_cast<int>((std::int64_t{eoMating} - msd) / 7 + 1) : 21;
}

void DrawPageFooter(ReportCanvas& canvas) { DrawFooter(canvas); }

void DrawPage1Body(ReportCanvas& canvas, int system) {
    DrawSection1(canvas, system);
    DrawPregnancyChart(canvas, system, kChartTop);
    DrawSection2(canvas, system);
    DrawSection3(canvas, system);
    DrawLegend(canvas, system);
    if (system != kYearRoundCalving) DrawInducedBox(canvas);
    DrawFooter(canvas);
}

}  // namespace ovista
