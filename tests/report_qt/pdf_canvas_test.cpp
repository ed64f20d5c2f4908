// The PDF device against Qt's PDF engine: the same page drawing onto both, on the A4 page at
// 600 dpi that our PDFs have (the report's two pages, and the page of earlier seasons), must
// give the same text widths, the same words at the same places (pdftotext -bbox) and the same
// picture of each page (pdftoppm at 100 dpi). Qt's engine embeds outlines it re-makes from
// its paths, ours are the font's own: edges may differ by a few levels of grey. Qt versions
// differ in how they round A4's 842 points at 600 dpi (7017 or 7016 pixels), so Qt's engine
// draws onto our page size, not the size its writer reports.
#include <gtest/gtest.h>

#include <QDir>
#include <QImage>
#include <QPageSize>
#include <QPainter>
#include <QPainterPath>
#include <QPdfWriter>
#include <QRawFont>
#include <QTemporaryDir>
#include <cstdio>
#include <cstdlib>
#include <cmath>
#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "analysis/cow_lists.h"
#include "herd/textutil.h"
#include "interpret/interpretation.h"
#include "interpret/trends.h"
#include "report/qt/pdf_canvas.h"
#include "report/qt/pdf_font.h"
#include "report/qt/qpainter_canvas.h"
#include "report/qt/report_images.h"
#include "report/report_canvas.h"
#include "report/page3.h"
#include "report/report_pages.h"
#include "test_files.h"
#include "report_qt/qt_test_support.h"

namespace ovista {
namespace {

using testing::CommandOutput;

// The report's pages as Qt's PDF engine writes them; with earlier seasons, page 3 too.
void WriteQtPdf(const HerdReport& report, const QString& path, const std::vector<HerdReport>& earlier) {
    QPdfWriter writer(path);
    writer.setResolution(600);
    writer.setPageSize(QPageSize(QPageSize::A4));
    writer.setPageMargins(QMarginsF(0, 0, 0, 0));
    QPainter painter(&writer);
    const QString pictures = ProgramFolder();
    const ReportImages& images = CurrentReportImages(pictures);
    const Interpretation interpretation = InterpretReport(report);
    const QSize page(PdfCanvas::kPageWidth, PdfCanvas::kPageHeight);
    const HerdReportPages pages(interpretation, report, earlier.empty() ? nullptr : &earlier);
    QPainterCanvas device(painter, page, images);
    ReportCanvas canvas(report, device, 600);
    for (int pageNo = 1; pageNo <= pages.PageCount(); ++pageNo) {
        if (pageNo > 1) writer.newPage();
        pages.Draw(canvas, pageNo);
    }
}

void WriteOurPdf(const HerdReport& report, const QString& path, const std::vector<HerdReport>& earlier) {
    const QString pictures = ProgramFolder();
    const ReportImages& images = CurrentReportImages(pictures);
    const Interpretation interpretation = InterpretReport(report);
    PdfDocument document(images);
    const HerdReportPages pages(interpretation, report, earlier.empty() ? nullptr : &earlier);
    ReportCanvas canvas(report, document.NewPage(), 600);
    for (int pageNo = 1; pageNo <= pages.PageCount(); ++pageNo) {
        if (pageNo > 1) canvas.SetDevice(document.NewPage());
        pages.Draw(canvas, pageNo);
    }
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    const std::string pdf = document.Finish("Ovista Report", "ovista", "ovista");
    file.write(pdf.data(), static_cast<qint64>(pdf.size()));
}

// Page n at 100 dots per inch.
QImage Rendered(const QString& pdf, int n) {
    const QString stem = pdf + "-" + QString::number(n);
    CommandOutput("pdftoppm -r 100 -f " + std::to_string(n) + " -l " + std::to_string(n) + " -singlefile '" +
           pdf.toStdString() + "' '" + stem.toStdString() + "'");
    return QImage(stem + ".ppm").convertToFormat(QImage::Format_RGB32);
}

// Pixels of a whose colour is nowhere within one pixel in b, up to tolerance levels in each
// channel.
int PixelsOffEdges(const QImage& a, const QImage& b, int tolerance) {
    const auto close = [tolerance](QRgb p, QRgb q) {
        return std::abs(qRed(p) - qRed(q)) <= tolerance && std::abs(qGreen(p) - qGreen(q)) <= tolerance &&
               std::abs(qBlue(p) - qBlue(q)) <= tolerance;
    };
    int off = 0;
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x) {
            const QRgb colour = a.pixel(x, y);
            if (close(b.pixel(x, y), colour)) continue;
            bool near = false;
            for (int dy = -1; dy <= 1 && !near; ++dy) {
                for (int dx = -1; dx <= 1 && !near; ++dx) {
                    near = b.valid(x + dx, y + dy) && close(b.pixel(x + dx, y + dy), colour);
                }
            }
            off += near ? 0 : 1;
        }
    }
    return off;
}

struct Word {
    std::string text;
    double box[4];
};

std::vector<Word> Words(const QString& pdf) {
    const std::string xml = CommandOutput("pdftotext -bbox '" + pdf.toStdString() + "' -");
    std::vector<Word> words;
    // <word xMin="..." yMin="..." xMax="..." yMax="...">text</word>
    for (std::size_t at = 0; (at = xml.find("<word ", at)) != std::string::npos;) {
        Word word;
        std::size_t next = at;
        for (double& edge : word.box) {
            next = xml.find('"', next) + 1;
            edge = std::stod(xml.substr(next));
            next = xml.find('"', next) + 1;
        }
        const std::size_t text = xml.find('>', next) + 1;
        const std::size_t end = xml.find("</word>", text);
        word.text = xml.substr(text, end - text);
        words.push_back(word);
        at = end;
    }
    return words;
}

// A record whose header texts hold what the report's character set allows: a tab, control
// bytes, a no-break space, accents, the euro sign, quotes and a word too long for its box.
HerdReport OddTextReport() {
    HerdReport report = testing::ExampleReport("herd002.csv");
    report.Owner = "M\xE9tairie \x80 & \x93Sons\x94\tLtd\x01\x1F \xA0 (\\)";
    report.Address = "Route\xA0" "12, \xC5rhus, \xBD\xBC\xBE km \x85 " + std::string(60, 'W');
    return report;
}

TEST(PdfCanvas, PagesLookAsQtsPdfEngineDrawsThem) {
    testing::EnsureApplication();
    const QTemporaryDir temporary;
    // OVISTA_KEEP_PDFS=<folder> keeps the files to look at.
    const QDir folder(qEnvironmentVariableIsSet("OVISTA_KEEP_PDFS") ? qEnvironmentVariable("OVISTA_KEEP_PDFS")
                                                                     : temporary.path());
    struct Case {
        std::string name;
        HerdReport report;
        std::vector<HerdReport> earlier;  // seasons for page 3
    };
    const std::vector<Case> reports = {
        {"seasonal", testing::ExampleReport("herd001.csv"),
         {testing::ExampleReport("herd002.csv"), testing::ExampleReport("herd003.csv")}},
        {"yearround", testing::ExampleReport("herd004.csv"), {}},
        {"oddtext", OddTextReport(), {}},
    };
    for (const auto& [name, report, earlier] : reports) {
        SCOPED_TRACE(name);
        const QString qt = folder.filePath(QString::fromStdString(name) + "-qt.pdf");
        const QString ours = folder.filePath(QString::fromStdString(name) + "-ours.pdf");
        WriteQtPdf(report, qt, earlier);
        WriteOurPdf(report, ours, earlier);
        for (int page = 1; page <= (earlier.empty() ? 2 : 3); ++page) {
            const QImage expected = Rendered(qt, page);
            const QImage got = Rendered(ours, page);
            ASSERT_FALSE(expected.isNull());
            ASSERT_EQ(got.size(), expected.size());
            // Outlines differ in antialiased edges only: a tenth of the range at most.
            EXPECT_EQ(PixelsOffEdges(got, expected, 25), 0) << "page " << page;
            EXPECT_EQ(PixelsOffEdges(expected, got, 25), 0) << "page " << page;
        }
        const std::vector<Word> expected = Words(qt);
        const std::vector<Word> got = Words(ours);
        ASSERT_EQ(got.size(), expected.size());
        ASSERT_GT(got.size(), 300u);
        for (std::size_t i = 0; i < got.size(); ++i) {
            EXPECT_EQ(got[i].text, expected[i].text);
            for (int k = 0; k < 4; ++k) {
                // 0.01 % of the page
                EXPECT_NEAR(got[i].box[k], expected[i].box[k], (k % 2 == 0 ? 595 : 842) * 1e-4) << got[i].text;
            }
        }
        const std::string fonts = CommandOutput("pdffonts '" + ours.toStdString() + "'");
        EXPECT_EQ(fonts.find(" no "), std::string::npos) << fonts;  // embedded, subset, mapped to text
        EXPECT_NE(CommandOutput("pdfinfo '" + ours.toStdString() + "'").find("595 x 842 pts (A4)"), std::string::npos);
    }
}

TEST(PdfCanvas, TextIsMeasuredAsOnQtsDevices) {
    testing::EnsureApplication();
    const QTemporaryDir folder;
    QPdfWriter writer(folder.filePath("measure.pdf"));
    writer.setResolution(600);
    writer.setPageSize(QPageSize(QPageSize::A4));
    writer.setPageMargins(QMarginsF(0, 0, 0, 0));
    QPainter painter(&writer);
    // A4's 595 x 842 points at 600 dpi, as Qt 6.4 rounds them (6.8 cuts the height to 7016).
    QPainterCanvas qt(painter, QSize(4958, 7017), CurrentReportImages(ProgramFolder()));
    PdfDocument document(CurrentReportImages(ProgramFolder()));
    PdfCanvas& ours = document.NewPage();
    EXPECT_EQ(ours.Width(), 4958);
    EXPECT_EQ(ours.Height(), 7017);
    // Kerned pairs, a kerned space, figures, accents, a tab, control characters, spaces at
    // the end (counted in the width).
    const char* const texts[] = {"AV To Yo", "11 (100%)", "Week 3  ", "P. r. W.A", "\xC3\xA9t\xC3\xA9 \xE2\x82\xAC",
                                 "a\tb", "x\x01y\x1Fz", "Not-in-calf rate", "", " ", "Seek advice"};
    for (const double size : {5.0, 7.5, 10.0, 12.0, 16.0}) {
        for (const bool bold : {false, true}) {
            qt.SetFont(size, bold);
            ours.SetFont(size, bold);
            EXPECT_EQ(ours.TextHeight("Ag"), qt.TextHeight("Ag")) << size;
            for (const char* text : texts) {
                EXPECT_EQ(ours.TextWidth(text), qt.TextWidth(text)) << "'" << text << "' at " << size << (bold ? " bold" : "");
            }
        }
    }
}

// Plain texts (table cells: figures, dates, cow numbers) are drawn from per-character tables
// without shaping: the same glyphs at the same places and the same widths as Qt's shaping,
// kerned pairs included, and texts Qt shapes otherwise are left to Qt.
TEST(PdfCanvas, PlacesAreWrittenAsTheirExactDecimals) {
    // Whole pixels of every digit count, 64ths, negatives; then a space.
    const std::pair<std::int64_t, const char*> rows[] = {
        {0, "0 "},          {9 * 64, "9 "},        {10 * 64, "10 "},         {99 * 64, "99 "},
        {100 * 64, "100 "}, {999 * 64, "999 "},    {1000 * 64, "1000 "},     {9999 * 64, "9999 "},
        {10000 * 64, "10000 "}, {123456789LL * 64, "123456789 "}, {-3371 * 64, "-3371 "},
        {-1191, "-18.609375 "}, {1, "0.015625 "}, {32, "0.5 "}, {4958 * 64 + 48, "4958.75 "},
    };
    for (const auto& [value64, text] : rows) {
        char out[32];
        EXPECT_EQ(std::string(out, pdf::WriteSixtyFourths(out, value64)), text) << value64;
    }
}

TEST(PdfCanvas, EllipsesAreThePathsQtMakes) {
    // Boxes of every shape, corners either way round, thin and empty ones among them.
    std::mt19937 random(5);
    PdfDocument document(CurrentReportImages(ProgramFolder()));
    PdfCanvas& page = document.NewPage();
    for (int i = 0; i < 3000; ++i) {
        const int x1 = static_cast<int>(random() % 5000), y1 = static_cast<int>(random() % 7000);
        const int x2 = x1 + static_cast<int>(random() % 301) - 150, y2 = y1 + static_cast<int>(random() % (i % 7 == 0 ? 2 : 301)) - 150 * (i % 7 != 0);
        QPainterPath path;
        path.addEllipse(QRectF(QPointF(std::min(x1, x2), std::min(y1, y2)), QPointF(std::max(x1, x2), std::max(y1, y2))));
        std::string expected;
        for (int e = 0; e < path.elementCount(); ++e) {
            pdf::Number(expected, path.elementAt(e).x);
            pdf::Number(expected, path.elementAt(e).y);
            if (e == 0) expected += "m\n";
            if (e > 0 && e % 3 == 0) expected += "c\n";
        }
        if (path.elementCount() > 0) expected += "h\n";
        const std::size_t before = page.Content().size();
        page.DrawEllipse(x1, y1, x2, y2);
        // The pen's state the first time, then the path and its painting.
        const std::string drawn = page.Content().substr(before);
        EXPECT_NE(drawn.find(expected + "S\n"), std::string::npos) << x1 << ' ' << y1 << ' ' << x2 << ' ' << y2;
    }
}

TEST(PdfCanvas, CowListPagesThatCopyTheirBandAreThoseDrawnWhole) {
    CowLists lists;
    lists.made = true;
    lists.system = kSeasonalCalving;
    lists.basis = kBasisEarlyPregTest;
    for (std::size_t k = 0; k < kCowListKinds; ++k) {
        lists.lists[k].kind = static_cast<CowListKind>(k);
        lists.lists[k].applies = true;
        for (std::size_t i = 0; i < 30 * k; ++i) {
            lists.lists[k].cows.push_back({"C" + std::to_string(i), MakeDate(28, 8, 2025), 3, MakeDate(28, 12, 2025), 2, 40});
        }
    }
    HerdReport report;
    report.SHNO = "590001";
    report.ActCalvingPattern = kSeasonalCalving;
    const Interpretation interpretation = InterpretReport(report);
    const HerdReportPages pages(interpretation, report, nullptr, &lists);
    ASSERT_GE(pages.PageCount(), 5);
    // One document drawn page after page (the band copied from the first list page on), and
    // each page alone in a document of its own.
    PdfDocument all(CurrentReportImages(ProgramFolder()));
    std::vector<const PdfCanvas*> drawn;
    PdfCanvas& first = all.NewPage();
    ReportCanvas canvas(report, first, 600);
    for (int n = 1; n <= pages.PageCount(); ++n) {
        PdfCanvas& page = n == 1 ? first : all.NewPage();
        if (n > 1) canvas.SetDevice(page);
        // A pen left otherwise before a page: that page draws its band again.
        if (n == 4) canvas.SetPen(Rgb{1, 2, 3}, 1, PenStyle::Dot);
        pages.Draw(canvas, n);
        drawn.push_back(&page);
    }
    for (int n = 1; n <= pages.PageCount(); ++n) {
        PdfDocument alone(CurrentReportImages(ProgramFolder()));
        PdfCanvas& page = alone.NewPage();
        ReportCanvas single(report, page, 600);
        if (n == 4) single.SetPen(Rgb{1, 2, 3}, 1, PenStyle::Dot);
        pages.Draw(single, n);
        EXPECT_EQ(drawn[static_cast<std::size_t>(n - 1)]->Content(), page.Content()) << "page " << n;
    }
}

TEST(PdfCanvas, ALongTextIsWrittenAlikeTheFirstTimeAndAfter) {
    // Twice from the plain tables, then shaped, then as kept, then after a long batch's ever
    // new texts have filled the kept ones: the same content and width.
    PdfDocument document(CurrentReportImages(ProgramFolder()));
    const std::vector<std::string> texts = {"Submission rate up 5 points since 2023 (AVAToday, \"LT\" Wy.)",
                                            "Cows calved between 01/07/2023 and 30/06/2024 - 17 more",
                                            "Not plain: caf\xc3\xa9 \xe2\x80\x93 \xc2\xa9 2026 and a long tail of words"};
    std::map<std::pair<std::string, double>, std::pair<std::string, int>> firsts;
    const auto draw = [&document](const std::string& text, double size) {
        PdfCanvas& page = document.NewPage();
        page.SetFont(size, false);
        page.DrawText(300, 400, text);
        return std::make_pair(page.Content(), page.TextWidth(text));
    };
    for (const std::string& text : texts) {
        for (const double size : {7.5, 11.0}) {
            firsts[{text, size}] = draw(text, size);
            for (int time = 1; time < 4; ++time) {
                EXPECT_EQ(draw(text, size), (firsts[{text, size}])) << text << ' ' << size << ' ' << time;
            }
        }
    }
    PdfCanvas& batch = document.NewPage();
    batch.SetFont(7.5, false);
    for (int herd = 0; herd < 9000; ++herd) {
        const std::string own = "Herd " + std::to_string(herd) + " caf\xc3\xa9 owner";
        batch.TextWidth(own);
        batch.DrawText(300, 400, own);
    }
    for (const std::string& text : texts) {
        for (const double size : {7.5, 11.0}) EXPECT_EQ(draw(text, size), (firsts[{text, size}])) << text << ' ' << size;
    }
}

TEST(PdfCanvas, ACellDrawnToFitIsItsFittingStartDrawnAsText) {
    // Rooms above, at and below a cell's width and none: the longest start (whole characters)
    // that measures no wider, written as DrawText writes it, the first time (characters and
    // pairs learnt on the way) and after (from the tables alone); kerned pairs, characters
    // the tables do not draw, a long text and an empty one.
    PdfDocument document(CurrentReportImages(ProgramFolder()));
    for (const std::string text : {"12/08/25", "AVAV", "J3328", "7", "", "caf\xc3\xa9", "x\x7Fy",
                                   "A cell longer than sixteen bytes"}) {
        for (const double size : {6.5, 8.0}) {
            for (int time = 0; time < 2; ++time) {
                PdfCanvas& measure = document.NewPage();
                measure.SetFont(size, false);
                const int width = measure.TextWidth(text);
                for (const int room : {width + 1, width, width - 1, 4, 0, -1}) {
                    std::string start = text;
                    while (!start.empty() && measure.TextWidth(start) > room) {
                        start.pop_back();
                        while (!start.empty() && (static_cast<unsigned char>(start.back()) & 0xC0) == 0x80) start.pop_back();
                    }
                    PdfCanvas& fitted = document.NewPage();
                    fitted.SetFont(size, false);
                    PdfCanvas& drawn = document.NewPage();
                    drawn.SetFont(size, false);
                    drawn.DrawText(120, 340, start);
                    EXPECT_EQ(fitted.DrawTextFitting(120, 340, text, room), start.size()) << text << ' ' << room;
                    EXPECT_EQ(fitted.Content(), drawn.Content()) << text << ' ' << size << ' ' << room << ' ' << time;
                }
            }
        }
    }
}

TEST(PdfCanvas, ARowDrawnInOneCallIsItsCellsDrawnOneByOne) {
    // Rows of cells met before and new, empty ones, ones cut to fit, ones the tables do not
    // draw, a long one, each row after a box and the rows twice over (the second time from
    // what was kept of them), and a text shaped and kept: each document drawing them by rows
    // writes the same file as one drawing them cell by cell before, its font subset holding
    // the glyphs of what it drew from kept cells and shapes.
    qputenv("SOURCE_DATE_EPOCH", "1780000000");
    const std::vector<std::vector<std::string>> rows = {
        {"4711", "24/09/25", "4", "", "2", "148"},
        {"4712", "24/09/25", "caf\xc3\xa9", "12/08/25", "AVAV", "A cell longer than sixteen bytes"},
        {"WWWWWWWWWWW", "", "7", "24/01/26", "", "1"}};
    const auto draw = [&rows](bool byRow) {
        PdfDocument document(CurrentReportImages(ProgramFolder()));
        PdfCanvas& page = document.NewPage();
        page.SetFont(8, false);
        for (int time = 0; time < 2; ++time) {
            for (std::size_t r = 0; r < rows.size(); ++r) {
                const int y = 300 + 100 * static_cast<int>(r + rows.size() * static_cast<std::size_t>(time));
                page.SetBrush(Rgb{241, 229, 207});
                page.DrawRect(100, y, 2500, y + 90);
                page.SetBrush(std::nullopt);
                std::vector<DeviceCanvas::FittingCell> cells;
                for (std::size_t c = 0; c < rows[r].size(); ++c) {
                    cells.push_back({rows[r][c], 120 + 400 * static_cast<int>(c), c == 0 ? 150 : 380});
                }
                if (byRow) {
                    page.DrawRowFitting(y, cells);
                } else {
                    for (const auto& cell : cells) page.DrawTextFitting(cell.x, y, cell.text, cell.maxWidth);
                }
            }
        }
        page.DrawText(120, 1200, "Caf\xc3\xa9 label shaped once");
        return std::make_pair(page.Content(), document.Finish("t", "c", "p"));
    };
    const auto byCells = draw(false);
    for (int document = 0; document < 2; ++document) {
        const auto byRows = draw(true);
        EXPECT_EQ(byRows.first, byCells.first) << document;
        EXPECT_TRUE(byRows.second == byCells.second) << document;
    }
    qunsetenv("SOURCE_DATE_EPOCH");
}

TEST(PdfCanvas, PlainTextsAreShapedAsQtShapesThem) {
    testing::EnsureApplication();
    const QTemporaryDir folder;
    QPdfWriter writer(folder.filePath("plain.pdf"));
    writer.setResolution(600);
    writer.setPageSize(QPageSize(QPageSize::A4));
    writer.setPageMargins(QMarginsF(0, 0, 0, 0));
    QPainter painter(&writer);
    QPainterCanvas qt(painter, QSize(4958, 7017), CurrentReportImages(ProgramFolder()));
    pdf::FontFaces& faces = pdf::ReportFontFaces();
    std::vector<std::string> texts = {"12/08/25", "0", "7", "J3328", "11", "111/11/11", "AVAV", "To", "Yo", "W.A",
                                      "r.", "L'T", "fi", "ffi", "1/1", "~", "(100%)", "a-b_c", "{x}|", " ", "A T",
                                      " Yo", "To ", "a  b", "37 cows not mated in the first 3 weeks", "Page 1 of 3"};
    std::mt19937 random(36);
    for (int n = 0; n < 400; ++n) {
        std::string text(1 + random() % 16, ' ');
        for (char& c : text) c = static_cast<char>(0x20 + random() % 95);
        texts.push_back(text);
    }
    int plainTexts = 0;
    for (const double size : {5.0, 8.0, 11.0}) {
        for (const bool bold : {false, true}) {
            qt.SetFont(size, bold);
            const int pixelSize = QPainterCanvas::FontPixelSize(size, PdfCanvas::kPageHeight);
            for (const std::string& text : texts) {
                SCOPED_TRACE("'" + text + "' at " + std::to_string(size) + (bold ? " bold" : ""));
                const pdf::PlainFont* plain = faces.Plain(pixelSize, bold, text);
                EXPECT_EQ(faces.Width(pixelSize, bold, text), qt.TextWidth(text));
                if (plain == nullptr) continue;
                ++plainTexts;
                const pdf::ShapedText& shaped = faces.Shape(pixelSize, bold, text);
                ASSERT_EQ(shaped.runs.size(), 1u);
                const pdf::GlyphRun& run = shaped.runs[0];
                EXPECT_EQ(run.face, plain->Face());
                ASSERT_EQ(run.glyphs.size(), text.size());
                std::int64_t x64 = 0;
                for (std::size_t i = 0; i < text.size(); ++i) {
                    EXPECT_EQ(run.glyphs[i], plain->Glyph(text[i])) << i;
                    EXPECT_EQ(run.x64[i], x64) << i;
                    EXPECT_EQ(run.y64[i], 0) << i;
                    x64 += plain->Step64(text[i], i + 1 < text.size() ? text[i + 1] : 0);
                }
            }
            // Figures, dates and sentences, the cells and headings of the cow lists, are plain.
            for (const char* cell : {"12/08/25", "J3328", "140", "1 2", "Not in calf"}) {
                EXPECT_NE(faces.Plain(pixelSize, bold, cell), nullptr) << cell;
            }
            for (const char* pair : {"AV", "11"}) {
                const pdf::PlainFont* kerned = faces.Plain(pixelSize, bold, pair);
                EXPECT_TRUE(kerned != nullptr && kerned->Kerned(pair[0], pair[1])) << pair;
            }
            for (const char* other : {"\xC3\xA9t\xC3\xA9", "a\tb", "x\x7Fy"}) {
                EXPECT_EQ(faces.Plain(pixelSize, bold, other), nullptr) << other;
            }
        }
    }
    EXPECT_GT(plainTexts, 1000);
}

// Where a reader puts the glyphs of a page's content: the text matrix and its steps, each
// glyph advanced by its width in the PDF and moved back by the numbers of a TJ.
struct PlacedGlyph {
    int face;
    std::uint16_t glyph;
    double x;  // page pixels, y downwards
    double y;
    double size;
};
std::vector<PlacedGlyph> ReadGlyphs(const std::string& content) {
    pdf::FontFaces& faces = pdf::ReportFontFaces();
    std::vector<PlacedGlyph> placed;
    std::vector<double> numbers;
    int face = 0;
    double size = 0, lineX = 0, lineY = 0, penX = 0;
    for (std::size_t at = 0; at < content.size();) {
        const char c = content[at];
        if (c == ' ' || c == '\n' || c == '[' || c == ']') {
            ++at;
        } else if (c == '<') {
            const std::size_t end = content.find('>', at);
            for (std::size_t code = at + 1; code + 4 <= end; code += 4) {
                const auto glyph = static_cast<std::uint16_t>(std::stoul(content.substr(code, 4), nullptr, 16));
                placed.push_back({face, glyph, penX, lineY, size});
                penX += faces.Face(face).Width(glyph) * size / 1000;
            }
            at = end + 1;
        } else if (c == '/') {
            const std::size_t end = content.find(' ', at);
            if (content[at + 1] == 'F') face = std::stoi(content.substr(at + 2, end - at - 2)) - 1;
            at = end;
        } else if (c == '-' || c == '.' || (c >= '0' && c <= '9')) {
            std::size_t used = 0;
            const double number = std::stod(content.substr(at, 32), &used);
            // A number inside a TJ moves the next glyph back by thousandths of the font size.
            if (content[at - 1] == '>') {
                penX -= number * size / 1000;
            } else {
                numbers.push_back(number);
            }
            at += used;
        } else {
            const std::size_t end = content.find_first_of(" \n[<", at);
            const std::string op = content.substr(at, end - at);
            if (op == "Tf") size = numbers.back();
            if (op == "Tm") {
                lineX = numbers[numbers.size() - 2];
                lineY = numbers.back();
            }
            if (op == "Td") {
                lineX += numbers[numbers.size() - 2];
                lineY -= numbers.back();
            }
            if (op == "Tm" || op == "Td") penX = lineX;
            numbers.clear();
            at = end;
        }
    }
    return placed;
}

// Texts drawn one after another share a text object, each glyph shown in one TJ for its
// text: every glyph where Qt places it or at most a millionth of the em further (a reader
// rounds places down to fractions of its pixels), never before; whatever ends a text object
// in between (a box) or changes within it (font, size, colour).
TEST(PdfCanvas, GlyphsLandWhereQtPlacesThem) {
    testing::EnsureApplication();
    PdfDocument document(CurrentReportImages(ProgramFolder()));
    PdfCanvas& page = document.NewPage();
    pdf::FontFaces& faces = pdf::ReportFontFaces();
    struct Drawn {
        int x, y;
        double size;
        bool bold;
        std::string text;
        bool boxBefore;
    };
    std::vector<Drawn> drawn = {
        {198, 276, 8, false, "12/08/25", false},       {795, 276, 8, false, "7", false},
        {1200, 276, 8, true, "AVAV To Yo", false},     {198, 452, 8, false, "J3328", true},
        {30, 900, 11, true, "37 cows not mated in the first 3 weeks (continued)", false},
        {30, 1100, 7, false, "M\xC3\xA9tairie \xE2\x82\xAC 12", false},
        {4000, 1100, 7, false, "\xC5\x80\xCE\xA9 x", false},
        {-40, 7000, 16, false, "a  b ", true},         {4900, 20, 5, true, "~{}|", false},
    };
    std::mt19937 random(44);
    for (int n = 0; n < 60; ++n) {
        std::string text(1 + random() % 20, ' ');
        for (char& c : text) c = static_cast<char>(0x20 + random() % 95);
        drawn.push_back({static_cast<int>(random() % 4900), static_cast<int>(random() % 7000), 5.0 + random() % 12,
                         random() % 2 == 0, text, random() % 5 == 0});
    }
    std::vector<PlacedGlyph> expected;
    int boxes = 0;
    for (const Drawn& d : drawn) {
        if (d.boxBefore) {
            page.SetBrush(Rgb{200, 200, 200});
            page.DrawRect(d.x, d.y, d.x + 40, d.y + 40);
            ++boxes;
        }
        page.SetPen(Rgb{static_cast<std::uint8_t>(d.bold ? 0 : 90), 0, 0}, 1, PenStyle::Solid);
        page.SetFont(d.size, d.bold);
        page.DrawText(d.x, d.y, d.text);
        const int pixelSize = QPainterCanvas::FontPixelSize(d.size, PdfCanvas::kPageHeight);
        const double baseline = d.y + faces.Metrics(pixelSize, d.bold).ascent;
        for (const pdf::GlyphRun& run : faces.Shape(pixelSize, d.bold, d.text).runs) {
            for (std::size_t i = 0; i < run.glyphs.size(); ++i) {
                expected.push_back({run.face, run.glyphs[i], d.x + run.x64[i] / 64.0, baseline + run.y64[i] / 64.0,
                                    static_cast<double>(pixelSize)});
            }
        }
    }
    const std::string& content = page.Content();
    std::size_t textObjects = 0;
    for (std::size_t at = 0; (at = content.find("BT\n", at)) != std::string::npos; ++at) ++textObjects;
    EXPECT_EQ(textObjects, static_cast<std::size_t>(boxes) + 1);
    const std::vector<PlacedGlyph> got = ReadGlyphs(content);
    ASSERT_EQ(got.size(), expected.size());
    for (std::size_t i = 0; i < got.size(); ++i) {
        SCOPED_TRACE("glyph " + std::to_string(i));
        EXPECT_EQ(got[i].face, expected[i].face);
        EXPECT_EQ(got[i].glyph, expected[i].glyph);
        EXPECT_EQ(got[i].size, expected[i].size);
        EXPECT_EQ(got[i].y, expected[i].y);
        EXPECT_GE(got[i].x - expected[i].x, -1e-9);
        EXPECT_LE(got[i].x - expected[i].x, expected[i].size * 1e-6 + 1e-9);
    }
}

// The text of object n of a PDF, up to its "endobj".
std::string Object(const std::string& pdf, int n) {
    const std::size_t at = pdf.find("\n" + std::to_string(n) + " 0 obj\n");
    return at == std::string::npos ? std::string() : pdf.substr(at, pdf.find("endobj", at) - at);
}

// The object number after key ("/FontFile2 12 0 R"), 0 when key is not there.
int Reference(const std::string& text, const std::string& key) {
    const std::size_t at = text.find(key);
    return at == std::string::npos ? 0 : std::atoi(text.c_str() + at + key.size());
}

TEST(PdfCanvas, EveryDrawnGlyphHasItsOutlineInTheEmbeddedProgram) {
    testing::EnsureApplication();
    PdfDocument document(CurrentReportImages(ProgramFolder()));
    PdfCanvas& page = document.NewPage();
    // The report's character set, accents built of parts, characters beyond the set, whose
    // glyphs only this document uses, and a control character, drawn as the font's box.
    const char* const text = "Herd 12 (\xC3\xA9t\xC3\xA9) \xE2\x82\xAC\xC2\xBD \xC5\x80\xC4\x80\xC8\x99\xCE\xA9\xD0\x96 \x01";
    for (const bool bold : {false, true}) {
        page.SetFont(10, bold);
        page.DrawText(400, bold ? 800 : 400, text);
    }
    const std::string pdf = document.Finish("t", "t", "t");

    // The glyphs drawn in each font, from the page's content: "/F1 ... Tf" sets the font,
    // each <...> holds glyph codes of four hexadecimal digits.
    std::map<std::string, std::set<std::uint16_t>> drawn;
    std::string font;
    const std::string& content = page.Content();
    for (std::size_t at = 0; at < content.size(); ++at) {
        if (content.compare(at, 2, "/F") == 0) font = content.substr(at, content.find(' ', at) - at);
        if (content[at] != '<') continue;
        const std::size_t end = content.find('>', at);
        for (std::size_t code = at + 1; code + 4 <= end; code += 4) {
            drawn[font].insert(static_cast<std::uint16_t>(std::stoul(content.substr(code, 4), nullptr, 16)));
        }
        at = end;
    }
    ASSERT_EQ(drawn.size(), 2u);
    const std::string resources = Object(pdf, 4);
    for (const auto& [name, glyphs] : drawn) {
        SCOPED_TRACE(name);
        const std::string type0 = Object(pdf, Reference(resources, name + " "));
        const std::string cid = Object(pdf, Reference(type0, "/DescendantFonts ["));
        const std::string file = Object(pdf, Reference(Object(pdf, Reference(cid, "/FontDescriptor ")), "/FontFile2 "));
        ASSERT_NE(file.find("/FlateDecode"), std::string::npos) << file.substr(0, 200);
        const std::size_t data = file.find("stream\n") + 7;
        const std::size_t length = std::stoul(file.substr(file.find("/Length1 ") + 9));
        QByteArray packed(4, '\0');
        for (int i = 0; i < 4; ++i) packed[i] = static_cast<char>(length >> (24 - 8 * i) & 0xff);
        packed.append(file.substr(data, file.rfind("\nendstream") - data).c_str(),
                      static_cast<qsizetype>(file.rfind("\nendstream") - data));
        const QRawFont embedded(qUncompress(packed), 100, QFont::PreferNoHinting);
        ASSERT_TRUE(embedded.isValid());
        const QRawFont original = QRawFont::fromFont(pdf::FontFaces::ReportFont(100, type0.find("-Bold") != std::string::npos));
        int outlines = 0;
        for (const std::uint16_t g : glyphs) {
            const QPainterPath want = original.pathForGlyph(g);
            EXPECT_EQ(embedded.pathForGlyph(g), want) << "glyph " << g;
            outlines += want.isEmpty() ? 0 : 1;
        }
        EXPECT_GE(outlines, 15);
    }
}

}  // namespace
}  // namespace ovista
