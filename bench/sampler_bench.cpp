// How fast the sampler reads the gyro register against the simulated remote, for
// several reply latencies: the whole program runs in process on the headless
// display, and each run samples for a few seconds.
#include <benchmark/benchmark.h>

#include <pthread.h>
#include <time.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

#include "device_state.h"
#include "hid_report_library.h"
#include "remote_protocol.h"
#include "sim_run.h"
#include "win32.h"
#include "win32_test_support.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previousInstance, LPSTR commandLine, int showCommand);

// Counts the read requests on their way to the remote (linked with --wrap).
std::atomic<int64_t> readRequests{0};

extern "C" int32_t __real_WriteReport(HidHandle handle, uint8_t* buffer, uint32_t* outWord);
extern "C" int32_t __wrap_WriteReport(HidHandle handle, uint8_t* buffer, uint32_t* outWord) {
    if (buffer != nullptr && buffer[0] == kReportReadRequest) {
        ++readRequests;
    }
    return __real_WriteReport(handle, buffer, outWord);
}

namespace {

constexpr auto kMeasured = std::chrono::seconds(3);

double CpuSeconds(clockid_t clock) {
    timespec time{};
    clock_gettime(clock, &time);
    return static_cast<double>(time.tv_sec) + static_cast<double>(time.tv_nsec) / 1e9;
}

// CPU time of the whole process, of the UI thread, and of this measuring thread.
struct CpuTimes {
    double process;
    double ui;
    double measuring;
};

CpuTimes TakeCpuTimes(std::thread& ui) {
    clockid_t uiClock;
    pthread_getcpuclockid(ui.native_handle(), &uiClock);
    return {CpuSeconds(CLOCK_PROCESS_CPUTIME_ID), CpuSeconds(uiClock), CpuSeconds(CLOCK_THREAD_CPUTIME_ID)};
}

int64_t CountPaints() {
    int64_t paints = 0;
    for (const std::string& call : Win32TestTakeGdiLog()) {
        paints += call == "EndPaint";
    }
    return paints;
}

// Runs the program on a remote whose replies take latencyUs, and measures a few
// seconds of steady sampling.
void SamplerAgainstSimulatedRemote(benchmark::State& state) {
    const int64_t latencyUs = state.range(0);
    for (auto _ : state) {
        StartFreshRun("latency=" + std::to_string(latencyUs));
        std::thread ui([] { WinMain(nullptr, nullptr, const_cast<LPSTR>(""), SW_SHOWDEFAULT); });
        while (readRequests < 5) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        CountPaints();
        const int64_t requestsAtStart = readRequests;
        const CpuTimes cpuAtStart = TakeCpuTimes(ui);
        const auto start = std::chrono::steady_clock::now();
        int64_t paints = 0;
        while (std::chrono::steady_clock::now() - start < kMeasured) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            paints += CountPaints();
        }
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        const double samples = static_cast<double>(readRequests - requestsAtStart);
        const CpuTimes cpuAtEnd = TakeCpuTimes(ui);
        const double processCpu = cpuAtEnd.process - cpuAtStart.process;
        const double uiCpu = cpuAtEnd.ui - cpuAtStart.ui;
        const double samplerCpu = processCpu - uiCpu - (cpuAtEnd.measuring - cpuAtStart.measuring);
        Win32TestPressKey(deviceState.mainWindow, VK_ESCAPE);
        ui.join();
        Win32TestWaitForThreads(3000);
        readRequests = 0;

        const double samplesPerSecond = samples / seconds;
        state.counters["samples_per_s"] = samplesPerSecond;
        state.counters["of_allowed_rate"] = latencyUs > 0 ? samplesPerSecond * latencyUs / 1e6 : 0.0;
        // The sampler thread's share includes the simulated remote, which runs in
        // process inside the library calls; the UI thread's share is the painting.
        state.counters["sampler_cpu_us_per_sample"] = samplerCpu * 1e6 / samples;
        state.counters["ui_cpu_us_per_sample"] = uiCpu * 1e6 / samples;
        state.counters["repaint_requests_per_s"] = samplesPerSecond;  // one per sample
        state.counters["paints_per_s"] = static_cast<double>(paints) / seconds;
    }
}

BENCHMARK(SamplerAgainstSimulatedRemote)
    ->Arg(0)
    ->Arg(2000)
    ->Arg(8000)
    ->Iterations(1)
    ->Unit(benchmark::kSecond)
    ->UseRealTime();

} // namespace

BENCHMARK_MAIN();
