#include "gyro_sampler.h"

#include <chrono>

#include "device_state.h"
#include "report_protocol.h"
#include "startup_probe.h"
#include "wait_milliseconds.h"
#include "win32.h"

namespace {

constexpr int32_t kStartDelayMs = 500;
// Raises runFlag for the sampling loop unless the shutdown sequence has begun; a
// shutdown during the start delay is never undone. StopSampling sets shutdownBegun
// before it clears runFlag, so one of the two sides always sees the other.
bool RaiseRunFlagUnlessShuttingDown() {
    deviceState.runFlag = 1;
    if (deviceState.shutdownBegun != 0) {
        deviceState.runFlag = 0;
        return false;
    }
    return true;
}

// Sends the destroy request when Home alone is down; returns after the UI thread
// has run the shutdown sequence.
void EndRunOnHome() {
    const HWND window = deviceState.mainWindow;
    if (deviceState.buttonByte2 == kHomeButton && window != nullptr) {
        SendMessageA(window, WM_DESTROY, 0, 0);
    }
}

// Keeps a sample that got no reply from taking less than one report period.
void BackOffAfter(std::chrono::steady_clock::time_point sampleStart) {
    const auto elapsed = std::chrono::steady_clock::now() - sampleStart;
    const auto rest = std::chrono::milliseconds(kNoReplyBackOffMs) - elapsed;
    if (rest > std::chrono::milliseconds(0)) {
        Sleep(static_cast<DWORD>(std::chrono::ceil<std::chrono::milliseconds>(rest).count()));
    }
}

// One sample: mode report, read request, the reply, then Home and the repaint.
void TakeSample() {
    const auto sampleStart = std::chrono::steady_clock::now();
    SetReportingMode(0x00, kModeButtonsAccel);
    uint8_t high = 0;
    uint8_t low = 0;
    const bool replied = ReadGyroRegister(high, low);
    if (replied) {
        deviceState.gyroValue = GyroFromRegister(high, low);
    }
    EndRunOnHome();
    RequestRepaint();
    if (!replied) {
        BackOffAfter(sampleStart);
    }
}

} // namespace

void SamplerThread(void*) {
    WaitMilliseconds(kStartDelayMs);
    // The probe thread may still be finishing its last read; it must be out first.
    WaitForProbeToLeave(kProbeLeaveLimitMs);
    if (RaiseRunFlagUnlessShuttingDown()) {
        while (deviceState.runFlag != 0) {
            TakeSample();
        }
    }
}

int32_t GyroFromRegister(uint8_t high, uint8_t low) {
    const int32_t raw = high * 256 + low;
    return raw > 0x8000 ? raw - 0xFFFF : raw;
}

void RequestRepaint() {
    const HWND window = deviceState.mainWindow;
    if (window != nullptr) {
        InvalidateRect(window, nullptr, TRUE);
    }
}

bool StopSampling() {
    if (deviceState.shutdownBegun.exchange(1) != 0) {
        return false;
    }
    deviceState.runFlag = 0;
    return true;
}
