#include "report/page_header.h"

#include <string>

#include "interpret/cow_lists_text.h"
#include "interpret/facts_block.h"
#include "interpret/message_table.h"
#include "interpret/report_dates.h"
#include "report/page_marks_draw.h"

namespace ovista {
namespace {

constexpr double kLabelX = 66.5;
constexpr double kBoxLeft = 67.5;
constexpr double kBoxRight = 83.5;
constexpr double kLabelSize = 7;
constexpr double kNoteSize = 5;

// Logo block right of the value boxes.
constexpr double kLogoWidth = 96 - 67.5 - 16 - 2;         // 10.5
constexpr double kLogoCentre = 96 - kLogoWidth / 2;       // 90.75
constexpr double kProductLogoHeight = 0.57 * 15;          // 8.55
constexpr double kCentreLogoHeight = 15 - 8.55 - 1;       // 5.45

const char* SystemName(int system) {
    if (system == kSplitCalving) return "Split calving";
    if (system == kYearRoundCalving) return "Year-round calving";
    return "Seasonal";
}

const char* Page2Title(int analType) {
    if (analType == kBasisEarlyPregTest) return "Behind Your Detailed Ovista Report";
    if (analType == kBasisRecalving) return "Behind Your Basic Ovista Report";
    return "Behind Your Intermediate Ovista Report";
}

void DrawTitle(ReportCanvas& canvas, int system, double y0) {
    canvas.SetFont(18, true);
    if (canvas.PageNo() == kTrendPageNo) {
        canvas.DrawTextAt(kTrendPageTitle, 4, y0);
        return;
    }
    if (canvas.PageNo() == kCowListPageNo) {
        canvas.DrawTextAt(kCowListPageTitle, 4, y0);
        return;
    }
    if (canvas.PageNo() == 2) {
        canvas.DrawTextAt(Page2Title(canvas.Report().AnalType), 4, y0);
        return;
    }
    const std::string bold = "Ovista " + PeriodLabel(canvas.Report()) + ": ";
    canvas.DrawTextAt(bold, 4, y0);
    const double after = 4 + canvas.TextWidth(bold);
    canvas.SetFont(18, false);
    canvas.DrawTextAt(SystemName(system), after, y0 + 0.1);
}

// The three explanation boxes of page 2 and the heading of the records cross check.
void DrawPage2Panel(ReportCanvas& canvas, int system, double y0) {
    const HerdReport& r = canvas.Report();
    std::string period = "Report period: ";
    if (system == kSeasonalCalving || system == kSplitCalving || system == kYearRoundCalving) {
        const auto [first, last] = CalvingWindow(r, system);
        period += "Cows calved between " + DateText(first) + " and " + DateText(last) + ". ";
    }
    canvas.DrawTextBox(period,
                       "This was the most recent period with sufficient herd records that enabled an "
                       "analysis to be completed.",
                       canvas.HeadingColour(), 4, y0 + 2.5, 50, y0 + 6.5, 7, 7);

    std::string systemTitle;
    std::string systemText;
    if (system == kSeasonalCalving) {
        systemTitle = "Calving system: Seasonal";
        systemText = LookupMessage("CPat_Seasonal");
    } else if (system == kSplitCalving) {
        systemTitle = "Calving system: Split";
        systemText = LookupMessage("Cpat_Split");
    } else if (system == kYearRoundCalving) {
        systemTitle = "Calving system: Year Round";
        systemText = LookupMessage("Cpat_YR");
    }
    canvas.DrawTextBox(systemTitle, systemText, canvas.HeadingColour(), 4, y0 + 7, 50, y0 + 12, 7, 7);

    std::string levelTitle;
    std::string levelText;
    switch (r.AnalType) {
        case kBasisMatingRecords:
            levelTitle = "Level of analysis: Intermediate.";
            levelText = LookupMessage("Basis_Matings");
            break;
        case kBasisEarlyPregTest:
            levelTitle = "Level of analysis: Detailed.";
            levelText = LookupMessage("Basis_EarlyPD");
            break;
        case kBasisPregTest:
            levelTitle = "Level of analysis: Intermediate.";
            levelText = LookupMessage("Basis_PregTest");
            break;
        case kBasisRecalving:
            levelTitle = "Level of analysis: Basic.";
            levelText = LookupMessage("Basis_Calvings");
            break;
        default:
            break;
    }
    canvas.DrawTextBox(levelTitle, levelText, canvas.HeadingColour(), 4, y0 + 12.5, 50, y0 + 17.5, 7, 7);

    canvas.SetFont(12, true);
    canvas.DrawTextAt("Part A)  Herd records cross check", 4, y0 + 18);
    canvas.SetFont(10, false);
    canvas.DrawTextAt("Check that the herd records in the table are complete and correct.", 4, y0 + 19.5);
}

// Labels right-aligned at 66.5 and the empty value boxes beside them.
void DrawValueColumn(ReportCanvas& canvas, int system, double y0) {
    const bool page2 = canvas.PageNo() == 2;
    const bool yearRound = system == kYearRoundCalving;
    const double down = page2 ? (yearRound ? 1.5 : 4) : 0;
    const double labelTop = y0 + (yearRound ? 3.4 : 0.9) + down;
    const double boxTop = y0 + (yearRound ? 3 : 0.5) + down;

    canvas.SetFont(kLabelSize, false);
    int row = 0;
    auto label = [&](const char* text) { canvas.DrawTextRight(text, kLabelX, labelTop + 2.5 * row++); };
    label("Report date:");
    label("Herd ID:");
    if (page2) {
        const double middle = labelTop + 2.5 * row++;
        canvas.DrawTextRight("Calvings up to this date", kLabelX, middle - 0.5);
        canvas.DrawTextRight("requested for analysis:", kLabelX, middle + 0.5);
    }
    label("No of cows included:");
    const double windowRow = labelTop + 2.5 * row;
    label("These cows calved between:");
    int boxes = row;
    if (!yearRound) {
        const double mating = y0 + 10.4 + (page2 ? 6.5 : 0);
        canvas.DrawTextRight("Mating start & stop date:", kLabelX, mating);
        canvas.SetFont(kNoteSize, false);
        canvas.DrawTextRight("(estimated from AI or rectal", kLabelX, mating + 0.9);
        canvas.DrawTextRight("pregnancy test data)", kLabelX, mating + 1.5);
        canvas.SetFont(kLabelSize, false);
        ++boxes;
        if (!page2) {
            canvas.DrawTextRight("Planned start of calving:", kLabelX, windowRow + 5);
            ++boxes;
        }
    }
    for (int i = 0; i < boxes; ++i) {
        const double top = boxTop + 2.5 * i;
        canvas.DrawBox(true, true, canvas.PanelColour(), kBoxLeft, top, kBoxRight, top + 2);
    }
}

void DrawLogoBlock(ReportCanvas& canvas, double y0) {
    DeviceCanvas& device = canvas.Device();
    if (const auto logo = device.GetImageSize(ReportImage::ProductLogo); logo && logo->height > 0) {
        // The picture keeps its shape on the device: width over height in page percent.
        const double ratio = (logo->width / canvas.ScaleX()) / (logo->height / canvas.ScaleY());
        double width = kProductLogoHeight * ratio;
        double height = kProductLogoHeight;
        // A logo wider than its block would run off the page: it shrinks to the block's width.
        if (width > kLogoWidth) {
            width = kLogoWidth;
            height = kLogoWidth / ratio;
        }
        device.DrawImage(ReportImage::ProductLogo, canvas.PixelX(kLogoCentre - width / 2),
                         canvas.PixelY(y0), canvas.PixelX(kLogoCentre + width / 2),
                         canvas.PixelY(y0 + height));
    }
    canvas.SetFont(7, false);
    canvas.DrawTextCentred("Version 2.H", "", kLogoCentre, y0 + kProductLogoHeight);

    const auto centre = device.GetImageSize(ReportImage::CentreLogo);
    if (!centre || centre->width <= 0 || centre->height <= 0) return;
    const double ratio = (centre->width / canvas.ScaleX()) / (centre->height / canvas.ScaleY());
    double width = kCentreLogoHeight * ratio;
    double height = kCentreLogoHeight;
    if (kLogoWidth / kCentreLogoHeight < ratio) {
        width = kLogoWidth;
        height = kLogoWidth / ratio;
    }
    const double top = y0 + kProductLogoHeight + 1;
    device.DrawImage(ReportImage::CentreLogo, canvas.PixelX(kLogoCentre - width / 2), canvas.PixelY(top),
                     canvas.PixelX(kLogoCentre + width / 2), canvas.PixelY(top + height));
}

}  // namespace

void DrawPageHeader(ReportCanvas& canvas, int system, double y0) {
    DrawTitle(canvas, system, y0);
    if (canvas.PageNo() == 2) {
        DrawPage2Panel(canvas, system, y0);
    } else {
        // The owner block is written into it by the interpretation's marks.
        canvas.DrawBox(true, true, canvas.PanelColour(), 4, y0 + 3, kOwnerPanelRight, y0 + 15);
    }
    DrawValueColumn(canvas, system, y0);
    DrawLogoBlock(canvas, y0);
}

void DrawHeaderValues(ReportCanvas& canvas) { DrawPageMarks(canvas, HeaderValueMarks(canvas.Report(), 2)); }

Page1BandMarks MakePage1BandMarks(const HerdReport& report) {
    return {OwnerBlockMarks(report), HeaderValueMarks(report, 1)};
}

void DrawPage1Band(ReportCanvas& canvas, const Page1BandMarks* marks) {
    const HerdReport& report = canvas.Report();
    canvas.DrawBox(false, false, kBackgroundColour, 0, 0, 100, 100);
    DrawPageHeader(canvas, report.ActCalvingPattern, 2);
    if (marks != nullptr) {
        DrawPageMarks(canvas, marks->owner);
        DrawPageMarks(canvas, marks->values);
        return;
    }
    DrawPageMarks(canvas, OwnerBlockMarks(report));
    DrawPageMarks(canvas, HeaderValueMarks(report, 1));
}

}  // namespace ovista
