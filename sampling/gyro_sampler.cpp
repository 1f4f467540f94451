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
    if (IsHomeAlone(deviceState.buttonByte2) && window != nullptr) {
        SendMessageA(window, WM_DESTROY, 0, 0);
    }
}

// One sample: mode report, read request, the reply, then Home and the repaint.
void TakeSample() {
    const GyroRead read = ReadGyroOnce();
    if (read.replied) {
        deviceState.gyroValue = GyroFromRegister(read.high, read.low);
    }
    EndRunOnHome();
    RequestRepaint();
    if (!read.replied) {
        BackOffAfter(read.start);
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

GyroRead ReadGyroOnce() {
    GyroRead read;
    read.start = std::chrono::steady_clock::now();
    SetReportingMode(0x00, kModeButtonsAccel);
    const auto requested = std::chrono::steady_clock::now();
    read.replied = ReadGyroRegister(read.high, read.low);
    // The reply is still in the buffer: this thread is the one reading reports.
    read.error = read.replied ? deviceState.inputReport[3] & 0x0F : 0;
    read.replyUs = std::chrono::duration_cast<std::chrono::microseconds>(
                       std::chrono::steady_clock::now() - requested)
                       .count();
    return read;
}

void BackOffAfter(std::chrono::steady_clock::time_point start) {
    const auto elapsed = std::chrono::steady_clock::now() - start;
    const auto rest = std::chrono::milliseconds(kNoReplyBackOffMs) - elapsed;
    if (rest > std::chrono::milliseconds(0)) {
        Sleep(static_cast<DWORD>(std::chrono::ceil<std::chrono::milliseconds>(rest).count()));
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
