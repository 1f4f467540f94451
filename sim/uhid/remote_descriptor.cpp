#include "remote_descriptor.h"

#include <iterator>

#include "remote_protocol.h"

std::vector<uint8_t> RemoteReportDescriptor() {
    std::vector<uint8_t> descriptor = {
        0x05, 0x01,       // Usage Page (Generic Desktop)
        0x09, 0x05,       // Usage (Game Pad)
        0xA1, 0x01,       // Collection (Application)
        0x06, 0x00, 0xFF, //   Usage Page (vendor defined 0xFF00)
        0x15, 0x00,       //   Logical Minimum (0)
        0x26, 0xFF, 0x00, //   Logical Maximum (255)
        0x75, 0x08,       //   Report Size (8 bits)
    };
    for (const RemoteReportShape& report : kRemoteReports) {
        // Report ID, Report Count (its payload in bytes), Usage (1), then Input or
        // Output (Data, Array).
        const uint8_t kind = report.input ? 0x81 : 0x91;
        const uint8_t items[] = {0x85, report.id, 0x95, report.payloadBytes, 0x09, 0x01, kind, 0};
        descriptor.insert(descriptor.end(), std::begin(items), std::end(items));
    }
    descriptor.push_back(0xC0); // End Collection
    return descriptor;
}
