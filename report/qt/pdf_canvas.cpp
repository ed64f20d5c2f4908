#include "report/qt/pdf_canvas.h"

#include <QBuffer>
#include <QDateTime>
#include <QImageWriter>
#include <QPainterPath>
#include <QTimeZone>
#include <algorithm>
#include <atomic>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <map>
#include <tuple>
#include <unordered_map>

#include "report/qt/pdf_font.h"
#include "report/qt/qpainter_canvas.h"
#include "report/qt/report_images.h"

namespace ovista {
namespace {

// A pixel count no page can hold is not drawn (as on Qt's device).
constexpr int kLimit = 1 << 24;
bool WithinReach(int a, int b, int c, int d) {
    const auto near = [](int v) { return v > -kLimit && v < kLimit; };
    return near(a) && near(b) && near(c) && near(d);
}

QRectF Corners(int x1, int y1, int x2, int y2) {
    return QRectF(QPointF(std::min(x1, x2), std::min(y1, y2)), QPointF(std::max(x1, x2), std::max(y1, y2)));
}

using pdf::Hex4;
using pdf::Number;
using pdf::WriteNumber;

void Colour(std::string& out, Rgb colour) {
    // A page switches between a few colours many times (a table's rows and their text).
    thread_local std::map<std::tuple<int, int, int>, std::string> written;
    const auto key = std::make_tuple(int{colour.r}, int{colour.g}, int{colour.b});
    auto found = written.find(key);
    if (found == written.end()) {
        if (written.size() >= 256) written.clear();
        std::string text;
        Number(text, colour.r / 255.0);
        Number(text, colour.g / 255.0);
        Number(text, colour.b / 255.0);
        found = written.emplace(key, std::move(text)).first;
    }
    out += found->second;
}

// The path as Qt's PDF engine writes it, closed with "h" where it ends where it began.
void PathOf(std::string& out, const QPainterPath& path) {
    int start = -1;
    const int count = path.elementCount();
    const auto closes = [&path, &start](int last) {
        return start >= 0 && path.elementAt(start).x == path.elementAt(last).x &&
               path.elementAt(start).y == path.elementAt(last).y;
    };
    for (int i = 0; i < count; ++i) {
        const QPainterPath::Element& element = path.elementAt(i);
        switch (element.type) {
            case QPainterPath::MoveToElement:
                if (closes(i - 1)) out += "h\n";
                Number(out, element.x);
                Number(out, element.y);
                out += "m\n";
                start = i;
                break;
            case QPainterPath::LineToElement:
                Number(out, element.x);
                Number(out, element.y);
                out += "l\n";
                break;
            case QPainterPath::CurveToElement:
                for (int k = 0; k < 3 && i + k < count; ++k) {
                    Number(out, path.elementAt(i + k).x);
                    Number(out, path.elementAt(i + k).y);
                }
                out += "c\n";
                i += 2;
                break;
            case QPainterPath::CurveToDataElement:
                break;
        }
    }
    if (count > 0 && closes(count - 1)) out += "h\n";
}

// The path QPainterPath::addEllipse makes for the box and PathOf writes, worked out as Qt
// works it out (the same sums in the same order, so the same doubles): a move to the right
// end, four curves round (down first), closed. Chart points take a new place each.
void EllipsePath(std::string& out, int x1, int y1, int x2, int y2) {
    constexpr double kKappa = 0.5522847498;  // Qt's control-point distance for a quarter circle
    const double x = std::min(x1, x2);
    const double y = std::min(y1, y2);
    const double w = std::max(x1, x2) - x;
    const double h = std::max(y1, y2) - y;
    const double w2 = w / 2;
    const double w2k = w2 * kKappa;
    const double h2 = h / 2;
    const double h2k = h2 * kKappa;
    const double points[13][2] = {
        {x + w, y + h2},       {x + w, y + h2 + h2k}, {x + w2 + w2k, y + h}, {x + w2, y + h}, {x + w2 - w2k, y + h},
        {x, y + h2 + h2k},     {x, y + h2},           {x, y + h2 - h2k},     {x + w2 - w2k, y}, {x + w2, y},
        {x + w2 + w2k, y},     {x + w, y + h2 - h2k}, {x + w, y + h2}};
    char text[24 * 6 + 4];
    char* end = WriteNumber(WriteNumber(text, points[0][0]), points[0][1]);
    out.append(text, static_cast<std::size_t>(end - text));
    out += "m\n";
    for (int curve = 0; curve < 4; ++curve) {
        end = text;
        for (int k = 1; k <= 3; ++k) end = WriteNumber(WriteNumber(end, points[curve * 3 + k][0]), points[curve * 3 + k][1]);
        out.append(text, static_cast<std::size_t>(end - text));
        out += "c\n";
    }
    out += "h\n";
}

// The path of a rounded box or an ellipse in the content, made once for each place and size:
// every page draws the same header boxes. Found by a hash: a search in a tree would chase its
// branches through memory for every box, and chart points are each a new one.
enum class Outline { RoundRect, Ellipse };
struct OutlineKey {
    Outline shape;
    std::array<int, 6> box;
    bool operator==(const OutlineKey&) const = default;
};
struct OutlineKeyHash {
    std::size_t operator()(const OutlineKey& key) const {
        std::uint64_t hash = 0x9e3779b97f4a7c15ULL * (static_cast<std::uint64_t>(key.shape) + 1);
        for (const int value : key.box) hash = (hash ^ static_cast<std::uint32_t>(value)) * 0x100000001b3ULL;
        return static_cast<std::size_t>(hash ^ (hash >> 29));
    }
};
const std::string& OutlineOf(Outline shape, const std::array<int, 6>& box) {
    constexpr std::size_t kMost = 4096;
    thread_local std::unordered_map<OutlineKey, std::string, OutlineKeyHash> outlines(2 * kMost);
    const OutlineKey key{shape, box};
    auto found = outlines.find(key);
    if (found != outlines.end()) return found->second;
    if (outlines.size() >= kMost) outlines.clear();
    const auto [x1, y1, x2, y2, cornerWidth, cornerHeight] = box;
    std::string text;
    if (shape == Outline::RoundRect) {
        QPainterPath path;
        path.addRoundedRect(Corners(x1, y1, x2, y2), std::abs(cornerWidth) / 2.0, std::abs(cornerHeight) / 2.0,
                            Qt::AbsoluteSize);
        PathOf(text, path);
    } else if (x1 != x2 || y1 != y2) {
        EllipsePath(text, x1, y1, x2, y2);
    }
    return outlines.emplace(key, std::move(text)).first->second;
}

// A picture as the PDF holds it: its colours (compressed without loss, or as JPEG as Qt's PDF
// engine stores pictures it need not keep exactly) and, where it lets the page through, its
// alpha; each made once per process.
struct EncodedImage {
    int width = 0;
    int height = 0;
    bool jpeg = false;
    std::string colours;
    std::string alpha;  // empty when the picture is opaque
};

std::string Compress(const QByteArray& data) {
    const QByteArray packed = qCompress(data, 6);
    return packed.size() > 4 ? packed.sliced(4).toStdString() : std::string();
}

const EncodedImage& Encoded(const QImage& picture, bool lossless) {
    thread_local std::map<std::pair<qint64, bool>, EncodedImage> encoded;
    const auto key = std::make_pair(picture.cacheKey(), lossless);
    const auto found = encoded.find(key);
    if (found != encoded.end()) return found->second;
    if (encoded.size() >= 64) encoded.clear();
    const QImage image = picture.convertToFormat(QImage::Format_ARGB32);
    const int w = image.width();
    const int h = image.height();
    QByteArray colours(static_cast<qsizetype>(w) * h * 3, '\0');
    QByteArray alpha(static_cast<qsizetype>(w) * h, '\0');
    auto* c = reinterpret_cast<uchar*>(colours.data());
    auto* a = reinterpret_cast<uchar*>(alpha.data());
    bool opaque = true;
    for (int y = 0; y < h; ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        for (int x = 0; x < w; ++x) {
            *c++ = static_cast<uchar>(qRed(line[x]));
            *c++ = static_cast<uchar>(qGreen(line[x]));
            *c++ = static_cast<uchar>(qBlue(line[x]));
            *a = static_cast<uchar>(qAlpha(line[x]));
            opaque = opaque && *a == 255;
            ++a;
        }
    }
    EncodedImage result{w, h, false, {}, opaque ? std::string() : Compress(alpha)};
    QByteArray jpeg;
    if (!lossless) {
        QBuffer buffer(&jpeg);
        buffer.open(QIODevice::WriteOnly);
        QImageWriter writer(&buffer, "jpeg");
        writer.setQuality(94);
        if (!writer.write(image)) jpeg.clear();
    }
    result.jpeg = !jpeg.isEmpty();
    result.colours = result.jpeg ? std::string(jpeg.constData(), static_cast<std::size_t>(jpeg.size())) : Compress(colours);
    return encoded.emplace(key, std::move(result)).first->second;
}

// A PDF string literal.
std::string Literal(const std::string& text) {
    std::string out = "(";
    for (const char c : text) {
        if (c == '(' || c == ')' || c == '\\') out += '\\';
        out += c;
    }
    return out + ")";
}

// The creation date, UTC: SOURCE_DATE_EPOCH (seconds since 1970) when it holds one, as for
// reproducible builds, so that the same input gives the same bytes; otherwise now.
std::string CreationDate() {
    QDateTime when = QDateTime::currentDateTimeUtc();
    const QByteArray epoch = qgetenv("SOURCE_DATE_EPOCH");
    std::int64_t seconds = 0;
    const auto [end, error] = std::from_chars(epoch.constData(), epoch.constData() + epoch.size(), seconds);
    // Up to the end of the year 9999, the last a PDF date can write.
    if (!epoch.isEmpty() && error == std::errc() && end == epoch.constData() + epoch.size() && seconds >= 0 &&
        seconds <= 253402300799) {
        when = QDateTime::fromSecsSinceEpoch(seconds, QTimeZone::utc());
    }
    return when.toString(QStringLiteral("yyyyMMddHHmmss")).toStdString();
}

// A number for each document of the process, from 1.
std::uint64_t NextSerial() {
    static std::atomic<std::uint64_t> next{1};
    return next.fetch_add(1, std::memory_order_relaxed);
}

}  // namespace

// ---- the table cells kept -----------------------------------------------------------------

// What DrawPlain writes after a cell's place: "[<0013>.03<0014>]TJ\nET\n". A date or a small
// number comes back cell after cell (a list by calving date, the same few ages and counts),
// and is then written from here rather than glyph by glyph.
struct PdfCanvas::KeptCell {
    static constexpr std::size_t kShow = 96;  // a date's glyphs and their numbers fit
    const pdf::PlainFont* font = nullptr;     // none: the place is free
    std::uint64_t head = 0;                   // the text (see KeptCells::Key)
    std::uint64_t tail = 0;
    std::uint32_t size = 0;
    int width = 0;               // pixels
    std::uint64_t document = 0;  // the document whose glyph set has the text's glyphs
    std::uint32_t showSize = 0;
    std::array<char, kShow> show{};
};

// The cells kept, one place for each hash of font and text: a text met anew takes the place
// of the one there. A fixed table: a long batch holds no more than this.
class PdfCanvas::KeptCells {
public:
    static KeptCells& OfThisThread() {
        thread_local KeptCells cells;
        return cells;
    }
    // A short text (1 to kShortText bytes) as two words that tell it from every other text of
    // its length: its first and last 8 bytes, or fewer.
    static_assert(pdf::FontFaces::kShortText <= 16, "a longer text's middle bytes would not be in its key");
    struct Key {
        std::uint64_t head = 0;
        std::uint64_t tail = 0;
    };
    static Key KeyOf(std::string_view text) {
        const char* const p = text.data();
        const std::size_t n = text.size();
        Key key;
        if (n >= 8) {
            std::memcpy(&key.head, p, 8);
            std::memcpy(&key.tail, p + n - 8, 8);
        } else if (n >= 4) {
            std::uint32_t first = 0;
            std::uint32_t last = 0;
            std::memcpy(&first, p, 4);
            std::memcpy(&last, p + n - 4, 4);
            key.head = first | (std::uint64_t{last} << 32);
        } else {
            const auto byte = [p](std::size_t i) { return std::uint64_t{static_cast<unsigned char>(p[i])}; };
            key.head = byte(0) | byte(n / 2) << 8 | byte(n - 1) << 16;
        }
        return key;
    }
    KeptCell& Place(const pdf::PlainFont* font, const Key& key, std::size_t size) {
        std::uint64_t hash = (key.head ^ (key.tail * 0xC2B2AE3D27D4EB4FULL) ^ size) * 0x9E3779B97F4A7C15ULL;
        hash ^= reinterpret_cast<std::uintptr_t>(font) * 0xFF51AFD7ED558CCDULL;
        return places_[static_cast<std::size_t>(hash >> (64 - kBits))];
    }
    static bool Holds(const KeptCell& cell, const pdf::PlainFont* font, const Key& key, std::size_t size) {
        return cell.font == font && cell.size == size && cell.head == key.head && cell.tail == key.tail;
    }

private:
    static constexpr int kBits = 12;
    std::vector<KeptCell> places_ = std::vector<KeptCell>(std::size_t{1} << kBits);
};

// ---- the page ---------------------------------------------------------------------------

PdfCanvas::PdfCanvas(PdfDocument& document)
    : document_(document), faces_(pdf::ReportFontFaces()), keptCells_(&KeptCells::OfThisThread()) {
    // Page pixels at 600 per inch, y downwards, over the page's 595 x 842 points.
    content_ = "/GSa gs\n0.12 0 0 -0.12 0 842 cm\n";
    content_.reserve(1 << 17);
    SetFont(10, false);
}

void PdfCanvas::SetFont(double pointSize, bool bold) {
    pixelSize_ = QPainterCanvas::FontPixelSize(pointSize, kPageHeight);
    bold_ = bold;
}

int PdfCanvas::TextWidth(std::string_view text) {
    if (text.empty()) return 0;
    return faces_.Width(pixelSize_, bold_, text);
}

int PdfCanvas::TextHeight(std::string_view /*text*/) {
    const auto& metrics = faces_.Metrics(pixelSize_, bold_);
    return metrics.ascent + metrics.descent;
}

int PdfCanvas::TextAscent() { return faces_.Metrics(pixelSize_, bold_).ascent; }

void PdfCanvas::SetPen(Rgb colour, int width, PenStyle style) {
    penColour_ = colour;
    penWidth_ = std::clamp(width, 0, kLimit);
    penStyle_ = style;
}

void PdfCanvas::SetBrush(std::optional<Rgb> fill) { brush_ = fill; }

const std::string& PdfCanvas::ColourText(Rgb colour) {
    // A page switches between a few colours many times (a table's rows and their text).
    for (const auto& [known, text] : colours_) {
        if (known == colour && !text.empty()) return text;
    }
    auto& [known, text] = colours_[nextColour_];
    nextColour_ = (nextColour_ + 1) % colours_.size();
    known = colour;
    text.clear();
    Colour(text, colour);
    return text;
}

void PdfCanvas::SetFill(Rgb colour) {
    content_ += ColourText(colour);
    content_ += "rg\n";
    fillSet_ = colour;
}

void PdfCanvas::UsePen() {
    if (strokeSet_ != penColour_) {
        content_ += ColourText(penColour_);
        content_ += "RG\n";
        strokeSet_ = penColour_;
    }
    const auto style = std::make_pair(penWidth_, penStyle_);
    if (strokeStyleSet_ == style) return;
    // A width of 0 is the thinnest line the device can draw; dots are one width long and
    // two apart, as Qt draws them.
    Number(content_, penWidth_);
    content_ += "w 0 J 2 M 0 j ";
    if (penStyle_ == PenStyle::Dot) {
        const int unit = std::max(penWidth_, 1);
        content_ += '[';
        Number(content_, unit);
        Number(content_, 2.0 * unit);
        content_ += "]0 d\n";
    } else {
        content_ += "[]0 d\n";
    }
    strokeStyleSet_ = style;
}

void PdfCanvas::Paint(std::string_view fillAndStroke, std::string_view strokeOnly) {
    content_ += brush_ ? fillAndStroke : strokeOnly;
}

char* PdfCanvas::OpenText(char* out, bool continuing, const std::string& font, std::int64_t x64, std::int64_t y64) {
    // One text object holds the texts drawn one after another: its first text placed by the
    // text matrix (which turns the glyphs upright on the page that runs downwards), each next
    // by its step from the one before. All are whole 64ths of a pixel, exact in any reader's
    // arithmetic, so every glyph lands on the same fraction of a pixel as in Qt's files.
    // The font is part of the graphics state: it holds from one text object to the next.
    if (textFont_ == nullptr || (&font != textFont_ && font != *textFont_)) {
        out = std::copy(font.begin(), font.end(), out);
        textFont_ = &font;
    }
    if (continuing) {
        out = pdf::WriteSixtyFourths(out, x64 - lineX64_);
        // The next cell of a table row is on the same line.
        out = lineY64_ == y64 ? std::copy_n("0 ", 2, out) : pdf::WriteSixtyFourths(out, lineY64_ - y64);
        out = std::copy_n("Td ", 3, out);
    } else {
        out = std::copy_n("1 0 0 -1 ", 9, out);
        out = pdf::WriteSixtyFourths(out, x64);
        out = pdf::WriteSixtyFourths(out, y64);
        out = std::copy_n("Tm ", 3, out);
    }
    lineX64_ = x64;
    lineY64_ = y64;
    return out;
}

bool PdfCanvas::BeginText() {
    // A text right after another joins its text object: only what is drawn in between (a
    // box, a line, a picture) ends one.
    const bool continuing = textEnd_ == content_.size();
    if (continuing) {
        content_.resize(content_.size() - 3);  // "ET\n"
        UseFill(penColour_);  // text is filled in the pen's colour
    } else {
        UseFill(penColour_);
        content_ += "BT\n";
    }
    return continuing;
}

const pdf::PlainFont* PdfCanvas::CellFont() {
    const int fontKey = pixelSize_ * 2 + (bold_ ? 1 : 0);
    if (fontKey != cellFontKey_) {
        cellFont_ = faces_.PlainTables(pixelSize_, bold_);
        cellFontKey_ = fontKey;
    }
    return cellFont_;
}

std::size_t PdfCanvas::DrawTextFitting(int x, int y, std::string_view text, int maxWidth) {
    if (text.empty()) return 0;  // nothing to draw
    if (text.size() <= pdf::FontFaces::kShortText) {
        // A cell that fits as it is (most do) is checked and measured once for both, from the
        // tables of the current font, kept while the font stays (a table's rows share one).
        const pdf::PlainFont* plain = CellFont();
        KeptCell* kept = nullptr;
        if (plain != nullptr) {
            const KeptCells::Key key = KeptCells::KeyOf(text);
            kept = &keptCells_->Place(plain, key, text.size());
            if (KeptCells::Holds(*kept, plain, key, text.size())) {
                if (kept->width <= maxWidth) {
                    if (WithinReach(x, y, 0, 0)) {
                        const bool continuing = BeginText();
                        std::array<char, kKeptCellRoom> buffer;
                        char* const end = WriteKept(buffer.data(), continuing, x, y, text, *plain, *kept);
                        content_.append(buffer.data(), static_cast<std::size_t>(end - buffer.data()));
                        textEnd_ = content_.size();
                    }
                    return text.size();
                }
                kept = nullptr;  // cut to fit: measured below
            } else {
                // Taken when the text is drawn whole in this font.
                kept->font = nullptr;
                kept->head = key.head;
                kept->tail = key.tail;
                kept->size = static_cast<std::uint32_t>(text.size());
            }
        }
        int width = plain != nullptr ? plain->KnownWidth(text) : -1;
        if (width < 0) plain = faces_.Plain(pixelSize_, bold_, text, &width);
        if (plain != nullptr && width <= maxWidth) {
            if (WithinReach(x, y, 0, 0)) DrawPlain(x, y, text, *plain, plain == cellFont_ ? kept : nullptr, width);
            return text.size();
        }
    }
    return DeviceCanvas::DrawTextFitting(x, y, text, maxWidth);
}

void PdfCanvas::DrawRowFitting(int y, std::span<const FittingCell> cells) {
    // The cells kept whole in the current font are written one after another into the row's
    // own buffer, each joining the text object of the one before as DrawTextFitting joins
    // them, and the row goes into the content in one piece; any other cell is drawn by
    // DrawTextFitting in its turn.
    const pdf::PlainFont* const plain = CellFont();
    std::array<char, 8 * kKeptCellRoom> buffer;
    char* out = buffer.data();
    const auto handOn = [&] {
        if (out == buffer.data()) return;
        content_.append(buffer.data(), static_cast<std::size_t>(out - buffer.data()));
        textEnd_ = content_.size();
        out = buffer.data();
    };
    for (const FittingCell& cell : cells) {
        if (cell.text.empty()) continue;
        KeptCell* kept = nullptr;
        if (plain != nullptr && cell.text.size() <= pdf::FontFaces::kShortText && WithinReach(cell.x, y, 0, 0)) {
            const KeptCells::Key key = KeptCells::KeyOf(cell.text);
            KeptCell& place = keptCells_->Place(plain, key, cell.text.size());
            if (KeptCells::Holds(place, plain, key, cell.text.size()) && place.width <= cell.maxWidth) kept = &place;
        }
        if (kept == nullptr) {
            handOn();
            DrawTextFitting(cell.x, y, cell.text, cell.maxWidth);
            continue;
        }
        if (buffer.data() + buffer.size() - out < kKeptCellRoom) handOn();
        bool continuing = true;
        if (out != buffer.data()) {
            out -= 3;  // the "ET\n" of the cell before; its fill holds
        } else {
            continuing = BeginText();
        }
        out = WriteKept(out, continuing, cell.x, y, cell.text, *plain, *kept);
    }
    handOn();
}

char* PdfCanvas::WriteKept(char* out, bool continuing, int x, int y, std::string_view text,
                           const pdf::PlainFont& plain, KeptCell& kept) {
    out = OpenText(out, continuing, plain.FontOperator(), std::int64_t{x} * 64, (std::int64_t{y} + plain.Ascent()) * 64);
    std::memcpy(out, kept.show.data(), kept.show.size());
    out += kept.showSize;
    if (kept.document != document_.serial_) {
        PdfDocument::GlyphSet& used = document_.UsedGlyphs(plain.Face());
        for (const char c : text) used.Add(plain.Glyph(c));
        kept.document = document_.serial_;
    }
    return out;
}

void PdfCanvas::DrawPlain(int x, int y, std::string_view text, const pdf::PlainFont& plain, KeptCell* keep,
                          int width) {
    // A table cell: from the font's tables, the glyphs in one TJ, each spaced from the one
    // before (see GlyphSpacing); written in place. The same content as a shaped text's.
    const bool continuing = BeginText();
    const std::int64_t x64 = std::int64_t{x} * 64;
    const std::int64_t baseline64 = (std::int64_t{y} + plain.Ascent()) * 64;
    PdfDocument::GlyphSet& used = document_.UsedGlyphs(plain.Face());
    const std::string& font = plain.FontOperator();
    // Room for the font ("/F1 67 Tf\n"), the place (two numbers of up to 28 characters)
    // and at most 32 characters a glyph: a number of up to 25, its brackets and the code.
    std::array<char, 256 + 32 * pdf::FontFaces::kShortText> buffer;
    if (text.size() > pdf::FontFaces::kShortText) longText_.resize(256 + 32 * text.size());
    char* const start = text.size() > pdf::FontFaces::kShortText ? longText_.data() : buffer.data();
    char* out = OpenText(start, continuing, font, x64, baseline64);
    char* const show = out;
    const auto put = [&out](std::string_view piece) { out = std::copy(piece.begin(), piece.end(), out); };
    const auto code = [&out, &plain, &used](char c) {
        const std::array<char, 4>& hex = plain.Code(c);
        out = std::copy(hex.begin(), hex.end(), out);
        used.Add(plain.Glyph(c));
    };
    if (text.size() == 1) {
        *out++ = '<';
        code(text[0]);
        put(">Tj\nET\n");
    } else {
        // GlyphSpacing's numbers from the font's gaps: only the rests of the steps are
        // added up here, to know where they carry into a whole millionth.
        const std::int64_t pixelSize = plain.PixelSize();
        std::int64_t rest = 0;
        put("[<");
        code(text[0]);
        for (std::size_t i = 1; i < text.size(); ++i) {
            const char a = text[i - 1];
            const bool kerned = plain.Kerned(a, text[i]);
            const pdf::GlyphSpacing::Step step = kerned ? plain.SpacingStep(a, text[i]) : plain.AdvanceStep(a);
            rest += step.rest;
            const bool carried = rest >= pixelSize;
            if (carried) rest -= pixelSize;
            const int less = carried || i == 1 ? 1 : 0;
            const pdf::PlainFont::Gap& gap = plain.PlainGap(a, less);
            if (!kerned && gap.size != pdf::PlainFont::kNoGap) {
                std::memcpy(out, gap.text.data(), gap.text.size());
                out += gap.size;
            } else if (const std::int64_t number = std::int64_t{plain.PdfWidth(a)} * 1000 - step.whole - less;
                       number != 0) {
                *out++ = '>';
                out = pdf::WriteMillionths(out, number);
                *out++ = '<';
            }
            code(text[i]);
        }
        put(">]TJ\nET\n");
    }
    content_.append(start, static_cast<std::size_t>(out - start));
    textEnd_ = content_.size();
    const auto showSize = static_cast<std::size_t>(out - show);
    if (keep != nullptr && showSize <= KeptCell::kShow) {
        std::memcpy(keep->show.data(), show, showSize);
        keep->showSize = static_cast<std::uint32_t>(showSize);
        keep->width = width;
        keep->document = document_.serial_;
        keep->font = &plain;
    }
}

void PdfCanvas::DrawText(int x, int y, std::string_view text) {
    if (!WithinReach(x, y, 0, 0) || text.empty()) return;
    if (text.size() <= pdf::FontFaces::kShortText) {
        if (const pdf::PlainFont* plain = faces_.Plain(pixelSize_, bold_, text)) {
            DrawPlain(x, y, text, *plain);
            return;
        }
    }
    pdf::FontFaces& faces = faces_;
    const pdf::PlainFont* plain = nullptr;
    const pdf::ShapedText* shaped = text.size() <= pdf::FontFaces::kShortText
                                        ? &faces.Shape(pixelSize_, bold_, text)
                                        : faces.ShapeOrPlain(pixelSize_, bold_, text, plain);
    if (shaped == nullptr) {
        DrawPlain(x, y, text, *plain);
        return;
    }
    const std::int64_t x64 = std::int64_t{x} * 64;
    bool continuing = BeginText();
    const std::int64_t baseline64 = (std::int64_t{y} + faces.Metrics(pixelSize_, bold_).ascent) * 64;
    for (const pdf::GlyphRun& run : shaped->runs) {
        if (run.glyphs.empty()) continue;
        if (run.markedIn != document_.serial_) {
            PdfDocument::GlyphSet& used = document_.UsedGlyphs(run.face);
            for (const std::uint16_t g : run.glyphs) used.Add(g);
            run.markedIn = document_.serial_;
        }
        const std::string& font = ShapedFont(run.face);
        char head[160];
        const std::int64_t glyphX64 = x64 + run.x64[0];
        const std::int64_t glyphY64 = baseline64 + run.y64[0];
        content_.append(head, static_cast<std::size_t>(OpenText(head, continuing, font, glyphX64, glyphY64) - head));
        content_ += run.show;
        lineX64_ += run.lineX64;
        lineY64_ += run.lineY64;
        continuing = true;
    }
    content_ += "ET\n";
    textEnd_ = content_.size();
}

const std::string& PdfCanvas::ShapedFont(int face) {
    // "/F1 38 Tf\n" for each face at the current size.
    const auto key = std::make_pair(face, pixelSize_);
    auto found = shapedFonts_.find(key);
    if (found == shapedFonts_.end()) {
        std::string text = "/F" + std::to_string(face + 1) + ' ';
        Number(text, pixelSize_);
        text += "Tf\n";
        found = shapedFonts_.emplace(key, std::move(text)).first;
    }
    return found->second;
}

void PdfCanvas::DrawLine(int x1, int y1, int x2, int y2) {
    if (!WithinReach(x1, y1, x2, y2)) return;
    UsePen();
    char text[128];
    char* out = pdf::WriteSixtyFourths(text, std::int64_t{x1} * 64);
    out = pdf::WriteSixtyFourths(out, std::int64_t{y1} * 64);
    out = std::copy_n("m\n", 2, out);
    out = pdf::WriteSixtyFourths(out, std::int64_t{x2} * 64);
    out = pdf::WriteSixtyFourths(out, std::int64_t{y2} * 64);
    out = std::copy_n("l\nS\n", 4, out);
    content_.append(text, static_cast<std::size_t>(out - text));
}

void PdfCanvas::DrawRect(int x1, int y1, int x2, int y2) {
    if (!WithinReach(x1, y1, x2, y2)) return;
    if (brush_) UseFill(*brush_);
    UsePen();
    // Whole pixels, written as Number writes them.
    char text[128];
    char* out = pdf::WriteSixtyFourths(text, std::int64_t{std::min(x1, x2)} * 64);
    out = pdf::WriteSixtyFourths(out, std::int64_t{std::min(y1, y2)} * 64);
    out = pdf::WriteSixtyFourths(out, std::abs(std::int64_t{x2} - x1) * 64);
    out = pdf::WriteSixtyFourths(out, std::abs(std::int64_t{y2} - y1) * 64);
    // A table has a box a row: the box and its painting in one append.
    out = brush_ ? std::copy_n("re\nB\n", 5, out) : std::copy_n("re\nS\n", 5, out);
    content_.append(text, static_cast<std::size_t>(out - text));
}

void PdfCanvas::DrawRoundRect(int x1, int y1, int x2, int y2, int cornerWidth, int cornerHeight) {
    if (!WithinReach(x1, y1, x2, y2) || !WithinReach(cornerWidth, cornerHeight, 0, 0)) return;
    if (brush_) UseFill(*brush_);
    UsePen();
    content_ += OutlineOf(Outline::RoundRect, {x1, y1, x2, y2, cornerWidth, cornerHeight});
    Paint("B*\n", "S\n");
}

void PdfCanvas::DrawEllipse(int x1, int y1, int x2, int y2) {
    if (!WithinReach(x1, y1, x2, y2)) return;
    if (brush_) UseFill(*brush_);
    UsePen();
    content_ += OutlineOf(Outline::Ellipse, {x1, y1, x2, y2, 0, 0});
    Paint("B*\n", "S\n");
}

void PdfCanvas::DrawImage(ReportImage image, int x1, int y1, int x2, int y2) {
    if (!WithinReach(x1, y1, x2, y2) || x1 == x2 || y1 == y2) return;
    const QImage& source = document_.Source(image);
    if (source.isNull()) return;
    const PdfDocument::PlacedImage& placed = document_.Placed(image, source, std::abs(x2 - x1), std::abs(y2 - y1));
    content_ += placed.head;
    Number(content_, std::min(x1, x2));
    Number(content_, std::min(y1, y2));
    content_ += placed.tail;
}

std::optional<DeviceCanvas::ImageSize> PdfCanvas::GetImageSize(ReportImage image) const {
    const QImage& source = document_.Source(image);
    if (source.isNull()) return std::nullopt;
    return ImageSize{source.width(), source.height()};
}

bool PdfCanvas::SameAs(const PdfCanvas& other) const {
    const bool sameFont = textFont_ == other.textFont_ ||
                          (textFont_ != nullptr && other.textFont_ != nullptr && *textFont_ == *other.textFont_);
    return sameFont && content_ == other.content_ && pixelSize_ == other.pixelSize_ && bold_ == other.bold_ &&
           penColour_ == other.penColour_ && penWidth_ == other.penWidth_ && penStyle_ == other.penStyle_ &&
           brush_ == other.brush_ && fillSet_ == other.fillSet_ && strokeSet_ == other.strokeSet_ &&
           strokeStyleSet_ == other.strokeStyleSet_ && textEnd_ == other.textEnd_ && lineX64_ == other.lineX64_ &&
           lineY64_ == other.lineY64_;
}

void PdfCanvas::TakeStateOf(const PdfCanvas& other) {
    content_ = other.content_;
    content_.reserve(1 << 17);
    pixelSize_ = other.pixelSize_;
    bold_ = other.bold_;
    penColour_ = other.penColour_;
    penWidth_ = other.penWidth_;
    penStyle_ = other.penStyle_;
    brush_ = other.brush_;
    fillSet_ = other.fillSet_;
    strokeSet_ = other.strokeSet_;
    strokeStyleSet_ = other.strokeStyleSet_;
    textEnd_ = other.textEnd_;
    textFont_ = other.textFont_;
    lineX64_ = other.lineX64_;
    lineY64_ = other.lineY64_;
    shapedFonts_ = other.shapedFonts_;
    colours_ = other.colours_;
    nextColour_ = other.nextColour_;
}

bool PdfCanvas::TakeStart(int key, bool take) {
    // The glyphs and pictures of the kept start are the document's already.
    for (const PdfDocument::KeptStart& kept : document_.keptStarts_) {
        if (take && kept.key == key && SameAs(*kept.before)) {
            TakeStateOf(*kept.after);
            document_.startingPage_ = nullptr;
            return true;
        }
    }
    document_.startingFrom_.reset(new PdfCanvas(*this));
    document_.startingPage_ = this;
    return false;
}

bool PdfCanvas::KeepStart(int key) {
    if (document_.startingPage_ != this || !document_.startingFrom_) return false;
    std::erase_if(document_.keptStarts_, [key](const PdfDocument::KeptStart& kept) { return kept.key == key; });
    document_.keptStarts_.push_back(
        {key, std::move(document_.startingFrom_), std::unique_ptr<PdfCanvas>(new PdfCanvas(*this))});
    document_.startingPage_ = nullptr;
    return true;
}

// ---- the document -----------------------------------------------------------------------

PdfDocument::PdfDocument(const ReportImages& images) : images_(images), serial_(NextSerial()) {}

PdfDocument::~PdfDocument() = default;

PdfCanvas& PdfDocument::NewPage() {
    pages_.push_back(std::unique_ptr<PdfCanvas>(new PdfCanvas(*this)));
    return *pages_.back();
}

const QImage& PdfDocument::Source(ReportImage image) const {
    switch (image) {
        case ReportImage::Star: return images_.star;
        case ReportImage::Ball: return images_.ball;
        case ReportImage::ProductLogo: return images_.productLogo;
        case ReportImage::CentreLogo: break;
    }
    return images_.centreLogo;
}

const PdfDocument::PlacedImage& PdfDocument::Placed(ReportImage image, const QImage& source, int width, int height) {
    const qint64 key = source.cacheKey();
    for (const PlacedImage& placed : placed_) {
        if (!placed.head.empty() && placed.image == image && placed.source == key && placed.width == width &&
            placed.height == height) {
            return placed;
        }
    }
    PlacedImage& placed = placed_[nextPlaced_];
    nextPlaced_ = (nextPlaced_ + 1) % placed_.size();
    placed = {image, key, width, height, "q\n", "cm\n"};
    // As on Qt's devices: stars and chart points made for their box and kept without loss,
    // the logos at their own size.
    const bool mark = image == ReportImage::Star || image == ReportImage::Ball;
    const QImage picture = PictureForBox(source, mark ? QSize(width, height) : source.size(), true);
    Number(placed.head, static_cast<double>(width) / picture.width());
    placed.head += "0 0 ";
    Number(placed.head, static_cast<double>(height) / picture.height());
    Number(placed.tail, picture.width());
    placed.tail += "0 0 ";
    Number(placed.tail, -picture.height());
    placed.tail += "0 ";
    Number(placed.tail, picture.height());
    placed.tail += "cm\n";
    placed.tail += ImageName(picture, mark);
    placed.tail += " Do\nQ\n";
    return placed;
}

const std::string& PdfDocument::ImageName(const QImage& picture, bool lossless) {
    for (const UsedImage& used : imagesUsed_) {
        if (used.picture.cacheKey() == picture.cacheKey() && used.lossless == lossless) return used.name;
    }
    imagesUsed_.push_back({picture, lossless, "/Im" + std::to_string(imagesUsed_.size() + 1)});
    return imagesUsed_.back().name;
}

std::vector<std::uint16_t> PdfDocument::GlyphSet::Sorted() const {
    std::vector<std::uint16_t> glyphs;
    for (std::size_t w = 0; w < words.size(); ++w) {
        for (std::uint64_t bits = words[w]; bits != 0; bits &= bits - 1) {
            glyphs.push_back(static_cast<std::uint16_t>(w * 64 + static_cast<std::size_t>(std::countr_zero(bits))));
        }
    }
    return glyphs;
}

std::string PdfDocument::Finish(const std::string& title, const std::string& creator,
                                const std::string& producer) const {
    std::size_t contents = 0;
    for (const auto& page : pages_) contents += page->content_.size();
    std::string pdf;
    pdf.reserve(contents + (std::size_t{1} << 18));
    Write([&pdf](std::string_view piece) { pdf += piece; }, title, creator, producer);
    return pdf;
}

void PdfDocument::Write(const std::function<void(std::string_view)>& sink, const std::string& title,
                        const std::string& creator, const std::string& producer) const {
    // The file's own text is gathered and handed on in pieces; page contents, font programs
    // and pictures are handed on as they are, not copied.
    struct Output {
        const std::function<void(std::string_view)>& sink;
        std::string text;
        std::size_t handedOn = 0;
        std::size_t Size() const { return handedOn + text.size(); }
        void HandOn(std::string_view data) {
            if (!text.empty()) {
                sink(text);
                handedOn += text.size();
                text.clear();
            }
            if (!data.empty()) {
                sink(data);
                handedOn += data.size();
            }
        }
    } out{sink, {}, 0};
    out.text.reserve(std::size_t{1} << 16);
    out.text = "%PDF-1.4\n%\xE2\xE3\xCF\xD3\n";
    std::vector<std::size_t> offsets(1, 0);  // object 0 is the free list's head
    const auto begin = [&out, &offsets](int number) {
        if (offsets.size() <= static_cast<std::size_t>(number)) offsets.resize(static_cast<std::size_t>(number) + 1, 0);
        offsets[static_cast<std::size_t>(number)] = out.Size();
        out.text += std::to_string(number) + " 0 obj\n";
    };
    const auto stream = [&out](const std::string& dictionary, std::string_view data) {
        out.text += "<<" + dictionary + " /Length " + std::to_string(data.size()) + ">>\nstream\n";
        out.HandOn(data);
        out.text += "\nendstream\nendobj\n";
    };

    // Numbers: 1 information, 2 catalogue, 3 page tree, 4 resources, 5 graphics state, then
    // two per page, five per font, two per picture.
    int next = 6;
    std::vector<int> pageObjects;
    for (std::size_t i = 0; i < pages_.size(); ++i) {
        pageObjects.push_back(next);
        next += 2;
    }
    std::map<int, int> fontObjects;
    for (const auto& [face, glyphs] : faces_) {
        fontObjects[face] = next;
        next += 5;
    }
    std::vector<int> imageObjects;
    for (std::size_t i = 0; i < imagesUsed_.size(); ++i) {
        imageObjects.push_back(next);
        next += 2;
    }

    begin(1);
    out.text += "<< /Title " + Literal(title) + " /Creator " + Literal(creator) + " /Producer " + Literal(producer) +
           " /CreationDate (D:" + CreationDate() + "Z) >>\nendobj\n";
    begin(2);
    out.text += "<< /Type /Catalog /Pages 3 0 R >>\nendobj\n";
    begin(3);
    out.text += "<< /Type /Pages /Kids [";
    for (const int page : pageObjects) out.text += std::to_string(page) + " 0 R ";
    out.text += "] /Count " + std::to_string(pages_.size()) + " >>\nendobj\n";
    begin(4);
    out.text += "<< /ProcSet [/PDF /Text /ImageB /ImageC] /ExtGState << /GSa 5 0 R >> /Font <<";
    for (const auto& [face, object] : fontObjects) {
        out.text += " /F" + std::to_string(face + 1) + " " + std::to_string(object) + " 0 R";
    }
    out.text += " >> /XObject <<";
    for (std::size_t i = 0; i < imagesUsed_.size(); ++i) {
        out.text += " " + imagesUsed_[i].name + " " + std::to_string(imageObjects[i]) + " 0 R";
    }
    out.text += " >> >>\nendobj\n";
    begin(5);
    out.text += "<< /Type /ExtGState /SA true /SM 0.02 /ca 1.0 /CA 1.0 /AIS false /SMask /None >>\nendobj\n";

    for (std::size_t i = 0; i < pages_.size(); ++i) {
        const int object = pageObjects[i];
        begin(object);
        out.text += "<< /Type /Page /Parent 3 0 R /MediaBox [0 0 595 842] /Resources 4 0 R /Contents " +
               std::to_string(object + 1) + " 0 R >>\nendobj\n";
        begin(object + 1);
        // Page content as it is, neither compressed nor encoded.
        stream("", pages_[i]->content_);
    }

    pdf::FontFaces& faces = pdf::ReportFontFaces();
    for (const auto& [faceIndex, object] : fontObjects) {
        pdf::FontFace& face = faces.Face(faceIndex);
        const std::vector<std::uint16_t> glyphs = faces_.at(faceIndex).Sorted();
        const pdf::FontFace::Program& program = face.ProgramFor(glyphs);
        // A subset's name begins with six capitals of its own.
        std::uint32_t hash = 2166136261u;
        for (const std::uint16_t g : glyphs) hash = (hash ^ g) * 16777619u;
        std::string name;
        for (int k = 0; k < 6; ++k, hash /= 26) name += static_cast<char>('A' + hash % 26);
        name += "+" + face.BaseName();

        begin(object);
        out.text += "<< /Type /Font /Subtype /Type0 /BaseFont /" + name + " /Encoding /Identity-H /DescendantFonts [" +
               std::to_string(object + 1) + " 0 R] /ToUnicode " + std::to_string(object + 4) + " 0 R >>\nendobj\n";
        begin(object + 1);
        out.text += "<< /Type /Font /Subtype /CIDFontType2 /BaseFont /" + name +
               " /CIDSystemInfo << /Registry (Adobe) /Ordering (Identity) /Supplement 0 >> /FontDescriptor " +
               std::to_string(object + 2) + " 0 R /CIDToGIDMap /Identity /W [";
        for (std::size_t i = 0; i < glyphs.size();) {
            std::size_t j = i;
            out.text += std::to_string(glyphs[i]) + " [";
            for (; j < glyphs.size() && glyphs[j] == glyphs[i] + (j - i); ++j) {
                out.text += std::to_string(face.Width(glyphs[j])) + " ";
            }
            out.text += "] ";
            i = j;
        }
        out.text += "] >>\nendobj\n";
        std::string descriptor;
        descriptor += "<< /Type /FontDescriptor /FontName /" + name + " /Flags 4 /FontBBox [";
        for (int k = 0; k < 4; ++k) Number(descriptor, face.Box()[k]);
        descriptor += "] /ItalicAngle 0 /Ascent ";
        Number(descriptor, face.Ascent());
        descriptor += "/Descent ";
        Number(descriptor, face.Descent());
        descriptor += "/CapHeight ";
        Number(descriptor, face.Ascent());
        descriptor += "/StemV ";
        Number(descriptor, face.StemV());
        begin(object + 2);
        out.text += descriptor + "/FontFile2 " + std::to_string(object + 3) + " 0 R >>\nendobj\n";
        begin(object + 3);
        stream(" /Length1 " + std::to_string(program.length) + " /Filter /FlateDecode", program.compressed);

        // Text extraction: each glyph read as its character.
        std::string cmap =
            "/CIDInit /ProcSet findresource begin\n12 dict begin\nbegincmap\n"
            "/CIDSystemInfo << /Registry (Adobe) /Ordering (UCS) /Supplement 0 >> def\n"
            "/CMapName /Adobe-Identity-UCS def\n/CMapType 2 def\n"
            "1 begincodespacerange\n<0000> <FFFF>\nendcodespacerange\n";
        std::vector<std::pair<std::uint16_t, char32_t>> mapped;
        for (const std::uint16_t g : glyphs) {
            if (const char32_t c = face.CharacterOf(g); c != 0) mapped.emplace_back(g, c);
        }
        for (std::size_t i = 0; i < mapped.size(); i += 100) {
            const std::size_t n = std::min<std::size_t>(100, mapped.size() - i);
            cmap += std::to_string(n) + " beginbfchar\n";
            for (std::size_t k = i; k < i + n; ++k) {
                cmap += '<';
                Hex4(cmap, mapped[k].first);
                cmap += "> <";
                const char32_t c = mapped[k].second;
                if (c > 0xFFFF) {
                    Hex4(cmap, 0xD800 + ((c - 0x10000) >> 10));
                    Hex4(cmap, 0xDC00 + ((c - 0x10000) & 0x3FF));
                } else {
                    Hex4(cmap, c);
                }
                cmap += ">\n";
            }
            cmap += "endbfchar\n";
        }
        cmap += "endcmap\nCMapName currentdict /CMap defineresource pop\nend\nend\n";
        begin(object + 4);
        stream("", cmap);
    }

    for (std::size_t i = 0; i < imagesUsed_.size(); ++i) {
        const int object = imageObjects[i];
        const EncodedImage& encoded = Encoded(imagesUsed_[i].picture, imagesUsed_[i].lossless);
        const std::string size = " /Width " + std::to_string(encoded.width) + " /Height " +
                                 std::to_string(encoded.height) + " /BitsPerComponent 8";
        begin(object);
        stream(" /Type /XObject /Subtype /Image" + size + " /ColorSpace /DeviceRGB" +
                   (encoded.alpha.empty() ? std::string() : " /SMask " + std::to_string(object + 1) + " 0 R") +
                   (encoded.jpeg ? " /Filter /DCTDecode" : " /Filter /FlateDecode"),
               encoded.colours);
        begin(object + 1);
        if (encoded.alpha.empty()) {
            out.text += "null\nendobj\n";
        } else {
            stream(" /Type /XObject /Subtype /Image" + size + " /ColorSpace /DeviceGray /Filter /FlateDecode",
                   encoded.alpha);
        }
    }

    const std::size_t xref = out.Size();
    out.text += "xref\n0 " + std::to_string(offsets.size()) + "\n0000000000 65535 f \n";
    for (std::size_t i = 1; i < offsets.size(); ++i) {
        char entry[24];
        std::snprintf(entry, sizeof entry, "%010zu 00000 n \n", offsets[i]);
        out.text += entry;
    }
    out.text += "trailer\n<< /Size " + std::to_string(offsets.size()) + " /Root 2 0 R /Info 1 0 R >>\nstartxref\n" +
           std::to_string(xref) + "\n%%EOF\n";
    out.HandOn({});
}

}  // namespace ovista
