// The QPainter device canvas and the PDF file of a report, offscreen.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDateTime>
#include <QGuiApplication>
#include <QImage>
#include <QPdfWriter>
#include <QPicture>
#include <cstdio>
#include <limits>
#include <unistd.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>

#include "analysis/herd_report.h"
#include "test_files.h"
#include "herd/errors.h"
#include "report/qt/print_report.h"
#include "report/qt/qpainter_canvas.h"
#include "report/qt/report_images.h"

namespace ovista {
namespace {

namespace fs = std::filesystem;

// Text measuring needs the application object; it lives until the process ends. A widget
// application, since the preview window's tests share this program.
class QtApplication : public ::testing::Environment {
public:
    void SetUp() override {
        static int argc = 1;
        static char name[] = "test_report_qt";
        static char* argv[] = {name, nullptr};
        if (QGuiApplication::instance() == nullptr) new QApplication(argc, argv);
    }
};
const auto* const kApplication = ::testing::AddGlobalTestEnvironment(new QtApplication);

using testing::CommandOutput;

fs::path Folder(const std::string& name) {
    const fs::path folder = fs::temp_directory_path() /
                            ("ovista_report_qt_" + std::to_string(getpid()) + "_" + name);
    fs::remove_all(folder);
    fs::create_directories(folder);
    return folder;
}

TEST(QPainterCanvas, APointSizeIsTheSameShareOfThePageOnEveryOutput) {
    const ReportImages none;
    // 12 pt is 100 pixels on the 600-dpi PDF page; the preview and a 300-dpi printer page
    // scale with their height.
    const struct {
        int pageHeight;
        int pixels;
    } pages[] = {{7017, 100}, {3508, 50}, {1403, 20}};
    int previousWidth = 0;
    for (const auto& page : pages) {
        EXPECT_EQ(QPainterCanvas::FontPixelSize(12, page.pageHeight), page.pixels);
        QImage image(page.pageHeight * 595 / 842, page.pageHeight, QImage::Format_RGB32);
        QPainter painter(&image);
        QPainterCanvas canvas(painter, image.size(), none);
        canvas.SetFont(12, true);
        EXPECT_EQ(painter.font().family(), QString(kReportFontFamily));
        // Ascent and descent of the face are 0.905 and 0.212 of its size.
        EXPECT_NEAR(canvas.TextHeight("Herd"), page.pixels * 1.117, page.pixels * 0.03);
        const int width = canvas.TextWidth("Not-in-calf rate");
        if (previousWidth != 0) {
            EXPECT_LT(width, previousWidth);
        }
        previousWidth = width;
    }
    EXPECT_EQ(QPainterCanvas::FontPixelSize(std::numeric_limits<double>::quiet_NaN(), 7017), 1);
}

TEST(QPainterCanvas, WhiteOfAPictureLetsThePageColourShow) {
    // A picture composed over white comes back as its colour with the matching alpha.
    QImage picture(4, 1, QImage::Format_RGB32);
    picture.setPixel(0, 0, qRgb(255, 255, 255));
    picture.setPixel(1, 0, qRgb(0, 0, 0));
    picture.setPixel(2, 0, qRgb(255, 127, 127));  // red half over white
    picture.setPixel(3, 0, qRgb(236, 176, 32));
    const QImage clear = WhiteToTransparent(picture);
    EXPECT_EQ(qAlpha(clear.pixel(0, 0)), 0);
    EXPECT_EQ(clear.pixel(1, 0), qRgba(0, 0, 0, 255));
    EXPECT_EQ(qAlpha(clear.pixel(2, 0)), 128);
    EXPECT_EQ(qRed(clear.pixel(2, 0)), 255);
    EXPECT_LE(qGreen(clear.pixel(2, 0)), 1);
    // Laid over white again, every pixel is what it was.
    for (int x = 0; x < picture.width(); ++x) {
        const QRgb p = clear.pixel(x, 0);
        const auto overWhite = [&](int c) { return (c * qAlpha(p) + 255 * (255 - qAlpha(p))) / 255; };
        EXPECT_NEAR(overWhite(qRed(p)), qRed(picture.pixel(x, 0)), 1) << x;
        EXPECT_NEAR(overWhite(qGreen(p)), qGreen(picture.pixel(x, 0)), 1) << x;
        EXPECT_NEAR(overWhite(qBlue(p)), qBlue(picture.pixel(x, 0)), 1) << x;
    }

    // On an image page the device multiplies: white shows the page, black stays black.
    ReportImages images;
    images.star = picture;
    QImage page(8, 2, QImage::Format_RGB32);
    page.fill(QColor(249, 243, 233));
    QPainter painter(&page);
    QPainterCanvas canvas(painter, page.size(), images);
    painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
    canvas.DrawImage(ReportImage::Star, 0, 0, 8, 2);
    // Positions no page can hold (a damaged record's) draw nothing at all.
    constexpr int kMin = std::numeric_limits<int>::min();
    constexpr int kMax = std::numeric_limits<int>::max();
    canvas.SetBrush(kBlack);
    canvas.DrawLine(kMin, 0, kMax, 1);
    canvas.DrawRoundRect(0, 0, 8, 2, kMin, kMin);
    canvas.DrawEllipse(kMin, kMin, 8, 2);
    canvas.DrawText(kMin, 0, "far");
    canvas.DrawImage(ReportImage::Star, 0, 0, kMax, 2);
    painter.end();
    EXPECT_EQ(page.pixel(0, 0), qRgb(249, 243, 233));
    EXPECT_EQ(page.pixel(2, 0), qRgb(0, 0, 0));
    // A picture that is not loaded draws nothing.
    EXPECT_FALSE(canvas.GetImageSize(ReportImage::CentreLogo).has_value());
}

// Pictures are read once for many reports, and again when a centre replaces one.
TEST(ReportPictures, AReplacedPictureFileIsReadAgain) {
    const fs::path folder = Folder("pictures");
    const QString path = QString::fromStdString(folder.string());
    ASSERT_TRUE(MakeStarImage(16).save(QString::fromStdString((folder / "star.bmp").string())));
    ASSERT_TRUE(MakeBallImage(16).save(QString::fromStdString((folder / "ball.bmp").string())));
    const qint64 first = CurrentReportImages(path).star.cacheKey();
    EXPECT_EQ(CurrentReportImages(path).star.cacheKey(), first);
    ASSERT_TRUE(MakeStarImage(24).save(QString::fromStdString((folder / "star.bmp").string())));
    EXPECT_EQ(CurrentReportImages(path).star.height(), 24);
    fs::remove(folder / "ball.bmp");
    EXPECT_THROW(CurrentReportImages(path), OvistaError);
    fs::remove_all(folder);
}

TEST(QPainterCanvas, PdfTextIsTextInTheEmbeddedFace) {
    const fs::path folder = Folder("text");
    const QString path = QString::fromStdString((folder / "text.pdf").string());
    {
        QPdfWriter writer(path);
        writer.setResolution(600);
        writer.setPageSize(QPageSize(QPageSize::A4));
        writer.setPageMargins(QMarginsF(0, 0, 0, 0));
        QPainter painter(&writer);
        const ReportImages none;
        QPainterCanvas canvas(painter, QSize(writer.width(), writer.height()), none);
        // A4's 595 x 842 points at 600 dpi: Qt 6.4 rounds the height to 7017, 6.8 cuts it to 7016.
        EXPECT_EQ(canvas.Width(), 4958);
        EXPECT_NEAR(canvas.Height(), 7016.5, 0.5);
        canvas.SetFont(12, false);
        canvas.DrawText(400, 400, "Herd fertility \xc2\xa3 caf\xc3\xa9");
        canvas.SetFont(8, true);
        canvas.DrawText(400, 600, "Seek advice");
    }
    const std::string pdf = (folder / "text.pdf").string();
    const std::string text = CommandOutput("pdftotext '" + pdf + "' -");
    EXPECT_NE(text.find("Herd fertility \xc2\xa3 caf\xc3\xa9"), std::string::npos) << text;
    EXPECT_NE(text.find("Seek advice"), std::string::npos) << text;
    const std::string fonts = CommandOutput("pdffonts '" + pdf + "'");
    EXPECT_NE(fonts.find("LiberationSans "), std::string::npos) << fonts;
    EXPECT_NE(fonts.find("LiberationSans-Bold "), std::string::npos) << fonts;
    // Every face is embedded: the column after the encoding says "yes".
    std::istringstream lines(fonts);
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind("Liberation", 0) != 0) continue;
        const std::size_t encoding = line.find("Identity-H");
        ASSERT_NE(encoding, std::string::npos) << line;
        EXPECT_EQ(line.substr(line.find_first_not_of(' ', encoding + 10), 3), "yes") << line;
    }
    fs::remove_all(folder);
}

TEST(ReportPdf, TwoA4PagesUnderTheirOwnNameAndNothingElse) {
    const fs::path folder = Folder("report");
    HerdReport report;
    ClearHerdReport(report);
    const std::string pdf = (folder / "herd.pdf").string();
    WriteReportPdf(report, pdf);
    WriteReportPdf(report, pdf);  // replaced whole
    const std::string info = CommandOutput("pdfinfo '" + pdf + "'");
    EXPECT_NE(info.find("Pages:           2\n"), std::string::npos) << info;
    EXPECT_NE(info.find("Page size:       595 x 842 pts (A4)"), std::string::npos) << info;
    EXPECT_NE(info.find("Producer:        ovista Version 2.H"), std::string::npos) << info;
    EXPECT_NE(info.find("Creator:         ovista Version 2.H"), std::string::npos) << info;
    EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 1);

    // A file that cannot be written names itself and why, and leaves nothing behind.
    fs::permissions(folder, fs::perms::owner_read | fs::perms::owner_exec);
    const std::string blocked = (folder / "sub" / "x.pdf").string();
    try {
        WriteReportPdf(report, blocked);
        ADD_FAILURE() << "no error for " << blocked;
    } catch (const OvistaError& error) {
        EXPECT_NE(std::string(error.what()).find(blocked), std::string::npos) << error.what();
    }
    fs::permissions(folder, fs::perms::owner_all);
    EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 1);
    fs::remove_all(folder);
}

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

TEST(ReportPdf, SourceDateEpochIsTheCreationDateAndTheSameReportTheSameBytes) {
    const fs::path folder = Folder("epoch");
    HerdReport report;
    ClearHerdReport(report);
    const std::string now = QDateTime::currentDateTimeUtc().toString("yyyyMMdd").toStdString();
    // Unset, a date and what is no number of seconds (which gives now, as without it).
    const std::pair<const char*, std::string> cases[] = {
        {nullptr, now}, {"1700000000", "20231114221320Z"}, {"0", "19700101000000Z"}, {"17e8", now}, {"-1", now}};
    for (const auto& [epoch, date] : cases) {
        const std::string name = epoch == nullptr ? "unset" : epoch;
        if (epoch == nullptr) {
            qunsetenv("SOURCE_DATE_EPOCH");
        } else {
            qputenv("SOURCE_DATE_EPOCH", epoch);
        }
        const std::string first = (folder / "first.pdf").string();
        const std::string second = (folder / "second.pdf").string();
        WriteReportPdf(report, first);
        WriteReportPdf(report, second);
        const std::string bytes = ReadAll(first);
        EXPECT_NE(bytes.find("/CreationDate (D:" + date), std::string::npos) << name;
        if (epoch != nullptr && date != now) {
            EXPECT_EQ(ReadAll(second), bytes) << name;
        }
    }
    qunsetenv("SOURCE_DATE_EPOCH");
    fs::remove_all(folder);
}

TEST(ReportPdf, StarsAndChartPointsAreStoredLosslessAtTheirPageSize) {
    const fs::path folder = Folder("pictures_pdf");
    HerdReport report;
    ClearHerdReport(report);
    report.ActCalvingPattern = kSeasonalCalving;
    report.AnalType = kBasisEarlyPregTest;
    report.ICR3wk = 40;
    report.ICR6wk = 75;
    report.ICR9wk = 80;
    report.ICR12wk = 85;
    report.Calv3wk2yo = 99;
    const std::string pdf = (folder / "herd.pdf").string();
    WriteReportPdf(report, pdf);
    // Width, height and encoding of each picture but the product logo (400 x 480).
    std::istringstream lines(CommandOutput("pdfimages -list '" + pdf + "' | awk '$3 == \"image\" && $4 < 200 {print $4, $5, $9}'"));
    int marks = 0;
    for (int w, h; lines >> w >> h;) {
        std::string encoding;
        lines >> encoding;
        // A star covers 1 % of the width and 10/13 % of the height of a 600-dpi A4 page; a
        // chart point 1.495 % by 1 %. Each within a pixel of rounding.
        EXPECT_TRUE((std::abs(w - 50) <= 1 && std::abs(h - 54) <= 1) || (std::abs(w - 74) <= 1 && std::abs(h - 70) <= 1))
            << w << "x" << h;
        EXPECT_EQ(encoding, "image") << w << "x" << h;  // Flate, not "jpeg"
        ++marks;
    }
    EXPECT_GE(marks, 2);
    fs::remove_all(folder);
}

TEST(PagePictures, PicturesArePlayedBackResampledAndEverythingElseAsDrawn) {
    // A picture of black and white stripes three pixels wide, shrunk eight times: resampled,
    // every pixel is a grey between; an interpolating painter picks black, white or grey by
    // where its samples fall.
    QImage stripes(64, 64, QImage::Format_RGB32);
    for (int x = 0; x < 64; ++x) {
        for (int y = 0; y < 64; ++y) stripes.setPixel(x, y, x / 3 % 2 == 0 ? qRgb(0, 0, 0) : qRgb(255, 255, 255));
    }
    QPicture page;
    {
        QPainter painter(&page);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.drawImage(QRectF(0, 0, 64, 64), stripes);
        painter.setPen(QPen(Qt::black, 3));
        painter.setBrush(QColor(200, 100, 50));
        painter.drawRoundedRect(QRectF(200, 100, 400, 300), 40, 40);
        QFont font(QString::fromLatin1(kReportFontFamily));
        font.setPixelSize(100);
        painter.setFont(font);
        painter.drawText(QPointF(200, 550), QStringLiteral("Seek advice"));
    }
    const auto play = [&](bool resampled) {
        QImage screen(160, 80, QImage::Format_RGB32);
        screen.fill(Qt::white);
        QPainter painter(&screen);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.scale(0.125, 0.125);
        if (resampled) {
            PlayPagePicture(painter, page);
        } else {
            painter.drawPicture(0, 0, page);
        }
        return screen;
    };
    const QImage played = play(true);
    for (int x = 0; x < 8; ++x) EXPECT_NEAR(qGray(played.pixel(x, 4)), 128, 40) << x;
    const QImage plain = play(false);
    EXPECT_EQ(played.copy(10, 0, 150, 80), plain.copy(10, 0, 150, 80));
    EXPECT_LT(qGray(played.pixel(40, 30)), 200);  // the box is there
}

}  // namespace
}  // namespace ovista
