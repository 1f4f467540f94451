#include "sim_kernel_driver.h"

#include <algorithm>

namespace {

constexpr uint8_t kReadReplySixBytes = 0x50; // (size - 1) << 4, no error
constexpr uint8_t kAcknowledgeId = 0x22;
constexpr uint8_t kExtensionConnected = 0x02; // status flags
constexpr uint8_t kBatteryLevel = 0xC8;
constexpr size_t kAcknowledgeLength = 5;
constexpr size_t kStatusLength = 7;

// Identities as the remote reports them at 0x..00FA.
constexpr std::array<uint8_t, 6> kNunchukIdentity = {0x00, 0x00, 0xA4, 0x20, 0x00, 0x00};
constexpr std::array<uint8_t, 6> kMotionPlusIdentity = {0x00, 0x00, 0xA6, 0x20, 0x00, 0x05};

// A report of length bytes at dueUs with the buttons in bytes 1 and 2.
SimReport StartReport(uint8_t id, size_t length, SimButtons buttons, int64_t dueUs) {
    SimReport report{dueUs, static_cast<uint8_t>(length), {}};
    report.bytes[0] = id;
    report.bytes[1] = buttons.byte1;
    report.bytes[2] = buttons.byte2;
    return report;
}

// The 0x21 reply with six bytes read at address 0x..00FA.
SimReport IdentityReply(const SimScenario& scenario, const std::array<uint8_t, 6>& identity,
                        int64_t dueUs) {
    SimReport reply =
        StartReport(kSimReadReplyId, kSimMaxReportLength, SimButtonsAt(scenario, dueUs), dueUs);
    reply.bytes[3] = kReadReplySixBytes;
    reply.bytes[4] = 0x00;
    reply.bytes[5] = 0xFA;
    std::copy(identity.begin(), identity.end(), reply.bytes.begin() + 6);
    return reply;
}

} // namespace

int64_t SimDriverNextUs(const SimDriverSchedule& schedule) {
    return std::min({schedule.pollUs, schedule.statusUs, schedule.modeUs});
}

SimDriverAction SimDriverTakeNext(SimDriverSchedule& schedule) {
    const int64_t next = SimDriverNextUs(schedule);
    if (schedule.modeUs == next) {
        schedule.modeUs = kSimNever;
        return SimDriverAction::Mode;
    }
    if (schedule.pollUs == next) {
        schedule.pollUs += kDriverEveryUs;
        return SimDriverAction::Poll;
    }
    schedule.modeUs = schedule.statusUs + kDriverReactionUs;
    schedule.statusUs += kDriverEveryUs;
    return SimDriverAction::Status;
}

std::array<SimReport, 3> SimDriverPollAnswers(const SimScenario& scenario, int64_t pollUs) {
    const int64_t latencyUs = scenario.latencyUs;
    const int64_t acknowledgedUs = pollUs + 3 * latencyUs;
    SimReport acknowledgement = StartReport(kAcknowledgeId, kAcknowledgeLength,
                                            SimButtonsAt(scenario, acknowledgedUs), acknowledgedUs);
    acknowledgement.bytes[3] = kDriverWriteMotionPlus[0];
    acknowledgement.bytes[4] = 0x00;
    return {IdentityReply(scenario, kNunchukIdentity, pollUs + latencyUs),
            IdentityReply(scenario, kMotionPlusIdentity, pollUs + 2 * latencyUs), acknowledgement};
}

SimReport SimBuildStatusReport(SimButtons buttons, uint8_t ledBits, int64_t dueUs) {
    SimReport status = StartReport(0x20, kStatusLength, buttons, dueUs);
    status.bytes[3] = static_cast<uint8_t>((ledBits & 0xF0) | kExtensionConnected);
    status.bytes[6] = kBatteryLevel;
    return status;
}
