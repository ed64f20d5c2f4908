#include <gtest/gtest.h>

#include <QDir>
#include <QImage>
#include <QImageReader>
#include <QTemporaryDir>

#include "herd/errors.h"
#include "qt_test_support.h"
#include "report/qt/page_output.h"

namespace ovista {
namespace {

TEST(JpegExport, NamesAndSizes) {
    testing::EnsureApplication();
    struct Case {
        QString chosen;
        int pageCount;
        QSize paper;
        QStringList files;
        QSize imageSize;
    };
    const Case cases[] = {
        {"herd.jpg", 2, {2400, 3400}, {"herd_01.jpg", "herd_02.jpg"}, {1200, 1700}},
        {"herd", 2, {2000, 2000}, {"herd_01.jpg", "herd_02.jpg"}, {2000, 2000}},
        {"herd.jpg", 1, {2001, 901}, {"herd.jpg"}, {1000, 450}},
        {"herd", 1, {300, 2001}, {"herd.jpg"}, {150, 1000}},
        // Only an exact ".jpg" at the very end is dropped.
        {"herd.JPG", 1, {200, 300}, {"herd.JPG.jpg"}, {200, 300}},
        {"herd.jpg.old", 1, {200, 300}, {"herd.jpg.old.jpg"}, {200, 300}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.chosen.toStdString() + " x" + std::to_string(c.pageCount));
        QTemporaryDir dir;
        ASSERT_TRUE(dir.isValid());
        const auto written = SaveJpegPages(testing::SamplePages(c.pageCount, c.paper), dir.filePath(c.chosen));
        ASSERT_EQ(written.size(), static_cast<std::size_t>(c.files.size()));
        EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files, QDir::Name), c.files);
        for (int i = 0; i < c.files.size(); ++i) {
            EXPECT_EQ(written[static_cast<std::size_t>(i)], dir.filePath(c.files[i]));
            QImageReader reader(dir.filePath(c.files[i]));
            EXPECT_EQ(reader.format(), "jpeg");
            const QImage image = reader.read();
            ASSERT_EQ(image.size(), c.imageSize);
            // The whole page is stretched into the image: black left half, white right edge.
            EXPECT_LT(qGray(image.pixel(image.width() / 4, image.height() / 2)), 40);
            EXPECT_GT(qGray(image.pixel(image.width() - 2, image.height() - 2)), 215);
        }
    }
}

TEST(JpegExport, UnwritableFileIsAnError) {
    testing::EnsureApplication();
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString name = dir.filePath("missing/herd.jpg");
    try {
        SaveJpegPages(testing::SamplePages(2, {200, 300}), name);
        FAIL() << "no error";
    } catch (const OvistaError& e) {
        EXPECT_NE(std::string(e.what()).find(dir.filePath("missing/herd_01.jpg").toStdString()), std::string::npos)
            << e.what();
    }
}

}  // namespace
}  // namespace ovista
