// One input report of the simulated remote, as the model builds it and a replay
// plays it back.
#ifndef TOBRISK_SIM_REPORT_H
#define TOBRISK_SIM_REPORT_H

#include <array>
#include <cstddef>
#include <cstdint>

#include "remote_protocol.h"

constexpr size_t kSimMaxReportLength = kRemoteLongestReport;

// One input report, due at a moment since opening.
struct SimReport {
    int64_t dueUs;                                  // when the remote sends it
    uint8_t length;                                 // bytes in use, report ID included
    std::array<uint8_t, kSimMaxReportLength> bytes; // zero beyond length
};

#endif
