#include "sim_run.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <thread>
#include <unistd.h>

#include "device_state_reset.h"
#include "sim_control.h"
#include "wait_until.h"
#include "win32_test_support.h"

namespace {

std::string logPath;

// Removes the last run's log.
void RemoveLog() {
    if (!logPath.empty()) {
        std::remove(logPath.c_str());
    }
}

// A new, empty log file of this run's own. Made by mkstemps, never named after the
// process: the simulated remote appends to its log, and a file left by an earlier
// process with the same ID (IDs come round again on a busy machine) would show
// that process's reports.
std::string FreshLogPath() {
    static const bool removedAtExit = std::atexit(RemoveLog) == 0;
    (void)removedAtExit;
    std::string path = "/tmp/tobrisk-test-XXXXXX.log";
    const int file = mkstemps(path.data(), 4);
    if (file >= 0) {
        close(file);
    }
    return path;
}

} // namespace

void StartFreshRun(const std::string& scenario) {
    Win32TestReset();
    Win32TestUseHeadlessDisplay();
    // Test processes running side by side must not be each other's second instance.
    Win32TestUsePrivateLockFolder();
    ResetDeviceState();
    RemoveLog();
    logPath = FreshLogPath();
    SimUseManualClock(false);
    SimSetReadWait(0);
    SimSetLogPath(logPath.c_str());
    SimSetScenario(scenario.c_str());
}

std::vector<std::string> SimLogLines() {
    return ReadLogLines(logPath);
}

std::vector<std::string> SimLogEvents() {
    std::vector<std::string> events;
    for (const std::string& line : SimLogLines()) {
        const size_t space = line.find(' ');
        events.push_back(space == std::string::npos ? line : line.substr(space + 1));
    }
    return events;
}

int SimLogCount(const std::string& event) {
    int count = 0;
    for (const std::string& e : SimLogEvents()) {
        count += e == event;
    }
    return count;
}

std::vector<std::string> SimLogLastEvents(size_t count) {
    const std::vector<std::string> events = SimLogEvents();
    return {events.end() - static_cast<std::ptrdiff_t>(std::min(count, events.size())), events.end()};
}

std::vector<std::string> SimMisuse() {
    std::vector<std::string> misuse;
    for (const std::string& event : SimLogEvents()) {
        if (event.rfind("misuse", 0) == 0) {
            misuse.push_back(event);
        }
    }
    return misuse;
}

bool PumpUntil(const std::function<bool()>& done, int timeoutMs) {
    return WaitUntil(
        [&done] {
            Win32TestDispatchPending();
            return done();
        },
        timeoutMs);
}
