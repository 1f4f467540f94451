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

namespace {

Bytes Reply(uint8_t high, uint8_t low) {
    return {0x21, 0x00, 0x00, 0x10, 0x00, 0x90, high, low, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
}

TEST(SamplerBackOff, AFailingRemoteGetsAtMostOneRequestPerReportPeriod) {
    Win32TestReset();
    Win32TestUseHeadlessDisplay();
    ResetDeviceState();
    ScriptedHidReset();
    deviceState.hidHandle = OpenHidHandle(0x057E, 0x0306);
    ScriptedHidQueue({Report(Reply(0x00, 0x64))});
    ScriptedHidWhenEmpty(-1);

    ASSERT_NE(_beginthread(SamplerThread, 0, nullptr), static_cast<uintptr_t>(-1));
    constexpr int kStartDelayMs = 500;
    constexpr int kFailingMs = 500;
    WaitMilliseconds(kStartDelayMs + kFailingMs);
    StopSampling();
    ReleaseRemote();
    ASSERT_TRUE(Win32TestWaitForThreads(2000));

    // Each sample sends two reports; one sample per report period at the most,
    // with a little room for the sample that found the reply.
    const int samplerWrites = static_cast<int>(ScriptedHidWrites().size()) - 2;
    EXPECT_GE(samplerWrites, 4);
    EXPECT_LE(samplerWrites, 2 * (kFailingMs / kNoReplyBackOffMs) + 6);
    EXPECT_EQ(deviceState.gyroValue, 100) << "a sample without a reply keeps the last reading";
}

} // namespace
