// The simulated remote's behaviour at a given moment: how it is held and turned,
// which buttons are down, what its gyro register holds, and the input reports it
// builds from that. Pure functions of the scenario and the time since opening.
#ifndef TOBRISK_SIM_REMOTE_MODEL_H
#define TOBRISK_SIM_REMOTE_MODEL_H

#include <array>
#include <cstddef>
#include <cstdint>

#include "sim_scenario.h"

constexpr size_t kSimMaxReportLength = 22; // the remote's longest input report
constexpr uint8_t kSimReadReplyId = 0x21;
constexpr uint8_t kSimErrorBadAddress = 8; // the remote's error code for a bad read
constexpr uint32_t kSimGyroRegister = 0x920090;
constexpr uint8_t kSimRegisterSpace = 0x04; // bit of read request byte 1

// One input report, due at a moment since opening.
struct SimReport {
    int64_t dueUs;                                  // when the remote sends it
    uint8_t length;                                 // bytes in use, report ID included
    std::array<uint8_t, kSimMaxReportLength> bytes; // zero beyond length
};

// The two button bytes of every input report.
struct SimButtons {
    uint8_t byte1; // D-pad, Plus
    uint8_t byte2; // A, B, 1, 2, Minus, Home (0x80)
};

// A decoded 0x17 read request.
struct SimReadRequest {
    uint8_t space;    // byte 1: 0x04 for register space
    uint32_t address; // bytes 2 to 4, most significant first
    uint16_t size;    // bytes 5 and 6, most significant first
};

// Buttons down at usSinceOpen: none, then the scenario's `buttons` and `home` from
// their moments on (when both have begun, the later one decides; home on a tie).
SimButtons SimButtonsAt(const SimScenario& scenario, int64_t usSinceOpen);

// X, Y, Z accelerations of data report number reportIndex, due at usSinceOpen:
// the fixed values, or gravity seen from the remote's orientation plus noise.
std::array<uint8_t, 3> SimAccelerationsAt(const SimScenario& scenario, int64_t usSinceOpen,
                                          uint64_t reportIndex);

// What the gyro register holds for read request number requestIndex (from 0),
// answered at usSinceOpen: the scenario's values in turn, or the turn rate as a
// signed 16-bit word (0x10000 + v for negative v).
uint16_t SimGyroRegisterAt(const SimScenario& scenario, int64_t usSinceOpen, uint64_t requestIndex);

// Builds a data report: 0x30 is 3 bytes, 0x31 is 6, every other ID 22; the
// accelerations stand at bytes 3 to 5 when the ID is a data report with bit 0 set.
SimReport SimBuildDataReport(uint8_t reportId, SimButtons buttons,
                             const std::array<uint8_t, 3>& accel, int64_t dueUs);

// Reads the request at the start of an output report 0x17 (7 bytes).
SimReadRequest SimDecodeReadRequest(const uint8_t* report);

// Whether the request reads the gyro register, which answers 1 to 16 bytes.
bool SimIsGyroRegisterRead(const SimReadRequest& request);

// Builds the 22-byte 0x21 reply: buttons, (size - 1) << 4 | error, the two low
// address bytes, then the register's bytes most significant first. A request for
// anything but the gyro register gets error 8 and no data.
SimReport SimBuildReadReply(const SimReadRequest& request, SimButtons buttons,
                            uint16_t registerValue, uint8_t errorNibble, int64_t dueUs);

#endif
