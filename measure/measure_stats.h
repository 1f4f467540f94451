// What a measuring run keeps: each sample, running statistics over them, the
// summary table and the verdict against the thresholds.
#ifndef TOBRISK_MEASURE_STATS_H
#define TOBRISK_MEASURE_STATS_H

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "measure_options.h"

// One sample, as it goes to the CSV file.
struct MeasureSample {
    uint64_t number = 0;      // its place in the run, from 0
    int64_t ms = 0;           // since sampling began
    bool replied = false;     // the register's reply came
    uint8_t error = 0;        // its error nibble: not 0 when the remote refused the read
    int32_t gyro = 0;         // the program's reading of the register; with a reading only
    uint8_t high = 0, low = 0; // the register's two bytes; with a reply only
    uint8_t accel[3] = {};    // X, Y, Z, the latest the remote sent
    uint8_t buttons[2] = {};  // both button bytes of the latest data report
    int64_t replyUs = 0;      // from the request to the reply; with a reply only

    // A reply without an error: the register's value. A reply with one is a refusal,
    // and no reply at all a miss; neither is a reading.
    bool IsReading() const { return replied && error == 0; }
};

// Count, mean, standard deviation (of a sample: n - 1), minimum and maximum, kept
// as values come (Welford's way, which stays exact over long runs).
struct RunningStats {
    uint64_t count = 0;
    double mean = 0.0;
    double squares = 0.0; // sum of squared differences from the mean
    double min = 0.0;
    double max = 0.0;

    void Add(double value);
    double StdDev() const;
};

struct MeasureSummary {
    uint64_t samples = 0;  // read requests sent, one a sample
    uint64_t refusals = 0; // replies with an error nibble
    uint64_t missed = 0;   // requests that got no reply
    double seconds = 0.0;  // how long sampling ran
    RunningStats gyro;     // over the readings; its count is theirs
    RunningStats accel[3];

    void Add(const MeasureSample& sample);
    double RequestRate() const; // requests per second
    double Rate() const;        // readings per second
};

// The CSV file's header line, newline included.
std::string CsvHeader();

// The longest line CsvLine writes, its ending zero included.
constexpr size_t kCsvLineBytes = 160;

// Writes one sample's line, newline included, into line (kCsvLineBytes); returns
// its length.
size_t CsvLine(const MeasureSample& sample, char* line);

// Prints the summary table.
void PrintSummary(std::FILE* out, const MeasureSummary& summary);

// Each threshold the run missed, as "name value > limit (by difference)", or why it
// could not be judged; empty when it kept them all. Values and limits are compared
// as they are printed, to two decimals, and a value at its limit keeps it.
std::vector<std::string> MissedThresholds(const MeasureSummary& summary,
                                          const MeasureThresholds& thresholds);

#endif
