// The headless display: windows live only in memory (their client surfaces are
// kept by the window table); tests deliver keys, clicks and close requests the
// way a real display would.
#include "display.h"
#include "win32_test_support.h"

namespace win32_layer {
namespace {

// The headless display is always there.
bool OpenHeadless() {
    return true;
}

// Nothing to close: the windows' memory belongs to the window table.
void CloseHeadless() {}

// No events arrive by themselves.
int HeadlessEventFd() {
    return -1;
}

// Events are delivered at once by the test calls below.
void PumpHeadless(bool) {}

// Accepts every window.
bool CreateHeadlessWindow(HWND, const DisplayWindowRequest&) {
    return true;
}

// Nothing to do for a window held in memory.
void DestroyHeadlessWindow(HWND) {}
void ShowHeadlessWindow(HWND, bool) {}
void PresentHeadlessFrame(HWND, const Frame&) {}

} // namespace

const Display headlessDisplay = {
    .name = "headless",
    .open = OpenHeadless,
    .close = CloseHeadless,
    .eventFd = HeadlessEventFd,
    .pumpEvents = PumpHeadless,
    .createWindow = CreateHeadlessWindow,
    .destroyWindow = DestroyHeadlessWindow,
    .showWindow = ShowHeadlessWindow,
    .presentFrame = PresentHeadlessFrame,
};

} // namespace win32_layer

using namespace win32_layer;

void Win32TestUseHeadlessDisplay() {
    ChooseHeadlessDisplay();
}

bool Win32TestPressKey(HWND window, UINT virtualKey) {
    return DeliverKeyDown(window, virtualKey);
}

bool Win32TestRequestClose(HWND window) {
    return DeliverCloseRequest(window);
}

bool Win32TestClick(HWND window, int x, int y) {
    return DeliverMouseButton(window, WM_LBUTTONDOWN, x, y) &&
           DeliverMouseButton(window, WM_LBUTTONUP, x, y);
}
