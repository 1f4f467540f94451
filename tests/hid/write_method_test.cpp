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

constexpr uint32_t kErrorGenFailure = 31; // ERROR_GEN_FAILURE

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
    // Both refusals for the length, another error, and each other way refused for
    // its length: the rows that a wrong condition would answer differently.
    const Case cases[] = {
        {WriteMethod::ReportWrite, kErrorInvalidUserBuffer, WriteMethod::SetOutputReport},
        {WriteMethod::ReportWrite, kErrorInvalidParameter, WriteMethod::SetOutputReport},
        {WriteMethod::ReportWrite, kErrorGenFailure, WriteMethod::None},
        {WriteMethod::PaddedWrite, kErrorInvalidUserBuffer, WriteMethod::None},
        {WriteMethod::SetOutputReport, kErrorInvalidParameter, WriteMethod::None},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(NextWriteMethod(c.failed, c.error), c.next)
            << "after " << testing::PrintToString(c.failed) << " failed with " << c.error;
    }
}

} // namespace
