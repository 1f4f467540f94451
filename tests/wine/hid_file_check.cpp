// Runs the Windows backend's report I/O (windows_hid_file) under the handle table,
// as tiny_hid_dll.dll does, over a named pipe in message mode that stands in for a
// remote: each message is one report as it went over the air, and this program
// plays the remote on the pipe's other end. Wine has no remote to offer, and its
// virtual HID devices send nothing, so this is where reports really move: writes of
// the report's own length, and padded ones for Toshiba's stack; fake drivers below
// the HID file layer that refuse or swallow some ways of writing, and the way that
// worked kept; reads handing over whole reports in order, reads that time out
// without losing the next report, writes the remote does not take, a remote that
// goes away, a close during a read, a read and writes at once, and the recording
// that TINY_HID_RECORD asks for. Prints each failure; the exit code is the number
// of failures.
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "handle_table.h"
#include "hid_recording.h"
#include "remote_reports.h"
#include "windows_check.h"
#include "windows_hid_file.h"

namespace {

constexpr size_t kReportLength = 22;  // the remote's input and output reports
constexpr DWORD kPipeBuffer = 4096;   // room for many reports each way
constexpr uint8_t kUntouched = 0xA5;  // fills buffers that a call must leave alone
constexpr long kCallLimitMs = 1000;   // generous bound on any one call
constexpr DWORD kRemoteWaitMs = 1000; // how long the remote waits for a report

using Report = std::vector<uint8_t>;

// The length on the wire of an output report, as the tests state it.
size_t StatedLength(uint8_t id) {
    for (const OutputReportSize& size : kOutputReportSizes) {
        if (size.id == id) {
            return size.length;
        }
    }
    return kUnknownOutputReportLength;
}

// The next device that the handle table's open gets: the device end of a pipe, the
// write method to try first, and the calls that start its writes.
struct NextDevice {
    HANDLE file = INVALID_HANDLE_VALUE;
    WriteMethod firstMethod = WriteMethod::ReportWrite;
    const HidFileCalls* calls = nullptr;
};
NextDevice nextDevice;

// Opens the device made ready by OpenPipeRemote, whatever the IDs.
HidDevice* OpenPipeDevice(uint16_t, uint16_t) {
    const NextDevice device = nextDevice;
    nextDevice = {};
    return device.file == INVALID_HANDLE_VALUE
               ? nullptr
               : WrapHidFile(device.file, kReportLength, kReportLength, device.firstMethod,
                             *device.calls);
}

constexpr HidDeviceCalls kPipeCalls = {
    .open = OpenPipeDevice,
    .read = ReadHidFile,
    .write = WriteHidFile,
    .close = CloseHidFile,
    .reportDescriptor = nullptr,
    .clockUs = nullptr,
};

// One remote on a pipe: the end this program plays it on, and the library's handle.
struct PipeRemote {
    HANDLE remoteEnd = INVALID_HANDLE_VALUE; // overlapped; closed by EndRemote
    HidHandle handle = HID_NO_DEVICE;        // the device end, through the handle table
};

// Makes a pipe whose remote end buffers bufferSize bytes each way (0: a write waits
// until the other end reads) and opens its device end through the handle table,
// written firstMethod first through calls: by default as on Microsoft's stack, with
// the system's calls.
PipeRemote OpenPipeRemote(DWORD bufferSize, WriteMethod firstMethod = WriteMethod::ReportWrite,
                          const HidFileCalls& calls = SystemHidFileCalls()) {
    static int serial = 0;
    const std::string name = "\\\\.\\pipe\\tobrisk-hid-file-check-" +
                             std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++serial);
    PipeRemote remote;
    remote.remoteEnd = CreateNamedPipeA(name.c_str(), PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED,
                                        PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT, 1,
                                        bufferSize, bufferSize, 0, nullptr);
    nextDevice.file = CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
    nextDevice.firstMethod = firstMethod;
    nextDevice.calls = &calls;
    DWORD mode = PIPE_READMODE_MESSAGE;
    SetNamedPipeHandleState(nextDevice.file, &mode, nullptr, nullptr);
    remote.handle = OpenDeviceHandle(kPipeCalls, 1, 1);
    Check(remote.remoteEnd != INVALID_HANDLE_VALUE && remote.handle != HID_NO_DEVICE,
          "a pipe stands in for the remote", 1, 0);
    return remote;
}

// Closes the library's handle and the remote's end.
void EndRemote(PipeRemote& remote) {
    CloseDeviceHandle(remote.handle);
    CloseHandle(remote.remoteEnd);
}

// A report of kReportLength bytes: the ID, then bytes counting up from first.
Report MakeReport(uint8_t id, uint8_t first) {
    Report report(kReportLength);
    report[0] = id;
    for (size_t i = 1; i < kReportLength; ++i) {
        report[i] = static_cast<uint8_t>(first + i);
    }
    return report;
}

// Fills buffer with 0xEE and puts a report of length bytes at its start: the ID,
// then bytes counting up from it.
void FillReport(uint8_t* buffer, uint8_t id, size_t length) {
    std::memset(buffer, 0xEE, HID_REPORT_BUFFER_SIZE);
    for (size_t i = 0; i < length; ++i) {
        buffer[i] = static_cast<uint8_t>(id + i);
    }
}

// Runs one ReadFile or WriteFile on the remote's end, waiting up to kRemoteWaitMs
// and cancelling it after that. Returns the bytes moved, or -1.
long RemoteIo(const PipeRemote& remote, bool reading, uint8_t* data, DWORD length) {
    OVERLAPPED overlapped = {};
    overlapped.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    const BOOL done = reading ? ReadFile(remote.remoteEnd, data, length, nullptr, &overlapped)
                              : WriteFile(remote.remoteEnd, data, length, nullptr, &overlapped);
    if (!done && GetLastError() == ERROR_IO_PENDING &&
        WaitForSingleObject(overlapped.hEvent, kRemoteWaitMs) != WAIT_OBJECT_0) {
        CancelIo(remote.remoteEnd);
    }
    DWORD moved = 0;
    const BOOL finished = GetOverlappedResult(remote.remoteEnd, &overlapped, &moved, TRUE);
    CloseHandle(overlapped.hEvent);
    return finished ? static_cast<long>(moved) : -1;
}

// The remote sends one report; false when it could not within kRemoteWaitMs.
bool RemoteSends(const PipeRemote& remote, Report report) {
    return RemoteIo(remote, false, report.data(), static_cast<DWORD>(report.size())) ==
           static_cast<long>(report.size());
}

// The next message that reached the remote, waiting up to kRemoteWaitMs; empty when
// none came or the pipe broke.
Report RemoteTakes(const PipeRemote& remote) {
    Report message(kPipeBuffer);
    const long got = RemoteIo(remote, true, message.data(), static_cast<DWORD>(message.size()));
    message.resize(got > 0 ? static_cast<size_t>(got) : 0);
    return message;
}

// Reads one report through the library into a buffer of kUntouched bytes; returns
// the result and, in took, how long the call lasted.
int32_t Read(const PipeRemote& remote, uint8_t* buffer, long& took) {
    std::memset(buffer, kUntouched, HID_REPORT_BUFFER_SIZE);
    const auto start = CheckClock::now();
    const int32_t got = ReadDeviceReport(remote.handle, buffer, nullptr);
    took = MsSince(start);
    return got;
}

// Whether buffer holds report and nothing was written beyond it.
bool Holds(const uint8_t* buffer, const Report& report) {
    if (std::memcmp(buffer, report.data(), report.size()) != 0) {
        return false;
    }
    for (size_t i = report.size(); i < HID_REPORT_BUFFER_SIZE; ++i) {
        if (buffer[i] != kUntouched) {
            return false;
        }
    }
    return true;
}

// Through Toshiba's stack, every output report reaches the remote as one whole
// report of 22 bytes: its own bytes, then zeros (never what stood in the buffer
// behind it).
void ToshibasStackGetsWritesPaddedToTheOutputReportLength() {
    const uint8_t ids[] = {0x11, 0x12, 0x17, 0x42};
    PipeRemote remote = OpenPipeRemote(kPipeBuffer, WriteMethod::PaddedWrite);
    for (const uint8_t id : ids) {
        const size_t length = StatedLength(id);
        uint8_t buffer[HID_REPORT_BUFFER_SIZE];
        FillReport(buffer, id, length);
        uint32_t outWord = 0;
        const int32_t sent = WriteDeviceReport(remote.handle, buffer, &outWord);
        Check(sent == static_cast<int32_t>(kReportLength), "a padded write returns the bytes sent",
              kReportLength, sent);
        Check(outWord == kReportLength, "a padded write's out-word", kReportLength, outWord);
        const Report message = RemoteTakes(remote);
        Check(message.size() == kReportLength, "the remote gets a whole report", kReportLength,
              static_cast<long>(message.size()));
        if (message.size() != kReportLength) {
            continue;
        }
        Check(std::memcmp(message.data(), buffer, length) == 0, "the report's own bytes", id,
              message[0]);
        for (size_t i = length; i < kReportLength; ++i) {
            Check(message[i] == 0, "padding is zeros", 0, message[i]);
        }
    }
    EndRemote(remote);
}

// What the fake drivers below the HID file layer were asked to start.
struct DriverCalls {
    int writes = 0;           // WriteFile
    int setOutputReports = 0; // the set-output-report request
};
DriverCalls asked;

constexpr ULONG_PTR kStatusSuccess = 0;                    // STATUS_SUCCESS
constexpr ULONG_PTR kStatusInvalidUserBuffer = 0xC00000E8; // STATUS_INVALID_USER_BUFFER

// Passes the bytes on to the pipe, which carries them to the remote as one message.
BOOL ToTheRemote(HANDLE file, uint8_t* data, DWORD length, OVERLAPPED* overlapped) {
    return WriteFile(file, data, length, nullptr, overlapped);
}

// Refuses a request at once with error.
BOOL Refuse(DWORD error) {
    SetLastError(error);
    return FALSE;
}

// Lets a request pend and completes it at once, as a driver does on its own: status
// (an NTSTATUS) and the bytes moved in overlapped, its event set.
BOOL CompleteLater(OVERLAPPED* overlapped, ULONG_PTR status, DWORD moved) {
    overlapped->Internal = status;
    overlapped->InternalHigh = moved;
    SetEvent(overlapped->hEvent);
    SetLastError(ERROR_IO_PENDING);
    return FALSE;
}

// Windows 7's Microsoft stack: a write shorter than the output report length is
// refused at once.
BOOL ShortWritesRefused(HANDLE file, uint8_t* data, DWORD length, OVERLAPPED* overlapped) {
    ++asked.writes;
    return length < kReportLength ? Refuse(ERROR_INVALID_USER_BUFFER)
                                  : ToTheRemote(file, data, length, overlapped);
}

// The same refusal, coming with the write's completion.
BOOL ShortWritesFailLater(HANDLE file, uint8_t* data, DWORD length, OVERLAPPED* overlapped) {
    ++asked.writes;
    return length < kReportLength ? CompleteLater(overlapped, kStatusInvalidUserBuffer, 0)
                                  : ToTheRemote(file, data, length, overlapped);
}

// A padded write is reported done and never reaches the remote; short ones do.
BOOL PaddedWritesSwallowed(HANDLE file, uint8_t* data, DWORD length, OVERLAPPED* overlapped) {
    ++asked.writes;
    return length == kReportLength ? CompleteLater(overlapped, kStatusSuccess, length)
                                   : ToTheRemote(file, data, length, overlapped);
}

// Every write is refused as a bad parameter, whatever its length.
BOOL WritesRefusedAsInvalid(HANDLE, uint8_t*, DWORD, OVERLAPPED*) {
    ++asked.writes;
    return Refuse(ERROR_INVALID_PARAMETER);
}

// Every write is refused as a bad buffer, whatever its length.
BOOL WritesRefusedAsBadBuffer(HANDLE, uint8_t*, DWORD, OVERLAPPED*) {
    ++asked.writes;
    return Refuse(ERROR_INVALID_USER_BUFFER);
}

// Every write fails for a reason that has nothing to do with its length.
BOOL WritesFailAsGone(HANDLE, uint8_t*, DWORD, OVERLAPPED*) {
    ++asked.writes;
    return Refuse(ERROR_DEVICE_NOT_CONNECTED);
}

BOOL SetOutputReportTaken(HANDLE file, uint8_t* data, DWORD length, OVERLAPPED* overlapped) {
    ++asked.setOutputReports;
    return ToTheRemote(file, data, length, overlapped);
}

BOOL SetOutputReportRefused(HANDLE, uint8_t*, DWORD, OVERLAPPED*) {
    ++asked.setOutputReports;
    return Refuse(ERROR_GEN_FAILURE);
}

// Over drivers that take only some ways of writing, starting with the report's own
// length as on Microsoft's stack: each report reaches the remote with exactly its
// own bytes, or the write fails; the way that worked is the one tried first for
// the next report, and while none has, each report tries every way again.
void WritesFindTheWayTheDriverTakesAndKeepIt() {
    struct Case {
        const char* driver;
        HidFileCalls calls;
        bool delivered;       // each report reaches the remote, else each write fails
        int writes;           // WriteFile starts for the three reports
        int setOutputReports; // set-output-report starts for them
    };
    const Case cases[] = {
        {"short writes refused at once", {ShortWritesRefused, SetOutputReportTaken}, true, 1, 3},
        {"short writes refused on completion",
         {ShortWritesFailLater, SetOutputReportTaken},
         true,
         1,
         3},
        {"padded writes swallowed", {PaddedWritesSwallowed, SetOutputReportTaken}, true, 3, 0},
        {"every write refused as invalid",
         {WritesRefusedAsInvalid, SetOutputReportTaken},
         true,
         1,
         3},
        {"nothing taken", {WritesRefusedAsBadBuffer, SetOutputReportRefused}, false, 3, 3},
        {"writes fail otherwise", {WritesFailAsGone, SetOutputReportTaken}, false, 3, 0},
    };
    const uint8_t ids[] = {0x12, 0x11, 0x17};
    for (const Case& c : cases) {
        const int failuresBefore = checkFailures;
        asked = {};
        PipeRemote remote = OpenPipeRemote(kPipeBuffer, WriteMethod::ReportWrite, c.calls);
        for (const uint8_t id : ids) {
            const size_t length = StatedLength(id);
            uint8_t buffer[HID_REPORT_BUFFER_SIZE];
            FillReport(buffer, id, length);
            const int32_t sent = WriteDeviceReport(remote.handle, buffer, nullptr);
            const int32_t expected = c.delivered ? static_cast<int32_t>(length) : -1;
            Check(sent == expected, "a write returns the report's own length or fails", expected,
                  sent);
            if (c.delivered) {
                const Report message = RemoteTakes(remote);
                Check(message == Report(buffer, buffer + length),
                      "the remote gets exactly the report's own bytes", static_cast<long>(length),
                      static_cast<long>(message.size()));
            }
        }
        DWORD waiting = 0;
        const BOOL peeked = PeekNamedPipe(remote.remoteEnd, nullptr, 0, nullptr, &waiting, nullptr);
        Check(peeked && waiting == 0, "nothing else reaches the remote (bytes)", 0,
              peeked ? static_cast<long>(waiting) : -1);
        Check(asked.writes == c.writes, "WriteFile starts", c.writes, asked.writes);
        Check(asked.setOutputReports == c.setOutputReports, "set-output-report starts",
              c.setOutputReports, asked.setOutputReports);
        EndRemote(remote);
        if (checkFailures != failuresBefore) {
            std::printf("  (the failures above: driver with %s)\n", c.driver);
        }
    }
}

// Reports that wait in the pipe come out whole, one per read, in the order sent.
void ReadsHandOverWholeReportsInOrder() {
    PipeRemote remote = OpenPipeRemote(kPipeBuffer);
    const Report reports[] = {MakeReport(0x31, 0x10), MakeReport(0x21, 0x40),
                              MakeReport(0x30, 0x70)};
    for (const Report& report : reports) {
        RemoteSends(remote, report);
    }
    for (const Report& report : reports) {
        uint8_t buffer[HID_REPORT_BUFFER_SIZE];
        long took = 0;
        const int32_t got = Read(remote, buffer, took);
        Check(got == static_cast<int32_t>(kReportLength), "a read returns the report's length",
              kReportLength, got);
        Check(Holds(buffer, report), "a read hands over the next report", report[0], buffer[0]);
    }
    EndRemote(remote);
}

// Reads with nothing to read end in time and leave the buffer; the report sent
// afterwards is not lost to the cancelled reads. A report that comes 60 ms into a
// read is that read's: one read covers the start-up probe's 100 ms window.
void ReadsThatTimeOutLoseNothing() {
    PipeRemote remote = OpenPipeRemote(kPipeBuffer);
    uint8_t buffer[HID_REPORT_BUFFER_SIZE];
    for (int i = 0; i < 5; ++i) {
        long took = 0;
        const int32_t got = Read(remote, buffer, took);
        Check(got == 0, "a read with nothing to read returns 0", 0, got);
        Check(took < kCallLimitMs, "a read with nothing to read ends in time (ms)", kCallLimitMs,
              took);
        Check(Holds(buffer, {}), "a read with nothing to read leaves the buffer", 1, 0);
    }
    // The report comes 60 ms into the read; a loaded machine may hold the remote's
    // thread past the read's end, so up to three tries, each report read whole by
    // the read it came into or, missed, by the next one: never lost.
    const Report report = MakeReport(0x21, 0x01);
    int32_t got = 0;
    for (int attempt = 0; attempt < 3 && got != static_cast<int32_t>(kReportLength); ++attempt) {
        std::thread lateRemote([&] {
            Sleep(60);
            RemoteSends(remote, report);
        });
        long took = 0;
        got = Read(remote, buffer, took);
        lateRemote.join();
        if (got == 0) {
            const int32_t late = Read(remote, buffer, took);
            Check(late == static_cast<int32_t>(kReportLength) && Holds(buffer, report),
                  "a report missed by its read is the next read's", kReportLength, late);
        }
    }
    Check(got == static_cast<int32_t>(kReportLength),
          "a report 60 ms into a read, after timed-out reads, is read", kReportLength, got);
    Check(Holds(buffer, report), "the report after timed-out reads is whole", report[0], buffer[0]);
    EndRemote(remote);
}

// A write that the remote never takes fails after its bound; the device goes on
// working for reads and for the next writes.
void WritesTheRemoteDoesNotTakeFailInTime() {
    PipeRemote remote = OpenPipeRemote(0);
    uint8_t buffer[HID_REPORT_BUFFER_SIZE] = {0x11, 0x10};
    for (int i = 0; i < 2; ++i) {
        const auto start = CheckClock::now();
        const int32_t sent = WriteDeviceReport(remote.handle, buffer, nullptr);
        const long took = MsSince(start);
        Check(sent == -1, "a write the remote does not take", -1, sent);
        Check(took >= static_cast<long>(kWriteWaitMs) - 20 && took < kCallLimitMs,
              "it fails after its wait (ms)", kWriteWaitMs, took);
    }
    // With no room in the pipe, the remote's report goes through only to a waiting read.
    std::atomic<int32_t> got{0};
    std::thread reader([&] {
        uint8_t readBuffer[HID_REPORT_BUFFER_SIZE];
        for (int i = 0; i < 100 && got == 0; ++i) {
            got = ReadDeviceReport(remote.handle, readBuffer, nullptr);
        }
    });
    Check(RemoteSends(remote, MakeReport(0x30, 0x20)), "the remote's report is taken", 1, 0);
    reader.join();
    Check(got == static_cast<int32_t>(kReportLength), "reads still work after a failed write",
          kReportLength, got);
    EndRemote(remote);
}

// When the remote goes away, reads and writes fail at once and touch nothing.
void ARemoteThatGoesAwayFailsEveryCall() {
    PipeRemote remote = OpenPipeRemote(kPipeBuffer);
    CloseHandle(remote.remoteEnd);
    uint8_t buffer[HID_REPORT_BUFFER_SIZE];
    long took = 0;
    Check(Read(remote, buffer, took) == -1, "a read from a remote that went away", -1, 0);
    Check(Holds(buffer, {}), "a failed read leaves the buffer", 1, 0);
    Check(took < kCallLimitMs, "a failed read ends in time (ms)", kCallLimitMs, took);
    buffer[0] = 0x11;
    Check(WriteDeviceReport(remote.handle, buffer, nullptr) == -1,
          "a write to a remote that went away", -1, 0);
    CloseDeviceHandle(remote.handle);
}

// A close ends a read loop on another thread within a read, and closes the pipe.
void CloseEndsAReadInProgressAndClosesTheDevice() {
    PipeRemote remote = OpenPipeRemote(kPipeBuffer);
    std::atomic<bool> started{false};
    std::atomic<int32_t> last{0};
    std::thread reader([&] {
        uint8_t buffer[HID_REPORT_BUFFER_SIZE];
        started = true;
        int32_t got = 0;
        while (got == 0) {
            got = ReadDeviceReport(remote.handle, buffer, nullptr);
        }
        last = got;
    });
    while (!started) {
        std::this_thread::yield();
    }
    Sleep(100);
    const auto start = CheckClock::now();
    CloseDeviceHandle(remote.handle);
    reader.join();
    const long took = MsSince(start);
    Check(last == -1, "the read in progress ends with -1", -1, last);
    Check(took < kCallLimitMs, "the close and the reader end in time (ms)", kCallLimitMs, took);
    DWORD available = 0;
    const BOOL peeked = PeekNamedPipe(remote.remoteEnd, nullptr, 0, nullptr, &available, nullptr);
    Check(!peeked && GetLastError() == ERROR_BROKEN_PIPE, "the remote sees the device closed", 1,
          0);
    CloseHandle(remote.remoteEnd);
}

// Writes go through while another thread keeps a read waiting on the same handle:
// each has its own OVERLAPPED and buffer, so none runs into its time limit and they
// arrive whole and in order.
void WritesPassAWaitingRead() {
    PipeRemote remote = OpenPipeRemote(kPipeBuffer);
    std::atomic<bool> stop{false};
    std::thread reader([&] {
        uint8_t buffer[HID_REPORT_BUFFER_SIZE];
        while (!stop) {
            ReadDeviceReport(remote.handle, buffer, nullptr);
        }
    });
    // A write that ran into its time limit would be cancelled and fail: each one
    // returning its length shows that none did, however loaded the machine.
    const size_t length = StatedLength(0x17);
    for (uint8_t i = 0; i < 20; ++i) {
        uint8_t buffer[HID_REPORT_BUFFER_SIZE] = {0x17, i};
        Check(WriteDeviceReport(remote.handle, buffer, nullptr) == static_cast<int32_t>(length),
              "a write beside a waiting read", static_cast<long>(length), -1);
    }
    stop = true;
    reader.join();
    for (uint8_t i = 0; i < 20; ++i) {
        const Report message = RemoteTakes(remote);
        Check(message.size() == length && message[1] == i, "writes arrive in order", i,
              message.size() == length ? message[1] : -1);
    }
    EndRemote(remote);
}

// With TINY_HID_RECORD set, the library records what crossed the pipe: the output
// report at its own length, and the input reports as the reads handed them over,
// at times from the opening that only grow and stay within the check's own time
// (64-bit microseconds, written and read back alike in the 32-bit build).
void TheRecordVariableRecordsWhatCrossedThePipe() {
    const auto start = CheckClock::now();
    char folder[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, folder);
    const std::string path = std::string(folder) + "tobrisk-hid-file-check-recording.txt";
    _putenv_s(kRecordVariable, path.c_str());
    PipeRemote remote = OpenPipeRemote(kPipeBuffer);
    _putenv_s(kRecordVariable, "");
    uint8_t buffer[HID_REPORT_BUFFER_SIZE] = {0x12, 0x00, 0x31};
    WriteDeviceReport(remote.handle, buffer, nullptr);
    const Report sent[] = {MakeReport(0x31, 0x10), MakeReport(0x21, 0x40)};
    for (const Report& report : sent) {
        RemoteSends(remote, report);
        long took = 0;
        Read(remote, buffer, took);
    }
    EndRemote(remote);
    const long checkUs = MsSince(start) * 1000 + 1000;

    std::ifstream file(path, std::ios::binary);
    const std::string text(std::istreambuf_iterator<char>(file), {});
    file.close();
    DeleteFileA(path.c_str());
    std::vector<RecordedReport> reports;
    int badLine = 0;
    std::string why;
    Check(ParseRecording(text, reports, badLine, why), "the recording reads back (bad line)", 0,
          badLine);
    const bool parsed = reports.size() == 3;
    Check(parsed, "the recording's reports", 3, static_cast<long>(reports.size()));
    if (parsed) {
        Check(reports[0].output && reports[0].bytes == Report{0x12, 0x00, 0x31},
              "the output report recorded at its own length", 3,
              static_cast<long>(reports[0].bytes.size()));
        Check(!reports[1].output && reports[1].bytes == sent[0], "the first input report", 1, 0);
        Check(!reports[2].output && reports[2].bytes == sent[1], "the second input report", 1, 0);
        Check(reports[0].us >= 0 && reports[0].us <= reports[1].us &&
                  reports[1].us <= reports[2].us && reports[2].us <= checkUs,
              "the recording's times grow within the check (last, us)", checkUs,
              static_cast<long>(reports[2].us));
    }
}

} // namespace

int main() {
    UnbufferedOutput();
    ToshibasStackGetsWritesPaddedToTheOutputReportLength();
    WritesFindTheWayTheDriverTakesAndKeepIt();
    ReadsHandOverWholeReportsInOrder();
    ReadsThatTimeOutLoseNothing();
    WritesTheRemoteDoesNotTakeFailInTime();
    ARemoteThatGoesAwayFailsEveryCall();
    CloseEndsAReadInProgressAndClosesTheDevice();
    WritesPassAWaitingRead();
    TheRecordVariableRecordsWhatCrossedThePipe();
    std::printf("hid_file_check: %d failures\n", checkFailures);
    return checkFailures;
}
