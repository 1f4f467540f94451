// Handle values of the layer: a serial number that is never reused and a kind tag.
// A handle is only ever looked up in a table, never dereferenced.
#ifndef TOBRISK_PLATFORM_HANDLES_H
#define TOBRISK_PLATFORM_HANDLES_H

#include <cstdint>

namespace win32_layer {

// What a handle names; kept in its low four bits.
enum class HandleKind : uintptr_t {
    Window = 1,
    Pen = 2,
    Brush = 3,
    Font = 4,
    DeviceContext = 5,
    Mutex = 6,
    Icon = 7,
    Instance = 8,
};

// Serial numbers below this one are reserved for stock objects and fixed handles.
constexpr uintptr_t kFirstSerial = 1024;

// A fresh handle value of the kind, unique in the process (thread-safe).
uintptr_t NewHandleValue(HandleKind kind);

// The handle value with a fixed serial (stock objects, stock icons).
constexpr uintptr_t FixedHandleValue(HandleKind kind, uintptr_t serial) {
    return (serial << 4) | static_cast<uintptr_t>(kind);
}

// The kind tag of a handle value.
constexpr HandleKind KindOf(uintptr_t value) {
    return static_cast<HandleKind>(value & 0xF);
}

// The serial number of a handle value.
constexpr uintptr_t SerialOf(uintptr_t value) {
    return value >> 4;
}

} // namespace win32_layer

#endif
