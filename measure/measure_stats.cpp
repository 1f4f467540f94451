#include "measure_stats.h"

#include <algorithm>
#include <cmath>

void RunningStats::Add(double value) {
    ++count;
    const double before = mean;
    mean += (value - before) / static_cast<double>(count);
    squares += (value - before) * (value - mean);
    min = count == 1 ? value : std::min(min, value);
    max = count == 1 ? value : std::max(max, value);
}

double RunningStats::StdDev() const {
    return count < 2 ? 0.0 : std::sqrt(squares / static_cast<double>(count - 1));
}

void MeasureSummary::Add(const MeasureSample& sample) {
    ++samples;
    if (sample.IsReading()) {
        gyro.Add(sample.gyro);
    } else if (sample.replied) {
        ++refusals;
    } else {
        ++missed;
    }
    for (int axis = 0; axis < 3; ++axis) {
        accel[axis].Add(sample.accel[axis]);
    }
}

double MeasureSummary::RequestRate() const {
    return seconds > 0.0 ? static_cast<double>(samples) / seconds : 0.0;
}

double MeasureSummary::Rate() const {
    return seconds > 0.0 ? static_cast<double>(gyro.count) / seconds : 0.0;
}

std::string CsvHeader() {
    return "ms,gyro,register,accel_x,accel_y,accel_z,buttons,reply_us,reply\n";
}

namespace {

// Appends value in decimal; returns the end. By hand: the CSV file must not slow
// sampling down, and a formatted print costs more than a sample of a fast remote.
char* PutDecimal(char* out, int64_t value) {
    uint64_t magnitude = static_cast<uint64_t>(value);
    if (value < 0) {
        *out++ = '-';
        magnitude = 0 - magnitude;
    }
    char digits[20];
    int count = 0;
    do {
        digits[count++] = static_cast<char>('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0);
    while (count > 0) {
        *out++ = digits[--count];
    }
    return out;
}

// Appends text; returns the end.
char* PutText(char* out, const char* text) {
    while (*text != '\0') {
        *out++ = *text++;
    }
    return out;
}

// Appends a byte as two upper-case hex digits; returns the end.
char* PutHex(char* out, uint8_t value) {
    constexpr char kHex[] = "0123456789ABCDEF";
    *out++ = kHex[value >> 4];
    *out++ = kHex[value & 0x0F];
    return out;
}

} // namespace

// Hex fields are written 0x1E05, which spreadsheet programs keep as text rather
// than read as a number.
size_t CsvLine(const MeasureSample& s, char* line) {
    char* out = PutDecimal(line, s.ms);
    *out++ = ',';
    if (s.IsReading()) {
        out = PutDecimal(out, s.gyro);
    }
    *out++ = ',';
    if (s.replied) {
        out = PutHex(PutHex(PutText(out, "0x"), s.high), s.low);
    }
    *out++ = ',';
    for (uint8_t a : s.accel) {
        out = PutDecimal(out, a);
        *out++ = ',';
    }
    out = PutHex(PutHex(PutText(out, "0x"), s.buttons[0]), s.buttons[1]);
    *out++ = ',';
    if (s.replied) {
        out = PutDecimal(out, s.replyUs);
    }
    out = PutText(out, !s.replied ? ",missed\n" : s.error != 0 ? ",refused\n" : ",reading\n");
    return static_cast<size_t>(out - line);
}

namespace {

// One row of the table: mean, standard deviation, minimum and maximum.
void PrintRow(std::FILE* out, const char* name, const RunningStats& stats) {
    if (stats.count == 0) {
        std::fprintf(out, "%-10s %10s %10s %8s %8s\n", name, "-", "-", "-", "-");
        return;
    }
    std::fprintf(out, "%-10s %10.2f %10.2f %8.0f %8.0f\n", name, stats.mean, stats.StdDev(),
                 stats.min, stats.max);
}

// A value in hundredths, as the verdict compares and prints it.
int64_t Hundredths(double value) {
    return std::llround(std::clamp(value, -kMostLimit, kMostLimit) * 100.0);
}

// Hundredths as the verdict writes them: up to two decimals, no trailing zeros.
std::string Shown(int64_t hundredths) {
    const uint64_t magnitude = static_cast<uint64_t>(hundredths < 0 ? -hundredths : hundredths);
    std::string shown = (hundredths < 0 ? "-" : "") + std::to_string(magnitude / 100);
    const int cents = static_cast<int>(magnitude % 100);
    if (cents != 0) {
        shown += (cents % 10 == 0 ? "." + std::to_string(cents / 10)
                                  : (cents < 10 ? ".0" : ".") + std::to_string(cents));
    }
    return shown;
}

// "name value > limit (by difference)" when value is beyond limit on the side given
// (an upper limit, or a lower one), both taken to two decimals.
void CheckLimit(std::vector<std::string>& missed, const char* name, double value, double limit,
                bool upper) {
    const int64_t shownValue = Hundredths(value);
    const int64_t shownLimit = Hundredths(limit);
    if (upper ? shownValue > shownLimit : shownValue < shownLimit) {
        missed.push_back(std::string(name) + " " + Shown(shownValue) + (upper ? " > " : " < ") +
                         Shown(shownLimit) + " (by " +
                         Shown(upper ? shownValue - shownLimit : shownLimit - shownValue) + ")");
    }
}

} // namespace

void PrintSummary(std::FILE* out, const MeasureSummary& s) {
    std::fprintf(out, "requests         %llu\n", static_cast<unsigned long long>(s.samples));
    std::fprintf(out, "readings         %llu\n", static_cast<unsigned long long>(s.gyro.count));
    std::fprintf(out, "refusals         %llu\n", static_cast<unsigned long long>(s.refusals));
    std::fprintf(out, "missed replies   %llu\n", static_cast<unsigned long long>(s.missed));
    std::fprintf(out, "requests/s       %.1f\n", s.RequestRate());
    std::fprintf(out, "readings/s       %.1f\n", s.Rate());
    std::fprintf(out, "%-10s %10s %10s %8s %8s\n", "", "mean", "std dev", "min", "max");
    PrintRow(out, "gyro", s.gyro);
    PrintRow(out, "accel x", s.accel[0]);
    PrintRow(out, "accel y", s.accel[1]);
    PrintRow(out, "accel z", s.accel[2]);
}

std::vector<std::string> MissedThresholds(const MeasureSummary& s, const MeasureThresholds& t) {
    std::vector<std::string> missed;
    if (t.maxBias && s.gyro.count == 0) {
        missed.push_back("bias: no reading came");
    } else if (t.maxBias) {
        CheckLimit(missed, "bias", std::fabs(s.gyro.mean), *t.maxBias, true);
    }
    if (t.maxNoise && s.gyro.count < 2) {
        missed.push_back("noise: needs two readings, got " + std::to_string(s.gyro.count));
    } else if (t.maxNoise) {
        CheckLimit(missed, "noise", s.gyro.StdDev(), *t.maxNoise, true);
    }
    if (t.minRate) {
        CheckLimit(missed, "rate", s.Rate(), *t.minRate, false);
    }
    if (t.maxMissed) {
        CheckLimit(missed, "missed", static_cast<double>(s.missed), *t.maxMissed, true);
    }
    return missed;
}
