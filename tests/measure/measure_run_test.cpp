// A measuring run in process against the simulated remote, so that the sanitizers
// watch its threads (the probe's and the sampling one): how it starts, how each
// ending ends it, and what the summary and the remote's log hold.
#include <gtest/gtest.h>

#include <thread>

#include "measure_run.h"
#include "measure_ticks.h"
#include "sim_run.h"

namespace {

struct Case {
    const char* scenario;
    double seconds;
    int stopAfterMs; // sets the stop flag then; 0: never
    MeasureStart start;
    MeasureEnd end;
    std::vector<std::string> lastEvents;
};

TEST(MeasureRun, StartsAndEndsAsTheRemoteAndTheRunSay) {
    const Case cases[] = {
        {"gyro_bias=7;latency=500", 0.5, 0, MeasureStart::Sampling, MeasureEnd::Time, kRelease},
        {"home=900", 30, 0, MeasureStart::Sampling, MeasureEnd::Home, kRelease},
        {"", 30, 900, MeasureStart::Sampling, MeasureEnd::Stopped, kRelease},
        {"stream=0", 1, 0, MeasureStart::CannotOpen, MeasureEnd::Time, {kModeAccel, "close"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.scenario);
        StartFreshRun(c.scenario);
        std::atomic<bool> stop{false};
        MeasureSetup setup;
        setup.seconds = c.seconds;
        setup.stop = &stop;
        setup.keepSamples = true;
        std::thread stopper;
        if (c.stopAfterMs > 0) {
            stopper = std::thread([&stop, &c] {
                std::this_thread::sleep_for(std::chrono::milliseconds(c.stopAfterMs));
                stop = true;
            });
        }
        const auto began = std::chrono::steady_clock::now();
        const MeasureResult result = RunMeasurement(setup);
        const double took = std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
        if (stopper.joinable()) {
            stopper.join();
        }
        EXPECT_EQ(result.start, c.start);
        EXPECT_EQ(SimLogLastEvents(c.lastEvents.size()), c.lastEvents);
        EXPECT_TRUE(SimMisuse().empty());
        if (c.start != MeasureStart::Sampling) {
            EXPECT_EQ(result.summary.samples, 0u);
            continue;
        }
        EXPECT_EQ(result.end, c.end);
        EXPECT_GT(result.summary.samples, 0u);
        EXPECT_EQ(result.samples.size(), result.summary.samples);
        EXPECT_LT(took, c.end == MeasureEnd::Time ? c.seconds + 5 : 10.0);
        if (c.end == MeasureEnd::Home) {
            EXPECT_EQ(result.samples.back().buttons[1] & 0x9F, 0x80) << "Home alone";
        }
    }
}

// A gyro signal without noise reads back exactly, and each reply's time is the
// remote's latency or more.
TEST(MeasureRun, TheSummaryHoldsTheSignalAndTheReplyTimes) {
    StartFreshRun("gyro_bias=-37;latency=3000");
    MeasureSetup setup;
    setup.seconds = 0.4;
    setup.keepSamples = true;
    const MeasureResult result = RunMeasurement(setup);
    ASSERT_EQ(result.start, MeasureStart::Sampling);
    EXPECT_EQ(result.summary.missed, 0u);
    EXPECT_EQ(result.summary.gyro.mean, -37.0);
    EXPECT_EQ(result.summary.gyro.StdDev(), 0.0);
    for (const MeasureSample& s : result.samples) {
        ASSERT_TRUE(s.replied);
        EXPECT_EQ(s.high * 256 + s.low, 0xFFFF - 37);
        EXPECT_GE(s.replyUs, 3000);
    }
}

// Past the most kept, the kept samples thin out evenly; the summary counts all.
TEST(MeasureRun, ManySamplesAreThinnedEvenlyForThePlot) {
    StartFreshRun("gyro_bias=1;latency=0");
    MeasureSetup setup;
    setup.seconds = 0.3;
    setup.keepSamples = true;
    setup.keepAtMost = 64;
    const MeasureResult result = RunMeasurement(setup);
    ASSERT_EQ(result.start, MeasureStart::Sampling);
    ASSERT_GT(result.summary.samples, 256u);
    EXPECT_LT(result.samples.size(), 64u);
    EXPECT_GE(result.samples.size(), 16u);
    // Evenly spaced: the first sample, then every one a whole stride after the one
    // before, the stride a power of two.
    const uint64_t stride = result.samples[1].number - result.samples[0].number;
    EXPECT_EQ(result.samples[0].number, 0u);
    EXPECT_EQ(stride & (stride - 1), 0u) << stride;
    for (size_t i = 1; i < result.samples.size(); ++i) {
        ASSERT_EQ(result.samples[i].number - result.samples[i - 1].number, stride) << i;
    }
    EXPECT_GT(result.samples.back().number + 2 * stride, result.summary.samples);
}

} // namespace

// The verdict compares values and limits as it prints them, to two decimals: a
// value at its limit keeps it, and no line says a value is beyond a limit it equals.
TEST(MeasureVerdict, ComparesAndPrintsAtOnePrecision) {
    struct Case {
        double noise;
        double limit;
        std::vector<std::string> missed;
    };
    const Case cases[] = {
        {2.0, 2.0, {}},
        {2.004, 2.0, {}},
        {2.006, 2.0, {"noise 2.01 > 2 (by 0.01)"}},
        {3.1, 2.05, {"noise 3.1 > 2.05 (by 1.05)"}},
        {0.5, 1e12, {}},
    };
    for (const Case& c : cases) {
        MeasureSummary summary;
        summary.gyro.count = 10;
        summary.gyro.squares = c.noise * c.noise * 9; // a deviation of c.noise over 10 readings
        MeasureThresholds thresholds;
        thresholds.maxNoise = c.limit;
        EXPECT_EQ(MissedThresholds(summary, thresholds), c.missed) << c.noise << " against " << c.limit;
    }
}

// Axis labels at round values, 1, 2 or 5 times a power of ten, never more than asked.
TEST(MeasurePlot, TicksStandAtRoundValues) {
    struct Case {
        double lo, hi;
        std::vector<std::string> labels;
    };
    const Case cases[] = {
        {-4.5, 24.9, {"0", "5", "10", "15", "20"}},
        {0, 1, {"0.0", "0.2", "0.4", "0.6", "0.8", "1.0"}},
        {98.3, 102.4, {"99", "100", "101", "102"}},
        {-0.35, 0.05, {"-0.3", "-0.2", "-0.1", "0.0"}},
        {0, 8.1, {"0", "2", "4", "6", "8"}},
    };
    for (const Case& c : cases) {
        const Ticks ticks = RoundTicks(c.lo, c.hi, 6);
        std::vector<std::string> labels;
        for (double value : ticks.values) {
            labels.push_back(TickLabel(value, ticks.step));
        }
        EXPECT_EQ(labels, c.labels) << c.lo << " to " << c.hi;
    }
}
