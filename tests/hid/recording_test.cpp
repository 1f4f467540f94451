// Recordings (TINY_HID_RECORD) against careless paths and hostile files: two live
// openings never share a file, a path that would block is refused at once, times
// stay in order however long the session, and a file's size costs no more memory
// than its text.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "fresh_folder.h"
#include "hid_recording.h"
#include "recording_file.h"
#include "remote_reports.h"
#include "sim_replay.h"

namespace {

constexpr uint8_t kDataReport[] = {0x31, 0x00, 0x00, 0x80, 0x81, 0x99};

// A name of its own for this test, in a folder of its own.
std::string FreshPath(const char* name) {
    return FreshFolder("recording") + "/" + name;
}

// Parses a recording's text; fails the test when it is malformed.
std::vector<RecordedReport> Parsed(const std::string& text) {
    std::vector<RecordedReport> reports;
    int badLine = 0;
    std::string why;
    EXPECT_TRUE(ParseRecording(text, reports, badLine, why)) << badLine << ": " << why;
    return reports;
}

// Two openings under one name at once: the second records into "<name>.2", said on
// standard error; each file is whole and holds only its own opening's reports; a
// third after the first has stopped takes the name again.
TEST(Recording, TwoLiveOpeningsNeverShareAFile) {
    const std::string path = FreshPath("session.hid");
    HidRecording* first = StartRecording(path.c_str(), kWiiRemoteVendor, kWiiRemoteProduct, {});
    testing::internal::CaptureStderr();
    HidRecording* second = StartRecording(path.c_str(), kWiiRemoteVendor, kWiiRemotePlusProduct, {});
    const std::string said = testing::internal::GetCapturedStderr();
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    EXPECT_NE(said.find("records into '" + path + ".2'"), std::string::npos) << said;
    for (int i = 0; i < 3; ++i) {
        RecordInputReport(first, 1000 * i, kDataReport, sizeof(kDataReport));
        RecordOutputReport(second, 1000 * i, kDataReport, 3);
    }
    StopRecording(first);
    StopRecording(second);

    const std::vector<RecordedReport> firstReports = Parsed(ReadFileText(path));
    ASSERT_EQ(firstReports.size(), 3u);
    EXPECT_FALSE(firstReports[0].output || firstReports[1].output || firstReports[2].output);
    const std::string secondText = ReadFileText(path + ".2");
    EXPECT_NE(secondText.find("N: Nintendo RVL-CNT-01-TR\n"), std::string::npos);
    EXPECT_EQ(secondText.find("\nE: "), std::string::npos) << "the other opening's input";

    HidRecording* third = StartRecording(path.c_str(), kWiiRemoteVendor, kWiiRemoteProduct, {});
    ASSERT_NE(third, nullptr);
    StopRecording(third);
    EXPECT_EQ(ReadFileText(path).find("\nE: "), std::string::npos) << "begun anew";
}

// Paths that could hold up the device's calls or take what is no recording are
// refused at once, with one line on standard error.
TEST(Recording, APathThatWouldBlockIsRefusedAtOnce) {
    const std::string fifo = FreshPath("fifo");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const std::string folder = FreshPath("folder");
    std::filesystem::create_directory(folder);
    for (const std::string& path : {fifo, folder}) {
        SCOPED_TRACE(path);
        testing::internal::CaptureStderr();
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(StartRecording(path.c_str(), kWiiRemoteVendor, kWiiRemoteProduct, {}), nullptr);
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5))
            << "refused, not waited on";
        const std::string said = testing::internal::GetCapturedStderr();
        EXPECT_NE(said.find("not a regular file; not recording"), std::string::npos) << said;
    }
}

// Times go on past 999999 s, in order, and read back as written.
TEST(Recording, TimesStayInOrderInSessionsOfAnyLength) {
    const std::string path = FreshPath("long.hid");
    HidRecording* recording = StartRecording(path.c_str(), kWiiRemoteVendor, kWiiRemoteProduct, {});
    ASSERT_NE(recording, nullptr);
    const int64_t times[] = {999999999999, 1000000000000, 1000000000001, 86400000000000};
    for (int64_t us : times) {
        RecordInputReport(recording, us, kDataReport, sizeof(kDataReport));
    }
    StopRecording(recording);
    const std::vector<RecordedReport> reports = Parsed(ReadFileText(path));
    ASSERT_EQ(reports.size(), 4u);
    for (size_t i = 0; i < reports.size(); ++i) {
        EXPECT_EQ(reports[i].us, times[i]);
    }
}

// One 64 MiB line of bytes that says it has one: refused, its bytes never split
// apart. Measured in a child process, whose peak memory is its own.
TEST(Recording, AHugeLineIsRefusedWithBoundedMemory) {
#if TOBRISK_TEST_TIME_SCALE > 1
    GTEST_SKIP() << "a sanitizer's shadow memory would be counted too";
#endif
    const std::string path = FreshPath("huge.hid");
    {
        std::ofstream file(path, std::ios::binary);
        file << "E: 000000.000000 1 00";
        std::string words;
        for (int i = 0; i < (1 << 20); ++i) {
            words += " 00";
        }
        for (int i = 0; i < 21; ++i) { // 63 MiB, just under what a replay may read
            file << words;
        }
        file << "\n";
    }
    ASSERT_GE(std::filesystem::file_size(path), 63u << 20);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        SimReplay replay;
        std::string error;
        const bool loaded = LoadSimReplay(path, replay, error);
        _exit(!loaded && error.find("line 1: ") == 0 ? 0 : 1);
    }
    int status = 0;
    rusage usage{};
    ASSERT_EQ(wait4(child, &status, 0, &usage), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "refused, naming the line";
    EXPECT_LT(usage.ru_maxrss, 200 * 1024) << "peak KiB";
    std::printf("peak memory refusing a 64 MiB line: %ld KiB\n", usage.ru_maxrss);
}

} // namespace
