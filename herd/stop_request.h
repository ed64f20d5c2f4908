#pragma once
// A request to stop the run, made by a signal handler (Ctrl-C, SIGTERM) and looked at by the
// long loops below the application: reading a herd file of a quarter of a gigabyte takes
// seconds, and a person who pressed Ctrl-C should not wait for it.
#include "herd/errors.h"

namespace ovista {

// Notes that signal asked the run to stop. Safe to call from a signal handler.
void RequestStop(int signal) noexcept;

// The signal that asked the run to stop; 0 when none did.
int StopRequest() noexcept;

// Forgets the request (a new run begins).
void ForgetStopRequest() noexcept;

// Thrown by a reader that gives up because the run was asked to stop: what it read is not
// a whole file, and the run ends as stopped, not as failed.
class StopRequested : public OvistaError {
public:
    StopRequested() : OvistaError("Stopped by a signal") {}
};

// StopRequested when the run was asked to stop.
void ThrowIfStopRequested();

}  // namespace ovista
