// A fake device under the handle table: remotes that are present or not, queued
// reads, recorded writes, and checks that no call reaches a device after its close.
// Thread-safe.
#ifndef TOBRISK_TESTS_FAKE_HID_DEVICE_H
#define TOBRISK_TESTS_FAKE_HID_DEVICE_H

#include <cstdint>
#include <vector>

#include "hid_device.h"

using Bytes = std::vector<uint8_t>;

// One answer of the device to a read: the bytes it puts in the buffer (as many as
// fit) and what it returns, which may disagree with them.
struct FakeRead {
    int result;
    Bytes bytes;
};

struct FakeOpenAttempt {
    uint16_t vendorId;
    uint16_t productId;
    bool operator==(const FakeOpenAttempt&) const = default;
};

// Everything the device saw since the last reset.
struct FakeRecord {
    std::vector<FakeOpenAttempt> openAttempts;
    std::vector<uint16_t> openedProducts; // product ID of each device opened
    std::vector<size_t> readLengths;      // buffer length of each read
    std::vector<int> readTimeouts;        // timeout of each read, in ms
    std::vector<Bytes> writes;            // bytes of each write
    int closes = 0;
    int closesWithCallInside = 0; // close called while a read or write was inside
    int callsOnClosedDevice = 0;  // read or write on a device already closed
};

extern const HidDeviceCalls kFakeDevice;
// What every fake device gives as its report descriptor.
extern const Bytes kFakeReportDescriptor;

// Forgets everything; the Nintendo devices with these product IDs are present.
void FakeReset(std::vector<uint16_t> presentProducts);
// Answers for the coming reads, in order. With none queued a read waits its timeout.
// A read that brings nothing moves the device's clock (the handle table's read
// deadline runs on it) on by its timeout, or by percent of it after FakeSetWaitCost:
// what a wait costs on a system whose waits last longer than asked (Windows' at its
// timer's resolution).
void FakeQueueReads(std::vector<FakeRead> reads);
void FakeSetWaitCost(int percent);
// What every write returns from now on; by default the length it was given.
void FakeSetWriteResult(int result);
// Writes block, inside the device, until FakeReleaseWrites.
void FakeHoldWrites();
void FakeReleaseWrites();
// Reads, and writes, that have entered the device so far.
int FakeReadsEntered();
int FakeWritesEntered();
FakeRecord FakeSeen();

#endif
