// The reset of the whole layer, for the test library. Internal to platform/posix.
#ifndef TOBRISK_PLATFORM_LAYER_RESET_H
#define TOBRISK_PLATFORM_LAYER_RESET_H

namespace win32_layer {

// Puts the whole layer back to its start: no window, class, queue, drawing object,
// named mutex or message box, and no display chosen. Threads started earlier keep
// running; their calls on what is gone fail.
void ResetLayer();

} // namespace win32_layer

#endif
