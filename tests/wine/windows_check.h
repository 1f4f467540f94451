// The little a Windows check program under Wine needs: a failure count with
// expected-against-actual messages, and a clock. No test framework is built for
// Windows.
#ifndef TOBRISK_TESTS_WINE_WINDOWS_CHECK_H
#define TOBRISK_TESTS_WINE_WINDOWS_CHECK_H

#include <chrono>
#include <cstdio>

using CheckClock = std::chrono::steady_clock;

// Failed checks so far; main returns it.
inline int checkFailures = 0;

// Records a failed check with what was expected and what came.
inline void Check(bool passed, const char* what, long expected, long actual) {
    if (!passed) {
        ++checkFailures;
        std::printf("FAIL %s: expected %ld, got %ld\n", what, expected, actual);
    }
}

// Makes every line reach standard output as it is printed, so that the failures
// before a crash are not lost with the buffer.
inline void UnbufferedOutput() {
    std::setvbuf(stdout, nullptr, _IONBF, 0);
}

// Milliseconds since start.
inline long MsSince(CheckClock::time_point start) {
    return static_cast<long>(
        std::chrono::duration_cast<std::chrono::milliseconds>(CheckClock::now() - start).count());
}

#endif
