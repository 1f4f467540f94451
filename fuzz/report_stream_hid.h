// A HID report library driven by a fuzz input: it hands out a stream of reads
// (reports of any ID and any length up to the buffer, reads that bring nothing,
// reads that fail, and shutdowns that happen during a read), then fails every
// further read; it records every write. Single-threaded use only.
#ifndef TOBRISK_FUZZ_REPORT_STREAM_HID_H
#define TOBRISK_FUZZ_REPORT_STREAM_HID_H

#include <cstddef>
#include <cstdint>
#include <vector>

#include "hid_report_library.h"

constexpr HidHandle kStreamHandle = 5;

// What one read does.
enum class StreamReadKind {
    Report,          // puts bytes at the start of the buffer, returns their count
    NoReport,        // returns 0, buffer untouched
    Failure,         // returns -1, buffer untouched
    SamplingStopped, // the session's stop begins during the read, which returns 0
    RemoteClosed,    // the shutdown closes the remote during the read, which returns 0
};

struct StreamRead {
    StreamReadKind kind;
    std::vector<uint8_t> bytes;  // Report only: 1 to HID_REPORT_BUFFER_SIZE bytes
};

// Decodes a fuzz input into reads. Each read starts with a header byte: bits 0-2
// the kind (0-3 a report, 4 no report, 5 a failure, 6 sampling stopped, 7 remote
// closed). A report then has a length byte; its length is that byte plus bit 3 of
// the header (0 to 256, cut short by the end of the input; an empty report counts
// as no report), and its bytes follow. Bits 4-5 may force its ID: 1 gives 0x21,
// 2 gives 0x31, 3 gives 0x30 plus the low nibble of the ID given.
std::vector<StreamRead> ParseReportStream(const uint8_t* data, size_t size);

// Starts a new stream: the open handle is kStreamHandle; once the reads run out,
// every read returns whenExhausted (-1: failure, 0: no report).
void StreamHidStart(std::vector<StreamRead> reads, int32_t whenExhausted);

// Reads answered since the start, including those after the stream ran out.
size_t StreamHidReadsTaken();

// Every write since the start, as the wire would carry it.
const std::vector<std::vector<uint8_t>>& StreamHidWrites();

#endif
