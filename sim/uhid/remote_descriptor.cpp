#include "remote_descriptor.h"

const RemoteReportShape kRemoteReports[] = {
    {0x10, 1, false}, {0x11, 1, false},  {0x12, 2, false}, {0x13, 1, false},  {0x14, 1, false},
    {0x15, 1, false}, {0x16, 21, false}, {0x17, 6, false}, {0x18, 21, false}, {0x19, 1, false},
    {0x1A, 1, false}, {0x20, 6, true},   {0x21, 21, true}, {0x22, 4, true},   {0x30, 2, true},
    {0x31, 5, true},  {0x32, 10, true},  {0x33, 17, true}, {0x34, 21, true},  {0x35, 21, true},
    {0x36, 21, true}, {0x37, 21, true},  {0x3D, 21, true}, {0x3E, 21, true},  {0x3F, 21, true},
};
const size_t kRemoteReportCount = sizeof(kRemoteReports) / sizeof(kRemoteReports[0]);

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
    for (size_t i = 0; i < kRemoteReportCount; ++i) {
        const RemoteReportShape& report = kRemoteReports[i];
        const uint8_t mainItem = report.input ? 0x81 : 0x91; // Input or Output (Data, Array)
        descriptor.insert(descriptor.end(), {
                                                0x85,
                                                report.id, // Report ID
                                                0x95,
                                                report.payloadBytes, // Report Count
                                                0x09,
                                                0x01, // Usage (1)
                                                mainItem,
                                                0x00,
                                            });
    }
    descriptor.push_back(0xC0); // End Collection
    return descriptor;
}
