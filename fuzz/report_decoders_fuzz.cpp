// Fuzzes the two report decoders and the reply wait: PollDataReport a number of
// times, then ReadGyroRegister, over one stream of reads of any ID and length, with
// reads that bring nothing, reads that fail and shutdowns during a read.
//
// What must hold, for every input:
// - nothing is read or written outside the buffers (AddressSanitizer);
// - every decoded field comes from the bytes the decoders may take: a model of the
//   input buffer built from the stream alone gives the expected buttonByte2,
//   accelerations and reply bytes, compared after every call;
// - the wait always ends: it takes exactly the reads up to the reply, a failure or
//   a shutdown, returns within its time limit (or, if the process was stalled
//   that long, gives up without a reply), and leaves high and low untouched when
//   no reply came;
// - each call puts on the wire exactly what it should: nothing while polling, one
//   read request for the wait.
//
// Input: byte 0, low nibble: how many polls; the rest is the stream (see
// report_stream_hid.h). Once the stream runs out every read fails.
#include <chrono>
#include <cstring>

#include "device_state.h"
#include "fuzz_check.h"
#include "remote_reports.h"
#include "report_protocol.h"
#include "report_stream_hid.h"

namespace {

// What the decoders should have produced, computed from the stream alone.
struct Expected {
    uint8_t buffer[HID_REPORT_BUFFER_SIZE] = {}; // the input buffer after each read
    uint8_t buttonByte1 = 0;
    uint8_t buttonByte2 = 0;
    uint8_t accel[3] = {};
    bool samplingStopped = false;
    bool remoteClosed = false;
};

// Puts every field the decoders touch, and the buffer, back to zero.
void ResetDeviceFields() {
    std::memset(deviceState.inputReport, 0, sizeof deviceState.inputReport);
    deviceState.hidHandle = kStreamHandle;
    deviceState.buttonByte1 = 0;
    deviceState.buttonByte2 = 0;
    deviceState.accelX = deviceState.accelY = deviceState.accelZ = 0;
    deviceState.remoteClosed = 0;
    deviceState.samplingStopped = 0;
}

// Applies read number `at` of the stream (a failure beyond its end) to the model.
// Returns the read's kind.
StreamReadKind ApplyRead(const std::vector<StreamRead>& reads, size_t at, Expected& e) {
    if (at >= reads.size()) {
        return StreamReadKind::Failure;
    }
    const StreamRead& read = reads[at];
    if (read.kind == StreamReadKind::Report) {
        std::memcpy(e.buffer, read.bytes.data(), read.bytes.size());
    }
    e.samplingStopped |= read.kind == StreamReadKind::SamplingStopped;
    e.remoteClosed |= read.kind == StreamReadKind::RemoteClosed;
    return read.kind;
}

// Takes the accelerations from the model's buffer.
void TakeAccel(Expected& e) {
    std::memcpy(e.accel, e.buffer + 3, 3);
}

// One PollDataReport: any data ID gives the buttons, an odd one the accelerations.
void ExpectPoll(const std::vector<StreamRead>& reads, size_t& next, Expected& e) {
    if (ApplyRead(reads, next++, e) != StreamReadKind::Report || (e.buffer[0] & 0xF0) != 0x30) {
        return;
    }
    e.buttonByte1 = e.buffer[1];
    e.buttonByte2 = e.buffer[2];
    if (e.buffer[0] & 0x01) {
        TakeAccel(e);
    }
}

// One ReadGyroRegister: 0x31 alone updates the fields, a 0x21 for address 00 90
// alone ends the wait with bytes 6 and 7; a 0x22 acknowledging 0x17 with a nonzero
// error, a failure or a shutdown ends it without a reply.
bool ExpectWait(const std::vector<StreamRead>& reads, size_t& next, Expected& e, uint8_t& high,
                uint8_t& low) {
    for (;;) {
        if (e.samplingStopped || e.remoteClosed) {
            return false;
        }
        const StreamReadKind kind = ApplyRead(reads, next++, e);
        if (kind == StreamReadKind::Failure) {
            return false;
        }
        if (kind != StreamReadKind::Report) {
            continue;
        }
        if (e.buffer[0] == 0x31) {
            e.buttonByte1 = e.buffer[1];
            e.buttonByte2 = e.buffer[2];
            TakeAccel(e);
        }
        if (e.buffer[0] == 0x22 && e.buffer[3] == 0x17 && e.buffer[4] != 0) {
            return false;
        }
        if (e.buffer[0] == 0x21 && e.buffer[4] == 0x00 && e.buffer[5] == 0x90) {
            high = e.buffer[6];
            low = e.buffer[7];
            return true;
        }
    }
}

// The decoded fields and the input buffer equal the model's.
void CheckFields(const Expected& e, const char* after) {
    FUZZ_CHECK(deviceState.buttonByte1 == e.buttonByte1, "%s: buttonByte1 %02x, expected %02x",
               after, deviceState.buttonByte1.load(), e.buttonByte1);
    FUZZ_CHECK(deviceState.buttonByte2 == e.buttonByte2, "%s: buttonByte2 %02x, expected %02x",
               after, deviceState.buttonByte2.load(), e.buttonByte2);
    FUZZ_CHECK(deviceState.accelX == e.accel[0] && deviceState.accelY == e.accel[1] &&
                   deviceState.accelZ == e.accel[2],
               "%s: accelerations %02x %02x %02x, expected %02x %02x %02x", after,
               deviceState.accelX.load(), deviceState.accelY.load(), deviceState.accelZ.load(),
               e.accel[0], e.accel[1], e.accel[2]);
    FUZZ_CHECK(std::memcmp(deviceState.inputReport, e.buffer, sizeof e.buffer) == 0,
               "%s: the input buffer differs from the reads", after);
}

// Whole milliseconds since start.
int64_t MillisecondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                                 start)
        .count();
}

} // namespace

// Once per process: a remote that stays silent (every read brings nothing) makes
// the wait give up within its limit, with high and low untouched.
extern "C" int LLVMFuzzerInitialize(int*, char***) {
    ResetDeviceFields();
    StreamHidStart({}, 0);
    uint8_t high = 0xA5;
    uint8_t low = 0x5A;
    const auto start = std::chrono::steady_clock::now();
    const bool replied = ReadGyroRegister(high, low);
    const int64_t waited = MillisecondsSince(start);
    FUZZ_CHECK(!replied && high == 0xA5 && low == 0x5A, "a silent remote gave a reply");
    FUZZ_CHECK(waited >= kReplyWaitLimitMs && waited < kReplyWaitLimitMs + 500,
               "a silent remote was waited for %lld ms", static_cast<long long>(waited));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) {
        return 0;
    }
    const int polls = data[0] & 0x0F;
    const std::vector<StreamRead> reads = ParseReportStream(data + 1, size - 1);
    ResetDeviceFields();
    StreamHidStart(reads, -1);
    Expected e;
    size_t next = 0;

    for (int poll = 0; poll < polls; ++poll) {
        PollDataReport();
        ExpectPoll(reads, next, e);
        CheckFields(e, "PollDataReport");
        FUZZ_CHECK(StreamHidReadsTaken() == next, "a poll took %zu reads in all, expected %zu",
                   StreamHidReadsTaken(), next);
    }
    FUZZ_CHECK(StreamHidWrites().empty(), "polling wrote %zu reports", StreamHidWrites().size());

    // The wait, as the session runs it: the sampling not stopped, the remote open.
    deviceState.samplingStopped = 0;
    deviceState.remoteClosed = 0;
    e.samplingStopped = e.remoteClosed = false;
    uint8_t high = 0xA5;
    uint8_t low = 0x5A;
    uint8_t expectedHigh = 0xA5;
    uint8_t expectedLow = 0x5A;
    const auto start = std::chrono::steady_clock::now();
    const bool replied = ReadGyroRegister(high, low);
    const int64_t waited = MillisecondsSince(start);
    const bool expectedReply = ExpectWait(reads, next, e, expectedHigh, expectedLow);

    // A stream is read in microseconds; only a machine that stalled this process for
    // the whole limit gets here, and then the wait must have given up in time.
    if (waited >= kReplyWaitLimitMs) {
        FUZZ_CHECK(!replied && high == 0xA5 && low == 0x5A,
                   "a wait that ran out after %lld ms gave a reply", static_cast<long long>(waited));
        return 0;
    }
    FUZZ_CHECK(replied == expectedReply, "reply %d, expected %d", replied, expectedReply);
    FUZZ_CHECK(high == expectedHigh && low == expectedLow, "reply bytes %02x %02x, expected %02x %02x",
               high, low, expectedHigh, expectedLow);
    CheckFields(e, "ReadGyroRegister");
    FUZZ_CHECK(StreamHidReadsTaken() == next, "the wait ended after %zu reads in all, expected %zu",
               StreamHidReadsTaken(), next);
    FUZZ_CHECK(StreamHidWrites().size() == 1 && StreamHidWrites()[0] == kGyroRequestReport,
               "the wait wrote %zu reports, expected the one read request",
               StreamHidWrites().size());
    return 0;
}
