// How the Windows backend hands an output report to the remote's driver, and what
// it tries next when a way is refused. Bluetooth stacks differ: Toshiba's takes only
// writes of the whole output report length and sends the report's own bytes;
// Microsoft's (Windows 8.1 and later) takes a WriteFile of the report's own length,
// while a padded one may report success and never reach the remote; on Windows 7,
// Microsoft's refuses short writes, and only the set-output-report request works.
// Kept free of <windows.h> so that every platform's tests run it; error codes are
// Windows' own numbers.
#ifndef TOBRISK_HID_WRITE_METHOD_H
#define TOBRISK_HID_WRITE_METHOD_H

#include <cstddef>
#include <cstdint>
#include <string>

enum class WriteMethod {
    PaddedWrite,     // WriteFile of the output report length, zeros after the report
    ReportWrite,     // WriteFile of the report's own length
    SetOutputReport, // the set-output-report request with the report's own length
    None,            // nothing is left to try
};

constexpr uint32_t kErrorInvalidParameter = 87;    // ERROR_INVALID_PARAMETER
constexpr uint32_t kErrorInvalidUserBuffer = 1784; // ERROR_INVALID_USER_BUFFER

// The way to try first on a remote whose Bluetooth device node has its driver from
// driverProvider (empty when that cannot be read): padded writes for Toshiba's
// stack, in any case; writes of the report's own length for every other.
WriteMethod FirstWriteMethod(const std::string& driverProvider);

// The way to try after failed was refused with error: the set-output-report request
// when a write of the report's own length was refused for its length
// (kErrorInvalidUserBuffer or kErrorInvalidParameter); otherwise None.
WriteMethod NextWriteMethod(WriteMethod failed, uint32_t error);

// How many bytes method hands to the driver for a report of reportLength bytes on a
// device whose output reports are outputLength bytes long.
size_t WriteMethodLength(WriteMethod method, size_t reportLength, size_t outputLength);

#endif
