// A busy wait on the high-resolution performance counter.
#ifndef TOBRISK_WAIT_MILLISECONDS_H
#define TOBRISK_WAIT_MILLISECONDS_H

#include <cstdint>

// Spins until strictly more than ms milliseconds have passed. Never sleeps or yields.
void WaitMilliseconds(int32_t ms);

#endif
