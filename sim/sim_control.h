// Controls of the simulated remote for tests that run it in process. Each applies
// to the remotes opened after the call unless it says otherwise.
#ifndef TOBRISK_SIM_CONTROL_H
#define TOBRISK_SIM_CONTROL_H

#include <cstddef>
#include <cstdint>

#include "hid_report_library.h"

// Uses text instead of TINY_HID_SIM; null goes back to the environment. Returns
// false, with one line on stderr naming the key, when text is not a valid
// scenario; it is kept all the same, so the next OpenHidHandle refuses.
bool SimSetScenario(const char* text);

// Logs to path instead of TINY_HID_SIM_LOG, from now on; null goes back to the
// environment.
void SimSetLogPath(const char* path);

// With manualClock, time stands still for the remotes opened from now on except
// when SimAdvanceClock moves it, and a read that finds no report due returns 0 at
// once; without it (the default) the remote runs on the real clock.
void SimUseManualClock(bool manualClock);

// Makes a read that finds no report due wait up to milliseconds instead of its
// usual bound (HID_READ_WAIT_MS), for the remotes opened from now on;
// 0 restores the usual bound. Lets a test tell a read ended by the close from one
// that merely ran out of time.
void SimSetReadWait(int64_t milliseconds);

// Moves the manual clock on; each opening sets it back to 0.
void SimAdvanceClock(int64_t microseconds);

// Unplugs the open remote now, as the key `unplug` does at its moment: from now on
// every read and write on it fails.
void SimUnplug();

// Presses Home alone on the open remote now, as the key `home` does at its moment.
void SimPressHome();

// Plugs a Nunchuk into the open remote now, or pulls it out if one is in, as
// `extension` does at its moments.
void SimPlugOrPullExtension();

// How many ReadReport calls the open remote (or the last one opened) has taken,
// whatever they brought: lets a test tell a read that found nothing from no read.
int64_t SimReadCount();

// Hands the open remote an output report of the length it came with, as a kernel
// transport (the uhid remote) delivers it: logged and recorded at that length, read
// from a copy that is zero beyond it (1 to 256 bytes are taken). Otherwise as
// WriteReport: returns the length, or -1 when the handle is not open, the report is
// null or the remote is unplugged.
int32_t SimWriteReportOfLength(HidHandle handle, const uint8_t* report, size_t length);

#endif
