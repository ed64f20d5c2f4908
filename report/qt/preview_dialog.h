#pragma once
// What the print preview window of a report (gui/preview_window.h) shows and offers: the
// pages as pictures, with zoom, thumbnails, page tabs, printing, JPEG export and saving as a
// PDF file.
#include <QPicture>
#include <QRect>
#include <QSize>
#include <QString>
#include <functional>
#include <vector>

namespace ovista {

struct PreviewPages {
    std::vector<QPicture> pages;  // one picture per page, drawn in page pixels
    QSize paperPixels;            // page size in pixels
    QRect printableArea;          // the printer's printable area in page pixels
    int dotsPerInch = 600;
};

// What the preview of one report offers beyond its pages.
struct PreviewActions {
    // Writes the report as a PDF file at the path; throws OvistaError naming the file and the
    // reason when it cannot. Empty: no "Save to PDF".
    std::function<void(const QString& path)> savePdf;
    QString reportName = QStringLiteral("report");  // proposed file names: report.pdf, report.jpg
    QString caption;         // added to the window title: the herd and "n of N"; empty: none
    bool offerSkip = false;  // "Skip the remaining previews" (a batch with more to come)
};

// How the person left the preview.
enum class PreviewEnd { Closed, SkipRemaining };

}  // namespace ovista
