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

    // The read requests after the one that found the reply: each sample without a
    // reply lasts a report period at least, so in all they span a period each. A
    // load can only make them fewer; how long the first was held up before its
    // request went out is not seen, hence one period of slack.
    const std::vector<Bytes> writes = ScriptedHidWrites();
    const auto times = ScriptedHidWriteTimes();
    std::vector<std::chrono::steady_clock::time_point> requests;
    for (size_t i = 0; i < writes.size(); ++i) {
        if (writes[i][0] == 0x17) {
            requests.push_back(times[i]);
        }
    }
    ASSERT_GE(requests.size(), 4u);
    const auto span = requests.back() - requests[1];
    const auto periods = span / std::chrono::milliseconds(kNoReplyBackOffMs);
    EXPECT_LE(static_cast<long long>(requests.size()) - 2, periods + 1)
        << requests.size() << " read requests in "
        << std::chrono::duration_cast<std::chrono::milliseconds>(span).count() << " ms";
    EXPECT_EQ(deviceState.gyroValue, 100) << "a sample without a reply keeps the last reading";
}

} // namespace
