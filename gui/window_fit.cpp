#include "gui/window_fit.h"

#include <algorithm>

namespace ovista {

QRect FitWindowInRoom(const QRect& window, const QMargins& frame, const QRect& room, bool placed) {
    const QSize decoration(frame.left() + frame.right(), frame.top() + frame.bottom());
    const QSize inner = window.size().boundedTo(room.size() - decoration);
    QRect box(window.topLeft() - QPoint(frame.left(), frame.top()), inner + decoration);
    if (!placed) box.moveCenter(room.center());
    box.moveLeft(std::clamp(box.left(), room.left(), std::max(room.left(), room.right() - box.width() + 1)));
    box.moveTop(std::clamp(box.top(), room.top(), std::max(room.top(), room.bottom() - box.height() + 1)));
    return box.marginsRemoved(frame);
}

}  // namespace ovista
