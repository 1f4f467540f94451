// Fuzzes the simulated remote's scenario parser, and the opening that reads the
// scenario from TINY_HID_SIM.
//
// What must hold, for every text:
// - the parser agrees with an independent reading of the scenario rules written
//   here (split at ';', key=value, every key's own value rules): both accept with
//   the same scenario, or both refuse, and the refusal's one-line message names the
//   key the rules find wrong first; a value that was given always lands in its
//   field, and a key that was not given keeps its default;
// - a scenario written back as text from its fields parses to the same scenario;
// - OpenHidHandle with the text in TINY_HID_SIM opens the remote exactly when the
//   text is valid and the remote present, and writes nothing to stderr, or, for
//   a bad text, refuses with that one line on stderr;
// - a valid text with `replay` (a path) is taken only when that file loads as a
//   recording; otherwise its one line names the file;
// - the same bytes read as a recording to replay: taken with reports of 1 to 256
//   bytes whose times never go back, or refused naming a line the text has.
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_check.h"
#include "hid_recording.h"
#include "hid_report_library.h"
#include "remote_reports.h"
#include "sim_scenario.h"

namespace {

// The scenario rules, read here independently of sim_scenario.cpp.

// The text without spaces and tabs at either end.
std::string_view Trimmed(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) {
        text.remove_prefix(1);
    }
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) {
        text.remove_suffix(1);
    }
    return text;
}

// The pieces of text between separators, each trimmed.
std::vector<std::string_view> Pieces(std::string_view text, char separator) {
    std::vector<std::string_view> pieces;
    for (;;) {
        const size_t at = text.find(separator);
        pieces.push_back(Trimmed(text.substr(0, at)));
        if (at == std::string_view::npos) {
            return pieces;
        }
        text.remove_prefix(at + 1);
    }
}

// The value of one digit in base, or -1.
int DigitValue(char c, int base) {
    int value = -1;
    if (c >= '0' && c <= '9') {
        value = c - '0';
    } else if (c >= 'a' && c <= 'f') {
        value = c - 'a' + 10;
    } else if (c >= 'A' && c <= 'F') {
        value = c - 'A' + 10;
    }
    return value < base ? value : -1;
}

// All of digits as a number in base, at most max.
bool Digits(std::string_view digits, int base, uint64_t max, uint64_t& value) {
    if (digits.empty()) {
        return false;
    }
    value = 0;
    for (char c : digits) {
        const int digit = DigitValue(c, base);
        if (digit < 0 || value > (UINT64_MAX - digit) / base) {
            return false;
        }
        value = value * base + digit;
    }
    return value <= max;
}

// Whether text starts with 0x or 0X and has more after it.
bool HexPrefixed(std::string_view text) {
    return text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
}

// A number: decimal, or hexadecimal after 0x.
bool Number(std::string_view text, uint64_t max, uint64_t& value) {
    return HexPrefixed(text) ? Digits(text.substr(2), 16, max, value) : Digits(text, 10, max, value);
}

// Hexadecimal digits, at most maxDigits of them, with or without 0x.
bool Hex(std::string_view text, size_t maxDigits, uint64_t& value) {
    if (HexPrefixed(text)) {
        text.remove_prefix(2);
    }
    return text.size() <= maxDigits && Digits(text, 16, UINT64_MAX, value);
}

// A decimal: an optional minus, digits, and optionally a point and more digits; at
// most 16 characters and at most max in size.
bool Decimal(std::string_view text, double max, double& value) {
    size_t at = !text.empty() && text[0] == '-' ? 1 : 0;
    size_t digits = 0;
    while (at < text.size() && DigitValue(text[at], 10) >= 0) {
        ++at;
        ++digits;
    }
    if (at < text.size() && text[at] == '.') {
        ++at;
        size_t fraction = 0;
        while (at < text.size() && DigitValue(text[at], 10) >= 0) {
            ++at;
            ++fraction;
        }
        digits = fraction == 0 ? 0 : digits;
    }
    if (digits == 0 || at != text.size() || text.size() > 16) {
        return false;
    }
    value = std::strtod(std::string(text).c_str(), nullptr);
    return std::fabs(value) <= max;
}

// Milliseconds since opening, as microseconds.
bool Moment(std::string_view text, int64_t& us) {
    uint64_t ms;
    if (!Number(text, 1000000000, ms)) {
        return false;
    }
    us = static_cast<int64_t>(ms) * 1000;
    return true;
}

// Applies one key's value to the scenario, by the rules of docs/simulator.md.
bool ApplyValue(std::string_view key, std::string_view value, SimScenario& s) {
    uint64_t n = 0;
    if (key == "present" || key == "stream") {
        if (!Number(value, 1, n)) {
            return false;
        }
        (key == "present" ? s.present : s.stream) = n == 1;
        return true;
    }
    if (key == "first") {
        if (!Number(value, 0xFF, n)) {
            return false;
        }
        s.firstReportId = static_cast<uint8_t>(n);
        return true;
    }
    if (key == "accel") {
        const std::vector<std::string_view> axes = Pieces(value, ',');
        std::array<uint8_t, 3> accel{};
        for (size_t axis = 0; axes.size() == 3 && axis < 3; ++axis) {
            if (!Number(axes[axis], 0xFF, n)) {
                return false;
            }
            accel[axis] = static_cast<uint8_t>(n);
        }
        s.fixedAccel = accel;
        return axes.size() == 3;
    }
    if (key == "accel_low") {
        const std::vector<std::string_view> axes = Pieces(value, ',');
        std::array<uint8_t, 3> low{};
        for (size_t axis = 0; axes.size() == 3 && axis < 3; ++axis) {
            if (!Number(axes[axis], axis == 0 ? 3 : 1, n)) {
                return false;
            }
            low[axis] = static_cast<uint8_t>(n);
        }
        s.fixedAccelLow = low;
        return axes.size() == 3;
    }
    if (key == "gyro") {
        const std::vector<std::string_view> words = Pieces(value, ',');
        s.gyroValues.clear();
        for (std::string_view word : words) {
            if (!Hex(word, 4, n)) {
                return false;
            }
            s.gyroValues.push_back(static_cast<uint16_t>(n));
        }
        return words.size() <= 256;
    }
    if (key == "gyro_bias" || key == "gyro_noise" || key == "gyro_drift") {
        double v = 0.0;
        if (!Decimal(value, key == "gyro_noise" ? 10000.0 : 32768.0, v) ||
            (key == "gyro_noise" && v < 0.0)) {
            return false;
        }
        if (!s.gyroSignal) {
            s.gyroSignal = SimGyroSignal{};
        }
        (key == "gyro_bias" ? s.gyroSignal->bias
                            : key == "gyro_noise" ? s.gyroSignal->noise : s.gyroSignal->driftPerS) = v;
        return true;
    }
    if (key == "gyro_sine") {
        const std::vector<std::string_view> parts = Pieces(value, ',');
        double amplitude = 0.0;
        if (parts.size() != 2 || !Decimal(parts[0], 32768.0, amplitude) ||
            !Number(parts[1], 1000000000, n) || n == 0) {
            return false;
        }
        if (!s.gyroSignal) {
            s.gyroSignal = SimGyroSignal{};
        }
        s.gyroSignal->sineAmplitude = amplitude;
        s.gyroSignal->sinePeriodUs = static_cast<int64_t>(n) * 1000;
        return true;
    }
    if (key == "latency") {
        if (!Number(value, 10000000, n)) {
            return false;
        }
        s.latencyUs = static_cast<int64_t>(n);
        return true;
    }
    if (key == "period") {
        if (!Number(value, 1000, n) || n == 0) {
            return false;
        }
        s.periodUs = static_cast<int64_t>(n) * 1000;
        return true;
    }
    if (key == "home") {
        return Moment(value, s.homeFromUs);
    }
    if (key == "mute") {
        return Moment(value, s.muteFromUs);
    }
    if (key == "unplug") {
        return Moment(value, s.unplugFromUs);
    }
    if (key == "buttons") {
        const size_t at = value.find('@');
        if (at == std::string_view::npos) {
            return false;
        }
        const std::vector<std::string_view> bytes = Pieces(Trimmed(value.substr(0, at)), ',');
        SimButtonHold hold{};
        uint64_t byte1 = 0;
        uint64_t byte2 = 0;
        if (bytes.size() != 2 || !Hex(bytes[0], 2, byte1) || !Hex(bytes[1], 2, byte2) ||
            !Moment(Trimmed(value.substr(at + 1)), hold.fromUs)) {
            return false;
        }
        hold.byte1 = static_cast<uint8_t>(byte1);
        hold.byte2 = static_cast<uint8_t>(byte2);
        s.buttons = hold;
        return true;
    }
    if (key == "error") {
        if (!Number(value, 15, n)) {
            return false;
        }
        s.errorNibble = static_cast<uint8_t>(n);
        return true;
    }
    if (key == "seed") {
        if (!Number(value, UINT64_MAX, n)) {
            return false;
        }
        s.seed = n;
        return true;
    }
    if (key == "noise") {
        if (!Number(value, 10, n)) {
            return false;
        }
        s.noise = static_cast<int>(n);
        return true;
    }
    if (key == "backlog") {
        if (!Number(value, 4096, n) || n == 0) {
            return false;
        }
        s.backlog = static_cast<size_t>(n);
        return true;
    }
    if (key == "delay") {
        if (!Number(value, 10000, n)) {
            return false;
        }
        s.delayUs = static_cast<int64_t>(n) * 1000;
        return true;
    }
    if (key == "extension") {
        if (value == "none") {
            return true;
        }
        const size_t at = value.find('@');
        if (Trimmed(value.substr(0, at)) != "nunchuk") {
            return false;
        }
        s.extensionFromUs = 0;
        if (at == std::string_view::npos) {
            return true;
        }
        const std::vector<std::string_view> moments = Pieces(value.substr(at + 1), ',');
        if (moments.empty() || moments.size() > 2 || !Moment(moments[0], s.extensionFromUs)) {
            return false;
        }
        return moments.size() == 1 || (Moment(moments[1], s.extensionUntilUs) &&
                                       s.extensionUntilUs > s.extensionFromUs);
    }
    if (key == "driver") {
        if (!Number(value, 1, n)) {
            return false;
        }
        s.kernelDriver = n == 1;
        return true;
    }
    if (key == "replay") {
        s.replayPath = std::string(value);
        return !value.empty();
    }
    return false;
}

const char* const kKeys[] = {"present", "stream", "first", "accel", "accel_low", "gyro", "gyro_bias",
                             "gyro_noise", "gyro_drift", "gyro_sine", "latency",
                             "period", "home", "buttons", "error", "mute", "unplug",
                             "seed", "noise", "backlog", "delay", "extension", "driver",
                             "replay"};

// Whether name is one of the scenario's keys.
bool IsKey(std::string_view name) {
    for (const char* key : kKeys) {
        if (name == key) {
            return true;
        }
    }
    return false;
}

// The text with control characters shown as '?', as a one-line message shows it.
std::string Shown(std::string_view text) {
    std::string shown(text);
    for (char& c : shown) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
            c = '?';
        }
    }
    return shown;
}

// What the rules make of a text: a scenario, or the start of the message that
// refuses it (the whole message, except for a bad value, whose expectation
// follows). A valid text with `replay` stands or falls with its file, which the
// rules cannot read: either outcome is right, a refusal with message.
struct Reading {
    bool valid = true;
    bool replayDecides = false;
    SimScenario scenario;
    std::string message;
};

// Reads text by the rules, pair by pair, stopping at the first that is wrong.
Reading Read(std::string_view text) {
    Reading r;
    std::vector<std::string_view> seen;
    for (std::string_view pair : Pieces(text, ';')) {
        if (pair.empty()) {
            continue;
        }
        const size_t equals = pair.find('=');
        const std::string_view name = Trimmed(pair.substr(0, equals));
        r.valid = false;
        if (equals == std::string_view::npos) {
            r.message = "tiny_hid_sim: missing '=' after key '" + Shown(name) + "' in TINY_HID_SIM";
            return r;
        }
        if (!IsKey(name)) {
            r.message = "tiny_hid_sim: unknown key '" + Shown(name) + "' in TINY_HID_SIM";
            return r;
        }
        if (std::find(seen.begin(), seen.end(), name) != seen.end()) {
            r.message = "tiny_hid_sim: key '" + std::string(name) + "' given twice in TINY_HID_SIM";
            return r;
        }
        seen.push_back(name);
        const std::string_view value = Trimmed(pair.substr(equals + 1));
        if (!ApplyValue(name, value, r.scenario)) {
            r.message = "tiny_hid_sim: bad value '" + Shown(value) + "' for key '" +
                        std::string(name) + "' in TINY_HID_SIM (expected ";
            return r;
        }
        r.valid = true;
    }
    if (!r.scenario.gyroValues.empty() && r.scenario.gyroSignal) {
        r.valid = false;
        r.message = "tiny_hid_sim: key 'gyro' and the gyro_* keys exclude each other in TINY_HID_SIM";
        return r;
    }
    if (!r.scenario.replayPath.empty()) {
        r.replayDecides = true;
        r.message = "tiny_hid_sim: replay file '" + Shown(r.scenario.replayPath) + "' ";
    }
    return r;
}

// Comparing scenarios, and writing one back as text.

// Whether two scenarios agree in every field.
bool Same(const SimScenario& a, const SimScenario& b) {
    const bool sameButtons =
        a.buttons.has_value() == b.buttons.has_value() &&
        (!a.buttons || (a.buttons->byte1 == b.buttons->byte1 && a.buttons->byte2 == b.buttons->byte2 &&
                        a.buttons->fromUs == b.buttons->fromUs));
    const SimGyroSignal none;
    const SimGyroSignal& ga = a.gyroSignal ? *a.gyroSignal : none;
    const SimGyroSignal& gb = b.gyroSignal ? *b.gyroSignal : none;
    const bool sameSignal = a.gyroSignal.has_value() == b.gyroSignal.has_value() &&
                            ga.bias == gb.bias && ga.noise == gb.noise &&
                            ga.driftPerS == gb.driftPerS && ga.sineAmplitude == gb.sineAmplitude &&
                            ga.sinePeriodUs == gb.sinePeriodUs;
    return sameSignal && a.present == b.present && a.stream == b.stream &&
           a.firstReportId == b.firstReportId &&
           a.fixedAccel == b.fixedAccel && a.gyroValues == b.gyroValues &&
           a.latencyUs == b.latencyUs && a.periodUs == b.periodUs && a.homeFromUs == b.homeFromUs &&
           sameButtons && a.errorNibble == b.errorNibble && a.muteFromUs == b.muteFromUs &&
           a.unplugFromUs == b.unplugFromUs && a.seed == b.seed && a.noise == b.noise &&
           a.backlog == b.backlog && a.delayUs == b.delayUs && a.kernelDriver == b.kernelDriver &&
           a.fixedAccelLow == b.fixedAccelLow && a.extensionFromUs == b.extensionFromUs &&
           a.extensionUntilUs == b.extensionUntilUs && a.replayPath == b.replayPath;
}

// Two lower-case hex digits.
std::string Hex2(unsigned value) {
    char text[8];
    std::snprintf(text, sizeof text, "%02x", value & 0xFF);
    return text;
}

// The shortest fixed-point text that reads back as value.
std::string Fixed(double value) {
    char text[64];
    const auto result = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed);
    return std::string(text, result.ptr);
}

// A moment key, unless it never comes.
void WriteMoment(std::string& text, const char* key, int64_t us) {
    if (us != kSimNever) {
        text += std::string(key) + "=" + std::to_string(us / 1000) + ";";
    }
}

// The extension key's value: none, or the Nunchuk with its moments.
std::string WrittenExtension(const SimScenario& s) {
    if (s.extensionFromUs == kSimNever) {
        return "none";
    }
    std::string text = "nunchuk @ " + std::to_string(s.extensionFromUs / 1000);
    if (s.extensionUntilUs != kSimNever) {
        text += "," + std::to_string(s.extensionUntilUs / 1000);
    }
    return text;
}

// The scenario as text, with every key that differs from the defaults, in an order
// of its own and with some spacing.
std::string Written(const SimScenario& s) {
    std::string text = " backlog = " + std::to_string(s.backlog) + " ;noise=" +
                       std::to_string(s.noise) + ";seed=" + std::to_string(s.seed) + ";;";
    text += "present=" + std::to_string(s.present) + ";stream=" + std::to_string(s.stream) + ";";
    text += "driver=" + std::to_string(s.kernelDriver) + ";";
    text += "extension = " + WrittenExtension(s) + ";";
    if (s.fixedAccelLow) {
        text += "accel_low=" + std::to_string((*s.fixedAccelLow)[0]) + "," +
                std::to_string((*s.fixedAccelLow)[1]) + " , " +
                std::to_string((*s.fixedAccelLow)[2]) + ";";
    }
    if (s.delayUs) {
        text += "delay=" + std::to_string(*s.delayUs / 1000) + ";";
    }
    if (s.firstReportId) {
        text += "first=0x" + Hex2(*s.firstReportId) + ";";
    }
    if (s.fixedAccel) {
        text += "accel=" + std::to_string((*s.fixedAccel)[0]) + ", " +
                std::to_string((*s.fixedAccel)[1]) + " ,0x" + Hex2((*s.fixedAccel)[2]) + ";";
    }
    if (!s.gyroValues.empty()) {
        text += "gyro=";
        for (size_t i = 0; i < s.gyroValues.size(); ++i) {
            char word[8];
            std::snprintf(word, sizeof word, "%04X", s.gyroValues[i]);
            text += (i == 0 ? "" : ",") + std::string(word);
        }
        text += ";";
    }
    if (s.gyroSignal) {
        const SimGyroSignal& g = *s.gyroSignal;
        text += "gyro_bias=" + Fixed(g.bias) + "; gyro_noise = " + Fixed(g.noise) +
                ";gyro_drift=" + Fixed(g.driftPerS) + ";";
        if (g.sinePeriodUs != 0) {
            text += "gyro_sine=" + Fixed(g.sineAmplitude) + "," +
                    std::to_string(g.sinePeriodUs / 1000) + ";";
        }
    }
    text += "latency=" + std::to_string(s.latencyUs) + ";period=" + std::to_string(s.periodUs / 1000) +
            ";error=" + std::to_string(s.errorNibble) + ";";
    WriteMoment(text, "home", s.homeFromUs);
    WriteMoment(text, "mute", s.muteFromUs);
    WriteMoment(text, "unplug", s.unplugFromUs);
    if (!s.replayPath.empty()) {
        text += "replay=" + s.replayPath + ";";
    }
    if (s.buttons) {
        text += "buttons=" + Hex2(s.buttons->byte1) + "," + Hex2(s.buttons->byte2) + "@" +
                std::to_string(s.buttons->fromUs / 1000);
    }
    return text;
}

// Standard error while the remote opens.

int savedStderr = -1;
int capturedStderr = -1;

// The environment's TINY_HID_SIM entry, rewritten in place for every input: setenv
// would keep every value it was ever given, and a long run would fill the memory.
constexpr size_t kMostScenario = 8192;
char environmentEntry[sizeof "TINY_HID_SIM=" + kMostScenario] = "TINY_HID_SIM=";

// Opens the remote with text (at most kMostScenario bytes) in TINY_HID_SIM; returns
// the handle and what went to stderr.
HidHandle OpenWithScenario(const std::string& text, std::string& stderrText) {
    char* value = environmentEntry + std::strlen("TINY_HID_SIM=");
    std::memcpy(value, text.c_str(), text.size() + 1);
    putenv(environmentEntry);
    std::fflush(stderr);
    ftruncate(capturedStderr, 0);
    lseek(capturedStderr, 0, SEEK_SET);
    dup2(capturedStderr, STDERR_FILENO);
    const HidHandle handle = OpenHidHandle(kWiiRemoteVendor, kWiiRemoteProduct);
    std::fflush(stderr);
    dup2(savedStderr, STDERR_FILENO);
    const off_t length = lseek(capturedStderr, 0, SEEK_END);
    stderrText.assign(static_cast<size_t>(length), '\0');
    pread(capturedStderr, stderrText.data(), stderrText.size(), 0);
    return handle;
}

// Reads text as a recording and checks what the reading promises.
void CheckRecordingReading(const std::string& text) {
    std::vector<RecordedReport> reports;
    int badLine = 0;
    std::string why;
    if (!ParseRecording(text, reports, badLine, why)) {
        const long lines = std::count(text.begin(), text.end(), '\n') + 1;
        FUZZ_CHECK(badLine >= 1 && badLine <= lines && !why.empty(),
                   "a refused recording names line %d of %ld (%s)", badLine, lines, why.c_str());
        return;
    }
    int64_t lastUs = 0;
    for (const RecordedReport& report : reports) {
        FUZZ_CHECK(!report.bytes.empty() && report.bytes.size() <= HID_REPORT_BUFFER_SIZE,
                   "a recorded report of %zu bytes", report.bytes.size());
        FUZZ_CHECK(report.us >= lastUs, "a recording's time went back at line %d", report.line);
        lastUs = report.us;
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    unsetenv("TINY_HID_SIM_LOG");
    savedStderr = dup(STDERR_FILENO);
    capturedStderr = memfd_create("scenario-stderr", 0);
    FUZZ_CHECK(savedStderr >= 0 && capturedStderr >= 0, "cannot capture stderr");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    CheckRecordingReading(std::string(text));
    SimScenario parsed;
    std::string error;
    const bool valid = ParseSimScenario(text, parsed, error);
    const Reading expected = Read(text);

    FUZZ_CHECK(valid == expected.valid || expected.replayDecides,
               "the parser %s a text the rules %s (%s)", valid ? "accepted" : "refused",
               expected.valid ? "accept" : "refuse", error.c_str());
    if (valid) {
        FUZZ_CHECK(Same(parsed, expected.scenario), "the parsed scenario differs from the rules'");
        SimScenario again;
        const std::string written = Written(parsed);
        FUZZ_CHECK(ParseSimScenario(written, again, error) && Same(again, parsed),
                   "the scenario written back as '%s' does not parse to itself", written.c_str());
    } else {
        FUZZ_CHECK(error.rfind(expected.message, 0) == 0, "message '%s', expected it to start '%s'",
                   error.c_str(), expected.message.c_str());
        for (char c : error) {
            FUZZ_CHECK(static_cast<unsigned char>(c) >= 0x20 && c != 0x7F,
                       "the message holds a control character");
        }
    }

    // The opening sees the text up to its first NUL, as the environment holds it.
    const std::string inEnvironment(text.substr(0, text.find('\0')));
    if (inEnvironment.size() > kMostScenario) {
        return 0;
    }
    const Reading opened = Read(inEnvironment);
    std::string stderrText;
    const HidHandle handle = OpenWithScenario(inEnvironment, stderrText);
    if (opened.replayDecides && handle == HID_NO_DEVICE && !stderrText.empty()) {
        FUZZ_CHECK(stderrText.rfind(opened.message, 0) == 0 &&
                       stderrText.find('\n') == stderrText.size() - 1,
                   "a replay that did not load wrote '%s' to stderr, expected one line starting '%s'",
                   stderrText.c_str(), opened.message.c_str());
    } else if (opened.valid) {
        FUZZ_CHECK((handle != HID_NO_DEVICE) == opened.scenario.present,
                   "a valid scenario (present=%d) opened as %d", opened.scenario.present, handle);
        FUZZ_CHECK(stderrText.empty(), "a valid scenario wrote '%s' to stderr", stderrText.c_str());
    } else {
        FUZZ_CHECK(handle == HID_NO_DEVICE, "a bad scenario opened the remote");
        FUZZ_CHECK(stderrText.rfind(opened.message, 0) == 0 &&
                       stderrText.find('\n') == stderrText.size() - 1,
                   "a bad scenario wrote '%s' to stderr, expected one line starting '%s'",
                   stderrText.c_str(), opened.message.c_str());
    }
    if (handle != HID_NO_DEVICE) {
        CloseHidHandle(handle);
    }
    return 0;
}
