#pragma once
// The report's typeface as the PDF device writes it. Texts are shaped by Qt exactly as Qt
// shapes them for the printer, the preview and Qt's own PDF engine (so every width, glyph
// and place is the same), but each text once per process: a batch draws the same labels and
// messages for thousands of herds. Each PDF embeds the font program cut down to the glyphs
// it uses, made once for each set of glyphs.
#include <QFont>
#include <QFontMetrics>
#include <QRawFont>
#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
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
    // The page content that draws the glyphs after the first, each placed from the one
    // before: "5.734375 0 Td <0013> Tj\n"...
    std::string rest;
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
// Four hexadecimal digits, capitals: a glyph's code in the content.
void Hex4(std::string& out, std::uint32_t value);
char* WriteHex4(char* out, std::uint32_t value);

// Texts that Qt shapes character by character, at one pixel size and weight: every character
// printable ASCII but the space, each its own glyph, each glyph placed at the sum of the
// advances before it and of the kerning of each pair before it. What each character and each
// pair of neighbours does is learnt from Qt's own shaping (and width) of them, the first time
// they are met; a text with a character or pair that Qt shapes otherwise is not plain.
// Table cells of figures, dates and cow numbers are drawn from these tables without shaping
// or looking the text up.
class PlainFont {
public:
    static constexpr int kFirst = 0x21;
    static constexpr int kCount = 0x7F - kFirst;

    // Content of at most kPieceSize characters, kept where it can be copied whole.
    static constexpr std::size_t kPieceSize = 24;
    struct Piece {
        std::array<char, kPieceSize> text{};
        std::uint8_t size = 0;
    };

    int Face() const { return face_; }
    int Ascent() const { return ascent_; }
    std::uint16_t Glyph(char c) const { return glyph_[Index(c)]; }
    // Pen step from c's glyph to the next character's, in 1/64 pixel; next 0 at the end.
    std::int32_t Step64(char c, char next) const {
        return next == 0 ? advance64_[Index(c)] : advance64_[Index(c)] + kern64_[Index(c) * kCount + Index(next)];
    }
    // Width in pixels, rounded as Qt rounds a text's width.
    int Width(std::string_view plain) const;
    // "/F1 38 Tf 1 0 0 -1 0 0 Tm\n": the font of a text object in the page content.
    const std::string& FontOperators() const { return fontOperators_; }
    // The step from c to the next character, as the content writes it when there is no
    // kerning ("5.734375 "), and "0 Td <0013> Tj\n" that draws c after a step.
    const Piece& AdvanceText(char c) const { return advanceText_[Index(c)]; }
    const Piece& GlyphText(char c) const { return glyphText_[Index(c)]; }
    bool Kerned(char c, char next) const { return kern64_[Index(c) * kCount + Index(next)] != 0; }

private:
    friend class FontFaces;
    enum class Known : std::uint8_t { NotYet, Plain, NotPlain };
    static std::size_t Index(char c) { return static_cast<std::size_t>(static_cast<unsigned char>(c) - kFirst); }

    int pixelSize_ = 0;
    bool bold_ = false;
    int face_ = -1;
    int ascent_ = 0;
    std::string fontOperators_;
    std::array<Known, kCount> chars_{};
    std::array<std::uint16_t, kCount> glyph_{};
    std::array<std::int32_t, kCount> advance64_{};
    std::array<Piece, kCount> advanceText_;
    std::array<Piece, kCount> glyphText_;
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

    // The glyphs of a text; valid until the next call.
    const ShapedText& Shape(int pixelSize, bool bold, std::string_view utf8);
    // Width in pixels, as QFontMetrics gives it on a device of the PDF's resolution.
    int Width(int pixelSize, bool bold, std::string_view utf8);
    // The font's tables when utf8 is plain (see PlainFont), else nullptr.
    const PlainFont* Plain(int pixelSize, bool bold, std::string_view utf8);
    // Ascent and descent in pixels, as QFontMetrics gives them.
    struct LineMetrics {
        int ascent = 0;
        int descent = 0;
    };
    const LineMetrics& Metrics(int pixelSize, bool bold);

    FontFace& Face(int index) { return *faces_[static_cast<std::size_t>(index)]; }

private:
    int FaceOf(const QRawFont& font);
    // Qt's glyphs of text and, in 1/64 pixel, the advance of its line.
    ShapedText ShapeWithQt(int pixelSize, bool bold, const QString& text, std::int64_t* advance64 = nullptr);
    int WidthWithQt(int pixelSize, bool bold, std::string_view utf8);
    PlainFont* PlainFontFor(int pixelSize, bool bold);
    bool LearnCharacter(PlainFont& font, char c);
    bool LearnPair(PlainFont& font, char a, char b);

    std::vector<std::unique_ptr<FontFace>> faces_;
    std::map<std::string, int> faceIndex_;  // family and style -> index
    std::unordered_map<std::string, ShapedText> shaped_;
    std::unordered_map<std::string, int> widths_;
    std::map<std::pair<int, bool>, LineMetrics> metrics_;
    std::map<std::pair<int, bool>, std::unique_ptr<QFontMetrics>> fontMetrics_;
    std::vector<std::unique_ptr<PlainFont>> plainFonts_;
    PlainFont* lastPlain_ = nullptr;
};

// The process's faces and shapes (one thread draws reports).
FontFaces& ReportFontFaces();

// The TrueType program of font's outlines with only glyphs kept (and the glyphs they are
// built of, and glyph 0), each under its own number, the others empty; empty when the font's
// tables cannot be cut down.
std::string SubsetProgram(const QRawFont& font, const std::vector<std::uint16_t>& glyphs);

}  // namespace ovista::pdf
