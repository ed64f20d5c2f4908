#include "report/qt/pdf_font.h"

#include <QBuffer>
#include <QFontMetrics>
#include <QPainter>
#include <QPdfWriter>
#include <QGlyphRun>
#include <QImage>
#include <QTextLayout>
#include <algorithm>
#include <cstdlib>
#include <iterator>
#include <cmath>
#include <set>

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
std::uint32_t U32(std::string_view table, std::size_t at) { return U16(table, at) << 16 | U16(table, at + 2); }

void Put16(std::string& out, std::uint32_t value) {
    out += static_cast<char>(value >> 8 & 0xff);
    out += static_cast<char>(value & 0xff);
}
void Put32(std::string& out, std::uint32_t value) {
    Put16(out, value >> 16);
    Put16(out, value & 0xffff);
}
void Set16(std::string& out, std::size_t at, std::uint32_t value) {
    out[at] = static_cast<char>(value >> 8 & 0xff);
    out[at + 1] = static_cast<char>(value & 0xff);
}
void Set32(std::string& out, std::size_t at, std::uint32_t value) {
    Set16(out, at, value >> 16);
    Set16(out, at + 2, value & 0xffff);
}

std::uint32_t Checksum(std::string_view data) {
    std::uint32_t sum = 0;
    for (std::size_t at = 0; at < data.size(); at += 4) {
        std::uint32_t word = 0;
        for (std::size_t i = 0; i < 4; ++i) {
            word = word << 8 | (at + i < data.size() ? static_cast<unsigned char>(data[at + i]) : 0u);
        }
        sum += word;
    }
    return sum;
}

// Where glyph g's outline lies in glyf; false when loca cannot say.
bool GlyphRange(std::string_view loca, bool longOffsets, std::size_t g, std::size_t& begin,
                std::size_t& end) {
    if (longOffsets) {
        if ((g + 2) * 4 > loca.size()) return false;
        begin = U32(loca, g * 4);
        end = U32(loca, g * 4 + 4);
    } else {
        if ((g + 2) * 2 > loca.size()) return false;
        begin = std::size_t{U16(loca, g * 2)} * 2;
        end = std::size_t{U16(loca, g * 2 + 2)} * 2;
    }
    return begin <= end;
}

// The glyphs a composite glyph is built of.
void AddComponents(std::string_view glyph, std::vector<std::uint16_t>& parts) {
    if (glyph.size() < 10 || S16(glyph, 0) >= 0) return;
    std::size_t at = 10;
    for (;;) {
        if (at + 4 > glyph.size()) return;
        const std::uint32_t flags = U16(glyph, at);
        parts.push_back(static_cast<std::uint16_t>(U16(glyph, at + 2)));
        at += 4 + ((flags & 0x0001) != 0 ? 4 : 2);
        if ((flags & 0x0008) != 0) at += 2;
        if ((flags & 0x0040) != 0) at += 4;
        if ((flags & 0x0080) != 0) at += 8;
        if ((flags & 0x0020) == 0) return;
    }
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

// The stream of object number in a PDF as Qt writes it; empty when it is not there.
std::string_view StreamOf(std::string_view pdf, std::size_t number) {
    const std::string start = "\n" + std::to_string(number) + " 0 obj\n";
    const std::size_t object = pdf.find(start);
    if (object == std::string_view::npos) return {};
    const std::size_t dictionaryEnd = pdf.find("stream\n", object);
    const std::size_t lengthKey = pdf.find("/Length ", object);
    if (dictionaryEnd == std::string_view::npos || lengthKey == std::string_view::npos || lengthKey > dictionaryEnd) {
        return {};
    }
    std::size_t length = std::strtoull(pdf.data() + lengthKey + 8, nullptr, 10);
    const std::size_t afterNumber = pdf.find_first_not_of("0123456789", lengthKey + 8);
    if (pdf.substr(afterNumber, 4) == " 0 R") {  // the length is an object of its own
        const std::string lengthObject = "\n" + std::to_string(length) + " 0 obj\n";
        const std::size_t at = pdf.find(lengthObject);
        if (at == std::string_view::npos) return {};
        length = std::strtoull(pdf.data() + at + lengthObject.size(), nullptr, 10);
    }
    const std::size_t data = dictionaryEnd + 7;
    if (data + length > pdf.size()) return {};
    return pdf.substr(data, length);
}

// The object number after key ("/FontFile2 12 0 R"); 0 when key is not there.
std::size_t ReferenceAfter(std::string_view pdf, std::string_view key) {
    const std::size_t at = pdf.find(key);
    return at == std::string_view::npos ? 0 : std::strtoull(pdf.data() + at + key.size(), nullptr, 10);
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

}  // namespace

bool QtFontProgram(const QRawFont& font, const std::vector<std::uint16_t>& glyphs, std::string& compressed,
                   std::size_t& length, std::vector<std::uint16_t>& codes) {
    if (glyphs.empty() || !font.isValid()) return false;
    QByteArray bytes;
    {
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        QPdfWriter writer(&buffer);
        QPainter painter;
        if (!painter.begin(&writer)) return false;
        QRawFont sized = font;
        sized.setPixelSize(100);
        QList<quint32> indexes;
        QList<QPointF> positions;
        for (const std::uint16_t g : glyphs) {
            indexes.append(g);
            positions.append(QPointF(positions.size(), 0));
        }
        QGlyphRun run;
        run.setRawFont(sized);
        run.setGlyphIndexes(indexes);
        run.setPositions(positions);
        painter.drawGlyphRun(QPointF(100, 100), run);
        painter.end();
    }
    const std::string_view pdf(bytes.constData(), static_cast<std::size_t>(bytes.size()));
    const std::size_t programObject = ReferenceAfter(pdf, "/FontFile2 ");
    const std::string_view program = StreamOf(pdf, programObject);
    const std::string start = "\n" + std::to_string(programObject) + " 0 obj\n";
    const std::size_t object = pdf.find(start);
    const std::size_t lengthKey = object == std::string_view::npos ? object : pdf.find("/Length1 ", object);
    if (program.empty() || lengthKey == std::string_view::npos) return false;
    length = std::strtoull(pdf.data() + lengthKey + 9, nullptr, 10);
    // The codes Qt gave the glyphs, in the order drawn, from the page's content.
    const std::string_view packed = StreamOf(pdf, ReferenceAfter(pdf, "/Contents "));
    if (packed.empty()) return false;
    QByteArray withSize(4, '\0');
    const auto guess = static_cast<quint32>(std::min<std::size_t>(packed.size() * 64 + 4096, 1u << 28));
    for (int i = 0; i < 4; ++i) withSize[i] = static_cast<char>(guess >> (24 - 8 * i) & 0xff);
    withSize.append(packed.data(), static_cast<qsizetype>(packed.size()));
    const QByteArray content = qUncompress(withSize);
    codes.clear();
    for (qsizetype i = 0; i + 5 < content.size(); ++i) {
        if (content[i] != '<' || content[i + 5] != '>') continue;
        bool ok = false;
        const uint code = content.mid(i + 1, 4).toUInt(&ok, 16);
        if (ok) codes.push_back(static_cast<std::uint16_t>(code));
    }
    if (codes.size() != glyphs.size()) return false;
    compressed.assign(program);
    return true;
}

std::string TrueTypeSubset(const std::map<std::string, std::string>& tables,
                           std::vector<std::uint16_t> glyphs) {
    const auto table = [&tables](const char* tag) -> std::string_view {
        const auto found = tables.find(tag);
        return found == tables.end() ? std::string_view() : std::string_view(found->second);
    };
    const std::string_view head = table("head");
    const std::string_view loca = table("loca");
    const std::string_view glyf = table("glyf");
    const std::string_view maxp = table("maxp");
    const std::string_view hhea = table("hhea");
    const std::string_view hmtx = table("hmtx");
    if (head.size() < 54 || maxp.size() < 6 || hhea.size() < 36 || loca.empty() || glyf.empty()) return {};
    const std::size_t glyphCount = U16(maxp, 4);
    const bool longOffsets = S16(head, 50) != 0;

    // Glyph 0 always, and the parts of composite glyphs, however deep.
    glyphs.push_back(0);
    std::set<std::uint16_t> kept;
    while (!glyphs.empty()) {
        const std::uint16_t g = glyphs.back();
        glyphs.pop_back();
        if (g >= glyphCount || !kept.insert(g).second) continue;
        std::size_t begin = 0, end = 0;
        if (GlyphRange(loca, longOffsets, g, begin, end) && end <= glyf.size()) {
            AddComponents(glyf.substr(begin, end - begin), glyphs);
        }
    }

    std::string newGlyf;
    std::string newLoca;
    for (std::size_t g = 0; g < glyphCount; ++g) {
        Put32(newLoca, static_cast<std::uint32_t>(newGlyf.size()));
        std::size_t begin = 0, end = 0;
        if (kept.count(static_cast<std::uint16_t>(g)) == 0 || !GlyphRange(loca, longOffsets, g, begin, end) ||
            end > glyf.size()) {
            continue;
        }
        newGlyf.append(glyf.substr(begin, end - begin));
        newGlyf.resize((newGlyf.size() + 3) & ~std::size_t{3}, '\0');
    }
    Put32(newLoca, static_cast<std::uint32_t>(newGlyf.size()));

    // Metrics of the glyphs that stay; the others zero (readers take widths from the PDF).
    const std::size_t longMetrics = U16(hhea, 34);
    std::string newHmtx(hmtx);
    for (std::size_t g = 0; g < glyphCount; ++g) {
        if (kept.count(static_cast<std::uint16_t>(g)) != 0) continue;
        const std::size_t at = g < longMetrics ? g * 4 : longMetrics * 4 + (g - longMetrics) * 2;
        const std::size_t size = g < longMetrics ? 4 : 2;
        if (at + size <= newHmtx.size()) std::fill_n(newHmtx.begin() + static_cast<std::ptrdiff_t>(at), size, '\0');
    }
    std::string newHead(head);
    Set32(newHead, 8, 0);   // checkSumAdjustment, set below
    Set16(newHead, 50, 1);  // long loca offsets

    std::map<std::string, std::string_view> out;
    out["glyf"] = newGlyf;
    out["head"] = newHead;
    out["hhea"] = hhea;
    out["hmtx"] = newHmtx;
    out["loca"] = newLoca;
    out["maxp"] = maxp;

    const auto count = static_cast<std::uint32_t>(out.size());
    std::uint32_t power = 1, log2 = 0;
    while (power * 2 <= count) {
        power *= 2;
        ++log2;
    }
    std::string font;
    Put32(font, 0x00010000);
    Put16(font, count);
    Put16(font, power * 16);
    Put16(font, log2);
    Put16(font, count * 16 - power * 16);
    std::size_t offset = 12 + 16 * out.size();
    std::size_t headAt = 0;
    for (const auto& [tag, data] : out) {
        font += tag;
        Put32(font, Checksum(data));
        Put32(font, static_cast<std::uint32_t>(offset));
        Put32(font, static_cast<std::uint32_t>(data.size()));
        if (tag == "head") headAt = offset;
        offset += (data.size() + 3) & ~std::size_t{3};
    }
    for (const auto& [tag, data] : out) {
        font.append(data);
        font.resize((font.size() + 3) & ~std::size_t{3}, '\0');
    }
    Set32(font, headAt + 8, 0xB1B0AFBAu - Checksum(font));
    return font;
}

FontFace::FontFace(const QRawFont& font) : font_(font) {
    for (const char* tag : {"head", "hhea", "maxp", "hmtx", "loca", "glyf"}) {
        std::string bytes = Table(font, tag);
        if (!bytes.empty()) tables_[tag] = std::move(bytes);
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

    const std::string_view head = tables_["head"];
    const std::string_view hhea = tables_["hhea"];
    const std::string_view maxp = tables_["maxp"];
    const std::string_view hmtx = tables_["hmtx"];
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
    std::vector<std::uint16_t> codes;
    if (QtFontProgram(font_, glyphs, program.compressed, program.length, codes)) {
        std::string map(2 * (std::size_t{glyphs.back()} + 1), '\0');
        for (std::size_t i = 0; i < glyphs.size(); ++i) {
            map[2 * glyphs[i]] = static_cast<char>(codes[i] >> 8);
            map[2 * glyphs[i] + 1] = static_cast<char>(codes[i] & 0xff);
        }
        program.codeToGlyph = Compressed(map);
        return program;
    }
    // Qt's program could not be had: the font's own outlines, glyph numbers kept.
    const std::string subset = TrueTypeSubset(tables_, glyphs);
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

const ShapedText& FontFaces::Shape(int pixelSize, bool bold, std::string_view utf8) {
    std::string key = std::to_string(pixelSize);
    key += bold ? 'b' : 'r';
    key += utf8;
    auto found = shaped_.find(key);
    if (found != shaped_.end()) return found->second;
    if (shaped_.size() >= 100000) shaped_.clear();  // a long batch of ever new texts

    const QString text = QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
    ShapedText shaped;
    if (!text.isEmpty()) {
        QTextLayout layout(text, ReportFont(pixelSize, bold), &PdfResolutionDevice());
        layout.setCacheEnabled(false);
        layout.beginLayout();
        QTextLine line = layout.createLine();
        layout.endLayout();
        const double baseline = line.ascent();
        shaped.width = static_cast<int>(std::floor(line.horizontalAdvance() + 0.5));
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
    }
    return shaped_.emplace(std::move(key), std::move(shaped)).first->second;
}

int FontFaces::Width(int pixelSize, bool bold, std::string_view utf8) {
    std::string key = std::to_string(pixelSize);
    key += bold ? 'b' : 'r';
    key += utf8;
    const auto found = widths_.find(key);
    if (found != widths_.end()) return found->second;
    if (widths_.size() >= 200000) widths_.clear();
    std::unique_ptr<QFontMetrics>& metrics = fontMetrics_[{pixelSize, bold}];
    if (!metrics) metrics = std::make_unique<QFontMetrics>(ReportFont(pixelSize, bold), &PdfResolutionDevice());
    const int width = metrics->horizontalAdvance(QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size())));
    widths_.emplace(std::move(key), width);
    return width;
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
