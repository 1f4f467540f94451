#include "sim_test_support.h"

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "sim_control.h"

void SimTest::SetUp() {
    const testing::TestInfo* test = testing::UnitTest::GetInstance()->current_test_info();
    std::filesystem::create_directories(SIM_TEST_LOG_DIR);
    std::string name = std::string(test->test_suite_name()) + "." + test->name();
    std::replace(name.begin(), name.end(), '/', '_');
    logPath = std::string(SIM_TEST_LOG_DIR) + "/" + name + ".log";
    std::filesystem::remove(logPath);
    SimSetLogPath(logPath.c_str());
    SimSetScenario("");
    SimUseManualClock(true);
}

void SimTest::TearDown() {
    if (handle != HID_NO_DEVICE) {
        CloseHidHandle(handle);
    }
    SimSetScenario(nullptr);
    SimUseManualClock(false);
    SimSetReadWait(0);
    SimSetLogPath(nullptr);
}

HidHandle SimTest::Open(const char* scenario, bool manualClock) {
    if (handle != HID_NO_DEVICE) {
        CloseHidHandle(handle);
    }
    EXPECT_TRUE(SimSetScenario(scenario)) << scenario;
    SimUseManualClock(manualClock);
    handle = OpenHidHandle(kVendor, kProduct);
    EXPECT_NE(handle, HID_NO_DEVICE) << scenario;
    return handle;
}

int32_t SimTest::Write(const Bytes& report) {
    uint8_t buffer[HID_REPORT_BUFFER_SIZE] = {};
    std::copy(report.begin(), report.end(), buffer);
    uint32_t outWord = 0;
    return WriteReport(handle, buffer, &outWord);
}

std::optional<Bytes> SimTest::Read() {
    uint8_t buffer[HID_REPORT_BUFFER_SIZE] = {};
    uint32_t outWord = 0;
    lastResult = ReadReport(handle, buffer, &outWord);
    if (lastResult <= 0) {
        return std::nullopt;
    }
    return Bytes(buffer, buffer + lastResult);
}

std::vector<Bytes> SimTest::ReadAll() {
    std::vector<Bytes> reports;
    while (std::optional<Bytes> report = Read()) {
        reports.push_back(*report);
    }
    return reports;
}

void SimTest::AdvanceMs(int64_t ms) {
    SimAdvanceClock(ms * 1000);
}

std::vector<std::string> SimTest::LogLines() const {
    return ReadLogLines(logPath);
}

Bytes Ids(const std::vector<Bytes>& reports) {
    Bytes ids;
    for (const Bytes& report : reports) {
        ids.push_back(report.at(0));
    }
    return ids;
}

std::string SimTest::WriteTestFile(const std::string& name, const std::string& text) const {
    const std::string path = logPath + "." + name;
    std::ofstream(path, std::ios::binary) << text;
    return path;
}
