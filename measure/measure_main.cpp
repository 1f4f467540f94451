// tobrisk-measure: samples the remote as Tobrisk does, without a window, and reports
// how the gyro sensor behaves: a summary, every sample in a CSV file, and with
// thresholds a verdict. Exit codes: 0 done (or passed), 1 the remote or a file
// failed us, 2 a wrong command line, 3 a threshold missed.
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include "device_state.h"
#include "measure_console.h"
#include "measure_options.h"
#include "measure_plot.h"
#include "measure_run.h"
#include "remote_session.h"
#include "win32.h"

namespace {

enum ExitCode { kExitDone = 0, kExitFailure = 1, kExitUsage = 2, kExitThresholdMissed = 3 };

std::atomic<bool> stopRequested{false};

int Fail(const std::string& message, int code) {
    std::fprintf(stderr, "tobrisk-measure: %s\n", message.c_str());
    return code;
}

// Opens the CSV file for writing and writes its header; null with a message when it
// cannot be written.
std::FILE* OpenCsv(const std::string& path, std::string& error) {
    std::FILE* file = std::fopen(path.c_str(), "w");
    if (file == nullptr) {
        error = "cannot write '" + path + "': " + std::strerror(errno);
        return nullptr;
    }
    std::fputs(CsvHeader().c_str(), file);
    return file;
}

// Whether a file can be written there, found before the lock is taken and the
// remote touched, without changing what is there: an existing file is opened to
// append and closed, a new one is made and taken away again. Another run may be
// writing it; only the lock, taken next, says whether this run may.
bool Writable(const std::string& path, std::string& error) {
    std::error_code ignored;
    const bool existed = std::filesystem::exists(path, ignored);
    std::FILE* file = std::fopen(path.c_str(), "ab");
    if (file == nullptr) {
        error = "cannot write '" + path + "': " + std::strerror(errno);
        return false;
    }
    std::fclose(file);
    if (!existed) {
        std::remove(path.c_str());
    }
    return true;
}

// Closes the CSV file; false with a message when what was written did not all land.
bool CloseCsv(std::FILE* file, const std::string& path, std::string& error) {
    const bool written = std::ferror(file) == 0;
    const bool closed = std::fclose(file) == 0;
    if (!written || !closed) {
        error = "'" + path + "' was not written whole";
    }
    return written && closed;
}

// The verdict line with thresholds: PASS, or FAIL with each one missed.
int PrintVerdict(const MeasureSummary& summary, const MeasureThresholds& thresholds) {
    const std::vector<std::string> missed = MissedThresholds(summary, thresholds);
    if (missed.empty()) {
        std::printf("PASS\n");
        return kExitDone;
    }
    std::string line = "FAIL:";
    for (size_t i = 0; i < missed.size(); ++i) {
        line += (i == 0 ? " " : "; ") + missed[i];
    }
    std::printf("%s\n", line.c_str());
    return kExitThresholdMissed;
}

// The whole program but the last word to the console.
int Measure(int argc, char** argv) {
    MeasureOptions options;
    std::string error;
    if (!ParseMeasureOptions(argc, argv, options, error)) {
        std::fprintf(stderr, "tobrisk-measure: %s\n%s", error.c_str(), MeasureUsage().c_str());
        return kExitUsage;
    }
    if (options.help || options.version) {
        std::printf("%s", options.help ? MeasureUsage().c_str() : "tobrisk-measure " TOBRISK_VERSION "\n");
        return kExitDone;
    }
    for (const std::string* path : {&options.csvPath, &options.plotPath}) {
        if (!path->empty() && !Writable(*path, error)) {
            return Fail(error, kExitFailure);
        }
    }
    // The lock stays held until the process ends, as the window program's does.
    if (CreateMutexA(nullptr, TRUE, kInstanceLockName) == nullptr ||
        GetLastError() == ERROR_ALREADY_EXISTS) {
        return Fail("another Tobrisk program is using the remote", kExitFailure);
    }
    CatchStopRequests(stopRequested);
    MeasureSetup setup;
    setup.seconds = options.seconds;
    if (!options.csvPath.empty()) {
        setup.openCsv = [&options, &error] { return OpenCsv(options.csvPath, error); };
    }
    setup.keepSamples = !options.plotPath.empty();
    setup.status = OnTerminal() ? stdout : nullptr;
    setup.stop = &stopRequested;
    const MeasureResult result = RunMeasurement(setup);
    if (result.start != MeasureStart::Sampling) {
        return Fail(result.start == MeasureStart::NotFound     ? kRemoteNotFoundText
                    : result.start == MeasureStart::CannotOpen ? kRemoteCannotOpenText
                                                               : error,
                    kExitFailure);
    }
    if (result.csv != nullptr && !CloseCsv(result.csv, options.csvPath, error)) {
        return Fail(error, kExitFailure);
    }
    if (!options.plotPath.empty() && !WritePlot(options.plotPath, result.samples, result.summary,
                                                options.thresholds, error)) {
        return Fail(error, kExitFailure);
    }
    PrintSummary(stdout, result.summary);
    return HasThresholds(options.thresholds) ? PrintVerdict(result.summary, options.thresholds)
                                             : kExitDone;
}

} // namespace

int main(int argc, char** argv) {
    const int code = Measure(argc, argv);
    RunEnded();
    return code;
}
