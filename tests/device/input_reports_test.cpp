// Decoding input reports: the probe's data-report poll and the sampler's reply wait.
#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "device_state.h"
#include "device_state_reset.h"
#include "report_channel.h"
#include "report_protocol.h"
#include "scripted_hid.h"

namespace {

constexpr uint8_t kBefore = 0x55;  // what the decoded fields hold before each case

class InputReports : public ::testing::Test {
  protected:
    void SetUp() override {
        OpenScriptedRemote();
        deviceState.buttonByte2 = deviceState.accelX = deviceState.accelY = deviceState.accelZ = kBefore;
    }

    static Bytes Decoded() {
        return {deviceState.buttonByte2, deviceState.accelX, deviceState.accelY, deviceState.accelZ};
    }
};

// A report with the given ID: buttons 0x01 0x80, then bytes 3.. = 0x81 0x82 0x83 ...
Bytes ReportWithId(uint8_t id) {
    Bytes report(22);
    report[0] = id;
    report[1] = 0x01;
    report[2] = 0x80;
    for (size_t i = 3; i < report.size(); ++i) {
        report[i] = static_cast<uint8_t>(0x7E + i);
    }
    return report;
}


// The remote's acknowledgement of output report `of` with error code `error`.
Bytes Acknowledgement(uint8_t of, uint8_t error) {
    return {0x22, 0x00, 0x00, of, error};
}

TEST_F(InputReports, PollDataReportTakesButtonsFromDataReportsAndAccelerationsFromOddIds) {
    const Bytes buttonsOnly{0x80, kBefore, kBefore, kBefore};
    const Bytes buttonsAndAccel{0x80, 0x81, 0x82, 0x83};
    const Bytes unchanged{kBefore, kBefore, kBefore, kBefore};
    for (int id = 0x00; id <= 0xFF; ++id) {
        SetUp();
        ScriptedHidQueue({Report(ReportWithId(static_cast<uint8_t>(id)))});
        PollDataReport();
        const Bytes* expected = &unchanged;
        if ((id >> 4) == 3) {
            expected = (id & 1) ? &buttonsAndAccel : &buttonsOnly;
        }
        EXPECT_EQ(Decoded(), *expected) << "report 0x" << std::hex << id;
    }
}

TEST_F(InputReports, PollDataReportIgnoresAReadThatBroughtNoReport) {
    for (const ScriptedRead& read : {NoReport(), FailedRead()}) {
        SetUp();
        // A stale 0x31 from an earlier read stays in the buffer.
        ScriptedHidQueue({Report(ReportWithId(0x31))});
        PollDataReport();
        deviceState.buttonByte2 = deviceState.accelX = deviceState.accelY = deviceState.accelZ = kBefore;
        ScriptedHidQueue({read});
        PollDataReport();
        EXPECT_EQ(Decoded(), (Bytes{kBefore, kBefore, kBefore, kBefore})) << "read result " << read.result;
    }
}

TEST_F(InputReports, ReadGyroRegisterSendsTheRequestAndReturnsReplyBytesSixAndSeven) {
    ScriptedHidQueue({Report(ReadReply(0x12, 0x34))});
    uint8_t high = 0, low = 0;
    ASSERT_TRUE(ReadGyroRegister(high, low));
    EXPECT_EQ(high, 0x12);
    EXPECT_EQ(low, 0x34);
    EXPECT_EQ(ScriptedHidWrites(), std::vector<Bytes>{kGyroRequestReport});
}

TEST_F(InputReports, WhileWaitingOnlyReport31UpdatesValuesAndOnly21EndsTheWait) {
    struct Case {
        std::string name;
        std::vector<ScriptedRead> beforeReply;
        Bytes decoded;
    };
    Bytes r31 = ReportWithId(0x31);
    r31[2] = 0x04;
    const Case cases[] = {
        {"0x33 changes nothing", {Report(ReportWithId(0x33))}, {kBefore, kBefore, kBefore, kBefore}},
        {"0x30 changes nothing", {Report(ReportWithId(0x30))}, {kBefore, kBefore, kBefore, kBefore}},
        {"0x31 updates", {Report(r31)}, {0x04, 0x81, 0x82, 0x83}},
        {"other IDs are skipped", {Report(ReportWithId(0x20)), Report(ReportWithId(0x22)), Report({0x3F})},
         {kBefore, kBefore, kBefore, kBefore}},
        {"empty reads are waited through", {NoReport(), NoReport(), Report(r31), NoReport()}, {0x04, 0x81, 0x82, 0x83}},
        {"last 0x31 wins", {Report(r31), Report(ReportWithId(0x31))}, {0x80, 0x81, 0x82, 0x83}},
        // The kernel driver's reads of the extension's identity and its write.
        {"replies for other addresses are passed over",
         {Report(ReadReply(0x00, 0x00, 0x50, 0xFA)), Report(ReadReply(0xA6, 0x20, 0x50, 0xFA)),
          Report(ReadReply(0x11, 0x11, 0x10, 0x90, 0x01)), Report(ReadReply(0x22, 0x22, 0x18, 0x91))},
         {kBefore, kBefore, kBefore, kBefore}},
        {"acknowledgements that refuse nothing of ours are passed over",
         {Report(Acknowledgement(0x16, 0x00)), Report(Acknowledgement(0x16, 0x04)),
          Report(Acknowledgement(0x17, 0x00))},
         {kBefore, kBefore, kBefore, kBefore}},
    };
    for (const Case& c : cases) {
        SetUp();
        ScriptedHidQueue(c.beforeReply);
        ScriptedHidQueue({Report(ReadReply(0xAB, 0xCD)), Report(ReportWithId(0x31))});
        uint8_t high = 0, low = 0;
        EXPECT_TRUE(ReadGyroRegister(high, low)) << c.name;
        EXPECT_EQ(high, 0xAB) << c.name;
        EXPECT_EQ(low, 0xCD) << c.name;
        EXPECT_EQ(Decoded(), c.decoded) << c.name;
        EXPECT_EQ(ScriptedHidReadCount(), static_cast<int>(c.beforeReply.size()) + 1) << c.name;
    }
}

TEST_F(InputReports, AReplyWithAnErrorCodeStillYieldsItsBytes) {
    ScriptedHidQueue({Report(ReadReply(0x80, 0x01, 0x18))});
    uint8_t high = 0, low = 0;
    ASSERT_TRUE(ReadGyroRegister(high, low));
    EXPECT_EQ(high, 0x80);
    EXPECT_EQ(low, 0x01);
}

TEST_F(InputReports, ARefusedReadRequestEndsTheWaitAtOnceAsNoReply) {
    for (uint8_t error : {0x03, 0x04, 0x08}) {
        SetUp();
        ScriptedHidQueue({Report(Acknowledgement(0x17, error)), Report(ReadReply(0x12, 0x34))});
        uint8_t high = 0x11, low = 0x22;
        EXPECT_FALSE(ReadGyroRegister(high, low)) << "error " << int(error);
        EXPECT_EQ(ScriptedHidReadCount(), 1) << "error " << int(error);
        EXPECT_EQ(high, 0x11);
        EXPECT_EQ(low, 0x22);
    }
}

TEST_F(InputReports, AReplyThatNeverComesEndsTheWaitAfterItsLimit) {
    const auto start = std::chrono::steady_clock::now();
    uint8_t high = 0x11, low = 0x22;
    EXPECT_FALSE(ReadGyroRegister(high, low));
    const auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_GE(waited, std::chrono::milliseconds(kReplyWaitLimitMs));
    EXPECT_EQ(high, 0x11);
    EXPECT_EQ(low, 0x22);
}

TEST_F(InputReports, AStaleReplyLeftByAFailedReadIsNotANewReply) {
    ScriptedHidQueue({Report(ReadReply(0x01, 0x02))});
    uint8_t high = 0, low = 0;
    ASSERT_TRUE(ReadGyroRegister(high, low));
    ASSERT_EQ(deviceState.inputReport[0], 0x21);

    // A read that fails ends the wait at once; the old reply is not taken.
    ScriptedHidQueue({FailedRead(), Report(ReadReply(0x03, 0x04))});
    high = low = 0;
    EXPECT_FALSE(ReadGyroRegister(high, low));
    EXPECT_EQ(high, 0);
    EXPECT_EQ(ScriptedHidReadCount(), 2);

    // Reads that bring nothing are waited through; the old reply is not taken either.
    ScriptedHidQueue({NoReport(), NoReport()});
    EXPECT_TRUE(ReadGyroRegister(high, low));
    EXPECT_EQ(high, 0x03);
    EXPECT_EQ(low, 0x04);
}

TEST_F(InputReports, ShutdownDuringTheWaitEndsItWithoutFurtherReads) {
    const struct {
        const char* name;
        void (*shutdown)();
    } cases[] = {
        {"sampling stopped", [] { deviceState.samplingStopped = 1; }},
        {"remote closed", [] { CloseRemote(); }},
    };
    for (const auto& c : cases) {
        SetUp();
        ScriptedHidOnRead([&c](int number) {
            if (number == 3) {
                c.shutdown();
            }
        });
        uint8_t high = 0, low = 0;
        EXPECT_FALSE(ReadGyroRegister(high, low)) << c.name;
        EXPECT_EQ(ScriptedHidReadCount(), 3) << c.name;
    }
}

TEST_F(InputReports, ReadGyroRegisterAfterShutdownSendsAndReadsNothing) {
    CloseRemote();
    uint8_t high = 0, low = 0;
    EXPECT_FALSE(ReadGyroRegister(high, low));
    EXPECT_TRUE(ScriptedHidWrites().empty());
    EXPECT_EQ(ScriptedHidReadCount(), 0);
    EXPECT_EQ(ScriptedHidMisuseCount(), 0);
}

} // namespace
