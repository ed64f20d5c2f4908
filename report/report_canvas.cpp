#include "report/report_canvas.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "herd/textutil.h"
#include "interpret/ratings.h"

namespace ovista {
namespace {

constexpr Rgb kHeadingWarm{234, 214, 178};
constexpr Rgb kPanelWarm{241, 229, 207};
constexpr Rgb kHeadingGrey{200, 200, 200};
constexpr Rgb kPanelGrey{224, 224, 224};

// Start of the last UTF-8 character of a non-empty text, so a measured prefix never ends
// inside a character.
std::size_t LastCharStart(std::string_view text) {
    std::size_t i = text.size() - 1;
    while (i > 0 && (static_cast<unsigned char>(text[i]) & 0xC0) == 0x80) --i;
    return i;
}

// A combining diacritical mark (U+0300 to U+036F), drawn on the letter before it.
bool IsCombiningMark(std::string_view character) {
    if (character.size() < 2) return false;
    const auto lead = static_cast<unsigned char>(character[0]);
    const auto next = static_cast<unsigned char>(character[1]);
    return (lead == 0xCC && next >= 0x80 && next <= 0xBF) || (lead == 0xCD && next >= 0x80 && next <= 0xAF);
}

// Widths computed from page values carry rounding noise; a margin this close to the inset
// counts as kept.
constexpr double kMarginSlack = 1e-9;

}  // namespace

FittedText FitText(std::string_view text, double pointSize, double smallest, double room,
                   const TextMeasure& width) {
    if (text.empty()) return {pointSize, ""};
    const auto fits = [&](std::string_view t, double size) { return width(t, size) <= room + kMarginSlack; };
    double size = pointSize;
    while (!fits(text, size) && size - 0.5 >= smallest) size -= 0.5;
    if (fits(text, size)) return {size, std::string(text)};
    // Still too wide at the smallest size: as many whole characters as fit, then the ellipsis.
    const std::string_view ellipsis = "\xe2\x80\xa6";  // U+2026
    std::string cut(text);
    do {
        bool mark = false;
        do {
            const std::size_t last = LastCharStart(cut);
            mark = IsCombiningMark(std::string_view(cut).substr(last));
            cut.erase(last);
        } while (mark && !cut.empty());
    } while (!cut.empty() && !fits(cut + std::string(ellipsis), size));
    return {size, cut + std::string(ellipsis)};
}

ReportCanvas::ReportCanvas(const HerdReport& report, DeviceCanvas& device, int pixelsPerInch)
    : report_(report), device_(&device), pixelsPerInch_(pixelsPerInch) {
    SetDevice(device);
}

void ReportCanvas::SetDevice(DeviceCanvas& device) {
    device_ = &device;
    scaleX_ = (device.Width() - 1) / 100.0;
    scaleY_ = (device.Height() - 1) / 100.0;
    SetPen(kBlack, BoxPenWidth(), PenStyle::Solid);
    device_->SetBrush(std::nullopt);
}

void ReportCanvas::SetPageNo(int pageNo) {
    pageNo_ = pageNo;
    cells_.clear();
}

const CellBox* ReportCanvas::CellAt(double x, double y) const {
    for (const CellBox& cell : cells_) {
        if (x >= cell.x1 && x <= cell.x2 && y >= cell.y1 && y <= cell.y2) return &cell;
    }
    return nullptr;
}

Rgb ReportCanvas::HeadingColour() const { return pageNo_ == 2 ? kHeadingGrey : kHeadingWarm; }

Rgb ReportCanvas::PanelColour() const { return pageNo_ == 2 ? kPanelGrey : kPanelWarm; }

bool ReportCanvas::TakeStart(int key) {
    takingFrom_ = {penColour_, penWidth_, penStyle_};
    const auto kept = std::find_if(keptStarts_.begin(), keptStarts_.end(),
                                   [key](const KeptStart& start) { return start.key == key; });
    // A start kept from another pen is drawn again.
    const bool take = kept != keptStarts_.end() && kept->before == takingFrom_;
    if (!device_->TakeStart(key, take) || !take) return false;
    penColour_ = kept->after.colour;
    penWidth_ = kept->after.width;
    penStyle_ = kept->after.style;
    return true;
}

void ReportCanvas::KeepStart(int key) {
    if (!device_->KeepStart(key)) return;
    std::erase_if(keptStarts_, [key](const KeptStart& kept) { return kept.key == key; });
    keptStarts_.push_back({key, takingFrom_, {penColour_, penWidth_, penStyle_}});
}

void ReportCanvas::SetFont(double pointSize, bool bold) { device_->SetFont(pointSize, bold); }

void ReportCanvas::SetPen(Rgb colour, int width, PenStyle style) {
    penColour_ = colour;
    penWidth_ = width;
    penStyle_ = style;
    device_->SetPen(colour, width, style);
}

double ReportCanvas::TextWidth(std::string_view text) { return device_->TextWidth(text) / scaleX_; }

double ReportCanvas::TextHeight(std::string_view text) { return device_->TextHeight(text) / scaleY_; }

void ReportCanvas::DrawBox(bool rounded, bool outlined, Rgb colour, double x1, double y1, double x2,
                           double y2) {
    SetPen(outlined ? kBlack : colour, BoxPenWidth(), PenStyle::Solid);
    device_->SetBrush(colour);
    if (rounded) {
        device_->DrawRoundRect(PixelX(x1), PixelY(y1), PixelX(x2), PixelY(y2), PixelX(1), PixelY(1));
    } else {
        device_->DrawRect(PixelX(x1), PixelY(y1), PixelX(x2), PixelY(y2));
    }
    device_->SetBrush(std::nullopt);
    SetPen(kBlack, BoxPenWidth(), PenStyle::Solid);
}

void ReportCanvas::DrawTextAt(std::string_view text, double x, double y) {
    device_->DrawText(PixelX(x), PixelY(y), text);
}

ReportCanvas::TextRoom ReportCanvas::RoomFor(double width) const {
    // The most pixels that TextWidth (pixels / scaleX_) gives as no wider than width.
    if (scaleX_ > 0 && width >= 0 && width * scaleX_ < 1e9) {
        int most = static_cast<int>(width * scaleX_);
        while (static_cast<double>(most + 1) / scaleX_ <= width) ++most;
        while (most >= 0 && static_cast<double>(most) / scaleX_ > width) --most;
        return {width, most};
    }
    if (scaleX_ > 0 && width < 0 && width > -1e9) return {width, -1};  // not even an empty text's 0 pixels
    return {width, std::nullopt};
}

void ReportCanvas::DrawTextFitting(std::string_view text, double x, double y, double width) {
    DrawTextFitting(text, x, y, RoomFor(width));
}

void ReportCanvas::DrawTextFitting(std::string_view text, double x, double y, const TextRoom& room) {
    if (!room.pixels) {
        // A page without width or a width beyond any page: measured a cut at a time.
        while (!text.empty() && TextWidth(text) > room.width) text = text.substr(0, LastCharStart(text));
        DrawTextAt(text, x, y);
        return;
    }
    device_->DrawTextFitting(PixelX(x), PixelY(y), text, *room.pixels);
}

void ReportCanvas::DrawRowFitting(std::span<const std::string_view> texts, std::span<const FittingColumn> columns,
                                  double y) {
    constexpr std::size_t kMostCells = 8;
    const std::size_t count = std::min(texts.size(), columns.size());
    const bool measured = count <= kMostCells && std::all_of(columns.begin(), columns.begin() + count,
                                                             [](const FittingColumn& c) { return c.room.pixels; });
    if (!measured) {
        for (std::size_t c = 0; c < count; ++c) DrawTextFitting(texts[c], columns[c].x, y, columns[c].room);
        return;
    }
    std::array<DeviceCanvas::FittingCell, kMostCells> cells;
    for (std::size_t c = 0; c < count; ++c) cells[c] = {texts[c], columns[c].pixelX, *columns[c].room.pixels};
    device_->DrawRowFitting(PixelY(y), std::span<const DeviceCanvas::FittingCell>(cells.data(), count));
}

void ReportCanvas::DrawTextRight(std::string_view text, double x, double y) {
    device_->DrawText(PixelX(x) - device_->TextWidth(text), PixelY(y), text);
}

void ReportCanvas::DrawTextCentred(std::string_view text, std::string_view measureText, double x,
                                   double y) {
    const int w = device_->TextWidth(measureText.empty() ? text : measureText);
    const int left = ToPixel(x * scaleX_ - w / 2.0);
    device_->DrawText(left, PixelY(y), text);
}

void ReportCanvas::DrawRule(bool thick, double x1, double y1, double x2, double y2) {
    if (thick) device_->SetPen(penColour_, penWidth_ * 3, penStyle_);
    device_->DrawLine(PixelX(x1), PixelY(y1), PixelX(x2), PixelY(y2));
    if (thick) device_->SetPen(penColour_, penWidth_, penStyle_);
}

void ReportCanvas::DrawStar(double x, double y) {
    device_->DrawImage(ReportImage::Star, PixelX(x), PixelY(y), PixelX(x + kStarWidth),
                       PixelY(y + kStarHeight));
}

void ReportCanvas::DrawBall(double x, double y) {
    // Star-sized, a third larger and a little wider, so the ball stands out on the bands.
    const double left = x - kBallLeft;
    const double top = y - kStarHeight / 2;
    device_->DrawImage(ReportImage::Ball, PixelX(left), PixelY(top), PixelX(left + kBallWidth),
                       PixelY(top + kBallHeight));
}

void ReportCanvas::DrawStars(double x, double y, int count) {
    if (count <= 0) return;
    const double rowWidth = count * kStarWidth + (count - 1) * kStarGap;
    if (const CellBox* cell = CellAt(x, y)) {
        const bool kept = x - rowWidth / 2 >= cell->x1 + kCellInset - kMarginSlack &&
                          x + rowWidth / 2 <= cell->x2 - kCellInset + kMarginSlack;
        if (!kept) x = (cell->x1 + cell->x2) / 2;
    }
    for (int i = 0; i < count; ++i) DrawStar(x - rowWidth / 2 + i * (kStarWidth + kStarGap), y);
}

double ReportCanvas::DrawTextInCell(std::string_view text, double x, double y, double pointSize,
                                    bool bold) {
    SetFont(pointSize, bold);
    const CellBox* cell = CellAt(x, y);
    if (cell == nullptr || text.empty()) {
        DrawTextAt(text, x, y);
        return x + TextWidth(text);
    }
    const FittedText fitted = FitText(text, pointSize, kSmallestFittedSize, cell->x2 - kCellInset - x,
                                      [&](std::string_view t, double size) {
                                          SetFont(size, bold);
                                          return TextWidth(t);
                                      });
    SetFont(fitted.pointSize, bold);
    DrawTextAt(fitted.text, x, y);
    return x + TextWidth(fitted.text);
}

double ReportCanvas::DrawOwnerLine(std::string_view text, double x, double y, double pointSize, bool bold) {
    SetFont(pointSize, bold);
    const int baseline = PixelY(y) + device_->TextAscent();
    const FittedText fitted = FitText(text, pointSize, kSmallestOwnerSize, kOwnerPanelRight - kCellInset - x,
                                      [&](std::string_view t, double size) {
                                          SetFont(size, bold);
                                          return TextWidth(t);
                                      });
    SetFont(fitted.pointSize, bold);
    device_->DrawText(PixelX(x), baseline - device_->TextAscent(), fitted.text);
    return x + TextWidth(fitted.text);
}

void ReportCanvas::DrawStarRating(double x, double y, double value, double averageFrom,
                                  double topFrom) {
    DrawStars(x, y, StarCount(value, averageFrom, topFrom));
}

void ReportCanvas::DrawStarRatingLow(double x, double y, double value, double averageBelow,
                                     double topBelow) {
    DrawStars(x, y, StarCountLow(value, averageBelow, topBelow));
}

void ReportCanvas::DrawAdvice(double x, double y, bool ok) {
    if (ok) {
        DrawTextCentred("OK", "", x - 0.5, y);
        return;
    }
    const double half = device_->TextHeight("Seek") / (2 * scaleY_);
    DrawTextCentred("Seek", "", x, y - half);
    DrawTextCentred("advice", "", x, y + half);
}

void ReportCanvas::DrawAdviceMark(double x, double y, double value, double threshold) {
    const AdviceMark mark = AdviceFor(value, threshold);
    if (mark != AdviceMark::None) DrawAdvice(x, y, mark == AdviceMark::Ok);
}

void ReportCanvas::DrawAdviceMarkLow(double x, double y, double value, double threshold) {
    const AdviceMark mark = AdviceForLow(value, threshold);
    if (mark != AdviceMark::None) DrawAdvice(x, y, mark == AdviceMark::Ok);
}

void ReportCanvas::DrawNumberedPoint(int number, std::string_view text, double x, double y) {
    device_->DrawEllipse(PixelX(x - 1), PixelY(y - 0.2), PixelX(x + 2), PixelY(y + 1.8));
    DrawTextAt(FormatNumberTrimmed(number), x, y);
    DrawTextAt(text, x + 3, y);
}

void ReportCanvas::WrapText(std::string_view text, std::vector<std::string>& lines, double width) {
    const double usable = width >= 5 ? width : 100;
    if (TextWidth(text) < usable) {
        lines.emplace_back(text);
        return;
    }
    std::string_view rest = text;
    while (!rest.empty()) {
        const std::size_t last = LastCharStart(rest);
        std::size_t lastSpace = std::string_view::npos;
        bool broke = false;
        for (std::size_t i = 0; i < rest.size(); ++i) {
            if (rest[i] != ' ' && i != last) continue;
            if (TextWidth(rest.substr(0, i)) > usable) {
                // A word wider than the width on its own stands alone on its line.
                const std::size_t cut = lastSpace != std::string_view::npos ? lastSpace : i;
                if (cut == last) break;  // the whole rest is one word: the last line
                if (cut > 0) lines.emplace_back(rest.substr(0, cut));
                rest.remove_prefix(rest[cut] == ' ' ? cut + 1 : cut);
                broke = true;
                break;
            }
            if (i == last) break;
            lastSpace = i;
        }
        if (!broke) {
            lines.emplace_back(rest);
            return;
        }
    }
}

void ReportCanvas::SplitAndWrap(std::string_view text, std::vector<std::string>& lines,
                                double width) {
    const double usable = width >= 5 ? width : 100;
    while (!text.empty()) {
        const std::size_t slash = text.find('\\');
        if (slash == std::string_view::npos) {
            WrapText(text, lines, usable);
            return;
        }
        if (slash > 0) WrapText(text.substr(0, slash), lines, usable);
        text.remove_prefix(slash + 1);
    }
}

void ReportCanvas::DrawTextBox(std::string_view title, std::string_view body, Rgb colour,
                               double x1, double y1, double x2, double y2, double titleSize,
                               double bodySize) {
    const bool page2 = pageNo_ == 2;
    DrawBox(page2, true, colour, x1, y1, x2, y2);
    const double width = x2 - x1 - 2;

    SetFont(titleSize, true);
    const double titleHeight = TextHeight(title);
    std::vector<std::string> titleLines;
    SplitAndWrap(title, titleLines, width);

    SetFont(bodySize, false);
    const double bodyHeight = TextHeight(body);
    std::vector<std::string> bodyLines;
    if (!body.empty()) SplitAndWrap(body, bodyLines, width);

    if (titleLines.empty() && bodyLines.empty()) return;
    const double total = titleLines.size() * titleHeight + bodyLines.size() * bodyHeight;
    const double middle = x1 + (x2 - x1) / 2;
    double y = page2 ? y1 + 0.5 : y1 + (y2 - y1 - total) / 2;

    SetFont(titleSize, true);
    for (const std::string& line : titleLines) {
        DrawTextCentred(line, "", middle, y);
        y += titleHeight;
    }
    if (page2) y = (y2 + y) / 2 - bodyLines.size() * bodyHeight / 2;
    SetFont(bodySize, false);
    for (const std::string& line : bodyLines) {
        DrawTextCentred(line, "", middle, y);
        y += bodyHeight;
    }
}

}  // namespace ovista
