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
        {"gyro=", "gyro"},
        {"gyro=12345", "gyro"},
        {"gyro=0064,,8000", "gyro"},
        {"gyro=00g4", "gyro"},
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

TEST_F(SimScenarioText, ValidScenariosAreTaken) {
    const char* const texts[] = {
        "",
        ";",
        " latency = 500 ; period=20;",
        "present=1;stream=0",
        "first=48",
        "accel=0x10, 32 ,255",
        "gyro=0x0064,ffff,1",
        "buttons=0x04,0x08@0",
        "buttons=4,80 @ 250",
        "error=0xF",
        "home=0;mute=1000000000;unplug=5000",
        "seed=18446744073709551615;noise=0;backlog=4096",
        "period=1;latency=10000000",
        "delay=0;driver=0",
        "delay=10000;driver=1",
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
