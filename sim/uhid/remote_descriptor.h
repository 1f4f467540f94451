// The Wii Remote's HID report descriptor, as the remote hands it to a Bluetooth
// host: one application collection of vendor-defined byte arrays, one per report
// ID, each as long as that report's payload. The kernel's HID core takes only the
// input reports it declares, so every report the remote sends is in it. Built from
// the protocol's report table, so its sizes are the lengths the library sends.
#ifndef TOBRISK_SIM_UHID_REMOTE_DESCRIPTOR_H
#define TOBRISK_SIM_UHID_REMOTE_DESCRIPTOR_H

#include <cstdint>
#include <vector>

// The descriptor's bytes, one entry for each of the remote's reports
// (kRemoteReports of remote_protocol.h).
std::vector<uint8_t> RemoteReportDescriptor();

#endif
