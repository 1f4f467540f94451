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
// on a condition variable, at most HID_READ_WAIT_MS, as the real library's reads
// do; writes (a new reply may fall due sooner) and the close wake it. The
// remote's state is never destroyed, so a read woken by the close, or a thread
// still inside a call while the process ends, touches no freed memory.
#include <algorithm>
#include <array>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <mutex>
#include <optional>
#include <string>

#include "hid_recording.h"
#include "hid_report_library.h"
#include "recording_file.h"
#include "remote_protocol.h"
#include "sim_control.h"
#include "sim_kernel_driver.h"
#include "sim_log.h"
#include "sim_remote_model.h"
#include "sim_replay.h"
#include "sim_scenario.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr uint8_t kFirstMode = kModeButtons; // the mode of a remote that has just connected

// One opening of the remote, from OpenHidHandle to CloseHidHandle.
struct SimSession {
    SimScenario scenario;              // read at the opening
    bool manualClock = false;          // time moves only with SimAdvanceClock
    int64_t readWaitUs = 0;            // longest wait of a read
    Clock::time_point openedAt{};      // the real clock at the opening
    int64_t manualNowUs = 0;           // the manual clock
    bool originalModel = true;         // opened as 0x0306, not the later 0x0330
    bool streaming = false;            // data reports flow (from a 0x12 to a 0x20)
    int64_t streamStartUs = 0;         // one period before the stream's first report
    uint64_t streamFirstIndex = 0;     // the number of the stream's first report
    uint64_t nextDataIndex = 0;        // the next data report not yet in the backlog
    uint8_t mode = kFirstMode;         // ID of the data reports
    bool continuous = false;           // every period, not only on a change (0x12 byte 1)
    bool nextDataDue = true;           // a mode report asks for the next data report
    SimReport lastData{};              // the last data report sent, to see a change
    uint8_t ledBits = 0;               // from the last 0x11
    uint64_t gyroRequests = 0;         // register reads received
    int64_t reads = 0;                 // ReadReport calls taken
    SimDriverSchedule driver;          // the kernel driver's next actions, if it is there
    int64_t extensionSeenUs = 0;       // the last plugging in or pulling out sent
    bool replayStarted = false;        // with `replay`: the first mode report has come
    int64_t replayStartUs = 0;         // the moment it came
    size_t replayNext = 0;             // the recording's next report not yet in the backlog
    HidRecording* recording = nullptr; // with TINY_HID_RECORD set; stopped by the close
    std::deque<SimReport> replies;     // answers not yet due, in order of due time
    std::deque<SimReport> backlog;     // due and not yet read, oldest first
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

// Due moment of the next data report; kSimNever while the remote does not stream.
int64_t DataDueUs(const SimSession& session) {
    if (!session.streaming) {
        return kSimNever;
    }
    const uint64_t inStream = session.nextDataIndex - session.streamFirstIndex;
    return session.streamStartUs + static_cast<int64_t>(inStream + 1) * session.scenario.periodUs;
}

// The moment of the kernel driver's next action; kSimNever without the driver, and
// in a replay, where the recording holds whatever the driver caused.
int64_t DriverDueUs(const SimSession& session) {
    const bool driver = session.scenario.kernelDriver && !session.scenario.replay;
    return driver ? SimDriverNextUs(session.driver, session.originalModel) : kSimNever;
}

// Due moment of the recording's next report; kSimNever before the first mode
// report, after the last report and without `replay`.
int64_t ReplayDueUs(const SimSession& session) {
    const SimReplay* replay = session.scenario.replay.get();
    if (replay == nullptr || !session.replayStarted ||
        session.replayNext >= replay->reports.size()) {
        return kSimNever;
    }
    return session.replayStartUs + replay->reports[session.replayNext].dueUs;
}

// The next moment a Nunchuk is plugged in or pulled out; kSimNever when never again
// (one there from the opening came with the remote) and in a replay.
int64_t ExtensionChangeDueUs(const SimSession& session) {
    const SimScenario& scenario = session.scenario;
    if (scenario.replay) {
        return kSimNever;
    }
    for (int64_t moment : {scenario.extensionFromUs, scenario.extensionUntilUs}) {
        if (moment > session.extensionSeenUs && moment != kSimNever) {
            return moment;
        }
    }
    return kSimNever;
}

// The next moment the stream may end: the driver's next action or the extension's.
int64_t StreamMayEndUs(const SimSession& session) {
    return std::min(DriverDueUs(session), ExtensionChangeDueUs(session));
}

// The next moment a report falls due or the driver acts; kSimNever when never.
int64_t NextDueUs(const SimSession& session) {
    const int64_t reply = session.replies.empty() ? kSimNever : session.replies.front().dueUs;
    return std::min({DataDueUs(session), reply, StreamMayEndUs(session), ReplayDueUs(session)});
}

// (Re)starts the data reports: the first falls due at firstDueUs, then one each period.
void StartStream(SimSession& session, int64_t firstDueUs) {
    session.streaming = true;
    session.streamStartUs = firstDueUs - session.scenario.periodUs;
    session.streamFirstIndex = session.nextDataIndex;
}

// Skips the data reports due by nowUs that the backlog would drop anyway (only the
// newest `backlog` of them can stay), so a reader back after a long pause costs
// no more than a full backlog. The driver's next action or the extension may end
// the stream, so only the reports due before them are counted.
void SkipLostDataReports(SimSession& session, int64_t nowUs) {
    const int64_t untilUs = std::min(nowUs, StreamMayEndUs(session));
    if (!session.streaming || untilUs < session.streamStartUs) {
        return;
    }
    const uint64_t dueCount =
        session.streamFirstIndex +
        static_cast<uint64_t>((untilUs - session.streamStartUs) / session.scenario.periodUs);
    if (dueCount > session.nextDataIndex + session.scenario.backlog) {
        session.nextDataIndex = dueCount - session.scenario.backlog;
    }
}

// What is plugged into the remote at nowUs.
SimRemoteParts Parts(const SimSession& session, int64_t nowUs) {
    return {SimExtensionAt(session.scenario, nowUs), !session.originalModel};
}

// Whether a report of this mode carries accelerations, whose noise changes every one.
bool CarriesAccelerations(uint8_t mode) {
    return (mode & 0x01) != 0 || mode == 0x3E;
}

// The next data report as the remote sends it at its due moment.
SimReport MakeDataReport(const SimSession& session) {
    const SimScenario& scenario = session.scenario;
    const uint64_t index = session.nextDataIndex;
    const int64_t dueUs = DataDueUs(session);
    const bool first = index == 0 && scenario.firstReportId.has_value();
    return SimBuildDataReport(first ? *scenario.firstReportId : session.mode,
                              SimButtonsAt(scenario, dueUs),
                              SimAccelerationsAt(scenario, dueUs, index), dueUs);
}

// Queues an answer to fall due at its moment, after the answers due no later.
void QueueReply(SimSession& session, const SimReport& reply) {
    const auto later = std::upper_bound(
        session.replies.begin(), session.replies.end(), reply.dueUs,
        [](int64_t dueUs, const SimReport& queued) { return dueUs < queued.dueUs; });
    session.replies.insert(later, reply);
}

// Adds a report to the backlog, dropping the oldest beyond its capacity.
void PushReport(SimSession& session, const SimReport& report) {
    session.backlog.push_back(report);
    while (session.backlog.size() > session.scenario.backlog) {
        session.backlog.pop_front();
    }
}

// 0x12: one of the remote's data modes becomes the mode; any other is ignored. A
// remote that does not stream starts to, unless the scenario keeps it silent; with
// `delay`, every mode report holds the next data report back by that long. In a
// replay, the first mode report starts the recording and later ones change nothing.
void TakeReportingMode(SimSession& session, const uint8_t* report, int64_t nowUs) {
    if (session.scenario.replay) {
        if (!session.replayStarted) {
            session.replayStarted = true;
            session.replayStartUs = nowUs;
        }
        return;
    }
    const uint8_t mode = report[2];
    if (IsDataMode(mode)) {
        session.mode = mode;
        session.continuous = (report[1] & kContinuousBit) != 0;
        session.nextDataDue = true;
    }
    const std::optional<int64_t>& delayUs = session.scenario.delayUs;
    if (!session.scenario.stream || (session.streaming && !delayUs)) {
        return;
    }
    StartStream(session, nowUs + delayUs.value_or(session.scenario.periodUs));
}

// Whether the remote answers a request that reaches it at nowUs: not once it has
// gone mute, and never in a replay (the recording holds the answers).
bool Answers(const SimSession& session, int64_t nowUs) {
    return nowUs < session.scenario.muteFromUs && !session.scenario.replay;
}

// 0x17: the reply to a read of the gyro register, memory or another register.
void TakeReadRequest(SimSession& session, const uint8_t* report, int64_t nowUs) {
    const SimScenario& scenario = session.scenario;
    const SimMemoryAccess request = SimDecodeReadRequest(report);
    const uint64_t gyroIndex = SimIsGyroRegisterRead(request) ? session.gyroRequests++ : 0;
    const int64_t dueUs = nowUs + scenario.latencyUs;
    const SimReadResult result =
        SimReadMemory(Parts(session, nowUs), request, SimGyroRegisterAt(scenario, dueUs, gyroIndex),
                      scenario.errorNibble);
    QueueReply(session, SimBuildReadReply(request, SimButtonsAt(scenario, dueUs), result, dueUs));
}

// The status report as the remote sends it at dueUs.
SimReport StatusReport(const SimSession& session, int64_t dueUs) {
    const uint8_t flags =
        static_cast<uint8_t>((session.ledBits & kLedsAll) |
                             (SimExtensionAt(session.scenario, dueUs) ? kStatusExtension : 0) |
                             (session.continuous ? kStatusContinuous : 0));
    return SimBuildStatusReport(SimButtonsAt(session.scenario, dueUs), flags, dueUs);
}

// 0x15: the status report, which leaves the data reports as they were.
void TakeStatusRequest(SimSession& session, int64_t nowUs) {
    QueueReply(session, StatusReport(session, nowUs + session.scenario.latencyUs));
}

// A Nunchuk plugged in or pulled out at atUs: the remote sends a status report
// nobody asked for and then no data report until the next 0x12. The kernel
// driver, if it is there, answers with its mode.
void ExtensionChanges(SimSession& session, int64_t atUs) {
    session.extensionSeenUs = atUs;
    session.streaming = false;
    PushReport(session, StatusReport(session, atUs));
    if (session.scenario.kernelDriver) {
        SimDriverHeardStatus(session.driver, atUs);
    }
}

// Acknowledges an output report with 0x22: every 0x16 write, with the error code of
// where it went, and any other report that asks for it (bit 1 of byte 1).
void Acknowledge(SimSession& session, const uint8_t* report, int64_t nowUs) {
    const uint8_t id = report[0];
    const bool asked = id != kReportStatusRequest && id != kReportReadRequest &&
                       (report[1] & kAcknowledgeBit) != 0;
    if (id != kReportWriteMemory && !asked) {
        return;
    }
    const uint8_t error = id == kReportWriteMemory
                              ? SimWriteMemory(Parts(session, nowUs), SimDecodeWriteRequest(report))
                              : 0;
    const int64_t dueUs = nowUs + session.scenario.latencyUs;
    QueueReply(session,
               SimBuildAcknowledgement(SimButtonsAt(session.scenario, dueUs), id, error, dueUs));
}

// Acts on an output report that has reached the remote, from the program or the
// kernel driver. Unknown reports change nothing the remote sends.
void TakeOutputReport(SimSession& session, const uint8_t* report, int64_t nowUs) {
    if (Answers(session, nowUs)) {
        Acknowledge(session, report, nowUs);
    }
    switch (report[0]) {
    case kReportReportingMode:
        TakeReportingMode(session, report, nowUs);
        break;
    case kReportReadRequest:
        if (Answers(session, nowUs)) {
            TakeReadRequest(session, report, nowUs);
        }
        break;
    case kReportStatusRequest:
        if (Answers(session, nowUs)) {
            TakeStatusRequest(session, nowUs);
        }
        break;
    case kReportLeds:
        session.ledBits = report[1];
        break;
    default:
        break;
    }
}

// Carries out the kernel driver's next action, due at atUs: its output report
// reaches the remote, which answers it as any other.
void DriverActs(SimSession& session, int64_t atUs) {
    const SimDriverAction action =
        SimDriverTakeNext(session.driver, session.originalModel, session.scenario.latencyUs);
    const SimDriverReport report = SimDriverReportOf(action);
    std::array<uint8_t, kSimMaxReportLength> bytes{};
    std::copy(report.bytes, report.bytes + report.length, bytes.begin());
    SimLogReport(atUs / 1000, "driver", bytes.data(), report.length);
    if (action == SimDriverAction::AskStatus && !Answers(session, atUs)) {
        SimDriverHeardNothing(session.driver);
    }
    TakeOutputReport(session, bytes.data(), atUs);
}

// Puts the next data report into the backlog, unless the remote keeps it back: in
// a mode that is not continuous, a report the same as the last one goes out only
// when a mode report asked for it. Accelerations always change (their noise).
void SendDataReport(SimSession& session) {
    const SimReport report = MakeDataReport(session);
    session.nextDataIndex++;
    const bool same =
        report.length == session.lastData.length && report.bytes == session.lastData.bytes;
    if (same && !session.continuous && !session.nextDataDue &&
        !CarriesAccelerations(report.bytes[0])) {
        return;
    }
    session.nextDataDue = false;
    session.lastData = report;
    PushReport(session, report);
}

// Moves the recording's reports due by nowUs into the backlog.
void CatchUpReplay(SimSession& session, int64_t nowUs) {
    for (int64_t dueUs = ReplayDueUs(session); dueUs <= nowUs; dueUs = ReplayDueUs(session)) {
        SimReport report = session.scenario.replay->reports[session.replayNext++];
        report.dueUs = dueUs;
        PushReport(session, report);
    }
}

// Moves every report due by nowUs into the backlog and carries out the driver's
// actions due by then, in order of their moments (at one moment: a data report,
// then answers, then the extension's coming or going, then the driver). Called
// with the lock held.
void CatchUp(SimSession& session, int64_t nowUs) {
    CatchUpReplay(session, nowUs);
    SkipLostDataReports(session, nowUs);
    for (;;) {
        const int64_t dataDue = DataDueUs(session);
        const int64_t replyDue =
            session.replies.empty() ? kSimNever : session.replies.front().dueUs;
        const int64_t driverDue = DriverDueUs(session);
        const int64_t extensionDue = ExtensionChangeDueUs(session);
        if (std::min({dataDue, replyDue, driverDue, extensionDue}) > nowUs) {
            return;
        }
        if (dataDue <= std::min({replyDue, driverDue, extensionDue})) {
            SendDataReport(session);
        } else if (replyDue <= std::min(driverDue, extensionDue)) {
            PushReport(session, session.replies.front());
            session.replies.pop_front();
        } else if (extensionDue <= driverDue) {
            ExtensionChanges(session, extensionDue);
        } else {
            DriverActs(session, driverDue);
            SkipLostDataReports(session, nowUs);
        }
    }
}

// How long a read may wait for a report: as long as the real library's reads,
// unless a test asked for another wait.
int64_t ReadWaitUs(int64_t wantedUs) {
    return wantedUs > 0 ? wantedUs : int64_t{HID_READ_WAIT_MS} * 1000;
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

// Hands the oldest report of the backlog to the reader at nowUs.
int32_t HandOut(SimSession& session, int64_t nowUs, uint8_t* buffer, uint32_t* outWord) {
    const SimReport& report = session.backlog.front();
    const uint8_t length = report.length;
    std::memcpy(buffer, report.bytes.data(), length);
    RecordInputReport(session.recording, nowUs, buffer, length);
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
    return vendorId == kRemoteVendorId &&
           (productId == kRemoteProductId || productId == kRemotePlusProductId);
}

// The recording of an opening when TINY_HID_RECORD asks for one; never into the file
// being replayed, which it would destroy (one line on standard error says so).
HidRecording* StartSessionRecording(const SimSession& session, uint16_t vendorId,
                                    uint16_t productId) {
    const char* path = RecordingPath();
    if (path == nullptr) {
        return nullptr;
    }
    if (session.scenario.replay && IsSameFile(path, session.scenario.replayPath)) {
        std::fprintf(stderr,
                     "tiny_hid_sim: %s names the file being replayed ('%s'); not recording\n",
                     kRecordVariable, path);
        return nullptr;
    }
    return StartRecording(path, vendorId, productId, {});
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
    remote.session.readWaitUs = ReadWaitUs(remote.readWaitWantedUs);
    remote.session.originalModel = productId == kRemoteProductId;
    remote.session.openedAt = Clock::now();
    remote.session.recording = StartSessionRecording(remote.session, vendorId, productId);
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
    ++session.reads;
    const Clock::time_point giveUpAt = Clock::now() + std::chrono::microseconds(session.readWaitUs);
    for (;;) {
        const int64_t nowUs = NowUs(remote);
        if (nowUs >= session.scenario.unplugFromUs) {
            return -1;
        }
        CatchUp(session, nowUs);
        if (!session.backlog.empty()) {
            return HandOut(session, nowUs, buffer, outWord);
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

namespace {

// Hands the open remote an output report of length bytes (the ID's own length for
// WriteReport); logged and recorded at that length.
int32_t DeliverOutputReport(HidHandle handle, const uint8_t* buffer, size_t length,
                            uint32_t* outWord) {
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
    CatchUp(session, nowUs);
    SimLogReport(nowUs / 1000, "write", buffer, length);
    RecordOutputReport(session.recording, nowUs, buffer, length);
    TakeOutputReport(session, buffer, nowUs);
    remote.changed.notify_all();
    if (outWord != nullptr) {
        *outWord = static_cast<uint32_t>(length);
    }
    return static_cast<int32_t>(length);
}

} // namespace

extern "C" int32_t WriteReport(HidHandle handle, uint8_t* buffer, uint32_t* outWord) {
    const size_t length = buffer != nullptr ? OutputReportLength(buffer[0]) : 0;
    return DeliverOutputReport(handle, buffer, length, outWord);
}

int32_t SimWriteReportOfLength(HidHandle handle, const uint8_t* report, size_t length) {
    if (report == nullptr) {
        return DeliverOutputReport(handle, nullptr, 0, nullptr);
    }
    std::array<uint8_t, HID_REPORT_BUFFER_SIZE> copy{};
    length = std::clamp<size_t>(length, 1, copy.size());
    std::memcpy(copy.data(), report, length);
    return DeliverOutputReport(handle, copy.data(), length, nullptr);
}

extern "C" void CloseHidHandle(HidHandle handle) {
    SimRemote& remote = Remote();
    std::lock_guard<std::mutex> hold(remote.lock);
    if (!IsOpenHandle(remote, handle, "close")) {
        return;
    }
    SimLogEvent(NowMs(remote), "close");
    StopRecording(remote.session.recording);
    remote.session.recording = nullptr;
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

void SimUnplug() {
    SimRemote& remote = Remote();
    std::lock_guard<std::mutex> hold(remote.lock);
    remote.session.scenario.unplugFromUs =
        std::min(remote.session.scenario.unplugFromUs, NowUs(remote));
    remote.changed.notify_all();
}

void SimPressHome() {
    SimRemote& remote = Remote();
    std::lock_guard<std::mutex> hold(remote.lock);
    remote.session.scenario.homeFromUs =
        std::min(remote.session.scenario.homeFromUs, NowUs(remote));
    remote.changed.notify_all();
}

void SimPlugOrPullExtension() {
    SimRemote& remote = Remote();
    std::lock_guard<std::mutex> hold(remote.lock);
    SimScenario& scenario = remote.session.scenario;
    const int64_t nowUs = std::max<int64_t>(NowUs(remote), remote.session.extensionSeenUs + 1);
    if (SimExtensionAt(scenario, nowUs)) {
        scenario.extensionUntilUs = nowUs;
    } else {
        scenario.extensionFromUs = nowUs;
        scenario.extensionUntilUs = kSimNever;
    }
    remote.changed.notify_all();
}

int64_t SimReadCount() {
    SimRemote& remote = Remote();
    std::lock_guard<std::mutex> hold(remote.lock);
    return remote.session.reads;
}

void SimAdvanceClock(int64_t microseconds) {
    SimRemote& remote = Remote();
    std::lock_guard<std::mutex> hold(remote.lock);
    remote.session.manualNowUs += std::max<int64_t>(microseconds, 0);
}
