// The whole program in process: WinMain on its own UI thread, the simulated remote,
// the headless display. Each case checks the exit code, what was shown and what
// reached the remote.
#include <gtest/gtest.h>

#include <atomic>
#include <string>

#include "device_state.h"
#include "program_run.h"
#include "sim_run.h"
#include "sim_control.h"
#include "win32.h"
#include "win32_test_support.h"
#include "wait_until.h"

namespace {

class Program : public ::testing::Test {
  protected:
    void TearDown() override {
        EXPECT_TRUE(Win32TestWaitForThreads(ScaledMs(3000))) << "a worker thread is still running";
        EXPECT_TRUE(SimMisuse().empty());
    }
};

// A start-up that fails, and what it must leave behind.
struct StartUpFailure {
    const char* name; // the test's name
    const char* scenario;
    void (*prepare)(); // what goes wrong besides the remote, or nothing
    int exitCode;
    std::vector<std::string> boxes;
    std::vector<std::string> events; // on the remote
};

class StartUpFailures : public Program, public ::testing::WithParamInterface<StartUpFailure> {};

// Runs WinMain on a fresh start. The probe's failures must come from what its
// thread read: a busy machine can keep that thread from reading within the
// probe's 100 ms, or stretch that window until a later report came in, and then the
// start-up runs again. A probe that passes is ended by Home in its scenario.
int RunStartUp(const StartUpFailure& c) {
    const bool probeFails = c.boxes == std::vector<std::string>{"Wii-Remote cannot open."};
    int exitCode = 0;
    const auto runsAgain = [&] { return probeFails && (SimReadCount() == 0 || exitCode == 0); };
    for (int attempt = 0; attempt == 0 || (runsAgain() && attempt < 3); ++attempt) {
        StartFreshRun(c.scenario);
        if (c.prepare != nullptr) {
            c.prepare();
        }
        exitCode = WinMain(nullptr, nullptr, const_cast<LPSTR>(""), SW_SHOWDEFAULT);
    }
    if (probeFails) {
        EXPECT_GE(SimReadCount(), 1) << "the probe thread never read";
    }
    return exitCode;
}

TEST_P(StartUpFailures, EndWithTheirCodeAndMessageTouchingOnlyWhatTheyMust) {
    const StartUpFailure& c = GetParam();
    EXPECT_EQ(RunStartUp(c), c.exitCode);
    EXPECT_EQ(Win32TestMessageBoxTexts(), c.boxes);
    EXPECT_EQ(SimLogEvents(), c.events);
    EXPECT_TRUE(Win32TestWaitForThreads(ScaledMs(3000)));
    EXPECT_EQ(Win32TestLiveGdiObjects(), 0);
}

const std::vector<std::string> kProbeOnly = {"open", kModeAccel, "close"};

INSTANTIATE_TEST_SUITE_P(
    Program, StartUpFailures,
    ::testing::Values(
        StartUpFailure{"NoRemote", "present=0", nullptr, 1, {"Wii-Remote not found."}, {"open-failed"}},
        StartUpFailure{"SilentRemote", "stream=0", nullptr, 1, {"Wii-Remote cannot open."}, kProbeOnly},
        StartUpFailure{"FirstReportWithoutAccelerations", "first=0x30;period=40;home=1000", nullptr, 1,
                       {"Wii-Remote cannot open."}, kProbeOnly},
        StartUpFailure{"XOfZero", "accel=0,100,100", nullptr, 1, {"Wii-Remote cannot open."}, kProbeOnly},
        StartUpFailure{"AnotherInstanceRuns", "",
                       [] { ASSERT_NE(CreateMutexA(nullptr, TRUE, "tobrisk-001"), nullptr); }, 0, {}, {}},
        StartUpFailure{"TheLockCannotBeCreated", "",
                       [] { Win32TestSetLockFolder("/nonexistent/tobrisk-locks"); }, 1, {}, {}},
        StartUpFailure{"WindowCannotBeCreated", "", [] { Win32TestFailNextCreateWindow(); }, 1, {},
                       {"open", kModeAccel, kAllLeds, kRelease[0], kRelease[1], kRelease[2]}}),
    [](const ::testing::TestParamInfo<StartUpFailure>& info) { return std::string(info.param.name); });

// A way out of a running program, and what the remote sees last.
struct WayOut {
    const char* name; // the test's name
    const char* scenario;
    void (*before)();          // what happens to the remote first, or nothing
    void (*request)(HWND);     // what the user does, or nothing (Home on the remote)
    std::vector<std::string> lastEvents;
};

class WaysOut : public Program, public ::testing::WithParamInterface<WayOut> {};

TEST_P(WaysOut, LeaveTheRemoteIdleAndExitWithZero) {
    const WayOut& c = GetParam();
    ProgramRun run;
    ASSERT_TRUE(StartSampling(run, c.scenario));
    if (c.before != nullptr) {
        c.before();
    }
    if (c.request != nullptr) {
        c.request(deviceState.mainWindow);
    }
    ASSERT_TRUE(run.WaitForEnd(c.request ? 1000 : 3000)) << "the program did not end";
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(SimLogLastEvents(c.lastEvents.size()), c.lastEvents);
    EXPECT_EQ(SimLogCount("close"), 1);
    EXPECT_TRUE(Win32TestWaitForThreads(ScaledMs(3000)));
    EXPECT_EQ(Win32TestLiveGdiObjects(), 0);
    EXPECT_TRUE(Win32TestMessageBoxTexts().empty());
}

void PressEsc(HWND window) {
    Win32TestPressKey(window, VK_ESCAPE);
}

INSTANTIATE_TEST_SUITE_P(
    Program, WaysOut,
    ::testing::Values(
        WayOut{"Esc", "", nullptr, PressEsc, kRelease},
        WayOut{"ClosingTheWindow", "", nullptr, [](HWND window) { Win32TestRequestClose(window); },
               kRelease},
        WayOut{"HomeOnTheRemote", "home=900", nullptr, nullptr, kRelease},
        // Every request unanswered from the start: the sampler has been asking in vain.
        WayOut{"EscOnASilentRemote", "mute=0", nullptr, PressEsc, kRelease},
        WayOut{"EscOnAVanishedRemote", "", SimUnplug, PressEsc, {"close"}}),
    [](const ::testing::TestParamInfo<WayOut>& info) { return std::string(info.param.name); });

TEST_F(Program, AnyOtherKeyIsSwallowed) {
    ProgramRun run;
    ASSERT_TRUE(StartSampling(run, ""));
    const HWND window = deviceState.mainWindow;
    for (UINT key : {UINT('A'), UINT(VK_RETURN), UINT(VK_SPACE), UINT(0x70)}) {
        Win32TestPressKey(window, key);
    }
    const int requestsBefore = SimLogCount(kGyroRequest);
    EXPECT_FALSE(run.WaitForEnd(300));
    EXPECT_GT(SimLogCount(kGyroRequest), requestsBefore) << "sampling goes on";
    Win32TestPressKey(window, VK_ESCAPE);
    ASSERT_TRUE(run.WaitForEnd(1000));
    EXPECT_EQ(run.exitCode, 0);
}

TEST_F(Program, ASecondDestroyDoesNothingMore) {
    ProgramRun run;
    ASSERT_TRUE(StartSampling(run, ""));
    Win32TestTakeGdiLog();
    const HWND window = deviceState.mainWindow;
    Win32TestPressKey(window, VK_ESCAPE);
    Win32TestPressKey(window, VK_ESCAPE);
    ASSERT_TRUE(run.WaitForEnd(1000));
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(SimLogLastEvents(3), kRelease);
    EXPECT_EQ(SimLogCount("close"), 1);
    int deletes = 0;
    for (const std::string& call : Win32TestTakeGdiLog()) {
        deletes += call.rfind("DeleteObject", 0) == 0;
        EXPECT_EQ(call.find("invalid"), std::string::npos) << call;
    }
    EXPECT_EQ(deletes, 6);
    EXPECT_EQ(Win32TestLiveGdiObjects(), 0);
}

} // namespace
