// The HID report library as the program links it, over hidapi's hidraw backend, on a
// machine with no remote: nothing opens, and no call reaches a device.
#include <gtest/gtest.h>

#include <array>
#include <filesystem>
#include <string>

#include "hid_report_library.h"

namespace {

// Whether the kernel knows a Wii Remote of either model (HID devices are named
// bus:vendor:product.serial, for example 0005:057E:0306.0001).
bool WiiRemoteConnected() {
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator("/sys/bus/hid/devices", error)) {
        const std::string name = entry.path().filename().string();
        if (name.find(":057E:0306.") != std::string::npos ||
            name.find(":057E:0330.") != std::string::npos) {
            return true;
        }
    }
    return false;
}

TEST(HidrawLibrary, WithNoRemotePresentNothingOpens) {
    if (WiiRemoteConnected()) {
        GTEST_SKIP() << "a Wii Remote is connected to this machine";
    }
    EXPECT_EQ(OpenHidHandle(0x057E, 0x0306), HID_NO_DEVICE);
    EXPECT_EQ(OpenHidHandle(0x057E, 0x0330), HID_NO_DEVICE);
}

TEST(HidrawLibrary, CallsWithoutAnOpenHandleFailAndLeaveTheBuffer) {
    for (HidHandle handle : {HID_NO_DEVICE, 0, 1, 7}) {
        std::array<uint8_t, HID_REPORT_BUFFER_SIZE> buffer;
        buffer.fill(0x5A);
        buffer[0] = 0x11;
        const auto before = buffer;
        uint32_t outWord = 99;
        EXPECT_EQ(ReadReport(handle, buffer.data(), &outWord), -1) << handle;
        EXPECT_EQ(WriteReport(handle, buffer.data(), &outWord), -1) << handle;
        CloseHidHandle(handle);
        EXPECT_EQ(buffer, before) << handle;
        EXPECT_EQ(outWord, 99u) << handle;
    }
}

} // namespace
