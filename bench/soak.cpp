// Soak run: the whole program in process against the simulated remote at zero reply
// latency, for a set time, watching for growth. On the X11 display when DISPLAY is
// set (run it under tests/support/with-xvfb for the real display path), else on the
// headless display. It reports samples, paints, resident memory, live GDI objects,
// threads and open file descriptors, and fails (exit 1) when any of them grows
// after the warm-up or when sampling stalls.
//
// Usage: tobrisk-soak [SECONDS]   (default 1800)
#include <dirent.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>

#include "device_state.h"
#include "hid_report_library.h"
#include "remote_protocol.h"
#include "sim_control.h"
#include "win32.h"
#include "win32_test_support.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previousInstance, LPSTR commandLine, int showCommand);

// Read requests on their way to the remote, one per sample (linked with --wrap).
std::atomic<int64_t> samples{0};
// Paints the window procedure finished (linked with --wrap).
std::atomic<int64_t> paints{0};

extern "C" int32_t __real_WriteReport(HidHandle handle, uint8_t* buffer, uint32_t* outWord);
extern "C" int32_t __wrap_WriteReport(HidHandle handle, uint8_t* buffer, uint32_t* outWord) {
    if (buffer != nullptr && buffer[0] == kReportReadRequest) {
        ++samples;
    }
    return __real_WriteReport(handle, buffer, outWord);
}

extern "C" BOOL __real_EndPaint(HWND window, const PAINTSTRUCT* paint);
extern "C" BOOL __wrap_EndPaint(HWND window, const PAINTSTRUCT* paint) {
    ++paints;
    return __real_EndPaint(window, paint);
}

namespace {

constexpr int64_t kRssGrowthLimitKiB = 2048;  // after the warm-up
constexpr int kReportsWanted = 10;            // lines printed over the run

// One look at the process.
struct Snapshot {
    double seconds;      // since sampling began
    int64_t samples;     // read requests so far
    int64_t paints;      // paints so far
    int64_t rssKiB;      // resident memory
    int gdiObjects;      // pens, brushes and fonts alive
    int workerThreads;   // threads started by _beginthread still running
    int processThreads;  // every thread of the process
    int openFds;         // open file descriptors
};

// VmRSS from /proc/self/status, in KiB; -1 when it cannot be read.
int64_t ResidentKiB() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("VmRSS:", 0) == 0) {
            return std::atoll(line.c_str() + 6);
        }
    }
    return -1;
}

// Entries of a /proc folder, without . and .. (and without the descriptor that
// reading the folder itself opens).
int CountEntries(const char* folder, bool ownDescriptor) {
    DIR* dir = opendir(folder);
    if (dir == nullptr) {
        return -1;
    }
    int count = 0;
    while (const dirent* entry = readdir(dir)) {
        count += entry->d_name[0] != '.';
    }
    closedir(dir);
    return ownDescriptor ? count - 1 : count;
}

// Looks at the process now.
Snapshot Take(std::chrono::steady_clock::time_point start) {
    Snapshot s{};
    s.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    s.samples = samples;
    s.paints = paints;
    s.rssKiB = ResidentKiB();
    s.gdiObjects = Win32TestLiveGdiObjects();
    s.workerThreads = Win32TestRunningThreads();
    s.processThreads = CountEntries("/proc/self/task", false);
    s.openFds = CountEntries("/proc/self/fd", true);
    return s;
}

// One line of the report.
void Print(const char* what, const Snapshot& s) {
    std::printf("%-9s %8.1f s  samples %10lld  paints %9lld  rss %7lld KiB  gdi %d  "
                "workers %d  threads %d  fds %d\n",
                what, s.seconds, static_cast<long long>(s.samples),
                static_cast<long long>(s.paints), static_cast<long long>(s.rssKiB), s.gdiObjects,
                s.workerThreads, s.processThreads, s.openFds);
    std::fflush(stdout);
}

// Compares the end with the warm-up; prints and counts every growth.
int CountGrowth(const Snapshot& warm, const Snapshot& end) {
    int found = 0;
    auto complain = [&found](const char* what, long long from, long long to) {
        std::printf("GROWTH %s: %lld -> %lld\n", what, from, to);
        ++found;
    };
    if (end.rssKiB - warm.rssKiB > kRssGrowthLimitKiB) {
        complain("resident memory (KiB)", warm.rssKiB, end.rssKiB);
    }
    if (end.gdiObjects > warm.gdiObjects) {
        complain("GDI objects", warm.gdiObjects, end.gdiObjects);
    }
    if (end.workerThreads > warm.workerThreads) {
        complain("worker threads", warm.workerThreads, end.workerThreads);
    }
    if (end.processThreads > warm.processThreads) {
        complain("process threads", warm.processThreads, end.processThreads);
    }
    if (end.openFds > warm.openFds) {
        complain("file descriptors", warm.openFds, end.openFds);
    }
    return found;
}

// A lock folder of the soak's own, so that it never counts as a second instance of
// a program the user runs.
void UsePrivateLockFolder() {
    static char folder[] = "/tmp/tobrisk-soak-locks-XXXXXX";
    if (mkdtemp(folder) != nullptr) {
        Win32TestSetLockFolder(folder);
    }
}

// Waits up to timeoutMs for the sampler to send its first read requests.
bool WaitForSampling(int timeoutMs) {
    for (int waited = 0; samples < 5; waited += 10) {
        if (waited >= timeoutMs) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

} // namespace

int main(int argc, char** argv) {
    const int seconds = argc > 1 ? std::atoi(argv[1]) : 1800;
    if (seconds < 10) {
        std::fputs("usage: tobrisk-soak [SECONDS of at least 10]\n", stderr);
        return 2;
    }
    const int warmUpSeconds = seconds >= 600 ? 60 : 10;
    const bool x11 = std::getenv("DISPLAY") != nullptr;

    Win32TestReset();
    if (!x11) {
        Win32TestUseHeadlessDisplay();
    }
    UsePrivateLockFolder();
    unsetenv("TINY_HID_SIM_LOG");
    SimSetLogPath(nullptr);
    SimSetScenario("latency=0");
    std::printf("soak: %d s on the %s display, warm-up %d s, simulated remote latency=0\n",
                seconds, x11 ? "X11" : "headless", warmUpSeconds);

    int exitCode = 0;
    std::thread ui([&exitCode] {
        exitCode = WinMain(nullptr, nullptr, const_cast<LPSTR>(""), SW_SHOWDEFAULT);
    });
    if (!WaitForSampling(5000)) {
        std::puts("FAIL: the program never started sampling");
        std::_Exit(1);
    }
    const auto start = std::chrono::steady_clock::now();
    Print("start", Take(start));

    int stalls = 0;
    Snapshot warm{};
    Snapshot last = Take(start);
    const int step = seconds / kReportsWanted;
    for (int elapsed = 1; elapsed <= seconds; ++elapsed) {
        std::this_thread::sleep_for(start + std::chrono::seconds(elapsed) -
                                    std::chrono::steady_clock::now());
        if (!x11) {
            Win32TestTakeGdiLog();  // the headless display keeps every call for tests
        }
        const Snapshot now = Take(start);
        if (now.samples == last.samples || now.paints == last.paints) {
            std::printf("STALL at %.1f s: no %s in the last second\n", now.seconds,
                        now.samples == last.samples ? "sample" : "paint");
            ++stalls;
        }
        last = now;
        if (elapsed == warmUpSeconds) {
            warm = now;
            Print("warm", now);
        } else if (elapsed % step == 0) {
            Print("run", now);
        }
    }
    const int growth = CountGrowth(warm, last);
    const double measured = last.seconds - warm.seconds;
    std::printf("rate: %.0f samples/s, %.0f paints/s after the warm-up\n",
                static_cast<double>(last.samples - warm.samples) / measured,
                static_cast<double>(last.paints - warm.paints) / measured);

    Win32TestPressKey(deviceState.mainWindow, VK_ESCAPE);
    ui.join();
    const bool workersEnded = Win32TestWaitForThreads(3000);
    Print("end", Take(start));
    if (exitCode != 0 || !workersEnded) {
        std::printf("FAIL: exit code %d, worker threads %s\n", exitCode,
                    workersEnded ? "ended" : "still running");
        return 1;
    }
    if (growth > 0 || stalls > 0) {
        std::printf("FAIL: %d growth, %d stalls\n", growth, stalls);
        return 1;
    }
    std::puts("PASS: flat");
    return 0;
}
