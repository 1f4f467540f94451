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
    deviceState.hidHandle = OpenHidHandle(kWiiRemoteVendor, kWiiRemoteProduct);
    ASSERT_NE(deviceState.hidHandle, HID_NO_DEVICE);
    SetReportingMode(0x00, kModeButtonsAccel);
}

// One probe of a remote on scenario, ended as the failure path ends it. reads is
// how many reads the probe thread made.
bool ProbeOnce(const char* scenario, int64_t* reads = nullptr) {
    OpenStreamingRemote(scenario);
    const bool streams = ProbeRemote();
    StopProbeThread();
    EXPECT_EQ(deviceState.probeActive, 0) << scenario;
    if (reads != nullptr) {
        *reads = SimReadCount();
    }
    CloseRemote();
    EXPECT_TRUE(SimMisuse().empty()) << scenario;
    return streams;
}

// The probe thread reads, then sleeps 100 ms: normally only the first report is
// read within the probe's 100 ms. In the failing cases the first report comes at
// 40 ms (period=40), so a second read cannot fall inside the window, even on a busy
// machine, although a report with accelerations follows within it.
TEST(StartupProbe, FailsUnlessTheFirstReportCarriesANonzeroX) {
    for (const char* scenario : {"stream=0", "delay=150", "first=0x30;period=40", "first=0x32;period=40",
                                 "first=0x21;period=40", "first=0x20;period=40", "accel=0,128,128;period=40"}) {
        // The failure must come from what the probe thread read; a busy machine can
        // keep it from reading within the window, and then the probe runs again.
        int64_t reads = 0;
        bool streams = ProbeOnce(scenario, &reads);
        for (int attempt = 1; reads == 0 && attempt < 3; ++attempt) {
            streams = ProbeOnce(scenario, &reads);
        }
        EXPECT_GE(reads, 1) << "scenario '" << scenario << "': the probe thread never read";
        EXPECT_FALSE(streams) << "scenario '" << scenario << "'";
    }
}

// A streaming remote passes, also when its first report comes late in the window
// (delay=60): one read waits for it. The probe gives it 100 ms; on a machine busy
// with other work the probe thread can miss them, so each case has three tries.
TEST(StartupProbe, SucceedsWhenTheFirstReportCarriesANonzeroX) {
    for (const char* scenario : {"", "first=0x33", "accel=1,128,128", "delay=60"}) {
        bool streams = false;
        for (int attempt = 0; attempt < 3 && !streams; ++attempt) {
            streams = ProbeOnce(scenario);
        }
        EXPECT_TRUE(streams) << "scenario '" << scenario << "'";
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

} // namespace
