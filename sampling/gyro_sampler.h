// The gyro sampler: from the end of start-up to the end of the run, reads the gyro
// register as fast as the remote answers, keeps the decoded values current, asks
// the window to repaint after every sample and raises the destroy request on Home.
#ifndef TOBRISK_GYRO_SAMPLER_H
#define TOBRISK_GYRO_SAMPLER_H

#include <chrono>
#include <cstdint>

// The shortest time one sample takes while the remote does not answer: one data
// report period, so that a failing remote is not flooded with requests.
constexpr int kNoReplyBackOffMs = 10;

// One read of the gyro register as the sampler takes it: when it began, whether the
// reply came, the register's bytes, and microseconds from the request to the reply.
struct GyroRead {
    std::chrono::steady_clock::time_point start;
    bool replied = false;
    uint8_t high = 0;
    uint8_t low = 0;
    uint8_t error = 0; // the reply's error nibble: not 0 when the remote refused the read
    int64_t replyUs = 0;
};

// The sampler thread's body, started with _beginthread (default stack, no argument).
void SamplerThread(void* unused);

// The device side of one sample: the mode report, the read request and the wait for
// its reply (ReadGyroRegister). Needs runFlag set.
GyroRead ReadGyroOnce();

// Keeps a sample that got no reply from taking less than kNoReplyBackOffMs from start.
void BackOffAfter(std::chrono::steady_clock::time_point start);

// The signed gyro reading of the register's two bytes (most significant first):
// above 0x8000 it is raw - 0xFFFF, so 0x8000 gives 32768, 0x8001 -32766, 0xFFFF 0.
// Deliberate: the tool has always read the register this way, one off a two's
// complement reading (raw - 0x10000) on that side; kept so readings stay comparable.
int32_t GyroFromRegister(uint8_t high, uint8_t low);

// Asks the main window, if there is one yet, to repaint all of its client area.
void RequestRepaint();

// Marks the shutdown as begun and clears runFlag: the sampler ends after its current
// sample, or never starts sampling when it is still in its start delay. Returns
// false when the shutdown had begun already.
bool StopSampling();

#endif
