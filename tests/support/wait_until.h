// Waiting in tests. Every wait for an event is bounded and says whether the event
// came, so that a test can fail on it; a check that something must not happen is
// made after events that prove it would have happened by then, never after a pause.
// Bounds are set for a busy two-core machine, and stretched in the sanitizer
// builds, which run the code several times slower.
#ifndef TOBRISK_TESTS_WAIT_UNTIL_H
#define TOBRISK_TESTS_WAIT_UNTIL_H

#include <chrono>
#include <functional>
#include <thread>

#ifndef TOBRISK_TEST_TIME_SCALE
#define TOBRISK_TEST_TIME_SCALE 1
#endif

// How many times longer the code under test may take in this build.
constexpr int kTestTimeScale = TOBRISK_TEST_TIME_SCALE;

// A bound of milliseconds in the plain build, for this build.
constexpr int ScaledMs(int milliseconds) {
    return milliseconds * kTestTimeScale;
}

// Checks done() until it holds, for at most ScaledMs(timeoutMs), letting other
// threads run in between; returns whether it held.
inline bool WaitUntil(const std::function<bool()>& done, int timeoutMs) {
    const auto giveUpAt =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(ScaledMs(timeoutMs));
    while (!done()) {
        if (std::chrono::steady_clock::now() >= giveUpAt) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    return true;
}

#endif
