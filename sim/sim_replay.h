// A recorded session played back by the simulated remote (the scenario key
// `replay=<file>`): the recording's input reports, in their order and spacing,
// counted from the first mode report (0x12), as the remote sent them then.
#ifndef TOBRISK_SIM_REPLAY_H
#define TOBRISK_SIM_REPLAY_H

#include <string>
#include <vector>

#include "sim_report.h"

struct SimReplay {
    // Each report's dueUs counts from the moment the program's first mode report
    // reaches the remote. Reports recorded before the recording's first mode report
    // (above it in the file, whatever their times) are left out. A recording without
    // output reports starts at its first input report.
    std::vector<SimReport> reports;
};

// Reads the recording at path (docs/simulator.md gives the format). Returns false
// when it is missing, unreadable or malformed, with error set to the reason,
// which starts with the line ("line 7: ...") when the fault is in a line.
bool LoadSimReplay(const std::string& path, SimReplay& replay, std::string& error);

#endif
