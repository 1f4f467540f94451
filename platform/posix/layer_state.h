// Everything the layer knows of windows, window classes and message queues, beside
// the one lock that guards it all, and the look-ups of a window's record. Internal
// to platform/posix.
//
// The layer's parts depend on one another one way: the window table
// (window_table.cpp) on the message queues (message_queue.cpp), both on this
// state; ResetLayer (layer_reset.h) puts them all back to their start.
//
// The layer lock is never held while a window procedure runs, while a thread
// waits, or while the display is called; the GDI lock, the X lock and the message
// boxes' lock are never held together with it.
#ifndef TOBRISK_PLATFORM_LAYER_STATE_H
#define TOBRISK_PLATFORM_LAYER_STATE_H

#include <cairo.h>

#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "win32.h"

namespace win32_layer {

struct Display;     // where a window is shown; display.h
struct SentMessage; // a message sent from one thread to a window of another; message_queue.cpp

// The message queue of one thread. Fields are guarded by the layer lock.
struct ThreadQueue {
    ThreadQueue();
    ~ThreadQueue();
    ThreadQueue(const ThreadQueue&) = delete;
    ThreadQueue& operator=(const ThreadQueue&) = delete;

    int wakeFd;                                    // eventfd, readable when there is news
    bool dead = false;                             // its thread ended, or the layer was reset
    std::deque<MSG> posted;                        // posted messages, oldest first
    std::deque<std::shared_ptr<SentMessage>> sent; // sent from other threads, oldest first
    bool quitPending = false;                      // PostQuitMessage was called
    int quitCode = 0;                              // its exit code
};
using QueueRef = std::shared_ptr<ThreadQueue>;

// One window. Fields are guarded by the layer lock, except surface, which only the
// owner thread touches while painting.
struct WindowRecord {
    WindowRecord() = default;
    WindowRecord(const WindowRecord&) = delete;
    WindowRecord& operator=(const WindowRecord&) = delete;
    ~WindowRecord();

    HWND handle;
    std::string caption;
    std::string className;
    WNDPROC procedure;
    HBRUSH background;             // the class brush
    QueueRef owner;                // queue of the creating thread
    const Display* display;        // where the window is shown
    bool internal;                 // the layer's own window: not in the GDI log
    int x, y;                      // as created
    int width, height;             // client size of the current surface
    int wantedWidth, wantedHeight; // client size the display asks for
    bool visible = false;
    bool needsPaint = false;            // invalid: a WM_PAINT is due
    bool needsErase = false;            // the next BeginPaint sends WM_ERASEBKGND
    bool destroying = false;            // DestroyWindow has begun
    cairo_surface_t* surface = nullptr; // the client area being drawn
    std::vector<uint32_t> shown;        // the last frame ended by EndPaint
    int shownWidth = 0, shownHeight = 0;
};
using RecordRef = std::shared_ptr<WindowRecord>;

// A registered class.
struct WindowClass {
    std::string name; // as registered
    UINT style;       // CS_ flags
    WNDPROC procedure;
    HBRUSH background; // may be NULL
};

struct LayerState {
    std::mutex lock;                            // guards all below
    std::map<uintptr_t, RecordRef> windows;     // by handle value, oldest first
    std::map<std::string, WindowClass> classes; // by lower-case name
    std::vector<QueueRef> queues;               // every live queue
    ATOM nextAtom = 0xC000;                     // the next class's atom
};

// The one layer state. Never destroyed, so threads still running at exit find it
// intact.
LayerState& Layer();

// The layer lock.
inline std::mutex& LayerLock() {
    return Layer().lock;
}

// The window's record, or null for a stale handle. Layer lock held.
RecordRef FindWindowLocked(HWND window);

// Whether the record belongs to the thread of the caller's queue (null for a
// thread without one). Layer lock held.
bool OwnedByCallerLocked(const WindowRecord& record, const ThreadQueue* caller);

// The queue of the thread that owns the window, or null for a stale window.
// Layer lock held.
QueueRef WindowOwnerLocked(HWND window);

// Finds a visible window of the queue's thread that needs painting (the oldest
// first). Layer lock held.
bool FindWindowToPaintLocked(const ThreadQueue& queue, HWND* window);

// A window's record with the layer lock held for as long as this lives: how every
// call that acts on one window begins. For a stale window the record is null and
// the calling thread's last error is ERROR_INVALID_WINDOW_HANDLE.
struct LockedWindow {
    std::unique_lock<std::mutex> hold;
    RecordRef record;
};
LockedWindow LockWindow(HWND window);
// The same for the calls that only the window's own thread may make (the caller's
// queue, null for a thread without one): a window of another thread is taken as
// stale.
LockedWindow LockCallersWindow(HWND window, const ThreadQueue* caller);

// Takes every window out of the layer and forgets every class. Layer lock held.
std::vector<RecordRef> TakeWindowsLocked();

} // namespace win32_layer

#endif
