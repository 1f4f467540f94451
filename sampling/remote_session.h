// The session with the remote that every Tobrisk program holds, in its one order:
// opened, switched to button-and-accelerometer reports and proved by the start-up
// probe; lit; sampled; stopped; released. The window program samples on the
// sampler thread, tobrisk-measure on its main thread; both take each sample here.
//
// Flags and their owners: probeRunning and probeActive are the start-up probe's;
// samplingStopped is this session's, set once by EndSession, and it both ends the
// sampling and ends a reply wait under way.
#ifndef TOBRISK_REMOTE_SESSION_H
#define TOBRISK_REMOTE_SESSION_H

#include <chrono>
#include <cstdint>
#include <functional>

// How the start of a session went.
enum class SessionStart {
    Streaming,  // proved and lit: the session samples until EndSession
    NotFound,   // no remote: nothing was opened
    CannotOpen, // the remote did not stream: the probe thread ended, the device closed
    Declined,   // it streamed but goAhead said no: the remote released unlit
};

// What the user is told when a start fails, by every program.
constexpr const char* kRemoteNotFoundText = "Wii-Remote not found.";
constexpr const char* kRemoteCannotOpenText = "Wii-Remote cannot open.";

// Opens the remote, switches it to button-and-accelerometer reports, proves with
// the start-up probe that it streams and lights all four LEDs. Runs on the thread
// that will end the session.
// tellFailure (null: nothing is told) gets the user's text when the remote is not
// found (kRemoteNotFoundText) or does not stream (kRemoteCannotOpenText), before
// anything is undone: then the probe thread is ended and the device closed.
// goAhead (empty: go ahead) is asked once the remote streams, before the LEDs; when
// it says no, the remote is released as EndSession releases it.
SessionStart OpenSession(void (*tellFailure)(const char* text),
                         const std::function<bool()>& goAhead = {});

// Waits (at most kProbeLeaveLimitMs) until the probe thread is out of its loop, so
// that the caller is the one thread reading reports. Returns whether it is out.
// Called once by the thread that samples, before its first sample.
bool TakeOverReports();

// The shortest time one sample takes while the remote does not answer: one data
// report period, so that a failing remote is not flooded with requests.
constexpr int kNoReplyBackOffMs = 10;

// One sample's device side: when it began, whether the reply came, the register's
// bytes, microseconds from the request to the reply, and whether Home alone was down
// in the last data report (IsHomeAlone), which ends a run in every program.
struct GyroRead {
    std::chrono::steady_clock::time_point start;
    bool replied = false;
    uint8_t high = 0;
    uint8_t low = 0;
    uint8_t error = 0; // the reply's error nibble: not 0 when the remote refused the read
    int64_t replyUs = 0;
    bool homeAlone = false;
};

// One sample as every program takes it: the mode report, the read request and the
// wait for its reply (ReadGyroRegister). Ends early once the session is stopped.
GyroRead ReadGyroOnce();

// Keeps a sample that got no reply from taking less than kNoReplyBackOffMs from start.
void BackOffAfter(std::chrono::steady_clock::time_point start);

// Whether EndSession has begun: no sample is to start after it.
bool SamplingStopped();

// Ends the session once: stops the sampling (the sampler ends after its current
// sample, or never starts when it is still in its start delay; a reply wait under
// way ends), then leaves the remote in button-only reporting with its first LED lit
// and closes it. Never waits for the sampler. Later calls do nothing.
void EndSession();

#endif
