// The Linux kernel's Wii Remote driver (hid-wiimote) as it talks to the remote
// beside the program (scenario key `driver=1`): what it sends and when, and the
// reports the remote sends back to it. On a real system every hidraw reader sees
// those reports too. Pure functions of the schedule and the scenario.
//
// Its habits, as its public source shows them:
// - on the original remote, every 4 s it reads 6 bytes of identity at 0xA400FA
//   (the extension) and at 0xA600FA (the motion sensor extension) and writes 0x55
//   to 0xA600F0; the remote answers with two 0x21 replies for address 00 FA and a
//   0x22 acknowledgement of its write report 0x16;
// - after every 0x20 status report it sends its own reporting mode, 0x30.
// A remote sends 0x20 by itself (an extension plugged or pulled, or the driver
// asking for its battery), and then no data report until the next 0x12.
#ifndef TOBRISK_SIM_KERNEL_DRIVER_H
#define TOBRISK_SIM_KERNEL_DRIVER_H

#include <array>
#include <cstdint>

#include "sim_remote_model.h"

constexpr int64_t kDriverFirstPollUs = 1000000;   // its first identity poll after opening
constexpr int64_t kDriverFirstStatusUs = 2000000; // the first 0x20 after opening
constexpr int64_t kDriverEveryUs = 4000000;       // both come again this often
constexpr int64_t kDriverReactionUs = 1000;       // from the 0x20 to its mode report
constexpr uint8_t kDriverMode = 0x30;             // buttons only: nobody uses its accelerometer

// What the driver does next.
enum class SimDriverAction {
    Poll,   // its identity reads and its write
    Status, // the remote sends 0x20 and stops its data reports
    Mode,   // its 0x12 00 30 reaches the remote
};

// When each of the driver's actions comes next, in microseconds since opening.
struct SimDriverSchedule {
    int64_t pollUs = kDriverFirstPollUs;
    int64_t statusUs = kDriverFirstStatusUs;
    int64_t modeUs = kSimNever; // due after a status report
};

// The moment of the driver's next action.
int64_t SimDriverNextUs(const SimDriverSchedule& schedule);

// Takes the next action off the schedule and plans the ones that follow from it.
SimDriverAction SimDriverTakeNext(SimDriverSchedule& schedule);

// The driver's output reports of one poll, as they go on the wire (the write report
// 0x16 is 22 bytes), and its mode report.
constexpr std::array<uint8_t, 7> kDriverReadExtension = {0x17, 0x04, 0xA4, 0x00, 0xFA, 0x00, 0x06};
constexpr std::array<uint8_t, 7> kDriverReadMotionPlus = {0x17, 0x04, 0xA6, 0x00, 0xFA, 0x00, 0x06};
constexpr std::array<uint8_t, 22> kDriverWriteMotionPlus = {0x16, 0x04, 0xA6, 0x00, 0xF0, 0x01, 0x55};
constexpr std::array<uint8_t, 3> kDriverModeReport = {0x12, 0x00, kDriverMode};

// The remote's answers to one poll at pollUs, a latency apart: the 0x21 with the
// extension's identity (a Nunchuk), the 0x21 with the motion sensor's (present,
// not active), and the 0x22 acknowledging the write.
std::array<SimReport, 3> SimDriverPollAnswers(const SimScenario& scenario, int64_t pollUs);

// The 7-byte 0x20 status report at dueUs: buttons, the LED bits with "extension
// connected", and a battery level.
SimReport SimBuildStatusReport(SimButtons buttons, uint8_t ledBits, int64_t dueUs);

#endif
