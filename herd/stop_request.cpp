#include "herd/stop_request.h"

#include <csignal>

namespace ovista {
namespace {

volatile std::sig_atomic_t stopSignal = 0;

}  // namespace

void RequestStop(int signal) noexcept { stopSignal = signal; }

int StopRequest() noexcept { return stopSignal; }

void ForgetStopRequest() noexcept { stopSignal = 0; }

void ThrowIfStopRequested() {
    if (stopSignal != 0) throw StopRequested();
}

}  // namespace ovista
