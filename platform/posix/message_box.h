// What the layer's test library needs of the message boxes. Internal to
// platform/posix.
#ifndef TOBRISK_PLATFORM_MESSAGE_BOX_H
#define TOBRISK_PLATFORM_MESSAGE_BOX_H

#include <string>
#include <vector>

#include "win32.h"

namespace win32_layer {

// The text of every message box shown since the last reset, oldest first.
std::vector<std::string> MessageBoxTextsShown();

// With hold, a box on the headless display waits to be dismissed as on a real one;
// without, its text goes to standard error and it returns at once.
void HoldMessageBoxes(bool hold);

// The newest box on screen, waiting at most timeoutMs for one; null when none.
HWND WaitForMessageBox(int timeoutMs);

// The OK button of a box on screen, in its client coordinates; empty when gone.
RECT MessageBoxButton(HWND box);

// Forgets the texts shown and the hold.
void ResetMessageBoxes();

} // namespace win32_layer

#endif
