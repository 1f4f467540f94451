// Helpers for the simulated remote's tests: a fixture that opens the remote on a
// scenario with its own log file, and short ways to write, read and advance.
#ifndef TOBRISK_TESTS_SIM_TEST_SUPPORT_H
#define TOBRISK_TESTS_SIM_TEST_SUPPORT_H

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "hid_report_library.h"
#include "remote_reports.h"

constexpr uint16_t kVendor = kWiiRemoteVendor;
constexpr uint16_t kProduct = kWiiRemoteProduct;

// Each test gets its own log file, no scenario from the environment, and the
// manual clock unless it asks for the real one; TearDown closes what is open.
class SimTest : public testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;

    // Opens the remote on scenario, closing the one open before; expects success.
    HidHandle Open(const char* scenario, bool manualClock = true);
    // Writes report on the open handle; returns WriteReport's result.
    int32_t Write(const Bytes& report);
    // One ReadReport: the report, or nothing on 0 or -1 (result in lastResult).
    std::optional<Bytes> Read();
    // Reads until a read brings no report.
    std::vector<Bytes> ReadAll();
    // Moves the manual clock on.
    void AdvanceMs(int64_t ms);
    // The log's lines so far.
    std::vector<std::string> LogLines() const;
    // Writes text to a file of this test's own beside its log; returns its path.
    std::string WriteTestFile(const std::string& name, const std::string& text) const;

    HidHandle handle = HID_NO_DEVICE; // the handle Open returned
    int32_t lastResult = 0;           // of the last Read
    std::string logPath;              // this test's log file
};

// The IDs (byte 0) of reports, in order.
Bytes Ids(const std::vector<Bytes>& reports);

#endif
