#pragma once
// Where a top-level window goes so that all of it, its title bar included, is on the screen.
#include <QMargins>
#include <QRect>

namespace ovista {

// The window's inner geometry (without its frame) for a window of inner geometry window and
// frame margins frame in the available area room: no larger than the room leaves once the
// frame is added, centred when not placed, and moved the least that brings the whole frame
// into the room otherwise.
QRect FitWindowInRoom(const QRect& window, const QMargins& frame, const QRect& room, bool placed);

}  // namespace ovista
