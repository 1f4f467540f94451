// One sample as the remote session takes it, against the scripted library: whether
// it saw Home alone, and the back-off of a sampler whose remote fails every read.
#include <gtest/gtest.h>

#include "device_state.h"
#include "gyro_sampler.h"
#include "remote_session.h"
#include "scripted_hid.h"
#include "wait_milliseconds.h"
#include "win32.h"
#include "win32_test_support.h"
#include "wait_until.h"

namespace {

// A data report 0x31 with the two button bytes and the accelerations at rest.
Bytes ButtonsReport(uint8_t byte1, uint8_t byte2) {
    return {0x31, byte1, byte2, 0x80, 0x80, 0x98};
}

// Home alone is the Home bit with none of Two, One, B, A and Minus, whatever the
// accelerometer's low bits (bits 5 and 6) and byte 1 hold. Home alone ends the run
// in every program, which asks the sample.
TEST(SessionSample, SeesHomeOnlyWhenItIsDownAlone) {
    const struct {
        uint8_t byte1, byte2;
        bool homeAlone;
    } cases[] = {
        {0x00, 0x80, true},  // Home alone
        {0x00, 0xE0, true},  // a remote lying still with Y's and Z's low bits at 1
        {0x60, 0xE8, false}, // Home with A, whatever the low bits
        {0x04, 0x80, true},  // a byte-1 button does not keep Home alone from ending it
        {0x08, 0x00, false}, // a byte-1 button alone
        {0x00, 0x88, false}, // Home with A
        {0x00, 0x90, false}, // Home with minus
        {0x00, 0x00, false},
    };
    for (const auto& c : cases) {
        OpenScriptedRemote();
        ScriptedHidQueue({Report(ButtonsReport(c.byte1, c.byte2)), Report(ReadReply(0x00, 0x64))});
        const GyroRead read = ReadGyroOnce();
        EXPECT_TRUE(read.replied);
        EXPECT_EQ(read.homeAlone, c.homeAlone) << std::hex << int(c.byte1) << " " << int(c.byte2);
    }
}

TEST(SamplerBackOff, AFailingRemoteGetsAtMostOneRequestPerReportPeriod) {
    Win32TestReset();
    Win32TestUseHeadlessDisplay();
    OpenScriptedRemote();
    ScriptedHidQueue({Report(ReadReply(0x00, 0x64))});
    ScriptedHidWhenEmpty(-1);

    ASSERT_NE(_beginthread(SamplerThread, 0, nullptr), static_cast<uintptr_t>(-1));
    WaitMilliseconds(1000);  // the start delay, then about half a second of failures
    EndSession();
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
