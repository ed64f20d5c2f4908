// Stands in for the preview window until it lands; the window's own source replaces this
// file. Weak, so that the real window wins wherever both are linked.
#include "herd/errors.h"
#include "report/qt/preview_dialog.h"

namespace ovista {

__attribute__((weak)) bool RunPreviewDialog(const PreviewPages& /*pages*/) {
    throw OvistaError("The print preview is not available in this build");
}

}  // namespace ovista
