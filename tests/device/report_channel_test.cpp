// The send lock: reports and the close never interleave, and nothing follows the close.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "device_state.h"
#include "device_state_reset.h"
#include "report_channel.h"
#include "report_protocol.h"
#include "scripted_hid.h"

namespace {

// One sampler-like thread sends as fast as it can while another closes the remote.
TEST(ReportChannel, NoSenderWritesAfterTheCloseEvenWhenTheyRace) {
    for (int round = 0; round < 200; ++round) {
        OpenScriptedRemote();
        std::atomic<bool> started{false};
        std::thread sender([&started] {
            for (int i = 0; i < 50; ++i) {
                SetReportingMode(0x00, 0x31);
                SendReadRequest(0x92, 0x02, 0x90);
                started = true;
            }
        });
        while (!started) {
            std::this_thread::yield();
        }
        CloseRemote();
        sender.join();
        ASSERT_EQ(ScriptedHidMisuseCount(), 0) << "round " << round;
        ASSERT_EQ(ScriptedHidCloseCount(), 1) << "round " << round;
    }
}

// The shutdown reports go out together: a racing sender's report lands before them
// or not at all, never between them or after the close.
TEST(ReportChannel, AHeldRunOfReportsIsNeverSplitByAnotherThread) {
    for (int round = 0; round < 200; ++round) {
        OpenScriptedRemote();
        std::atomic<bool> started{false};
        std::thread sender([&started] {
            for (int i = 0; i < 50; ++i) {
                SetReportingMode(0x00, 0x31);
                started = true;
            }
        });
        while (!started) {
            std::this_thread::yield();
        }
        {
            auto hold = HoldReportChannel();
            SetReportingMode(0x00, 0x30);
            SetLeds(0x10);
            CloseRemote();
        }
        sender.join();
        const std::vector<Bytes> writes = ScriptedHidWrites();
        ASSERT_GE(writes.size(), 3u);
        EXPECT_EQ(writes[writes.size() - 2], kModeButtonsReport) << "round " << round;
        EXPECT_EQ(writes.back(), kFirstLedReport) << "round " << round;
        for (size_t i = 0; i + 2 < writes.size(); ++i) {
            ASSERT_EQ(writes[i], kModeAccelReport) << "round " << round;
        }
        ASSERT_EQ(ScriptedHidMisuseCount(), 0);
    }
}

TEST(ReportChannel, ClosingTwiceClosesTheHandleOnce) {
    OpenScriptedRemote();
    EXPECT_FALSE(IsRemoteClosed());
    CloseRemote();
    CloseRemote();
    EXPECT_TRUE(IsRemoteClosed());
    EXPECT_EQ(ScriptedHidCloseCount(), 1);
    EXPECT_EQ(ScriptedHidMisuseCount(), 0);
}

} // namespace
