// The HID report library's four operations around one simulated remote, and the
// controls of sim_control.h.
//
// Time: every moment is counted in microseconds since the remote was opened, on
// the real steady clock or on a manual clock that tests move. Nothing runs in the
// background: each call first moves every report that has fallen due by now into
// the backlog, in order of due time, and only then acts, so a report always shows
// the remote as it was when the report fell due.
//
// Threads: one lock guards the whole remote. A read that finds nothing due waits
// on a condition variable, at most three report periods and never more than
// 50 ms; writes (a new reply may fall due sooner) and the close wake it. The
// remote's state is never destroyed, so a read woken by the close, or a thread
// still inside a call while the process ends, touches no freed memory.
#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <mutex>
#include <optional>
#include <string>

#include "hid_report_library.h"
#include "output_report_length.h"
#include "sim_control.h"
#include "sim_log.h"
#include "sim_remote_model.h"
#include "sim_scenario.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr uint16_t kNintendoVendorId = 0x057E;
constexpr uint16_t kRemoteProductId = 0x0306;
constexpr uint16_t kRemotePlusProductId = 0x0330; // the later model, same reports
constexpr int64_t kReadWaitPeriods = 3;
constexpr int64_t kReadWaitLimitUs = 50000;
constexpr uint8_t kReportLeds = 0x11;
constexpr uint8_t kReportReportingMode = 0x12;
constexpr uint8_t kReportReadRequest = 0x17;
constexpr uint8_t kFirstMode = 0x30; // the mode of a remote that has just connected

// A read request waiting for its reply to fall due.
struct PendingReply {
    int64_t dueUs;          // since opening
    SimReadRequest request; // as received
    uint64_t gyroIndex;     // which of the register's values it gets
};

// One opening of the remote, from OpenHidHandle to CloseHidHandle.
struct SimSession {
    SimScenario scenario;             // read at the opening
    bool manualClock = false;         // time moves only with SimAdvanceClock
    int64_t readWaitUs = 0;           // longest wait of a read
    Clock::time_point openedAt{};     // the real clock at the opening
    int64_t manualNowUs = 0;          // the manual clock
    bool streaming = false;           // data reports flow (after the first 0x12)
    int64_t streamStartUs = 0;        // when the first 0x12 came
    uint64_t nextDataIndex = 0;       // the next data report not yet in the backlog
    uint8_t mode = kFirstMode;        // ID of the data reports
    uint64_t gyroRequests = 0;        // register reads received
    std::deque<PendingReply> replies; // not yet due, in order of due time
    std::deque<SimReport> backlog;    // due and not yet read, oldest first
};

// The simulated remote; the lock guards every field.
struct SimRemote {
    std::mutex lock;
    std::condition_variable changed;             // a reply was queued or the remote closed
    std::optional<std::string> scenarioOverride; // from SimSetScenario
    bool manualClockWanted = false;              // from SimUseManualClock
    int64_t readWaitWantedUs = 0;                // from SimSetReadWait; 0 for the usual
    HidHandle lastHandle = 0;                    // handles count up and are never reused
    HidHandle openHandle = HID_NO_DEVICE;        // the open remote's handle, if any
    SimSession session;                          // the current or last opening
};

// The one remote. Never destroyed (see the top of this file).
SimRemote& Remote() {
    static SimRemote& remote = *new SimRemote;
    return remote;
}

// Microseconds since the last opening; 0 before any. Called with the lock held.
int64_t NowUs(const SimRemote& remote) {
    const SimSession& session = remote.session;
    if (remote.lastHandle == 0) {
        return 0;
    }
    if (session.manualClock) {
        return session.manualNowUs;
    }
    return std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - session.openedAt)
        .count();
}

// Whole milliseconds since the last opening, for the log. Called with the lock held.
int64_t NowMs(const SimRemote& remote) {
    return NowUs(remote) / 1000;
}

// Whether handle belongs to the open remote; logs the misuse when it does not.
// Called with the lock held.
bool IsOpenHandle(const SimRemote& remote, HidHandle handle, const char* call) {
    if (handle != HID_NO_DEVICE && handle == remote.openHandle) {
        return true;
    }
    const bool given = handle >= 1 && handle <= remote.lastHandle;
    SimLogEvent(NowMs(remote), std::string("misuse ") + call + " on " +
                                   (given ? "closed" : "unknown") + " handle " +
                                   std::to_string(handle));
    return false;
}

// Whether a buffer was given; logs the misuse when not. Called with the lock held.
bool HasBuffer(const SimRemote& remote, const uint8_t* buffer, const char* call) {
    if (buffer == nullptr) {
        SimLogEvent(NowMs(remote), std::string("misuse ") + call + " with a null buffer");
    }
    return buffer != nullptr;
}

// Due moment of data report number index.
int64_t DataDueUs(const SimSession& session, uint64_t index) {
    return session.streamStartUs + static_cast<int64_t>(index + 1) * session.scenario.periodUs;
}

// The next moment a report falls due; kSimNever when none will.
int64_t NextDueUs(const SimSession& session) {
    const int64_t data = session.streaming ? DataDueUs(session, session.nextDataIndex) : kSimNever;
    const int64_t reply = session.replies.empty() ? kSimNever : session.replies.front().dueUs;
    return std::min(data, reply);
}

// Skips the data reports due by nowUs that the backlog would drop anyway (only the
// newest `backlog` of them can stay), so a reader back after a long pause costs
// no more than a full backlog.
void SkipLostDataReports(SimSession& session, int64_t nowUs) {
    if (!session.streaming || nowUs < session.streamStartUs) {
        return;
    }
    const uint64_t dueCount =
        static_cast<uint64_t>((nowUs - session.streamStartUs) / session.scenario.periodUs);
    if (dueCount > session.nextDataIndex + session.scenario.backlog) {
        session.nextDataIndex = dueCount - session.scenario.backlog;
    }
}

// Data report number index as the remote sends it at its due moment.
SimReport MakeDataReport(const SimSession& session, uint64_t index) {
    const SimScenario& scenario = session.scenario;
    const int64_t dueUs = DataDueUs(session, index);
    const bool first = index == 0 && scenario.firstReportId.has_value();
    return SimBuildDataReport(first ? *scenario.firstReportId : session.mode,
                              SimButtonsAt(scenario, dueUs),
                              SimAccelerationsAt(scenario, dueUs, index), dueUs);
}

// The reply to a pending request as the remote sends it at its due moment.
SimReport MakeReply(const SimSession& session, const PendingReply& pending) {
    const SimScenario& scenario = session.scenario;
    return SimBuildReadReply(pending.request, SimButtonsAt(scenario, pending.dueUs),
                             SimGyroRegisterAt(scenario, pending.dueUs, pending.gyroIndex),
                             scenario.errorNibble, pending.dueUs);
}

// Adds a report to the backlog, dropping the oldest beyond its capacity.
void PushReport(SimSession& session, const SimReport& report) {
    session.backlog.push_back(report);
    while (session.backlog.size() > session.scenario.backlog) {
        session.backlog.pop_front();
    }
}

// Moves every report due by nowUs into the backlog, in order of due time (a data
// report first when both fall due at once). Called with the lock held.
void CatchUp(SimSession& session, int64_t nowUs) {
    SkipLostDataReports(session, nowUs);
    for (;;) {
        const int64_t dataDue =
            session.streaming ? DataDueUs(session, session.nextDataIndex) : kSimNever;
        const int64_t replyDue =
            session.replies.empty() ? kSimNever : session.replies.front().dueUs;
        if (std::min(dataDue, replyDue) > nowUs) {
            return;
        }
        if (dataDue <= replyDue) {
            PushReport(session, MakeDataReport(session, session.nextDataIndex++));
        } else {
            PushReport(session, MakeReply(session, session.replies.front()));
            session.replies.pop_front();
        }
    }
}

// 0x12: a data mode (0x30 to 0x3F) becomes the mode; any other is ignored. The
// first one starts the stream unless the scenario keeps the remote silent.
void TakeReportingMode(SimSession& session, const uint8_t* report, int64_t nowUs) {
    const uint8_t mode = report[2];
    if ((mode & 0xF0) == 0x30) {
        session.mode = mode;
    }
    if (!session.streaming && session.scenario.stream) {
        session.streaming = true;
        session.streamStartUs = nowUs;
        session.nextDataIndex = 0;
    }
}

// 0x17: queues the reply, unless the remote has gone mute.
void TakeReadRequest(SimSession& session, const uint8_t* report, int64_t nowUs) {
    if (nowUs >= session.scenario.muteFromUs) {
        return;
    }
    const SimReadRequest request = SimDecodeReadRequest(report);
    const uint64_t gyroIndex = SimIsGyroRegisterRead(request) ? session.gyroRequests++ : 0;
    session.replies.push_back({nowUs + session.scenario.latencyUs, request, gyroIndex});
}

// Acts on an output report that has reached the remote. LEDs and unknown reports
// change nothing the remote sends.
void TakeOutputReport(SimSession& session, const uint8_t* report, int64_t nowUs) {
    switch (report[0]) {
    case kReportReportingMode:
        TakeReportingMode(session, report, nowUs);
        break;
    case kReportReadRequest:
        TakeReadRequest(session, report, nowUs);
        break;
    case kReportLeds:
    default:
        break;
    }
}

// How long a read may wait for a report: three periods, at most 50 ms, unless a
// test asked for another wait.
int64_t ReadWaitUs(const SimScenario& scenario, int64_t wantedUs) {
    if (wantedUs > 0) {
        return wantedUs;
    }
    return std::min(kReadWaitPeriods * scenario.periodUs, kReadWaitLimitUs);
}

// The real moment at which a waiting read should look again: the next due report
// or the unplugging, whichever comes first.
Clock::time_point WakeAt(const SimSession& session) {
    const int64_t nextUs = std::min(NextDueUs(session), session.scenario.unplugFromUs);
    if (nextUs == kSimNever) {
        return Clock::time_point::max();
    }
    return session.openedAt + std::chrono::microseconds(nextUs);
}

// Hands the oldest report of the backlog to the reader.
int32_t HandOut(SimSession& session, uint8_t* buffer, uint32_t* outWord) {
    const SimReport& report = session.backlog.front();
    const uint8_t length = report.length;
    std::memcpy(buffer, report.bytes.data(), length);
    session.backlog.pop_front();
    if (outWord != nullptr) {
        *outWord = length;
    }
    return length;
}

// The scenario for an opening: the override, else TINY_HID_SIM, else the defaults.
// Writes one line to stderr when it is not valid. Called with the lock held.
bool ReadScenario(const SimRemote& remote, SimScenario& scenario) {
    const char* fromEnvironment = std::getenv("TINY_HID_SIM");
    const std::string text = remote.scenarioOverride ? *remote.scenarioOverride
                             : fromEnvironment       ? fromEnvironment
                                                     : "";
    std::string error;
    if (!ParseSimScenario(text, scenario, error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return false;
    }
    return true;
}

// Whether the IDs name a Wii Remote.
bool IsRemoteId(uint16_t vendorId, uint16_t productId) {
    return vendorId == kNintendoVendorId &&
           (productId == kRemoteProductId || productId == kRemotePlusProductId);
}

// Logs a refused opening and returns the failure.
HidHandle RefuseOpening() {
    SimLogEvent(0, "open-failed");
    return HID_NO_DEVICE;
}

} // namespace

extern "C" HidHandle OpenHidHandle(uint16_t vendorId, uint16_t productId) {
    SimRemote& remote = Remote();
    std::lock_guard<std::mutex> hold(remote.lock);
    SimLogChooseFile();
    SimScenario scenario;
    if (!ReadScenario(remote, scenario) || !scenario.present || !IsRemoteId(vendorId, productId)) {
        return RefuseOpening();
    }
    if (remote.openHandle != HID_NO_DEVICE) {
        std::fprintf(stderr, "tiny_hid_sim: the simulated remote is already open\n");
        return RefuseOpening();
    }
    remote.session = SimSession{};
    remote.session.scenario = std::move(scenario);
    remote.session.manualClock = remote.manualClockWanted;
    remote.session.readWaitUs = ReadWaitUs(remote.session.scenario, remote.readWaitWantedUs);
    remote.session.openedAt = Clock::now();
    remote.openHandle = ++remote.lastHandle;
    SimLogEvent(0, "open");
    return remote.openHandle;
}

extern "C" int32_t ReadReport(HidHandle handle, uint8_t* buffer, uint32_t* outWord) {
    SimRemote& remote = Remote();
    std::unique_lock<std::mutex> hold(remote.lock);
    if (!IsOpenHandle(remote, handle, "read") || !HasBuffer(remote, buffer, "read")) {
        return -1;
    }
    SimSession& session = remote.session;
    const Clock::time_point giveUpAt = Clock::now() + std::chrono::microseconds(session.readWaitUs);
    for (;;) {
        const int64_t nowUs = NowUs(remote);
        if (nowUs >= session.scenario.unplugFromUs) {
            return -1;
        }
        CatchUp(session, nowUs);
        if (!session.backlog.empty()) {
            return HandOut(session, buffer, outWord);
        }
        if (session.manualClock || Clock::now() >= giveUpAt) {
            return 0;
        }
        remote.changed.wait_until(hold, std::min(giveUpAt, WakeAt(session)));
        if (remote.openHandle != handle) {
            return -1;
        }
    }
}

extern "C" int32_t WriteReport(HidHandle handle, uint8_t* buffer, uint32_t* outWord) {
    SimRemote& remote = Remote();
    std::lock_guard<std::mutex> hold(remote.lock);
    if (!IsOpenHandle(remote, handle, "write") || !HasBuffer(remote, buffer, "write")) {
        return -1;
    }
    SimSession& session = remote.session;
    const int64_t nowUs = NowUs(remote);
    if (nowUs >= session.scenario.unplugFromUs) {
        return -1;
    }
    const size_t length = OutputReportLength(buffer[0]);
    SimLogWrite(nowUs / 1000, buffer, length);
    CatchUp(session, nowUs);
    TakeOutputReport(session, buffer, nowUs);
    remote.changed.notify_all();
    if (outWord != nullptr) {
        *outWord = static_cast<uint32_t>(length);
    }
    return static_cast<int32_t>(length);
}

extern "C" void CloseHidHandle(HidHandle handle) {
    SimRemote& remote = Remote();
    std::lock_guard<std::mutex> hold(remote.lock);
    if (!IsOpenHandle(remote, handle, "close")) {
        return;
    }
    SimLogEvent(NowMs(remote), "close");
    remote.openHandle = HID_NO_DEVICE;
    remote.session.replies.clear();
    remote.session.backlog.clear();
    remote.changed.notify_all();
}

bool SimSetScenario(const char* text) {
    SimRemote& remote = Remote();
    std::lock_guard<std::mutex> hold(remote.lock);
    remote.scenarioOverride = text ? std::optional<std::string>(text) : std::nullopt;
    SimScenario scenario;
    return ReadScenario(remote, scenario);
}

void SimUseManualClock(bool manualClock) {
    SimRemote& remote = Remote();
    std::lock_guard<std::mutex> hold(remote.lock);
    remote.manualClockWanted = manualClock;
}

void SimSetReadWait(int64_t milliseconds) {
    SimRemote& remote = Remote();
    std::lock_guard<std::mutex> hold(remote.lock);
    remote.readWaitWantedUs = std::max<int64_t>(milliseconds, 0) * 1000;
}

void SimAdvanceClock(int64_t microseconds) {
    SimRemote& remote = Remote();
    std::lock_guard<std::mutex> hold(remote.lock);
    remote.session.manualNowUs += std::max<int64_t>(microseconds, 0);
}
