// Everything the layer knows of windows, window classes and message queues, beside
// the one lock that guards it all, and the reset of the whole layer. Internal to
// platform/posix.
//
// The layer lock is never held while a window procedure runs, while a thread
// waits, or while the display is called; the GDI lock, the X lock and the message
// boxes' lock are never held together with it.
#ifndef TOBRISK_PLATFORM_LAYER_STATE_H
#define TOBRISK_PLATFORM_LAYER_STATE_H

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "message_queue.h"
#include "win32.h"

namespace win32_layer {

struct WindowRecord; // one window; window_table.cpp

// A registered class.
struct WindowClass {
    std::string name; // as registered
    UINT style;       // CS_ flags
    WNDPROC procedure;
    HBRUSH background; // may be NULL
};

struct LayerState {
    std::mutex lock;                                            // guards all below
    std::map<uintptr_t, std::shared_ptr<WindowRecord>> windows; // by handle value, oldest first
    std::map<std::string, WindowClass> classes;                 // by lower-case name
    std::vector<QueueRef> queues;                               // every live queue
    ATOM nextAtom = 0xC000;                                     // the next class's atom
};

// The one layer state. Never destroyed, so threads still running at exit find it
// intact.
LayerState& Layer();

// The layer lock.
inline std::mutex& LayerLock() {
    return Layer().lock;
}

// Puts the whole layer back to its start: no window, class, queue, drawing object,
// named mutex or message box, and no display chosen. Threads started earlier keep
// running; their calls on what is gone fail.
void ResetLayer();

} // namespace win32_layer

#endif
