// Reading the scenario: every valid form is taken, anything else refuses the
// opening with one line naming the key, and the environment is read at each opening.
#include <cstdlib>

#include "sim_control.h"
#include "sim_test_support.h"

namespace {

using SimScenarioText = SimTest;

TEST_F(SimScenarioText, BadScenariosRefuseTheOpeningNamingTheKey) {
    struct Case {
        const char* text;
        const char* key; // as the message must name it
    };
    const Case cases[] = {
        {"colour=red", "colour"},
        {"latency=5;Latency=6", "Latency"},
        {"present", "present"},
        {"present=2", "present"},
        {"stream=yes", "stream"},
        {"first=0x130", "first"},
        {"first=", "first"},
        {"accel=1,2", "accel"},
        {"accel=1,2,256", "accel"},
        {"accel=1,2,-3", "accel"},
        {"accel_low=4,0,0", "accel_low"},
        {"accel_low=3,2,0", "accel_low"},
        {"accel_low=0,0", "accel_low"},
        {"gyro=", "gyro"},
        {"gyro=12345", "gyro"},
        {"gyro=0064,,8000", "gyro"},
        {"gyro=00g4", "gyro"},
        {"gyro_bias=40000", "gyro_bias"},
        {"gyro_noise=-1", "gyro_noise"},
        {"gyro_drift=nan", "gyro_drift"},
        {"gyro_drift=1e3", "gyro_drift"},
        {"gyro_bias=+5", "gyro_bias"},
        {"gyro_bias=1.", "gyro_bias"},
        {"gyro_noise=0.000000000000001", "gyro_noise"},
        {"gyro_sine=5", "gyro_sine"},
        {"gyro_sine=5,0", "gyro_sine"},
        {"gyro=0064;gyro_bias=1", "gyro"},
        {"latency=abc", "latency"},
        {"latency=10000001", "latency"},
        {"period=0", "period"},
        {"period=1001", "period"},
        {"period=10ms", "period"},
        {"home=-5", "home"},
        {"buttons=04,08", "buttons"},
        {"buttons=04@10", "buttons"},
        {"buttons=104,08@10", "buttons"},
        {"error=16", "error"},
        {"mute=soon", "mute"},
        {"unplug=1.5", "unplug"},
        {"seed=18446744073709551616", "seed"},
        {"noise=11", "noise"},
        {"backlog=0", "backlog"},
        {"delay=10001", "delay"},
        {"delay=", "delay"},
        {"driver=2", "driver"},
        {"extension=Nunchuk", "extension"},
        {"extension=", "extension"},
        {"extension=nunchuk@", "extension"},
        {"extension=nunchuk@3000,3000", "extension"},
        {"extension=nunchuk@1,2,3", "extension"},
        {"extension=none@5", "extension"},
        {"replay=", "replay"},
        {"latency=5;latency=6", "latency"},
        {"stream=0;;present=1;mute", "mute"},
        {"latency=1\n2", "latency"},
        {"x\ny=1", "x?y"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        testing::internal::CaptureStderr();
        EXPECT_FALSE(SimSetScenario(c.text));
        const std::string message = testing::internal::GetCapturedStderr();
        EXPECT_EQ(message.rfind("tiny_hid_sim: ", 0), 0u) << message;
        EXPECT_NE(message.find(std::string("'") + c.key + "'"), std::string::npos) << message;
        EXPECT_EQ(message.find('\n'), message.size() - 1) << "one line: " << message;

        testing::internal::CaptureStderr();
        EXPECT_EQ(OpenHidHandle(kVendor, kProduct), HID_NO_DEVICE);
        EXPECT_EQ(testing::internal::GetCapturedStderr(), message);
    }
    const std::vector<std::string> log = LogLines();
    EXPECT_EQ(log, std::vector<std::string>(std::size(cases), "0 open-failed"));
}

// A recording to replay that cannot be read or is malformed refuses the opening
// like a bad scenario, with one line naming the file and the faulty line.
TEST_F(SimScenarioText, BadRecordingsToReplayRefuseTheOpeningNamingFileAndLine) {
    struct Case {
        const char* text; // the file's contents; null for no file at all
        const char* says; // what the message must say after the file's name
    };
    const Case cases[] = {
        {nullptr, "cannot be read"},
        {"", "line 1: no input report"},
        {"N: a remote\nI: 5 057e 0306\n", "line 2: no input report"},
        {"E: 0.5 3 30 00 00\n", "line 1: expected a time"},
        {"E: 000000.000000 3 30 00 00\nE: 1.5 3 30 00 00\n", "line 2: expected a time"},
        {"E: 000000.000000 3 30 00\n", "line 1: the length says 3 bytes, the line has 2"},
        {"E: 000000.000000 0\n", "line 1: expected a length"},
        {"E: 000000.000000 257 30\n", "line 1: expected a length"},
        {"E: 000000.000000 2 30 0g\n", "line 1: '0g' is not a byte"},
        {"E: 000000.000000 2 30 000\n", "line 1: '000' is not a byte"},
        {"E: 000001.000000 1 30\nE: 000000.500000 1 30\n", "line 2: the time goes backwards"},
        {"# O: 000000.000000 3 12 00\nE: 000000.000000 1 30\n", "line 1: the length says 3"},
        {"N: a remote\nhello\n", "line 2: not a line of a recording"},
        {"R: 2 05 01\n09 02\nE:000000.000000 1 30\nZZ\n", "line 4: not a line"},
        {"D: one\nE: 000000.000000 1 30\n", "line 1: expected a device index"},
        {"E: 000000.000000 23 21 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00\n",
         "line 1: longer than the remote's reports"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text ? c.text : "(no file)");
        const std::string path =
            c.text ? WriteTestFile("recording", c.text) : logPath + ".no-such-recording";
        testing::internal::CaptureStderr();
        EXPECT_FALSE(SimSetScenario(("replay=" + path).c_str()));
        const std::string message = testing::internal::GetCapturedStderr();
        const std::string expected = "tiny_hid_sim: replay file '" + path + "' " + c.says;
        EXPECT_EQ(message.rfind(expected, 0), 0u) << message;
        EXPECT_EQ(message.find('\n'), message.size() - 1) << "one line: " << message;

        testing::internal::CaptureStderr();
        EXPECT_EQ(OpenHidHandle(kVendor, kProduct), HID_NO_DEVICE);
        EXPECT_EQ(testing::internal::GetCapturedStderr(), message);
    }
}

TEST_F(SimScenarioText, ValidScenariosAreTaken) {
    const char* const texts[] = {
        "",
        ";",
        " latency = 500 ; period=20;",
        "present=1;stream=0",
        "first=48",
        "accel=0x10, 32 ,255",
        "gyro=0x0064,ffff,1",
        "gyro_bias=-12.5;gyro_noise=3;gyro_drift=0.5;gyro_sine=100,2000",
        "buttons=0x04,0x08@0",
        "buttons=4,80 @ 250",
        "error=0xF",
        "home=0;mute=1000000000;unplug=5000",
        "seed=18446744073709551615;noise=0;backlog=4096",
        "period=1;latency=10000000",
        "delay=0;driver=0",
        "delay=10000;driver=1",
        "extension=none",
        "extension = nunchuk;driver=1",
        "extension=nunchuk@3000;accel_low=3,1,1",
        "extension=nunchuk @ 0 , 6000;accel_low=0,0,0",
    };
    for (const char* text : texts) {
        SCOPED_TRACE(text);
        testing::internal::CaptureStderr();
        EXPECT_TRUE(SimSetScenario(text));
        EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
        const HidHandle opened = OpenHidHandle(kVendor, kProduct);
        EXPECT_NE(opened, HID_NO_DEVICE);
        CloseHidHandle(opened);
    }
}

TEST_F(SimScenarioText, TheEnvironmentIsReadAtEachOpeningWhenNoTestOverridesIt) {
    SimSetScenario(nullptr);
    setenv("TINY_HID_SIM", "present=0", 1);
    EXPECT_EQ(OpenHidHandle(kVendor, kProduct), HID_NO_DEVICE);

    setenv("TINY_HID_SIM", "stream=0;gyro=0102;latency=0", 1);
    handle = OpenHidHandle(kVendor, kProduct);
    ASSERT_NE(handle, HID_NO_DEVICE);
    Write(kModeAccelReport);
    Write(kGyroRequestReport);
    const std::optional<Bytes> reply = Read();
    ASSERT_TRUE(reply);
    EXPECT_EQ((*reply)[6], 0x01);
    EXPECT_EQ((*reply)[7], 0x02);

    EXPECT_TRUE(SimSetScenario("present=0")) << "the test's scenario wins";
    CloseHidHandle(handle);
    handle = HID_NO_DEVICE;
    EXPECT_EQ(OpenHidHandle(kVendor, kProduct), HID_NO_DEVICE);
    unsetenv("TINY_HID_SIM");
}

TEST_F(SimScenarioText, TheLogGoesWhereTheEnvironmentSaysWhenNoTestOverridesIt) {
    const std::string path = logPath + ".env";
    std::remove(path.c_str());
    SimSetLogPath(nullptr);
    setenv("TINY_HID_SIM_LOG", path.c_str(), 1);
    Open("");
    unsetenv("TINY_HID_SIM_LOG");
    SimSetLogPath(logPath.c_str());
    CloseHidHandle(handle);
    handle = HID_NO_DEVICE;

    const std::string original = logPath;
    logPath = path;
    EXPECT_EQ(LogLines(), (std::vector<std::string>{"0 open"}));
    logPath = original;
    EXPECT_EQ(LogLines(), (std::vector<std::string>{"0 close"}));
}

} // namespace
