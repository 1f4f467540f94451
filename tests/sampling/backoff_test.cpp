// A remote that fails every read at once: the sampler keeps its last reading and
// backs off instead of flooding the remote with requests.
#include <gtest/gtest.h>

#include "device_state.h"
#include "device_state_reset.h"
#include "gyro_sampler.h"
#include "report_protocol.h"
#include "scripted_hid.h"
#include "wait_milliseconds.h"
#include "win32.h"
#include "win32_test_support.h"
#include "wait_until.h"

namespace {

TEST(SamplerBackOff, AFailingRemoteGetsAtMostOneRequestPerReportPeriod) {
    Win32TestReset();
    Win32TestUseHeadlessDisplay();
    OpenScriptedRemote();
    ScriptedHidQueue({Report(ReadReply(0x00, 0x64))});
    ScriptedHidWhenEmpty(-1);

    ASSERT_NE(_beginthread(SamplerThread, 0, nullptr), static_cast<uintptr_t>(-1));
    WaitMilliseconds(1000);  // the start delay, then about half a second of failures
    StopSampling();
    ReleaseRemote();
    ASSERT_TRUE(Win32TestWaitForThreads(ScaledMs(2000)));

    // The read requests after the one that found the reply: each follows the one
    // before it by a report period at least, however the machine is loaded.
    const std::vector<Bytes> writes = ScriptedHidWrites();
    const auto times = ScriptedHidWriteTimes();
    std::vector<std::chrono::steady_clock::time_point> requests;
    for (size_t i = 0; i < writes.size(); ++i) {
        if (writes[i][0] == 0x17) {
            requests.push_back(times[i]);
        }
    }
    ASSERT_GE(requests.size(), 4u);
    int tooSoon = 0;
    for (size_t i = 2; i < requests.size(); ++i) {
        tooSoon += requests[i] - requests[i - 1] < std::chrono::milliseconds(kNoReplyBackOffMs);
    }
    EXPECT_EQ(tooSoon, 0) << "of " << requests.size() << " read requests";
    EXPECT_EQ(deviceState.gyroValue, 100) << "a sample without a reply keeps the last reading";
}

} // namespace
