#include "sim_remote_memory.h"

#include <algorithm>

namespace {

constexpr uint32_t kBlockSize = 0x100; // each register block of the remote
constexpr uint32_t kEepromSize = 0x1700;
constexpr uint32_t kIdentityOffset = 0xFA; // six bytes of identity in a port's block

// The register blocks, by their first address.
constexpr uint32_t kSpeakerBlock = 0xA20000;
constexpr uint32_t kExtensionBlock = 0xA40000;
constexpr uint32_t kMotionSensorBlock = 0xA60000;
constexpr uint32_t kCameraBlock = 0xB00000;

// Identities as read at 0x..00FA: a Nunchuk, and a motion sensor not yet active.
constexpr std::array<uint8_t, 6> kNunchukIdentity = {0x00, 0x00, 0xA4, 0x20, 0x00, 0x00};
constexpr std::array<uint8_t, 6> kMotionSensorIdentity = {0x00, 0x00, 0xA6, 0x20, 0x00, 0x05};

// The accelerometer's calibration in the EEPROM: zero-g X, Y, Z, a spare byte, then
// one-g X, Y, Z (the simulated motion's 26 counts per g) and a spare byte.
constexpr std::array<uint8_t, 8> kCalibration = {0x80, 0x80, 0x80, 0x00, 0x9A, 0x9A, 0x9A, 0x00};
constexpr uint32_t kCalibrationAt[] = {0x16, 0x20};

// A register block the remote has; identity is null where there is none.
struct RegisterBlock {
    uint32_t base;
    bool present;
    const std::array<uint8_t, 6>* identity;
};

// The register block the address lies in; base 0 when none.
RegisterBlock BlockAt(const SimRemoteParts& parts, uint32_t address) {
    switch (address & ~(kBlockSize - 1)) {
    case kSpeakerBlock:
        return {kSpeakerBlock, true, nullptr};
    case kExtensionBlock:
        return {kExtensionBlock, parts.extension, &kNunchukIdentity};
    case kMotionSensorBlock:
        return {kMotionSensorBlock, parts.motionSensor, &kMotionSensorIdentity};
    case kCameraBlock:
        return {kCameraBlock, true, nullptr};
    default:
        return {0, false, nullptr};
    }
}

// The byte at offset within a block (zero but for the identity).
uint8_t BlockByte(const RegisterBlock& block, uint32_t offset) {
    if (block.identity != nullptr && offset >= kIdentityOffset) {
        return (*block.identity)[offset - kIdentityOffset];
    }
    return 0;
}

// The EEPROM's byte at address.
uint8_t EepromByte(uint32_t address) {
    for (uint32_t at : kCalibrationAt) {
        if (address >= at && address < at + kCalibration.size()) {
            return kCalibration[address - at];
        }
    }
    return 0;
}

// Where an access of size bytes may go: 0 when it lands, else the error code.
uint8_t Reach(const SimRemoteParts& parts, const SimMemoryAccess& access) {
    const uint32_t end = access.address + access.size;
    if ((access.space & kRegisterSpace) == 0) {
        return end <= kEepromSize ? 0 : kSimErrorBadAddress;
    }
    const RegisterBlock block = BlockAt(parts, access.address);
    if (block.base == 0 || end > block.base + kBlockSize) {
        return kSimErrorBadAddress;
    }
    return block.present ? 0 : kSimErrorNotConnected;
}

} // namespace

SimMemoryAccess SimDecodeReadRequest(const uint8_t* report) {
    return {report[1],
            (static_cast<uint32_t>(report[2]) << 16) | (static_cast<uint32_t>(report[3]) << 8) |
                report[4],
            static_cast<uint16_t>((report[5] << 8) | report[6])};
}

SimMemoryAccess SimDecodeWriteRequest(const uint8_t* report) {
    SimMemoryAccess access = SimDecodeReadRequest(report);
    access.size = report[5];
    return access;
}

bool SimIsGyroRegisterRead(const SimMemoryAccess& access) {
    return (access.space & kRegisterSpace) != 0 && access.address == kGyroRegister &&
           access.size >= 1 && access.size <= kSimLongestRead;
}

SimReadResult SimReadMemory(const SimRemoteParts& parts, const SimMemoryAccess& access,
                            uint16_t registerValue, uint8_t gyroError) {
    SimReadResult result{0, {}};
    if (SimIsGyroRegisterRead(access)) {
        result.error = gyroError & kReplyErrorBits;
        result.data[0] = static_cast<uint8_t>(registerValue >> 8);
        if (access.size >= 2) {
            result.data[1] = static_cast<uint8_t>(registerValue);
        }
        return result;
    }
    if (access.size == 0 || access.size > kSimLongestRead) {
        result.error = kSimErrorBadAddress;
        return result;
    }
    result.error = Reach(parts, access);
    if (result.error != 0) {
        return result;
    }
    const bool registers = (access.space & kRegisterSpace) != 0;
    const RegisterBlock block = BlockAt(parts, access.address);
    for (uint16_t i = 0; i < access.size; ++i) {
        const uint32_t address = access.address + i;
        result.data[i] = registers ? BlockByte(block, address - block.base) : EepromByte(address);
    }
    return result;
}

uint8_t SimWriteMemory(const SimRemoteParts& parts, const SimMemoryAccess& access) {
    if (access.size == 0 || access.size > kSimLongestRead) {
        return kSimErrorBadAddress;
    }
    return Reach(parts, access);
}
