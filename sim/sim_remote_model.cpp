#include "sim_remote_model.h"

#include <algorithm>
#include <cmath>

namespace {

// How the remote is turned by default: a slow roll about its long axis and a
// slower, smaller pitch, as a hand tilting it to and fro.
constexpr double kRollAmplitudeDeg = 60.0;
constexpr double kRollPeriodS = 4.0;
constexpr double kPitchAmplitudeDeg = 25.0;
constexpr double kPitchPeriodS = 7.0;
constexpr double kCountsPerG = 26.0;         // accelerometer counts for 1 g
constexpr uint8_t kAccelZero = 128;          // reading at 0 g
constexpr double kGyroUnitsPerDegPerS = 2.0; // keeps the reading within about +-190
constexpr double kPi = 3.14159265358979323846;
constexpr uint8_t kBatteryLevel = 0xC8; // a fresh pair of batteries

// Seconds since opening.
double Seconds(int64_t us) {
    return static_cast<double>(us) / 1e6;
}

// Degrees to radians.
double Radians(double degrees) {
    return degrees * kPi / 180.0;
}

// Roll angle in degrees (about the long axis, Y).
double RollDeg(double t) {
    return kRollAmplitudeDeg * std::sin(2.0 * kPi * t / kRollPeriodS);
}

// Roll rate in degrees per second, the derivative of RollDeg.
double RollRateDegPerS(double t) {
    return kRollAmplitudeDeg * (2.0 * kPi / kRollPeriodS) * std::cos(2.0 * kPi * t / kRollPeriodS);
}

// Pitch angle in degrees (about the crosswise axis, X).
double PitchDeg(double t) {
    return kPitchAmplitudeDeg * std::sin(2.0 * kPi * t / kPitchPeriodS);
}

// A well-mixed 64-bit hash (splitmix64's finaliser).
uint64_t Mix(uint64_t value) {
    value += 0x9E3779B97F4A7C15ull;
    value = (value ^ (value >> 30)) * 0xBF58476D1CE4E5B9ull;
    value = (value ^ (value >> 27)) * 0x94D049BB133111EBull;
    return value ^ (value >> 31);
}

// Deterministic noise in [-amplitude, amplitude] for one channel of one sample.
int Noise(const SimScenario& scenario, uint64_t channel, uint64_t index) {
    if (scenario.noise <= 0) {
        return 0;
    }
    const uint64_t span = 2 * static_cast<uint64_t>(scenario.noise) + 1;
    const uint64_t hash = Mix(scenario.seed ^ Mix(channel ^ Mix(index)));
    return static_cast<int>(hash % span) - scenario.noise;
}

// An acceleration in g as a ten-bit reading, with noise in (eight-bit) counts. Its
// eight high bits are the eight-bit reading rounded to the nearest count.
uint16_t AccelCounts(double g, int noise) {
    const double counts = kAccelZero + g * kCountsPerG + noise;
    const double tenBits = std::floor(4.0 * counts + 2.0);
    return static_cast<uint16_t>(std::clamp(tenBits, 0.0, 1023.0));
}

// Fixed high bits, the low bits from the scenario or else from the noise: a
// remote lying still flickers in its lowest bits.
SimAcceleration FixedAcceleration(const SimScenario& scenario, uint64_t reportIndex) {
    const std::array<uint8_t, 3>& high = *scenario.fixedAccel;
    const auto low = [&](uint64_t axis) {
        return scenario.noise > 0 ? Mix(scenario.seed ^ Mix((5 + axis) ^ Mix(reportIndex))) : 0;
    };
    return {static_cast<uint16_t>(high[0] << 2 | (low(0) & 3)),
            static_cast<uint16_t>(high[1] << 1 | (low(1) & 1)),
            static_cast<uint16_t>(high[2] << 1 | (low(2) & 1))};
}

// A standard normal number for one request, from the seed (Box and Muller's way).
double Gaussian(uint64_t seed, uint64_t index) {
    constexpr double kUnit = 1.0 / 9007199254740992.0; // 2^-53
    const uint64_t first = Mix(seed ^ Mix(4 ^ Mix(index)));
    const uint64_t second = Mix(first);
    const double u1 = static_cast<double>((first >> 11) + 1) * kUnit; // (0, 1]
    const double u2 = static_cast<double>(second >> 11) * kUnit;      // [0, 1)
    return std::sqrt(-2.0 * std::log(u1)) * std::cos(2.0 * kPi * u2);
}

// The gyro signal at t seconds for request index, as the register the program
// reads back as that value.
uint16_t SignalRegister(const SimGyroSignal& signal, uint64_t seed, double t, uint64_t index) {
    double value = signal.bias + signal.driftPerS * t + signal.noise * Gaussian(seed, index);
    if (signal.sinePeriodUs > 0) {
        value += signal.sineAmplitude * std::sin(2.0 * kPi * t * 1e6 /
                                                 static_cast<double>(signal.sinePeriodUs));
    }
    const long reading = std::lround(std::clamp(value, -32766.0, 32768.0));
    return static_cast<uint16_t>(reading < 0 ? 0xFFFF + reading : reading);
}

} // namespace

SimButtons SimButtonsAt(const SimScenario& scenario, int64_t usSinceOpen) {
    SimButtons buttons{0x00, 0x00};
    const bool held = scenario.buttons && usSinceOpen >= scenario.buttons->fromUs;
    const bool home = usSinceOpen >= scenario.homeFromUs;
    if (held) {
        buttons = {scenario.buttons->byte1, scenario.buttons->byte2};
    }
    if (home && (!held || scenario.homeFromUs >= scenario.buttons->fromUs)) {
        buttons.byte2 = kHomeButton;
    }
    return buttons;
}

namespace {

// The acceleration with the scenario's fixed low bits, if it holds them.
SimAcceleration HoldLowBits(const SimScenario& scenario, SimAcceleration accel) {
    if (!scenario.fixedAccelLow) {
        return accel;
    }
    const std::array<uint8_t, 3>& low = *scenario.fixedAccelLow;
    return {static_cast<uint16_t>((accel.x & ~3u) | low[0]),
            static_cast<uint16_t>((accel.y & ~1u) | low[1]),
            static_cast<uint16_t>((accel.z & ~1u) | low[2])};
}

// Gravity seen from the remote's orientation at usSinceOpen, plus noise.
SimAcceleration MovingAcceleration(const SimScenario& scenario, int64_t usSinceOpen,
                                   uint64_t reportIndex) {
    // Gravity in the remote's own axes (X across, Y along, Z up), as the
    // accelerometer reads it: +1 g on Z when lying flat.
    const double t = Seconds(usSinceOpen);
    const double roll = Radians(RollDeg(t));
    const double pitch = Radians(PitchDeg(t));
    const double gx = std::sin(roll) * std::cos(pitch);
    const double gy = std::sin(pitch);
    const double gz = std::cos(roll) * std::cos(pitch);
    return {AccelCounts(gx, Noise(scenario, 0, reportIndex)),
            static_cast<uint16_t>(AccelCounts(gy, Noise(scenario, 1, reportIndex)) >> 1),
            static_cast<uint16_t>(AccelCounts(gz, Noise(scenario, 2, reportIndex)) >> 1)};
}

// Whether a data report of this ID carries the accelerometer's low bits in its
// button bytes: the modes of buttons and accelerometer, with or without more.
bool CarriesLowBits(uint8_t reportId) {
    return reportId == 0x31 || reportId == 0x33 || reportId == 0x35 || reportId == 0x37;
}

} // namespace

SimAcceleration SimAccelerationsAt(const SimScenario& scenario, int64_t usSinceOpen,
                                   uint64_t reportIndex) {
    return HoldLowBits(scenario, scenario.fixedAccel
                                     ? FixedAcceleration(scenario, reportIndex)
                                     : MovingAcceleration(scenario, usSinceOpen, reportIndex));
}

bool SimExtensionAt(const SimScenario& scenario, int64_t usSinceOpen) {
    return usSinceOpen >= scenario.extensionFromUs && usSinceOpen < scenario.extensionUntilUs;
}

uint16_t SimGyroRegisterAt(const SimScenario& scenario, int64_t usSinceOpen,
                           uint64_t requestIndex) {
    if (!scenario.gyroValues.empty()) {
        return scenario.gyroValues[requestIndex % scenario.gyroValues.size()];
    }
    if (scenario.gyroSignal) {
        return SignalRegister(*scenario.gyroSignal, scenario.seed, Seconds(usSinceOpen),
                              requestIndex);
    }
    const double rate = RollRateDegPerS(Seconds(usSinceOpen));
    const long reading =
        std::lround(rate * kGyroUnitsPerDegPerS) + Noise(scenario, 3, requestIndex);
    return static_cast<uint16_t>(reading < 0 ? 0x10000 + reading : reading);
}

SimReport SimBuildDataReport(uint8_t reportId, SimButtons buttons, const SimAcceleration& accel,
                             int64_t dueUs) {
    const size_t length = IsDataMode(reportId) ? InputReportLength(reportId) : kSimMaxReportLength;
    SimReport report{dueUs, static_cast<uint8_t>(length), {}};
    report.bytes[0] = reportId;
    report.bytes[1] = buttons.byte1;
    report.bytes[2] = buttons.byte2;
    if (HasAccelerationBytes(reportId)) {
        report.bytes[kAccelerationByte] = static_cast<uint8_t>(accel.x >> 2);
        report.bytes[kAccelerationByte + 1] = static_cast<uint8_t>(accel.y >> 1);
        report.bytes[kAccelerationByte + 2] = static_cast<uint8_t>(accel.z >> 1);
    }
    if (CarriesLowBits(reportId)) {
        report.bytes[1] |= static_cast<uint8_t>((accel.x & 0x03) << 5);
        report.bytes[2] |= static_cast<uint8_t>((accel.y & 0x01) << 5 | (accel.z & 0x01) << 6);
    }
    return report;
}

SimReport SimBuildReadReply(const SimMemoryAccess& request, SimButtons buttons,
                            const SimReadResult& result, int64_t dueUs) {
    SimReport reply{dueUs, static_cast<uint8_t>(InputReportLength(kReportReadReply)), {}};
    const int size = std::clamp<int>(request.size, 1, kSimLongestRead);
    reply.bytes[0] = kReportReadReply;
    reply.bytes[1] = buttons.byte1;
    reply.bytes[2] = buttons.byte2;
    reply.bytes[kReplyErrorByte] = static_cast<uint8_t>(((size - 1) << 4) | (result.error & kReplyErrorBits));
    reply.bytes[kReplyAddressByte] = static_cast<uint8_t>(request.address >> 8);
    reply.bytes[kReplyAddressByte + 1] = static_cast<uint8_t>(request.address);
    if (result.error == 0 || SimIsGyroRegisterRead(request)) {
        std::copy(result.data.begin(), result.data.begin() + size,
                  reply.bytes.begin() + kReplyDataByte);
    }
    return reply;
}

SimReport SimBuildStatusReport(SimButtons buttons, uint8_t flags, int64_t dueUs) {
    SimReport status{dueUs, static_cast<uint8_t>(InputReportLength(kReportStatus)), {}};
    status.bytes[0] = kReportStatus;
    status.bytes[1] = buttons.byte1;
    status.bytes[2] = buttons.byte2;
    status.bytes[3] = flags;
    status.bytes[6] = kBatteryLevel;
    return status;
}

SimReport SimBuildAcknowledgement(SimButtons buttons, uint8_t reportId, uint8_t error,
                                  int64_t dueUs) {
    SimReport acknowledgement{
        dueUs, static_cast<uint8_t>(InputReportLength(kReportAcknowledge)), {}};
    acknowledgement.bytes[0] = kReportAcknowledge;
    acknowledgement.bytes[1] = buttons.byte1;
    acknowledgement.bytes[2] = buttons.byte2;
    acknowledgement.bytes[kAcknowledgedReportByte] = reportId;
    acknowledgement.bytes[kAcknowledgeErrorByte] = error;
    return acknowledgement;
}
