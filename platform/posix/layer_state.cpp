#include "layer_state.h"

#include "cairo_gdi.h"
#include "display.h"
#include "kernel.h"
#include "message_box.h"
#include "window_table.h"

namespace win32_layer {

LayerState& Layer() {
    static auto* layer = new LayerState;
    return *layer;
}

void ResetLayer() {
    ResetWindows();
    ResetDisplay();
    ResetGdi();
    ResetKernelObjects();
    ResetMessageBoxes();
}

} // namespace win32_layer
