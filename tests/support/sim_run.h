// Running the program's pieces in process against the simulated remote on the
// headless display: a fresh start for each case and what reached the remote.
#ifndef TOBRISK_TESTS_SIM_RUN_H
#define TOBRISK_TESTS_SIM_RUN_H

#include <functional>
#include <string>
#include <vector>

// The program's reports as the simulated remote's log shows them.
inline const std::string kModeAccel = "write 12 00 31";
inline const std::string kGyroRequest = "write 17 04 92 00 90 00 02";
inline const std::string kAllLeds = "write 11 f0";
inline const std::vector<std::string> kRelease = {"write 12 00 30", "write 11 10", "close"};

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
