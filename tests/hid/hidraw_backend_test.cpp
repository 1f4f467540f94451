// The HID report library as the program links it, over hidapi's hidraw backend, on a
// machine with no remote: nothing opens, and no call reaches a device. And the
// notes: the node the udev rule did not open up, the node the kernel's driver holds.
#include <gtest/gtest.h>

#include <array>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "fresh_folder.h"
#include "hid_report_library.h"
#include "hidraw_notes.h"
#include "remote_reports.h"

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
    testing::internal::CaptureStderr();
    EXPECT_EQ(OpenHidHandle(kWiiRemoteVendor, kWiiRemoteProduct), HID_NO_DEVICE);
    EXPECT_EQ(OpenHidHandle(kWiiRemoteVendor, kWiiRemotePlusProduct), HID_NO_DEVICE);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "") << "no remote, so no note";
}

// The note, when due, names the node and, on one line, either the rule to install
// or, the rule being in place, the session it gives the remote to.
TEST(HidrawAccessNote, IsDueOnlyWhenEveryFailedNodeWasDeniedOrGone) {
    const std::string rule = "70-tobrisk-wiimote.rules";
    struct Case {
        const char* what;
        std::vector<HidrawNodeAttempt> failed;
        const char* namedNode; // nullptr: no note
        bool ruleInstalled = false;
    };
    const std::vector<Case> cases = {
        {"no node found", {}, nullptr},
        {"one node, permission denied", {{"/dev/hidraw3", EACCES}}, "/dev/hidraw3"},
        {"one node, not permitted", {{"/dev/hidraw1", EPERM}}, "/dev/hidraw1"},
        {"node accessible, open failed otherwise", {{"/dev/hidraw3", 0}}, nullptr},
        {"node gone before the check", {{"/dev/hidraw3", ENOENT}}, nullptr},
        {"gone, then denied", {{"/dev/hidraw2", ENOENT}, {"/dev/hidraw5", EACCES}}, "/dev/hidraw5"},
        {"two denied: the first is named",
         {{"/dev/hidraw4", EACCES}, {"/dev/hidraw6", EACCES}},
         "/dev/hidraw4"},
        {"denied, but another accessible",
         {{"/dev/hidraw4", EACCES}, {"/dev/hidraw6", 0}},
         nullptr},
        {"rule installed, denied: not the seat's session", {{"/dev/hidraw3", EACCES}},
         "/dev/hidraw3", true},
        {"rule installed, accessible", {{"/dev/hidraw3", 0}}, nullptr, true},
    };
    for (const Case& c : cases) {
        const std::string note = HidrawAccessNote(c.failed, c.ruleInstalled);
        if (c.namedNode == nullptr) {
            EXPECT_EQ(note, "") << c.what;
            continue;
        }
        EXPECT_EQ(note.rfind("tobrisk: ", 0), 0u) << c.what << ": " << note;
        EXPECT_NE(note.find(std::string(" ") + c.namedNode + " "), std::string::npos)
            << c.what << ": " << note;
        EXPECT_EQ(note.find("udev rule is missing") != std::string::npos, !c.ruleInstalled)
            << c.what << ": " << note;
        EXPECT_EQ(note.find("session is active at the seat") != std::string::npos, c.ruleInstalled)
            << c.what << ": " << note;
        EXPECT_NE(note.find(c.ruleInstalled ? " " + rule + " " : "packaging/udev/" + rule),
                  std::string::npos)
            << c.what << ": " << note;
        EXPECT_EQ(note.find('\n'), std::string::npos) << c.what << ": one line";
    }
}

// The rule counts in the folders udev reads, not under /usr/local or by another name.
TEST(UdevRuleInstalled, LooksWhereUdevReadsRules) {
    namespace fs = std::filesystem;
    const struct {
        const char* file; // under the root; nullptr: none
        bool installed;
    } cases[] = {
        {nullptr, false},
        {"etc/udev/rules.d/70-tobrisk-wiimote.rules", true},
        {"run/udev/rules.d/70-tobrisk-wiimote.rules", true},
        {"usr/lib/udev/rules.d/70-tobrisk-wiimote.rules", true},
        {"lib/udev/rules.d/70-tobrisk-wiimote.rules", true},
        {"usr/local/lib/udev/rules.d/70-tobrisk-wiimote.rules", false},
        {"etc/udev/rules.d/99-other.rules", false},
    };
    for (const auto& c : cases) {
        const fs::path root = FreshFolder("udev-root");
        if (c.file != nullptr) {
            fs::create_directories((root / c.file).parent_path());
            std::ofstream(root / c.file) << "\n";
        }
        EXPECT_EQ(UdevRuleInstalled(root.string()), c.installed) << (c.file ? c.file : "none");
        fs::remove_all(root);
    }
}

// The driver's note reads sysfs as the kernel lays it out: the node's device links
// to its driver's folder.
// A recording's R: line comes from sysfs: the whole binary descriptor, or nothing.
TEST(HidrawReportDescriptor, IsReadWholeFromSysfs) {
    namespace fs = std::filesystem;
    const fs::path sysfs = FreshFolder("sysfs-descriptor");
    fs::create_directories(sysfs / "class/hidraw/hidraw3/device");
    const std::vector<uint8_t> descriptor = {0x05, 0x01, 0x00, 0x0A, 0x1A, 0xFF, 0xC0};
    std::ofstream(sysfs / "class/hidraw/hidraw3/device/report_descriptor", std::ios::binary)
        .write(reinterpret_cast<const char*>(descriptor.data()),
               static_cast<std::streamsize>(descriptor.size()));
    EXPECT_EQ(HidrawReportDescriptor("/dev/hidraw3", sysfs.string()), descriptor);
    EXPECT_TRUE(HidrawReportDescriptor("/dev/hidraw4", sysfs.string()).empty());
    EXPECT_TRUE(HidrawReportDescriptor("", sysfs.string()).empty());
    fs::remove_all(sysfs);
}

TEST(HidrawDriverNote, IsDueOnlyForANodeBoundToTheWiimoteDriver) {
    namespace fs = std::filesystem;
    const fs::path sysfs = FreshFolder("sysfs");
    const auto bind = [&sysfs](const char* node, const char* driver) {
        const fs::path device = sysfs / "class/hidraw" / node / "device";
        fs::create_directories(device);
        if (driver != nullptr) {
            fs::create_directory_symlink(fs::path("../../../../bus/hid/drivers") / driver,
                                         device / "driver");
        }
    };
    bind("hidraw3", "wiimote");
    bind("hidraw4", "hid-generic");
    bind("hidraw5", nullptr);
    bind("hidraw6", "wiimote-plus");
    const struct {
        const char* node;
        bool due;
    } cases[] = {{"/dev/hidraw3", true},  {"/dev/hidraw4", false}, {"/dev/hidraw5", false},
                 {"/dev/hidraw6", false}, {"/dev/hidraw7", false}, {"", false}};
    for (const auto& c : cases) {
        const std::string note = HidrawDriverNote(c.node, sysfs.string());
        if (!c.due) {
            EXPECT_EQ(note, "") << c.node;
            continue;
        }
        EXPECT_EQ(note.rfind("tobrisk: ", 0), 0u) << note;
        EXPECT_NE(note.find(std::string(" ") + c.node + " "), std::string::npos) << note;
        EXPECT_NE(note.find("'wiimote'"), std::string::npos) << note;
        EXPECT_NE(note.find("README"), std::string::npos) << note;
        EXPECT_EQ(note.find('\n'), std::string::npos) << "one line";
    }
    fs::remove_all(sysfs);
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
