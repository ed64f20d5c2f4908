#pragma once
// The preview's pages sent on: to a printer, or saved as JPEG images.
#include <QSize>
#include <QSizeF>
#include <QString>
#include <vector>

#include "report/qt/preview_dialog.h"

class QPainter;
class QPicture;
class QPrinter;

namespace ovista {

// Job title of every print job of a report.
inline constexpr const char* kPrintJobTitle = "Ovista Report";

// Draws a page picture, whose coordinates are page pixels of a page `paper` in size, so that
// the page covers `target` (device pixels) from the painter's origin.
void DrawPage(QPainter& painter, const QPicture& page, QSize paper, QSizeF target);

// Prints every page on the printer, each stretched over the printer's page (its printable
// area, where a report printed directly is drawn too).
// Throws OvistaError when the job cannot be started.
void PrintPreviewPages(const PreviewPages& pages, QPrinter& printer);

// The name the JPEG files are built on: the chosen name without a ".jpg" at its very end
// (case counts: "herd.JPG" keeps its extension and gains another).
QString JpegBaseName(const QString& chosenName);

// Size of a page's JPEG image: the page size, halved (whole pixels) when the page is wider or
// taller than 2000 pixels.
QSize JpegImageSize(QSize pagePixels);

// Writes every page as a JPEG at the encoder's default quality: base + ".jpg" for a single
// page, base + "_01.jpg", "_02.jpg", ... otherwise. Returns the files written. Throws
// OvistaError naming the file and the reason when one cannot be written; no file is left
// half written under its final name.
std::vector<QString> SaveJpegPages(const PreviewPages& pages, const QString& chosenName);

}  // namespace ovista
