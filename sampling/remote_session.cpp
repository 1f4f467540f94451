#include "remote_session.h"

#include "device_state.h"
#include "report_channel.h"
#include "report_protocol.h"
#include "startup_probe.h"
#include "win32.h"

namespace {

void Tell(void (*tellFailure)(const char* text), const char* text) {
    if (tellFailure != nullptr) {
        tellFailure(text);
    }
}

} // namespace

SessionStart OpenSession(void (*tellFailure)(const char* text), const std::function<bool()>& goAhead) {
    deviceState.hidHandle = OpenHidHandle(kRemoteVendorId, kRemoteProductId);
    if (deviceState.hidHandle == HID_NO_DEVICE) {
        Tell(tellFailure, kRemoteNotFoundText);
        return SessionStart::NotFound;
    }
    SetReportingMode(0x00, kModeButtonsAccel);
    if (!ProbeRemote()) {
        Tell(tellFailure, kRemoteCannotOpenText);
        StopProbeThread();
        CloseRemote();
        return SessionStart::CannotOpen;
    }
    if (goAhead && !goAhead()) {
        TakeOverReports();
        EndSession();
        return SessionStart::Declined;
    }
    SetLeds(kLedsAll);
    return SessionStart::Streaming;
}

bool TakeOverReports() {
    return WaitForProbeToLeave(kProbeLeaveLimitMs);
}

GyroRead ReadGyroOnce() {
    GyroRead read;
    read.start = std::chrono::steady_clock::now();
    SetReportingMode(0x00, kModeButtonsAccel);
    const auto requested = std::chrono::steady_clock::now();
    read.replied = ReadGyroRegister(read.high, read.low);
    // The reply is still in the buffer: this thread is the one reading reports.
    read.error = read.replied ? deviceState.inputReport[kReplyErrorByte] & kReplyErrorBits : 0;
    read.replyUs = std::chrono::duration_cast<std::chrono::microseconds>(
                       std::chrono::steady_clock::now() - requested)
                       .count();
    read.homeAlone = IsHomeAlone(deviceState.buttonByte2);
    return read;
}

void BackOffAfter(std::chrono::steady_clock::time_point start) {
    const auto elapsed = std::chrono::steady_clock::now() - start;
    const auto rest = std::chrono::milliseconds(kNoReplyBackOffMs) - elapsed;
    if (rest > std::chrono::milliseconds(0)) {
        Sleep(static_cast<DWORD>(std::chrono::ceil<std::chrono::milliseconds>(rest).count()));
    }
}

bool SamplingStopped() {
    return deviceState.samplingStopped.load() != 0;
}

void EndSession() {
    if (deviceState.samplingStopped.exchange(1) != 0) {
        return;
    }
    ReleaseRemote();
}
