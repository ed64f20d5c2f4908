#include "report/qt/qpainter_canvas.h"

#include <QFontMetrics>
#include <QPaintEngine>
#include <QPen>
#include <algorithm>
#include <cmath>

namespace ovista {
namespace {

QColor ToQColor(Rgb colour) { return QColor(colour.r, colour.g, colour.b); }

QString ToQString(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// The rectangle with corners (x1, y1) and (x2, y2), whichever way round they are given.
QRectF Corners(int x1, int y1, int x2, int y2) {
    return QRectF(QPointF(std::min(x1, x2), std::min(y1, y2)),
                  QPointF(std::max(x1, x2), std::max(y1, y2)));
}

// A pixel count of a stretched picture or a shape that no page can hold is not drawn:
// the painter's arithmetic would overflow long before.
constexpr int kLimit = 1 << 24;
bool WithinReach(int a, int b, int c, int d) {
    const auto near = [](int v) { return v > -kLimit && v < kLimit; };  // no abs(INT_MIN)
    return near(a) && near(b) && near(c) && near(d);
}

}  // namespace

QPainterCanvas::QPainterCanvas(QPainter& painter, QSize pagePixels, const ReportImages& images)
    : painter_(painter), page_(pagePixels), images_(images) {
    const QPaintEngine* engine = painter_.paintEngine();
    multiply_ = engine != nullptr && engine->type() == QPaintEngine::Raster;
    painter_.setRenderHint(QPainter::Antialiasing, true);
    painter_.setRenderHint(QPainter::TextAntialiasing, true);
    painter_.setRenderHint(QPainter::SmoothPixmapTransform, true);
    painter_.setBackgroundMode(Qt::TransparentMode);
    SetFont(10, false);
    SetPen(kBlack, 0, PenStyle::Solid);
    SetBrush(std::nullopt);
}

int QPainterCanvas::FontPixelSize(double pointSize, int pagePixelHeight) {
    // A4 is 842 points high: a point size is the same share of the page on every output.
    const double pixels = pointSize * pagePixelHeight / 842.0;
    if (!(pixels >= 1)) return 1;
    return static_cast<int>(std::lround(std::min(pixels, 100000.0)));
}

void QPainterCanvas::SetFont(double pointSize, bool bold) {
    QFont font(kReportFontFamily);
    font.setStyleHint(QFont::SansSerif);
    font.setHintingPreference(QFont::PreferNoHinting);
    font.setPixelSize(FontPixelSize(pointSize, page_.height()));
    font.setBold(bold);
    painter_.setFont(font);
}

int QPainterCanvas::TextWidth(std::string_view text) {
    return painter_.fontMetrics().horizontalAdvance(ToQString(text));
}

int QPainterCanvas::TextHeight(std::string_view /*text*/) {
    const QFontMetrics metrics = painter_.fontMetrics();
    return metrics.ascent() + metrics.descent();
}

int QPainterCanvas::TextAscent() { return painter_.fontMetrics().ascent(); }

void QPainterCanvas::SetPen(Rgb colour, int width, PenStyle style) {
    QPen pen(ToQColor(colour));
    pen.setWidth(std::clamp(width, 0, kLimit));
    pen.setStyle(style == PenStyle::Dot ? Qt::DotLine : Qt::SolidLine);
    pen.setJoinStyle(Qt::MiterJoin);
    pen.setCapStyle(Qt::FlatCap);
    painter_.setPen(pen);
}

void QPainterCanvas::SetBrush(std::optional<Rgb> fill) {
    if (fill) {
        painter_.setBrush(ToQColor(*fill));
    } else {
        painter_.setBrush(Qt::NoBrush);
    }
}

void QPainterCanvas::DrawText(int x, int y, std::string_view text) {
    if (!WithinReach(x, y, 0, 0) || text.empty()) return;
    painter_.drawText(QPoint(x, y + painter_.fontMetrics().ascent()), ToQString(text));
}

void QPainterCanvas::DrawLine(int x1, int y1, int x2, int y2) {
    if (!WithinReach(x1, y1, x2, y2)) return;
    painter_.drawLine(QPoint(x1, y1), QPoint(x2, y2));
}

void QPainterCanvas::DrawRect(int x1, int y1, int x2, int y2) {
    if (!WithinReach(x1, y1, x2, y2)) return;
    painter_.drawRect(Corners(x1, y1, x2, y2));
}

void QPainterCanvas::DrawRoundRect(int x1, int y1, int x2, int y2, int cornerWidth,
                                   int cornerHeight) {
    if (!WithinReach(x1, y1, x2, y2) || !WithinReach(cornerWidth, cornerHeight, 0, 0)) return;
    painter_.drawRoundedRect(Corners(x1, y1, x2, y2), std::abs(cornerWidth) / 2.0,
                             std::abs(cornerHeight) / 2.0, Qt::AbsoluteSize);
}

void QPainterCanvas::DrawEllipse(int x1, int y1, int x2, int y2) {
    if (!WithinReach(x1, y1, x2, y2)) return;
    painter_.drawEllipse(Corners(x1, y1, x2, y2));
}

const QImage& QPainterCanvas::Source(ReportImage image) const {
    switch (image) {
        case ReportImage::Star: return images_.star;
        case ReportImage::Ball: return images_.ball;
        case ReportImage::ProductLogo: return images_.productLogo;
        case ReportImage::CentreLogo: break;
    }
    return images_.centreLogo;
}

void QPainterCanvas::DrawImage(ReportImage image, int x1, int y1, int x2, int y2) {
    if (!WithinReach(x1, y1, x2, y2) || x1 == x2 || y1 == y2) return;
    const QImage& source = Source(image);
    if (source.isNull()) return;
    const QRectF box = Corners(x1, y1, x2, y2);
    // Stars and chart points are made for their box and kept lossless: they are small and
    // sharp-edged, and a printed rating must look the same in every box. The logos keep their
    // own size (and, in a PDF, the writer's compression).
    const bool mark = image == ReportImage::Star || image == ReportImage::Ball;
    const QImage picture =
        PictureForBox(source, mark ? box.size().toSize() : source.size(), !multiply_);
    const QPainter::CompositionMode before = painter_.compositionMode();
    if (multiply_) painter_.setCompositionMode(QPainter::CompositionMode_Multiply);
    const bool lossless = painter_.testRenderHint(QPainter::LosslessImageRendering);
    painter_.setRenderHint(QPainter::LosslessImageRendering, lossless || mark);
    painter_.drawImage(box, picture);
    painter_.setRenderHint(QPainter::LosslessImageRendering, lossless);
    painter_.setCompositionMode(before);
}

std::optional<DeviceCanvas::ImageSize> QPainterCanvas::GetImageSize(ReportImage image) const {
    const QImage& source = Source(image);
    if (source.isNull()) return std::nullopt;
    return ImageSize{source.width(), source.height()};
}

}  // namespace ovista
