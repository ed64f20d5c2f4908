#pragma once
// Our product logo, drawn in memory: the report header, the main window and the desktop
// icon all take it from here, so it is never a file that could go missing.
#include <QImage>

namespace ovista {

// The logo on white, 600 x 200 pixels: a round mark and the word "ovista". Needs the
// application object (it writes text).
QImage ProductLogo();
// The mark alone, square, on a transparent background: for window and desktop icons.
QImage ProductMark(int size);

}  // namespace ovista
