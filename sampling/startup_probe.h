// The start-up probe: proves, within 100 ms, that the remote streams accelerometer
// reports, on a short-lived thread of its own.
#ifndef TOBRISK_STARTUP_PROBE_H
#define TOBRISK_STARTUP_PROBE_H

// How long StopProbeThread and the sampler wait for the probe thread to leave its
// loop: one bounded read plus its 100 ms sleep, with room to spare.
constexpr int kProbeLeaveLimitMs = 1000;

// Starts the probe thread, busy-waits 100 ms on the calling thread, and returns
// whether a nonzero X acceleration was decoded meanwhile. Run on the UI thread.
bool ProbeRemote();

// The probe thread's body: polls data reports, one every 100 ms, while probeRunning is set.
void ProbeThread(void* unused);

// Ends a probe thread that is still inside its loop: clears probeRunning and waits (at
// most kProbeLeaveLimitMs) for the thread to leave; its reads are bounded, so it is
// never killed inside the HID library. A probe that has left already is left alone.
void StopProbeThread();

// Waits, at most timeoutMs, until the probe thread is out of its loop and can no
// longer read. Returns whether it is out.
bool WaitForProbeToLeave(int timeoutMs);

#endif
