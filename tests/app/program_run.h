// The whole program in process: WinMain on a UI thread of its own, against the
// simulated remote on the headless display.
#ifndef TOBRISK_TESTS_PROGRAM_RUN_H
#define TOBRISK_TESTS_PROGRAM_RUN_H

#include <atomic>
#include <string>
#include <thread>

#include "device_state.h"
#include "sim_run.h"
#include "win32.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previousInstance, LPSTR commandLine, int showCommand);

// WinMain running on a UI thread of its own.
struct ProgramRun {
    std::thread ui;
    std::atomic<bool> ended{false};
    int exitCode = -1;

    void Start() {
        ended = false;
        ui = std::thread([this] {
            exitCode = WinMain(nullptr, nullptr, const_cast<LPSTR>(""), SW_SHOWDEFAULT);
            ended = true;
        });
    }
    // Waits for WinMain to return; false when it did not within timeoutMs.
    bool WaitForEnd(int timeoutMs) {
        const bool done = PumpUntil([this] { return ended.load(); }, timeoutMs);
        if (done && ui.joinable()) {
            ui.join();
        }
        return done;
    }
    ~ProgramRun() {
        if (ui.joinable()) {
            ui.detach();
        }
    }
};

// Starts the program on scenario and waits until it has sent `requests` read
// requests and its main window is there. The start-up probe gives the remote
// 100 ms; on a machine busy with other work it can miss them, and then the
// start-up is tried again, three times at most.
// Returns whether the program samples.
inline bool StartSampling(ProgramRun& run, const std::string& scenario, int requests = 3) {
    for (int attempt = 0; attempt < 3; ++attempt) {
        StartFreshRun(scenario);
        run.Start();
        // Sampling, and the window there to take what the test does to it.
        const auto sampling = [&] {
            return SimLogCount(kGyroRequest) >= requests && deviceState.mainWindow != nullptr;
        };
        PumpUntil([&] { return sampling() || run.ended; }, 5000);
        if (!run.ended) {
            return sampling();
        }
        run.WaitForEnd(1000);
    }
    return false;
}

#endif
