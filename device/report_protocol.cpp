#include "report_protocol.h"

#include <chrono>

#include "device_state.h"
#include "hid_report_library.h"
#include "report_channel.h"

namespace {

// Reads the next input report into inputReport. Returns its length, 0 when none
// came within the library's bounded wait, -1 on failure; only a positive result
// means inputReport holds a new report.
int32_t ReadNextReport() {
    return ReadReport(deviceState.hidHandle.load(), deviceState.inputReport,
                      &deviceState.readOutWord);
}

// Both button bytes of a data report, so that they always come from one report.
void TakeButtons(const uint8_t* report) {
    deviceState.buttonByte1 = report[1];
    deviceState.buttonByte2 = report[2];
}

void TakeAccelerations(const uint8_t* report) {
    deviceState.accelX = report[kAccelerationByte];
    deviceState.accelY = report[kAccelerationByte + 1];
    deviceState.accelZ = report[kAccelerationByte + 2];
}

// Whether report is the reply to our read of the gyro register: a 0x21 whose
// address bytes are the register's low bytes.
bool IsGyroReply(const uint8_t* report) {
    return report[0] == kReportReadReply && report[kReplyAddressByte] == kGyroAddressMiddle &&
           report[kReplyAddressByte + 1] == kGyroAddressLow;
}

// Whether report is the remote refusing our read request: a 0x22 acknowledgement
// of report 0x17 with a nonzero error code. No 0x21 follows it.
bool IsRefusedReadRequest(const uint8_t* report) {
    return report[0] == kReportAcknowledge &&
           report[kAcknowledgedReportByte] == kReportReadRequest &&
           report[kAcknowledgeErrorByte] != 0;
}

// Whether the session's stop has begun or the remote is gone: a reply wait ends.
bool ShuttingDown() {
    return deviceState.samplingStopped.load() != 0 || IsRemoteClosed();
}

} // namespace

void SetLeds(uint8_t bits) {
    SendOutputReport({kReportLeds, bits});
}

void SetReportingMode(uint8_t flags, uint8_t mode) {
    SendOutputReport({kReportReportingMode, flags, mode});
}

void SendReadRequest(uint8_t addressHigh, uint8_t sizeLow, uint8_t addressLow) {
    SendOutputReport(
        {kReportReadRequest, kRegisterSpace, addressHigh, 0x00, addressLow, 0x00, sizeLow});
}

void ReleaseRemote() {
    auto hold = HoldReportChannel();
    SetReportingMode(0x00, kModeButtons);
    SetLeds(kLedsFirst);
    CloseRemote();
}

void PollDataReport() {
    if (ReadNextReport() <= 0) {
        return;
    }
    const uint8_t* report = deviceState.inputReport;
    if (!IsDataReport(report[0])) {
        return;
    }
    TakeButtons(report);
    if (HasAccelerationBytes(report[0])) {
        TakeAccelerations(report);
    }
}

bool ReadGyroRegister(uint8_t& high, uint8_t& low) {
    using Clock = std::chrono::steady_clock;
    SendReadRequest(kGyroAddressHigh, kGyroReadSize, kGyroAddressLow);
    const auto deadline = Clock::now() + std::chrono::milliseconds(kReplyWaitLimitMs);
    const uint8_t* report = deviceState.inputReport;
    while (!ShuttingDown() && Clock::now() < deadline) {
        const int32_t length = ReadNextReport();
        if (length < 0) {
            return false;
        }
        if (length == 0) {
            continue;
        }
        if (report[0] == kModeButtonsAccel) {
            TakeButtons(report);
            TakeAccelerations(report);
        }
        if (IsRefusedReadRequest(report)) {
            return false;
        }
        if (IsGyroReply(report)) {
            high = report[kReplyDataByte];
            low = report[kReplyDataByte + 1];
            return true;
        }
    }
    return false;
}
