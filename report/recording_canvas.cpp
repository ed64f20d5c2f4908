#include "report/recording_canvas.h"

#include <cmath>
#include <cstdio>

namespace ovista {
namespace {

std::size_t CharCount(std::string_view text) {
    std::size_t n = 0;
    for (char c : text) n += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    return n;
}

const char* OpName(DeviceCall::Op op) {
    switch (op) {
        case DeviceCall::Op::Text: return "text";
        case DeviceCall::Op::Line: return "line";
        case DeviceCall::Op::Rect: return "rect";
        case DeviceCall::Op::RoundRect: return "roundrect";
        case DeviceCall::Op::Ellipse: return "ellipse";
        case DeviceCall::Op::Image: return "image";
    }
    return "?";
}

}  // namespace

RecordingCanvas::RecordingCanvas(int width, int height) : width_(width), height_(height) {
    images_[static_cast<int>(ReportImage::Star)] = ImageSize{26, 20};
    images_[static_cast<int>(ReportImage::Ball)] = ImageSize{30, 26};
    images_[static_cast<int>(ReportImage::ProductLogo)] = ImageSize{300, 240};
    SetFont(10, false);
}

void RecordingCanvas::SetImageSize(ReportImage image, std::optional<ImageSize> size) {
    images_[static_cast<int>(image)] = size;
}

void RecordingCanvas::SetFont(double pointSize, bool bold) {
    pointSize_ = pointSize;
    bold_ = bold;
    fontPixels_ = pointSize * height_ / 842.0;
}

int RecordingCanvas::TextWidth(std::string_view text) {
    return static_cast<int>(std::lround(CharCount(text) * fontPixels_ * (bold_ ? 0.55 : 0.5)));
}

int RecordingCanvas::TextHeight(std::string_view) {
    return static_cast<int>(std::lround(fontPixels_ * 1.15));
}

int RecordingCanvas::TextAscent() { return static_cast<int>(std::lround(fontPixels_)); }

void RecordingCanvas::SetPen(Rgb colour, int width, PenStyle style) {
    pen_ = colour;
    penWidth_ = width;
    penStyle_ = style;
}

void RecordingCanvas::SetBrush(std::optional<Rgb> fill) { brush_ = fill; }

DeviceCall RecordingCanvas::Shape(DeviceCall::Op op, int x1, int y1, int x2, int y2) const {
    DeviceCall call;
    call.op = op;
    call.x1 = x1;
    call.y1 = y1;
    call.x2 = x2;
    call.y2 = y2;
    call.pen = pen_;
    call.penWidth = penWidth_;
    call.penStyle = penStyle_;
    call.filled = brush_.has_value();
    call.fill = brush_.value_or(Rgb{});
    return call;
}

void RecordingCanvas::DrawText(int x, int y, std::string_view text) {
    DeviceCall call;
    call.op = DeviceCall::Op::Text;
    call.x1 = x;
    call.y1 = y;
    call.x2 = x + TextWidth(text);
    call.y2 = y + TextHeight(text);
    call.text = std::string(text);
    call.pointSize = pointSize_;
    call.bold = bold_;
    calls_.push_back(std::move(call));
}

void RecordingCanvas::DrawLine(int x1, int y1, int x2, int y2) {
    calls_.push_back(Shape(DeviceCall::Op::Line, x1, y1, x2, y2));
}

void RecordingCanvas::DrawRect(int x1, int y1, int x2, int y2) {
    calls_.push_back(Shape(DeviceCall::Op::Rect, x1, y1, x2, y2));
}

void RecordingCanvas::DrawRoundRect(int x1, int y1, int x2, int y2, int cornerWidth,
                                    int cornerHeight) {
    DeviceCall call = Shape(DeviceCall::Op::RoundRect, x1, y1, x2, y2);
    call.corner1 = cornerWidth;
    call.corner2 = cornerHeight;
    calls_.push_back(std::move(call));
}

void RecordingCanvas::DrawEllipse(int x1, int y1, int x2, int y2) {
    calls_.push_back(Shape(DeviceCall::Op::Ellipse, x1, y1, x2, y2));
}

void RecordingCanvas::DrawImage(ReportImage image, int x1, int y1, int x2, int y2) {
    if (!images_[static_cast<int>(image)]) return;
    DeviceCall call = Shape(DeviceCall::Op::Image, x1, y1, x2, y2);
    call.image = image;
    calls_.push_back(std::move(call));
}

std::optional<DeviceCanvas::ImageSize> RecordingCanvas::GetImageSize(ReportImage image) const {
    return images_[static_cast<int>(image)];
}

std::vector<DeviceCall> RecordingCanvas::Texts() const {
    std::vector<DeviceCall> texts;
    for (const DeviceCall& call : calls_) {
        if (call.op == DeviceCall::Op::Text) texts.push_back(call);
    }
    return texts;
}

std::string RecordingCanvas::Dump() const {
    const double sx = (width_ - 1) / 100.0;
    const double sy = (height_ - 1) / 100.0;
    std::string out;
    char line[160];
    for (const DeviceCall& c : calls_) {
        std::snprintf(line, sizeof line, "%s %.2f %.2f %.2f %.2f", OpName(c.op), c.x1 / sx,
                      c.y1 / sy, c.x2 / sx, c.y2 / sy);
        out += line;
        if (c.op == DeviceCall::Op::Text) {
            std::snprintf(line, sizeof line, " %gpt%s ", c.pointSize, c.bold ? " bold" : "");
            out += line + c.text;
        } else if (c.op == DeviceCall::Op::Image) {
            out += " #" + std::to_string(static_cast<int>(c.image));
        } else if (c.filled) {
            std::snprintf(line, sizeof line, " fill %d,%d,%d", c.fill.r, c.fill.g, c.fill.b);
            out += line;
        }
        out += '\n';
    }
    return out;
}

}  // namespace ovista
