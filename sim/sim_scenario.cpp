#include "sim_scenario.h"

#include <charconv>
#include <cmath>

#include "sim_replay.h"

namespace {

constexpr uint64_t kMaxMs = 1000000000;      // about eleven days
constexpr uint64_t kMaxLatencyUs = 10000000; // ten seconds
constexpr uint64_t kMaxPeriodMs = 1000;
constexpr uint64_t kMaxNoise = 10;
constexpr uint64_t kMaxBacklog = 4096;
constexpr uint64_t kMaxDelayMs = 10000;
constexpr size_t kMaxGyroValues = 256;
constexpr double kMaxGyroCounts = 32768.0;   // bias, drift per second, sine amplitude
constexpr double kMaxGyroNoise = 10000.0;    // standard deviation
constexpr size_t kMaxDecimalChars = 16;      // a decimal with a fraction, sign included

// Strips spaces and tabs from both ends.
std::string_view Trim(std::string_view text) {
    const size_t first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) {
        return {};
    }
    const size_t last = text.find_last_not_of(" \t");
    return text.substr(first, last - first + 1);
}

// Splits text at every separator; empty pieces are kept.
std::vector<std::string_view> Split(std::string_view text, char separator) {
    std::vector<std::string_view> pieces;
    size_t start = 0;
    for (;;) {
        const size_t end = text.find(separator, start);
        if (end == std::string_view::npos) {
            pieces.push_back(Trim(text.substr(start)));
            return pieces;
        }
        pieces.push_back(Trim(text.substr(start, end - start)));
        start = end + 1;
    }
}

// Whether text starts with 0x or 0X.
bool HasHexPrefix(std::string_view text) {
    return text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
}

// The whole of text as a number in base, at most max; nothing on any other text.
std::optional<uint64_t> ParseDigits(std::string_view text, int base, uint64_t max) {
    uint64_t value = 0;
    const char* end = text.data() + text.size();
    const auto [stop, failure] = std::from_chars(text.data(), end, value, base);
    if (text.empty() || failure != std::errc() || stop != end || value > max) {
        return std::nullopt;
    }
    return value;
}

// A decimal number, or a hexadecimal one written with 0x.
std::optional<uint64_t> ParseNumber(std::string_view text, uint64_t max) {
    if (HasHexPrefix(text)) {
        return ParseDigits(text.substr(2), 16, max);
    }
    return ParseDigits(text, 10, max);
}

// A hexadecimal number of at most maxDigits digits, with or without 0x.
std::optional<uint64_t> ParseHex(std::string_view text, size_t maxDigits) {
    if (HasHexPrefix(text)) {
        text = text.substr(2);
    }
    if (text.size() > maxDigits) {
        return std::nullopt;
    }
    return ParseDigits(text, 16, UINT64_MAX);
}

// 0 or 1 into flag.
bool ParseFlag(std::string_view text, bool& flag) {
    const std::optional<uint64_t> value = ParseNumber(text, 1);
    if (value) {
        flag = *value == 1;
    }
    return value.has_value();
}

// Milliseconds since opening into a moment in microseconds.
bool ParseMoment(std::string_view text, int64_t& us) {
    const std::optional<uint64_t> ms = ParseNumber(text, kMaxMs);
    if (ms) {
        us = static_cast<int64_t>(*ms) * 1000;
    }
    return ms.has_value();
}

// `present`: whether OpenHidHandle finds the remote.
bool ParsePresent(std::string_view text, SimScenario& s) {
    return ParseFlag(text, s.present);
}

// `stream`: whether data reports flow at all.
bool ParseStream(std::string_view text, SimScenario& s) {
    return ParseFlag(text, s.stream);
}

// `first`: the ID of the first data report.
bool ParseFirst(std::string_view text, SimScenario& s) {
    const std::optional<uint64_t> id = ParseNumber(text, 0xFF);
    if (id) {
        s.firstReportId = static_cast<uint8_t>(*id);
    }
    return id.has_value();
}

// Three numbers x,y,z into values, each at most its own max.
bool ParseTriple(std::string_view text, const std::array<uint64_t, 3>& max,
                 std::array<uint8_t, 3>& values) {
    const std::vector<std::string_view> parts = Split(text, ',');
    if (parts.size() != 3) {
        return false;
    }
    for (size_t axis = 0; axis < 3; ++axis) {
        const std::optional<uint64_t> value = ParseNumber(parts[axis], max[axis]);
        if (!value) {
            return false;
        }
        values[axis] = static_cast<uint8_t>(*value);
    }
    return true;
}

// `accel`: three fixed accelerations.
bool ParseAccel(std::string_view text, SimScenario& s) {
    std::array<uint8_t, 3> accel{};
    if (!ParseTriple(text, {0xFF, 0xFF, 0xFF}, accel)) {
        return false;
    }
    s.fixedAccel = accel;
    return true;
}

// `accel_low`: the accelerometer's low bits held fixed: X's two (0 to 3), Y's and
// Z's one each (0 or 1).
bool ParseAccelLow(std::string_view text, SimScenario& s) {
    std::array<uint8_t, 3> low{};
    if (!ParseTriple(text, {3, 1, 1}, low)) {
        return false;
    }
    s.fixedAccelLow = low;
    return true;
}

// `gyro`: the register's values, in turn.
bool ParseGyro(std::string_view text, SimScenario& s) {
    const std::vector<std::string_view> parts = Split(text, ',');
    if (parts.size() > kMaxGyroValues) {
        return false;
    }
    std::vector<uint16_t> values;
    for (std::string_view part : parts) {
        const std::optional<uint64_t> value = ParseHex(part, 4);
        if (!value) {
            return false;
        }
        values.push_back(static_cast<uint16_t>(*value));
    }
    s.gyroValues = std::move(values);
    return true;
}

// Whether text is one or more decimal digits and nothing else.
bool AllDigits(std::string_view text) {
    return !text.empty() && text.find_first_not_of("0123456789") == std::string_view::npos;
}

// A decimal number as people write one: an optional minus, digits, and optionally a
// point with more digits (no exponent); at most kMaxDecimalChars characters and at
// most max in size.
std::optional<double> ParseDecimal(std::string_view text, double max) {
    const std::string_view magnitude = !text.empty() && text[0] == '-' ? text.substr(1) : text;
    const size_t point = magnitude.find('.');
    const bool wellFormed =
        text.size() <= kMaxDecimalChars && AllDigits(magnitude.substr(0, point)) &&
        (point == std::string_view::npos || AllDigits(magnitude.substr(point + 1)));
    double value = 0.0;
    if (!wellFormed ||
        std::from_chars(text.data(), text.data() + text.size(), value).ec != std::errc() ||
        std::fabs(value) > max) {
        return std::nullopt;
    }
    return value;
}

// The gyro signal, begun with the first gyro_* key.
SimGyroSignal& GyroSignal(SimScenario& s) {
    if (!s.gyroSignal) {
        s.gyroSignal = SimGyroSignal{};
    }
    return *s.gyroSignal;
}

// One number of the gyro signal, from min to max, into field.
bool ParseSignalNumber(std::string_view text, SimScenario& s, double min, double max,
                       double SimGyroSignal::*field) {
    const std::optional<double> value = ParseDecimal(text, max);
    if (!value || *value < min) {
        return false;
    }
    GyroSignal(s).*field = *value;
    return true;
}

// `gyro_bias`: a constant offset, in counts.
bool ParseGyroBias(std::string_view text, SimScenario& s) {
    return ParseSignalNumber(text, s, -kMaxGyroCounts, kMaxGyroCounts, &SimGyroSignal::bias);
}

// `gyro_noise`: the standard deviation of Gaussian noise, in counts.
bool ParseGyroNoise(std::string_view text, SimScenario& s) {
    return ParseSignalNumber(text, s, 0.0, kMaxGyroNoise, &SimGyroSignal::noise);
}

// `gyro_drift`: a slow drift, in counts per second.
bool ParseGyroDrift(std::string_view text, SimScenario& s) {
    return ParseSignalNumber(text, s, -kMaxGyroCounts, kMaxGyroCounts, &SimGyroSignal::driftPerS);
}

// `gyro_sine`: amplitude in counts, period in milliseconds.
bool ParseGyroSine(std::string_view text, SimScenario& s) {
    const std::vector<std::string_view> parts = Split(text, ',');
    if (parts.size() != 2) {
        return false;
    }
    const std::optional<double> amplitude = ParseDecimal(parts[0], kMaxGyroCounts);
    const std::optional<uint64_t> periodMs = ParseNumber(parts[1], kMaxMs);
    if (!amplitude || !periodMs || *periodMs == 0) {
        return false;
    }
    GyroSignal(s).sineAmplitude = *amplitude;
    GyroSignal(s).sinePeriodUs = static_cast<int64_t>(*periodMs) * 1000;
    return true;
}

// `latency`: microseconds from a request to its reply.
bool ParseLatency(std::string_view text, SimScenario& s) {
    const std::optional<uint64_t> us = ParseNumber(text, kMaxLatencyUs);
    if (us) {
        s.latencyUs = static_cast<int64_t>(*us);
    }
    return us.has_value();
}

// `period`: milliseconds between data reports, at least 1.
bool ParsePeriod(std::string_view text, SimScenario& s) {
    const std::optional<uint64_t> ms = ParseNumber(text, kMaxPeriodMs);
    if (!ms || *ms == 0) {
        return false;
    }
    s.periodUs = static_cast<int64_t>(*ms) * 1000;
    return true;
}

// `home`: when Home alone is pressed.
bool ParseHome(std::string_view text, SimScenario& s) {
    return ParseMoment(text, s.homeFromUs);
}

// `buttons`: two hex button bytes and when they are held.
bool ParseButtons(std::string_view text, SimScenario& s) {
    const size_t at = text.find('@');
    if (at == std::string_view::npos) {
        return false;
    }
    const std::vector<std::string_view> bytes = Split(Trim(text.substr(0, at)), ',');
    SimButtonHold hold{};
    if (bytes.size() != 2 || !ParseMoment(Trim(text.substr(at + 1)), hold.fromUs)) {
        return false;
    }
    const std::optional<uint64_t> byte1 = ParseHex(bytes[0], 2);
    const std::optional<uint64_t> byte2 = ParseHex(bytes[1], 2);
    if (!byte1 || !byte2) {
        return false;
    }
    hold.byte1 = static_cast<uint8_t>(*byte1);
    hold.byte2 = static_cast<uint8_t>(*byte2);
    s.buttons = hold;
    return true;
}

// `error`: the error nibble of register replies.
bool ParseError(std::string_view text, SimScenario& s) {
    const std::optional<uint64_t> nibble = ParseNumber(text, 15);
    if (nibble) {
        s.errorNibble = static_cast<uint8_t>(*nibble);
    }
    return nibble.has_value();
}

// `mute`: when read requests stop being answered.
bool ParseMute(std::string_view text, SimScenario& s) {
    return ParseMoment(text, s.muteFromUs);
}

// `unplug`: when reads and writes start failing.
bool ParseUnplug(std::string_view text, SimScenario& s) {
    return ParseMoment(text, s.unplugFromUs);
}

// `seed`: of the noise.
bool ParseSeed(std::string_view text, SimScenario& s) {
    const std::optional<uint64_t> seed = ParseNumber(text, UINT64_MAX);
    if (seed) {
        s.seed = *seed;
    }
    return seed.has_value();
}

// `noise`: its amplitude in counts.
bool ParseNoise(std::string_view text, SimScenario& s) {
    const std::optional<uint64_t> noise = ParseNumber(text, kMaxNoise);
    if (noise) {
        s.noise = static_cast<int>(*noise);
    }
    return noise.has_value();
}

// `backlog`: reports kept for a slow reader, at least 1.
bool ParseBacklog(std::string_view text, SimScenario& s) {
    const std::optional<uint64_t> count = ParseNumber(text, kMaxBacklog);
    if (!count || *count == 0) {
        return false;
    }
    s.backlog = static_cast<size_t>(*count);
    return true;
}

// `delay`: milliseconds from a mode report to the first data report after it.
bool ParseDelay(std::string_view text, SimScenario& s) {
    const std::optional<uint64_t> ms = ParseNumber(text, kMaxDelayMs);
    if (ms) {
        s.delayUs = static_cast<int64_t>(*ms) * 1000;
    }
    return ms.has_value();
}

// `extension`: what is plugged into the remote's extension port, and when: `none`,
// `nunchuk` (from the opening on), or `nunchuk@<plugged ms>[,<pulled ms>]`.
bool ParseExtension(std::string_view text, SimScenario& s) {
    if (text == "none") {
        return true;
    }
    const size_t at = text.find('@');
    if (Trim(text.substr(0, at)) != "nunchuk") {
        return false;
    }
    s.extensionFromUs = 0;
    if (at == std::string_view::npos) {
        return true;
    }
    const std::vector<std::string_view> moments = Split(text.substr(at + 1), ',');
    if (moments.size() > 2 || !ParseMoment(moments[0], s.extensionFromUs)) {
        return false;
    }
    return moments.size() == 1 ||
           (ParseMoment(moments[1], s.extensionUntilUs) && s.extensionUntilUs > s.extensionFromUs);
}

// `driver`: whether the kernel's Wii Remote driver talks to the remote beside us.
bool ParseDriver(std::string_view text, SimScenario& s) {
    return ParseFlag(text, s.kernelDriver);
}

// `replay`: the path of a recording to play back; loaded once every key is read.
bool ParseReplay(std::string_view text, SimScenario& s) {
    s.replayPath = std::string(text);
    return !text.empty();
}

// One key of the scenario: its name, what its value looks like, and its parser.
struct ScenarioKey {
    const char* name;     // as written in the scenario
    const char* expected; // for the error message
    bool (*parse)(std::string_view, SimScenario&);
};

constexpr ScenarioKey kScenarioKeys[] = {
    {"present", "0 or 1", ParsePresent},
    {"stream", "0 or 1", ParseStream},
    {"first", "a report ID from 0 to 0xFF", ParseFirst},
    {"accel", "three bytes x,y,z", ParseAccel},
    {"accel_low", "low bits x,y,z: 0 to 3, 0 or 1, 0 or 1", ParseAccelLow},
    {"gyro", "hex words of up to 4 digits, separated by commas", ParseGyro},
    {"gyro_bias", "counts from -32768 to 32768", ParseGyroBias},
    {"gyro_noise", "a standard deviation in counts from 0 to 10000", ParseGyroNoise},
    {"gyro_drift", "counts per second from -32768 to 32768", ParseGyroDrift},
    {"gyro_sine", "amplitude in counts,period in milliseconds", ParseGyroSine},
    {"latency", "microseconds from 0 to 10000000", ParseLatency},
    {"period", "milliseconds from 1 to 1000", ParsePeriod},
    {"home", "milliseconds", ParseHome},
    {"buttons", "byte1hex,byte2hex@milliseconds", ParseButtons},
    {"error", "a nibble from 0 to 15", ParseError},
    {"mute", "milliseconds", ParseMute},
    {"unplug", "milliseconds", ParseUnplug},
    {"seed", "an unsigned 64-bit number", ParseSeed},
    {"noise", "counts from 0 to 10", ParseNoise},
    {"backlog", "a count of reports from 1 to 4096", ParseBacklog},
    {"delay", "milliseconds from 0 to 10000", ParseDelay},
    {"extension", "none, nunchuk or nunchuk@plugged ms[,pulled ms]", ParseExtension},
    {"driver", "0 or 1", ParseDriver},
    {"replay", "the path of a recording", ParseReplay},
};

// text with every control character shown as '?', so a message stays on one line.
std::string Printable(std::string_view text) {
    std::string shown(text);
    for (char& c : shown) {
        c = static_cast<unsigned char>(c) < 0x20 || c == 0x7F ? '?' : c;
    }
    return shown;
}

// The key called name, or null.
const ScenarioKey* FindKey(std::string_view name) {
    for (const ScenarioKey& key : kScenarioKeys) {
        if (name == key.name) {
            return &key;
        }
    }
    return nullptr;
}

// Parses one `key=value` pair into scenario, remembering the keys seen.
bool ParsePair(std::string_view pair, SimScenario& scenario, std::vector<std::string_view>& seen,
               std::string& error) {
    const size_t equals = pair.find('=');
    const std::string_view name = Trim(pair.substr(0, equals));
    if (equals == std::string_view::npos) {
        error = "tiny_hid_sim: missing '=' after key '" + Printable(name) + "' in TINY_HID_SIM";
        return false;
    }
    const ScenarioKey* key = FindKey(name);
    if (key == nullptr) {
        error = "tiny_hid_sim: unknown key '" + Printable(name) + "' in TINY_HID_SIM";
        return false;
    }
    for (std::string_view earlier : seen) {
        if (earlier == name) {
            error = "tiny_hid_sim: key '" + std::string(name) + "' given twice in TINY_HID_SIM";
            return false;
        }
    }
    seen.push_back(name);
    const std::string_view value = Trim(pair.substr(equals + 1));
    if (!key->parse(value, scenario)) {
        error = "tiny_hid_sim: bad value '" + Printable(value) + "' for key '" + std::string(name) +
                "' in TINY_HID_SIM (expected " + key->expected + ")";
        return false;
    }
    return true;
}

// Loads the recording that `replay` names, if any.
bool LoadReplay(SimScenario& scenario, std::string& error) {
    if (scenario.replayPath.empty()) {
        return true;
    }
    auto replay = std::make_shared<SimReplay>();
    std::string why;
    if (!LoadSimReplay(scenario.replayPath, *replay, why)) {
        error = "tiny_hid_sim: replay file '" + Printable(scenario.replayPath) + "' " + why;
        return false;
    }
    scenario.replay = std::move(replay);
    return true;
}

} // namespace

bool ParseSimScenario(std::string_view text, SimScenario& scenario, std::string& error) {
    scenario = SimScenario{};
    std::vector<std::string_view> seen;
    for (std::string_view pair : Split(text, ';')) {
        if (!pair.empty() && !ParsePair(pair, scenario, seen, error)) {
            return false;
        }
    }
    if (!scenario.gyroValues.empty() && scenario.gyroSignal) {
        error = "tiny_hid_sim: key 'gyro' and the gyro_* keys exclude each other in TINY_HID_SIM";
        return false;
    }
    return LoadReplay(scenario, error);
}
