// The choice of the display: X11 unless the headless display was chosen.
#include <cstdio>
#include <mutex>

#include "display.h"

namespace win32_layer {
namespace {

// Which display the process uses, beside the lock that guards it.
struct DisplayChoice {
    bool headless = false;           // the headless display was chosen
    bool tried = false;              // the display was opened or failed to open
    const Display* active = nullptr; // the open display, if any
};
struct ChosenDisplay {
    std::mutex lock;
    DisplayChoice choice;
};
ChosenDisplay& Chosen() {
    static auto* chosen = new ChosenDisplay;
    return *chosen;
}

} // namespace

const Display* ActiveDisplay(const DisplayEvents& events) {
    std::lock_guard hold(Chosen().lock);
    DisplayChoice& choice = Chosen().choice;
    if (!choice.tried) {
        choice.tried = true;
        const Display* display = choice.headless ? &headlessDisplay : &x11Display;
        choice.active = display->open(events) ? display : nullptr;
    }
    return choice.active;
}

const Display* OpenedDisplay() {
    std::lock_guard hold(Chosen().lock);
    return Chosen().choice.active;
}

void ResetDisplay() {
    std::lock_guard hold(Chosen().lock);
    DisplayChoice& choice = Chosen().choice;
    if (choice.active != nullptr) {
        choice.active->close();
    }
    choice = DisplayChoice{};
}

void ChooseHeadlessDisplay() {
    std::lock_guard hold(Chosen().lock);
    DisplayChoice& choice = Chosen().choice;
    if (choice.active != nullptr && choice.active != &headlessDisplay) {
        choice.active->close();
    }
    choice = DisplayChoice{true, false, nullptr};
}

} // namespace win32_layer
