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

// The mark and the word on a white picture of the given size.
QImage LogoOnWhite(QSize size, const QRectF& mark, const QRectF& word, Qt::Alignment alignment,
                   int wordPixelSize) {
    QImage image(size, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    DrawMark(painter, mark);
    DrawWord(painter, word, alignment, wordPixelSize);
    return image;
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
    return LogoOnWhite(QSize(400, 480), QRectF(55, 10, 290, 290), QRectF(0, 310, 400, 170),
                       Qt::AlignHCenter | Qt::AlignVCenter, 120);
}

QImage ProductBanner() {
    return LogoOnWhite(QSize(600, 200), QRectF(10, 20, 160, 160), QRectF(186, 0, 414, 200),
                       Qt::AlignLeft | Qt::AlignVCenter, 128);
}

}  // namespace ovista
