#pragma once
// A device page that records every drawing call in pixels, with fixed font metrics: layout
// tests compare positions on pages of any size without a font or a display.
#include <array>
#include <string>
#include <vector>

#include "report/device_canvas.h"

namespace ovista {

struct DeviceCall {
    enum class Op { Text, Line, Rect, RoundRect, Ellipse, Image };
    Op op = Op::Text;
    int x1 = 0, y1 = 0, x2 = 0, y2 = 0;  // Text: left and top of the cell in x1, y1; x2, y2 its right and bottom
    int corner1 = 0, corner2 = 0;        // RoundRect: corner ellipse
    std::string text;                    // Text only
    double pointSize = 0;                // Text: font in use
    bool bold = false;
    Rgb pen;
    int penWidth = 0;
    PenStyle penStyle = PenStyle::Solid;
    bool filled = false;
    Rgb fill;
    ReportImage image = ReportImage::Star;  // Image only

    bool operator==(const DeviceCall&) const = default;
};

class RecordingCanvas : public DeviceCanvas {
public:
    // A page of width x height pixels; the star, ball and product logo are "loaded" with
    // fixed sizes, the centre logo is not.
    RecordingCanvas(int width, int height);

    // Font metrics: the font is pointSize x height / 842 pixels high (12 pt = 100
    // pixels on a 600-dpi A4 page); a character is half of that wide, 0.55 in bold; a line is
    // 1.15 font heights (ascent plus descent), the ascent one font height.
    double FontPixels() const { return fontPixels_; }
    void SetImageSize(ReportImage image, std::optional<ImageSize> size);

    int Width() const override { return width_; }
    int Height() const override { return height_; }
    void SetFont(double pointSize, bool bold) override;
    int TextWidth(std::string_view text) override;
    int TextHeight(std::string_view text) override;
    int TextAscent() override;
    void SetPen(Rgb colour, int width, PenStyle style) override;
    void SetBrush(std::optional<Rgb> fill) override;
    void DrawText(int x, int y, std::string_view text) override;
    void DrawLine(int x1, int y1, int x2, int y2) override;
    void DrawRect(int x1, int y1, int x2, int y2) override;
    void DrawRoundRect(int x1, int y1, int x2, int y2, int cornerWidth, int cornerHeight) override;
    void DrawEllipse(int x1, int y1, int x2, int y2) override;
    void DrawImage(ReportImage image, int x1, int y1, int x2, int y2) override;
    std::optional<ImageSize> GetImageSize(ReportImage image) const override;

    const std::vector<DeviceCall>& Calls() const { return calls_; }
    std::vector<DeviceCall> Texts() const;  // the Text calls only
    // One line per call, coordinates in page percent to 0.01.
    std::string Dump() const;

private:
    DeviceCall Shape(DeviceCall::Op op, int x1, int y1, int x2, int y2) const;

    int width_;
    int height_;
    double pointSize_ = 0;
    bool bold_ = false;
    double fontPixels_ = 0;
    Rgb pen_;
    int penWidth_ = 0;
    PenStyle penStyle_ = PenStyle::Solid;
    std::optional<Rgb> brush_;
    std::array<std::optional<ImageSize>, 4> images_;
    std::vector<DeviceCall> calls_;
};

}  // namespace ovista
