#include "measure_run.h"

#include <chrono>
#include <string>

#include "device_state.h"
#include "gyro_sampler.h"
#include "remote_session.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr auto kStatusEvery = std::chrono::milliseconds(250);

// Milliseconds from since to now.
int64_t MsSince(Clock::time_point since) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - since).count();
}

// One sample as the window program's sampler takes it, and what the remote last
// sent; whether it saw Home alone is the read's.
MeasureSample TakeMeasureSample(Clock::time_point begun, bool& homeAlone) {
    const GyroRead read = ReadGyroOnce();
    MeasureSample sample;
    sample.ms = std::chrono::duration_cast<std::chrono::milliseconds>(read.start - begun).count();
    sample.replied = read.replied;
    sample.error = read.error;
    if (read.replied) {
        sample.gyro = GyroFromRegister(read.high, read.low);
        sample.high = read.high;
        sample.low = read.low;
        sample.replyUs = read.replyUs;
    }
    sample.accel[0] = deviceState.accelX;
    sample.accel[1] = deviceState.accelY;
    sample.accel[2] = deviceState.accelZ;
    sample.buttons[0] = deviceState.buttonByte1;
    sample.buttons[1] = deviceState.buttonByte2;
    homeAlone = read.homeAlone;
    if (!read.replied) {
        BackOffAfter(read.start);
    }
    return sample;
}

// Keeps every stride-th sample; when the kept ones reach atMost, lets every other
// one go and doubles the stride, so the kept ones stay evenly spaced.
void Keep(const MeasureSample& sample, size_t atMost, uint64_t& stride,
          std::vector<MeasureSample>& kept) {
    if (sample.number % stride != 0) {
        return;
    }
    kept.push_back(sample);
    if (kept.size() >= atMost) {
        for (size_t i = 0; 2 * i < kept.size(); ++i) {
            kept[i] = kept[2 * i];
        }
        kept.resize((kept.size() + 1) / 2);
        stride *= 2;
    }
}

// The one status line, rewritten in place.
void PrintStatus(std::FILE* out, const MeasureSummary& s, double seconds, int32_t gyroNow) {
    std::fprintf(out, "\r%6.1f s  %7.1f readings/s  gyro %6d  min %6.0f  max %6.0f  missed %llu ",
                 seconds, seconds > 0 ? static_cast<double>(s.gyro.count) / seconds : 0.0, gyroNow,
                 s.gyro.min, s.gyro.max, static_cast<unsigned long long>(s.missed));
    std::fflush(out);
}

// Samples until the time is up, Home is down, or stop is set.
MeasureEnd Sample(const MeasureSetup& setup, MeasureResult& result) {
    std::FILE* const csv = result.csv;
    const Clock::time_point begun = Clock::now();
    const auto limit = std::chrono::duration<double>(setup.seconds);
    Clock::time_point lastStatus = begun;
    int32_t gyroNow = 0;
    uint64_t stride = 1;
    MeasureEnd end = MeasureEnd::Time;
    while (Clock::now() - begun < limit) {
        if (setup.stop != nullptr && *setup.stop) {
            end = MeasureEnd::Stopped;
            break;
        }
        bool homeAlone = false;
        MeasureSample sample = TakeMeasureSample(begun, homeAlone);
        sample.number = result.summary.samples;
        if (setup.keepSamples) {
            Keep(sample, setup.keepAtMost, stride, result.samples);
        }
        result.summary.Add(sample);
        gyroNow = sample.IsReading() ? sample.gyro : gyroNow;
        if (csv != nullptr) {
            char line[kCsvLineBytes];
            std::fwrite(line, 1, CsvLine(sample, line), csv);
        }
        if (setup.status != nullptr && Clock::now() - lastStatus >= kStatusEvery) {
            lastStatus = Clock::now();
            PrintStatus(setup.status, result.summary, MsSince(begun) / 1000.0, gyroNow);
        }
        if (homeAlone) {
            end = MeasureEnd::Home;
            break;
        }
    }
    result.summary.seconds = std::chrono::duration<double>(Clock::now() - begun).count();
    if (setup.status != nullptr) {
        PrintStatus(setup.status, result.summary, result.summary.seconds, gyroNow);
        std::fputc('\n', setup.status);
    }
    return end;
}

// The measuring run's start as the remote session's start gave it.
MeasureStart StartOf(SessionStart start) {
    switch (start) {
    case SessionStart::Streaming: return MeasureStart::Sampling;
    case SessionStart::NotFound: return MeasureStart::NotFound;
    case SessionStart::CannotOpen: return MeasureStart::CannotOpen;
    case SessionStart::Declined: return MeasureStart::NoCsv;
    }
    return MeasureStart::NotFound;
}

} // namespace

MeasureResult RunMeasurement(const MeasureSetup& setup) {
    MeasureResult result;
    // The CSV file is opened once the remote streams, before its LEDs are lit.
    std::function<bool()> openCsv;
    if (setup.openCsv) {
        openCsv = [&setup, &result] {
            result.csv = setup.openCsv();
            return result.csv != nullptr;
        };
    }
    result.start = StartOf(OpenSession(nullptr, openCsv));
    if (result.start != MeasureStart::Sampling) {
        return result;
    }
    TakeOverReports();
    result.end = Sample(setup, result);
    EndSession();
    return result;
}
