// The display under the windows: X11 when a display can be opened, or the headless
// display that tests choose. One table of functions per display; the rest of the
// layer calls only through it, and never with the layer lock held. A display
// knows nothing of the layer above it: it hands its events to the table of
// functions it was opened with (the window table's). Internal to platform/posix.
#ifndef TOBRISK_PLATFORM_DISPLAY_H
#define TOBRISK_PLATFORM_DISPLAY_H

#include <cstdint>
#include <vector>

#include "frame_damage.h"
#include "win32.h"

namespace win32_layer {

// What a new window on the display looks like.
struct DisplayWindowRequest {
    const char* caption;   // title bar text
    const char* className; // the window class, for the window manager
    int x, y;              // CW_USEDEFAULT lets the display choose
    int width, height;     // client area
    bool dialog;           // a fixed-size dialog box rather than a main window
};

// A painted frame: 0x00RRGGBB pixels, stride in bytes, and what differs from the
// frame presented before it.
struct Frame {
    const uint32_t* pixels;
    int width, height, stride;
    bool whole;                   // all of it may differ (the first frame, a new size)
    std::vector<PixelRect> rects; // else only these rectangles differ
};

// Where a display hands what happens to its windows: the window table's calls,
// which post to the window's thread and wake it. Each returns false, having done
// nothing, for a stale window.
struct DisplayEvents {
    bool (*keyDown)(HWND window, UINT virtualKey);
    bool (*closeRequest)(HWND window);
    bool (*mouseButton)(HWND window, UINT message, int x, int y);
    bool (*expose)(HWND window);                        // contents lost: invalidate with erase
    bool (*resize)(HWND window, int width, int height); // the next paint uses the new size
};

// One display. Every function is thread-safe.
struct Display {
    const char* name; // "x11" or "headless"
    // Opens the display, which hands its events to events from now on; false when
    // unavailable.
    bool (*open)(const DisplayEvents& events);
    void (*close)();  // drops every window too
    int (*eventFd)(); // readable on events; -1: none
    // Delivers the events that have arrived; reads the connection for them only when
    // readConnection is set (it has data, or the caller will not wait for it).
    void (*pumpEvents)(bool readConnection);
    bool (*createWindow)(HWND window, const DisplayWindowRequest& request);
    void (*destroyWindow)(HWND window);
    void (*showWindow)(HWND window, bool visible);
    // Shows a painted frame; a display that lost the window's contents puts all of it.
    void (*presentFrame)(HWND window, const Frame& frame);
};

extern const Display x11Display;
extern const Display headlessDisplay;

// The display of the process, opened on first use with the events' receiver:
// headless when it was chosen, else X11; null when X11 cannot be opened.
const Display* ActiveDisplay(const DisplayEvents& events);
// The display if it is open already, else null; never opens one.
const Display* OpenedDisplay();
// Closes the display and forgets the choice.
void ResetDisplay();
// Chooses the headless display for the windows created from now on.
void ChooseHeadlessDisplay();

} // namespace win32_layer

#endif
