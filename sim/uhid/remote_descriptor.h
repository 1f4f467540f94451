// The Wii Remote's HID report descriptor, as the remote hands it to a Bluetooth
// host: one application collection of vendor-defined byte arrays, one per report
// ID, each as long as that report's payload. The kernel's HID core takes only the
// input reports it declares, so every report the remote sends is in it.
#ifndef TOBRISK_SIM_UHID_REMOTE_DESCRIPTOR_H
#define TOBRISK_SIM_UHID_REMOTE_DESCRIPTOR_H

#include <cstddef>
#include <cstdint>
#include <vector>

// One report of the remote: its ID, its payload in bytes (the ID not counted), and
// whether the remote sends it (input) or takes it (output).
struct RemoteReportShape {
    uint8_t id;
    uint8_t payloadBytes;
    bool input;
};

// Every report the remote takes (0x10 to 0x1A) and sends (0x20 to 0x22, the data
// reports 0x30 to 0x37 and 0x3D to 0x3F), as the remote's documentation lists them.
extern const RemoteReportShape kRemoteReports[];
extern const size_t kRemoteReportCount;

// The descriptor's bytes.
std::vector<uint8_t> RemoteReportDescriptor();

#endif
