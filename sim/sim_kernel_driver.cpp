#include "sim_kernel_driver.h"

#include <algorithm>

namespace {

constexpr int kPollSteps = 3;

// Each of the driver's reports at the length the remote takes it.
template <uint8_t Id> using DriverReport = std::array<uint8_t, OutputReportLength(Id)>;

constexpr DriverReport<kReportReadRequest> kReadExtension = {
    kReportReadRequest, kRegisterSpace, 0xA4, 0x00, 0xFA, 0x00, 0x06};
constexpr DriverReport<kReportWriteMemory> kWriteMotionSensor = {
    kReportWriteMemory, kRegisterSpace, 0xA6, 0x00, 0xF0, 0x01, 0x55};
constexpr DriverReport<kReportReadRequest> kReadMotionSensor = {
    kReportReadRequest, kRegisterSpace, 0xA6, 0x00, 0xFA, 0x00, 0x06};
constexpr DriverReport<kReportStatusRequest> kAskStatus = {kReportStatusRequest, 0x00};
constexpr DriverReport<kReportReportingMode> kModeReport = {kReportReportingMode, 0x00,
                                                            kDriverMode};

// The view of one of the reports above.
template <size_t N> SimDriverReport View(const std::array<uint8_t, N>& report) {
    return {report.data(), report.size()};
}

} // namespace

int64_t SimDriverNextUs(const SimDriverSchedule& schedule, bool originalModel) {
    const int64_t pollUs = originalModel ? schedule.pollUs : kSimNever;
    return std::min({pollUs, schedule.statusUs, schedule.modeUs});
}

SimDriverAction SimDriverTakeNext(SimDriverSchedule& schedule, bool originalModel,
                                  int64_t latencyUs) {
    const int64_t next = SimDriverNextUs(schedule, originalModel);
    const int64_t answeredUs = next + latencyUs + kDriverReactionUs;
    if (schedule.modeUs == next) {
        schedule.modeUs = kSimNever;
        return SimDriverAction::Mode;
    }
    if (schedule.statusUs == next) {
        schedule.statusUs += kDriverEveryUs;
        schedule.modeUs = answeredUs;
        return SimDriverAction::AskStatus;
    }
    const int step = schedule.pollStep;
    schedule.pollStep = (step + 1) % kPollSteps;
    schedule.pollUs = schedule.pollStep == 0
                          ? schedule.pollUs - 2 * (latencyUs + kDriverReactionUs) + kDriverEveryUs
                          : answeredUs;
    return step == 0   ? SimDriverAction::ReadExtension
           : step == 1 ? SimDriverAction::WriteMotionSensor
                       : SimDriverAction::ReadMotionSensor;
}

void SimDriverHeardNothing(SimDriverSchedule& schedule) {
    schedule.modeUs = kSimNever;
}

void SimDriverHeardStatus(SimDriverSchedule& schedule, int64_t atUs) {
    schedule.modeUs = std::min(schedule.modeUs, atUs + kDriverReactionUs);
}

SimDriverReport SimDriverReportOf(SimDriverAction action) {
    switch (action) {
    case SimDriverAction::ReadExtension:
        return View(kReadExtension);
    case SimDriverAction::WriteMotionSensor:
        return View(kWriteMotionSensor);
    case SimDriverAction::ReadMotionSensor:
        return View(kReadMotionSensor);
    case SimDriverAction::AskStatus:
        return View(kAskStatus);
    case SimDriverAction::Mode:
        break;
    }
    return View(kModeReport);
}
