// Length on the wire of each output report the remote takes, report ID included.
#ifndef TOBRISK_OUTPUT_REPORT_LENGTH_H
#define TOBRISK_OUTPUT_REPORT_LENGTH_H

#include <stddef.h>
#include <stdint.h>

constexpr size_t kRemoteMaxOutputReportLength = 22;

// 0x11 (LEDs): 2, 0x12 (reporting mode): 3, 0x17 (read request): 7; any other ID
// is sent at the remote's maximum of 22 bytes.
size_t OutputReportLength(uint8_t reportId);

#endif
