// A scripted HID report library for tests: hands out queued input reads and
// records every call the program makes. Thread-safe.
#ifndef TOBRISK_TESTS_SCRIPTED_HID_H
#define TOBRISK_TESTS_SCRIPTED_HID_H

#include <chrono>
#include <cstdint>
#include <functional>
#include <vector>

#include "remote_reports.h"

// One scripted answer to ReadReport: a report (result > 0), no report in time
// (result 0) or a failure (result -1).
struct ScriptedRead {
    int32_t result;
    Bytes report;
};

ScriptedRead Report(Bytes bytes);
ScriptedRead NoReport();
ScriptedRead FailedRead();

// Forgets everything: empty queue, no writes, device present with handle 7.
void ScriptedHidReset();
// Resets the device state and the library as ScriptedHidReset does, and opens the
// remote into deviceState.hidHandle, as start-up does.
void OpenScriptedRemote();
void ScriptedHidSetPresent(bool present);
void ScriptedHidQueue(std::vector<ScriptedRead> reads);
// What a read answers once the queue is empty: 0 (no report, after 1 ms; the
// default) or -1 (fails at once, as a vanished device does).
void ScriptedHidWhenEmpty(int32_t result);
// Called with the number of the read (from 1) before each read is answered.
void ScriptedHidOnRead(std::function<void(int)> hook);

// Each write as the wire would carry it (its length follows from the report ID).
std::vector<Bytes> ScriptedHidWrites();
// When each write was made, in the same order.
std::vector<std::chrono::steady_clock::time_point> ScriptedHidWriteTimes();
int ScriptedHidReadCount();
int ScriptedHidCloseCount();
// Calls made with a handle that was never opened or was already closed.
int ScriptedHidMisuseCount();

#endif
