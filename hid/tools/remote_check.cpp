// tobrisk-remote-check: a manual check of the HID report library with a real Wii
// Remote. It opens the remote, lights all four LEDs, switches to buttons and
// accelerations, asks once for the gyro register, prints every report that comes
// back for a few seconds in hex, then leaves the remote in button-only reporting with
// its first LED lit and closes it. Exit code 0 when the remote opened, 1 otherwise,
// 2 on a wrong command line.
//
// With --record FILE it records the session into FILE as the library does for
// TINY_HID_RECORD (hid_recording.h), listens for 5 seconds and asks for the gyro
// register again after each reply, as the program does, so that the recording
// shows a remote being sampled.
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "hid_report_library.h"
#include "remote_protocol.h"

namespace {

constexpr auto kListenTime = std::chrono::seconds(2);
constexpr auto kRecordTime = std::chrono::seconds(5);

// Sends one output report and says what went out and how it went.
void Send(HidHandle handle, const std::vector<uint8_t>& bytes) {
    uint8_t buffer[HID_REPORT_BUFFER_SIZE] = {};
    std::memcpy(buffer, bytes.data(), bytes.size());
    uint32_t outWord = 0;
    const int32_t sent = WriteReport(handle, buffer, &outWord);
    std::printf("sent    ");
    for (uint8_t byte : bytes) {
        std::printf(" %02X", byte);
    }
    std::printf("  -> %d\n", sent);
}

// Prints one input report in hex after the milliseconds since listening began, and
// the register's value when it is a read reply.
void PrintReport(long long ms, const uint8_t* report, int32_t length) {
    std::printf("%5lld ms ", ms);
    for (int32_t i = 0; i < length; ++i) {
        std::printf(" %02X", report[i]);
    }
    if (report[0] == kReportReadReply && length > static_cast<int32_t>(kReplyDataByte + 1)) {
        std::printf("  (read reply: error %X, register %02X%02X)", report[kReplyErrorByte] & kReplyErrorBits,
                    report[kReplyDataByte], report[kReplyDataByte + 1]);
    }
    std::printf("\n");
}

// Whether report is the gyro register's reply.
bool IsGyroReply(const uint8_t* report, int32_t length) {
    return report[0] == kReportReadReply && length > static_cast<int32_t>(kReplyDataByte + 1) &&
           report[kReplyAddressByte] == kGyroAddressMiddle &&
           report[kReplyAddressByte + 1] == kGyroAddressLow;
}

// Reads and prints reports for listenTime or until a read fails; with askAgain,
// asks for the register again after each of its replies.
void PrintReportsForAWhile(HidHandle handle, std::chrono::seconds listenTime, bool askAgain) {
    const auto start = std::chrono::steady_clock::now();
    int reports = 0;
    while (std::chrono::steady_clock::now() - start < listenTime) {
        uint8_t report[HID_REPORT_BUFFER_SIZE] = {};
        uint32_t outWord = 0;
        const int32_t length = ReadReport(handle, report, &outWord);
        if (length < 0) {
            std::printf("remote-check: read failed; the remote has gone\n");
            break;
        }
        if (length > 0) {
            const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                std::chrono::steady_clock::now() - start);
            PrintReport(static_cast<long long>(ms.count()), report, length);
            ++reports;
            if (askAgain && IsGyroReply(report, length)) {
                Send(handle, {kGyroReadRequest.begin(), kGyroReadRequest.end()});
            }
        }
    }
    std::printf("%d reports\n", reports);
}

// Makes the library record every opening into path.
bool RecordInto(const char* path) {
#ifdef _WIN32
    return _putenv_s("TINY_HID_RECORD", path) == 0;
#else
    return setenv("TINY_HID_RECORD", path, 1) == 0;
#endif
}

} // namespace

int main(int argc, char** argv) {
    const bool recording = argc == 3 && std::string(argv[1]) == "--record";
    if ((argc != 1 && !recording) || (recording && !RecordInto(argv[2]))) {
        std::fprintf(stderr, "usage: tobrisk-remote-check [--record FILE]\n");
        return 2;
    }
    const HidHandle handle = OpenHidHandle(kRemoteVendorId, kRemoteProductId);
    if (handle == HID_NO_DEVICE) {
        std::fprintf(stderr, "remote-check: no Wii Remote could be opened (paired? udev rule?)\n");
        return 1;
    }
    std::printf("opened, handle %d\n", handle);
    Send(handle, {kReportLeds, kLedsAll});
    Send(handle, {kReportReportingMode, 0x00, kModeButtonsAccel});
    Send(handle, {kGyroReadRequest.begin(), kGyroReadRequest.end()});
    PrintReportsForAWhile(handle, recording ? kRecordTime : kListenTime, recording);
    Send(handle, {kReportReportingMode, 0x00, kModeButtons});
    Send(handle, {kReportLeds, kLedsFirst});
    CloseHidHandle(handle);
    std::printf("closed\n");
    if (recording) {
        std::printf("recorded in %s\n", argv[2]);
    }
    return 0;
}
