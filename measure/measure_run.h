// A measuring run: the remote opened and proved as the program does it, then
// samples taken as the program's sampler takes them, until the time is up, Home
// is pressed or the run is told to stop; then the remote is released.
#ifndef TOBRISK_MEASURE_RUN_H
#define TOBRISK_MEASURE_RUN_H

#include <atomic>
#include <cstdio>
#include <functional>
#include <vector>

#include "measure_stats.h"

enum class MeasureStart { Sampling, NotFound, CannotOpen, NoCsv };
enum class MeasureEnd { Time, Home, Stopped };

// What a run is given: how long, where each sample's line goes (null: nowhere),
// where the status line goes (null: none), and a flag that ends it early (a signal).
// The most samples a run keeps for its plot: a simulated remote that answers at
// once gives hundreds of thousands a second, a real one a few hundred.
constexpr size_t kMostKeptSamples = 100000;

struct MeasureSetup {
    double seconds = 10.0;
    bool keepSamples = false;            // for a plot; past keepAtMost every other one goes
    size_t keepAtMost = kMostKeptSamples; // at least 2
    // Opens the CSV file, given when one is wanted: called once the remote streams
    // and before the first sample, so that nothing is truncated before the run is
    // sure to go ahead. When it gives null, the remote is released and the run ends
    // as NoCsv.
    std::function<std::FILE*()> openCsv;
    std::FILE* status = nullptr;
    const std::atomic<bool>* stop = nullptr;
};

struct MeasureResult {
    MeasureStart start = MeasureStart::NotFound;
    std::FILE* csv = nullptr; // from openCsv, for the caller to close
    MeasureEnd end = MeasureEnd::Time;
    MeasureSummary summary;
    std::vector<MeasureSample> samples; // with keepSamples: all, or evenly spaced ones
};

// Opens the remote, proves that it streams, lights its LEDs and samples; on every
// ending after the opening, leaves the remote in button-only reporting with its
// first LED lit and closes it. Needs the instance lock held; opens the CSV file
// through setup.openCsv only once the remote streams.
MeasureResult RunMeasurement(const MeasureSetup& setup);

#endif
