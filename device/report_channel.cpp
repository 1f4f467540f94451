#include "report_channel.h"

#include <cstring>

#include "device_state.h"
#include "hid_report_library.h"

namespace {

std::recursive_mutex reportSendLock;

} // namespace

std::unique_lock<std::recursive_mutex> HoldReportChannel() {
    return std::unique_lock<std::recursive_mutex>(reportSendLock);
}

void SendOutputReport(std::initializer_list<uint8_t> bytes) {
    auto hold = HoldReportChannel();
    if (IsRemoteClosed()) {
        return;
    }
    std::memcpy(deviceState.outputReport, bytes.begin(), bytes.size());
    WriteReport(deviceState.hidHandle.load(), deviceState.outputReport, &deviceState.writeOutWord);
}

void CloseRemote() {
    auto hold = HoldReportChannel();
    if (deviceState.remoteClosed.exchange(1) == 0) {
        CloseHidHandle(deviceState.hidHandle.load());
    }
}

bool IsRemoteClosed() {
    return deviceState.remoteClosed.load() != 0;
}
