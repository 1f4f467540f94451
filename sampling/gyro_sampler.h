// The gyro sampler: from the end of start-up to the end of the run, reads the gyro
// register as fast as the remote answers, keeps the decoded values current, asks
// the window to repaint after every sample and raises the destroy request on Home.
// It samples the remote session (remote_session.h), which EndSession stops.
#ifndef TOBRISK_GYRO_SAMPLER_H
#define TOBRISK_GYRO_SAMPLER_H

#include <cstdint>

// The sampler thread's body, started with _beginthread (default stack, no argument).
void SamplerThread(void* unused);

// The signed gyro reading of the register's two bytes (most significant first):
// above 0x8000 it is raw - 0xFFFF, so 0x8000 gives 32768, 0x8001 -32766, 0xFFFF 0.
// Deliberate: the tool has always read the register this way, one off a two's
// complement reading (raw - 0x10000) on that side; kept so readings stay comparable.
int32_t GyroFromRegister(uint8_t high, uint8_t low);

// Asks the main window, if there is one yet, to repaint all of its client area.
void RequestRepaint();

#endif
