// The device calls on Windows, over the system's HID API: setupapi lists the HID
// device interfaces, HidD_GetAttributes matches vendor and product, HidP_GetCaps
// gives the report lengths, and overlapped ReadFile and WriteFile move the reports.
//
// Waits: every read and write waits a bounded time. An I/O that has not completed
// in time is cancelled by the thread that started it (CancelIo cancels the calling
// thread's own I/O, on every Windows version), and the call waits, bounded again,
// for the cancellation to land before it returns. So no I/O is ever pending
// between two calls, a report that the driver has not handed over stays in its
// queue for the next read, and the close has nothing to cancel. Should a
// cancellation not land in time, the device is marked stuck: its buffers and
// events are never freed, since the driver may still write into them.
//
// Locking: each device has one read slot and one write slot (an OVERLAPPED, its
// event and a buffer). Reads take turns among themselves, and writes among
// themselves; a read and a write may be inside the device at once, as an
// overlapped handle allows.
#include <windows.h>

#include <setupapi.h>
// MinGW-w64's HID header declares C functions without C linkage of its own.
extern "C" {
#include <hidsdi.h>
}

#include <algorithm>
#include <atomic>
#include <cstring>
#include <string>
#include <vector>

#include "call_turns.h"
#include "hid_device.h"

namespace {

constexpr DWORD kWriteWaitMs = 250;   // a write the remote does not take by then fails
constexpr DWORD kCancelWaitMs = 1000; // how long a cancelled I/O may take to land

// One kind of I/O on a device: reads or writes.
struct IoSlot {
    OVERLAPPED overlapped = {};  // hEvent is a manual-reset event owned by the slot
    std::vector<uint8_t> buffer; // one whole report, as long as the device's reports
    CallTurns turns;             // one I/O of this kind at a time
};

} // namespace

struct HidDevice {
    HANDLE file = INVALID_HANDLE_VALUE; // opened for overlapped reads and writes
    IoSlot read;                        // input reports
    IoSlot write;                       // output reports
    std::atomic<bool> stuck{false};     // an I/O did not land after its cancellation
};

namespace {

// The device path of one interface of the set; empty when it cannot be read.
std::string InterfacePath(HDEVINFO set, SP_DEVICE_INTERFACE_DATA& interfaceData) {
    DWORD size = 0;
    SetupDiGetDeviceInterfaceDetailA(set, &interfaceData, nullptr, 0, &size, nullptr);
    if (size < sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A)) {
        return {};
    }
    std::vector<DWORD> storage(size / sizeof(DWORD) + 1);
    auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_A*>(storage.data());
    detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);
    if (!SetupDiGetDeviceInterfaceDetailA(set, &interfaceData, detail, size, nullptr, nullptr)) {
        return {};
    }
    return detail->DevicePath;
}

// Whether the device at path has these IDs. It is opened without read or write
// access, which also works for devices that the system holds for itself.
bool HasIds(const std::string& path, uint16_t vendorId, uint16_t productId) {
    HANDLE file = CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    HIDD_ATTRIBUTES attributes = {};
    attributes.Size = sizeof(attributes);
    const bool matches = HidD_GetAttributes(file, &attributes) && attributes.VendorID == vendorId &&
                         attributes.ProductID == productId;
    CloseHandle(file);
    return matches;
}

// The device's input and output report lengths, report ID included; false when
// they cannot be read.
bool ReportLengths(HANDLE file, size_t& inputLength, size_t& outputLength) {
    PHIDP_PREPARSED_DATA preparsed = nullptr;
    if (!HidD_GetPreparsedData(file, &preparsed)) {
        return false;
    }
    HIDP_CAPS caps = {};
    const bool read = HidP_GetCaps(preparsed, &caps) == HIDP_STATUS_SUCCESS;
    HidD_FreePreparsedData(preparsed);
    inputLength = caps.InputReportByteLength;
    outputLength = caps.OutputReportByteLength;
    return read;
}

// Gives the slot its event and a buffer of length bytes; false when the event
// cannot be made.
bool PrepareSlot(IoSlot& slot, size_t length) {
    slot.overlapped.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    slot.buffer.assign(length, 0);
    return slot.overlapped.hEvent != nullptr;
}

// Closes the device's file and events and frees it, unless it is stuck.
void FreeDevice(HidDevice* device) {
    if (device->file != INVALID_HANDLE_VALUE) {
        CloseHandle(device->file);
    }
    if (device->stuck) {
        return;
    }
    for (IoSlot* slot : {&device->read, &device->write}) {
        if (slot->overlapped.hEvent != nullptr) {
            CloseHandle(slot->overlapped.hEvent);
        }
    }
    delete device;
}

// Opens the device at path for overlapped reads and writes; nullptr when it cannot.
HidDevice* OpenPath(const std::string& path) {
    HidDevice* device = new HidDevice;
    device->file =
        CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
    size_t inputLength = 0;
    size_t outputLength = 0;
    if (device->file == INVALID_HANDLE_VALUE ||
        !ReportLengths(device->file, inputLength, outputLength) ||
        !PrepareSlot(device->read, inputLength) || !PrepareSlot(device->write, outputLength)) {
        FreeDevice(device);
        return nullptr;
    }
    return device;
}

// Tries each present HID device with these IDs in setupapi's order; the first that
// opens wins.
HidDevice* OpenWindows(uint16_t vendorId, uint16_t productId) {
    GUID hidGuid;
    HidD_GetHidGuid(&hidGuid);
    HDEVINFO set =
        SetupDiGetClassDevsA(&hidGuid, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    if (set == INVALID_HANDLE_VALUE) {
        return nullptr;
    }
    HidDevice* device = nullptr;
    SP_DEVICE_INTERFACE_DATA interfaceData = {};
    interfaceData.cbSize = sizeof(interfaceData);
    for (DWORD index = 0; device == nullptr && SetupDiEnumDeviceInterfaces(set, nullptr, &hidGuid,
                                                                           index, &interfaceData);
         ++index) {
        const std::string path = InterfacePath(set, interfaceData);
        if (!path.empty() && HasIds(path, vendorId, productId)) {
            device = OpenPath(path);
        }
    }
    SetupDiDestroyDeviceInfoList(set);
    return device;
}

// Ends the slot's I/O that ReadFile or WriteFile started: waits up to waitMs for it,
// else cancels it and waits for the cancellation to land. Returns the bytes moved,
// 0 when the I/O was cancelled, -1 when it failed or the cancellation did not land.
int FinishIo(HidDevice* device, IoSlot& slot, DWORD waitMs) {
    if (WaitForSingleObject(slot.overlapped.hEvent, waitMs) != WAIT_OBJECT_0) {
        CancelIo(device->file);
        if (WaitForSingleObject(slot.overlapped.hEvent, kCancelWaitMs) != WAIT_OBJECT_0) {
            device->stuck = true;
            return -1;
        }
    }
    DWORD moved = 0;
    if (!GetOverlappedResult(device->file, &slot.overlapped, &moved, FALSE)) {
        return GetLastError() == ERROR_OPERATION_ABORTED ? 0 : -1;
    }
    return static_cast<int>(moved);
}

// Starts a ReadFile or WriteFile of the slot's whole buffer and ends it as FinishIo
// does. Returns the bytes moved, 0 or -1. Called in the slot's turn.
int RunIo(HidDevice* device, IoSlot& slot, bool reading, DWORD waitMs) {
    if (device->stuck || slot.buffer.empty()) {
        return -1;
    }
    ResetEvent(slot.overlapped.hEvent);
    const DWORD length = static_cast<DWORD>(slot.buffer.size());
    const BOOL done =
        reading ? ReadFile(device->file, slot.buffer.data(), length, nullptr, &slot.overlapped)
                : WriteFile(device->file, slot.buffer.data(), length, nullptr, &slot.overlapped);
    if (!done && GetLastError() != ERROR_IO_PENDING) {
        return -1;
    }
    return FinishIo(device, slot, waitMs);
}

// Waits at most timeoutMs for one input report; Windows puts its report ID in byte 0.
int ReadWindows(HidDevice* device, uint8_t* data, size_t length, int timeoutMs) {
    IoSlot& slot = device->read;
    TakeTurn(slot.turns);
    int got = RunIo(device, slot, true, static_cast<DWORD>(std::max(timeoutMs, 0)));
    if (got > 0) {
        got = static_cast<int>(std::min(static_cast<size_t>(got), length));
        std::memcpy(data, slot.buffer.data(), static_cast<size_t>(got));
    }
    EndTurn(slot.turns);
    return got;
}

// Sends one output report, report ID in byte 0, padded with zeros to the device's
// output report length (Windows takes only whole reports). Returns that length.
int WriteWindows(HidDevice* device, const uint8_t* data, size_t length) {
    IoSlot& slot = device->write;
    if (length == 0 || length > slot.buffer.size()) {
        return -1;
    }
    TakeTurn(slot.turns);
    std::fill(std::copy(data, data + length, slot.buffer.begin()), slot.buffer.end(), 0);
    const int sent = RunIo(device, slot, false, kWriteWaitMs);
    EndTurn(slot.turns);
    return sent == static_cast<int>(slot.buffer.size()) ? sent : -1;
}

// Closes the device; no read or write is inside it (the handle table waits for them).
void CloseWindows(HidDevice* device) {
    FreeDevice(device);
}

constexpr HidDeviceCalls kWindowsCalls = {
    .open = OpenWindows,
    .read = ReadWindows,
    .write = WriteWindows,
    .close = CloseWindows,
};

} // namespace

const HidDeviceCalls& SystemHidDevice() {
    return kWindowsCalls;
}
