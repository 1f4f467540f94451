// The start-up probe against the simulated remote: the first report decides.
#include <gtest/gtest.h>

#include "device_state.h"
#include "report_channel.h"
#include "report_protocol.h"
#include "sim_control.h"
#include "sim_run.h"
#include "startup_probe.h"

namespace {

// Opens the remote on scenario and switches it to accelerometer reports, as start-up
// does; readWaitMs, when set, is how long a read waits for a report.
void OpenStreamingRemote(const std::string& scenario, int readWaitMs = 0) {
    StartFreshRun(scenario);
    SimSetReadWait(readWaitMs);
    deviceState.hidHandle = OpenHidHandle(0x057E, 0x0306);
    ASSERT_NE(deviceState.hidHandle, HID_NO_DEVICE);
    SetReportingMode(0x00, kModeButtonsAccel);
}

TEST(StartupProbe, SucceedsOnlyWhenTheFirstReportCarriesANonzeroX) {
    const struct {
        const char* scenario;
        bool streams;
    } cases[] = {
        {"", true},
        {"first=0x33", true},
        {"accel=1,128,128", true},
        {"stream=0", false},
        {"first=0x30", false},
        {"first=0x32", false},
        {"first=0x21", false},
        {"first=0x20", false},
        {"accel=0,128,128", false},
    };
    for (const auto& c : cases) {
        OpenStreamingRemote(c.scenario);
        EXPECT_EQ(ProbeRemote(), c.streams) << "scenario '" << c.scenario << "'";
        StopProbeThread();
        EXPECT_EQ(deviceState.probeActive, 0) << c.scenario;
        CloseRemote();
        EXPECT_TRUE(SimMisuse().empty()) << c.scenario;
    }
}

TEST(StartupProbe, AProbeBlockedInAReadIsStoppedBeforeTheDeviceCloses) {
    OpenStreamingRemote("stream=0", 400);
    EXPECT_FALSE(ProbeRemote());
    EXPECT_EQ(deviceState.probeActive, 1) << "the probe should still be inside its read";
    StopProbeThread();
    EXPECT_EQ(deviceState.probeActive, 0);
    CloseRemote();
    EXPECT_TRUE(SimMisuse().empty());
}

TEST(StartupProbe, AProbeThatHasLeftItsLoopIsLeftAlone) {
    OpenStreamingRemote("");
    ASSERT_TRUE(ProbeRemote());
    ASSERT_TRUE(WaitForProbeToLeave(kProbeLeaveLimitMs));
    deviceState.runFlag = 1;  // as the sampler sets it later
    StopProbeThread();
    EXPECT_EQ(deviceState.runFlag, 1);
    deviceState.runFlag = 0;
    CloseRemote();
}

} // namespace
