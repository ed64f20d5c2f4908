#pragma once
// The device canvas over a QPainter: a page of a PDF file, of a printer, of a preview
// picture or of an image.
#include <QFont>
#include <QImage>
#include <QPainter>
#include <QSize>

#include "report/device_canvas.h"
#include "report/qt/report_images.h"

namespace ovista {

// The report's one face: sans-serif with the metrics every layout was made for.
inline constexpr const char* kReportFontFamily = "Liberation Sans";

class QPainterCanvas : public DeviceCanvas {
public:
    // painter is active on the page; pagePixels is the page's size in its pixels (a picture
    // has none of its own). images must outlive the canvas.
    QPainterCanvas(QPainter& painter, QSize pagePixels, const ReportImages& images);

    int Width() const override { return page_.width(); }
    int Height() const override { return page_.height(); }

    void SetFont(double pointSize, bool bold) override;
    int TextWidth(std::string_view text) override;
    int TextHeight(std::string_view text) override;
    int TextAscent() override;

    void SetPen(Rgb colour, int width, PenStyle style) override;
    void SetBrush(std::optional<Rgb> fill) override;

    void DrawText(int x, int y, std::string_view text) override;
    void DrawLine(int x1, int y1, int x2, int y2) override;
    void DrawRect(int x1, int y1, int x2, int y2) override;
    void DrawRoundRect(int x1, int y1, int x2, int y2, int cornerWidth, int cornerHeight) override;
    void DrawEllipse(int x1, int y1, int x2, int y2) override;
    void DrawImage(ReportImage image, int x1, int y1, int x2, int y2) override;
    std::optional<ImageSize> GetImageSize(ReportImage image) const override;

    // Pixel size of a font of pointSize points on a page pagePixelHeight pixels high.
    static int FontPixelSize(double pointSize, int pagePixelHeight);

private:
    QPainter& painter_;
    QSize page_;
    const ReportImages& images_;
    bool multiply_;  // the device blends by multiplication; otherwise white becomes transparent

    const QImage& Source(ReportImage image) const;
};

}  // namespace ovista
