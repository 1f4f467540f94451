// The handles' serial numbers, shared by every kind of handle and depending on
// no other part of the layer.
#include "handles.h"

#include <atomic>

namespace win32_layer {
namespace {

std::atomic<uintptr_t> nextSerial{kFirstSerial};

} // namespace

uintptr_t NewHandleValue(HandleKind kind) {
    return (nextSerial.fetch_add(1) << 4) | static_cast<uintptr_t>(kind);
}

} // namespace win32_layer
