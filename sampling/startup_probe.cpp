#include "startup_probe.h"

#include "device_state.h"
#include "report_protocol.h"
#include "wait_milliseconds.h"
#include "win32.h"

namespace {

constexpr int32_t kProbeWindowMs = 100;
constexpr DWORD kProbePollPauseMs = 100;
constexpr uintptr_t kThreadStartFailed = static_cast<uintptr_t>(-1);

} // namespace

bool ProbeRemote() {
    deviceState.accelX = 0;
    deviceState.probeRunning = 1;
    // The thread counts as inside its loop from its start, so that a stop that comes
    // before it is first scheduled still waits for it.
    deviceState.probeActive = 1;
    const uintptr_t thread = _beginthread(ProbeThread, 0, nullptr);
    if (thread == kThreadStartFailed) {
        deviceState.probeActive = 0;
    }
    deviceState.probeThread = thread;
    WaitMilliseconds(kProbeWindowMs);
    deviceState.probeRunning = 0;
    return deviceState.accelX != 0;
}

void ProbeThread(void*) {
    while (deviceState.probeRunning != 0) {
        deviceState.probeActive = 1;
        PollDataReport();
        Sleep(kProbePollPauseMs);
    }
    deviceState.probeActive = 0;
}

void StopProbeThread() {
    if (deviceState.probeActive != 1) {
        return;
    }
    deviceState.probeRunning = 0;
    WaitForProbeToLeave(kProbeLeaveLimitMs);
}

bool WaitForProbeToLeave(int timeoutMs) {
    for (int waited = 0; deviceState.probeActive != 0; ++waited) {
        if (waited >= timeoutMs) {
            return false;
        }
        Sleep(1);
    }
    return true;
}
