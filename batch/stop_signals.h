#pragma once
// Ctrl-C (SIGINT) and SIGTERM during an unattended run. Ending the process in the middle of
// a herd would leave a torn row for the programs that read the summary, so while the
// handlers are installed a signal only asks the run to stop: the run looks between herds,
// while it reads a herd file, while it waits for its worker processes and before it writes
// a herd's lines, and ends with status 128 + the signal. A second
// signal ends the process at once, as usual.
namespace ovista {

class StopSignalHandlers {
public:
    // Installs the handlers and forgets any earlier request.
    StopSignalHandlers();
    // Puts the earlier handlers back and forgets the request.
    ~StopSignalHandlers();
    StopSignalHandlers(const StopSignalHandlers&) = delete;
    StopSignalHandlers& operator=(const StopSignalHandlers&) = delete;
};

// The signal that asked the run to stop while the handlers are installed; 0 when none did.
int StopSignal();

// The exit status of a run stopped by signal: 130 for SIGINT, 143 for SIGTERM.
inline int StopStatus(int signal) { return 128 + signal; }

}  // namespace ovista
