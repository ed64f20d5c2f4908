#include "report/qt/product_logo.h"

#include <QFont>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

#include "report/qt/qpainter_canvas.h"

namespace ovista {
namespace {

const QColor kDeepGreen(22, 96, 70);
const QColor kFreshGreen(96, 172, 84);

// A round field under a low sun: a green disc, a lighter hill across its lower half and a
// white sun above the hill's crest.
void DrawMark(QPainter& painter, const QRectF& box) {
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setPen(Qt::NoPen);
    painter.setBrush(kDeepGreen);
    painter.drawEllipse(box);

    QPainterPath disc;
    disc.addEllipse(box);
    QPainterPath hill;
    const double w = box.width();
    const double h = box.height();
    hill.moveTo(box.left(), box.top() + h * 0.70);
    hill.cubicTo(box.left() + w * 0.30, box.top() + h * 0.45, box.left() + w * 0.70,
                 box.top() + h * 0.50, box.right(), box.top() + h * 0.66);
    hill.lineTo(box.right(), box.bottom());
    hill.lineTo(box.left(), box.bottom());
    hill.closeSubpath();
    painter.setBrush(kFreshGreen);
    painter.drawPath(hill.intersected(disc));

    painter.setBrush(Qt::white);
    painter.drawEllipse(QRectF(box.left() + w * 0.56, box.top() + h * 0.22, w * 0.18, h * 0.18));
    painter.restore();
}

// The word "ovista" in the report's face, bold, deep green.
void DrawWord(QPainter& painter, const QRectF& box, Qt::Alignment alignment, int pixelSize) {
    QFont font(kReportFontFamily);
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(pixelSize);
    font.setBold(true);
    painter.setRenderHint(QPainter::TextAntialiasing, true);
    painter.setFont(font);
    painter.setPen(kDeepGreen);
    painter.drawText(box, alignment, QStringLiteral("ovista"));
}

}  // namespace

QImage ProductMark(int size) {
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    DrawMark(painter, QRectF(size * 0.02, size * 0.02, size * 0.96, size * 0.96));
    return image;
}

QImage ProductLogo() {
    // Stacked and a little taller than wide: the header's corner block is narrow, and the
    // logo fills its height there.
    constexpr int kWidth = 400;
    constexpr int kHeight = 480;
    QImage image(kWidth, kHeight, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    DrawMark(painter, QRectF(55, 10, 290, 290));
    DrawWord(painter, QRectF(0, 310, kWidth, kHeight - 310), Qt::AlignHCenter | Qt::AlignVCenter, 120);
    return image;
}

QImage ProductBanner() {
    constexpr int kWidth = 600;
    constexpr int kHeight = 200;
    QImage image(kWidth, kHeight, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    DrawMark(painter, QRectF(10, 20, 160, 160));
    DrawWord(painter, QRectF(186, 0, kWidth - 186, kHeight), Qt::AlignLeft | Qt::AlignVCenter, 128);
    return image;
}

}  // namespace ovista
