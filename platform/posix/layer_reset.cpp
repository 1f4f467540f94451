// The reset of the whole layer, the one place that knows every part and the order
// in which they are put back.
#include "layer_reset.h"

#include "cairo_gdi.h"
#include "display.h"
#include "kernel.h"
#include "layer_state.h"
#include "message_box.h"
#include "message_queue.h"

namespace win32_layer {

void ResetLayer() {
    std::vector<RecordRef> windows;
    {
        std::lock_guard hold(LayerLock());
        windows = TakeWindowsLocked();
        ResetQueuesLocked();
    }
    for (const auto& record : windows) {
        record->display->destroyWindow(record->handle);
    }
    ResetDisplay();
    ResetGdi();
    ResetKernelObjects();
    ResetMessageBoxes();
}

} // namespace win32_layer
