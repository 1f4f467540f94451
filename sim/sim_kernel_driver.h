// The Linux kernel's Wii Remote driver (hid-wiimote) as it talks to the remote
// beside the program (scenario key `driver=1`): what it sends and when. The remote
// answers it as it answers anyone, and on a real system every hidraw reader sees
// those answers too. Pure functions of the schedule.
//
// Its habits long after it bound to the remote, as Debian's 6.1 kernel showed them
// with the remote on uhid (docs/simulator.md):
// - on the original remote, every 4 s it looks for a motion sensor: it reads 6 bytes
//   of identity at 0xA400FA (the extension port), writes 0x55 to 0xA600F0 and reads
//   6 bytes at 0xA600FA, each request after the answer to the one before;
// - it asks for a status report (0x15) when the desktop reads the battery level, and
//   after every status report it sends its own reporting mode, 0x30.
#ifndef TOBRISK_SIM_KERNEL_DRIVER_H
#define TOBRISK_SIM_KERNEL_DRIVER_H

#include <array>
#include <cstddef>
#include <cstdint>

#include "sim_remote_model.h"

constexpr int64_t kDriverFirstPollUs = 1000000;   // its first identity poll after opening
constexpr int64_t kDriverFirstStatusUs = 2000000; // the first battery read after opening
constexpr int64_t kDriverEveryUs = 4000000;       // both come again this often
constexpr int64_t kDriverReactionUs = 1000;       // from an answer to its next request
constexpr uint8_t kDriverMode = kModeButtons;     // nobody uses its accelerometer

// What the driver does next.
enum class SimDriverAction {
    ReadExtension,     // the poll's read of the extension's identity
    WriteMotionSensor, // the poll's write that wakes a motion sensor
    ReadMotionSensor,  // the poll's read of the motion sensor's identity
    AskStatus,         // 0x15, for the battery level
    Mode,              // its 0x12 00 30, after the status report
};

// When each of the driver's actions comes next, in microseconds since opening.
struct SimDriverSchedule {
    int64_t pollUs = kDriverFirstPollUs;     // the poll's next request
    int pollStep = 0;                        // which of its three requests that is
    int64_t statusUs = kDriverFirstStatusUs; // the next battery read
    int64_t modeUs = kSimNever;              // due after a status report
};

// The moment of the driver's next action; it polls only the original remote.
int64_t SimDriverNextUs(const SimDriverSchedule& schedule, bool originalModel);

// Takes the next action off the schedule and plans the ones that follow from it:
// each request of a poll comes a latency and a reaction after the one before, and
// the mode report a latency and a reaction after the status request (call
// SimDriverHeardNothing when the remote did not answer it).
SimDriverAction SimDriverTakeNext(SimDriverSchedule& schedule, bool originalModel,
                                  int64_t latencyUs);

// The remote did not answer the status request: no mode report follows.
void SimDriverHeardNothing(SimDriverSchedule& schedule);

// A status report nobody asked for came in at atUs (an extension was plugged in
// or pulled out): the driver sends its mode a reaction later, as after any status.
void SimDriverHeardStatus(SimDriverSchedule& schedule, int64_t atUs);

// One output report of the driver, as it goes on the wire.
struct SimDriverReport {
    const uint8_t* bytes;
    size_t length;
};

// The report the driver sends for an action.
SimDriverReport SimDriverReportOf(SimDriverAction action);

#endif
