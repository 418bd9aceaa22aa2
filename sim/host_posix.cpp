#include <errno.h>
#include <time.h>

#include "sim/host.h"

namespace zepl_sim {

void SleepMilliseconds(int ms) {
    if (ms <= 0) return;
    timespec left{ms / 1000, (ms % 1000) * 1000000L};
    while (nanosleep(&left, &left) != 0 && errno == EINTR) {
    }
}

long long SteadyMicroseconds() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<long long>(now.tv_sec) * 1000000 + now.tv_nsec / 1000;
}

// No windows here: the native tests see the wizard through the test platform.
Observation ObserveCallingDialog(DialogState*) { return Observation::Unsupported; }

}  // namespace zepl_sim
