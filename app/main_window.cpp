#include "app/main_window.h"

namespace ovista {

TfrmMain::TfrmMain(const CommandLineValues& /*keys*/, QWidget* parent) : QMainWindow(parent) {
    setObjectName("frmMain");
    setWindowTitle("Tamsel Ovista Report");
    resize(640, 420);
}

}  // namespace ovista
