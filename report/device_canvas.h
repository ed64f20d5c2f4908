#pragma once
// The drawing surface of one report page in device pixels: the page of a printer, of the
// preview window or of a PDF file, or a recording of the calls for tests. The report pages
// never talk to a device directly; they go through ReportCanvas, which turns page percent
// into the pixels these calls take.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace ovista {

struct Rgb {
    std::uint8_t r = 0;
    std::uint8_t g = 0;
    std::uint8_t b = 0;
    bool operator==(const Rgb&) const = default;
};

inline constexpr Rgb kBlack{0, 0, 0};

enum class PenStyle { Solid, Dot };

// The pictures a report page shows. The output driver loads them for each report.
enum class ReportImage {
    Star,         // rating star ("star.bmp")
    Ball,         // point of the in-calf chart ("ball.bmp")
    ProductLogo,  // our logo in the header's logo block
    CentreLogo,   // the providing centre's logo ("CentreLogo.jpg"); often absent
};

class DeviceCanvas {
public:
    virtual ~DeviceCanvas() = default;

    // Page size in pixels.
    virtual int Width() const = 0;
    virtual int Height() const = 0;

    // Selects the font (the report's one face) by point size and style. A point size covers
    // the same share of an A4 page height on every output: 12 pt is 100 pixels on a
    // 600-dpi page.
    virtual void SetFont(double pointSize, bool bold) = 0;
    // Width in pixels of UTF-8 text in the current font.
    virtual int TextWidth(std::string_view text) = 0;
    // Height in pixels of a line of text in the current font: ascent plus descent.
    virtual int TextHeight(std::string_view text) = 0;
    // Ascent of the current font in pixels: how far below the y of DrawText its baseline lies.
    virtual int TextAscent() = 0;

    // Pen for lines and outlines; width in pixels (0 draws one pixel).
    virtual void SetPen(Rgb colour, int width, PenStyle style) = 0;
    // Fill of rectangles and ellipses; nullopt leaves shapes unfilled.
    virtual void SetBrush(std::optional<Rgb> fill) = 0;

    // Writes UTF-8 text with the top of its text cell (the ascent above the baseline) at y
    // and its left edge at x. Text is drawn as text, never as outlines, and never paints
    // a background.
    virtual void DrawText(int x, int y, std::string_view text) = 0;
    // DrawText of the longest start of text (whole UTF-8 characters) that TextWidth measures
    // no wider than maxWidth, the empty one when none is; returns its length in bytes. A table
    // cell is measured and drawn in one call.
    virtual std::size_t DrawTextFitting(int x, int y, std::string_view text, int maxWidth) {
        while (!text.empty() && TextWidth(text) > maxWidth) {
            std::size_t cut = text.size() - 1;
            while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
            text = text.substr(0, cut);
        }
        DrawText(x, y, text);
        return text.size();
    }
    // A cell of a table row: its text, left edge and room (see DrawRowFitting).
    struct FittingCell {
        std::string_view text;
        int x = 0;
        int maxWidth = 0;
    };
    // The cells of a table row, all at y: DrawTextFitting of each in turn. A row is one call.
    virtual void DrawRowFitting(int y, std::span<const FittingCell> cells) {
        for (const FittingCell& cell : cells) DrawTextFitting(cell.x, y, cell.text, cell.maxWidth);
    }
    virtual void DrawLine(int x1, int y1, int x2, int y2) = 0;
    // Rectangle with corners (x1, y1) and (x2, y2), filled with the brush, outlined with the pen.
    virtual void DrawRect(int x1, int y1, int x2, int y2) = 0;
    // The same with corners rounded by an ellipse of cornerWidth x cornerHeight pixels.
    virtual void DrawRoundRect(int x1, int y1, int x2, int y2, int cornerWidth, int cornerHeight) = 0;
    // Ellipse inside the rectangle with corners (x1, y1) and (x2, y2).
    virtual void DrawEllipse(int x1, int y1, int x2, int y2) = 0;

    // Pages that begin alike (each cow-list page begins with page 1's band). TakeStart notes
    // the state the page starts from and, when take is true and a start kept under key began
    // from the same state, puts that start on the page in one step and gives true: the caller
    // leaves that part out. Otherwise the caller draws it and calls KeepStart, and a device
    // that can copy a page keeps what the page holds now and the state noted, giving true.
    virtual bool TakeStart(int /*key*/, bool /*take*/) { return false; }
    virtual bool KeepStart(int /*key*/) { return false; }

    // Stretches the image into the rectangle (x1, y1)-(x2, y2). White parts of the image
    // let the page show through (the page colour multiplied by the image). Nothing is drawn
    // when the image is not loaded.
    virtual void DrawImage(ReportImage image, int x1, int y1, int x2, int y2) = 0;
    // Pixel size of a loaded image; nullopt when it is not loaded.
    struct ImageSize {
        int width = 0;
        int height = 0;
    };
    virtual std::optional<ImageSize> GetImageSize(ReportImage image) const = 0;
};

}  // namespace ovista
