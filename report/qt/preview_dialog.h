#pragma once
// The print preview window of a report: the pages as pictures, with zoom, thumbnails, page
// tabs, printing, JPEG export and the request for a PDF.
#include <QPicture>
#include <QRect>
#include <QSize>
#include <vector>

namespace ovista {

struct PreviewPages {
    std::vector<QPicture> pages;  // one picture per page, drawn in page pixels
    QSize paperPixels;            // page size in pixels
    QRect printableArea;          // the printer's printable area in page pixels
    int dotsPerInch = 600;
};

// Shows the pages in the modal "Print Preview" window, opened maximised. Returns true when
// the user asked for a PDF ("Save to PDF"); closing the window any other way returns false.
bool RunPreviewDialog(const PreviewPages& pages);

}  // namespace ovista
