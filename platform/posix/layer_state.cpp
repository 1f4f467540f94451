#include "layer_state.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

namespace win32_layer {

ThreadQueue::ThreadQueue() : wakeFd(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {
    if (wakeFd < 0) {
        std::perror("win32: eventfd");
        std::abort();
    }
}

ThreadQueue::~ThreadQueue() {
    close(wakeFd);
}

WindowRecord::~WindowRecord() {
    if (surface != nullptr) {
        cairo_surface_destroy(surface);
    }
}

LayerState& Layer() {
    static auto* layer = new LayerState;
    return *layer;
}

RecordRef FindWindowLocked(HWND window) {
    auto found = Layer().windows.find(reinterpret_cast<uintptr_t>(window));
    return found == Layer().windows.end() ? nullptr : found->second;
}

bool OwnedByCallerLocked(const WindowRecord& record, const ThreadQueue* caller) {
    return record.owner.get() == caller && !record.owner->dead;
}

QueueRef WindowOwnerLocked(HWND window) {
    RecordRef record = FindWindowLocked(window);
    return record ? record->owner : nullptr;
}

bool FindWindowToPaintLocked(const ThreadQueue& queue, HWND* window) {
    for (const auto& [value, record] : Layer().windows) {
        if (record->owner.get() == &queue && record->visible && record->needsPaint) {
            *window = record->handle;
            return true;
        }
    }
    return false;
}

LockedWindow LockWindow(HWND window) {
    LockedWindow locked{std::unique_lock(LayerLock()), FindWindowLocked(window)};
    if (!locked.record) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    }
    return locked;
}

LockedWindow LockCallersWindow(HWND window, const ThreadQueue* caller) {
    LockedWindow locked = LockWindow(window);
    if (locked.record && !OwnedByCallerLocked(*locked.record, caller)) {
        locked.record = nullptr;
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    }
    return locked;
}

std::vector<RecordRef> TakeWindowsLocked() {
    std::vector<RecordRef> windows;
    for (auto& [value, record] : Layer().windows) {
        windows.push_back(record);
    }
    Layer().windows.clear();
    Layer().classes.clear();
    return windows;
}

} // namespace win32_layer
