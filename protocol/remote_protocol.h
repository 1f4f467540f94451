// The Wii Remote's protocol as every part of Tobrisk speaks it, written once: the
// remote's IDs, its reports and their lengths, the gyro register's read request and
// reply, the reporting modes, the LED bits and the button bits. The program, the HID
// report library, the simulated remote (its model, its memory, the kernel driver
// beside it and its uhid descriptor) and the tools all read their figures here.
//
// The report table is the remote's HID report descriptor as a Bluetooth host gets it:
// one vendor-defined byte array per report ID, Report Count bytes long after the ID
// (WiiBrew's "Wiimote" page lists the descriptor and its report table). The uhid
// remote builds its descriptor from this table, so what the kernel sees and what the
// library sends agree by construction.
#ifndef TOBRISK_PROTOCOL_REMOTE_PROTOCOL_H
#define TOBRISK_PROTOCOL_REMOTE_PROTOCOL_H

#include <array>
#include <cstddef>
#include <cstdint>

// The original remote (RVL-CNT-01) and the later one with the motion sensor built in
// (RVL-CNT-01-TR), which takes and sends the same reports.
constexpr uint16_t kRemoteVendorId = 0x057E;
constexpr uint16_t kRemoteProductId = 0x0306;
constexpr uint16_t kRemotePlusProductId = 0x0330;

// Their names, by which the kernel's driver tells the models apart.
constexpr const char* kRemoteName = "Nintendo RVL-CNT-01";
constexpr const char* kRemotePlusName = "Nintendo RVL-CNT-01-TR";

// Output reports, those the remote takes.
constexpr uint8_t kReportRumble = 0x10;
constexpr uint8_t kReportLeds = 0x11;
constexpr uint8_t kReportReportingMode = 0x12;
constexpr uint8_t kReportIrEnable = 0x13;
constexpr uint8_t kReportSpeakerEnable = 0x14;
constexpr uint8_t kReportStatusRequest = 0x15;
constexpr uint8_t kReportWriteMemory = 0x16;
constexpr uint8_t kReportReadRequest = 0x17;
constexpr uint8_t kReportSpeakerData = 0x18;
constexpr uint8_t kReportSpeakerMute = 0x19;
constexpr uint8_t kReportIrEnable2 = 0x1A;

// Input reports, those the remote sends; the data reports (0x30 to 0x3F) are the
// modes a 0x12 asks for.
constexpr uint8_t kReportStatus = 0x20;
constexpr uint8_t kReportReadReply = 0x21;
constexpr uint8_t kReportAcknowledge = 0x22;
constexpr uint8_t kModeButtons = 0x30;
constexpr uint8_t kModeButtonsAccel = 0x31;

// One report of the remote as its descriptor declares it: its ID, its payload in
// bytes (the ID not counted), and whether the remote sends it (input) or takes it.
struct RemoteReportShape {
    uint8_t id;
    uint8_t payloadBytes;
    bool input;
};

// Every report the remote takes (0x10 to 0x1A) and sends (0x20 to 0x22, the data
// reports 0x30 to 0x37 and 0x3D to 0x3F), with the payloads of its descriptor.
// Output: 0x10 rumble, 0x11 LEDs, 0x13 and 0x1A IR camera, 0x14 speaker, 0x15
// status request and 0x19 speaker mute are one byte of flags; 0x12 flags and mode;
// 0x17 space, three address bytes and a two-byte size; 0x16 space, address, size
// and 16 bytes of data; 0x18 a length byte and 20 bytes of sound. Input: 0x20 two
// button bytes, flags, two zero bytes and the battery; 0x21 buttons, size and error,
// two address bytes and 16 bytes of data; 0x22 buttons, the report acknowledged and
// an error code; the data reports as long as what they carry.
constexpr std::array<RemoteReportShape, 25> kRemoteReports = {{
    {0x10, 1, false}, {0x11, 1, false},  {0x12, 2, false}, {0x13, 1, false},  {0x14, 1, false},
    {0x15, 1, false}, {0x16, 21, false}, {0x17, 6, false}, {0x18, 21, false}, {0x19, 1, false},
    {0x1A, 1, false}, {0x20, 6, true},   {0x21, 21, true}, {0x22, 4, true},   {0x30, 2, true},
    {0x31, 5, true},  {0x32, 10, true},  {0x33, 17, true}, {0x34, 21, true},  {0x35, 21, true},
    {0x36, 21, true}, {0x37, 21, true},  {0x3D, 21, true}, {0x3E, 21, true},  {0x3F, 21, true},
}};

// The remote's longest report, ID included, each way: the length of a report the
// table does not know.
constexpr size_t kRemoteLongestReport = 22;
static_assert(
    [] {
        for (const RemoteReportShape& shape : kRemoteReports) {
            if (shape.payloadBytes + size_t{1} > kRemoteLongestReport) {
                return false;
            }
        }
        return true;
    }(),
    "no report of the remote is longer than its longest");

// The length on the wire of a report of the table, ID included; kRemoteLongestReport
// for an ID the table has not in that direction.
constexpr size_t RemoteReportLength(uint8_t reportId, bool input) {
    for (const RemoteReportShape& shape : kRemoteReports) {
        if (shape.id == reportId && shape.input == input) {
            return size_t{shape.payloadBytes} + 1;
        }
    }
    return kRemoteLongestReport;
}

// What every implementation of the HID report library sends for an output report:
// 0x11 and the other one-byte reports 2 bytes, 0x12 3, 0x17 7, 0x16 and 0x18 22,
// and any ID the remote does not take its longest, 22.
constexpr size_t OutputReportLength(uint8_t reportId) {
    return RemoteReportLength(reportId, false);
}

// The length at which the remote sends an input report: 0x20 7, 0x21 22, 0x22 5,
// 0x30 3, 0x31 6, 0x32 11, 0x33 18, the other data reports 22.
constexpr size_t InputReportLength(uint8_t reportId) {
    return RemoteReportLength(reportId, true);
}

// Whether an input report is a data report by its ID: 0x30 to 0x3F. Those with bit 0
// of the ID set carry the three accelerations' high bits at bytes 3 to 5.
constexpr bool IsDataReport(uint8_t reportId) {
    return (reportId & 0xF0) == 0x30;
}
constexpr bool HasAccelerationBytes(uint8_t reportId) {
    return IsDataReport(reportId) && (reportId & 0x01) != 0;
}
constexpr size_t kAccelerationByte = 3;

// Whether mode is one of the remote's data reports, which a 0x12 may ask for.
constexpr bool IsDataMode(uint8_t mode) {
    for (const RemoteReportShape& shape : kRemoteReports) {
        if (shape.input && shape.id == mode && IsDataReport(mode)) {
            return true;
        }
    }
    return false;
}

// Byte 1 of an output report: bit 0 drives the rumble in every report; bit 1 asks
// for a 0x22 acknowledgement (not for 0x15 and 0x17, which are answered anyway).
// Byte 1 of 0x12: bit 2 asks for a data report every period, not only on a change.
constexpr uint8_t kAcknowledgeBit = 0x02;
constexpr uint8_t kContinuousBit = 0x04;

// Byte 1 of 0x16 and 0x17: bit 2 addresses register space, else the EEPROM.
constexpr uint8_t kRegisterSpace = 0x04;

// Byte 3 of a status report 0x20: the LED bits, and these flags.
constexpr uint8_t kStatusExtension = 0x02;  // an extension is plugged in
constexpr uint8_t kStatusContinuous = 0x08; // data reports go out every period

// The gyro register under test and the read of its two bytes: 0x17, register space,
// the address most significant byte first, the size in two bytes.
constexpr uint32_t kGyroRegister = 0x920090;
constexpr uint8_t kGyroAddressHigh = static_cast<uint8_t>(kGyroRegister >> 16);
constexpr uint8_t kGyroAddressMiddle = static_cast<uint8_t>(kGyroRegister >> 8);
constexpr uint8_t kGyroAddressLow = static_cast<uint8_t>(kGyroRegister);
constexpr uint8_t kGyroReadSize = 2;
constexpr std::array<uint8_t, OutputReportLength(kReportReadRequest)> kGyroReadRequest = {
    kReportReadRequest, kRegisterSpace, kGyroAddressHigh, kGyroAddressMiddle,
    kGyroAddressLow,    0x00,           kGyroReadSize};

// A 0x21 reply: byte 3 holds (size - 1) << 4 | error code, bytes 4 and 5 the
// address's two low bytes (00 90 for the gyro register), the data from byte 6.
constexpr size_t kReplyErrorByte = 3;
constexpr size_t kReplyAddressByte = 4;
constexpr size_t kReplyDataByte = 6;
constexpr uint8_t kReplyErrorBits = 0x0F;

// A 0x22 acknowledgement: byte 3 names the report acknowledged, byte 4 its error code.
constexpr size_t kAcknowledgedReportByte = 3;
constexpr size_t kAcknowledgeErrorByte = 4;

// 0x11: LEDs 1 to 4 are bits 4 to 7.
constexpr uint8_t kLedsAll = 0xF0;
constexpr uint8_t kLedsFirst = 0x10;

// Byte 2 of every input report with buttons: Home is bit 7; Two, One, B, A and Minus
// are bits 0 to 4. Bits 5 and 6 are no buttons: in the modes with accelerations they
// carry the low bits of Y and Z.
constexpr uint8_t kHomeButton = 0x80;
constexpr uint8_t kOtherButtonsOfByte2 = 0x1F;

// Whether button byte 2 shows Home alone: Home down and no other button of that
// byte, whatever the accelerometer's low bits (bits 5 and 6) hold. Byte 1 has no
// say. A real remote lying still in mode 0x31 may hold those low bits set for as
// long as it lies there, so they must not hide Home.
constexpr bool IsHomeAlone(uint8_t buttonByte2) {
    return (buttonByte2 & (kHomeButton | kOtherButtonsOfByte2)) == kHomeButton;
}

#endif
