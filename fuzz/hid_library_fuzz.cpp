// Fuzzes the part of the HID report library that every platform shares: the
// handle table over a device that answers anything (reports of any length, also
// longer than the buffer, time-outs, failures), and the output report lengths.
//
// What must hold, for every sequence of calls:
// - nothing is read or written outside the caller's buffers (AddressSanitizer: a
//   read buffer is exactly HID_REPORT_BUFFER_SIZE bytes, a write buffer exactly
//   the report's length on the wire);
// - a read returns the device's report capped at the buffer, with exactly those
//   bytes in the buffer and the length in the out-word, after at most three
//   device waits of 10 ms; 0 after three time-outs; -1 on a failure; on 0 and -1
//   neither the buffer nor the out-word changes;
// - a write sends exactly the report's length, as the tests state it for every
//   report the remote takes (remote_reports.h; 22 for an ID it does not take), and
//   returns what the device sent, or -1;
// - handles are never given out twice; a call on a handle that is not open, or
//   with no buffer, fails without reaching a device; every device opened is closed
//   exactly once (a device is freed at its close, so a late call is a
//   use-after-free).
//
// Input: a sequence of operations, each a byte whose low three bits choose it,
// followed by its own bytes (see RunOperation).
#include <cstring>
#include <vector>

#include "fuzz_check.h"
#include "handle_table.h"
#include "remote_reports.h"

// A device the fake opened; freed at its close.
struct HidDevice {
    uint16_t productId;
};

namespace {

constexpr uint8_t kSentinel = 0xEE;
constexpr uint32_t kOutWordSentinel = 0xDEADBEEF;
constexpr size_t kMostOpen = 4;
constexpr int kWaitsInARead = HID_READ_WAIT_MS / kReadSliceMs; // each costs exactly its time

// The input, read byte by byte; zeros once it runs out.
struct Input {
    const uint8_t* data;
    size_t size;
    size_t at = 0;
    uint8_t Next() { return at < size ? data[at++] : 0; }
    bool Done() const { return at >= size; }
};

// One answer of the device to a read.
struct DeviceAnswer {
    int result;   // returned: > 0 may exceed what fits in the buffer
    uint8_t seed; // the bytes put in the buffer are a pattern from it
};

// What the fake device is told to do and what it saw. Single-threaded.
struct FakeDevice {
    uint8_t present = 0;               // bit 0: the original remote, bit 1: the later model
    std::vector<DeviceAnswer> answers; // for the reads of the current call, in order
    size_t answersTaken = 0;
    int writeResult = 0; // 0: the length given; else this value
    std::vector<uint16_t> openAttempts;
    int reads = 0;
    int writes = 0;
    size_t lastWriteLength = 0;
    std::vector<uint8_t> lastWrite;
    int live = 0;        // devices opened and not yet closed
    int64_t clockUs = 0; // the device's clock: its waits that found nothing
};

FakeDevice fake;

// The byte at index of the report the device makes from seed.
uint8_t Pattern(uint8_t seed, size_t index) {
    return static_cast<uint8_t>(seed * 31 + index * 7 + 1);
}

// Opens a device when one with these IDs is present.
HidDevice* FakeOpen(uint16_t vendorId, uint16_t productId) {
    FUZZ_CHECK(vendorId == kWiiRemoteVendor, "opened vendor %04x", vendorId);
    fake.openAttempts.push_back(productId);
    const bool present = (productId == kWiiRemoteProduct && (fake.present & 1)) ||
                         (productId == kWiiRemotePlusProduct && (fake.present & 2));
    if (!present) {
        return nullptr;
    }
    ++fake.live;
    return new HidDevice{productId};
}

// Gives the next queued answer; a time-out once they run out.
int FakeRead(HidDevice* device, uint8_t* data, size_t length, int timeoutMs) {
    FUZZ_CHECK(device != nullptr, "read on no device");
    FUZZ_CHECK(length == HID_REPORT_BUFFER_SIZE && timeoutMs == kReadSliceMs,
               "device read of %zu bytes waiting %d ms", length, timeoutMs);
    ++fake.reads;
    if (fake.answersTaken >= fake.answers.size()) {
        fake.clockUs += int64_t{timeoutMs} * 1000;
        return 0;
    }
    const DeviceAnswer answer = fake.answers[fake.answersTaken++];
    if (answer.result == 0) {
        fake.clockUs += int64_t{timeoutMs} * 1000;
    }
    if (answer.result > 0) {
        const size_t put = std::min(static_cast<size_t>(answer.result), length);
        for (size_t i = 0; i < put; ++i) {
            data[i] = Pattern(answer.seed, i);
        }
    }
    return answer.result;
}

// Records the bytes and returns the result asked for.
int FakeWrite(HidDevice* device, const uint8_t* data, size_t length) {
    FUZZ_CHECK(device != nullptr, "write on no device");
    ++fake.writes;
    fake.lastWriteLength = length;
    fake.lastWrite.assign(data, data + length);
    return fake.writeResult == 0 ? static_cast<int>(length) : fake.writeResult;
}

// Frees the device, so that any later call on it is a use-after-free.
void FakeClose(HidDevice* device) {
    --fake.live;
    delete device;
}

// The device's clock: each wait that found nothing took exactly its time.
int64_t FakeClock() {
    return fake.clockUs;
}

const HidDeviceCalls kFakeCalls = {FakeOpen, FakeRead, FakeWrite, FakeClose, nullptr, FakeClock};

// The length of each output report on the wire, as the remote takes it.
size_t WireLength(uint8_t reportId) {
    for (const OutputReportSize& size : kOutputReportSizes) {
        if (size.id == reportId) {
            return size.length;
        }
    }
    return kUnknownOutputReportLength;
}

// Handles open now, handles closed, and the largest handle given out so far.
struct Handles {
    std::vector<HidHandle> open;
    std::vector<HidHandle> closed;
};
HidHandle largestHandle = 0;

// A handle that is not open: a closed one or any value the input gives.
HidHandle NotOpenHandle(Input& in, const Handles& handles) {
    const uint8_t pick = in.Next();
    if ((pick & 1) && !handles.closed.empty()) {
        return handles.closed[pick % handles.closed.size()];
    }
    HidHandle value = 0;
    for (int i = 0; i < 4; ++i) {
        value = static_cast<HidHandle>((static_cast<uint32_t>(value) << 8) | in.Next());
    }
    for (HidHandle open : handles.open) {
        if (open == value) {
            return HID_NO_DEVICE;
        }
    }
    return value;
}

// Opens a remote with the devices the input makes present; checks the handle.
void Open(Input& in, Handles& handles) {
    if (handles.open.size() >= kMostOpen) {
        return;
    }
    fake.present = in.Next() & 3;
    fake.openAttempts.clear();
    const int liveBefore = fake.live;
    const HidHandle handle = OpenDeviceHandle(kFakeCalls, kWiiRemoteVendor, kWiiRemoteProduct);
    const std::vector<uint16_t> expectedAttempts =
        (fake.present & 1) ? std::vector<uint16_t>{kWiiRemoteProduct}
                           : std::vector<uint16_t>{kWiiRemoteProduct, kWiiRemotePlusProduct};
    FUZZ_CHECK(fake.openAttempts == expectedAttempts, "%zu open attempts",
               fake.openAttempts.size());
    if (fake.present == 0) {
        FUZZ_CHECK(handle == HID_NO_DEVICE && fake.live == liveBefore, "opened %d with no device",
                   handle);
        return;
    }
    FUZZ_CHECK(handle > largestHandle, "handle %d given after %d", handle, largestHandle);
    largestHandle = handle;
    handles.open.push_back(handle);
}

// Queues the device's answers for one read: up to three, each a kind byte (0 a
// time-out, 1 a failure, else a report) with, for a report, two length bytes
// (1 to 1024) and a pattern seed.
void QueueAnswers(Input& in) {
    fake.answers.clear();
    fake.answersTaken = 0;
    const int count = in.Next() % 4;
    for (int i = 0; i < count; ++i) {
        const uint8_t kind = in.Next() % 3;
        if (kind == 0) {
            fake.answers.push_back({0, 0});
        } else if (kind == 1) {
            fake.answers.push_back({-1 - (in.Next() & 7), 0});
        } else {
            const int length = 1 + ((in.Next() << 8 | in.Next()) & 0x3FF);
            fake.answers.push_back({length, in.Next()});
        }
    }
}

// What a read should return after the queued answers, and the device reads it takes.
int ExpectedRead(int& deviceReads, uint8_t& seed) {
    deviceReads = 0;
    for (const DeviceAnswer& answer : fake.answers) {
        ++deviceReads;
        if (answer.result < 0) {
            return -1;
        }
        if (answer.result > 0) {
            seed = answer.seed;
            return std::min(answer.result, HID_REPORT_BUFFER_SIZE);
        }
        if (deviceReads == kWaitsInARead) {
            return 0;
        }
    }
    deviceReads = kWaitsInARead; // the answers ran out: the rest are time-outs
    return 0;
}

// Reads on handle, which is open when reachesDevice; checks result, buffer and out-word.
void CheckRead(HidHandle handle, bool reachesDevice) {
    std::vector<uint8_t> buffer(HID_REPORT_BUFFER_SIZE, kSentinel);
    uint32_t outWord = kOutWordSentinel;
    const int readsBefore = fake.reads;
    const int32_t got = ReadDeviceReport(handle, buffer.data(), &outWord);
    int deviceReads = 0;
    uint8_t seed = 0;
    const int expected = reachesDevice ? ExpectedRead(deviceReads, seed) : -1;
    FUZZ_CHECK(got == expected, "read returned %d, expected %d", got, expected);
    FUZZ_CHECK(fake.reads - readsBefore == deviceReads, "%d device reads, expected %d",
               fake.reads - readsBefore, deviceReads);
    for (size_t i = 0; i < buffer.size(); ++i) {
        const uint8_t want = static_cast<int>(i) < got ? Pattern(seed, i) : kSentinel;
        FUZZ_CHECK(buffer[i] == want, "buffer byte %zu is %02x, expected %02x", i, buffer[i], want);
    }
    const uint32_t wantWord = got > 0 ? static_cast<uint32_t>(got) : kOutWordSentinel;
    FUZZ_CHECK(outWord == wantWord, "out-word %u, expected %u", outWord, wantWord);
}

// Writes a report of the input's ID on handle; checks what reached the device.
void CheckWrite(Input& in, HidHandle handle, bool reachesDevice) {
    const uint8_t id = in.Next();
    const uint8_t answer = in.Next() % 4;
    const size_t length = WireLength(id);
    fake.writeResult = answer == 0 ? 0 : answer == 1 ? -1 : answer == 2 ? 0x7FFF : -5;
    // Exactly the report's length, so a longer read of it is caught.
    std::vector<uint8_t> buffer(length);
    buffer[0] = id;
    for (size_t i = 1; i < length; ++i) {
        buffer[i] = Pattern(id, i);
    }
    uint32_t outWord = kOutWordSentinel;
    const int writesBefore = fake.writes;
    const int32_t sent = WriteDeviceReport(handle, buffer.data(), &outWord);
    FUZZ_CHECK(fake.writes - writesBefore == (reachesDevice ? 1 : 0), "%d device writes",
               fake.writes - writesBefore);
    int expected = -1;
    if (reachesDevice) {
        FUZZ_CHECK(fake.lastWrite == buffer, "wrote %zu bytes for report %02x, expected %zu",
                   fake.lastWriteLength, id, length);
        const int device = fake.writeResult == 0 ? static_cast<int>(length) : fake.writeResult;
        expected = device > 0 ? device : -1;
    }
    FUZZ_CHECK(sent == expected, "write returned %d, expected %d", sent, expected);
    const uint32_t wantWord = sent > 0 ? static_cast<uint32_t>(sent) : kOutWordSentinel;
    FUZZ_CHECK(outWord == wantWord, "write out-word %u, expected %u", outWord, wantWord);
}

// One operation of the input, chosen by the low three bits of its first byte.
void RunOperation(Input& in, Handles& handles) {
    const uint8_t op = in.Next();
    const size_t pick = in.Next();
    const bool anyOpen = !handles.open.empty();
    const HidHandle open = anyOpen ? handles.open[pick % handles.open.size()] : HID_NO_DEVICE;
    switch (op & 7) {
    case 0:
        Open(in, handles);
        break;
    case 1:
        QueueAnswers(in);
        CheckRead(open, anyOpen);
        break;
    case 2:
        CheckWrite(in, open, anyOpen);
        break;
    case 3:
        if (anyOpen) {
            const int liveBefore = fake.live;
            CloseDeviceHandle(open);
            FUZZ_CHECK(fake.live == liveBefore - 1, "the close did not close the device");
            handles.open.erase(handles.open.begin() +
                               static_cast<long>(pick % handles.open.size()));
            handles.closed.push_back(open);
        }
        break;
    case 4: {
        QueueAnswers(in);
        const HidHandle other = NotOpenHandle(in, handles);
        CheckRead(other, false);
        CheckWrite(in, other, false);
        break;
    }
    case 5: {
        uint32_t outWord = kOutWordSentinel;
        const int before = fake.reads + fake.writes;
        FUZZ_CHECK(ReadDeviceReport(open, nullptr, &outWord) == -1 &&
                       WriteDeviceReport(open, nullptr, &outWord) == -1,
                   "a call without a buffer did not fail");
        FUZZ_CHECK(fake.reads + fake.writes == before && outWord == kOutWordSentinel,
                   "a call without a buffer reached the device");
        break;
    }
    case 6: {
        const int liveBefore = fake.live;
        CloseDeviceHandle(NotOpenHandle(in, handles));
        FUZZ_CHECK(fake.live == liveBefore, "closing a handle that is not open closed a device");
        break;
    }
    default: {
        const uint8_t id = in.Next();
        FUZZ_CHECK(OutputReportLength(id) == WireLength(id), "report %02x is %zu bytes long", id,
                   OutputReportLength(id));
        break;
    }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Input in{data, size};
    Handles handles;
    for (int operations = 0; !in.Done() && operations < 256; ++operations) {
        RunOperation(in, handles);
    }
    for (HidHandle open : handles.open) {
        CloseDeviceHandle(open);
    }
    FUZZ_CHECK(fake.live == 0, "%d devices left open", fake.live);
    return 0;
}
