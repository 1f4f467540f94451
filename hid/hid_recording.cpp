#include "hid_recording.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string_view>

#include "hid_report_library.h"
#include "recording_file.h"
#include "remote_protocol.h"

struct HidRecording {
    std::mutex lock;           // guards the fields below and every write to file
    std::FILE* file = nullptr; // open for writing until StopRecording
    int64_t lastUs = 0;        // the latest time written
};

namespace {

constexpr int kBluetoothBus = 5;              // the bus number hid-recorder writes for Bluetooth
constexpr int64_t kMaxSeconds = 999999999999; // written with six digits or more
constexpr char kOutputPrefix[] = "# O:";      // our output reports, a comment to other tools

// The name the kernel gives the remote of these IDs.
std::string DeviceName(uint16_t vendorId, uint16_t productId) {
    if (vendorId == kRemoteVendorId && productId == kRemoteProductId) {
        return kRemoteName;
    }
    if (vendorId == kRemoteVendorId && productId == kRemotePlusProductId) {
        return kRemotePlusName;
    }
    char name[32];
    std::snprintf(name, sizeof(name), "HID %04x:%04x", vendorId, productId);
    return name;
}

// "<head> <length> <bytes in hex>", newline included.
std::string BytesLine(const std::string& head, size_t length, const uint8_t* bytes) {
    std::string line = head + " " + std::to_string(length);
    for (size_t i = 0; i < length; ++i) {
        char byte[4];
        std::snprintf(byte, sizeof(byte), " %02x", bytes[i]);
        line += byte;
    }
    return line + "\n";
}

// "<prefix> <seconds>.<microseconds> <length> <bytes in hex>", newline included.
std::string EventLine(const char* prefix, int64_t us, const uint8_t* bytes, size_t length) {
    char head[48];
    std::snprintf(head, sizeof(head), "%s %06lld.%06lld", prefix,
                  static_cast<long long>(us / 1000000), static_cast<long long>(us % 1000000));
    return BytesLine(head, length, bytes);
}

// Writes one report's line, flushed, with its time clamped to the last.
void WriteEvent(HidRecording* recording, const char* prefix, int64_t us, const uint8_t* bytes,
                size_t length) {
    if (recording == nullptr || bytes == nullptr) {
        return;
    }
    std::lock_guard<std::mutex> hold(recording->lock);
    recording->lastUs = std::max(recording->lastUs, us);
    const std::string line = EventLine(prefix, recording->lastUs, bytes, length);
    std::fputs(line.c_str(), recording->file);
    std::fflush(recording->file);
}

// --- Reading ---------------------------------------------------------------

// What is known while a recording's lines are read.
struct ParseState {
    bool inDescriptor = false; // the last header line was R:, whose bytes may wrap
    long device = 0;           // from the last D: line; only device 0 is taken
    int64_t lastUs = 0;        // the latest event time so far
    bool anyInput = false;     // an E: line of device 0 was seen
};

std::string_view TrimStart(std::string_view text) {
    const size_t first = text.find_first_not_of(" \t");
    return first == std::string_view::npos ? std::string_view() : text.substr(first);
}

bool StartsWith(std::string_view text, std::string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

// The next word of text (words are parted by spaces and tabs), taken off its front;
// empty when there is none.
std::string_view NextWord(std::string_view& text) {
    text = TrimStart(text);
    const size_t end = std::min(text.find_first_of(" \t"), text.size());
    const std::string_view word = text.substr(0, end);
    text = text.substr(end);
    return word;
}

// The whole of text as a decimal number up to max.
bool ParseDecimal(std::string_view text, int64_t max, int64_t& value) {
    const char* end = text.data() + text.size();
    const auto [stop, failure] = std::from_chars(text.data(), end, value);
    return !text.empty() && failure == std::errc() && stop == end && value >= 0 && value <= max;
}

// A byte as two hexadecimal digits.
bool ParseByte(std::string_view text, uint8_t& byte) {
    const char* end = text.data() + text.size();
    const auto [stop, failure] = std::from_chars(text.data(), end, byte, 16);
    return text.size() == 2 && failure == std::errc() && stop == end;
}

// "<seconds>.<six digits>" in microseconds.
bool ParseTime(std::string_view text, int64_t& us) {
    const size_t dot = text.find('.');
    int64_t seconds = 0;
    int64_t micros = 0;
    if (dot == std::string_view::npos || text.size() - dot - 1 != 6 ||
        !ParseDecimal(text.substr(0, dot), kMaxSeconds, seconds) ||
        !ParseDecimal(text.substr(dot + 1), 999999, micros)) {
        return false;
    }
    us = seconds * 1000000 + micros;
    return true;
}

// Whether every word of text is a byte in hex: a wrapped line of R:'s bytes.
bool IsByteLine(std::string_view text) {
    uint8_t byte = 0;
    bool any = false;
    for (std::string_view word = NextWord(text); !word.empty(); word = NextWord(text)) {
        if (!ParseByte(word, byte)) {
            return false;
        }
        any = true;
    }
    return any;
}

// "<time> <length> <bytes>" into report; why names the fault. The bytes are read
// one by one up to the length declared, so a line of any size costs no more.
bool ParseEvent(std::string_view body, RecordedReport& report, std::string& why) {
    const std::string_view time = NextWord(body);
    const std::string_view lengthWord = NextWord(body);
    int64_t length = 0;
    if (lengthWord.empty() || !ParseTime(time, report.us)) {
        why = "expected a time as <seconds>.<microseconds>";
        return false;
    }
    if (!ParseDecimal(lengthWord, HID_REPORT_BUFFER_SIZE, length) || length == 0) {
        why = "expected a length from 1 to 256";
        return false;
    }
    report.bytes.resize(static_cast<size_t>(length));
    for (size_t i = 0; i < report.bytes.size(); ++i) {
        const std::string_view word = NextWord(body);
        if (word.empty()) {
            why = "the length says " + std::to_string(length) + " bytes, the line has " +
                  std::to_string(i);
            return false;
        }
        if (!ParseByte(word, report.bytes[i])) {
            why = "'" + std::string(word.substr(0, 16)) + "' is not a byte in hex";
            return false;
        }
    }
    if (!NextWord(body).empty()) {
        why = "the length says " + std::to_string(length) + " bytes, the line has more";
        return false;
    }
    return true;
}

// Takes one event line of either kind; events of other devices are passed over.
bool TakeEvent(std::string_view body, bool output, int lineNumber, ParseState& state,
               std::vector<RecordedReport>& reports, std::string& why) {
    RecordedReport report;
    report.output = output;
    report.line = lineNumber;
    if (!ParseEvent(body, report, why)) {
        return false;
    }
    if (report.us < state.lastUs) {
        why = "the time goes backwards";
        return false;
    }
    state.lastUs = report.us;
    if (state.device == 0) {
        state.anyInput = state.anyInput || !output;
        reports.push_back(std::move(report));
    }
    return true;
}

// Takes one line of the file.
bool TakeLine(std::string_view line, int lineNumber, ParseState& state,
              std::vector<RecordedReport>& reports, std::string& why) {
    line = TrimStart(line);
    const bool wrapped = state.inDescriptor;
    state.inDescriptor = false;
    if (line.empty()) {
        return true;
    }
    if (StartsWith(line, kOutputPrefix)) {
        return TakeEvent(line.substr(std::strlen(kOutputPrefix)), true, lineNumber, state, reports,
                         why);
    }
    if (line[0] == '#' || StartsWith(line, "N:") || StartsWith(line, "P:") ||
        StartsWith(line, "I:")) {
        return true;
    }
    if (StartsWith(line, "R:") || (wrapped && IsByteLine(line))) {
        state.inDescriptor = true;
        return true;
    }
    if (StartsWith(line, "D:")) {
        std::string_view rest = line.substr(2);
        const std::string_view index = NextWord(rest);
        int64_t device = 0;
        if (!NextWord(rest).empty() || !ParseDecimal(index, 255, device)) {
            why = "expected a device index after D:";
            return false;
        }
        state.device = static_cast<long>(device);
        return true;
    }
    if (StartsWith(line, "E:")) {
        return TakeEvent(line.substr(2), false, lineNumber, state, reports, why);
    }
    why = "not a line of a recording";
    return false;
}

} // namespace

const char* RecordingPath() {
    const char* path = std::getenv(kRecordVariable);
    return path != nullptr && path[0] != '\0' ? path : nullptr;
}

HidRecording* StartRecording(const char* path, uint16_t vendorId, uint16_t productId,
                             const std::vector<uint8_t>& descriptor) {
    std::string chosen;
    std::string why;
    std::FILE* file = OpenRecordingFile(path, chosen, why);
    if (file == nullptr) {
        std::fprintf(stderr,
                     "tiny_hid: cannot write the recording to '%s' (%s): %s; not recording\n", path,
                     kRecordVariable, why.c_str());
        return nullptr;
    }
    if (chosen != path) {
        std::fprintf(
            stderr,
            "tiny_hid: another opening records into '%s' (%s); this one records into '%s'\n", path,
            kRecordVariable, chosen.c_str());
    }
    std::fprintf(file,
                 "# Wii Remote session recorded by Tobrisk's HID library: E: input reports,\n"
                 "# '# O:' output reports sent to the remote, in seconds since the opening\n");
    if (!descriptor.empty()) {
        std::fputs(BytesLine("R:", descriptor.size(), descriptor.data()).c_str(), file);
    }
    std::fprintf(file, "N: %s\nI: %d %04x %04x\n", DeviceName(vendorId, productId).c_str(),
                 kBluetoothBus, vendorId, productId);
    std::fflush(file);
    HidRecording* recording = new HidRecording;
    recording->file = file;
    return recording;
}

void RecordInputReport(HidRecording* recording, int64_t usSinceOpen, const uint8_t* bytes,
                       size_t length) {
    WriteEvent(recording, "E:", usSinceOpen, bytes, length);
}

void RecordOutputReport(HidRecording* recording, int64_t usSinceOpen, const uint8_t* bytes,
                        size_t length) {
    WriteEvent(recording, kOutputPrefix, usSinceOpen, bytes, length);
}

void StopRecording(HidRecording* recording) {
    if (recording == nullptr) {
        return;
    }
    std::fclose(recording->file);
    delete recording;
}

bool ParseRecording(const std::string& text, std::vector<RecordedReport>& reports, int& badLine,
                    std::string& why) {
    reports.clear();
    ParseState state;
    std::string_view rest = text;
    int lineNumber = 0;
    while (!rest.empty()) {
        const size_t end = std::min(rest.find('\n'), rest.size());
        std::string_view line = rest.substr(0, end);
        rest = rest.substr(std::min(end + 1, rest.size()));
        ++lineNumber;
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        if (!TakeLine(line, lineNumber, state, reports, why)) {
            badLine = lineNumber;
            return false;
        }
    }
    if (!state.anyInput) {
        badLine = std::max(lineNumber, 1);
        why = "no input report (E: line) in the whole file";
        return false;
    }
    return true;
}
