// The window and its paint: the objects, the calls in order, and the bars' pixels.
#include <gtest/gtest.h>

#include <atomic>
#include <string>

#include "device_state.h"
#include "main_window.h"
#include "program_run.h"
#include "sim_run.h"
#include "win32.h"
#include "win32_test_support.h"
#include "wait_until.h"


namespace {

// X at 128 (a bar of no length), Y at 0 (reaches x = -390), Z at 255 (x = 885),
// and a gyro reading of -100 (0xFF9B), all fixed.
const char* kFixedScenario = "accel=128,0,255;gyro=FF9B";

// Runs the program on the fixed scenario until it has painted the gyro reading,
// then takes the drawing calls of one whole paint and leaves the program running.
class Display : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(StartSampling(run, kFixedScenario));
        ASSERT_TRUE(PumpUntil([] { return deviceState.gyroValue == -100; }, 5000));
        window = deviceState.mainWindow;
    }

    void TearDown() override {
        Win32TestPressKey(window, VK_ESCAPE);
        EXPECT_TRUE(run.WaitForEnd(3000));
        EXPECT_EQ(run.exitCode, 0);
        EXPECT_TRUE(Win32TestWaitForThreads(ScaledMs(3000)));
    }

    // The calls of the last whole paint made after the call (all of them painted
    // after the reading was in place); empty when no whole paint came.
    static std::vector<std::string> OnePaint() {
        Win32TestTakeGdiLog();
        std::vector<std::string> log;
        const bool painted = PumpUntil(
            [&log] {
                for (const std::string& call : Win32TestTakeGdiLog()) {
                    log.push_back(call);
                }
                return std::count(log.begin(), log.end(), "EndPaint") >= 2;
            },
            2000);
        const auto end = std::find(log.rbegin(), log.rend(), "EndPaint");
        const auto begin = std::find(end, log.rend(), "BeginPaint");
        if (!painted || begin == log.rend()) {
            return {};
        }
        return {begin.base() - 1, end.base()};
    }

    ProgramRun run;
    HWND window = nullptr;
};

TEST_F(Display, TheWindowIsCreatedAsTheProgramAsksForIt) {
    const Win32TestWindowInfo info = Win32TestGetWindowInfo(window);
    ASSERT_TRUE(info.exists);
    EXPECT_EQ(info.caption, "Tobrisk");
    EXPECT_EQ(info.className, "wnd-001");
    EXPECT_EQ(info.x, 10);
    EXPECT_EQ(info.y, 10);
    EXPECT_TRUE(info.visible);
}

TEST_F(Display, APaintDrawsTheLabelsThenTheBarsInOrder) {
    const std::vector<std::string> expected = {
        "BeginPaint",
        "SelectObject pen(6,0x000000)",
        "SelectObject brush(0xFFFFFF)",
        "SelectObject font(16,\"System\")",
        "TextOutA 200 30 \"X-axis Acceleration \"",
        "TextOutA 200 80 \"Y-axis Acceleration \"",
        "TextOutA 200 130 \"Z-axis Acceleration \"",
        "TextOutA 200 230 \"Gyro Rotation       \"",
        "SelectObject pen(5,0x0000C8)",
        "MoveToEx 250 50",
        "LineTo 250 50",
        "SelectObject pen(5,0x00C800)",
        "MoveToEx 250 100",
        "LineTo -390 100",
        "SelectObject pen(5,0xC80000)",
        "MoveToEx 250 150",
        "LineTo 885 150",
        "SelectObject pen(6,0x000000)",
        "MoveToEx 250 250",
        "LineTo 150 250",
        "EndPaint",
    };
    EXPECT_EQ(OnePaint(), expected);
}

TEST_F(Display, TheBarsArePaintedWhereTheValuesPutThem) {
    ASSERT_FALSE(OnePaint().empty()) << "no paint came";
    const Win32TestImage image = Win32TestClientPixels(window);
    ASSERT_GT(image.width, 0);
    constexpr uint32_t kWhite = 0xFFFFFF, kRed = 0xC80000, kGreen = 0x00C800, kBlue = 0x0000C8, kBlack = 0x000000;
    const struct {
        const char* what;
        int x, y;
        uint32_t colour;
    } points[] = {
        {"X of 128 is a dot at the origin", 250, 50, kRed},
        {"nothing of X beyond its round cap", 256, 50, kWhite},
        {"nothing of X before its round cap", 244, 50, kWhite},
        {"Y of 0 runs left to the edge", 0, 100, kGreen},
        {"Y near the origin", 249, 100, kGreen},
        {"nothing of Y right of the origin", 256, 100, kWhite},
        {"Z of 255 runs right to the edge", image.width - 1, 150, kBlue},
        {"Z near the origin", 251, 150, kBlue},
        {"nothing of Z left of the origin", 244, 150, kWhite},
        {"the gyro bar's left end", 152, 250, kBlack},
        {"the gyro bar's right end", 248, 250, kBlack},
        {"nothing of the gyro bar beyond -100", 143, 250, kWhite},
        {"nothing of the gyro bar right of the origin", 257, 250, kWhite},
        {"the background", 100, 350, kWhite},
    };
    for (const auto& p : points) {
        EXPECT_EQ(image.At(p.x, p.y), p.colour) << p.what << " at (" << p.x << ", " << p.y << ")";
    }
}

} // namespace
