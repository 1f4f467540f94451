// The device calls on Linux, over hidapi's hidraw backend.
//
// Locking: hidapi keeps one error string per device that hid_read_timeout and
// hid_write both replace, and one process-wide error string that enumeration, open
// and close replace. So calls into one device run one at a time, in turns taken in
// arrival order (a write waits for the read slice in progress, never for a reader
// that loops), and open and close hold the process-wide hidapiLock.
#include <hidapi.h>

#include <mutex>

#include "call_turns.h"
#include "hid_device.h"

struct HidDevice {
    hid_device* hid = nullptr; // owned; closed by CloseHidraw
    CallTurns turns;           // one hidapi call on this device at a time
};

namespace {

// Guards hidapi's process-wide state. Never destroyed: threads may outlive main.
std::mutex& HidapiLock() {
    static std::mutex* lock = new std::mutex;
    return *lock;
}

// Tries each hidraw node with these IDs in hidapi's order; the first that opens wins.
HidDevice* OpenHidraw(uint16_t vendorId, uint16_t productId) {
    std::lock_guard<std::mutex> hold(HidapiLock());
    if (hid_init() != 0) {
        return nullptr;
    }
    hid_device_info* found = hid_enumerate(vendorId, productId);
    hid_device* opened = nullptr;
    for (hid_device_info* info = found; info != nullptr && opened == nullptr; info = info->next) {
        opened = hid_open_path(info->path);
    }
    hid_free_enumeration(found);
    if (opened == nullptr) {
        return nullptr;
    }
    HidDevice* device = new HidDevice;
    device->hid = opened;
    return device;
}

// Waits at most timeoutMs for one input report; hidraw puts its report ID in byte 0.
int ReadHidraw(HidDevice* device, uint8_t* data, size_t length, int timeoutMs) {
    TakeTurn(device->turns);
    const int got = hid_read_timeout(device->hid, data, length, timeoutMs);
    EndTurn(device->turns);
    return got;
}

// Sends one output report, report ID in byte 0.
int WriteHidraw(HidDevice* device, const uint8_t* data, size_t length) {
    TakeTurn(device->turns);
    const int sent = hid_write(device->hid, data, length);
    EndTurn(device->turns);
    return sent;
}

// Closes the hidraw node and frees the device.
void CloseHidraw(HidDevice* device) {
    {
        std::lock_guard<std::mutex> hold(HidapiLock());
        hid_close(device->hid);
    }
    delete device;
}

constexpr HidDeviceCalls kHidrawCalls = {
    .open = OpenHidraw,
    .read = ReadHidraw,
    .write = WriteHidraw,
    .close = CloseHidraw,
};

} // namespace

const HidDeviceCalls& SystemHidDevice() {
    return kHidrawCalls;
}
