// The console around a measuring run, which differs by operating system; CMake
// picks measure_console_posix.cpp or measure_console_windows.cpp.
#ifndef TOBRISK_MEASURE_CONSOLE_H
#define TOBRISK_MEASURE_CONSOLE_H

#include <atomic>

// Makes every request to stop (Ctrl+C, SIGTERM; on Windows also Ctrl+Break, the
// console closing, logoff and shutdown) set stop, which ends the run after the
// sample in progress. Call before any other thread starts.
void CatchStopRequests(std::atomic<bool>& stop);

// Whether standard output is a terminal, for the status line.
bool OnTerminal();

// The run has ended whole: the remote released, the files closed, the summary
// printed. A stop request after which the system ends the process (Windows'
// closing of the console, logoff, shutdown) waits for this before it returns.
void RunEnded();

#endif
