// What the hidraw backend learns about a node besides its reports. Two notes, each
// written at most once per process on standard error: when a Wii Remote's hidraw
// node is there but the person running the program may not open it, the udev rule
// that grants the access is missing, or it is there and grants it to the person at
// the seat only; when the node that opened is bound to the kernel's own Wii Remote
// driver, that driver talks to the remote beside the program. And the node's report
// descriptor, for a recording of the session.
#ifndef TOBRISK_HID_HIDRAW_NOTES_H
#define TOBRISK_HID_HIDRAW_NOTES_H

#include <cstdint>
#include <string>
#include <vector>

// One hidraw node of the asked-for IDs that would not open.
struct HidrawNodeAttempt {
    std::string path; // the node as hidapi enumerated it, e.g. /dev/hidraw3
    int accessError;  // errno of access(path, R_OK | W_OK); 0 when access was granted
};

// The line (without its newline) for standard error when the remote's nodes were
// found but none could be opened for lack of permission; it names the first such
// node and either how to install the udev rule or, with ruleInstalled, that the rule
// gives the remote to the person whose session is active at the seat. "" when no
// note is due: no node was found, or one of them was accessible (its open failed
// for another reason).
std::string HidrawAccessNote(const std::vector<HidrawNodeAttempt>& failedNodes,
                             bool ruleInstalled);

// Whether Tobrisk's udev rule is in a folder udev reads rules from, under root
// ("" for this machine's own folders).
bool UdevRuleInstalled(const std::string& root);

// The line (without its newline) for standard error when the hidraw node at
// nodePath (e.g. /dev/hidraw3) is bound to the kernel's Wii Remote driver, as
// sysfsRoot (normally /sys) shows it in class/hidraw/<node>/device/driver; it names
// the node and the driver and points to the README. "" when another driver, or
// none, is bound.
std::string HidrawDriverNote(const std::string& nodePath, const std::string& sysfsRoot);

// The report descriptor of the hidraw node at nodePath, as sysfsRoot shows it in
// class/hidraw/<node>/device/report_descriptor; empty when it cannot be read.
std::vector<uint8_t> HidrawReportDescriptor(const std::string& nodePath,
                                            const std::string& sysfsRoot);

#endif
