// The three output reports on the wire, and what they leave in the shared buffer.
#include <gtest/gtest.h>

#include <functional>

#include "device_state.h"
#include "device_state_reset.h"
#include "report_channel.h"
#include "report_protocol.h"
#include "scripted_hid.h"

namespace {

class OutputReports : public ::testing::Test {
  protected:
    void SetUp() override {
        OpenScriptedRemote();
    }
};

struct SenderCase {
    const char* name;
    std::function<void()> send;
    Bytes wire;
};

TEST_F(OutputReports, EachSenderPutsItsReportOnTheWireByteForByte) {
    const SenderCase cases[] = {
        {"all LEDs", [] { SetLeds(0xF0); }, {0x11, 0xF0}},
        {"first LED", [] { SetLeds(0x10); }, {0x11, 0x10}},
        {"buttons and accelerations", [] { SetReportingMode(0x00, 0x31); }, {0x12, 0x00, 0x31}},
        {"buttons only", [] { SetReportingMode(0x00, 0x30); }, {0x12, 0x00, 0x30}},
        {"gyro register read", [] { SendReadRequest(0x92, 0x02, 0x90); },
         {0x17, 0x04, 0x92, 0x00, 0x90, 0x00, 0x02}},
        {"argument order high, size, low", [] { SendReadRequest(0xA4, 0x06, 0x20); },
         {0x17, 0x04, 0xA4, 0x00, 0x20, 0x00, 0x06}},
    };
    for (const SenderCase& c : cases) {
        OpenScriptedRemote();
        c.send();
        EXPECT_EQ(ScriptedHidWrites(), std::vector<Bytes>{c.wire}) << c.name;
    }
}

TEST_F(OutputReports, EachSenderWritesOnlyItsOwnBytesOfTheBuffer) {
    SendReadRequest(0x92, 0x02, 0x90);
    SetLeds(0x10);
    const Bytes afterLeds(deviceState.outputReport, deviceState.outputReport + 8);
    EXPECT_EQ(afterLeds, (Bytes{0x11, 0x10, 0x92, 0x00, 0x90, 0x00, 0x02, 0x00}));

    SetReportingMode(0x00, 0x30);
    const Bytes afterMode(deviceState.outputReport, deviceState.outputReport + 8);
    EXPECT_EQ(afterMode, (Bytes{0x12, 0x00, 0x30, 0x00, 0x90, 0x00, 0x02, 0x00}));
}

TEST_F(OutputReports, NothingIsSentOrTouchedOnceTheRemoteIsClosed) {
    SetLeds(0xF0);
    CloseRemote();
    SetReportingMode(0x00, 0x30);
    SetLeds(0x10);
    SendReadRequest(0x92, 0x02, 0x90);
    CloseRemote();

    EXPECT_EQ(ScriptedHidWrites(), std::vector<Bytes>{kAllLedsReport});
    EXPECT_EQ(deviceState.outputReport[0], 0x11);
    EXPECT_EQ(deviceState.outputReport[1], 0xF0);
    EXPECT_EQ(ScriptedHidCloseCount(), 1);
    EXPECT_EQ(ScriptedHidMisuseCount(), 0);
}


} // namespace
