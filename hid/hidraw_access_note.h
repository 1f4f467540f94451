// The hidraw backend's first-run note: when a Wii Remote's hidraw node is there but
// the person running the program may not open it, the udev rule that grants the
// access is missing, and the library says so, once, on standard error.
#ifndef TOBRISK_HID_HIDRAW_ACCESS_NOTE_H
#define TOBRISK_HID_HIDRAW_ACCESS_NOTE_H

#include <string>
#include <vector>

// One hidraw node of the asked-for IDs that would not open.
struct HidrawNodeAttempt {
    std::string path; // the node as hidapi enumerated it, e.g. /dev/hidraw3
    int accessError;  // errno of access(path, R_OK | W_OK); 0 when access was granted
};

// The line (without its newline) for standard error when the remote's nodes were
// found but none could be opened for lack of permission; it names the first such
// node and how to install the udev rule. "" when no note is due: no node was found,
// or one of them was accessible (its open failed for another reason).
std::string HidrawAccessNote(const std::vector<HidrawNodeAttempt>& failedNodes);

#endif
