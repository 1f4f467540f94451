// The choice of the display: X11 unless a test chose the headless display.
#include <atomic>
#include <cstdio>
#include <mutex>

#include "display.h"

namespace win32_layer {
namespace {

// The display state. Guarded by ChoiceLock().
struct DisplayChoice {
    bool headless = false;              // a test chose the headless display
    bool tried = false;                 // the display was opened or failed to open
    const Display* active = nullptr;    // the open display, if any
};
std::mutex& ChoiceLock() {
    static auto* lock = new std::mutex;
    return *lock;
}
DisplayChoice& Choice() {
    static auto* choice = new DisplayChoice;
    return *choice;
}
// The choice's headless field, for readers that must not take ChoiceLock().
std::atomic<bool> headlessChosen{false};

} // namespace

const Display* ActiveDisplay() {
    std::lock_guard hold(ChoiceLock());
    DisplayChoice& choice = Choice();
    if (!choice.tried) {
        choice.tried = true;
        const Display* display = choice.headless ? &headlessDisplay : &x11Display;
        choice.active = display->open() ? display : nullptr;
    }
    return choice.active;
}

const Display* OpenedDisplay() {
    std::lock_guard hold(ChoiceLock());
    return Choice().active;
}

void ResetDisplay() {
    std::lock_guard hold(ChoiceLock());
    DisplayChoice& choice = Choice();
    if (choice.active != nullptr) {
        choice.active->close();
    }
    choice = DisplayChoice{};
    headlessChosen = false;
}

void ChooseHeadlessDisplay() {
    std::lock_guard hold(ChoiceLock());
    DisplayChoice& choice = Choice();
    if (choice.active != nullptr && choice.active != &headlessDisplay) {
        choice.active->close();
    }
    choice = DisplayChoice{true, false, nullptr};
    headlessChosen = true;
}

bool HeadlessDisplayChosen() {
    return headlessChosen;
}

} // namespace win32_layer
