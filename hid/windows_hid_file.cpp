#include "windows_hid_file.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <vector>

#include "call_turns.h"

namespace {

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

// Gives the slot its event and a buffer of length bytes; false when the event
// cannot be made.
bool PrepareSlot(IoSlot& slot, size_t length) {
    slot.overlapped.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    slot.buffer.assign(length, 0);
    return slot.overlapped.hEvent != nullptr;
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

} // namespace

HidDevice* WrapHidFile(HANDLE file, size_t inputLength, size_t outputLength) {
    HidDevice* device = new HidDevice;
    device->file = file;
    if (!PrepareSlot(device->read, inputLength) || !PrepareSlot(device->write, outputLength)) {
        CloseHidFile(device);
        return nullptr;
    }
    return device;
}

int ReadHidFile(HidDevice* device, uint8_t* data, size_t length, int timeoutMs) {
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

int WriteHidFile(HidDevice* device, const uint8_t* data, size_t length) {
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
