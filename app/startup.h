#pragma once
// Start-up choices that do not depend on the application object: whether a person can see
// windows, and running the chosen mode.
#include <functional>
#include <string_view>

#include "app/command_line.h"
#include "batch/runs.h"

namespace ovista {

// True when the environment names a display to open windows on: always on Windows and macOS,
// elsewhere when DISPLAY or WAYLAND_DISPLAY is set and not empty.
bool DisplayNamedInEnvironment();

// Before the application object exists: selects Qt's offscreen platform when no window may
// or can open (NODIALOGS, or no display), unless QT_QPA_PLATFORM already chooses one.
void ChooseOffscreenPlatformWhenHeadless(bool noDialogs);

// Messages go to standard error instead of boxes when NODIALOGS was given, when the platform
// draws nowhere ("offscreen", "minimal") or when no display is named.
bool UseConsoleServices(bool noDialogs, std::string_view platformName, bool displayNamed);

// Today's date from the clock, or from OVISTA_TODAY ("dd/mm/yyyy") when that is set, so that
// a run can be repeated to the byte on another day. False (after a message on standard
// error) when OVISTA_TODAY is not a valid date.
bool SetTodayForRun();

// Runs the mode the keys choose and returns the exit status: 0 when it went to its end, 1
// when it stopped on a failure it reported, 130 or 143 when Ctrl-C or SIGTERM stopped a
// herd run between herds. The interactive mode needs windows: with console
// services it says so and fails instead of waiting for a window nobody can close; else
// openMainWindow shows the main window and returns when it is closed.
// Messages go to services, reports to reports.
int RunChosenMode(const CommandLineValues& keys, bool consoleServices, UserServices& services,
                  ReportSink& reports, const std::function<int()>& openMainWindow = {});

// Runs run with services installed for its messages and returns its status; a failure that
// stops it (out of memory, any other exception) is said through them and gives 1.
int RunWithMessages(UserServices& services, const std::function<int()>& run);

// The job of the run the keys choose: its folder, output and options.
BatchJob JobOfKeys(const CommandLineValues& keys, bool consoleServices, UserServices& services,
                   ReportSink& reports);

}  // namespace ovista
