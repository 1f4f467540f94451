// The send lock: reports and the close never interleave, and nothing follows the close.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "device_state.h"
#include "device_state_reset.h"
#include "report_channel.h"
#include "report_protocol.h"
#include "scripted_hid.h"
#include "wait_until.h"

namespace {

// A sampler-like thread sends as fast as it can while another sends the shutdown
// reports and closes the remote under one hold of the channel: a racing report
// lands before them or not at all, never between them or after the close, and
// nothing is written on the closed handle.
TEST(ReportChannel, AHeldRunOfReportsIsNeverSplitAndNothingFollowsTheClose) {
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
        EXPECT_TRUE(WaitUntil([&started] { return started.load(); }, 5000));
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
            ASSERT_TRUE(writes[i] == (i % 2 == 0 ? kModeAccelReport : kGyroRequestReport)) << "round " << round;
        }
        ASSERT_EQ(ScriptedHidMisuseCount(), 0) << "round " << round;
        ASSERT_EQ(ScriptedHidCloseCount(), 1) << "round " << round;
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
