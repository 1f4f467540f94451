// What the simulated remote sends, and when: data reports in the reporting mode,
// read replies after the latency, both in order of due time, shaped by the
// scenario. All on the manual clock, so every moment is exact.
#include <algorithm>
#include <cmath>

#include "hid_recording.h"
#include "sim_control.h"
#include "sim_test_support.h"

namespace {

// The signed reading the program makes of the register's two bytes.
int GyroReading(const Bytes& reply) {
    const int raw = reply.at(6) * 256 + reply.at(7);
    return raw > 0x8000 ? raw - 0xFFFF : raw;
}

// Roll angle in degrees seen from the accelerations of a data report.
double RollFromGravity(const Bytes& report) {
    return std::atan2(report.at(3) - 128.0, report.at(5) - 128.0) * 180.0 / 3.14159265358979;
}

using SimStream = SimTest;

TEST_F(SimStream, NothingIsSentBeforeTheFirstModeReportThenOneReportEachPeriod) {
    Open("");
    AdvanceMs(100);
    EXPECT_FALSE(Read());
    EXPECT_EQ(lastResult, 0);

    Write(kModeAccelReport);
    AdvanceMs(9);
    EXPECT_FALSE(Read());
    AdvanceMs(1);
    EXPECT_EQ(Ids(ReadAll()), (Bytes{0x31}));
    AdvanceMs(35);
    EXPECT_EQ(Ids(ReadAll()), (Bytes{0x31, 0x31, 0x31}));
}

TEST_F(SimStream, EachModeHasItsLengthAndCarriesAccelerationsWhenBitZeroIsSet) {
    struct Case {
        uint8_t mode;
        Bytes start; // the report's first six bytes (or all of a shorter one)
        size_t length;
    };
    const Case cases[] = {
        // the accelerometer modes carry the low bits in the button bytes (X's in
        // bits 5 and 6 of byte 1, Y's in bit 5 of byte 2), the others the buttons alone
        {0x30, {0x30, 0x00, 0x00}, 3},           {0x31, {0x31, 0x60, 0x20, 1, 2, 3}, 6},
        {0x32, {0x32, 0x00, 0x00, 0, 0, 0}, 11}, {0x33, {0x33, 0x60, 0x20, 1, 2, 3}, 18},
        {0x37, {0x37, 0x60, 0x20, 1, 2, 3}, 22}, {0x3E, {0x3E, 0x00, 0x00, 0, 0, 0}, 22},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "mode 0x" << std::hex << int(c.mode));
        Open("accel=1,2,3;accel_low=3,1,0");
        Write({0x12, 0x00, c.mode});
        AdvanceMs(10);
        const std::optional<Bytes> report = Read();
        ASSERT_TRUE(report);
        EXPECT_EQ(report->size(), c.length);
        EXPECT_EQ(Bytes(report->begin(), report->begin() + c.start.size()), c.start);
    }
}

// Without the continuous bit (byte 1, 0x04) a report that would be the same as the
// last goes out only when a mode report asks for it; accelerations always change.
TEST_F(SimStream, AModeChangeShapesOnlyTheReportsDueAfterIt) {
    Open("");
    Write(kModeAccelReport);
    AdvanceMs(25);
    Write(kModeButtonsReport);
    Write({0x12, 0x00, 0x21}); // not a data mode: ignored
    Write({0x12, 0x00, 0x38}); // nor is this one, which the remote does not have
    AdvanceMs(30);
    EXPECT_EQ(Ids(ReadAll()), (Bytes{0x31, 0x31, 0x30})) << "buttons only, and none changed";
    Write(kModeButtonsReport);
    AdvanceMs(10);
    EXPECT_EQ(Ids(ReadAll()), (Bytes{0x30})) << "a mode report asks for one";
    Write({0x12, 0x04, 0x30});
    AdvanceMs(30);
    EXPECT_EQ(Ids(ReadAll()), (Bytes{0x30, 0x30, 0x30})) << "continuous";
}

TEST_F(SimStream, RepliesAndDataReportsComeInOrderOfTheirDueTime) {
    Open("latency=15000");
    Write(kModeAccelReport);   // data at 10, 20, 30, 40
    Write(kGyroRequestReport); // reply at 15
    AdvanceMs(5);
    Write(kGyroRequestReport); // reply at 20, after the data report due at the same moment
    AdvanceMs(40);
    EXPECT_EQ(Ids(ReadAll()), (Bytes{0x31, 0x21, 0x31, 0x21, 0x31, 0x31}));
}

TEST_F(SimStream, AReplyFallsDueExactlyAfterTheLatency) {
    const struct {
        const char* scenario;
        int64_t latencyUs;
    } cases[] = {{"stream=0", 2000}, {"stream=0;latency=7300", 7300}, {"stream=0;latency=0", 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.scenario);
        Open(c.scenario);
        Write(kGyroRequestReport);
        if (c.latencyUs > 0) {
            SimAdvanceClock(c.latencyUs - 1);
            EXPECT_FALSE(Read());
            SimAdvanceClock(1);
        }
        EXPECT_EQ(Ids(ReadAll()), (Bytes{0x21}));
    }
}

TEST_F(SimStream, TheFirstDataReportCanHaveItsOwnIdThenTheModeFollows) {
    const struct {
        const char* scenario;
        Bytes mode;
        Bytes ids;
    } cases[] = {
        {"first=0x33", kModeAccelReport, {0x33, 0x31, 0x31}},
        {"first=0x30", kModeAccelReport, {0x30, 0x31, 0x31}},
        {"first=0x31", kModeButtonsReport, {0x31, 0x30}},
        {"first=0x21", kModeAccelReport, {0x21, 0x31, 0x31}},
        {"first=50", kModeAccelReport, {0x32, 0x31, 0x31}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.scenario);
        Open(c.scenario);
        Write(c.mode);
        AdvanceMs(30);
        EXPECT_EQ(Ids(ReadAll()), c.ids);
    }
}

TEST_F(SimStream, ButtonsAndHomeHoldFromTheirMomentsAndTheLaterOneDecidesHomeOnATie) {
    struct Case {
        const char* scenario;
        Bytes at10, at20, at30; // bytes 1 and 2 of the data reports due then
    };
    const Case cases[] = {
        {"", {0x00, 0x00}, {0x00, 0x00}, {0x00, 0x00}},
        {"home=15", {0x00, 0x00}, {0x00, 0x80}, {0x00, 0x80}},
        {"buttons=04,08@15", {0x00, 0x00}, {0x04, 0x08}, {0x04, 0x08}},
        {"buttons=0x01,0x88@20", {0x00, 0x00}, {0x01, 0x88}, {0x01, 0x88}},
        {"home=15;buttons=04,08@25", {0x00, 0x00}, {0x00, 0x80}, {0x04, 0x08}},
        {"buttons=04,08@15;home=25", {0x00, 0x00}, {0x04, 0x08}, {0x04, 0x80}},
        {"buttons=04,08@15;home=15", {0x00, 0x00}, {0x04, 0x80}, {0x04, 0x80}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.scenario);
        Open((std::string(c.scenario) + ";accel_low=0,0,0").c_str());
        Write(kModeAccelReport);
        AdvanceMs(30);
        const std::vector<Bytes> reports = ReadAll();
        ASSERT_EQ(reports.size(), 3u);
        EXPECT_EQ(Bytes(reports[0].begin() + 1, reports[0].begin() + 3), c.at10);
        EXPECT_EQ(Bytes(reports[1].begin() + 1, reports[1].begin() + 3), c.at20);
        EXPECT_EQ(Bytes(reports[2].begin() + 1, reports[2].begin() + 3), c.at30);
    }
}

// A remote lying still with Y's and Z's low bits at 1: its data reports show Home
// as 0xE0 in byte 2, its replies the buttons alone.
TEST_F(SimStream, RepliesCarryTheButtonsOfTheirDueMomentWithoutTheLowBits) {
    Open("home=25;accel=128,128,154;accel_low=3,1,1");
    Write(kModeAccelReport);
    AdvanceMs(20);
    Write(kGyroRequestReport); // due at 22
    AdvanceMs(10);
    Write(kGyroRequestReport); // due at 32
    AdvanceMs(10);
    std::vector<Bytes> replies, data;
    for (const Bytes& report : ReadAll()) {
        (report[0] == 0x21 ? replies : data).push_back(report);
    }
    ASSERT_EQ(replies.size(), 2u);
    EXPECT_EQ(Bytes(replies[0].begin() + 1, replies[0].begin() + 3), (Bytes{0x00, 0x00}));
    EXPECT_EQ(Bytes(replies[1].begin() + 1, replies[1].begin() + 3), (Bytes{0x00, 0x80}));
    ASSERT_EQ(data.size(), 4u);
    EXPECT_EQ(data[1], (Bytes{0x31, 0x60, 0x60, 128, 128, 154}));
    EXPECT_EQ(data[3], (Bytes{0x31, 0x60, 0xE0, 128, 128, 154}));
}

TEST_F(SimStream, ReplyLayoutAndErrorNibble) {
    struct Case {
        const char* scenario;
        Bytes request;
        Bytes bytes1to7; // buttons, size and error, address, data
    };
    const Case cases[] = {
        {"gyro=1234", kGyroRequestReport, {0x00, 0x00, 0x10, 0x00, 0x90, 0x12, 0x34}},
        {"gyro=1234;error=5", kGyroRequestReport, {0x00, 0x00, 0x15, 0x00, 0x90, 0x12, 0x34}},
        {"gyro=1234;error=8", kGyroRequestReport, {0x00, 0x00, 0x18, 0x00, 0x90, 0x12, 0x34}},
        {"gyro=1234;buttons=02,04@0",
         kGyroRequestReport,
         {0x02, 0x04, 0x10, 0x00, 0x90, 0x12, 0x34}},
        // one byte asked: the high byte alone
        {"gyro=1234",
         {0x17, 0x04, 0x92, 0x00, 0x90, 0x00, 0x01},
         {0x00, 0x00, 0x00, 0x00, 0x90, 0x12, 0x00}},
        // an extension port with nothing plugged in, or a motion sensor the original
        // remote lacks: error 7, no data
        {"gyro=1234",
         {0x17, 0x04, 0xA4, 0x00, 0x20, 0x00, 0x02},
         {0x00, 0x00, 0x17, 0x00, 0x20, 0x00, 0x00}},
        {"extension=nunchuk",
         {0x17, 0x04, 0xA6, 0x00, 0xFA, 0x00, 0x06},
         {0x00, 0x00, 0x57, 0x00, 0xFA, 0x00, 0x00}},
        // what is there: a Nunchuk's identity, the calibration in the EEPROM
        {"extension=nunchuk",
         {0x17, 0x04, 0xA4, 0x00, 0xFA, 0x00, 0x06},
         {0x00, 0x00, 0x50, 0x00, 0xFA, 0x00, 0x00}},
        {"",
         {0x17, 0x00, 0x00, 0x00, 0x16, 0x00, 0x02},
         {0x00, 0x00, 0x10, 0x00, 0x16, 0x80, 0x80}},
        // an address that does not exist (this one beyond the EEPROM), a block
        // overrun, a size beyond 16: error 8, no data
        {"gyro=1234",
         {0x17, 0x00, 0x92, 0x00, 0x90, 0x00, 0x02},
         {0x00, 0x00, 0x18, 0x00, 0x90, 0x00, 0x00}},
        {"extension=nunchuk",
         {0x17, 0x04, 0xA4, 0x00, 0xFF, 0x00, 0x02},
         {0x00, 0x00, 0x18, 0x00, 0xFF, 0x00, 0x00}},
        {"gyro=1234",
         {0x17, 0x04, 0x92, 0x00, 0x90, 0x00, 0x20},
         {0x00, 0x00, 0xF8, 0x00, 0x90, 0x00, 0x00}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.scenario);
        Open(c.scenario);
        Write(c.request);
        AdvanceMs(5);
        const std::optional<Bytes> reply = Read();
        ASSERT_TRUE(reply);
        ASSERT_EQ(reply->size(), 22u);
        EXPECT_EQ((*reply)[0], 0x21);
        EXPECT_EQ(Bytes(reply->begin() + 1, reply->begin() + 8), c.bytes1to7);
    }
}

// A status report for 0x15 (LEDs, extension, continuous mode, battery) and an
// acknowledgement for every write and for any report with bit 1 of byte 1 set, each
// after the latency, with the error code of where a write went.
TEST_F(SimStream, StatusRequestsAndWritesAreAnswered) {
    struct Case {
        const char* scenario;
        std::vector<Bytes> requests;
        Bytes answer; // the last report that comes
    };
    const Case cases[] = {
        {"", {{0x15, 0x00}}, {0x20, 0x00, 0x00, 0x00, 0x00, 0x00, 0xC8}},
        {"extension=nunchuk;buttons=00,08@0",
         {{0x11, 0x90}, {0x12, 0x04, 0x31}, {0x15, 0x00}},
         {0x20, 0x00, 0x08, 0x9A, 0x00, 0x00, 0xC8}},
        {"extension=nunchuk",
         {{0x16, 0x04, 0xA4, 0x00, 0xF0, 0x01, 0x55}},
         {0x22, 0x00, 0x00, 0x16, 0x00}},
        {"", {{0x16, 0x04, 0xA4, 0x00, 0xF0, 0x01, 0x55}}, {0x22, 0x00, 0x00, 0x16, 0x07}},
        {"", {{0x16, 0x04, 0xC0, 0x00, 0x00, 0x01, 0x55}}, {0x22, 0x00, 0x00, 0x16, 0x08}},
        {"", {{0x16, 0x00, 0x00, 0x10, 0x00, 0x02, 0x01, 0x02}}, {0x22, 0x00, 0x00, 0x16, 0x00}},
        {"", {{0x11, 0x12}}, {0x22, 0x00, 0x00, 0x11, 0x00}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.scenario);
        Open(c.scenario);
        for (const Bytes& request : c.requests) {
            Bytes report = request;
            report.resize(22);
            Write(report);
        }
        AdvanceMs(1);
        EXPECT_EQ(Ids(ReadAll()), Bytes{}) << "not before the latency";
        AdvanceMs(1);
        const std::vector<Bytes> answers = ReadAll();
        ASSERT_FALSE(answers.empty());
        EXPECT_EQ(answers.back(), c.answer);
    }
}

TEST_F(SimStream, TheGyroValuesCycleOnePerRequest) {
    Open("gyro=0064,8000,8001,FFFF;latency=0;stream=0");
    Bytes highs, lows;
    for (int i = 0; i < 6; ++i) {
        Write(kGyroRequestReport);
        const std::optional<Bytes> reply = Read();
        ASSERT_TRUE(reply);
        highs.push_back((*reply)[6]);
        lows.push_back((*reply)[7]);
    }
    EXPECT_EQ(highs, (Bytes{0x00, 0x80, 0x80, 0xFF, 0x00, 0x80}));
    EXPECT_EQ(lows, (Bytes{0x64, 0x00, 0x01, 0xFF, 0x64, 0x00}));
}

// A gyro signal without noise is exact at every moment, and reads back as itself.
TEST_F(SimStream, TheGyroSignalIsItsBiasDriftAndSine) {
    struct Case {
        const char* scenario;
        int64_t atMs;
        int reading;
    };
    const Case cases[] = {
        {"gyro_bias=-37", 500, -37},
        {"gyro_bias=12.4", 0, 12},
        {"gyro_bias=-1;gyro_drift=2.5", 4000, 9},
        {"gyro_drift=-100", 2000, -200},
        {"gyro_sine=300,2000", 500, 300},
        {"gyro_sine=300,2000", 1500, -300},
        {"gyro_bias=10;gyro_sine=300,2000", 1000, 10},
        {"gyro_bias=32768;gyro_drift=1000", 1000, 32768},
        {"gyro_bias=-32768", 0, -32766},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.scenario) + " at " + std::to_string(c.atMs) + " ms");
        const std::string scenario = std::string(c.scenario) + ";latency=0;stream=0";
        Open(scenario.c_str());
        AdvanceMs(c.atMs);
        Write(kGyroRequestReport);
        const std::optional<Bytes> reply = Read();
        ASSERT_TRUE(reply);
        EXPECT_EQ(GyroReading(*reply), c.reading);
    }
}

// Its noise is Gaussian about the bias with the standard deviation asked for, and
// the seed's: the same seed, the same noise.
TEST_F(SimStream, TheGyroSignalsNoiseHasItsStandardDeviation) {
    auto readings = [this](const char* scenario) {
        Open(scenario);
        std::vector<int> values;
        for (int i = 0; i < 4000; ++i) {
            Write(kGyroRequestReport);
            const std::optional<Bytes> reply = Read();
            values.push_back(reply ? GyroReading(*reply) : 99999);
        }
        return values;
    };
    const std::vector<int> values = readings("gyro_bias=-20;gyro_noise=8;latency=0;stream=0");
    double sum = 0, squares = 0;
    int beyondThree = 0;
    for (int v : values) {
        sum += v;
        squares += (v + 20.0) * (v + 20.0);
        beyondThree += std::abs(v + 20) > 24 ? 1 : 0;
    }
    const double mean = sum / values.size();
    const double sd = std::sqrt(squares / values.size());
    EXPECT_NEAR(mean, -20.0, 0.5); // 4 standard errors of the mean
    EXPECT_NEAR(sd, 8.0, 0.4);     // 4 standard errors of the deviation, and rounding
    EXPECT_LT(beyondThree, 30);    // a Gaussian's tails: about 11 of 4000
    EXPECT_EQ(readings("gyro_bias=-20;gyro_noise=8;latency=0;stream=0"), values);
    EXPECT_NE(readings("gyro_bias=-20;gyro_noise=8;latency=0;stream=0;seed=2"), values);
}

TEST_F(SimStream, FixedAccelerationsStayWhateverTheMoment) {
    for (const char* scenario : {"accel=0,128,255;noise=0", "accel=0x00,0x80,0xFF;noise=0"}) {
        SCOPED_TRACE(scenario);
        Open(scenario);
        Write(kModeAccelReport);
        AdvanceMs(1000);
        const std::vector<Bytes> reports = ReadAll();
        ASSERT_FALSE(reports.empty());
        for (const Bytes& report : reports) {
            ASSERT_EQ(report, (Bytes{0x31, 0x00, 0x00, 0x00, 0x80, 0xFF}));
        }
    }
}

TEST_F(SimStream, MuteSilencesRequestsFromItsMomentWhileDataGoesOn) {
    Open("mute=30");
    Write(kModeAccelReport);
    AdvanceMs(20);
    Write(kGyroRequestReport); // answered at 22
    AdvanceMs(10);
    Write(kGyroRequestReport); // at 30: muted
    AdvanceMs(30);
    EXPECT_EQ(Ids(ReadAll()), (Bytes{0x31, 0x31, 0x21, 0x31, 0x31, 0x31, 0x31}));
}

TEST_F(SimStream, AnUnstreamingRemoteStillAnswersRequests) {
    Open("stream=0");
    Write(kModeAccelReport);
    Write(kGyroRequestReport);
    AdvanceMs(100);
    EXPECT_EQ(Ids(ReadAll()), (Bytes{0x21}));
}

TEST_F(SimStream, ADelayHoldsBackTheFirstDataReportAfterEveryModeReport) {
    Open("delay=60");
    Write(kModeAccelReport);
    AdvanceMs(59);
    EXPECT_FALSE(Read());
    AdvanceMs(1);
    EXPECT_EQ(Ids(ReadAll()), (Bytes{0x31}));
    AdvanceMs(10);
    EXPECT_EQ(Ids(ReadAll()), (Bytes{0x31})) << "then one each period";
    Write(kModeButtonsReport);
    AdvanceMs(59);
    EXPECT_FALSE(Read());
    AdvanceMs(1);
    EXPECT_EQ(Ids(ReadAll()), (Bytes{0x30}));
}

// A recording in hid-recorder's own form (no output reports, a wrapped descriptor,
// a second device) replays from the first mode report in its recorded spacing, in
// place of everything the other keys would send; once it has run out, the remote
// stays silent and answers no request.
TEST_F(SimStream, ARecordingReplaysFromTheFirstModeReportInItsSpacingThenFallsSilent) {
    const std::string path =
        WriteTestFile("recording", "# recorded by hid-recorder\n"
                                   "R: 4 05 01\n"
                                   "09 02\n"
                                   "N: Nintendo RVL-CNT-01\n"
                                   "P: bluetooth\n"
                                   "I: 5 057e 0306\n"
                                   "D: 0\n"
                                   "E: 000010.000000 6 31 00 00 80 80 99\n"
                                   "# ReportID: 49\n"
                                   "E: 000010.010000 6 31 00 08 81 80 9a\n"
                                   "D: 1\n"
                                   "E: 000010.011000 3 30 00 00\n"
                                   "D: 0\n"
                                   "E: 000010.012000 8 21 00 00 10 00 90 01 2c\n"
                                   "E: 000010.020000 3 30 00 80\n");
    Open(("gyro=0064;latency=5000;period=1;replay=" + path).c_str());
    Write(kAllLedsReport);
    AdvanceMs(100);
    EXPECT_FALSE(Read()) << "nothing before the first mode report";

    Write(kModeAccelReport);
    EXPECT_EQ(ReadAll(), (std::vector<Bytes>{{0x31, 0x00, 0x00, 0x80, 0x80, 0x99}}));
    AdvanceMs(9);
    Write(kModeButtonsReport); // later mode reports change nothing
    Write(kGyroRequestReport); // the recording holds the replies
    EXPECT_FALSE(Read());
    AdvanceMs(1);
    EXPECT_EQ(ReadAll(), (std::vector<Bytes>{{0x31, 0x00, 0x08, 0x81, 0x80, 0x9a}}));
    AdvanceMs(2);
    EXPECT_EQ(ReadAll(), (std::vector<Bytes>{{0x21, 0x00, 0x00, 0x10, 0x00, 0x90, 0x01, 0x2c}}));
    AdvanceMs(8);
    EXPECT_EQ(ReadAll(), (std::vector<Bytes>{{0x30, 0x00, 0x80}}));

    Write(kGyroRequestReport);
    AdvanceMs(1000);
    EXPECT_FALSE(Read()) << "after the recording, silence";
    EXPECT_EQ(lastResult, 0);
}

// A recording of the program's own session: the replay starts at its first mode
// report, and the input reports above it are left out, even one of the same moment
// (the kernel's driver had the remote talking before the program began). Recording
// into the file being replayed is refused, and the file stays as it was.
TEST_F(SimStream, AProgramsRecordingReplaysFromItsFirstModeReportAndIsNeverRecordedOver) {
    const std::string text = "N: Nintendo RVL-CNT-01\n"
                             "E: 000000.001000 8 21 00 00 50 00 fa 00 00\n"
                             "E: 000000.002000 3 30 00 00\n"
                             "# O: 000000.002000 3 12 00 31\n"
                             "E: 000000.012000 6 31 00 00 80 80 99\n";
    const std::string path = WriteTestFile("session", text);
    ASSERT_EQ(setenv(kRecordVariable, path.c_str(), 1), 0);
    testing::internal::CaptureStderr();
    Open(("replay=" + path).c_str());
    const std::string said = testing::internal::GetCapturedStderr();
    unsetenv(kRecordVariable);
    EXPECT_NE(said.find("names the file being replayed"), std::string::npos) << said;

    Write(kModeAccelReport);
    EXPECT_FALSE(Read()) << "nothing from above the mode report";
    AdvanceMs(10);
    EXPECT_EQ(ReadAll(), (std::vector<Bytes>{{0x31, 0x00, 0x00, 0x80, 0x80, 0x99}}));
    CloseHidHandle(handle);
    handle = HID_NO_DEVICE;
    EXPECT_EQ(ReadFileText(path), text);
}

// Linux's hid-wiimote beside us, long after it bound: from 1 s and every 4 s (on the
// original remote only) it reads the extension's identity, wakes a motion sensor
// and reads its identity, each request after the answer before; from 2 s and every
// 4 s the desktop's battery read makes it ask for a status report, after which its
// mode report turns the stream to buttons only until the program's next one.
TEST_F(SimStream, TheKernelDriverPollsAndAsksForTheBatteryBesideUs) {
    Open("driver=1;extension=nunchuk;accel=1,2,3");
    Write(kModeAccelReport);
    Write({0x11, 0xF0});
    AdvanceMs(999);
    ReadAll();
    AdvanceMs(11);
    const std::vector<Bytes> poll = ReadAll();
    ASSERT_EQ(Ids(poll), (Bytes{0x31, 0x21, 0x22, 0x21, 0x31}));
    EXPECT_EQ(Bytes(poll[1].begin() + 3, poll[1].begin() + 12),
              (Bytes{0x50, 0x00, 0xFA, 0x00, 0x00, 0xA4, 0x20, 0x00, 0x00}))
        << "the Nunchuk's identity";
    EXPECT_EQ(poll[2], (Bytes{0x22, 0x00, 0x00, 0x16, 0x07})) << "no motion sensor to wake";
    EXPECT_EQ(Bytes(poll[3].begin() + 3, poll[3].begin() + 6), (Bytes{0x57, 0x00, 0xFA}));

    AdvanceMs(992);
    const std::vector<Bytes> toStatus = ReadAll();
    ASSERT_FALSE(toStatus.empty());
    EXPECT_EQ(toStatus.back(), (Bytes{0x20, 0x00, 0x00, 0xF2, 0x00, 0x00, 0xC8}));
    AdvanceMs(30);
    EXPECT_EQ(Ids(ReadAll()), (Bytes{0x30})) << "the driver's mode from 2003 ms, unchanging";
    Write(kModeAccelReport);
    AdvanceMs(10);
    EXPECT_EQ(Ids(ReadAll()), (Bytes{0x31}));

    const std::vector<std::string> log = LogLines();
    for (const char* line :
         {"1000 driver 17 04 a4 00 fa 00 06",
          "1003 driver 16 04 a6 00 f0 01 55 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00",
          "1006 driver 17 04 a6 00 fa 00 06", "2000 driver 15 00", "2003 driver 12 00 30"}) {
        EXPECT_NE(std::find(log.begin(), log.end(), line), log.end()) << line;
    }

    CloseHidHandle(handle);
    handle = OpenHidHandle(kVendor, kWiiRemotePlusProduct);
    Write(kModeAccelReport);
    AdvanceMs(2002);
    const Bytes laterModel = Ids(ReadAll());
    EXPECT_EQ(std::count(laterModel.begin(), laterModel.end(), 0x21), 0)
        << "no identity poll on the later model";
    EXPECT_EQ(laterModel.back(), 0x20) << "but the battery read";
}

// A Nunchuk plugged in at 25 ms and pulled out at 55 ms: each time a status report
// nobody asked for (extension bit on, then off), then no data report until the next
// mode report. The kernel driver answers such a report with its mode.
TEST_F(SimStream, AnExtensionComingOrGoingStopsTheStreamUntilTheNextModeReport) {
    Open("extension=nunchuk@25,55");
    Write(kModeAccelReport);
    AdvanceMs(45);
    std::vector<Bytes> reports = ReadAll();
    ASSERT_EQ(Ids(reports), (Bytes{0x31, 0x31, 0x20}));
    EXPECT_EQ(reports[2], (Bytes{0x20, 0x00, 0x00, 0x02, 0x00, 0x00, 0xC8}));
    Write(kModeAccelReport);
    AdvanceMs(15);
    reports = ReadAll();
    ASSERT_EQ(Ids(reports), (Bytes{0x31, 0x20}));
    EXPECT_EQ(reports[1][3], 0x00) << "pulled out";
    AdvanceMs(100);
    EXPECT_EQ(Ids(ReadAll()), Bytes{});

    Open("extension=nunchuk@25;driver=1");
    AdvanceMs(30);
    ReadAll();
    const std::vector<std::string> log = LogLines();
    EXPECT_NE(std::find(log.begin(), log.end(), "26 driver 12 00 30"), log.end());
}

TEST_F(SimStream, ASlowReaderGetsTheNewestReportsInOrder) {
    struct Case {
        const char* scenario;
        int64_t pauseMs;
        size_t count;    // reports kept
        uint8_t firstId; // the oldest one kept
    };
    const Case cases[] = {
        {"", 100, 11, 0x21},         // the reply at 2 ms, then ten data reports
        {"backlog=3", 100, 3, 0x31}, // the reply and the oldest data are gone
        {"", 3600 * 1000, 64, 0x31}, // an hour away: a full backlog, and no hang
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.scenario);
        Open(c.scenario);
        Write(kModeAccelReport);
        Write(kGyroRequestReport);
        AdvanceMs(c.pauseMs);
        const std::vector<Bytes> reports = ReadAll();
        ASSERT_EQ(reports.size(), c.count);
        EXPECT_EQ(reports[0][0], c.firstId);
        AdvanceMs(10);
        EXPECT_EQ(Ids(ReadAll()), (Bytes{0x31})) << "the stream goes on at its pace";
    }
}

TEST_F(SimStream, SameSeedSameNoiseOtherSeedOtherNoise) {
    auto accelerations = [this](const char* scenario) {
        Open(scenario);
        Write(kModeAccelReport);
        AdvanceMs(200);
        Bytes values;
        for (const Bytes& report : ReadAll()) {
            values.insert(values.end(), report.begin() + 3, report.end());
        }
        return values;
    };
    const Bytes seven = accelerations("seed=7");
    EXPECT_EQ(accelerations("seed=7"), seven);
    EXPECT_NE(accelerations("seed=8"), seven);
    EXPECT_NE(accelerations("seed=7;noise=0"), seven);
}

// The default motion as a hand would make it: gravity of constant size seen from
// a turning remote, and a gyro reading that follows the turn, within the window.
TEST_F(SimStream, TheDefaultMotionIsCoherentAndStaysOnScreen) {
    Open("latency=0");
    Write(kModeAccelReport);
    std::vector<double> rolls;
    std::vector<int> gyro;
    for (int step = 0; step < 800; ++step) { // 8 s, two turns of the roll
        AdvanceMs(10);
        Write(kGyroRequestReport);
        const std::vector<Bytes> reports = ReadAll();
        ASSERT_EQ(Ids(reports), (Bytes{0x31, 0x21}));
        const Bytes& data = reports[0];
        const double size = std::hypot(data[3] - 128.0, data[4] - 128.0, data[5] - 128.0);
        ASSERT_NEAR(size, 26.0, 3.0) << "at step " << step;
        rolls.push_back(RollFromGravity(data));
        gyro.push_back(GyroReading(reports[1]));
    }
    int highest = 0, lowest = 0;
    for (size_t i = 10; i + 10 < gyro.size(); ++i) {
        highest = std::max(highest, gyro[i]);
        lowest = std::min(lowest, gyro[i]);
        if (std::abs(gyro[i]) > 100) {
            const double turn = rolls[i + 10] - rolls[i - 10];
            EXPECT_EQ(turn > 0, gyro[i] > 0) << "at step " << i << ": roll moved " << turn;
        }
    }
    EXPECT_GT(highest, 150);
    EXPECT_LT(lowest, -150);
    EXPECT_LE(highest, 200);
    EXPECT_GE(lowest, -200);
}

} // namespace
