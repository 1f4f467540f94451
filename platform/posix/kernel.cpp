// Kernel services: handle numbers, the last-error code, named mutexes held by
// per-user lock files, the performance counter, Sleep and _beginthread.
#include <fcntl.h>
#include <pthread.h>
#include <sched.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <climits>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <mutex>
#include <string>

#include "handles.h"
#include "kernel.h"
#include "message_queue.h"

namespace win32_layer {
namespace {

// The named mutexes of this process, beside the lock that guards them. Never
// destroyed, so threads still running at exit find it intact.
struct NamedMutexes {
    std::mutex lock;
    std::map<std::string, int> lockFds; // name -> open, locked lock file
    std::string folderOverride;         // lock files go here when set
};
NamedMutexes& Mutexes() {
    static auto* mutexes = new NamedMutexes;
    return *mutexes;
}

// Threads started by _beginthread that have not returned, beside their lock.
struct RunningThreads {
    std::mutex lock;
    std::condition_variable ended; // count went down
    int count = 0;
};
RunningThreads& Threads() {
    static auto* threads = new RunningThreads;
    return *threads;
}

// What a new thread runs.
struct ThreadStart {
    void(__cdecl* start)(void*);
    void* argument;
};

// Whether an open folder is the user's own and closed to everybody else.
bool IsPrivateFolder(int folderFd) {
    struct stat info;
    return fstat(folderFd, &info) == 0 && S_ISDIR(info.st_mode) && info.st_uid == geteuid() &&
           (info.st_mode & 077) == 0;
}

// Opens a folder without following a symbolic link at its last step. -1 on failure.
int OpenFolder(const std::string& path) {
    return open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
}

// Opens the folder that holds the user's lock files: the test override, else
// $XDG_RUNTIME_DIR when it is private, else /tmp/tobrisk-locks-<uid> (created
// 0700, and refused unless it is the user's own and private). -1 on failure.
int OpenLockFolder() {
    if (!Mutexes().folderOverride.empty()) {
        return OpenFolder(Mutexes().folderOverride);
    }
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime != nullptr && runtime[0] == '/') {
        int fd = OpenFolder(runtime);
        if (fd >= 0 && IsPrivateFolder(fd)) {
            return fd;
        }
        if (fd >= 0) {
            close(fd);
        }
    }
    std::string fallback = "/tmp/tobrisk-locks-" + std::to_string(geteuid());
    mkdir(fallback.c_str(), 0700);
    int fd = OpenFolder(fallback);
    if (fd >= 0 && !IsPrivateFolder(fd)) {
        std::fprintf(stderr, "win32: %s is not a private folder of this user\n", fallback.c_str());
        close(fd);
        return -1;
    }
    return fd;
}

// The lock file's name for a mutex name: letters, digits, '-', '_' and '.' kept,
// every other byte as %XX, so that different names never share a file.
std::string LockFileName(const std::string& name) {
    std::string file;
    for (unsigned char c : name) {
        if (std::isalnum(c) || c == '-' || c == '_' || (c == '.' && !file.empty())) {
            file += static_cast<char>(c);
        } else {
            char escaped[4];
            std::snprintf(escaped, sizeof escaped, "%%%02X", c);
            file += escaped;
        }
    }
    return file + ".lock";
}

// Takes the lock of a name for this process: the open lock file's descriptor, or
// -1 when another process holds it (EWOULDBLOCK) or it cannot be created.
int TakeLock(const std::string& name) {
    int folder = OpenLockFolder();
    if (folder < 0) {
        return -1;
    }
    int fd =
        openat(folder, LockFileName(name).c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
    int failure = errno;
    close(folder);
    if (fd < 0) {
        errno = failure;
        return -1;
    }
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        failure = errno;
        close(fd);
        errno = failure;
        return -1;
    }
    return fd;
}

// Runs a thread started by _beginthread and counts it out when it returns.
void* RunThread(void* raw) {
    ThreadStart start = *static_cast<ThreadStart*>(raw);
    delete static_cast<ThreadStart*>(raw);
    start.start(start.argument);
    RetireCurrentThreadQueue();
    std::lock_guard hold(Threads().lock);
    --Threads().count;
    Threads().ended.notify_all();
    return nullptr;
}

} // namespace

int RunningThreadCount() {
    std::lock_guard hold(Threads().lock);
    return Threads().count;
}

bool WaitUntilNoThreadRuns(int timeoutMs) {
    std::unique_lock hold(Threads().lock);
    return Threads().ended.wait_for(hold, std::chrono::milliseconds(timeoutMs),
                                    [] { return Threads().count == 0; });
}

void SetLockFolder(const std::string& folder) {
    std::lock_guard hold(Mutexes().lock);
    Mutexes().folderOverride = folder;
}

void ResetKernelObjects() {
    std::lock_guard hold(Mutexes().lock);
    for (auto& [name, fd] : Mutexes().lockFds) {
        close(fd);
    }
    Mutexes().lockFds.clear();
}

} // namespace win32_layer

using namespace win32_layer;

HANDLE WINAPI CreateMutexA(LPSECURITY_ATTRIBUTES, BOOL, LPCSTR name) {
    HANDLE handle = reinterpret_cast<HANDLE>(NewHandleValue(HandleKind::Mutex));
    if (name == nullptr) {
        SetLastError(ERROR_SUCCESS);
        return handle;
    }
    std::lock_guard hold(Mutexes().lock);
    if (Mutexes().lockFds.count(name) != 0) {
        SetLastError(ERROR_ALREADY_EXISTS);
        return handle;
    }
    int fd = TakeLock(name);
    if (fd >= 0) {
        Mutexes().lockFds[name] = fd;
        SetLastError(ERROR_SUCCESS);
        return handle;
    }
    if (errno == EWOULDBLOCK) {
        SetLastError(ERROR_ALREADY_EXISTS);
        return handle;
    }
    SetLastError(ERROR_ACCESS_DENIED);
    return nullptr;
}

BOOL WINAPI QueryPerformanceFrequency(LARGE_INTEGER* frequency) {
    frequency->QuadPart = 1000000000; // nanoseconds of CLOCK_MONOTONIC
    return TRUE;
}

BOOL WINAPI QueryPerformanceCounter(LARGE_INTEGER* count) {
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    count->QuadPart = static_cast<LONGLONG>(now.tv_sec) * 1000000000 + now.tv_nsec;
    return TRUE;
}

void WINAPI Sleep(DWORD milliseconds) {
    if (milliseconds == 0) {
        sched_yield();
        return;
    }
    timespec left{static_cast<time_t>(milliseconds / 1000),
                  static_cast<long>(milliseconds % 1000) * 1000000};
    while (nanosleep(&left, &left) != 0 && errno == EINTR) {
    }
}

uintptr_t _beginthread(void(__cdecl* start)(void*), unsigned stackSize, void* argument) {
    static std::atomic<uintptr_t> nextThread{1};
    if (start == nullptr) {
        errno = EINVAL;
        return static_cast<uintptr_t>(-1);
    }
    pthread_attr_t attributes;
    pthread_attr_init(&attributes);
    pthread_attr_setdetachstate(&attributes, PTHREAD_CREATE_DETACHED);
    if (stackSize != 0) {
        pthread_attr_setstacksize(&attributes, std::max<size_t>(stackSize, PTHREAD_STACK_MIN));
    }
    {
        std::lock_guard hold(Threads().lock);
        ++Threads().count;
    }
    auto* startInfo = new ThreadStart{start, argument};
    pthread_t thread;
    int failure = pthread_create(&thread, &attributes, RunThread, startInfo);
    pthread_attr_destroy(&attributes);
    if (failure != 0) {
        delete startInfo;
        std::lock_guard hold(Threads().lock);
        --Threads().count;
        Threads().ended.notify_all();
        errno = EAGAIN;
        return static_cast<uintptr_t>(-1);
    }
    return nextThread.fetch_add(1);
}
