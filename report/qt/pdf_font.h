#pragma once
// The report's typeface as the PDF device writes it. Texts are shaped as Qt shapes them for
// the printer, the preview and Qt's own PDF engine (so every width, glyph and place is the
// same): by Qt, each text once per process (a batch draws the same labels and messages for
// thousands of herds), or from tables learnt from Qt's shaping (see PlainFont). Each PDF
// embeds the font program cut down to the glyphs it uses, made once for each set of glyphs.
#include <QFont>
#include <QFontMetrics>
#include <QRawFont>
#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <functional>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace ovista::pdf {

// The glyphs of a text in one font program, with their pen positions from the point the
// text is drawn at (its baseline start), in 1/64 pixel as Qt places them.
struct GlyphRun {
    int face = 0;  // FontFaces::Face(face)
    std::vector<std::uint16_t> glyphs;
    std::vector<std::int64_t> x64;
    std::vector<std::int64_t> y64;
    // The page content that shows the glyphs once the text position is at the first:
    // "[<0013>.03<0014>]TJ\n" (see GlyphSpacing), or a step to each glyph when they do not
    // share a baseline; and where that leaves the start of the line, from the first glyph.
    std::string show;
    std::int64_t lineX64 = 0;
    std::int64_t lineY64 = 0;
    // The PDF document (its serial number) whose glyph set has the glyphs already, when the
    // run was drawn there before: the document's own labels and sentences come back page
    // after page.
    mutable std::uint64_t markedIn = 0;
};

// A text shaped at one pixel size and weight.
struct ShapedText {
    std::vector<GlyphRun> runs;  // one unless a character needs another font
    int width = 0;               // pixels, rounded as Qt rounds a text's width
};

// A number of the page content, written as Qt's PDF engine writes it: nine significant
// digits, cut (not rounded), no trailing zeros after a whole number; then a space.
void Number(std::string& out, double value);
// The same at out, which has room for 24 characters; returns the end.
char* WriteNumber(char* out, double value);
// A length in 1/64 pixel as the exact decimal number of pixels ("3371", "-18.609375"); then a
// space. out has room for 28 characters.
char* WriteSixtyFourths(char* out, std::int64_t value64);
// Four hexadecimal digits, capitals: a glyph's code in the content.
void Hex4(std::string& out, std::uint32_t value);
char* WriteHex4(char* out, std::uint32_t value);

// The glyphs of a text shown by one TJ operator: a reader advances each glyph by its width
// in the font's /W array (whole thousandths of the em), and the number written after it moves
// the next one back by that many thousandths. The numbers put every glyph where Qt places it
// (whole 64ths of a pixel from the first) and a hair further, at most a millionth of the em
// (1e-4 pixel at 100 pixels): readers round a glyph's place down to a fraction of a
// device pixel, and the places that are exactly on such a boundary (common: a quarter of a
// pixel at 100 dpi is a pixel and a half at 600) must not slip to the fraction before. Each
// number is worked out from where the glyph must land, not from the glyph before, so that
// nothing adds up along a text.
class GlyphSpacing {
public:
    explicit GlyphSpacing(int pixelSize) : pixelSize_(pixelSize > 0 ? pixelSize : 1) {}
    // A pen step in 1/64 pixel as millionths of the em: whole ones and what is left over, in
    // (1/64 pixel) / pixelSize (step64 * 15625 = whole * pixelSize + rest, 0 <= rest < pixelSize).
    struct Step {
        std::int64_t whole = 0;
        std::int64_t rest = 0;
    };
    Step Split(std::int64_t step64) const {
        const std::int64_t scaled = step64 * 15625;
        Step step{scaled / pixelSize_, scaled % pixelSize_};
        if (step.rest < 0) {
            step.rest += pixelSize_;
            --step.whole;
        }
        return step;
    }
    // The number to write between the glyph before, of width thousandths of the em, and the
    // next glyph, step further along (see Split), in millionths of the em; 0 writes none.
    std::int64_t Next(int width, Step step) {
        place_ += step.whole;
        rest_ += step.rest;
        if (rest_ >= pixelSize_) {
            rest_ -= pixelSize_;
            ++place_;
        }
        widths_ += width;
        // The whole millionth after the glyph's place, from where the widths alone put it.
        const std::int64_t shift = widths_ * 1000 - (place_ + 1);
        const std::int64_t number = shift - shifted_;
        shifted_ = shift;
        return number;
    }

private:
    std::int64_t pixelSize_;
    std::int64_t place_ = 0;    // millionths of the em from the first glyph, whole
    std::int64_t rest_ = 0;     // and the rest, in 1 / pixelSize millionths
    std::int64_t widths_ = 0;   // thousandths of the em
    std::int64_t shifted_ = 0;  // millionths of the em, written so far
};
// A GlyphSpacing number as the content writes it, in thousandths: ".03", "-74"; no space.
// out has room for 32 characters.
char* WriteMillionths(char* out, std::int64_t millionths);

// Texts that Qt shapes character by character, at one pixel size and weight: every character
// printable ASCII (the space too), each its own glyph, each glyph placed at the sum of the
// advances before it and of the kerning of each pair before it. What each character and each
// pair of neighbours does is learnt from Qt's own shaping (and width) of them, the first time
// they are met; a text with a character or pair that Qt shapes otherwise is not plain.
// Table cells, labels and sentences are drawn from these tables without shaping or looking
// the text up.
class PlainFont {
public:
    static constexpr int kFirst = 0x20;
    static constexpr int kCount = 0x7F - kFirst;

    int Face() const { return face_; }
    int PixelSize() const { return pixelSize_; }
    int Ascent() const { return ascent_; }
    std::uint16_t Glyph(char c) const { return glyph_[Index(c)]; }
    // Pen step from c's glyph to the next character's, in 1/64 pixel; next 0 at the end.
    std::int32_t Step64(char c, char next) const {
        return next == 0 ? advance64_[Index(c)] : advance64_[Index(c)] + kern64_[Index(c) * kCount + Index(next)];
    }
    // Width in pixels, rounded as Qt rounds a text's width.
    int Width(std::string_view plain) const;
    // The width of a text (not empty) when each of its characters and neighbouring pairs is
    // already known to be plain; else -1, and FontFaces::Plain decides (learning what is not
    // known yet). A table's cells mostly hold characters and pairs met many times before.
    int KnownWidth(std::string_view text) const {
        std::int64_t sum = 0;
        const std::size_t last = text.size() - 1;
        for (std::size_t i = 0; i < last; ++i) {
            const std::size_t a = Index(text[i]);
            const std::size_t b = Index(text[i + 1]);
            if (a >= kCount || b >= kCount) return -1;
            const std::size_t pair = a * kCount + b;
            if (pairs_[pair] != Known::Plain) return -1;  // known plain only when both characters are
            sum += advance64_[a] + kern64_[pair];
        }
        const std::size_t end = Index(text[last]);
        if (end >= kCount || (last == 0 && chars_[end] != Known::Plain)) return -1;
        // Half a pixel up, as Qt rounds its 1/64 pixels.
        return static_cast<int>((sum + advance64_[end] + 32) >> 6);
    }
    // "/F1 38 Tf\n": the font of a text in the page content.
    const std::string& FontOperator() const { return fontOperator_; }
    // c's glyph code in the content ("0013") and its width in the PDF (thousandths of the em).
    const std::array<char, 4>& Code(char c) const { return code_[Index(c)]; }
    int PdfWidth(char c) const { return pdfWidth_[Index(c)]; }
    // The step from c to the next character as GlyphSpacing counts it.
    GlyphSpacing::Step SpacingStep(char c, char next) const {
        const std::size_t pair = Index(c) * kCount + Index(next);
        if (kern64_[pair] == 0) return advanceSteps_[Index(c)];
        return GlyphSpacing(pixelSize_).Split(advance64_[Index(c)] + kern64_[pair]);
    }
    const GlyphSpacing::Step& AdvanceStep(char c) const { return advanceSteps_[Index(c)]; }
    bool Kerned(char c, char next) const { return kern64_[Index(c) * kCount + Index(next)] != 0; }
    // What a TJ holds between c's glyph and the next one's when the pair is not kerned: the
    // GlyphSpacing number in its angle brackets (">.03<"), or nothing when it is 0. With the
    // advance's rest carried into a whole millionth, and after the first glyph, the number is
    // one less: carried 1, else 0 (see GlyphSpacing::Next). Empty with size kNoGap when the
    // number is too long to keep: it is written as it comes.
    struct Gap {
        std::array<char, 15> text{};
        std::uint8_t size = 0;
    };
    static constexpr std::uint8_t kNoGap = 0xFF;
    const Gap& PlainGap(char c, int carried) const { return gaps_[Index(c)][static_cast<std::size_t>(carried)]; }

private:
    friend class FontFaces;
    enum class Known : std::uint8_t { NotYet, Plain, NotPlain };
    static std::size_t Index(char c) { return static_cast<std::size_t>(static_cast<unsigned char>(c) - kFirst); }

    int pixelSize_ = 0;
    bool bold_ = false;
    int face_ = -1;
    int ascent_ = 0;
    std::string fontOperator_;
    std::array<Known, kCount> chars_{};
    std::array<std::uint16_t, kCount> glyph_{};
    std::array<std::int32_t, kCount> advance64_{};
    std::array<std::array<char, 4>, kCount> code_{};
    std::array<int, kCount> pdfWidth_{};
    std::array<GlyphSpacing::Step, kCount> advanceSteps_{};
    std::array<std::array<Gap, 2>, kCount> gaps_{};
    std::vector<Known> pairs_ = std::vector<Known>(kCount * kCount, Known::NotYet);
    std::vector<std::int32_t> kern64_ = std::vector<std::int32_t>(kCount * kCount, 0);
};

// One font program that texts were shaped in: its metrics and the way to embed it.
class FontFace {
public:
    explicit FontFace(const QRawFont& font);

    // "LiberationSans", "LiberationSans-Bold": the name PDF readers show.
    const std::string& BaseName() const { return baseName_; }
    // In thousandths of the em, as PDF fonts are measured.
    double Ascent() const { return ascent_; }
    double Descent() const { return descent_; }
    const double* Box() const { return box_; }  // x min, y min, x max, y max
    double StemV() const { return stemV_; }
    // Advance of a glyph in thousandths of the em, rounded (the PDF widths).
    int Width(std::uint16_t glyph) const;
    // The character a glyph stands for, for text extraction; 0 when none is known.
    char32_t CharacterOf(std::uint16_t glyph) const;
    void NoteCharacter(std::uint16_t glyph, char32_t character);

    // The font program a PDF embeds for glyphs (sorted), compressed (zlib), and its length
    // uncompressed. The codes in the content are the glyph numbers, and the program keeps
    // them. It holds every glyph of the report's character set, so one program made once
    // serves every report.
    struct Program {
        std::string compressed;
        std::size_t length = 0;
    };
    const Program& ProgramFor(const std::vector<std::uint16_t>& glyphs);

private:
    Program MakeProgram(const std::vector<std::uint16_t>& glyphs) const;

    QRawFont font_;
    std::vector<std::uint16_t> characterSetGlyphs_;  // sorted
    std::string baseName_;
    int unitsPerEm_ = 2048;
    double ascent_ = 0;
    double descent_ = 0;
    double box_[4] = {0, 0, 0, 0};
    double stemV_ = 80;
    std::vector<std::uint16_t> advances_;  // font units, per glyph
    std::unordered_map<std::uint16_t, char32_t> characters_;
    std::map<std::vector<std::uint16_t>, Program> programs_;
};

// The faces texts were shaped in and the shapes of the texts, for the whole process.
class FontFaces {
public:
    // The font the report draws its text in (Liberation Sans) at pixelSize.
    static QFont ReportFont(int pixelSize, bool bold);

    // Texts of at most this many bytes are drawn and measured from the plain tables when they
    // are plain; longer ones (labels, sentences: the same for every herd) are looked up.
    static constexpr std::size_t kShortText = 16;

    // The glyphs of a text; valid until the next call.
    const ShapedText& Shape(int pixelSize, bool bold, std::string_view utf8);
    // The same for a text met kPlainMeetings times before or one that the plain tables do not
    // draw; for a plain text met fewer times nullptr, and its font's tables at plain: a herd's
    // own sentence or name is met once or twice (page 1's band on page 3), a cow list's
    // heading with its count a few times in a batch, and is drawn from the tables rather than
    // shaped and kept for nothing or next to nothing.
    const ShapedText* ShapeOrPlain(int pixelSize, bool bold, std::string_view utf8, const PlainFont*& plain);
    // Width in pixels, as QFontMetrics gives it on a device of the PDF's resolution.
    int Width(int pixelSize, bool bold, std::string_view utf8);
    // The font's tables when utf8 is plain (see PlainFont), else nullptr; and then its width
    // in pixels at width.
    const PlainFont* Plain(int pixelSize, bool bold, std::string_view utf8, int* width = nullptr);
    // Ascent and descent in pixels, as QFontMetrics gives them.
    struct LineMetrics {
        int ascent = 0;
        int descent = 0;
    };
    const LineMetrics& Metrics(int pixelSize, bool bold);

    FontFace& Face(int index) { return *faces_[static_cast<std::size_t>(index)]; }
    // The plain tables at a pixel size and weight, made when first asked for; nullptr past
    // the sizes that have tables (see Plain).
    const PlainFont* PlainTables(int pixelSize, bool bold) { return PlainFontFor(pixelSize, bold); }

private:
    int FaceOf(const QRawFont& font);
    // Qt's glyphs of text and, in 1/64 pixel, the advance of its line.
    ShapedText ShapeWithQt(int pixelSize, bool bold, const QString& text, std::int64_t* advance64 = nullptr);
    int WidthWithQt(int pixelSize, bool bold, std::string_view utf8);
    PlainFont* PlainFontFor(int pixelSize, bool bold);
    const PlainFont* CheckPlain(int pixelSize, bool bold, std::string_view utf8, std::int64_t& advance64);
    bool LearnCharacter(PlainFont& font, char c);
    bool LearnPair(PlainFont& font, char a, char b);

    // The texts met at one pixel size and weight, looked up by the text alone.
    struct TextHash {
        using is_transparent = void;
        std::size_t operator()(std::string_view text) const { return std::hash<std::string_view>{}(text); }
    };
    // A text's shape or width, and whether it was met again since the table was last full.
    template <class T>
    struct Kept {
        T value;
        bool used = false;
    };
    template <class T>
    using TextMap = std::unordered_map<std::string, Kept<T>, TextHash, std::equal_to<>>;
    // Texts kept per size and weight. Every report repeats its labels and phrases, but a
    // batch also meets ever new texts (names, figures, sentences); a full table lets go of
    // those not met again since it was last full, so a long batch holds no more than this.
    static constexpr std::size_t kShapesKept = 512;
    static constexpr std::size_t kWidthsKept = 16384;
    static constexpr std::size_t kSeenKept = 8192;
    // Shaping a text costs as much as drawing it from the tables ten to twenty times.
    static constexpr std::uint8_t kPlainMeetings = 7;
    struct FontTexts {
        int pixelSize = 0;
        bool bold = false;
        TextMap<ShapedText> shaped;
        TextMap<int> widths;
        std::unordered_map<std::size_t, std::uint8_t> seen;  // hashes of the texts ShapeOrPlain met, how often

    };
    FontTexts& TextsFor(int pixelSize, bool bold);

    std::vector<std::unique_ptr<FontFace>> faces_;
    std::map<std::string, int> faceIndex_;  // family and style -> index
    std::vector<std::unique_ptr<FontTexts>> texts_;
    FontTexts* lastTexts_ = nullptr;
    std::map<std::pair<int, bool>, LineMetrics> metrics_;
    std::map<std::pair<int, bool>, std::unique_ptr<QFontMetrics>> fontMetrics_;
    std::vector<std::unique_ptr<PlainFont>> plainFonts_;
    // The tables of pixel sizes below kSizesAtHand at pixel size * 2 + bold.
    static constexpr std::size_t kSizesAtHand = 1024;
    std::vector<PlainFont*> plainBySize_;
    // The last short text Plain was asked about, and its answer.
    std::array<char, kShortText> lastPlainText_{};
    std::size_t lastPlainSize_ = 0;
    int lastPlainPixelSize_ = 0;
    bool lastPlainBold_ = false;
    const PlainFont* lastPlainFont_ = nullptr;
    int lastPlainWidth_ = 0;
};

// The process's faces and shapes (one thread draws reports).
FontFaces& ReportFontFaces();

// The TrueType program of font's outlines with only glyphs kept (and the glyphs they are
// built of, and glyph 0), each under its own number, the others empty; empty when the font's
// tables cannot be cut down.
std::string SubsetProgram(const QRawFont& font, const std::vector<std::uint16_t>& glyphs);

}  // namespace ovista::pdf
