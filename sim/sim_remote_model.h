// The simulated remote's behaviour at a given moment: how it is held and turned,
// which buttons are down, what its gyro register holds, and the input reports it
// builds from that. Pure functions of the scenario and the time since opening.
#ifndef TOBRISK_SIM_REMOTE_MODEL_H
#define TOBRISK_SIM_REMOTE_MODEL_H

#include <array>
#include <cstddef>
#include <cstdint>

#include "remote_protocol.h"
#include "sim_remote_memory.h"
#include "sim_report.h"
#include "sim_scenario.h"

// The two button bytes of every input report.
struct SimButtons {
    uint8_t byte1; // D-pad, Plus
    uint8_t byte2; // A, B, 1, 2, Minus, Home (0x80)
};

// Buttons down at usSinceOpen: none, then the scenario's `buttons` and `home` from
// their moments on (when both have begun, the later one decides; home on a tie).
SimButtons SimButtonsAt(const SimScenario& scenario, int64_t usSinceOpen);

// The accelerometer as the remote measures it: X in ten bits, Y and Z in nine. A
// data report carries the eight high bits of each at bytes 3 to 5 and the rest in
// its button bytes.
struct SimAcceleration {
    uint16_t x; // 0 to 1023
    uint16_t y; // 0 to 511
    uint16_t z; // 0 to 511
};

// The accelerations of data report number reportIndex, due at usSinceOpen: the
// fixed high bits, or gravity seen from the remote's orientation plus noise. The
// low bits follow the motion (or, with fixed high bits, the noise) unless the
// scenario holds them.
SimAcceleration SimAccelerationsAt(const SimScenario& scenario, int64_t usSinceOpen,
                                   uint64_t reportIndex);

// Whether a Nunchuk is in the extension port at usSinceOpen.
bool SimExtensionAt(const SimScenario& scenario, int64_t usSinceOpen);

// What the gyro register holds for read request number requestIndex (from 0),
// answered at usSinceOpen: the scenario's values in turn; its gyro signal, written
// so that the program reads the signal's value itself (0xFFFF + v for negative v,
// kept within -32766 to 32768); or the turn rate as a signed 16-bit word (0x10000 +
// v for negative v).
uint16_t SimGyroRegisterAt(const SimScenario& scenario, int64_t usSinceOpen, uint64_t requestIndex);

// Builds a data report at the length the remote sends it (InputReportLength: 0x30
// is 3 bytes, 0x31 is 6, 0x32 is 11, 0x33 is 18, the rest 22), any other ID at 22; the
// accelerations' high bits stand at bytes 3 to 5 when the ID is 0x30 to 0x3F with
// bit 0 set. In the accelerometer modes (0x31, 0x33, 0x35, 0x37) the low bits go
// into the button bytes: X's two into bits 5 and 6 of byte 1, Y's into bit 5 of
// byte 2 and Z's into bit 6. Other reports carry the buttons alone.
SimReport SimBuildDataReport(uint8_t reportId, SimButtons buttons, const SimAcceleration& accel,
                             int64_t dueUs);

// Builds the 0x21 reply (22 bytes) to a read: buttons, (size - 1) << 4 | error (the
// size taken as 1 to 16), the two low address bytes, then without an error the
// bytes read.
SimReport SimBuildReadReply(const SimMemoryAccess& request, SimButtons buttons,
                            const SimReadResult& result, int64_t dueUs);

// Builds the 7-byte 0x20 status report: buttons, the flags byte (LED bits and the
// kStatus bits of remote_protocol.h), two zero bytes and a battery level.
SimReport SimBuildStatusReport(SimButtons buttons, uint8_t flags, int64_t dueUs);

// Builds the 5-byte 0x22 acknowledgement of output report reportId with an error
// code (0 when it was carried out).
SimReport SimBuildAcknowledgement(SimButtons buttons, uint8_t reportId, uint8_t error,
                                  int64_t dueUs);

#endif
