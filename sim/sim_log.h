// The simulated remote's event log: one line per event, appended to the file named
// by TINY_HID_SIM_LOG (or set by a test), written and flushed at once so that a
// process that ends abruptly loses nothing. Nothing else writes that file.
#ifndef TOBRISK_SIM_LOG_H
#define TOBRISK_SIM_LOG_H

#include <cstddef>
#include <cstdint>
#include <string_view>

// Chooses the file for the lines that follow: the path set by SimSetLogPath, else
// TINY_HID_SIM_LOG, else none. Called at every opening.
void SimLogChooseFile();

// Appends "<ms> <event>\n".
void SimLogEvent(int64_t ms, std::string_view event);

// Appends "<ms> <event>" and the report's bytes in lower-case hex: "write" for the
// program's output reports, "driver" for the kernel driver's.
void SimLogReport(int64_t ms, std::string_view event, const uint8_t* report, size_t length);

#endif
