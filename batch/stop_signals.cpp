#include "batch/stop_signals.h"

#include <csignal>

#include "herd/stop_request.h"

namespace ovista {
namespace {

struct sigaction previousInt {};
struct sigaction previousTerm {};

// The request is kept below the application, where the reader of a herd file sees it.
void NoteStopSignal(int signal) { RequestStop(signal); }

}  // namespace

StopSignalHandlers::StopSignalHandlers() {
    ForgetStopRequest();
    struct sigaction action {};
    action.sa_handler = NoteStopSignal;
    sigemptyset(&action.sa_mask);
    // Reset to the default by the first signal, so that a second one ends the process;
    // reads and writes that it interrupts carry on.
    action.sa_flags = SA_RESETHAND | SA_RESTART;
    sigaction(SIGINT, &action, &previousInt);
    sigaction(SIGTERM, &action, &previousTerm);
    // A signal the caller chose to ignore (a run started in the background) stays ignored.
    if (previousInt.sa_handler == SIG_IGN) sigaction(SIGINT, &previousInt, nullptr);
    if (previousTerm.sa_handler == SIG_IGN) sigaction(SIGTERM, &previousTerm, nullptr);
}

StopSignalHandlers::~StopSignalHandlers() {
    sigaction(SIGINT, &previousInt, nullptr);
    sigaction(SIGTERM, &previousTerm, nullptr);
    ForgetStopRequest();
}

int StopSignal() { return StopRequest(); }

}  // namespace ovista
