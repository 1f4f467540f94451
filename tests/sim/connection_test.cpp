// The connection to the simulated remote: opening, handles, the log, unplugging,
// bounded reads on the real clock, and a close that ends a read on another thread.
#include <atomic>
#include <chrono>
#include <cstring>
#include <thread>

#include "remote_descriptor.h"
#include "sim_control.h"
#include "sim_test_support.h"

namespace {

using Clock = std::chrono::steady_clock;

// A generous bound that only proves that something does not hang.
constexpr auto kNoHang = std::chrono::seconds(5);

using SimConnection = SimTest;

TEST_F(SimConnection, OpensOnlyAPresentWiiRemote) {
    const struct {
        const char* scenario;
        uint16_t vendor, product;
        bool opens;
    } cases[] = {
        {"", kVendor, kProduct, true},
        {"", kVendor, kWiiRemotePlusProduct, true},
        {"present=1", kVendor, kProduct, true},
        {"present=0", kVendor, kProduct, false},
        {"present=0", kVendor, kWiiRemotePlusProduct, false},
        {"", kVendor, 0x0307, false},
        {"", 0x1234, kProduct, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << c.scenario << " " << std::hex << c.vendor << ":" << c.product);
        ASSERT_TRUE(SimSetScenario(c.scenario));
        const HidHandle opened = OpenHidHandle(c.vendor, c.product);
        EXPECT_EQ(opened != HID_NO_DEVICE, c.opens);
        EXPECT_EQ(LogLines().back(), c.opens ? "0 open" : "0 open-failed");
        CloseHidHandle(opened); // a misuse when it did not open: logged, harmless
    }
}

TEST_F(SimConnection, HandlesAreNeverReusedAndOldOnesAreMisuse) {
    const HidHandle first = Open("");
    CloseHidHandle(first);
    handle = HID_NO_DEVICE;
    const HidHandle second = Open("");
    EXPECT_GT(second, first);

    uint8_t buffer[HID_REPORT_BUFFER_SIZE] = {};
    std::memcpy(buffer, kModeAccelReport.data(), kModeAccelReport.size());
    EXPECT_EQ(WriteReport(first, buffer, nullptr), -1);
    EXPECT_EQ(Write(kModeAccelReport), 3) << "the new handle works";
    EXPECT_EQ(LogLines().back(), "0 write 12 00 31");
}

TEST_F(SimConnection, CallsOnClosedOrUnknownHandlesFailAndAreLogged) {
    const HidHandle closed = Open("");
    CloseHidHandle(closed);
    handle = HID_NO_DEVICE;
    const std::string closedName = std::to_string(closed);
    const struct {
        const char* call;
        HidHandle target;
        std::string line;
    } cases[] = {
        {"read", closed, "0 misuse read on closed handle " + closedName},
        {"write", closed, "0 misuse write on closed handle " + closedName},
        {"close", closed, "0 misuse close on closed handle " + closedName},
        {"read", closed + 1000, "0 misuse read on unknown handle " + std::to_string(closed + 1000)},
        {"write", 0, "0 misuse write on unknown handle 0"},
        {"close", HID_NO_DEVICE, "0 misuse close on unknown handle -1"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        uint8_t buffer[HID_REPORT_BUFFER_SIZE];
        std::memset(buffer, 0xA5, sizeof buffer);
        buffer[0] = 0x12;
        uint8_t before[HID_REPORT_BUFFER_SIZE];
        std::memcpy(before, buffer, sizeof buffer);
        uint32_t outWord = 77;
        const std::string call = c.call;
        if (call == "read") {
            EXPECT_EQ(ReadReport(c.target, buffer, &outWord), -1);
        } else if (call == "write") {
            EXPECT_EQ(WriteReport(c.target, buffer, &outWord), -1);
        } else {
            CloseHidHandle(c.target);
        }
        EXPECT_EQ(std::memcmp(buffer, before, sizeof buffer), 0);
        EXPECT_EQ(outWord, 77u);
        EXPECT_EQ(LogLines().back(), c.line);
    }
}

TEST_F(SimConnection, ASecondOpeningIsRefusedAndLeavesTheFirstAlone) {
    Open("");
    testing::internal::CaptureStderr();
    EXPECT_EQ(OpenHidHandle(kVendor, kProduct), HID_NO_DEVICE);
    EXPECT_NE(testing::internal::GetCapturedStderr().find("already open"), std::string::npos);
    EXPECT_EQ(Write(kModeAccelReport), 3);
    AdvanceMs(10);
    EXPECT_TRUE(Read());
    EXPECT_EQ(LogLines(),
              (std::vector<std::string>{"0 open", "0 open-failed", "0 write 12 00 31"}));
}

TEST_F(SimConnection, TheLogHasOneLinePerEventWithTheWholeReportInHex) {
    Open("");
    AdvanceMs(12);
    EXPECT_EQ(Write(kModeAccelReport), 3);
    SimAdvanceClock(3999);
    EXPECT_EQ(Write({0x11, 0xF0, 0xEE}), 2) << "0x11 is two bytes, whatever follows";
    EXPECT_EQ(Write(kGyroRequestReport), 7);
    EXPECT_EQ(Write({0x1B, 0xAB}), 22) << "an unknown report goes out at 22 bytes";
    ReadAll();
    AdvanceMs(1000);
    CloseHidHandle(handle);
    handle = HID_NO_DEVICE;
    EXPECT_EQ(LogLines(), (std::vector<std::string>{
                              "0 open",
                              "12 write 12 00 31",
                              "15 write 11 f0",
                              "15 write 17 04 92 00 90 00 02",
                              "15 write 1b ab 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 "
                              "00 00 00",
                              "1015 close",
                          }));
}

TEST_F(SimConnection, EachOutputReportReachesTheRemoteAtItsLength) {
    std::vector<OutputReportSize> cases(std::begin(kOutputReportSizes),
                                        std::end(kOutputReportSizes));
    cases.push_back({0x1B, kUnknownOutputReportLength});
    cases.push_back({0x21, kUnknownOutputReportLength});
    for (const OutputReportSize& c : cases) {
        SCOPED_TRACE(testing::Message() << "report 0x" << std::hex << int{c.id});
        Open("");
        Bytes report(kUnknownOutputReportLength, 0x00);
        report[0] = c.id;
        EXPECT_EQ(Write(report), static_cast<int32_t>(c.length));
        EXPECT_EQ(LogLines().back(),
                  "0 " + WriteEvent(Bytes(report.begin(), report.begin() + c.length)));
    }
}

// The uhid remote's descriptor: each output report's Report Count is its payload.
TEST_F(SimConnection, TheUhidDescriptorDeclaresEveryOutputReportAtItsLength) {
    const std::vector<uint8_t> descriptor = RemoteReportDescriptor();
    std::vector<std::pair<uint8_t, size_t>> declared;
    uint8_t id = 0;
    size_t count = 0;
    for (size_t at = 0; at < descriptor.size();) {
        const uint8_t prefix = descriptor[at];
        const size_t size = (prefix & 0x03) == 3 ? 4 : prefix & 0x03;
        const uint8_t value = at + 1 < descriptor.size() ? descriptor[at + 1] : 0;
        id = prefix == 0x85 ? value : id;       // Report ID
        count = prefix == 0x95 ? value : count; // Report Count
        if ((prefix & 0xFC) == 0x90) {          // Output
            declared.emplace_back(id, count + 1);
        }
        at += 1 + size;
    }
    std::vector<std::pair<uint8_t, size_t>> stated;
    for (const OutputReportSize& c : kOutputReportSizes) {
        stated.emplace_back(c.id, c.length);
    }
    EXPECT_EQ(declared, stated);
}

TEST_F(SimConnection, AnUnpluggedRemoteFailsEveryReadAndWriteUntilClosed) {
    Open("unplug=30");
    EXPECT_EQ(Write(kModeAccelReport), 3);
    Write(kGyroRequestReport);
    AdvanceMs(29);
    EXPECT_TRUE(Read());
    EXPECT_EQ(Write(kGyroRequestReport), 7);
    AdvanceMs(1);

    uint8_t buffer[HID_REPORT_BUFFER_SIZE];
    std::memset(buffer, 0x5A, sizeof buffer);
    uint32_t outWord = 0;
    EXPECT_EQ(ReadReport(handle, buffer, &outWord), -1) << "reports still in the backlog are lost";
    for (uint8_t byte : buffer) {
        ASSERT_EQ(byte, 0x5A);
    }
    EXPECT_EQ(Write(kModeAccelReport), -1);
    AdvanceMs(100);
    EXPECT_EQ(ReadReport(handle, buffer, &outWord), -1);
    CloseHidHandle(handle);
    handle = HID_NO_DEVICE;
    EXPECT_EQ(LogLines(), (std::vector<std::string>{"0 open", "0 write 12 00 31",
                                                    "0 write 17 04 92 00 90 00 02",
                                                    "29 write 17 04 92 00 90 00 02", "130 close"}));
}

TEST_F(SimConnection, AReadTouchesNothingBeyondItsReportAndNothingWhenNoneCame) {
    Open("accel=1,2,3;noise=0");
    uint8_t buffer[HID_REPORT_BUFFER_SIZE];
    std::memset(buffer, 0xC3, sizeof buffer);
    uint32_t outWord = 0;
    EXPECT_EQ(ReadReport(handle, buffer, &outWord), 0);
    for (uint8_t byte : buffer) {
        ASSERT_EQ(byte, 0xC3);
    }
    Write(kModeAccelReport);
    AdvanceMs(10);
    EXPECT_EQ(ReadReport(handle, buffer, &outWord), 6);
    EXPECT_EQ(outWord, 6u);
    EXPECT_EQ(Bytes(buffer, buffer + 6), (Bytes{0x31, 0x00, 0x00, 1, 2, 3}));
    for (size_t i = 6; i < sizeof buffer; ++i) {
        ASSERT_EQ(buffer[i], 0xC3) << "byte " << i;
    }
    EXPECT_EQ(ReadReport(handle, nullptr, &outWord), -1);
    EXPECT_EQ(LogLines().back(), "10 misuse read with a null buffer");
}

TEST_F(SimConnection, OnTheRealClockReportsArriveAndAnEmptyReadEndsWithZero) {
    Open("", false);
    Write(kModeAccelReport);
    Write(kGyroRequestReport);
    bool data = false, reply = false;
    const Clock::time_point start = Clock::now();
    while (!(data && reply) && Clock::now() - start < kNoHang) {
        const std::optional<Bytes> report = Read();
        data = data || (report && (*report)[0] == 0x31);
        reply = reply || (report && (*report)[0] == 0x21);
    }
    EXPECT_TRUE(data);
    EXPECT_TRUE(reply);

    Open("stream=0", false);
    const Clock::time_point before = Clock::now();
    EXPECT_FALSE(Read());
    EXPECT_EQ(lastResult, 0);
    EXPECT_LT(Clock::now() - before, kNoHang);
}

// A read waiting for a report that will never come ends with -1 when another
// thread closes the remote, long before its wait would run out; run many times,
// so the sanitizers see every ordering.
TEST_F(SimConnection, ACloseEndsAReadWaitingOnAnotherThread) {
    SimSetReadWait(60 * 1000);
    for (int round = 0; round < 30; ++round) {
        SCOPED_TRACE(round);
        const HidHandle opened = Open("stream=0", false);
        std::atomic<bool> reading{false};
        std::atomic<int32_t> result{0};
        std::thread reader([&] {
            uint8_t buffer[HID_REPORT_BUFFER_SIZE] = {};
            uint32_t outWord = 0;
            reading = true;
            result = ReadReport(opened, buffer, &outWord);
        });
        while (!reading) {
            std::this_thread::yield();
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(round % 3 * 5));
        const Clock::time_point closing = Clock::now();
        CloseHidHandle(opened);
        handle = HID_NO_DEVICE;
        reader.join();
        EXPECT_EQ(result.load(), -1);
        ASSERT_LT(Clock::now() - closing, kNoHang) << "the read ran out of time instead";
    }
    SimSetReadWait(0);
}

// Readers, a writer and the close all at once: every call returns, and after the
// close every call fails.
TEST_F(SimConnection, ConcurrentReadsWritesAndCloseStayConsistent) {
    for (int round = 0; round < 5; ++round) {
        const HidHandle opened = Open("period=1;latency=300", false);
        std::atomic<bool> closed{false};
        std::atomic<int> failuresAfterClose{0};
        auto reader = [&] {
            uint8_t buffer[HID_REPORT_BUFFER_SIZE] = {};
            uint32_t outWord = 0;
            while (!closed) {
                ReadReport(opened, buffer, &outWord);
            }
            failuresAfterClose += ReadReport(opened, buffer, &outWord) == -1;
        };
        auto writer = [&] {
            while (!closed) {
                for (const Bytes* report : {&kModeAccelReport, &kGyroRequestReport}) {
                    uint8_t buffer[HID_REPORT_BUFFER_SIZE] = {};
                    std::memcpy(buffer, report->data(), report->size());
                    WriteReport(opened, buffer, nullptr);
                }
            }
            uint8_t buffer[HID_REPORT_BUFFER_SIZE] = {};
            std::memcpy(buffer, kModeButtonsReport.data(), kModeButtonsReport.size());
            failuresAfterClose += WriteReport(opened, buffer, nullptr) == -1;
        };
        std::thread threads[] = {std::thread(reader), std::thread(reader), std::thread(writer)};
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        CloseHidHandle(opened);
        handle = HID_NO_DEVICE;
        closed = true;
        for (std::thread& thread : threads) {
            thread.join();
        }
        EXPECT_EQ(failuresAfterClose.load(), 3);
    }
}

} // namespace
