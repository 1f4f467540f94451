// The gyro sampler against the simulated remote, on the headless display.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <chrono>

#include <atomic>
#include <cstdlib>
#include <set>
#include <string>
#include <unistd.h>

#include "device_state.h"
#include "gyro_sampler.h"
#include "remote_session.h"
#include "hid_recording.h"
#include "platform_test_support.h"
#include "report_channel.h"
#include "report_protocol.h"
#include "sim_run.h"
#include "wait_milliseconds.h"
#include "win32.h"
#include "win32_test_support.h"

namespace {

// What a test window saw. Touched on the test's own thread only.
struct WindowRecord {
    HWND window = nullptr;
    int paints = 0;
    int destroys = 0;
    std::set<int32_t> gyroPainted;
    std::set<std::array<int, 3>> accelPaintedLate; // from kLateMs after the opening
};

constexpr auto kLateMs = std::chrono::milliseconds(900);
std::chrono::steady_clock::time_point openedAt;

WindowRecord mainRecord;
WindowRecord otherRecord;

WindowRecord& RecordOf(HWND window) {
    return window == mainRecord.window ? mainRecord : otherRecord;
}

// The platform tests' recording windows: a paint notes the gyro reading, and
// WM_DESTROY runs the part of the shutdown that concerns the sampler and the
// remote, as the program's window does.
bool HandleMessage(HWND window, UINT message, WPARAM, LPARAM, LRESULT* result) {
    *result = 0;
    if (message == WM_PAINT) {
        PAINTSTRUCT paint;
        BeginPaint(window, &paint);
        EndPaint(window, &paint);
        RecordOf(window).paints++;
        RecordOf(window).gyroPainted.insert(deviceState.gyroValue);
        if (std::chrono::steady_clock::now() - openedAt > kLateMs) {
            RecordOf(window).accelPaintedLate.insert(
                {deviceState.accelX, deviceState.accelY, deviceState.accelZ});
        }
        return true;
    }
    if (message == WM_DESTROY) {
        RecordOf(window).destroys++;
        EndSession();
        return true;
    }
    return false;
}

// A shown recording window.
HWND ShownTestWindow() {
    const HWND window = CreateTestWindow(100, 100);
    ShowWindow(window, SW_SHOWDEFAULT);
    return window;
}

class GyroSampler : public ::testing::Test {
  protected:
    // Opens the remote as start-up leaves it, with a main window (or none) and
    // another window of the same thread beside it; the sampler is not started yet.
    void Open(const std::string& scenario, bool withMainWindow = true) {
        StartFreshRun(scenario);
        mainRecord = WindowRecord{};
        otherRecord = WindowRecord{};
        deviceState.hidHandle = OpenHidHandle(kWiiRemoteVendor, kWiiRemoteProduct);
        openedAt = std::chrono::steady_clock::now();
        ASSERT_NE(deviceState.hidHandle, HID_NO_DEVICE);
        SetReportingMode(0x00, kModeButtonsAccel);
        RegisterTestClass(static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
        SetMessageHandler(HandleMessage);
        otherRecord.window = ShownTestWindow();
        if (withMainWindow) {
            mainRecord.window = ShownTestWindow();
            deviceState.mainWindow = mainRecord.window;
        }
        Win32TestDispatchPending();
        mainRecord.paints = otherRecord.paints = 0;
    }

    void StartSampler() {
        ASSERT_NE(_beginthread(SamplerThread, 0, nullptr), static_cast<uintptr_t>(-1));
    }

    // Runs until the sampler has sent count read requests.
    bool RunForRequests(int count, int timeoutMs = 3000) {
        return PumpUntil([count] { return SimLogCount(kGyroRequest) >= count; }, timeoutMs);
    }

    // The UI thread's shutdown, then the wait for the sampler to end.
    void ShutDown() {
        EndSession();
        EXPECT_TRUE(PumpUntil([] { return Win32TestRunningThreads() == 0; }, 3000))
            << "the sampler did not end";
    }

    void TearDown() override {
        ShutDown();
        ForgetTestBehaviour();
        EXPECT_TRUE(SimMisuse().empty());
    }
};

// A Nunchuk plugged in and pulled out while sampling: after each the remote sends
// no data report until a mode report, and the next sample's brings them back.
TEST_F(GyroSampler, AccelerationsMoveOnAfterAnExtensionComesAndGoes) {
    Open("extension=nunchuk@700,800");
    StartSampler();
    EXPECT_TRUE(PumpUntil([] { return mainRecord.accelPaintedLate.size() >= 3; }, 5000))
        << "the bars stood still after the Nunchuk came and went";
}

TEST_F(GyroSampler, EachSampleSendsTheModeReportThenTheReadRequest) {
    Open("");
    StartSampler();
    ASSERT_TRUE(RunForRequests(10));
    ShutDown();
    std::vector<std::string> writes;
    for (const std::string& event : SimLogEvents()) {
        if (event.rfind("write", 0) == 0) {
            writes.push_back(event);
        }
    }
    ASSERT_GE(writes.size(), 1u + 20u + 2u);
    EXPECT_EQ(writes.front(), kModeAccel) << "the start-up mode report";
    for (size_t i = 1; i + 2 < writes.size(); ++i) {
        ASSERT_EQ(writes[i], (i % 2 == 1) ? kModeAccel : kGyroRequest) << "write " << i;
    }
    EXPECT_EQ(SimLogLastEvents(3), kRelease);
}

// The register's values in turn, each painted as the program converts it. The
// reading starts at a value no conversion gives, so the 0 that 0xFFFF gives is
// not the reading's first value.
TEST_F(GyroSampler, GyroValueFollowsTheRegisterWithTheProgramsConversion) {
    Open("gyro=0064,8000,8001,FFFF;latency=5000");
    deviceState.gyroValue = 12345;
    mainRecord.gyroPainted.clear();
    StartSampler();
    const std::set<int32_t> expected = {100, 32768, -32766, 0};
    EXPECT_TRUE(PumpUntil([&] { return mainRecord.gyroPainted.size() >= expected.size(); }, 5000));
    ASSERT_TRUE(RunForRequests(SimLogCount(kGyroRequest) + 8)) << "two more rounds of the values";
    Win32TestDispatchPending();
    EXPECT_EQ(mainRecord.gyroPainted, expected);
}

// What counts as Home alone is the sample's (session_sample_test); here the sampler
// acts on it.
TEST_F(GyroSampler, HomeAloneEndsTheRunAndHomeWithAnotherButtonDoesNot) {
    const struct {
        const char* buttons;
        bool ends;
    } cases[] = {
        {"buttons=00,80@0", true},  // Home alone
        {"buttons=00,88@0", false}, // Home with A
    };
    for (const auto& c : cases) {
        Open(c.buttons);
        StartSampler();
        if (c.ends) {
            EXPECT_TRUE(PumpUntil([] { return mainRecord.destroys > 0; }, 3000)) << c.buttons;
            EXPECT_TRUE(PumpUntil([] { return Win32TestRunningThreads() == 0; }, 2000))
                << c.buttons;
            EXPECT_EQ(SimLogLastEvents(3), kRelease) << c.buttons;
        } else {
            // Every sample sees the buttons, and a destroy request holds the sampler
            // until this thread has handled it: ten samples on, one would have come.
            EXPECT_TRUE(RunForRequests(10)) << c.buttons;
            Win32TestDispatchPending();
        }
        EXPECT_EQ(mainRecord.destroys, c.ends ? 1 : 0) << c.buttons;
        ShutDown();
    }
}

// Beside Linux's hid-wiimote (its identity poll at 1 s, a battery read at 2 s after
// which it sets its own mode): the identity replies, whose bytes 6 and 7 are 00 00,
// never become the reading, and the sample under way when the driver's mode report
// comes is the last without our mode: in the log, at most one read request of ours
// lies between the driver's mode report and our next one.
TEST_F(GyroSampler, BesideTheKernelDriverTheReadingStaysOursAndTheAccelerationsComeBack) {
    Open("driver=1;gyro=0064;accel=140,128,100;latency=50000");
    mainRecord.gyroPainted.clear();
    StartSampler();
    const auto ourModeAfterTheDriversOne = [] {
        const std::vector<std::string> events = SimLogEvents();
        const auto driverMode = std::find(events.begin(), events.end(), "driver 12 00 30");
        return std::find(driverMode, events.end(), kModeAccel) != events.end();
    };
    ASSERT_TRUE(PumpUntil(ourModeAfterTheDriversOne, 5000));
    const std::vector<std::string> events = SimLogEvents();
    const auto driverMode = std::find(events.begin(), events.end(), "driver 12 00 30");
    const auto ourMode = std::find(driverMode, events.end(), kModeAccel);
    EXPECT_LE(std::count(driverMode, ourMode, kGyroRequest), 1);
    deviceState.accelX = 0;
    ASSERT_TRUE(PumpUntil([] { return deviceState.accelX == 140; }, 2000));
    EXPECT_EQ(mainRecord.gyroPainted, std::set<int32_t>{100});
}

// The reports of a recording, input or output, without the program's release at
// the end (its last two output reports), which comes whenever the test stops it.
std::vector<Bytes> RecordedWire(const std::string& path, bool output) {
    const std::string text = ReadFileText(path);
    std::vector<RecordedReport> reports;
    int badLine = 0;
    std::string why;
    EXPECT_TRUE(ParseRecording(text, reports, badLine, why))
        << path << ":" << badLine << " " << why;
    std::vector<Bytes> wire;
    for (const RecordedReport& report : reports) {
        if (report.output == output) {
            wire.push_back(report.bytes);
        }
    }
    wire.resize(output && wire.size() >= 2 ? wire.size() - 2 : wire.size());
    return wire;
}

// How many of the first reports two runs' wires have in common.
size_t CommonStart(const std::vector<Bytes>& one, const std::vector<Bytes>& other) {
    size_t same = 0;
    while (same < one.size() && same < other.size() && one[same] == other[same]) {
        ++same;
    }
    return same;
}

// A session recorded through the simulated remote (TINY_HID_RECORD) and played back
// (`replay`) paints the same gyro readings and carries the same reports both ways,
// in the same order, for as long as both runs lasted.
TEST_F(GyroSampler, ARecordedSessionReplaysToTheSameReadingsAndTheSameWire) {
    const std::string base = "/tmp/tobrisk-test-" + std::to_string(getpid());
    const std::string recorded = base + "-recorded.txt";
    const std::string replayed = base + "-replayed.txt";
    std::set<int32_t> painted[2];
    for (int run = 0; run < 2; ++run) {
        // No other thread runs here: the last run's sampler has ended.
        ASSERT_EQ(setenv(kRecordVariable, run == 0 ? recorded.c_str() : replayed.c_str(), 1), 0);
        Open(run == 0 ? "gyro=0064,8000,8001,FFFF,0001" : "replay=" + recorded);
        ASSERT_EQ(unsetenv(kRecordVariable), 0);
        mainRecord.gyroPainted.clear();
        StartSampler();
        ASSERT_TRUE(RunForRequests(12));
        ShutDown();
        painted[run] = mainRecord.gyroPainted;
    }
    EXPECT_EQ(painted[1], painted[0]);
    EXPECT_EQ(painted[0], (std::set<int32_t>{0, 1, 100, 32768, -32766}));
    for (bool output : {false, true}) {
        const std::vector<Bytes> first = RecordedWire(recorded, output);
        const std::vector<Bytes> second = RecordedWire(replayed, output);
        const size_t shorter = std::min(first.size(), second.size());
        EXPECT_GE(shorter, output ? 24u : 12u) << "reports " << (output ? "sent" : "read");
        EXPECT_EQ(CommonStart(first, second), shorter) << "reports " << (output ? "sent" : "read");
    }
    std::remove(recorded.c_str());
    std::remove(replayed.c_str());
}

TEST_F(GyroSampler, RepaintRequestsReachOnlyTheMainWindow) {
    Open("");
    StartSampler();
    ASSERT_TRUE(RunForRequests(10));
    PumpUntil([] { return mainRecord.paints > 0; }, 1000);
    EXPECT_GT(mainRecord.paints, 0);
    EXPECT_EQ(otherRecord.paints, 0);
}

TEST_F(GyroSampler, WithoutAMainWindowASampleRequestsNothingOfAnyWindow) {
    Open("buttons=00,80@0", false);
    StartSampler();
    ASSERT_TRUE(RunForRequests(10));
    Win32TestDispatchPending();
    EXPECT_EQ(otherRecord.paints, 0);
    EXPECT_EQ(otherRecord.destroys, 0);
    EXPECT_EQ(Win32TestRunningThreads(), 1) << "Home without a window must not end the sampler";
}

TEST_F(GyroSampler, AShutdownDuringTheStartDelaySendsNothingFromTheSampler) {
    Open("");
    StartSampler();
    ShutDown();
    const std::vector<std::string> expected = {"open", kModeAccel, kRelease[0], kRelease[1],
                                               kRelease[2]};
    EXPECT_EQ(SimLogEvents(), expected);
}

TEST_F(GyroSampler, AShutdownInTheMiddleOfASampleIsNeverFollowedByASamplerReport) {
    for (int round = 1; round <= 5; ++round) {
        Open("latency=30000");
        StartSampler();
        ASSERT_TRUE(RunForRequests(round));
        WaitMilliseconds(round * 7);
        ShutDown();
        EXPECT_EQ(SimLogLastEvents(3), kRelease) << "round " << round;
    }
}

TEST_F(GyroSampler, ARemoteThatStopsAnsweringNeverHoldsUpTheShutdown) {
    const struct {
        const char* scenario;
        std::vector<std::string> lastEvents;
    } cases[] = {
        {"mute=600", kRelease},
        {"mute=600;stream=0", kRelease},
        {"unplug=600", {"close"}},
    };
    for (const auto& c : cases) {
        Open(c.scenario);
        StartSampler();
        ASSERT_TRUE(RunForRequests(1)) << c.scenario;
        WaitMilliseconds(400); // well into the silence
        ShutDown();
        EXPECT_EQ(SimLogLastEvents(c.lastEvents.size()), c.lastEvents) << c.scenario;
    }
}

TEST(GyroConversion, RegisterBytesGiveTheSignedReading) {
    const struct {
        uint8_t high, low;
        int32_t gyro;
    } cases[] = {
        {0x00, 0x00, 0},      {0x00, 0x64, 100}, {0x7F, 0xFF, 32767}, {0x80, 0x00, 32768},
        {0x80, 0x01, -32766}, {0xFF, 0x9C, -99}, {0xFF, 0xFE, -1},    {0xFF, 0xFF, 0},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(GyroFromRegister(c.high, c.low), c.gyro)
            << std::hex << int(c.high) << " " << int(c.low);
    }
}

TEST(BusyWait, WaitsStrictlyLongerThanAskedOnThePerformanceCounter) {
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    for (int32_t ms : {0, 1, 5, 20}) {
        LARGE_INTEGER start;
        LARGE_INTEGER end;
        QueryPerformanceCounter(&start);
        WaitMilliseconds(ms);
        QueryPerformanceCounter(&end);
        const double elapsedMs = static_cast<double>(end.QuadPart - start.QuadPart) * 1000.0 /
                                 static_cast<double>(frequency.QuadPart);
        EXPECT_GT(elapsedMs, ms) << ms << " ms";
    }
}

} // namespace
