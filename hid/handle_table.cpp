#include "handle_table.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <limits>
#include <map>
#include <mutex>
#include <vector>

#include "hid_recording.h"

namespace {

// One open handle. Owned by the table while the handle is open; from the close on,
// by the closing thread, or by the last call to leave if the close stopped waiting.
struct OpenDevice {
    const HidDeviceCalls* calls = nullptr; // the backend that opened the device
    HidDevice* device = nullptr;           // closed and freed through calls->close
    int callsInside = 0;                   // reads and writes inside the device; table lock
    std::atomic<bool> closing{false};      // set once by the close; reads look between slices
    bool lastCallCloses = false;           // the close stopped waiting; table lock
    std::condition_variable callsLeft;     // callsInside reached 0 during a close; table lock
    HidRecording* recording = nullptr;     // with TINY_HID_RECORD set; has its own lock
    std::chrono::steady_clock::time_point openedAt; // the recording's times count from here
};

struct HandleTable {
    std::mutex lock;                       // guards open, nextHandle and the fields above
    std::map<HidHandle, OpenDevice*> open; // handles now open
    HidHandle nextHandle = 1;              // the next handle to give out; only grows
};

// The one table. Never destroyed, so threads still running at exit find it intact.
HandleTable& Table() {
    static HandleTable* table = new HandleTable;
    return *table;
}

// Opens the device asked for, or the later Wii Remote in place of the original;
// productId becomes the product that opened.
HidDevice* OpenFirstMatch(const HidDeviceCalls& calls, uint16_t vendorId, uint16_t& productId) {
    HidDevice* device = calls.open(vendorId, productId);
    if (device == nullptr && vendorId == kRemoteVendorId && productId == kRemoteProductId) {
        productId = kRemotePlusProductId;
        device = calls.open(kRemoteVendorId, kRemotePlusProductId);
    }
    return device;
}

// Microseconds since the device opened, for its recording.
int64_t UsSinceOpen(const OpenDevice& open) {
    return std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() -
                                                                 open.openedAt)
        .count();
}

// Gives the device a new handle; HID_NO_DEVICE once every handle has been given out.
HidHandle AddToTable(OpenDevice* open) {
    HandleTable& table = Table();
    std::lock_guard<std::mutex> hold(table.lock);
    if (table.nextHandle == std::numeric_limits<HidHandle>::max()) {
        return HID_NO_DEVICE;
    }
    const HidHandle handle = table.nextHandle++;
    table.open[handle] = open;
    return handle;
}

// Counts a call into the device behind handle; nullptr when the handle is not open.
OpenDevice* EnterDevice(HidHandle handle) {
    HandleTable& table = Table();
    std::lock_guard<std::mutex> hold(table.lock);
    auto found = table.open.find(handle);
    if (found == table.open.end()) {
        return nullptr;
    }
    ++found->second->callsInside;
    return found->second;
}

// Closes the device and frees its record; called once no call is inside it.
void CloseAndFree(OpenDevice* open) {
    open->calls->close(open->device);
    StopRecording(open->recording);
    delete open;
}

// Ends a call counted by EnterDevice. During a close, the last call to leave wakes
// the closing thread, or closes the device itself if the close stopped waiting.
// The record may be gone as soon as this returns.
void LeaveDevice(OpenDevice* open) {
    std::unique_lock<std::mutex> hold(Table().lock);
    if (--open->callsInside > 0 || !open->closing) {
        return;
    }
    if (open->lastCallCloses) {
        hold.unlock();
        CloseAndFree(open);
        return;
    }
    open->callsLeft.notify_all();
}

// The read deadline's clock, in microseconds: the backend's, else the steady clock.
int64_t ClockUs(const OpenDevice& open) {
    if (open.calls->clockUs != nullptr) {
        return open.calls->clockUs();
    }
    return std::chrono::duration_cast<std::chrono::microseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// Reads in device waits until a report or a failure comes, the read's time is up or
// the handle closes. Returns the report's length capped at the buffer, 0 or -1.
int ReadInSlices(const OpenDevice& open, uint8_t* scratch) {
    const int64_t deadlineUs = ClockUs(open) + int64_t{HID_READ_WAIT_MS} * 1000;
    for (int64_t leftUs = deadlineUs - ClockUs(open); leftUs > 0 && !open.closing;
         leftUs = deadlineUs - ClockUs(open)) {
        const int waitMs = static_cast<int>(std::min<int64_t>(kReadSliceMs, (leftUs + 999) / 1000));
        const int got = open.calls->read(open.device, scratch, HID_REPORT_BUFFER_SIZE, waitMs);
        if (got > 0) {
            return std::min(got, HID_REPORT_BUFFER_SIZE);
        }
        if (got < 0) {
            return -1;
        }
    }
    return 0;
}

} // namespace

HidHandle OpenDeviceHandle(const HidDeviceCalls& calls, uint16_t vendorId, uint16_t productId) {
    HidDevice* device = OpenFirstMatch(calls, vendorId, productId);
    if (device == nullptr) {
        return HID_NO_DEVICE;
    }
    OpenDevice* open = new OpenDevice;
    open->calls = &calls;
    open->device = device;
    open->openedAt = std::chrono::steady_clock::now();
    if (const char* path = RecordingPath()) {
        const std::vector<uint8_t> descriptor =
            calls.reportDescriptor ? calls.reportDescriptor(device) : std::vector<uint8_t>();
        open->recording = StartRecording(path, vendorId, productId, descriptor);
    }
    const HidHandle handle = AddToTable(open);
    if (handle == HID_NO_DEVICE) {
        CloseAndFree(open);
    }
    return handle;
}

int32_t ReadDeviceReport(HidHandle handle, uint8_t* buffer, uint32_t* outWord) {
    OpenDevice* open = buffer == nullptr ? nullptr : EnterDevice(handle);
    if (open == nullptr) {
        return -1;
    }
    // The device writes into scratch, so a failed or late read leaves buffer as it was.
    uint8_t scratch[HID_REPORT_BUFFER_SIZE];
    const int got = ReadInSlices(*open, scratch);
    const bool closed = open->closing;
    if (got > 0 && !closed) {
        RecordInputReport(open->recording, UsSinceOpen(*open), scratch, static_cast<size_t>(got));
    }
    LeaveDevice(open); // from here on, open may be gone
    if (closed) {
        return -1;
    }
    if (got <= 0) {
        return got;
    }
    std::memcpy(buffer, scratch, static_cast<size_t>(got));
    if (outWord != nullptr) {
        *outWord = static_cast<uint32_t>(got);
    }
    return got;
}

int32_t WriteDeviceReport(HidHandle handle, const uint8_t* buffer, uint32_t* outWord) {
    OpenDevice* open = buffer == nullptr ? nullptr : EnterDevice(handle);
    if (open == nullptr) {
        return -1;
    }
    const size_t length = OutputReportLength(buffer[0]);
    const int sent = open->calls->write(open->device, buffer, length);
    if (sent > 0) {
        RecordOutputReport(open->recording, UsSinceOpen(*open), buffer, length);
    }
    LeaveDevice(open); // from here on, open may be gone
    if (sent <= 0) {
        return -1;
    }
    if (outWord != nullptr) {
        *outWord = static_cast<uint32_t>(sent);
    }
    return sent;
}

void CloseDeviceHandle(HidHandle handle) {
    HandleTable& table = Table();
    std::unique_lock<std::mutex> hold(table.lock);
    auto found = table.open.find(handle);
    if (found == table.open.end()) {
        return;
    }
    OpenDevice* open = found->second;
    table.open.erase(found);
    open->closing = true;
    const bool quiet = open->callsLeft.wait_for(hold, std::chrono::milliseconds(kCloseWaitMs),
                                                [open] { return open->callsInside == 0; });
    if (!quiet) {
        open->lastCallCloses = true;
        return;
    }
    hold.unlock();
    CloseAndFree(open);
}
