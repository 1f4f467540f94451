// The handle table over a fake device: which device opens, reads that either bring a
// whole report or leave the buffer alone, write lengths, calls on handles that are
// not open, and closes that race with reads and writes on other threads.
#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <limits>
#include <set>
#include <thread>

#include "fake_hid_device.h"
#include "fresh_folder.h"
#include "handle_table.h"
#include "hid_recording.h"
#include "remote_reports.h"
#include "wait_until.h"

namespace {

constexpr uint16_t kVendor = kWiiRemoteVendor;
constexpr uint16_t kRemote = kWiiRemoteProduct;
constexpr uint16_t kRemotePlus = kWiiRemotePlusProduct;
constexpr size_t kGuardedSize = HID_REPORT_BUFFER_SIZE + 64;
constexpr uint32_t kOutWordBefore = 0xDEADBEEF;
constexpr int kWaitsInARead = HID_READ_WAIT_MS / kReadSliceMs; // when each costs its time

// A report buffer with room behind it, every byte 0xEE, to see what a call touched.
std::array<uint8_t, kGuardedSize> Untouched() {
    std::array<uint8_t, kGuardedSize> buffer;
    buffer.fill(0xEE);
    return buffer;
}

// A report of the given length: its ID, then bytes counting up.
Bytes LongReport(size_t length) {
    Bytes report(length);
    for (size_t i = 0; i < length; ++i) {
        report[i] = static_cast<uint8_t>(i == 0 ? 0x33 : i);
    }
    return report;
}

// Waits, at most a few seconds, until a call has entered the device.
bool WaitForCallInside(int (*entered)()) {
    return WaitUntil([entered] { return entered() > 0; }, 5000);
}

struct OpenCase {
    const char* name;
    std::vector<uint16_t> present;
    uint16_t vendorId;
    uint16_t productId;
    std::vector<FakeOpenAttempt> attempts;
    uint16_t opened; // 0 when nothing opens
};

TEST(HandleTable, OpensTheRemoteAskedForAndFallsBackToTheLaterModelOnlyForTheOriginal) {
    const OpenCase cases[] = {
        {"both present", {kRemote, kRemotePlus}, kVendor, kRemote, {{kVendor, kRemote}}, kRemote},
        {"later model only",
         {kRemotePlus},
         kVendor,
         kRemote,
         {{kVendor, kRemote}, {kVendor, kRemotePlus}},
         kRemotePlus},
        {"none", {}, kVendor, kRemote, {{kVendor, kRemote}, {kVendor, kRemotePlus}}, 0},
        {"later model asked for", {kRemote}, kVendor, kRemotePlus, {{kVendor, kRemotePlus}}, 0},
        {"other product", {kRemotePlus}, kVendor, 0x0001, {{kVendor, 0x0001}}, 0},
        {"other vendor", {kRemotePlus}, 0x1234, kRemote, {{0x1234, kRemote}}, 0},
    };
    for (const OpenCase& c : cases) {
        FakeReset(c.present);
        const HidHandle handle = OpenDeviceHandle(kFakeDevice, c.vendorId, c.productId);
        const FakeRecord seen = FakeSeen();
        EXPECT_EQ(seen.openAttempts, c.attempts) << c.name;
        if (c.opened == 0) {
            EXPECT_EQ(handle, HID_NO_DEVICE) << c.name;
            EXPECT_TRUE(seen.openedProducts.empty()) << c.name;
        } else {
            EXPECT_NE(handle, HID_NO_DEVICE) << c.name;
            EXPECT_EQ(seen.openedProducts, std::vector<uint16_t>{c.opened}) << c.name;
        }
        CloseDeviceHandle(handle);
    }
}

TEST(HandleTable, HandlesAreNeverGivenOutTwice) {
    FakeReset({kRemote});
    std::set<HidHandle> given;
    const HidHandle first = OpenDeviceHandle(kFakeDevice, kVendor, kRemote);
    given.insert(first);
    CloseDeviceHandle(first);
    for (int i = 0; i < 100; ++i) {
        const HidHandle handle = OpenDeviceHandle(kFakeDevice, kVendor, kRemote);
        ASSERT_NE(handle, HID_NO_DEVICE);
        ASSERT_TRUE(given.insert(handle).second) << "handle " << handle << " given out again";
        if (i % 2 == 0) {
            CloseDeviceHandle(handle);
        }
    }
    auto buffer = Untouched();
    uint32_t outWord = kOutWordBefore;
    FakeQueueReads({{2, {0x30, 0x00}}});
    EXPECT_EQ(ReadDeviceReport(first, buffer.data(), &outWord), -1);
    for (HidHandle handle : given) {
        CloseDeviceHandle(handle);
    }
    EXPECT_EQ(FakeSeen().closes, 101);
}

TEST(HandleTable, CallsOnHandlesThatAreNotOpenTouchNothing) {
    FakeReset({kRemote});
    const HidHandle closed = OpenDeviceHandle(kFakeDevice, kVendor, kRemote);
    CloseDeviceHandle(closed);
    const HidHandle open = OpenDeviceHandle(kFakeDevice, kVendor, kRemote);
    const struct {
        const char* name;
        HidHandle handle;
    } cases[] = {
        {"closed", closed},
        {"never opened: zero", 0},
        {"no device", HID_NO_DEVICE},
        {"negative", -2},
        {"most negative", std::numeric_limits<HidHandle>::min()},
        {"largest", std::numeric_limits<HidHandle>::max()},
        {"not yet given out", open + 1000},
    };
    FakeQueueReads({{2, {0x30, 0x00}}});
    for (const auto& c : cases) {
        auto buffer = Untouched();
        buffer[0] = 0x11;
        const auto before = buffer;
        uint32_t outWord = kOutWordBefore;
        EXPECT_EQ(ReadDeviceReport(c.handle, buffer.data(), &outWord), -1) << c.name;
        EXPECT_EQ(WriteDeviceReport(c.handle, buffer.data(), &outWord), -1) << c.name;
        CloseDeviceHandle(c.handle);
        EXPECT_EQ(buffer, before) << c.name;
        EXPECT_EQ(outWord, kOutWordBefore) << c.name;
    }
    EXPECT_EQ(FakeReadsEntered() + FakeWritesEntered(), 0);
    EXPECT_EQ(FakeSeen().closes, 1);
    uint8_t leds[HID_REPORT_BUFFER_SIZE] = {0x11, 0x10};
    EXPECT_EQ(WriteDeviceReport(open, leds, nullptr), 2) << "the open handle was closed";
    CloseDeviceHandle(open);
}

struct ReadCase {
    const char* name;
    std::vector<FakeRead> device;
    int32_t result;
    Bytes report; // what the buffer starts with afterwards; empty when untouched
    size_t deviceReads;
};

TEST(HandleTable, AReadBringsOneWholeReportOrLeavesTheBufferAsItWas) {
    const Bytes full = LongReport(300);
    const Bytes capped(full.begin(), full.begin() + HID_REPORT_BUFFER_SIZE);
    // Slices that bring nothing, before what a case's device answers next.
    const auto after = [](size_t emptySlices, std::vector<FakeRead> then) {
        std::vector<FakeRead> reads(emptySlices, FakeRead{0, {}});
        reads.insert(reads.end(), then.begin(), then.end());
        return reads;
    };
    const ReadCase cases[] = {
        {"a report", {{3, {0x30, 0x00, 0x80}}}, 3, {0x30, 0x00, 0x80}, 1},
        // The start-up probe reads once in its 100 ms window: one read covers it.
        {"a report 90 ms into the wait", after(9, {{4, {0x21, 1, 2, 3}}}), 4, {0x21, 1, 2, 3}, 10},
        {"nothing in any slice", {}, 0, {}, kWaitsInARead},
        {"a report after the last slice",
         after(kWaitsInARead, {{2, {0x30, 0}}}),
         0,
         {},
         kWaitsInARead},
        {"device failed", {{-1, {}}}, -1, {}, 1},
        {"device failed after writing", {{-1, {0x21, 0xFF, 0xFF}}}, -1, {}, 1},
        {"device wrote, then nothing came", after(0, {{0, {0x21, 0xFF}}}), 0, {}, kWaitsInARead},
        {"longer than the buffer, cut by the device", {{256, full}}, 256, capped, 1},
        {"longer than the buffer, full length told", {{300, full}}, 256, capped, 1},
    };
    for (const ReadCase& c : cases) {
        FakeReset({kRemote});
        const HidHandle handle = OpenDeviceHandle(kFakeDevice, kVendor, kRemote);
        FakeQueueReads(c.device);
        auto buffer = Untouched();
        uint32_t outWord = kOutWordBefore;
        EXPECT_EQ(ReadDeviceReport(handle, buffer.data(), &outWord), c.result) << c.name;
        auto expected = Untouched();
        std::copy(c.report.begin(), c.report.end(), expected.begin());
        EXPECT_EQ(buffer, expected) << c.name;
        EXPECT_EQ(outWord, c.result > 0 ? static_cast<uint32_t>(c.result) : kOutWordBefore)
            << c.name;
        const FakeRecord seen = FakeSeen();
        EXPECT_EQ(seen.readLengths, std::vector<size_t>(c.deviceReads, HID_REPORT_BUFFER_SIZE))
            << c.name;
        EXPECT_EQ(seen.readTimeouts, std::vector<int>(c.deviceReads, kReadSliceMs)) << c.name;
        CloseDeviceHandle(handle);
    }
}

// A read that finds nothing ends at its deadline, not after a count of waits: where
// each device wait lasts longer than asked (Windows' waits last to its timer's next
// tick), fewer waits fit, and the last asks only for the time left.
TEST(HandleTable, AReadKeepsToItsDeadlineWhateverADeviceWaitCosts) {
    const struct {
        int costPercent;
        std::vector<int> waits; // what each device wait asked for, in ms
    } cases[] = {
        {100, std::vector<int>(kWaitsInARead, kReadSliceMs)},
        {156, {10, 10, 10, 10, 10, 10, 7}},
        {250, {10, 10, 10, 10}},
        {1500, {10}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.costPercent);
        FakeReset({kRemote});
        FakeSetWaitCost(c.costPercent);
        const HidHandle handle = OpenDeviceHandle(kFakeDevice, kVendor, kRemote);
        uint8_t buffer[HID_REPORT_BUFFER_SIZE];
        EXPECT_EQ(ReadDeviceReport(handle, buffer, nullptr), 0);
        EXPECT_EQ(FakeSeen().readTimeouts, c.waits);
        CloseDeviceHandle(handle);
    }
}

TEST(HandleTable, AWriteSendsTheLengthThatTheReportIdCalls) {
    std::vector<OutputReportSize> cases(std::begin(kOutputReportSizes),
                                        std::end(kOutputReportSizes));
    for (uint8_t unknown : {0x00, 0x0F, 0x1B, 0x21, 0x31, 0xFF}) {
        cases.push_back({unknown, kUnknownOutputReportLength});
    }
    for (const OutputReportSize& c : cases) {
        FakeReset({kRemote});
        const HidHandle handle = OpenDeviceHandle(kFakeDevice, kVendor, kRemote);
        uint8_t buffer[HID_REPORT_BUFFER_SIZE];
        for (size_t i = 0; i < sizeof buffer; ++i) {
            buffer[i] = static_cast<uint8_t>(i == 0 ? c.id : 0xC0 + i);
        }
        uint32_t outWord = kOutWordBefore;
        EXPECT_EQ(WriteDeviceReport(handle, buffer, &outWord), static_cast<int32_t>(c.length));
        EXPECT_EQ(outWord, c.length);
        EXPECT_EQ(FakeSeen().writes, std::vector<Bytes>{Bytes(buffer, buffer + c.length)})
            << "report 0x" << std::hex << int{c.id};
        CloseDeviceHandle(handle);
    }
}

TEST(HandleTable, AWriteTheDeviceRefusesFails) {
    FakeReset({kRemote});
    const HidHandle handle = OpenDeviceHandle(kFakeDevice, kVendor, kRemote);
    FakeSetWriteResult(-1);
    uint8_t buffer[HID_REPORT_BUFFER_SIZE] = {0x12, 0x00, 0x31};
    uint32_t outWord = kOutWordBefore;
    EXPECT_EQ(WriteDeviceReport(handle, buffer, &outWord), -1);
    EXPECT_EQ(outWord, kOutWordBefore);
    CloseDeviceHandle(handle);
}

// With TINY_HID_RECORD set, an opening records the device it opened (its report
// descriptor, and the later model in place of the original), then every report
// read and every report sent,
// in their order, with times that never go back; what brought nothing or was
// refused is not recorded. The file reads back as a recording. Without the
// variable, nothing is written.
TEST(HandleTable, TheRecordVariableRecordsEveryReportReadAndSent) {
    const std::string path = FreshFolder("handle-table") + "/recording.txt";
    ASSERT_EQ(setenv(kRecordVariable, path.c_str(), 1), 0);
    FakeReset({kRemotePlus});
    HidHandle handle = OpenDeviceHandle(kFakeDevice, kVendor, kRemote);
    uint8_t buffer[HID_REPORT_BUFFER_SIZE] = {0x12, 0x00, 0x31};
    EXPECT_EQ(WriteDeviceReport(handle, buffer, nullptr), 3);
    FakeQueueReads({{6, {0x31, 0x00, 0x00, 0x80, 0x81, 0x99}},
                    {0, {}},
                    {8, {0x21, 0, 0, 0x10, 0, 0x90, 1, 0x2C}}});
    EXPECT_EQ(ReadDeviceReport(handle, buffer, nullptr), 6);
    EXPECT_EQ(ReadDeviceReport(handle, buffer, nullptr), 8);
    FakeQueueReads({{0, {}}});
    FakeSetWriteResult(-1);
    buffer[0] = 0x11;
    EXPECT_EQ(WriteDeviceReport(handle, buffer, nullptr), -1);
    EXPECT_EQ(ReadDeviceReport(handle, buffer, nullptr), 0);
    CloseDeviceHandle(handle);
    ASSERT_EQ(unsetenv(kRecordVariable), 0);

    const std::string text = ReadFileText(path);
    EXPECT_NE(text.find("\nR: 7 05 01 09 05 a1 01 c0\nN: Nintendo RVL-CNT-01-TR\nI: 5 057e 0330\n"),
              std::string::npos)
        << text;
    std::vector<RecordedReport> reports;
    int badLine = 0;
    std::string why;
    ASSERT_TRUE(ParseRecording(text, reports, badLine, why)) << badLine << ": " << why;
    ASSERT_EQ(reports.size(), 3u) << text;
    EXPECT_EQ(reports[0].output, true);
    EXPECT_EQ(reports[0].bytes, (Bytes{0x12, 0x00, 0x31}));
    EXPECT_EQ(reports[1].bytes, (Bytes{0x31, 0x00, 0x00, 0x80, 0x81, 0x99}));
    EXPECT_EQ(reports[2].bytes, (Bytes{0x21, 0, 0, 0x10, 0, 0x90, 1, 0x2C}));
    EXPECT_FALSE(reports[1].output || reports[2].output);
    EXPECT_LE(reports[0].us, reports[1].us);
    EXPECT_LE(reports[1].us, reports[2].us);

    std::filesystem::remove(path);
    FakeReset({kRemote});
    handle = OpenDeviceHandle(kFakeDevice, kVendor, kRemote);
    EXPECT_EQ(WriteDeviceReport(handle, buffer, nullptr), 2);
    CloseDeviceHandle(handle);
    EXPECT_FALSE(std::filesystem::exists(path)) << "recorded without the variable";
}

// A reader and a writer run on their own threads while the handle closes, either at
// once or while the read waits inside the device. The read ends with -1 and its
// buffer untouched, the close returns only after closing the device itself, and no
// call reaches the device after that.
TEST(HandleTable, CloseEndsReadsAndWritesRunningOnOtherThreads) {
    for (int round = 0; round < 100; ++round) {
        FakeReset({kRemote});
        const HidHandle handle = OpenDeviceHandle(kFakeDevice, kVendor, kRemote);
        auto buffer = Untouched();
        std::atomic<int32_t> readResult{1};
        std::thread reader([&] { readResult = ReadDeviceReport(handle, buffer.data(), nullptr); });
        std::thread writer([handle] {
            uint8_t leds[HID_REPORT_BUFFER_SIZE] = {0x11, 0xF0};
            while (WriteDeviceReport(handle, leds, nullptr) > 0) {
            }
        });
        if (round % 2 == 0) {
            EXPECT_TRUE(WaitForCallInside(FakeReadsEntered)) << "round " << round;
        }
        CloseDeviceHandle(handle);
        reader.join();
        writer.join();
        if (round % 2 == 0) {
            EXPECT_EQ(readResult, -1) << "round " << round;
        } else {
            // Closed at once: the read may also have run out of time before the close.
            EXPECT_LE(readResult, 0) << "round " << round;
        }
        EXPECT_EQ(buffer, Untouched()) << "round " << round;
        const FakeRecord seen = FakeSeen();
        ASSERT_EQ(seen.closes, 1) << "round " << round;
        ASSERT_EQ(seen.closesWithCallInside, 0) << "round " << round;
        ASSERT_EQ(seen.callsOnClosedDevice, 0) << "round " << round;
    }
}

// A write stuck inside the device outlasts the close's wait: the handle is closed at
// once for every caller, and the device closes when the write comes out.
TEST(HandleTable, AWriteStuckInTheDeviceClosesItWhenItComesOut) {
    FakeReset({kRemote});
    const HidHandle handle = OpenDeviceHandle(kFakeDevice, kVendor, kRemote);
    FakeHoldWrites();
    std::atomic<int32_t> writeResult{0};
    std::thread writer([&] {
        uint8_t leds[HID_REPORT_BUFFER_SIZE] = {0x11, 0x10};
        writeResult = WriteDeviceReport(handle, leds, nullptr);
    });
    EXPECT_TRUE(WaitForCallInside(FakeWritesEntered));
    CloseDeviceHandle(handle);
    EXPECT_EQ(FakeSeen().closes, 0) << "closed under a write";
    uint8_t buffer[HID_REPORT_BUFFER_SIZE] = {};
    EXPECT_EQ(ReadDeviceReport(handle, buffer, nullptr), -1);
    FakeReleaseWrites();
    writer.join();
    EXPECT_EQ(writeResult, 2);
    const FakeRecord seen = FakeSeen();
    EXPECT_EQ(seen.closes, 1);
    EXPECT_EQ(seen.closesWithCallInside, 0);
    EXPECT_EQ(seen.callsOnClosedDevice, 0);
}

} // namespace
