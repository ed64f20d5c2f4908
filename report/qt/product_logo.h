#pragma once
// Our product logo, drawn in memory: the report header, the main window and the desktop
// icon all take it from here, so it is never a file that could go missing.
#include <QImage>

namespace ovista {

// The logo on white, 400 x 480 pixels: the round mark over the word "ovista", shaped for
// the report header's corner block. Needs the application object (it writes text).
QImage ProductLogo();
// The same side by side, 600 x 200 pixels: for the main window.
QImage ProductBanner();
// The mark alone, square, on a transparent background: for window and desktop icons.
QImage ProductMark(int size);

}  // namespace ovista
