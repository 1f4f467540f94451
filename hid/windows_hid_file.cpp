#include "windows_hid_file.h"

#include <hidclass.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <vector>

#include "call_turns.h"

static_assert(kErrorInvalidParameter == ERROR_INVALID_PARAMETER, "write_method.h's error codes");
static_assert(kErrorInvalidUserBuffer == ERROR_INVALID_USER_BUFFER, "write_method.h's error codes");

namespace {

// One kind of I/O on a device: reads or writes.
struct IoSlot {
    OVERLAPPED overlapped = {};  // hEvent is a manual-reset event owned by the slot
    std::vector<uint8_t> buffer; // one whole report, as long as the device's reports
    CallTurns turns;             // one I/O of this kind at a time
};

} // namespace

struct HidDevice {
    HANDLE file = INVALID_HANDLE_VALUE;          // opened for overlapped reads and writes
    const HidFileCalls* calls = nullptr;         // how writes are started
    IoSlot read;                                 // input reports
    IoSlot write;                                // output reports
    WriteMethod writeMethod = WriteMethod::None; // tried first; in the write slot's turn
    std::atomic<bool> stuck{false};              // an I/O did not land after its cancellation
};

namespace {

// How one I/O ended.
struct IoEnd {
    bool done = false; // completed without an error
    DWORD moved = 0;   // the bytes it moved, when done
    DWORD error = 0;   // why not, when not done: ERROR_OPERATION_ABORTED when it ran out of
                       // time and was cancelled, ERROR_TIMEOUT when the device is stuck
};

IoEnd Failed(DWORD error) {
    return {false, 0, error};
}

// Starts an I/O of length bytes of data; returns as ReadFile does.
using StartIo = BOOL (*)(HANDLE file, uint8_t* data, DWORD length, OVERLAPPED* overlapped);

BOOL StartRead(HANDLE file, uint8_t* data, DWORD length, OVERLAPPED* overlapped) {
    return ReadFile(file, data, length, nullptr, overlapped);
}

BOOL StartWrite(HANDLE file, uint8_t* data, DWORD length, OVERLAPPED* overlapped) {
    return WriteFile(file, data, length, nullptr, overlapped);
}

// The very request that HidD_SetOutputReport sends, with the report in the input
// buffer and no output buffer, as hid.dll passes it and the driver reads it (its
// SystemBuffer). It is started overlapped, so that it is bounded and cancelled like
// every other I/O here: HidD_SetOutputReport waits for it without a bound.
BOOL StartSetOutputReport(HANDLE file, uint8_t* data, DWORD length, OVERLAPPED* overlapped) {
    return DeviceIoControl(file, IOCTL_HID_SET_OUTPUT_REPORT, data, length, nullptr, 0, nullptr,
                           overlapped);
}

constexpr HidFileCalls kSystemCalls = {
    .startWrite = StartWrite,
    .startSetOutputReport = StartSetOutputReport,
};

// Gives the slot its event and a buffer of length bytes; false when the event
// cannot be made.
bool PrepareSlot(IoSlot& slot, size_t length) {
    slot.overlapped.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    slot.buffer.assign(length, 0);
    return slot.overlapped.hEvent != nullptr;
}

// Ends the slot's I/O that has been started: waits up to waitMs for it, else
// cancels it and waits for the cancellation to land.
IoEnd FinishIo(HidDevice* device, IoSlot& slot, DWORD waitMs) {
    if (WaitForSingleObject(slot.overlapped.hEvent, waitMs) != WAIT_OBJECT_0) {
        CancelIo(device->file);
        if (WaitForSingleObject(slot.overlapped.hEvent, kCancelWaitMs) != WAIT_OBJECT_0) {
            device->stuck = true;
            return Failed(ERROR_TIMEOUT);
        }
    }
    DWORD moved = 0;
    if (!GetOverlappedResult(device->file, &slot.overlapped, &moved, FALSE)) {
        return Failed(GetLastError());
    }
    return {true, moved, ERROR_SUCCESS};
}

// Starts an I/O of the slot buffer's first length bytes with start and ends it as
// FinishIo does. Called in the slot's turn.
IoEnd RunIo(HidDevice* device, IoSlot& slot, StartIo start, size_t length, DWORD waitMs) {
    if (device->stuck) {
        return Failed(ERROR_TIMEOUT);
    }
    ResetEvent(slot.overlapped.hEvent);
    if (!start(device->file, slot.buffer.data(), static_cast<DWORD>(length), &slot.overlapped)) {
        const DWORD error = GetLastError();
        if (error != ERROR_IO_PENDING) {
            return Failed(error);
        }
    }
    return FinishIo(device, slot, waitMs);
}

// Hands the write slot's first length bytes to the driver by method. A WriteFile
// that moved fewer bytes has failed; the set-output-report request may count no
// bytes back (the class driver reports 0), so its completing is enough.
IoEnd WriteOnce(HidDevice* device, WriteMethod method, size_t length) {
    IoSlot& slot = device->write;
    if (method == WriteMethod::SetOutputReport) {
        return RunIo(device, slot, device->calls->startSetOutputReport, length, kWriteWaitMs);
    }
    const IoEnd end = RunIo(device, slot, device->calls->startWrite, length, kWriteWaitMs);
    return end.done && end.moved != length ? Failed(ERROR_WRITE_FAULT) : end;
}

} // namespace

const HidFileCalls& SystemHidFileCalls() {
    return kSystemCalls;
}

HidDevice* WrapHidFile(HANDLE file, size_t inputLength, size_t outputLength,
                       WriteMethod firstMethod, const HidFileCalls& calls) {
    HidDevice* device = new HidDevice;
    device->file = file;
    device->calls = &calls;
    device->writeMethod = firstMethod;
    if (!PrepareSlot(device->read, inputLength) || !PrepareSlot(device->write, outputLength)) {
        CloseHidFile(device);
        return nullptr;
    }
    return device;
}

int ReadHidFile(HidDevice* device, uint8_t* data, size_t length, int timeoutMs) {
    IoSlot& slot = device->read;
    if (slot.buffer.empty()) {
        return -1;
    }
    TakeTurn(slot.turns);
    const IoEnd end = RunIo(device, slot, StartRead, slot.buffer.size(),
                            static_cast<DWORD>(std::max(timeoutMs, 0)));
    int got = end.error == ERROR_OPERATION_ABORTED ? 0 : -1;
    if (end.done) {
        got = static_cast<int>(std::min(static_cast<size_t>(end.moved), length));
        std::memcpy(data, slot.buffer.data(), static_cast<size_t>(got));
    }
    EndTurn(slot.turns);
    return got;
}

int WriteHidFile(HidDevice* device, const uint8_t* data, size_t length) {
    IoSlot& slot = device->write;
    if (length == 0 || length > slot.buffer.size()) {
        return -1;
    }
    TakeTurn(slot.turns);
    std::fill(std::copy(data, data + length, slot.buffer.begin()), slot.buffer.end(), 0);
    int sent = -1;
    for (WriteMethod method = device->writeMethod; sent < 0 && method != WriteMethod::None;) {
        const size_t onWire = WriteMethodLength(method, length, slot.buffer.size());
        const IoEnd end = WriteOnce(device, method, onWire);
        if (end.done) {
            device->writeMethod = method;
            sent = static_cast<int>(onWire);
        } else {
            method = NextWriteMethod(method, end.error);
        }
    }
    EndTurn(slot.turns);
    return sent;
}

void CloseHidFile(HidDevice* device) {
    CloseHandle(device->file);
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
