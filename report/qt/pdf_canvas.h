#pragma once
// Report pages written straight into a PDF file. The page drawing is the same as for the
// printer, the preview and JPEG (Qt's device); this device draws what Qt's PDF engine draws
// for the same calls (A4 at 600 pixels per inch, text as text in the report's embedded font,
// every glyph where Qt places it, pictures at full resolution without loss), with each text
// written more briefly than Qt writes it (see pdf::GlyphSpacing), and takes from earlier
// reports of the process what does not change between them: text shapes, the font program
// cut to the glyphs in use, the compressed pictures.
#include <QImage>
#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "report/device_canvas.h"
#include "report/qt/report_images.h"

namespace ovista {

class PdfDocument;
namespace pdf {
class FontFaces;
class PlainFont;
}

// One page of a PdfDocument.
class PdfCanvas : public DeviceCanvas {
public:
    // A4 at 600 pixels per inch, as Qt 6.4's PDF writer lays it out (6.8's cuts the height
    // to 7016), on every Qt version: the same page from the same input.
    static constexpr int kPageWidth = 4958;
    static constexpr int kPageHeight = 7017;

    int Width() const override { return kPageWidth; }
    int Height() const override { return kPageHeight; }

    void SetFont(double pointSize, bool bold) override;
    int TextWidth(std::string_view text) override;
    int TextHeight(std::string_view text) override;
    int TextAscent() override;
    void SetPen(Rgb colour, int width, PenStyle style) override;
    void SetBrush(std::optional<Rgb> fill) override;
    void DrawText(int x, int y, std::string_view text) override;
    std::size_t DrawTextFitting(int x, int y, std::string_view text, int maxWidth) override;
    void DrawRowFitting(int y, std::span<const FittingCell> cells) override;
    void DrawLine(int x1, int y1, int x2, int y2) override;
    void DrawRect(int x1, int y1, int x2, int y2) override;
    void DrawRoundRect(int x1, int y1, int x2, int y2, int cornerWidth, int cornerHeight) override;
    void DrawEllipse(int x1, int y1, int x2, int y2) override;
    void DrawImage(ReportImage image, int x1, int y1, int x2, int y2) override;
    std::optional<ImageSize> GetImageSize(ReportImage image) const override;
    bool TakeStart(int key, bool take) override;
    bool KeepStart(int key) override;

    // The page's content stream so far.
    const std::string& Content() const { return content_; }

private:
    friend class PdfDocument;
    explicit PdfCanvas(PdfDocument& document);
    PdfCanvas(const PdfCanvas&) = default;
    // Whether what the page holds and the state the next call starts from are other's.
    bool SameAs(const PdfCanvas& other) const;
    void TakeStateOf(const PdfCanvas& other);

    // Writes at out what a text at (x64, y64) (1/64 pixel, y downwards) in font ("/F1 38
    // Tf\n") needs before its glyphs: the font, when it changed, and the text position; in a
    // new text object or continuing the last. Returns the end.
    char* OpenText(char* out, bool continuing, const std::string& font, std::int64_t x64, std::int64_t y64);
    // Starts a text: the fill, and a new text object or the last one reopened; true for the latter.
    bool BeginText();
    // A table cell as DrawPlain writes it after its place, kept (see KeptCells).
    struct KeptCell;
    class KeptCells;
    // A text that the font's plain tables draw; a cell of width pixels kept at keep too.
    void DrawPlain(int x, int y, std::string_view text, const pdf::PlainFont& plain, KeptCell* keep = nullptr,
                   int width = 0);
    // Writes at out a kept cell at (x, y) as DrawPlain writes it; returns the end. out has room
    // for kKeptCellRoom characters.
    static constexpr std::ptrdiff_t kKeptCellRoom = 224;
    char* WriteKept(char* out, bool continuing, int x, int y, std::string_view text, const pdf::PlainFont& plain,
                    KeptCell& kept);
    // The plain tables of the current font, kept while the font stays; nullptr for none.
    const pdf::PlainFont* CellFont();
    // "/F1 38 Tf\n": a face at the current size.
    const std::string& ShapedFont(int face);
    // "r g b " of a colour in the content.
    const std::string& ColourText(Rgb colour);
    // The pen's colour and stroke state into the content, when they changed.
    void UsePen();
    void UseFill(Rgb colour) {
        if (fillSet_ != colour) SetFill(colour);
    }
    void SetFill(Rgb colour);
    void Paint(std::string_view fillAndStroke, std::string_view strokeOnly);  // each with its line end

    PdfDocument& document_;
    pdf::FontFaces& faces_;  // the drawing thread's
    std::string content_;
    int pixelSize_ = 1;
    bool bold_ = false;
    Rgb penColour_ = kBlack;
    int penWidth_ = 0;
    PenStyle penStyle_ = PenStyle::Solid;
    std::optional<Rgb> brush_;
    // What the content has set last.
    std::optional<Rgb> fillSet_;
    std::optional<Rgb> strokeSet_;
    std::optional<std::pair<int, PenStyle>> strokeStyleSet_;
    // The content's size right after the last text object when nothing came after it (a next
    // text joins it), the font set last and the start of the last text line (1/64 pixel).
    std::size_t textEnd_ = 0;
    const std::string* textFont_ = nullptr;
    std::int64_t lineX64_ = 0;
    std::int64_t lineY64_ = 0;
    std::map<std::pair<int, int>, std::string> shapedFonts_;
    std::array<std::pair<Rgb, std::string>, 4> colours_;  // the last colours written, and their text
    std::vector<char> longText_;  // room to write a long plain text in
    std::size_t nextColour_ = 0;
    // The plain tables of the font DrawTextFitting last drew in, and that font (pixel size *
    // 2 + bold; -1 for none yet).
    const pdf::PlainFont* cellFont_ = nullptr;
    int cellFontKey_ = -1;
    KeptCells* keptCells_;  // the drawing thread's
};

// A PDF of report pages, built in memory.
class PdfDocument {
public:
    // images must outlive the document.
    explicit PdfDocument(const ReportImages& images);
    ~PdfDocument();
    PdfDocument(const PdfDocument&) = delete;
    PdfDocument& operator=(const PdfDocument&) = delete;

    // A new page after the others; valid while the document lives.
    PdfCanvas& NewPage();
    // The whole file: the pages, their fonts and pictures, and the document information.
    std::string Finish(const std::string& title, const std::string& creator, const std::string& producer) const;
    // The same file handed to sink piece by piece, in order.
    void Write(const std::function<void(std::string_view)>& sink, const std::string& title, const std::string& creator,
               const std::string& producer) const;

private:
    friend class PdfCanvas;
    // The name of a picture in the pages' resources ("/Im1"), noting it for the file.
    const std::string& ImageName(const QImage& picture, bool lossless);
    // The glyphs of a font face ("/F1" for face 0) that the pages use.
    struct GlyphSet {
        std::array<std::uint64_t, 1024> words{};
        void Add(std::uint16_t glyph) { words[glyph >> 6] |= std::uint64_t{1} << (glyph & 63); }
        std::vector<std::uint16_t> Sorted() const;
    };
    GlyphSet& UsedGlyphs(int face) {
        if (lastFace_ != nullptr && lastFace_->first == face) return lastFace_->second;
        lastFace_ = &*faces_.try_emplace(face).first;
        return lastFace_->second;
    }
    const QImage& Source(ReportImage image) const;
    // What the content holds around the place (x, y) of a picture drawn width x height pixels:
    // "q\n0.5 0 0 0.5 " before it, "cm\n... /Im1 Do\nQ\n" after it; kept for the last few
    // (stars and chart points come many to a page at one size).
    struct PlacedImage {
        ReportImage image = ReportImage::Star;
        qint64 source = 0;
        int width = 0;
        int height = 0;
        std::string head;
        std::string tail;
    };
    const PlacedImage& Placed(ReportImage image, const QImage& source, int width, int height);

    const ReportImages& images_;
    // Tells this document from every other of the process: a kept cell notes the document
    // whose glyph set holds its glyphs already.
    const std::uint64_t serial_;
    std::vector<std::unique_ptr<PdfCanvas>> pages_;
    std::map<int, GlyphSet> faces_;  // face -> glyphs used
    std::pair<const int, GlyphSet>* lastFace_ = nullptr;
    struct UsedImage {
        QImage picture;
        bool lossless = false;
        std::string name;
    };
    std::vector<UsedImage> imagesUsed_;  // in the order first drawn
    std::array<PlacedImage, 4> placed_;
    std::size_t nextPlaced_ = 0;
    // Page starts kept for the next pages that begin alike (see DeviceCanvas::KeepStart): the
    // page before and after, and the one about to be drawn.
    struct KeptStart {
        int key = 0;
        std::unique_ptr<PdfCanvas> before;
        std::unique_ptr<PdfCanvas> after;
    };
    std::vector<KeptStart> keptStarts_;
    std::unique_ptr<PdfCanvas> startingFrom_;  // as startingPage_ began
    const PdfCanvas* startingPage_ = nullptr;
};

}  // namespace ovista
