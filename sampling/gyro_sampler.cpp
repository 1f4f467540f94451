#include "gyro_sampler.h"

#include "device_state.h"
#include "remote_session.h"
#include "wait_milliseconds.h"
#include "win32.h"

namespace {

constexpr int32_t kStartDelayMs = 500;

// Sends the destroy request when the sample saw Home alone; returns after the UI
// thread has run the shutdown sequence.
void EndRunOnHome(const GyroRead& read) {
    const HWND window = deviceState.mainWindow;
    if (read.homeAlone && window != nullptr) {
        SendMessageA(window, WM_DESTROY, 0, 0);
    }
}

// One sample: mode report, read request, the reply, then Home and the repaint.
void TakeSample() {
    const GyroRead read = ReadGyroOnce();
    if (read.replied) {
        deviceState.gyroValue = GyroFromRegister(read.high, read.low);
    }
    EndRunOnHome(read);
    RequestRepaint();
    if (!read.replied) {
        BackOffAfter(read.start);
    }
}

} // namespace

// A session ended during the start delay is never undone: the loop asks first.
void SamplerThread(void*) {
    WaitMilliseconds(kStartDelayMs);
    // The probe thread may still be finishing its last read; it must be out first.
    TakeOverReports();
    while (!SamplingStopped()) {
        TakeSample();
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
