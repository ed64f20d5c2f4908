#pragma once
// The main window, for a person choosing the files of a run by hand.
#include <QMainWindow>

#include "app/command_line.h"

namespace ovista {

class TfrmMain : public QMainWindow {
public:
    // The command line's transfer folder, batch file and preview flag fill its fields.
    explicit TfrmMain(const CommandLineValues& keys, QWidget* parent = nullptr);
};

}  // namespace ovista
