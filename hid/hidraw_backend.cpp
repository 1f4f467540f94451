// The device calls on Linux, over hidapi's hidraw backend.
//
// Locking: hidapi keeps one error string per device that hid_read_timeout and
// hid_write both replace, and one process-wide error string that enumeration, open
// and close replace. So calls into one device run one at a time, in turns taken in
// arrival order (a write waits for the read slice in progress, never for a reader
// that loops), and open and close hold the process-wide hidapiLock.
//
// First run: when every node of the asked-for IDs fails to open and one of them
// lacks read and write permission, either the udev rule is missing or, with the rule
// in place, the person is not the one at the seat it gives the remote to; the open
// writes one line saying which to standard error (once per process) before it fails.
//
// The kernel's driver: when the node that opened is bound to hid-wiimote, that
// driver reads the remote's memory and sets its reporting mode beside us (the
// report protocol passes over its replies); the open says so on standard error,
// once per process, and goes on.
#include <hidapi.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <mutex>
#include <string>
#include <vector>

#include "call_turns.h"
#include "hid_device.h"
#include "hidraw_notes.h"

struct HidDevice {
    hid_device* hid = nullptr; // owned; closed by CloseHidraw
    std::string path;          // the node, e.g. /dev/hidraw3
    CallTurns turns;           // one hidapi call on this device at a time
};

namespace {

// Guards hidapi's process-wide state. Never destroyed: threads may outlive main.
std::mutex& HidapiLock() {
    static std::mutex* lock = new std::mutex;
    return *lock;
}

constexpr char kWiimoteDriver[] = "wiimote"; // hid-wiimote, as sysfs names it
constexpr char kUdevRule[] = "70-tobrisk-wiimote.rules"; // the rule's file name

bool accessNoteWritten = false; // the first-run note went out; guarded by HidapiLock
bool driverNoteWritten = false; // the kernel driver's note went out; guarded by HidapiLock

// Whether the permission bits let this process read and write the node: 0, or errno.
int NodeAccessError(const char* path) {
    return access(path, R_OK | W_OK) == 0 ? 0 : errno;
}

// After every node in found failed to open: writes the first-run note when it is due
// and not yet written. With no node found none is due, and the rule is not looked
// for. Called with HidapiLock held.
void NoteInaccessibleNodes(const hid_device_info* found) {
    if (accessNoteWritten || found == nullptr) {
        return;
    }
    std::vector<HidrawNodeAttempt> failed;
    for (const hid_device_info* info = found; info != nullptr; info = info->next) {
        failed.push_back({info->path, NodeAccessError(info->path)});
    }
    const std::string note = HidrawAccessNote(failed, UdevRuleInstalled(""));
    if (!note.empty()) {
        std::fprintf(stderr, "%s\n", note.c_str());
        accessNoteWritten = true;
    }
}

// After the node at path opened: writes the kernel driver's note when it is due and
// not yet written. Called with HidapiLock held.
void NoteBoundDriver(const char* path) {
    if (driverNoteWritten) {
        return;
    }
    const std::string note = HidrawDriverNote(path, "/sys");
    if (!note.empty()) {
        std::fprintf(stderr, "%s\n", note.c_str());
        driverNoteWritten = true;
    }
}

// Tries each hidraw node with these IDs in hidapi's order; the first that opens wins.
HidDevice* OpenHidraw(uint16_t vendorId, uint16_t productId) {
    std::lock_guard<std::mutex> hold(HidapiLock());
    if (hid_init() != 0) {
        return nullptr;
    }
    hid_device_info* found = hid_enumerate(vendorId, productId);
    hid_device* opened = nullptr;
    std::string path;
    for (hid_device_info* info = found; info != nullptr && opened == nullptr; info = info->next) {
        opened = hid_open_path(info->path);
        if (opened != nullptr) {
            NoteBoundDriver(info->path);
            path = info->path;
        }
    }
    if (opened == nullptr) {
        NoteInaccessibleNodes(found);
    }
    hid_free_enumeration(found);
    if (opened == nullptr) {
        return nullptr;
    }
    HidDevice* device = new HidDevice;
    device->hid = opened;
    device->path = path;
    return device;
}

// Waits at most timeoutMs for one input report; hidraw puts its report ID in byte 0.
int ReadHidraw(HidDevice* device, uint8_t* data, size_t length, int timeoutMs) {
    TakeTurn(device->turns);
    const int got = hid_read_timeout(device->hid, data, length, timeoutMs);
    EndTurn(device->turns);
    return got;
}

// Sends one output report, report ID in byte 0.
int WriteHidraw(HidDevice* device, const uint8_t* data, size_t length) {
    TakeTurn(device->turns);
    const int sent = hid_write(device->hid, data, length);
    EndTurn(device->turns);
    return sent;
}

// Closes the hidraw node and frees the device.
void CloseHidraw(HidDevice* device) {
    {
        std::lock_guard<std::mutex> hold(HidapiLock());
        hid_close(device->hid);
    }
    delete device;
}

// The node's report descriptor, as sysfs gives it.
std::vector<uint8_t> HidrawDescriptor(HidDevice* device) {
    return HidrawReportDescriptor(device->path, "/sys");
}

constexpr HidDeviceCalls kHidrawCalls = {
    .open = OpenHidraw,
    .read = ReadHidraw,
    .write = WriteHidraw,
    .close = CloseHidraw,
    .reportDescriptor = HidrawDescriptor,
    .clockUs = nullptr,
};

} // namespace

// The note is due when no failed node was accessible and one was denied.
std::string HidrawAccessNote(const std::vector<HidrawNodeAttempt>& failedNodes,
                             bool ruleInstalled) {
    const HidrawNodeAttempt* denied = nullptr;
    for (const HidrawNodeAttempt& node : failedNodes) {
        if (node.accessError == 0) {
            return "";
        }
        if (denied == nullptr && (node.accessError == EACCES || node.accessError == EPERM)) {
            denied = &node;
        }
    }
    if (denied == nullptr) {
        return "";
    }
    const std::string start = "tobrisk: the Wii Remote's hidraw node " + denied->path +
                              " is not accessible: ";
    if (ruleInstalled) {
        return start + "the udev rule " + kUdevRule +
               " is installed and gives the remote to the person whose session is active"
               " at the seat only; run Tobrisk in that session (see README)";
    }
    return start + "the udev rule is missing; install packaging/udev/" + kUdevRule +
           " into /etc/udev/rules.d (see README)";
}

// The folders udev reads rules from; a rule elsewhere (/usr/local) is not seen.
bool UdevRuleInstalled(const std::string& root) {
    namespace fs = std::filesystem;
    std::error_code error;
    for (const char* folder :
         {"/etc/udev/rules.d", "/run/udev/rules.d", "/usr/lib/udev/rules.d", "/lib/udev/rules.d"}) {
        if (fs::exists(fs::path(root + folder) / kUdevRule, error)) {
            return true;
        }
    }
    return false;
}

// The note is due when the node's device links to the driver called "wiimote".
std::string HidrawDriverNote(const std::string& nodePath, const std::string& sysfsRoot) {
    namespace fs = std::filesystem;
    const std::string node = fs::path(nodePath).filename().string();
    std::error_code error;
    const fs::path driver =
        fs::read_symlink(fs::path(sysfsRoot) / "class/hidraw" / node / "device/driver", error);
    if (node.empty() || error || driver.filename() != kWiimoteDriver) {
        return "";
    }
    return "tobrisk: the Wii Remote's hidraw node " + nodePath +
           " is bound to the kernel driver 'wiimote' (hid-wiimote), which talks to the"
           " remote beside Tobrisk; Tobrisk passes over its reports, and the README says"
           " how to hand the remote to hid-generic instead";
}

std::vector<uint8_t> HidrawReportDescriptor(const std::string& nodePath,
                                            const std::string& sysfsRoot) {
    namespace fs = std::filesystem;
    const std::string node = fs::path(nodePath).filename().string();
    if (node.empty()) {
        return {};
    }
    std::ifstream file(fs::path(sysfsRoot) / "class/hidraw" / node / "device/report_descriptor",
                       std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(file), {});
}

const HidDeviceCalls& SystemHidDevice() {
    return kHidrawCalls;
}
