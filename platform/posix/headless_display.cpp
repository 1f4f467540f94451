// The headless display: windows live only in memory (their client surfaces are
// kept by the window table). No events arrive by themselves: whoever drives it
// delivers keys, clicks and close requests through window_table.h as a real display
// would.
#include "display.h"

namespace win32_layer {
namespace {

// The headless display is always there.
bool HeadlessOpen(const DisplayEvents&) {
    return true;
}

// Nothing to close: the windows' memory belongs to the window table.
void HeadlessClose() {}

// No events arrive by themselves.
int HeadlessEventFd() {
    return -1;
}

// Events are delivered at once by the test calls below.
void HeadlessPump(bool) {}

// Accepts every window.
bool HeadlessCreateWindow(HWND, const DisplayWindowRequest&) {
    return true;
}

// Nothing to do for a window held in memory.
void HeadlessDestroyWindow(HWND) {}
void HeadlessShowWindow(HWND, bool) {}
void HeadlessPresentFrame(HWND, const Frame&) {}

} // namespace

const Display headlessDisplay = {
    .name = "headless",
    .open = HeadlessOpen,
    .close = HeadlessClose,
    .eventFd = HeadlessEventFd,
    .pumpEvents = HeadlessPump,
    .createWindow = HeadlessCreateWindow,
    .destroyWindow = HeadlessDestroyWindow,
    .showWindow = HeadlessShowWindow,
    .presentFrame = HeadlessPresentFrame,
};

} // namespace win32_layer
