// How the Windows backend writes to the remote: the way chosen from the Bluetooth
// stack's driver provider, and what follows a refusal. What each way puts on the
// wire is checked under Wine (tests/wine/hid_file_check.cpp).
#include <gtest/gtest.h>

#include <ostream>

#include "write_method.h"

// Names a write method in GoogleTest's messages.
void PrintTo(WriteMethod method, std::ostream* out) {
    const char* const names[] = {"PaddedWrite", "ReportWrite", "SetOutputReport", "None"};
    *out << names[static_cast<int>(method)];
}

namespace {

constexpr uint32_t kErrorGenFailure = 31;           // ERROR_GEN_FAILURE
constexpr uint32_t kErrorSemTimeout = 121;          // ERROR_SEM_TIMEOUT
constexpr uint32_t kErrorOperationAborted = 995;    // ERROR_OPERATION_ABORTED: timed out
constexpr uint32_t kErrorDeviceNotConnected = 1167; // ERROR_DEVICE_NOT_CONNECTED

TEST(WriteMethod, ToshibasStackGetsPaddedWritesEveryOtherTheReportsOwnLength) {
    struct Case {
        const char* provider;
        WriteMethod first;
    };
    const Case cases[] = {
        {"TOSHIBA", WriteMethod::PaddedWrite},  {"Toshiba", WriteMethod::PaddedWrite},
        {"toshiba", WriteMethod::PaddedWrite},  {"Microsoft", WriteMethod::ReportWrite},
        {"", WriteMethod::ReportWrite},         {"Broadcom", WriteMethod::ReportWrite},
        {"TOSHIB", WriteMethod::ReportWrite},   {"TOSHIBA2", WriteMethod::ReportWrite},
        {"TOSHIBA ", WriteMethod::ReportWrite},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(FirstWriteMethod(c.provider), c.first) << "provider \"" << c.provider << "\"";
    }
}

TEST(WriteMethod, OnlyAShortWriteRefusedForItsLengthFallsBackToTheSetOutputReportRequest) {
    struct Case {
        WriteMethod failed;
        uint32_t error;
        WriteMethod next;
    };
    const Case cases[] = {
        {WriteMethod::ReportWrite, kErrorInvalidUserBuffer, WriteMethod::SetOutputReport},
        {WriteMethod::ReportWrite, kErrorInvalidParameter, WriteMethod::SetOutputReport},
        {WriteMethod::ReportWrite, kErrorOperationAborted, WriteMethod::None},
        {WriteMethod::ReportWrite, kErrorGenFailure, WriteMethod::None},
        {WriteMethod::ReportWrite, kErrorDeviceNotConnected, WriteMethod::None},
        {WriteMethod::ReportWrite, 0, WriteMethod::None},
        {WriteMethod::PaddedWrite, kErrorInvalidUserBuffer, WriteMethod::None},
        {WriteMethod::PaddedWrite, kErrorInvalidParameter, WriteMethod::None},
        {WriteMethod::SetOutputReport, kErrorInvalidUserBuffer, WriteMethod::None},
        {WriteMethod::SetOutputReport, kErrorInvalidParameter, WriteMethod::None},
        {WriteMethod::SetOutputReport, kErrorSemTimeout, WriteMethod::None},
        {WriteMethod::None, kErrorInvalidUserBuffer, WriteMethod::None},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(NextWriteMethod(c.failed, c.error), c.next)
            << "after " << testing::PrintToString(c.failed) << " failed with " << c.error;
    }
}

} // namespace
