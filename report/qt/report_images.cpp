#include "report/qt/report_images.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QImageReader>
#include <QPaintEngine>
#include <QPainter>
#include <QPainterPath>
#include <QPicture>
#include <QRadialGradient>
#include <algorithm>
#include <cmath>
#include <map>
#include <optional>
#include <numbers>
#include <tuple>

#include "herd/errors.h"
#include "herd/input_file.h"
#include "report/qt/product_logo.h"

namespace ovista {
namespace {

// The picture at path; a named pipe, a device or an oversized file is refused unread, and
// a missing file or a folder gives the message of the image reader as it always did.
QImage ReadImage(const QString& path) {
    QBuffer bytes;
    QImageReader reader;
    try {
        RegularFileInput file(path.toStdString(), kPictureInput);
        if (file.IsOpen()) {
            const std::string read = file.ReadAll();
            bytes.setData(read.data(), static_cast<qsizetype>(read.size()));
            reader.setDevice(&bytes);
        } else {
            reader.setFileName(path);
        }
    } catch (const InputFileError& e) {
        throw OvistaError(e.what());
    }
    QImage image = reader.read();
    if (image.isNull()) {
        throw OvistaError("Could not load " + QDir::toNativeSeparators(path).toStdString() +
                          ": " + reader.errorString().toStdString());
    }
    return image;
}

QImage WhiteSquare(int size) {
    QImage image(size, size, QImage::Format_RGB32);
    image.fill(Qt::white);
    return image;
}

}  // namespace

QString ProgramFolder() {
    // The real folder of the running executable, also when started through a link.
    const QFileInfo self(QStringLiteral("/proc/self/exe"));
    if (self.exists()) return QFileInfo(self.canonicalFilePath()).absolutePath();
    return QCoreApplication::applicationDirPath();
}

ReportImages LoadReportImages(const QString& folder) {
    const QDir dir(folder);
    ReportImages images;
    images.star = ReadImage(dir.filePath(QStringLiteral("star.bmp")));
    images.ball = ReadImage(dir.filePath(QStringLiteral("ball.bmp")));
    images.productLogo = ProductLogo();
    // The centre's own logo is optional: most reports go out without one.
    const QString centre = dir.filePath(QStringLiteral("CentreLogo.jpg"));
    if (QFileInfo::exists(centre)) {
        try {
            images.centreLogo = ReadImage(centre);
        } catch (const OvistaError&) {
            // One that cannot be read is left out like a missing one.
        }
    }
    return images;
}

const ReportImages& CurrentReportImages(const QString& folder) {
    struct Loaded {
        QString folder;
        QList<qint64> stamps;  // per picture file: size and time of change, -1 when absent
        ReportImages images;
    };
    thread_local std::optional<Loaded> loaded;
    QList<qint64> stamps;
    const QDir dir(folder);
    for (const char* name : {"star.bmp", "ball.bmp", "CentreLogo.jpg"}) {
        const QFileInfo file(dir.filePath(QString::fromLatin1(name)));
        stamps << (file.exists() ? file.size() : -1)
               << (file.exists() ? file.lastModified().toMSecsSinceEpoch() : -1);
    }
    if (!loaded || loaded->folder != folder || loaded->stamps != stamps) {
        loaded.reset();  // a failed load leaves nothing to reuse
        loaded = Loaded{folder, stamps, LoadReportImages(folder)};
    }
    return loaded->images;
}

QImage WhiteToTransparent(const QImage& image) {
    QImage out = image.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < out.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(out.scanLine(y));
        for (int x = 0; x < out.width(); ++x) {
            const QRgb p = line[x];
            const int r = qRed(p), g = qGreen(p), b = qBlue(p);
            const int alpha = (255 - std::min({r, g, b})) * qAlpha(p) / 255;
            if (alpha == 0) {
                line[x] = qRgba(0, 0, 0, 0);
                continue;
            }
            // c = s * a + 255 * (1 - a)  =>  s = (c - 255 + a) / a, with a in 0..255.
            const auto unmix = [alpha](int c) {
                return std::clamp((c - 255 + alpha) * 255 / alpha, 0, 255);
            };
            line[x] = qRgba(unmix(r), unmix(g), unmix(b), alpha);
        }
    }
    return out;
}

QImage PictureForBox(const QImage& source, QSize box, bool whiteToTransparent) {
    if (source.isNull()) return source;
    const QSize size(box.width() > 0 ? std::min(box.width(), source.width()) : source.width(),
                     box.height() > 0 ? std::min(box.height(), source.height()) : source.height());
    if (size == source.size() && !whiteToTransparent) return source;
    // Kept for the next box, page and report of the run; a run uses a handful of sizes.
    using Key = std::tuple<qint64, int, int, bool>;
    thread_local std::map<Key, QImage> made;
    const Key key{source.cacheKey(), size.width(), size.height(), whiteToTransparent};
    if (const auto found = made.find(key); found != made.end()) return found->second;
    if (made.size() >= 64) made.clear();
    // White is made transparent at full size, where each pixel is one colour over white;
    // the resampling then averages colour and coverage together.
    QImage picture = whiteToTransparent ? WhiteToTransparent(source) : source;
    if (size != source.size()) {
        picture = picture.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    }
    return made.emplace(key, picture).first->second;
}

namespace {

// A paint device whose painter hands every call on to another painter, except that pictures
// are made for the size they take on that painter's device first. A page picture played
// onto it lands on the other painter as if played there.
class PictureSizingEngine final : public QPaintEngine {
public:
    explicit PictureSizingEngine(QPainter& target) : QPaintEngine(QPaintEngine::AllFeatures), target_(target) {}

    bool begin(QPaintDevice*) override { return true; }
    bool end() override { return true; }
    Type type() const override { return QPaintEngine::User; }

    void updateState(const QPaintEngineState& state) override {
        const DirtyFlags flags = state.state();
        if (flags & DirtyTransform) target_.setWorldTransform(state.transform());
        if (flags & DirtyPen) target_.setPen(state.pen());
        if (flags & DirtyBrush) target_.setBrush(state.brush());
        if (flags & DirtyBrushOrigin) target_.setBrushOrigin(state.brushOrigin());
        if (flags & DirtyBackground) target_.setBackground(state.backgroundBrush());
        if (flags & DirtyBackgroundMode) target_.setBackgroundMode(state.backgroundMode());
        if (flags & DirtyFont) target_.setFont(state.font());
        // A clip the picture sets is handed on; the other painter's own clip stays otherwise
        // (the first state says "no clip", which is no reason to drop it).
        if ((flags & (DirtyClipRegion | DirtyClipPath | DirtyClipEnabled)) && state.isClipEnabled() &&
            state.clipOperation() != Qt::NoClip) {
            if (flags & DirtyClipPath) {
                target_.setClipPath(state.clipPath(), state.clipOperation());
            } else {
                target_.setClipRegion(state.clipRegion(), state.clipOperation());
            }
        }
        if (flags & DirtyHints) {
            target_.setRenderHints(~state.renderHints(), false);
            target_.setRenderHints(state.renderHints(), true);
        }
        if (flags & DirtyCompositionMode) target_.setCompositionMode(state.compositionMode());
        if (flags & DirtyOpacity) target_.setOpacity(state.opacity());
    }

    void drawImage(const QRectF& r, const QImage& image, const QRectF& sr, Qt::ImageConversionFlags flags) override {
        const QRectF onDevice = target_.combinedTransform().mapRect(r);
        const QSize box(std::max(1, qRound(onDevice.width())), std::max(1, qRound(onDevice.height())));
        const bool whole = sr == QRectF(image.rect());
        if (!whole || (box.width() >= image.width() && box.height() >= image.height())) {
            DrawLossless([&] { target_.drawImage(r, image, sr, flags); });
            return;
        }
        const QImage picture = PictureForBox(image, box, false);
        DrawLossless([&] { target_.drawImage(r, picture, QRectF(picture.rect()), flags); });
    }
    void drawPixmap(const QRectF& r, const QPixmap& pixmap, const QRectF& sr) override {
        DrawLossless([&] { target_.drawPixmap(r, pixmap, sr); });
    }
    void drawTiledPixmap(const QRectF& r, const QPixmap& pixmap, const QPointF& s) override {
        target_.drawTiledPixmap(r, pixmap, s);
    }
    void drawPath(const QPainterPath& path) override { target_.drawPath(path); }
    void drawRects(const QRect* rects, int count) override { target_.drawRects(rects, count); }
    void drawRects(const QRectF* rects, int count) override { target_.drawRects(rects, count); }
    void drawLines(const QLine* lines, int count) override { target_.drawLines(lines, count); }
    void drawLines(const QLineF* lines, int count) override { target_.drawLines(lines, count); }
    void drawEllipse(const QRect& r) override { target_.drawEllipse(r); }
    void drawEllipse(const QRectF& r) override { target_.drawEllipse(r); }
    void drawPoints(const QPoint* points, int count) override { target_.drawPoints(points, count); }
    void drawPoints(const QPointF* points, int count) override { target_.drawPoints(points, count); }
    void drawPolygon(const QPoint* points, int count, PolygonDrawMode mode) override {
        Polygon(points, count, mode);
    }
    void drawPolygon(const QPointF* points, int count, PolygonDrawMode mode) override {
        Polygon(points, count, mode);
    }
    void drawTextItem(const QPointF& p, const QTextItem& item) override {
        target_.setFont(item.font());
        target_.drawText(p, item.text());
    }

private:
    template <typename Draw>
    void DrawLossless(Draw draw) {
        const bool smooth = target_.testRenderHint(QPainter::SmoothPixmapTransform);
        const bool lossless = target_.testRenderHint(QPainter::LosslessImageRendering);
        target_.setRenderHint(QPainter::SmoothPixmapTransform, true);
        target_.setRenderHint(QPainter::LosslessImageRendering, true);
        draw();
        target_.setRenderHint(QPainter::SmoothPixmapTransform, smooth);
        target_.setRenderHint(QPainter::LosslessImageRendering, lossless);
    }
    template <typename Point>
    void Polygon(const Point* points, int count, PolygonDrawMode mode) {
        switch (mode) {
            case OddEvenMode: target_.drawPolygon(points, count, Qt::OddEvenFill); break;
            case WindingMode: target_.drawPolygon(points, count, Qt::WindingFill); break;
            case ConvexMode: target_.drawConvexPolygon(points, count); break;
            case PolylineMode: target_.drawPolyline(points, count); break;
        }
    }

    QPainter& target_;
};

class PictureSizingDevice final : public QPaintDevice {
public:
    explicit PictureSizingDevice(QPainter& target) : engine_(target), target_(*target.device()) {}
    QPaintEngine* paintEngine() const override { return &engine_; }

protected:
    // The other painter's device, so that fonts and the picture's scaling come out the same.
    int metric(PaintDeviceMetric metric) const override {
        switch (metric) {
            case PdmWidth: return target_.width();
            case PdmHeight: return target_.height();
            case PdmWidthMM: return target_.widthMM();
            case PdmHeightMM: return target_.heightMM();
            case PdmNumColors: return target_.colorCount();
            case PdmDepth: return target_.depth();
            case PdmDpiX: return target_.logicalDpiX();
            case PdmDpiY: return target_.logicalDpiY();
            case PdmPhysicalDpiX: return target_.physicalDpiX();
            case PdmPhysicalDpiY: return target_.physicalDpiY();
            case PdmDevicePixelRatio: return qRound(target_.devicePixelRatio());
            case PdmDevicePixelRatioScaled: return qRound(target_.devicePixelRatio() * devicePixelRatioFScale());
            default: return 0;
        }
    }

private:
    mutable PictureSizingEngine engine_;
    const QPaintDevice& target_;
};

}  // namespace

void PlayPagePicture(QPainter& painter, const QPicture& page) {
    if (painter.device() == nullptr) return;
    painter.save();
    {
        PictureSizingDevice device(painter);
        QPainter player(&device);
        player.setRenderHints(painter.renderHints());
        player.setWorldTransform(painter.worldTransform());
        player.setPen(painter.pen());
        player.setBrush(painter.brush());
        player.setFont(painter.font());
        player.drawPicture(0, 0, page);
    }
    painter.restore();
}

QImage MakeStarImage(int size) {
    QImage image = WhiteSquare(size);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing, true);
    const double centreX = size / 2.0;
    const double outer = size * 0.48;
    const double inner = outer * 0.40;
    // The star's points and notches lie on two circles; its lowest points sit a little
    // above the circle's bottom, so the star is lowered to fill the square evenly.
    const double centreY = size / 2.0 + size * 0.05;
    QPainterPath star;
    for (int i = 0; i < 10; ++i) {
        const double radius = (i % 2 == 0) ? outer : inner;
        const double angle = -std::numbers::pi / 2 + i * std::numbers::pi / 5;
        const QPointF point(centreX + radius * std::cos(angle), centreY + radius * std::sin(angle));
        if (i == 0) {
            star.moveTo(point);
        } else {
            star.lineTo(point);
        }
    }
    star.closeSubpath();
    painter.setPen(QPen(QColor(122, 84, 10), std::max(1.0, size / 40.0), Qt::SolidLine,
                        Qt::RoundCap, Qt::RoundJoin));
    painter.setBrush(QColor(236, 176, 32));
    painter.drawPath(star);
    return image;
}

QImage MakeBallImage(int size) {
    QImage image = WhiteSquare(size);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing, true);
    const QRectF disc(size * 0.08, size * 0.08, size * 0.84, size * 0.84);
    QRadialGradient shade(disc.center() - QPointF(size * 0.14, size * 0.14), size * 0.5);
    shade.setColorAt(0, QColor(120, 170, 235));
    shade.setColorAt(1, QColor(20, 60, 140));
    painter.setPen(QPen(QColor(12, 36, 90), std::max(1.0, size / 32.0)));
    painter.setBrush(shade);
    painter.drawEllipse(disc);
    return image;
}

}  // namespace ovista
