#include "report_stream_hid.h"

#include <algorithm>
#include <cstring>

#include "device_state.h"
#include "fuzz_check.h"
#include "remote_protocol.h"

namespace {

// The stream being handed out. Single-threaded.
struct StreamHid {
    std::vector<StreamRead> reads;                 // in order
    size_t taken = 0;                              // reads answered
    int32_t whenExhausted = -1;                    // after the last read
    std::vector<std::vector<uint8_t>> writes;      // as sent
    bool open = false;
};

StreamHid stream;

// The ID a header forces on a report, from the ID given.
uint8_t ForcedId(uint8_t header, uint8_t given) {
    switch ((header >> 4) & 0x03) {
    case 1: return 0x21;
    case 2: return 0x31;
    case 3: return static_cast<uint8_t>(0x30 | (given & 0x0F));
    default: return given;
    }
}

// Decodes one report whose header is at data[0]; moves at on past it.
StreamRead ParseReport(const uint8_t* data, size_t size, size_t& at) {
    const uint8_t header = data[at++];
    size_t length = header & 0x08 ? 1 : 0;
    if (at < size) {
        length += data[at++];
    }
    length = std::min(length, size - at);
    if (length == 0) {
        return {StreamReadKind::NoReport, {}};
    }
    std::vector<uint8_t> bytes(data + at, data + at + length);
    at += length;
    bytes[0] = ForcedId(header, bytes[0]);
    return {StreamReadKind::Report, std::move(bytes)};
}

} // namespace

std::vector<StreamRead> ParseReportStream(const uint8_t* data, size_t size) {
    std::vector<StreamRead> reads;
    size_t at = 0;
    while (at < size) {
        switch (data[at] & 0x07) {
        case 4: reads.push_back({StreamReadKind::NoReport, {}}); ++at; break;
        case 5: reads.push_back({StreamReadKind::Failure, {}}); ++at; break;
        case 6: reads.push_back({StreamReadKind::SamplingStopped, {}}); ++at; break;
        case 7: reads.push_back({StreamReadKind::RemoteClosed, {}}); ++at; break;
        default: reads.push_back(ParseReport(data, size, at)); break;
        }
    }
    return reads;
}

void StreamHidStart(std::vector<StreamRead> reads, int32_t whenExhausted) {
    stream.reads = std::move(reads);
    stream.taken = 0;
    stream.whenExhausted = whenExhausted;
    stream.writes.clear();
    stream.open = true;
}

size_t StreamHidReadsTaken() {
    return stream.taken;
}

const std::vector<std::vector<uint8_t>>& StreamHidWrites() {
    return stream.writes;
}

extern "C" HidHandle OpenHidHandle(uint16_t, uint16_t) {
    stream.open = true;
    return kStreamHandle;
}

extern "C" int32_t ReadReport(HidHandle handle, uint8_t* buffer, uint32_t* outWord) {
    FUZZ_CHECK(handle == kStreamHandle && stream.open, "read on handle %d", handle);
    FUZZ_CHECK(buffer == deviceState.inputReport, "read into another buffer than inputReport");
    FUZZ_CHECK(outWord == &deviceState.readOutWord, "read with another out-word");
    if (stream.taken >= stream.reads.size()) {
        ++stream.taken;
        return stream.whenExhausted;
    }
    const StreamRead& read = stream.reads[stream.taken++];
    switch (read.kind) {
    case StreamReadKind::Report: {
        // From a heap copy of exactly the report, so reading past it is caught too.
        const std::vector<uint8_t> report = read.bytes;
        FUZZ_CHECK(report.size() <= HID_REPORT_BUFFER_SIZE, "report of %zu bytes", report.size());
        std::memcpy(buffer, report.data(), report.size());
        *outWord = static_cast<uint32_t>(report.size());
        return static_cast<int32_t>(report.size());
    }
    case StreamReadKind::NoReport: return 0;
    case StreamReadKind::Failure: return -1;
    case StreamReadKind::SamplingStopped: deviceState.samplingStopped = 1; return 0;
    case StreamReadKind::RemoteClosed: deviceState.remoteClosed = 1; return 0;
    }
    return -1;
}

extern "C" int32_t WriteReport(HidHandle handle, uint8_t* buffer, uint32_t* outWord) {
    FUZZ_CHECK(handle == kStreamHandle && stream.open, "write on handle %d", handle);
    FUZZ_CHECK(buffer == deviceState.outputReport, "write from another buffer than outputReport");
    const size_t length = OutputReportLength(buffer[0]);
    stream.writes.emplace_back(buffer, buffer + length);
    *outWord = static_cast<uint32_t>(length);
    return static_cast<int32_t>(length);
}

extern "C" void CloseHidHandle(HidHandle handle) {
    FUZZ_CHECK(handle == kStreamHandle && stream.open, "close of handle %d", handle);
    stream.open = false;
}
