// What the message box and the test library need of the window table. Internal to
// platform/posix.
#ifndef TOBRISK_PLATFORM_WINDOW_TABLE_H
#define TOBRISK_PLATFORM_WINDOW_TABLE_H

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "display.h"
#include "win32.h"

namespace win32_layer {

// Whether the window exists (it may belong to any thread).
bool WindowExists(HWND window);
// The display of the process, opened on first use with the window table as the
// receiver of its events (display.h); null when none can be opened.
const Display* DisplayForWindows();

// What a display delivers; each posts to the window's thread and wakes it.
// Stale windows are ignored (false).
bool DeliverKeyDown(HWND window, UINT virtualKey);
bool DeliverCloseRequest(HWND window);
bool DeliverMouseButton(HWND window, UINT message, int x, int y);
// The display lost the window's contents: invalidate it with erase.
bool DeliverExpose(HWND window);
// The user resized the window: the next paint uses the new client size.
bool DeliverResize(HWND window, int width, int height);
// Creates a window for the layer's own use (the message box): the same as
// CreateWindowExA, but left out of the GDI log. The class must be registered.
HWND CreateInternalWindow(const char* className, const char* caption, int width, int height);
// Registers a class for the layer's own use unless it exists already.
void RegisterInternalClass(const char* className, WNDPROC procedure, HBRUSH background);

// What a window is: its caption and class, where it was created, the client size
// the display asks for, and whether it is visible and waits for a paint.
struct WindowFacts {
    std::string caption;
    std::string className;
    int x, y, width, height;
    bool visible, needsPaint;
};
// The facts of a window of any thread, or nothing for a stale handle.
std::optional<WindowFacts> FactsOfWindow(HWND window);
// The last frame EndPaint published, 0x00RRGGBB pixels row by row, or before the
// first a white frame of the client size; false for a stale handle.
bool ShownFrame(HWND window, int& width, int& height, std::vector<uint32_t>& pixels);

} // namespace win32_layer

#endif
