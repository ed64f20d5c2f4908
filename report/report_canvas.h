#pragma once
// The drawing context of one report: page-percent coordinates over a device page, the
// report's fixed layout values and colours, and every drawing operation the page drawers use.
// x is a percentage of the page width from the left edge, y of the page height from the top.
#include <algorithm>
#include <cmath>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "analysis/herd_report.h"
#include "report/device_canvas.h"

namespace ovista {

// Fixed layout values, in page percent.
inline constexpr double kLeftMargin = 4;
inline constexpr double kRightEdge = 96;
inline constexpr double kTwoColumnGap = 3.5;
inline constexpr double kTwoColumnWidth = (96 - 4 - 3.5) / 2;           // 44.25
inline constexpr double kTwoColumnSecondX = 4 + kTwoColumnWidth + 3.5;  // 51.75
inline constexpr double kThreeColumnGap = 1.6;
inline constexpr double kThreeColumnWidth = (96 - 4 - 2 * 1.6) / 3;                 // 29.6
inline constexpr double kThreeColumnSecondX = 4 + kThreeColumnWidth + 1.6;          // 35.2
inline constexpr double kThreeColumnThirdX = 4 + 2 * (kThreeColumnWidth + 1.6);     // 66.4
inline constexpr double kPanelRowHeight = 2.0;
inline constexpr double kPanelRowGap = 0.2;
inline constexpr double kStarWidth = 1.0;
inline constexpr double kStarHeight = 10.0 / 13.0;
inline constexpr double kStarGap = 0.2;
// The chart point's picture: star-sized, a third larger and a little wider, its left edge
// kBallLeft left of the point and its top half a star height above it.
inline constexpr double kBallWidth = kStarWidth * 1.3 * 1.15;  // 1.495
inline constexpr double kBallHeight = kStarHeight * 1.3;       // 1.0
inline constexpr double kBallLeft = 0.6;
// How far (page percent of the width) a star row, a technician text or an owner line keeps
// inside the edges of its panel or cell, so that the outline never touches it.
inline constexpr double kCellInset = 0.3;
// Technician texts too wide for their cell are drawn down to this size, then cut.
inline constexpr double kSmallestFittedSize = 5;
// Right edge of the owner panel of page 1's header band (and the trend page's); owner and
// address lines too long for it are drawn down to kSmallestOwnerSize, then cut.
inline constexpr double kOwnerPanelRight = 50;
inline constexpr double kSmallestOwnerSize = 8;

inline constexpr Rgb kBackgroundColour{249, 243, 233};

// A cell of a result panel, in page percent.
struct CellBox {
    double x1 = 0, y1 = 0, x2 = 0, y2 = 0;
    bool operator==(const CellBox&) const = default;
};

// A text as it fits a width: its point size and the text itself, cut when it had to be.
struct FittedText {
    double pointSize = 0;
    std::string text;
    bool operator==(const FittedText&) const = default;
};

// Width in page percent of a text at a point size.
using TextMeasure = std::function<double(std::string_view text, double pointSize)>;

// text at pointSize when it is no wider than room; else at the largest size half a point at a
// time smaller, down to smallest, at which it is; else at that smallest size, cut after as
// many whole characters as fit with "…" after them (a combining mark stays with its letter).
FittedText FitText(std::string_view text, double pointSize, double smallest, double room,
                   const TextMeasure& width);

class ReportCanvas {
public:
    // report is copied: the caller's record is never changed. pixelsPerInch is the output's
    // horizontal resolution (600 for PDF).
    ReportCanvas(const HerdReport& report, DeviceCanvas& device, int pixelsPerInch);

    // A new page: the device page to draw on from now, with its scales recomputed.
    void SetDevice(DeviceCanvas& device);
    // The page about to be drawn; it starts without panel cells.
    void SetPageNo(int pageNo);

    // The cells of the result panels drawn on this page: ratings and technician texts
    // written into them later keep kCellInset inside the cell they start in.
    void AddPanelCell(const CellBox& cell) { cells_.push_back(cell); }
    // The cell holding (x, y), edges included; nullptr when none does.
    const CellBox* CellAt(double x, double y) const;

    DeviceCanvas& Device() { return *device_; }
    const HerdReport& Report() const { return report_; }
    int PageNo() const { return pageNo_; }
    int PixelsPerInch() const { return pixelsPerInch_; }
    double ScaleX() const { return scaleX_; }  // pixels per page percent: (width - 1) / 100
    double ScaleY() const { return scaleY_; }  // (height - 1) / 100

    // Darker fill of heading bars and table header cells; grey on page 2.
    Rgb HeadingColour() const;
    // Lighter fill of panels and table body cells; grey on page 2.
    Rgb PanelColour() const;

    // Page percent to pixels: x * scale rounded to the nearest, halves to even.
    int PixelX(double x) const { return ToPixel(x * scaleX_); }
    int PixelY(double y) const { return ToPixel(y * scaleY_); }

    // The start of a page drawn once and copied to the next pages that begin alike, where the
    // device can (see DeviceCanvas::TakeStart); the canvas's pen goes with it.
    bool TakeStart(int key);
    void KeepStart(int key);

    // Font state of the device (point size and bold).
    void SetFont(double pointSize, bool bold);
    // Pen state of the device, remembered so a thick rule can restore it.
    void SetPen(Rgb colour, int width, PenStyle style);
    // Width in pixels of box outlines and the ordinary pen: pixelsPerInch / 200.
    int BoxPenWidth() const { return pixelsPerInch_ / 200; }
    // Width and height of text in the current font, in page percent.
    double TextWidth(std::string_view text);
    double TextHeight(std::string_view text);

    void DrawBox(bool rounded, bool outlined, Rgb colour, double x1, double y1, double x2, double y2);
    // Top-left corner of the text cell at (x, y).
    void DrawTextAt(std::string_view text, double x, double y);
    // Text with the top-left of its cell at (x, y), cut after as many whole characters as
    // TextWidth measures no wider than width (none fitting: nothing).
    void DrawTextFitting(std::string_view text, double x, double y, double width);
    // A width as DrawTextFitting fits texts to it on this page, worked out once for the many
    // cells of a table column: the most pixels a text may take (-1: not even an empty text's
    // 0), or none when the page cannot say (a page without width, a width beyond any page)
    // and each text is measured a cut at a time.
    struct TextRoom {
        double width = 0;
        std::optional<int> pixels;
    };
    TextRoom RoomFor(double width) const;
    // The same as DrawTextFitting with room's width, while the page is the one room was made for.
    void DrawTextFitting(std::string_view text, double x, double y, const TextRoom& room);
    // A column of a table drawn by rows: its cells' left edge and the room they fit, worked out
    // once for the page.
    struct FittingColumn {
        double x = 0;
        TextRoom room;
        int pixelX = 0;  // PixelX(x)
    };
    FittingColumn ColumnFor(double x, double width) const { return {x, RoomFor(width), PixelX(x)}; }
    // A table row with the top of its text cells at y: each of texts as DrawTextFitting draws it
    // in its column (the first text in the first column), the row in one call to the device.
    void DrawRowFitting(std::span<const std::string_view> texts, std::span<const FittingColumn> columns, double y);
    // Text ending at x.
    void DrawTextRight(std::string_view text, double x, double y);
    // Text centred on x; measureText (when not empty) gives the centring width.
    void DrawTextCentred(std::string_view text, std::string_view measureText, double x, double y);
    void DrawRule(bool thick, double x1, double y1, double x2, double y2);
    void DrawStar(double x, double y);
    void DrawBall(double x, double y);
    // A row of n stars centred on x with its top at y; a row that would come within
    // kCellInset of an edge of the panel cell holding (x, y) is centred in that cell instead.
    void DrawStars(double x, double y, int count);
    // Text with the top-left of its cell at (x, y) in pointSize, drawn smaller (by half points,
    // down to kSmallestFittedSize) when it would come within kCellInset of the right edge of
    // the panel cell holding (x, y), and cut to end in "…" when even that is too wide.
    // Leaves the font it drew in set; returns the right edge of the text drawn.
    double DrawTextInCell(std::string_view text, double x, double y, double pointSize, bool bold);
    // An owner or address line with the top-left of its cell at (x, y) in pointSize, fitted
    // (FitText, down to kSmallestOwnerSize) to end kCellInset before kOwnerPanelRight. A
    // smaller line keeps the left edge and the baseline of the line it stands for. Leaves the
    // font it drew in set; returns the right edge of the text drawn.
    double DrawOwnerLine(std::string_view text, double x, double y, double pointSize, bool bold);
    void DrawStarRating(double x, double y, double value, double averageFrom, double topFrom);
    void DrawStarRatingLow(double x, double y, double value, double averageBelow, double topBelow);
    // "OK" centred on x - 0.5 at y, or "Seek" / "advice" on two lines straddling y.
    void DrawAdvice(double x, double y, bool ok);
    void DrawAdviceMark(double x, double y, double value, double threshold);
    void DrawAdviceMarkLow(double x, double y, double value, double threshold);
    void DrawNumberedPoint(int number, std::string_view text, double x, double y);
    void WrapText(std::string_view text, std::vector<std::string>& lines, double width);
    void SplitAndWrap(std::string_view text, std::vector<std::string>& lines, double width);
    void DrawTextBox(std::string_view title, std::string_view body, Rgb colour, double x1, double y1,
                     double x2, double y2, double titleSize, double bodySize);

private:
    // A pixel for a product that may be out of range (a page one pixel wide measures every
    // text as infinitely wide): such values land on 0 or far off the page, never converted
    // blindly.
    static int ToPixel(double product) {
        if (std::isnan(product)) return 0;
        // RoundHalfEven by the processor's own rounding (every page place goes through here):
        // below 2^51, adding 2^52 of the same sign leaves no fraction, rounded to the nearest,
        // halves to even; taking it away again is exact.
        double whole = product;
        if (std::fabs(product) < 0x1p51) {
            const double shift = std::copysign(0x1p52, product);
            whole = (product + shift) - shift;
        }
        return static_cast<int>(std::clamp(whole, -1e9, 1e9));
    }

    HerdReport report_;
    DeviceCanvas* device_;
    int pixelsPerInch_;
    double scaleX_ = 0;
    double scaleY_ = 0;
    int pageNo_ = 1;
    Rgb penColour_ = kBlack;
    int penWidth_ = 0;
    PenStyle penStyle_ = PenStyle::Solid;
    std::vector<CellBox> cells_;
    struct Pen {
        Rgb colour;
        int width = 0;
        PenStyle style = PenStyle::Solid;
        bool operator==(const Pen&) const = default;
    };
    struct KeptStart {
        int key = 0;
        Pen before;
        Pen after;
    };
    std::vector<KeptStart> keptStarts_;
    Pen takingFrom_;  // the pen at the last TakeStart that gave false
};

}  // namespace ovista
