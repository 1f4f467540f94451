// The whole program in process: WinMain on its own UI thread, the simulated remote,
// the headless display. Each case checks the exit code, what was shown and what
// reached the remote.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

#include "device_state.h"
#include "program_run.h"
#include "sim_run.h"
#include "win32.h"
#include "sim_control.h"
#include "win32_test_support.h"


namespace {


class Program : public ::testing::Test {
  protected:
    void TearDown() override {
        EXPECT_TRUE(Win32TestWaitForThreads(3000)) << "a worker thread is still running";
        EXPECT_TRUE(SimMisuse().empty());
    }
};

TEST_F(Program, StartUpFailuresEndWithTheirCodeAndMessageTouchingOnlyWhatTheyMust) {
    const struct {
        const char* name;
        const char* scenario;
        bool lockHeld;
        bool lockFails;
        bool windowFails;
        int exitCode;
        std::vector<std::string> boxes;
        std::vector<std::string> events;
    } cases[] = {
        {"no remote", "present=0", false, false, false, 1, {"Wii-Remote not found."}, {"open-failed"}},
        {"silent remote", "stream=0", false, false, false, 1, {"Wii-Remote cannot open."},
         {"open", kModeAccel, "close"}},
        {"first report without accelerations", "first=0x30;period=40", false, false, false, 1, {"Wii-Remote cannot open."},
         {"open", kModeAccel, "close"}},
        {"X of zero", "accel=0,100,100", false, false, false, 1, {"Wii-Remote cannot open."},
         {"open", kModeAccel, "close"}},
        {"another instance runs", "", true, false, false, 0, {}, {}},
        {"the lock cannot be created", "", false, true, false, 1, {}, {}},
        {"window cannot be created", "", false, false, true, 1, {},
         {"open", kModeAccel, kAllLeds, kRelease[0], kRelease[1], kRelease[2]}},
    };
    for (const auto& c : cases) {
        StartFreshRun(c.scenario);
        if (c.lockHeld) {
            ASSERT_NE(CreateMutexA(nullptr, TRUE, "tobrisk-001"), nullptr);
        }
        if (c.lockFails) {
            Win32TestSetLockFolder("/nonexistent/tobrisk-locks");
        }
        if (c.windowFails) {
            Win32TestFailNextCreateWindow();
        }
        int exitCode = WinMain(nullptr, nullptr, const_cast<LPSTR>(""), SW_SHOWDEFAULT);
        // The probe's failures must come from what its thread read. A busy machine
        // can keep that thread from reading within the probe's 100 ms: run again.
        const bool probeFails = c.boxes == std::vector<std::string>{"Wii-Remote cannot open."};
        for (int attempt = 1; probeFails && SimReadCount() == 0 && attempt < 3; ++attempt) {
            StartFreshRun(c.scenario);
            exitCode = WinMain(nullptr, nullptr, const_cast<LPSTR>(""), SW_SHOWDEFAULT);
        }
        if (probeFails) {
            EXPECT_GE(SimReadCount(), 1) << c.name << ": the probe thread never read";
        }
        EXPECT_EQ(exitCode, c.exitCode) << c.name;
        EXPECT_EQ(Win32TestMessageBoxTexts(), c.boxes) << c.name;
        EXPECT_EQ(SimLogEvents(), c.events) << c.name;
        EXPECT_TRUE(Win32TestWaitForThreads(3000)) << c.name;
        EXPECT_EQ(Win32TestLiveGdiObjects(), 0) << c.name;
    }
}

TEST_F(Program, EveryWayOutLeavesTheRemoteIdleAndExitsWithZero) {
    const struct {
        const char* name;
        const char* scenario;
        void (*request)(HWND);
    } cases[] = {
        {"Esc", "", [](HWND window) { Win32TestPressKey(window, VK_ESCAPE); }},
        {"closing the window", "", [](HWND window) { Win32TestRequestClose(window); }},
        {"Home on the remote", "home=900", nullptr},
        {"Esc on a silent remote", "mute=800", [](HWND window) { Win32TestPressKey(window, VK_ESCAPE); }},
        {"Esc on a vanished remote", "unplug=800", [](HWND window) { Win32TestPressKey(window, VK_ESCAPE); }},
    };
    for (const auto& c : cases) {
        ProgramRun run;
        ASSERT_TRUE(StartSampling(run, c.scenario)) << c.name;
        if (c.request != nullptr) {
            std::this_thread::sleep_for(std::chrono::milliseconds(400));
            c.request(deviceState.mainWindow);
        }
        ASSERT_TRUE(run.WaitForEnd(c.request ? 1000 : 3000)) << c.name << ": the program did not end";
        EXPECT_EQ(run.exitCode, 0) << c.name;
        if (std::string(c.name).find("vanished") == std::string::npos) {
            EXPECT_EQ(SimLogLastEvents(3), kRelease) << c.name;
        } else {
            EXPECT_EQ(SimLogLastEvents(1), std::vector<std::string>{"close"}) << c.name;
        }
        EXPECT_EQ(SimLogCount("close"), 1) << c.name;
        EXPECT_TRUE(Win32TestWaitForThreads(3000)) << c.name;
        EXPECT_EQ(Win32TestLiveGdiObjects(), 0) << c.name;
        EXPECT_TRUE(Win32TestMessageBoxTexts().empty()) << c.name;
    }
}

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
