// What the remote's memory and registers answer, by address: the reads of report
// 0x17 and the writes of report 0x16. Register space (bit 2 of the request's first
// byte) holds the gyro register kGyroRegister (the sensor under test), the speaker
// (0xA2xxxx), the extension port (0xA4xxxx, answered only when an extension is
// plugged in), the motion sensor port (0xA6xxxx, answered only where there is one)
// and the IR camera (0xB0xxxx). Memory space is the EEPROM, 0x0000 to 0x16FF, with
// the accelerometer's calibration at 0x16 and again at 0x20. What is not there gets
// the remote's documented error codes: 7 for a device that is not connected, 8 for
// an address that does not exist.
#ifndef TOBRISK_SIM_REMOTE_MEMORY_H
#define TOBRISK_SIM_REMOTE_MEMORY_H

#include <array>
#include <cstdint>

#include "remote_protocol.h"

constexpr uint8_t kSimErrorNotConnected = 7; // a device the remote does not have
constexpr uint8_t kSimErrorBadAddress = 8;   // an address that does not exist
constexpr uint16_t kSimLongestRead = 16;     // one 0x21 reply carries at most this much

// What is plugged into the remote.
struct SimRemoteParts {
    bool extension;    // an extension (a Nunchuk) in the port
    bool motionSensor; // a motion sensor port at 0xA6 (built into the later model)
};

// Where a read or write goes: 0x17 and 0x16 start alike.
struct SimMemoryAccess {
    uint8_t space;    // byte 1: kRegisterSpace for registers, else the EEPROM
    uint32_t address; // bytes 2 to 4, most significant first
    uint16_t size;    // bytes 5 and 6 of 0x17; byte 5 of 0x16
};

// The answer to a read: an error code, and without one the bytes read.
struct SimReadResult {
    uint8_t error;                             // 0, kSimErrorNotConnected or kSimErrorBadAddress
    std::array<uint8_t, kSimLongestRead> data; // size bytes, zero beyond
};

// Reads the request at the start of an output report 0x17 (7 bytes).
SimMemoryAccess SimDecodeReadRequest(const uint8_t* report);

// Reads the request at the start of an output report 0x16 (22 bytes).
SimMemoryAccess SimDecodeWriteRequest(const uint8_t* report);

// Whether the access reads the gyro register, which answers 1 to 16 bytes.
bool SimIsGyroRegisterRead(const SimMemoryAccess& access);

// What a read finds. The gyro register holds registerValue (a one-byte read gets its
// high byte) and answers with gyroError; reads of 0 bytes or of more than 16 (which a
// remote would answer in several replies) get kSimErrorBadAddress.
SimReadResult SimReadMemory(const SimRemoteParts& parts, const SimMemoryAccess& access,
                            uint16_t registerValue, uint8_t gyroError);

// The error code a write gets (0 when it lands). Writes change nothing the remote
// sends.
uint8_t SimWriteMemory(const SimRemoteParts& parts, const SimMemoryAccess& access);

#endif
