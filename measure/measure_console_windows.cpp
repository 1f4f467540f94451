#include <io.h>

#include <cstdio>

#include "measure_console.h"
#include "measure_console_windows.h"

namespace {

// How long a closing console, a logoff or a shutdown waits for the run to end:
// Windows ends the process 5 s after such an event at the latest.
constexpr DWORD kEndWaitMs = 4500;

std::atomic<bool>* stopRequested = nullptr;
HANDLE runEnded = nullptr; // set by RunEnded; manual reset

// Runs on a thread of the system's own. Ctrl+C and Ctrl+Break only ask the run to
// stop. After the other events Windows ends the process as soon as this returns,
// which would lose the buffered CSV lines and leave the remote in mode 0x31 with
// all LEDs lit: those wait until the run has released the remote, closed its
// files and printed its summary.
} // namespace

BOOL WINAPI MeasureConsoleEvent(DWORD event) {
    *stopRequested = true;
    if (event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT) {
        WaitForSingleObject(runEnded, kEndWaitMs);
    }
    return TRUE;
}

void CatchStopRequests(std::atomic<bool>& stop) {
    stopRequested = &stop;
    runEnded = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    SetConsoleCtrlHandler(MeasureConsoleEvent, TRUE);
}

bool OnTerminal() {
    return _isatty(_fileno(stdout)) != 0;
}

void RunEnded() {
    std::fflush(stdout);
    if (runEnded != nullptr) {
        SetEvent(runEnded);
    }
}
