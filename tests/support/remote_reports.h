// The reports the tests exchange with a remote, written once: the remote's IDs, the
// program's output reports as the wire carries them and as the simulated remote's
// log shows them, the length of every output report, and the read reply a remote
// sends. Written here by hand, apart from protocol/remote_protocol.h, so that a test
// compares the code with the remote rather than with itself. Header only; every test
// folder (and the fuzz targets) may use it.
#ifndef TOBRISK_TESTS_REMOTE_REPORTS_H
#define TOBRISK_TESTS_REMOTE_REPORTS_H

#include <cstddef>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

using Bytes = std::vector<uint8_t>;

// Nintendo's vendor ID, the original remote (RVL-CNT-01) and the later one (-TR).
constexpr uint16_t kWiiRemoteVendor = 0x057E;
constexpr uint16_t kWiiRemoteProduct = 0x0306;
constexpr uint16_t kWiiRemotePlusProduct = 0x0330;

// Every output report the remote takes and its length on the wire, ID included: one
// more than the Report Count of its entry in the remote's HID report descriptor.
struct OutputReportSize {
    uint8_t id;
    size_t length;
};
constexpr OutputReportSize kOutputReportSizes[] = {
    {0x10, 2},  // rumble
    {0x11, 2},  // LEDs
    {0x12, 3},  // reporting mode: flags, mode
    {0x13, 2},  // IR camera enable
    {0x14, 2},  // speaker enable
    {0x15, 2},  // status request
    {0x16, 22}, // write memory: space, address, size, 16 bytes of data
    {0x17, 7},  // read memory: space, address, size
    {0x18, 22}, // speaker data: length, 20 bytes
    {0x19, 2},  // speaker mute
    {0x1A, 2},  // IR camera enable 2
};
// What goes out for an ID the remote does not take: its longest report.
constexpr size_t kUnknownOutputReportLength = 22;

// The program's output reports, as the wire carries them.
inline const Bytes kModeButtonsReport = {0x12, 0x00, 0x30};
inline const Bytes kModeAccelReport = {0x12, 0x00, 0x31};
inline const Bytes kGyroRequestReport = {0x17, 0x04, 0x92, 0x00, 0x90, 0x00, 0x02};
inline const Bytes kAllLedsReport = {0x11, 0xF0};
inline const Bytes kFirstLedReport = {0x11, 0x10};

// What Linux's Wii Remote driver sends beside the program: its status request, its
// read of the extension's identity, and the reporting mode it sets while a desktop
// program reads its devices (accelerations and the extension's bytes).
inline const Bytes kStatusRequest = {0x15, 0x00};
inline const Bytes kDriverIdentityRead = {0x17, 0x04, 0xA4, 0x00, 0xFA, 0x00, 0x06};
inline const Bytes kModeAccelExtensionReport = {0x12, 0x00, 0x35};

// How the simulated remote's log shows an output report that reached it:
// "write 12 00 31".
inline std::string WriteEvent(const Bytes& report) {
    static const char kHexDigits[] = "0123456789abcdef";
    std::string event = "write";
    for (uint8_t byte : report) {
        event += ' ';
        event += kHexDigits[byte >> 4];
        event += kHexDigits[byte & 0x0F];
    }
    return event;
}

// A 22-byte read reply 0x21 with no buttons down: errorByte holds the size and the
// error code, the address bytes are 00 90 (the gyro register's) unless given, and
// the data begin with high and low.
inline Bytes ReadReply(uint8_t high, uint8_t low, uint8_t errorByte = 0x10,
                       uint8_t addressLow = 0x90, uint8_t addressMiddle = 0x00) {
    Bytes reply(22, 0);
    reply[0] = 0x21;
    reply[3] = errorByte;
    reply[4] = addressMiddle;
    reply[5] = addressLow;
    reply[6] = high;
    reply[7] = low;
    return reply;
}

// The whole text of a file (a recording, say); empty when it cannot be read.
inline std::string ReadFileText(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), {});
}

// Every line of a log file; none when it cannot be read.
inline std::vector<std::string> ReadLogLines(const std::string& path) {
    std::vector<std::string> lines;
    std::ifstream file(path);
    for (std::string line; std::getline(file, line);) {
        lines.push_back(line);
    }
    return lines;
}

#endif
