// The HID report library's four operations: the handle table over this platform's
// device calls.
#include "hid_report_library.h"

#include "handle_table.h"

extern "C" HidHandle OpenHidHandle(uint16_t vendorId, uint16_t productId) {
    return OpenDeviceHandle(SystemHidDevice(), vendorId, productId);
}

extern "C" int32_t ReadReport(HidHandle handle, uint8_t* buffer, uint32_t* outWord) {
    return ReadDeviceReport(handle, buffer, outWord);
}

extern "C" int32_t WriteReport(HidHandle handle, uint8_t* buffer, uint32_t* outWord) {
    return WriteDeviceReport(handle, buffer, outWord);
}

extern "C" void CloseHidHandle(HidHandle handle) {
    CloseDeviceHandle(handle);
}
