// Running the program's pieces in process against the simulated remote on the
// headless display: a fresh start for each case and what reached the remote.
#ifndef TOBRISK_TESTS_SIM_RUN_H
#define TOBRISK_TESTS_SIM_RUN_H

#include <functional>
#include <string>
#include <vector>

#include "remote_reports.h"

// The program's reports as the simulated remote's log shows them.
inline const std::string kModeAccel = WriteEvent(kModeAccelReport);
inline const std::string kGyroRequest = WriteEvent(kGyroRequestReport);
inline const std::string kAllLeds = WriteEvent(kAllLedsReport);
inline const std::vector<std::string> kRelease = {WriteEvent(kModeButtonsReport),
                                                  WriteEvent(kFirstLedReport), "close"};

// Resets the Win32 layer (headless), the device state and the simulated remote,
// which will follow scenario and log to a fresh file of its own.
void StartFreshRun(const std::string& scenario);

// Every line of the simulated remote's log since StartFreshRun.
std::vector<std::string> SimLogLines();

// The log's events without their times ("open", "write 12 00 31", "close", ...).
std::vector<std::string> SimLogEvents();

// How many times event stands in the log.
int SimLogCount(const std::string& event);

// The last count events of the log (all of them when there are fewer).
std::vector<std::string> SimLogLastEvents(size_t count);

// The events that count as misuse of the library (calls on closed handles).
std::vector<std::string> SimMisuse();

// Dispatches this thread's messages until done() holds or timeoutMs pass (scaled
// as wait_until.h says). Returns whether done() held.
bool PumpUntil(const std::function<bool()>& done, int timeoutMs);

#endif
