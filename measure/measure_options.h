// The command line of tobrisk-measure: how long to sample, where to write the
// samples and the plot, and the thresholds that turn a run into a test.
#ifndef TOBRISK_MEASURE_OPTIONS_H
#define TOBRISK_MEASURE_OPTIONS_H

#include <optional>
#include <string>

// The largest limit taken: far beyond anything a remote can show, and small enough
// that the verdict can compare and print every value to two decimals exactly.
constexpr double kMostLimit = 1e12;

// Limits a sensor must keep; each is checked only when given, and a value at its
// limit keeps it.
struct MeasureThresholds {
    std::optional<double> maxBias;   // the gyro's mean, in counts either side of 0
    std::optional<double> maxNoise;  // the gyro's standard deviation, in counts
    std::optional<double> minRate;   // readings per second
    std::optional<double> maxMissed; // read requests that got no reply
};

// Whether any limit was given, which makes the run a test with a verdict.
inline bool HasThresholds(const MeasureThresholds& t) {
    return t.maxBias || t.maxNoise || t.minRate || t.maxMissed;
}

struct MeasureOptions {
    double seconds = 10.0;  // how long to sample
    std::string csvPath;    // every sample; empty: none
    std::string plotPath;   // a PNG of the run; empty: none
    MeasureThresholds thresholds;
    bool help = false;      // --help: print the usage and end
    bool version = false;   // --version: print the version and end
};

// The usage line, with the options, for --help and after a wrong command line.
std::string MeasureUsage();

// Reads the arguments after the program's name into options. Returns false with
// error set to one line naming the argument that is wrong.
bool ParseMeasureOptions(int argc, const char* const* argv, MeasureOptions& options,
                         std::string& error);

#endif
