// The PDF device against Qt's PDF engine: the same page drawing onto both (the report's two
// pages, and the page of earlier seasons) must give the same text widths, the same words at
// the same places (pdftotext -bbox) and the same picture of each page (pdftoppm at 100 dpi:
// every pixel the same, or at an edge one whose colour is found within one pixel).
#include <gtest/gtest.h>

#include <QDir>
#include <QImage>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QTemporaryDir>
#include <cstdio>
#include <string>
#include <vector>

#include "interpret/interpretation.h"
#include "interpret/trends.h"
#include "report/qt/pdf_canvas.h"
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
    const ReportImages& images = CurrentReportImages(ProgramFolder());
    const Interpretation interpretation = InterpretReport(report);
    const QSize page(writer.width(), writer.height());
    const HerdReportPages pages(interpretation, report, earlier.empty() ? nullptr : &earlier);
    QPainterCanvas device(painter, page, images);
    ReportCanvas canvas(report, device, 600);
    for (int pageNo = 1; pageNo <= pages.PageCount(); ++pageNo) {
        if (pageNo > 1) writer.newPage();
        pages.Draw(canvas, pageNo);
    }
}

void WriteOurPdf(const HerdReport& report, const QString& path, const std::vector<HerdReport>& earlier) {
    const ReportImages& images = CurrentReportImages(ProgramFolder());
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

// Pixels of a that differ from b and whose colour is nowhere within one pixel in b.
int PixelsOffEdges(const QImage& a, const QImage& b) {
    int off = 0;
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x) {
            const QRgb colour = a.pixel(x, y);
            if (b.pixel(x, y) == colour) continue;
            bool near = false;
            for (int dy = -1; dy <= 1 && !near; ++dy) {
                for (int dx = -1; dx <= 1 && !near; ++dx) {
                    near = b.valid(x + dx, y + dy) && b.pixel(x + dx, y + dy) == colour;
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
            EXPECT_EQ(PixelsOffEdges(got, expected), 0) << "page " << page;
            EXPECT_EQ(PixelsOffEdges(expected, got), 0) << "page " << page;
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
    QPainterCanvas qt(painter, QSize(writer.width(), writer.height()), CurrentReportImages(ProgramFolder()));
    PdfDocument document(CurrentReportImages(ProgramFolder()));
    PdfCanvas& ours = document.NewPage();
    EXPECT_EQ(ours.Width(), writer.width());
    EXPECT_EQ(ours.Height(), writer.height());
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

}  // namespace
}  // namespace ovista
