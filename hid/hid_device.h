// The device calls under the HID report library: one small table of functions per
// backend (hidapi's hidraw on Linux, setupapi and hid.dll on Windows), so that the
// handle table above it is the same on every platform and tests can run it over a
// fake device.
#ifndef TOBRISK_HID_DEVICE_H
#define TOBRISK_HID_DEVICE_H

#include <cstddef>
#include <cstdint>
#include <vector>

// One open device; each backend defines it.
struct HidDevice;

// What a backend does with a device. The handle table never calls close while a
// read or write on the same device is in progress; any other calls may overlap,
// from any thread, so a backend serializes what its own device API cannot share.
struct HidDeviceCalls {
    // Opens the first device with these IDs that can be opened; nullptr when none.
    HidDevice* (*open)(uint16_t vendorId, uint16_t productId);
    // Waits at most timeoutMs for one input report and puts at most length bytes of it
    // in data. Returns the bytes put there (> 0), 0 when none came in time, -1 when
    // the device failed.
    int (*read)(HidDevice* device, uint8_t* data, size_t length, int timeoutMs);
    // Sends length bytes, report ID in byte 0. Returns the bytes sent, or -1.
    int (*write)(HidDevice* device, const uint8_t* data, size_t length);
    // Closes the device and frees it.
    void (*close)(HidDevice* device);
    // The device's HID report descriptor, for a recording; empty when it cannot be
    // read. May be null: a backend that never knows it (Windows) leaves it out.
    std::vector<uint8_t> (*reportDescriptor)(HidDevice* device);
    // Microseconds on the monotonic clock that a read's deadline is kept on. Null for
    // std::chrono::steady_clock; tests give one whose time the device's waits move.
    int64_t (*clockUs)();
};

// This platform's backend: hidapi's hidraw backend on Linux, the system's HID API
// (setupapi and hid.dll) on Windows.
const HidDeviceCalls& SystemHidDevice();

#endif
