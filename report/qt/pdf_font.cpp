#include "report/qt/pdf_font.h"

#include <QFontMetrics>
#include <QGlyphRun>
#include <QImage>
#include <QTextLayout>
#include <algorithm>
#include <hb-subset.h>
#include <iterator>
#include <utility>
#include <cmath>
#include <cstring>

namespace ovista::pdf {
namespace {

// Big-endian fields of font tables; 0 beyond the table's end.
std::uint32_t U16(std::string_view table, std::size_t at) {
    if (at + 2 > table.size()) return 0;
    return static_cast<std::uint32_t>(static_cast<unsigned char>(table[at]) << 8 |
                                      static_cast<unsigned char>(table[at + 1]));
}
std::int32_t S16(std::string_view table, std::size_t at) {
    return static_cast<std::int16_t>(static_cast<std::uint16_t>(U16(table, at)));
}
std::string Compressed(const std::string& data) {
    const QByteArray packed = qCompress(reinterpret_cast<const uchar*>(data.data()),
                                        static_cast<qsizetype>(data.size()), 6);
    // qCompress puts the length before the zlib stream.
    return packed.size() > 4 ? packed.sliced(4).toStdString() : std::string();
}

std::string Table(const QRawFont& font, const char* tag) {
    const QByteArray bytes = font.fontTable(tag);
    return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

// A device of the PDF's resolution: texts laid out for it get their tab stops where Qt's
// PDF device puts them.
QImage& PdfResolutionDevice() {
    thread_local QImage device = [] {
        QImage image(1, 1, QImage::Format_RGB32);
        image.setDotsPerMeterX(qRound(600 / 0.0254));
        image.setDotsPerMeterY(qRound(600 / 0.0254));
        return image;
    }();
    return device;
}

// Runs of several fonts cut and put in the order of the line, as Qt draws a text's parts
// (text extraction reads them in that order).
std::vector<GlyphRun> InLineOrder(const std::vector<GlyphRun>& runs) {
    struct Placed {
        int face;
        std::uint16_t glyph;
        std::int64_t x64;
        std::int64_t y64;
    };
    std::vector<Placed> glyphs;
    for (const GlyphRun& run : runs) {
        for (std::size_t i = 0; i < run.glyphs.size(); ++i) {
            glyphs.push_back({run.face, run.glyphs[i], run.x64[i], run.y64[i]});
        }
    }
    std::stable_sort(glyphs.begin(), glyphs.end(), [](const Placed& a, const Placed& b) { return a.x64 < b.x64; });
    std::vector<GlyphRun> ordered;
    for (const Placed& g : glyphs) {
        if (ordered.empty() || ordered.back().face != g.face) {
            ordered.emplace_back();
            ordered.back().face = g.face;
        }
        ordered.back().glyphs.push_back(g.glyph);
        ordered.back().x64.push_back(g.x64);
        ordered.back().y64.push_back(g.y64);
    }
    return ordered;
}

// The content that shows a run's glyphs from its first (GlyphRun::show).
void ShowRun(GlyphRun& run, const FontFace& face, int pixelSize) {
    const std::size_t count = run.glyphs.size();
    run.show.clear();
    run.lineX64 = 0;
    run.lineY64 = 0;
    if (count == 0) return;
    char text[64];
    const auto put = [&run, &text](char* end) { run.show.append(text, static_cast<std::size_t>(end - text)); };
    const bool oneBaseline =
        std::all_of(run.y64.begin(), run.y64.end(), [&run](std::int64_t y) { return y == run.y64[0]; });
    if (count == 1 || !oneBaseline) {
        // Glyphs off one baseline (none in the report's texts) each get their own step.
        run.show += '<';
        Hex4(run.show, run.glyphs[0]);
        run.show += ">Tj\n";
        for (std::size_t i = 1; i < count; ++i) {
            char* end = WriteSixtyFourths(text, run.x64[i] - run.x64[i - 1]);
            end = WriteSixtyFourths(end, run.y64[i - 1] - run.y64[i]);
            end = std::copy_n("Td <", 4, end);
            end = WriteHex4(end, run.glyphs[i]);
            put(std::copy_n(">Tj\n", 4, end));
        }
        run.lineX64 = run.x64[count - 1] - run.x64[0];
        run.lineY64 = run.y64[count - 1] - run.y64[0];
        return;
    }
    GlyphSpacing spacing(pixelSize);
    run.show += "[<";
    Hex4(run.show, run.glyphs[0]);
    for (std::size_t i = 1; i < count; ++i) {
        char* end = text;
        const std::int64_t step = spacing.Next(face.Width(run.glyphs[i - 1]), spacing.Split(run.x64[i] - run.x64[i - 1]));
        if (step != 0) {
            *end++ = '>';
            end = WriteMillionths(end, step);
            *end++ = '<';
        }
        put(WriteHex4(end, run.glyphs[i]));
    }
    run.show += ">]TJ\n";
}

}  // namespace

char* WriteHex4(char* out, std::uint32_t value) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    for (int shift = 12; shift >= 0; shift -= 4) *out++ = kDigits[value >> shift & 0xf];
    return out;
}

void Hex4(std::string& out, std::uint32_t value) {
    char text[4];
    out.append(text, static_cast<std::size_t>(WriteHex4(text, value) - text));
}

// Readers take the same values from our files and Qt's, so shapes and glyphs fall on the
// same fractions of a pixel.
void Number(std::string& out, double value) {
    char text[24];
    out.append(text, static_cast<std::size_t>(WriteNumber(text, value) - text));
}

namespace {

// The decimal digits of a whole number at out, two at a time; returns the end.
char* WriteDigits(char* out, std::uint64_t value) {
    static constexpr char kPairs[] =
        "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
        "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
        "8081828384858687888990919293949596979899";
    // Places on a page have four digits or fewer.
    int count = value < 100 ? (value < 10 ? 1 : 2) : (value < 1000 ? 3 : 4);
    for (std::uint64_t rest = value / 10000; rest != 0; rest /= 10) ++count;
    char* const end = out + count;
    char* at = end;
    while (value >= 100) {
        const std::size_t pair = static_cast<std::size_t>(value % 100) * 2;
        value /= 100;
        *--at = kPairs[pair + 1];
        *--at = kPairs[pair];
    }
    if (value >= 10) {
        *--at = kPairs[value * 2 + 1];
        *--at = kPairs[value * 2];
    } else {
        *--at = static_cast<char>('0' + value);
    }
    return end;
}

// Room in a full table of kept texts: those not met again since it was last full go; when
// that frees less than half of it, all go.
template <class Map>
void MakeRoom(Map& kept, std::size_t most) {
    if (kept.size() < most) return;
    for (auto at = kept.begin(); at != kept.end();) {
        at = std::exchange(at->second.used, false) ? std::next(at) : kept.erase(at);
    }
    if (kept.size() >= most / 2) kept.clear();
}

}  // namespace

char* WriteNumber(char* end, double value) {
    if (std::isnan(value)) {
        *end++ = '0';
        *end++ = ' ';
        return end;
    }
    if (value < 0) {
        *end++ = '-';
        value = -value;
    }
    auto whole = static_cast<unsigned int>(value);
    int fraction = static_cast<int>((value - static_cast<double>(whole)) * 1000000000);
    if (fraction == 1000000000) {
        ++whole;
        fraction = 0;
    }
    char* const digits = end;
    end = WriteDigits(end, whole);
    const int count = whole == 0 ? 0 : static_cast<int>(end - digits);
    // The fraction to nine digits in all, cut, each place written.
    static constexpr int kPowers[] = {1, 10, 100, 1000, 10000, 100000, 1000000, 10000000, 100000000};
    if (count < 9 && (fraction /= kPowers[count]) != 0) {
        *end++ = '.';
        const int places = 9 - count;
        for (int i = places - 1; i >= 0; --i, fraction /= 10) end[i] = static_cast<char>('0' + fraction % 10);
        end += places;
    }
    *end++ = ' ';
    return end;
}

namespace {

// The digits of a whole number, at out; returns the end.
char* WriteWhole(char* out, std::uint64_t whole) { return WriteDigits(out, whole); }

// A fraction of places decimal digits at out, trailing zeros left out; returns the end.
char* WriteFraction(char* out, std::uint64_t fraction, int places) {
    if (fraction == 0) return out;
    *out++ = '.';
    while (fraction % 10 == 0) {
        fraction /= 10;
        --places;
    }
    for (int i = places - 1; i >= 0; --i, fraction /= 10) out[i] = static_cast<char>('0' + fraction % 10);
    return out + places;
}

}  // namespace

char* WriteSixtyFourths(char* out, std::int64_t value64) {
    if (value64 < 0) *out++ = '-';
    const std::uint64_t magnitude =
        value64 < 0 ? 0 - static_cast<std::uint64_t>(value64) : static_cast<std::uint64_t>(value64);
    out = WriteWhole(out, magnitude >> 6);
    if ((magnitude & 63) != 0) out = WriteFraction(out, (magnitude & 63) * 15625, 6);  // 1/64 = 0.015625
    *out++ = ' ';
    return out;
}

namespace {

char* WriteMillionthsAsThey(char* out, std::int64_t millionths) {
    if (millionths < 0) *out++ = '-';
    const std::uint64_t magnitude =
        millionths < 0 ? 0 - static_cast<std::uint64_t>(millionths) : static_cast<std::uint64_t>(millionths);
    // Less than one thousandth without its 0 (".03", "-.248"), as PDF numbers may be written.
    if (magnitude >= 1000 || magnitude == 0) out = WriteWhole(out, magnitude / 1000);
    return WriteFraction(out, magnitude % 1000, 3);
}

// The numbers between glyphs are mostly small: those are written from a table.
constexpr std::int64_t kWrittenMillionths = 8192;
struct WrittenNumber {
    std::array<char, 7> text{};
    std::uint8_t size = 0;
};
static_assert(sizeof(WrittenNumber) == 8);
const std::array<WrittenNumber, 2 * kWrittenMillionths>& WrittenMillionths() {
    static const auto table = [] {
        std::array<WrittenNumber, 2 * kWrittenMillionths> numbers;
        for (std::int64_t m = -kWrittenMillionths; m < kWrittenMillionths; ++m) {
            char text[32];
            WrittenNumber& number = numbers[static_cast<std::size_t>(m + kWrittenMillionths)];
            number.size = static_cast<std::uint8_t>(WriteMillionthsAsThey(text, m) - text);
            std::copy_n(text, number.size, number.text.begin());
        }
        return numbers;
    }();
    return table;
}

}  // namespace

char* WriteMillionths(char* out, std::int64_t millionths) {
    if (millionths < -kWrittenMillionths || millionths >= kWrittenMillionths) {
        return WriteMillionthsAsThey(out, millionths);
    }
    static const std::array<WrittenNumber, 2 * kWrittenMillionths>& table = WrittenMillionths();
    const WrittenNumber& number = table[static_cast<std::size_t>(millionths + kWrittenMillionths)];
    std::memcpy(out, &number, sizeof number);  // the size lands after the text, to be written over
    return out + number.size;
}

std::string SubsetProgram(const QRawFont& font, const std::vector<std::uint16_t>& glyphs) {
    if (!font.isValid()) return {};
    // The tables a PDF reader draws the outlines with. Without the hinting: readers draw
    // the outlines as they are, as in Qt's own PDFs.
    const std::unique_ptr<hb_face_t, decltype(&hb_face_destroy)> builder(hb_face_builder_create(), hb_face_destroy);
    for (const char* tag : {"head", "hhea", "maxp", "hmtx", "loca", "glyf"}) {
        const QByteArray table = font.fontTable(tag);
        if (table.isEmpty()) continue;
        hb_blob_t* blob = hb_blob_create(table.constData(), static_cast<unsigned>(table.size()),
                                         HB_MEMORY_MODE_DUPLICATE, nullptr, nullptr);
        hb_face_builder_add_table(builder.get(), hb_tag_from_string(tag, 4), blob);
        hb_blob_destroy(blob);
    }
    hb_blob_t* file = hb_face_reference_blob(builder.get());
    const std::unique_ptr<hb_face_t, decltype(&hb_face_destroy)> face(hb_face_create(file, 0), hb_face_destroy);
    hb_blob_destroy(file);

    const std::unique_ptr<hb_subset_input_t, decltype(&hb_subset_input_destroy)> input(
        hb_subset_input_create_or_fail(), hb_subset_input_destroy);
    if (!input) return {};
    // Glyph 0 keeps its outline: Qt draws it (a box) for characters the font lacks.
    hb_subset_input_set_flags(input.get(),
                              HB_SUBSET_FLAGS_RETAIN_GIDS | HB_SUBSET_FLAGS_NO_HINTING | HB_SUBSET_FLAGS_NOTDEF_OUTLINE);
    hb_set_t* kept = hb_subset_input_glyph_set(input.get());
    for (const std::uint16_t g : glyphs) hb_set_add(kept, g);
    const std::unique_ptr<hb_face_t, decltype(&hb_face_destroy)> subset(hb_subset_or_fail(face.get(), input.get()),
                                                                        hb_face_destroy);
    if (!subset) return {};
    hb_blob_t* bytes = hb_face_reference_blob(subset.get());
    unsigned size = 0;
    const char* data = hb_blob_get_data(bytes, &size);
    std::string program(data, size);
    hb_blob_destroy(bytes);
    return program;
}

FontFace::FontFace(const QRawFont& font) : font_(font) {
    std::map<std::string, std::string> tables;  // tag -> bytes
    for (const char* tag : {"head", "hhea", "maxp", "hmtx"}) {
        std::string bytes = Table(font, tag);
        if (!bytes.empty()) tables[tag] = std::move(bytes);
    }
    std::string base = font.familyName().toStdString();
    base.erase(std::remove(base.begin(), base.end(), ' '), base.end());
    const std::string style = font.styleName().toStdString();
    if (!style.empty() && style != "Regular" && style != "Normal") {
        std::string compact = style;
        compact.erase(std::remove(compact.begin(), compact.end(), ' '), compact.end());
        base += "-" + compact;
    }
    baseName_ = base.empty() ? std::string("Font") : base;

    const std::string_view head = tables["head"];
    const std::string_view hhea = tables["hhea"];
    const std::string_view maxp = tables["maxp"];
    const std::string_view hmtx = tables["hmtx"];
    const int units = static_cast<int>(U16(head, 18));
    unitsPerEm_ = units > 0 ? units : 2048;
    const double scale = 1000.0 / unitsPerEm_;
    // Ascent, descent and stem as Qt's PDF engine states them (text extraction boxes words
    // with them).
    QRawFont unscaled = font;
    unscaled.setPixelSize(unitsPerEm_);
    ascent_ = unscaled.ascent() * scale;
    descent_ = -unscaled.descent() * scale;
    stemV_ = unscaled.lineThickness() * scale;
    box_[0] = S16(head, 36) * scale;
    box_[1] = S16(head, 38) * scale;
    box_[2] = S16(head, 40) * scale;
    box_[3] = S16(head, 42) * scale;
    const std::size_t glyphCount = U16(maxp, 4);
    const std::size_t longMetrics = std::max<std::size_t>(U16(hhea, 34), 1);
    advances_.resize(glyphCount);
    for (std::size_t g = 0; g < glyphCount; ++g) {
        advances_[g] = static_cast<std::uint16_t>(U16(hmtx, std::min(g, longMetrics - 1) * 4));
    }
    if (font.familyName() != FontFaces::ReportFont(10, false).family()) return;
    // The report's own faces: every glyph of the report's character set (texts are
    // Windows-1252) goes into the one program, and text extraction reads each glyph as the
    // lowest character that shows it (a space, not a no-break space), whatever the order
    // texts came in.
    QString characters;
    for (char32_t c = 0x20; c <= 0xFF; ++c) {
        if (c < 0x7F || c >= 0xA0) characters += QChar(static_cast<char16_t>(c));
    }
    for (const char16_t c : {0x20AC, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030,
                             0x0160, 0x2039, 0x0152, 0x017D, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
                             0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x017E, 0x0178}) {
        characters += QChar(c);
    }
    std::sort(characters.begin(), characters.end());
    const QList<quint32> indexes = font.glyphIndexesForString(characters);
    for (qsizetype i = 0; i < indexes.size() && i < characters.size(); ++i) {
        if (indexes[i] == 0 || indexes[i] > 0xffff) continue;
        const auto glyph = static_cast<std::uint16_t>(indexes[i]);
        characters_.emplace(glyph, characters[i].unicode());
        characterSetGlyphs_.push_back(glyph);
    }
    std::sort(characterSetGlyphs_.begin(), characterSetGlyphs_.end());
    characterSetGlyphs_.erase(std::unique(characterSetGlyphs_.begin(), characterSetGlyphs_.end()),
                              characterSetGlyphs_.end());
}

int FontFace::Width(std::uint16_t glyph) const {
    const double units = glyph < advances_.size() ? advances_[glyph] : 0;
    return static_cast<int>(std::lround(units * 1000.0 / unitsPerEm_));
}

char32_t FontFace::CharacterOf(std::uint16_t glyph) const {
    const auto found = characters_.find(glyph);
    return found == characters_.end() ? 0 : found->second;
}

void FontFace::NoteCharacter(std::uint16_t glyph, char32_t character) {
    characters_.emplace(glyph, character);
}

FontFace::Program FontFace::MakeProgram(const std::vector<std::uint16_t>& glyphs) const {
    Program program;
    const std::string subset = SubsetProgram(font_, glyphs);
    program.compressed = subset.empty() ? std::string() : Compressed(subset);
    program.length = subset.size();
    return program;
}

const FontFace::Program& FontFace::ProgramFor(const std::vector<std::uint16_t>& glyphs) {
    std::vector<std::uint16_t> wanted;
    std::set_union(characterSetGlyphs_.begin(), characterSetGlyphs_.end(), glyphs.begin(), glyphs.end(),
                   std::back_inserter(wanted));
    wanted.erase(std::remove(wanted.begin(), wanted.end(), 0), wanted.end());
    auto found = programs_.find(wanted);
    if (found == programs_.end()) {
        if (programs_.size() >= 16) programs_.clear();
        found = programs_.emplace(wanted, wanted.empty() ? Program() : MakeProgram(wanted)).first;
    }
    return found->second;
}

QFont FontFaces::ReportFont(int pixelSize, bool bold) {
    QFont font(QStringLiteral("Liberation Sans"));
    font.setStyleHint(QFont::SansSerif);
    font.setHintingPreference(QFont::PreferNoHinting);
    font.setPixelSize(pixelSize);
    font.setBold(bold);
    return font;
}

int FontFaces::FaceOf(const QRawFont& font) {
    const std::string key = font.familyName().toStdString() + '\n' + font.styleName().toStdString() + '\n' +
                            std::to_string(font.weight()) + '\n' + std::to_string(static_cast<int>(font.style()));
    const auto found = faceIndex_.find(key);
    if (found != faceIndex_.end()) return found->second;
    faces_.push_back(std::make_unique<FontFace>(font));
    const int index = static_cast<int>(faces_.size() - 1);
    faceIndex_.emplace(key, index);
    return index;
}

FontFaces::FontTexts& FontFaces::TextsFor(int pixelSize, bool bold) {
    if (lastTexts_ != nullptr && lastTexts_->pixelSize == pixelSize && lastTexts_->bold == bold) return *lastTexts_;
    for (const std::unique_ptr<FontTexts>& texts : texts_) {
        if (texts->pixelSize == pixelSize && texts->bold == bold) return *(lastTexts_ = texts.get());
    }
    texts_.push_back(std::make_unique<FontTexts>());
    lastTexts_ = texts_.back().get();
    lastTexts_->pixelSize = pixelSize;
    lastTexts_->bold = bold;
    return *lastTexts_;
}

const ShapedText& FontFaces::Shape(int pixelSize, bool bold, std::string_view utf8) {
    TextMap<ShapedText>& shaped = TextsFor(pixelSize, bold).shaped;
    const auto found = shaped.find(utf8);
    if (found != shaped.end()) {
        found->second.used = true;
        return found->second.value;
    }
    MakeRoom(shaped, kShapesKept);
    ShapedText text;
    if (const PlainFont* plain = Plain(pixelSize, bold, utf8)) {
        // The same glyphs and places as Qt's shaping, from the tables.
        GlyphRun run;
        run.face = plain->Face();
        std::int64_t x64 = 0;
        for (std::size_t i = 0; i < utf8.size(); ++i) {
            run.glyphs.push_back(plain->Glyph(utf8[i]));
            run.x64.push_back(x64);
            run.y64.push_back(0);
            x64 += plain->Step64(utf8[i], i + 1 < utf8.size() ? utf8[i + 1] : 0);
        }
        ShowRun(run, Face(run.face), pixelSize);
        text.width = plain->Width(utf8);
        text.runs.push_back(std::move(run));
    } else {
        text = ShapeWithQt(pixelSize, bold, QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size())));
    }
    return shaped.emplace(std::string(utf8), Kept<ShapedText>{std::move(text)}).first->second.value;
}

const ShapedText* FontFaces::ShapeOrPlain(int pixelSize, bool bold, std::string_view utf8, const PlainFont*& plain) {
    plain = nullptr;
    FontTexts& texts = TextsFor(pixelSize, bold);
    if (const auto found = texts.shaped.find(utf8); found != texts.shaped.end()) {
        found->second.used = true;
        return &found->second.value;
    }
    if (texts.seen.size() >= kSeenKept) texts.seen.clear();  // met again as often before it is kept
    // Texts are told apart by their hashes (a rare other one only gets kept sooner).
    std::uint8_t& met = texts.seen[TextHash{}(utf8)];
    if (met < kPlainMeetings) {
        ++met;
        if ((plain = Plain(pixelSize, bold, utf8)) != nullptr) return nullptr;
    }
    return &Shape(pixelSize, bold, utf8);
}

ShapedText FontFaces::ShapeWithQt(int pixelSize, bool bold, const QString& text, std::int64_t* advance64) {
    ShapedText shaped;
    if (advance64 != nullptr) *advance64 = -1;
    if (text.isEmpty()) return shaped;
    QTextLayout layout(text, ReportFont(pixelSize, bold), &PdfResolutionDevice());
    layout.setCacheEnabled(false);
    layout.beginLayout();
    QTextLine line = layout.createLine();
    layout.endLayout();
    const double baseline = line.ascent();
    shaped.width = static_cast<int>(std::floor(line.horizontalAdvance() + 0.5));
    if (advance64 != nullptr && line.horizontalAdvance() * 64 == std::round(line.horizontalAdvance() * 64)) {
        *advance64 = std::llround(line.horizontalAdvance() * 64);
    }
    for (const QGlyphRun& glyphRun : layout.glyphRuns()) {
        GlyphRun run;
        run.face = FaceOf(glyphRun.rawFont());
        const QList<quint32> indexes = glyphRun.glyphIndexes();
        const QList<QPointF> positions = glyphRun.positions();
        for (qsizetype i = 0; i < indexes.size() && i < positions.size(); ++i) {
            run.glyphs.push_back(static_cast<std::uint16_t>(indexes[i]));
            run.x64.push_back(std::llround(positions[i].x() * 64));
            run.y64.push_back(std::llround((positions[i].y() - baseline) * 64));
        }
        // A glyph that no character of the report's set shows (a character of another
        // set, or of another font) is read back as the character it was drawn for.
        FontFace& face = Face(run.face);
        if (std::any_of(run.glyphs.begin(), run.glyphs.end(),
                        [&face](std::uint16_t g) { return g != 0 && face.CharacterOf(g) == 0; })) {
            const QRawFont raw = glyphRun.rawFont();
            for (const QChar c : text) {
                const QList<quint32> glyph = raw.glyphIndexesForString(QString(c));
                if (glyph.size() == 1 && glyph[0] != 0 && indexes.contains(glyph[0])) {
                    face.NoteCharacter(static_cast<std::uint16_t>(glyph[0]), c.unicode());
                }
            }
        }
        shaped.runs.push_back(std::move(run));
    }
    if (shaped.runs.size() > 1) shaped.runs = InLineOrder(shaped.runs);
    for (GlyphRun& run : shaped.runs) ShowRun(run, Face(run.face), pixelSize);
    return shaped;
}

int FontFaces::Width(int pixelSize, bool bold, std::string_view utf8) {
    if (utf8.size() <= kShortText) {
        int width = 0;
        if (Plain(pixelSize, bold, utf8, &width) != nullptr) return width;
    }
    TextMap<int>& widths = TextsFor(pixelSize, bold).widths;
    const auto found = widths.find(utf8);
    if (found != widths.end()) {
        found->second.used = true;
        return found->second.value;
    }
    MakeRoom(widths, kWidthsKept);
    const PlainFont* plain = utf8.size() > kShortText ? Plain(pixelSize, bold, utf8) : nullptr;
    const int width = plain != nullptr ? plain->Width(utf8) : WidthWithQt(pixelSize, bold, utf8);
    widths.emplace(std::string(utf8), Kept<int>{width});
    return width;
}

int FontFaces::WidthWithQt(int pixelSize, bool bold, std::string_view utf8) {
    std::unique_ptr<QFontMetrics>& metrics = fontMetrics_[{pixelSize, bold}];
    if (!metrics) metrics = std::make_unique<QFontMetrics>(ReportFont(pixelSize, bold), &PdfResolutionDevice());
    return metrics->horizontalAdvance(QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size())));
}

int PlainFont::Width(std::string_view plain) const {
    std::int64_t sum = 0;
    for (std::size_t i = 0; i < plain.size(); ++i) sum += Step64(plain[i], i + 1 < plain.size() ? plain[i + 1] : 0);
    // Half a pixel up, as Qt rounds its 1/64 pixels.
    return static_cast<int>((sum + 32) >> 6);
}

const PlainFont* FontFaces::Plain(int pixelSize, bool bold, std::string_view utf8, int* width) {
    if (utf8.empty()) return nullptr;
    // A text is mostly measured, then drawn: the second asks what the first was told.
    const bool memo = utf8.size() <= lastPlainText_.size();
    if (memo && utf8.size() == lastPlainSize_ && pixelSize == lastPlainPixelSize_ && bold == lastPlainBold_ &&
        std::equal(utf8.begin(), utf8.end(), lastPlainText_.begin())) {
        if (width != nullptr) *width = lastPlainWidth_;
        return lastPlainFont_;
    }
    std::int64_t advance64 = 0;
    const PlainFont* const plain = CheckPlain(pixelSize, bold, utf8, advance64);
    // Half a pixel up, as Qt rounds its 1/64 pixels.
    const int plainWidth = static_cast<int>((advance64 + 32) >> 6);
    if (memo) {
        std::copy(utf8.begin(), utf8.end(), lastPlainText_.begin());
        lastPlainSize_ = utf8.size();
        lastPlainPixelSize_ = pixelSize;
        lastPlainBold_ = bold;
        lastPlainFont_ = plain;
        lastPlainWidth_ = plainWidth;
    }
    if (width != nullptr) *width = plainWidth;
    return plain;
}

const PlainFont* FontFaces::CheckPlain(int pixelSize, bool bold, std::string_view utf8, std::int64_t& advance64) {
    PlainFont* tables = PlainFontFor(pixelSize, bold);
    if (tables == nullptr) return nullptr;
    PlainFont& font = *tables;
    const auto inRange = [](char c) {
        return static_cast<unsigned>(static_cast<unsigned char>(c) - PlainFont::kFirst) < PlainFont::kCount;
    };
    const auto plainCharacter = [this, &font](char c) {
        const PlainFont::Known known = font.chars_[PlainFont::Index(c)];
        return known == PlainFont::Known::Plain || (known == PlainFont::Known::NotYet && LearnCharacter(font, c));
    };
    if (!inRange(utf8[0])) return nullptr;
    if (utf8.size() == 1 && !plainCharacter(utf8[0])) return nullptr;
    // A pair is plain only when both its characters are. The text's advance on the way.
    std::int64_t sum = 0;
    for (std::size_t i = 1; i < utf8.size(); ++i) {
        const char a = utf8[i - 1];
        const char b = utf8[i];
        if (!inRange(b)) return nullptr;
        const std::size_t at = PlainFont::Index(a) * PlainFont::kCount + PlainFont::Index(b);
        if (font.pairs_[at] != PlainFont::Known::Plain &&
            (font.pairs_[at] == PlainFont::Known::NotPlain || !plainCharacter(a) || !plainCharacter(b) ||
             !LearnPair(font, a, b))) {
            return nullptr;
        }
        sum += font.advance64_[PlainFont::Index(a)] + font.kern64_[at];
    }
    advance64 = sum + font.advance64_[PlainFont::Index(utf8.back())];
    return &font;
}

PlainFont* FontFaces::PlainFontFor(int pixelSize, bool bold) {
    const std::size_t slot = static_cast<std::size_t>(pixelSize) * 2 + (bold ? 1 : 0);
    if (pixelSize > 0 && slot < plainBySize_.size() && plainBySize_[slot] != nullptr) return plainBySize_[slot];
    for (const std::unique_ptr<PlainFont>& font : plainFonts_) {
        if (font->pixelSize_ == pixelSize && font->bold_ == bold) return font.get();
    }
    // Tables for the sizes in use; texts of any further size are shaped by Qt.
    if (plainFonts_.size() >= 64) return nullptr;
    plainFonts_.push_back(std::make_unique<PlainFont>());
    PlainFont* const font = plainFonts_.back().get();
    font->pixelSize_ = pixelSize;
    font->bold_ = bold;
    font->ascent_ = Metrics(pixelSize, bold).ascent;
    if (pixelSize > 0 && slot < 2 * kSizesAtHand) {
        if (plainBySize_.size() <= slot) plainBySize_.resize(slot + 1, nullptr);
        plainBySize_[slot] = font;
    }
    return font;
}

// A character is plain when Qt draws it alone as one glyph of the report's character set at
// the pen, in the face of the font's other plain characters, its advance whole 64ths of a
// pixel and its width that advance rounded.
bool FontFaces::LearnCharacter(PlainFont& font, char c) {
    const std::size_t at = PlainFont::Index(c);
    std::int64_t advance64 = -1;
    const ShapedText shaped = ShapeWithQt(font.pixelSize_, font.bold_, QString(QChar(c)), &advance64);
    bool plain = shaped.runs.size() == 1 && shaped.runs[0].glyphs.size() == 1 && shaped.runs[0].x64[0] == 0 &&
                 shaped.runs[0].y64[0] == 0 && advance64 > 0 && advance64 < (1 << 24) &&
                 (font.face_ < 0 || font.face_ == shaped.runs[0].face);
    if (plain) {
        const GlyphRun& run = shaped.runs[0];
        plain = Face(run.face).CharacterOf(run.glyphs[0]) != 0 &&
                WidthWithQt(font.pixelSize_, font.bold_, std::string_view(&c, 1)) == (advance64 + 32) >> 6;
    }
    font.chars_[at] = plain ? PlainFont::Known::Plain : PlainFont::Known::NotPlain;
    if (!plain) return false;
    const GlyphRun& run = shaped.runs[0];
    if (font.face_ < 0) {
        font.face_ = run.face;
        font.fontOperator_ = "/F" + std::to_string(run.face + 1) + ' ';
        Number(font.fontOperator_, font.pixelSize_);
        font.fontOperator_ += "Tf\n";
    }
    font.glyph_[at] = run.glyphs[0];
    font.advance64_[at] = static_cast<std::int32_t>(advance64);
    WriteHex4(font.code_[at].data(), run.glyphs[0]);
    font.pdfWidth_[at] = Face(run.face).Width(run.glyphs[0]);
    font.advanceSteps_[at] = GlyphSpacing(font.pixelSize_).Split(advance64);
    for (int carried = 0; carried < 2; ++carried) {
        const std::int64_t number = std::int64_t{font.pdfWidth_[at]} * 1000 - font.advanceSteps_[at].whole - carried;
        PlainFont::Gap& gap = font.gaps_[at][static_cast<std::size_t>(carried)];
        char text[40];
        char* end = text;
        if (number != 0) {
            *end++ = '>';
            end = WriteMillionths(end, number);
            *end++ = '<';
        }
        const auto size = static_cast<std::size_t>(end - text);
        gap.size = size <= gap.text.size() ? static_cast<std::uint8_t>(size) : PlainFont::kNoGap;
        if (size <= gap.text.size()) std::copy_n(text, size, gap.text.begin());
    }
    return true;
}

// A pair of plain characters is plain when Qt draws it as their two glyphs, the second at the
// first's advance and a kerning, its width the sum of the two advances and the kerning.
bool FontFaces::LearnPair(PlainFont& font, char a, char b) {
    const std::size_t at = PlainFont::Index(a) * PlainFont::kCount + PlainFont::Index(b);
    const char text[2] = {a, b};
    std::int64_t advance64 = -1;
    const ShapedText shaped = ShapeWithQt(font.pixelSize_, font.bold_, QString::fromLatin1(text, 2), &advance64);
    const std::int64_t advanceA = font.advance64_[PlainFont::Index(a)];
    const std::int64_t advanceB = font.advance64_[PlainFont::Index(b)];
    bool plain = shaped.runs.size() == 1 && shaped.runs[0].face == font.face_;
    std::int64_t kern = 0;
    if (plain) {
        const GlyphRun& run = shaped.runs[0];
        kern = run.x64.size() == 2 ? run.x64[1] - advanceA : 0;
        plain = run.glyphs == std::vector<std::uint16_t>{font.glyph_[PlainFont::Index(a)], font.glyph_[PlainFont::Index(b)]} &&
                run.x64[0] == 0 && run.y64[0] == 0 && run.y64[1] == 0 && kern > -advanceA && kern < advanceA &&
                advance64 == advanceA + kern + advanceB &&
                WidthWithQt(font.pixelSize_, font.bold_, std::string_view(text, 2)) == (advance64 + 32) >> 6;
    }
    font.pairs_[at] = plain ? PlainFont::Known::Plain : PlainFont::Known::NotPlain;
    if (plain) font.kern64_[at] = static_cast<std::int32_t>(kern);
    return plain;
}

const FontFaces::LineMetrics& FontFaces::Metrics(int pixelSize, bool bold) {
    const auto key = std::make_pair(pixelSize, bold);
    auto found = metrics_.find(key);
    if (found == metrics_.end()) {
        const QFontMetrics metrics(ReportFont(pixelSize, bold));
        found = metrics_.emplace(key, LineMetrics{metrics.ascent(), metrics.descent()}).first;
    }
    return found->second;
}

FontFaces& ReportFontFaces() {
    thread_local FontFaces faces;
    return faces;
}

}  // namespace ovista::pdf
