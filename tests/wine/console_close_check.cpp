// tobrisk-measure's console handler under Wine: Ctrl+C asks the run to stop and
// returns at once; the console's closing asks too, but returns only once the run
// has ended whole (RunEnded), since Windows ends the process as soon as it returns.
// Prints one line per check and exits with the number of failures.
#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>

#include "measure_console.h"
#include "measure_console_windows.h"

namespace {

using Clock = std::chrono::steady_clock;

int failures = 0;

void Check(const char* what, bool ok) {
    std::printf("%s %s\n", ok ? "ok  " : "FAIL", what);
    failures += ok ? 0 : 1;
}

// Runs the handler for event on a thread of its own, as Windows does; returns when
// the handler returned.
std::thread Raise(DWORD event, std::atomic<bool>& returned) {
    return std::thread([event, &returned] {
        MeasureConsoleEvent(event);
        returned = true;
    });
}

// Waits until flag is set, five seconds at most.
bool WaitFor(const std::atomic<bool>& flag) {
    const Clock::time_point giveUpAt = Clock::now() + std::chrono::seconds(5);
    while (!flag && Clock::now() < giveUpAt) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return flag;
}

} // namespace

int main() {
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    std::atomic<bool> stop{false};
    CatchStopRequests(stop);

    std::atomic<bool> ctrlCReturned{false};
    std::thread ctrlC = Raise(CTRL_C_EVENT, ctrlCReturned);
    Check("Ctrl+C returns while the run goes on", WaitFor(ctrlCReturned));
    Check("Ctrl+C asks the run to stop", stop);
    ctrlC.join();

    stop = false;
    std::atomic<bool> closeReturned{false};
    std::thread close = Raise(CTRL_CLOSE_EVENT, closeReturned);
    Check("closing the console asks the run to stop", WaitFor(stop));
    // The run releasing the remote and writing its files.
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    Check("closing the console waits while the run ends", !closeReturned);
    RunEnded();
    Check("closing the console returns once the run has ended", WaitFor(closeReturned));
    close.join();
    return failures;
}
