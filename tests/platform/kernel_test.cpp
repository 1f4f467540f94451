// Kernel services: the named mutex across processes and users (with a helper
// process), the performance counter, Sleep and _beginthread.
#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>
#include <thread>

#include "platform_test_support.h"
#include "wait_until.h"

namespace {

// A running mutex_holder process.
struct Holder {
    pid_t pid;
    std::string output;  // its first line: "handle=1 error=0"
};

// A copy of mutex_holder that every user can run (the build folder may be closed
// to other users), in a folder of its own; removed at the end of the test.
class SharedHolderCopy {
  public:
    SharedHolderCopy() : folder("/tmp/tobrisk-holder-XXXXXX") {
        if (mkdtemp(folder.data()) == nullptr) {
            return;
        }
        chmod(folder.c_str(), 0755);
        path = folder + "/mutex_holder";
        std::string copy = "cp '" MUTEX_HOLDER_PATH "' '" + path + "' && chmod 0755 '" + path + "'";
        if (std::system(copy.c_str()) != 0) {
            path.clear();
        }
    }
    ~SharedHolderCopy() {
        unlink(path.c_str());
        rmdir(folder.c_str());
    }
    std::string folder;
    std::string path;  // empty when the copy failed
};

// Starts mutex_holder for the name, optionally as another user from a copy that
// user can run, and reads its first line (bounded wait).
Holder StartHolder(const std::string& name, uid_t asUser = 0, const char* program = MUTEX_HOLDER_PATH) {
    int out[2];
    if (pipe(out) != 0) {
        return {-1, "pipe failed"};
    }
    pid_t pid = fork();
    if (pid == 0) {
        dup2(out[1], STDOUT_FILENO);
        close(out[0]);
        close(out[1]);
        if (asUser != 0 && (setgid(asUser) != 0 || setuid(asUser) != 0)) {
            _exit(126);
        }
        execl(program, program, name.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    close(out[1]);
    std::string line;
    pollfd ready{out[0], POLLIN, 0};
    char c;
    while (line.find('\n') == std::string::npos && poll(&ready, 1, 5000) > 0 &&
           read(out[0], &c, 1) == 1) {
        line += c;
    }
    close(out[0]);
    if (!line.empty() && line.back() == '\n') {
        line.pop_back();
    }
    return {pid, line};
}

// Kills a holder with SIGKILL and reaps it.
void Kill(const Holder& holder) {
    kill(holder.pid, SIGKILL);
    waitpid(holder.pid, nullptr, 0);
}

// Reaps a holder that ends by itself.
void Reap(const Holder& holder) {
    waitpid(holder.pid, nullptr, 0);
}

// A mutex name of this test run.
std::string UniqueName(const char* what) {
    return std::string("tobrisk-test-") + what + "-" + std::to_string(getpid());
}

// A new private folder.
std::string MakeFolder(mode_t mode) {
    std::string path = ::testing::TempDir() + "tobrisk-locks-XXXXXX";
    EXPECT_NE(mkdtemp(path.data()), nullptr);
    chmod(path.c_str(), mode);
    return path;
}

// The names of the files in a folder.
std::set<std::string> FilesIn(const std::string& folder) {
    std::set<std::string> names;
    if (DIR* dir = opendir(folder.c_str())) {
        while (dirent* entry = readdir(dir)) {
            if (entry->d_name[0] != '.') {
                names.insert(entry->d_name);
            }
        }
        closedir(dir);
    }
    return names;
}

// Sets or clears XDG_RUNTIME_DIR for the test and puts it back afterwards.
class RuntimeDirectory {
  public:
    explicit RuntimeDirectory(const char* value) {
        const char* old = std::getenv("XDG_RUNTIME_DIR");
        hadOld = old != nullptr;
        oldValue = hadOld ? old : "";
        if (value != nullptr) {
            setenv("XDG_RUNTIME_DIR", value, 1);
        } else {
            unsetenv("XDG_RUNTIME_DIR");
        }
    }
    ~RuntimeDirectory() {
        if (hadOld) {
            setenv("XDG_RUNTIME_DIR", oldValue.c_str(), 1);
        } else {
            unsetenv("XDG_RUNTIME_DIR");
        }
    }

  private:
    bool hadOld;
    std::string oldValue;
};

// Every test starts with the usual lock folder.
class KernelTest : public PlatformTest {
  protected:
    void SetUp() override {
        PlatformTest::SetUp();
        Win32TestSetLockFolder(nullptr);
    }
    void TearDown() override {
        PlatformTest::TearDown();
        Win32TestSetLockFolder(nullptr);
    }
};

TEST_F(KernelTest, ASecondProcessGets183UntilTheFirstIsKilled) {
    std::string privateFolder = MakeFolder(0700);
    struct FolderCase {
        const char* name;
        const char* runtimeDirectory;
    };
    const FolderCase cases[] = {
        {"in $XDG_RUNTIME_DIR", privateFolder.c_str()},
        {"in /tmp/tobrisk-locks-<uid>", nullptr},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.name);
        RuntimeDirectory runtime(test.runtimeDirectory);
        std::string name = UniqueName("two-processes");

        Holder first = StartHolder(name);
        EXPECT_EQ(first.output, "handle=1 error=0");
        HANDLE mutex = CreateMutexA(nullptr, TRUE, name.c_str());
        EXPECT_NE(mutex, nullptr);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
        Holder second = StartHolder(name);
        EXPECT_EQ(second.output, "handle=1 error=183");
        Reap(second);

        Kill(first);
        Holder third = StartHolder(name);
        EXPECT_EQ(third.output, "handle=1 error=0") << "the killed holder's lock stayed";
        Kill(third);
        EXPECT_NE(CreateMutexA(nullptr, TRUE, name.c_str()), nullptr);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SUCCESS));
        Win32TestReset();
        std::string folder = test.runtimeDirectory != nullptr
                                 ? test.runtimeDirectory
                                 : "/tmp/tobrisk-locks-" + std::to_string(geteuid());
        unlink((folder + "/" + name + ".lock").c_str());
    }
    rmdir(privateFolder.c_str());
}

TEST_F(KernelTest, TheSameNameTwiceInOneProcessGives183UntilReset) {
    std::string folder = MakeFolder(0700);
    Win32TestSetLockFolder(folder.c_str());
    EXPECT_NE(CreateMutexA(nullptr, TRUE, "tobrisk-001"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SUCCESS));
    EXPECT_NE(CreateMutexA(nullptr, TRUE, "tobrisk-001"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    EXPECT_EQ(FilesIn(folder), (std::set<std::string>{"tobrisk-001.lock"}));
    Win32TestReset();
    EXPECT_NE(CreateMutexA(nullptr, TRUE, "tobrisk-001"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SUCCESS));
    Win32TestReset();
    unlink((folder + "/tobrisk-001.lock").c_str());
    rmdir(folder.c_str());
}

TEST_F(KernelTest, NamesMapToDistinctFilesInsideTheFolder) {
    std::string folder = MakeFolder(0700);
    Win32TestSetLockFolder(folder.c_str());
    for (const char* name : {"a/b", "a%2Fb", "../escape", ".hidden"}) {
        SCOPED_TRACE(name);
        EXPECT_NE(CreateMutexA(nullptr, TRUE, name), nullptr);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SUCCESS));
    }
    std::set<std::string> files = FilesIn(folder);
    EXPECT_EQ(files.size(), 4u);
    Win32TestReset();
    for (const auto& file : files) {
        unlink((folder + "/" + file).c_str());
    }
    rmdir(folder.c_str());
}

TEST_F(KernelTest, APrivateLockFolderKeepsTestProcessesApart) {
    std::string name = UniqueName("private-folder");
    Holder outside = StartHolder(name);
    EXPECT_EQ(outside.output, "handle=1 error=0");
    std::string folder = Win32TestUsePrivateLockFolder();
    EXPECT_EQ(folder, Win32TestUsePrivateLockFolder());
    EXPECT_NE(CreateMutexA(nullptr, TRUE, name.c_str()), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SUCCESS));
    EXPECT_EQ(FilesIn(folder), (std::set<std::string>{name + ".lock"}));
    struct stat info;
    ASSERT_EQ(stat(folder.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);
    Kill(outside);
    unlink(("/tmp/tobrisk-locks-" + std::to_string(geteuid()) + "/" + name + ".lock").c_str());
}

TEST_F(KernelTest, ARuntimeDirectoryOpenToOthersIsNotUsed) {
    std::string open = MakeFolder(0777);
    RuntimeDirectory runtime(open.c_str());
    std::string name = UniqueName("open-folder");
    EXPECT_NE(CreateMutexA(nullptr, TRUE, name.c_str()), nullptr);
    EXPECT_TRUE(FilesIn(open).empty());
    std::string fallback = "/tmp/tobrisk-locks-" + std::to_string(geteuid());
    EXPECT_EQ(FilesIn(fallback).count(name + ".lock"), 1u);
    struct stat info;
    ASSERT_EQ(stat(fallback.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);
    Win32TestReset();
    unlink((fallback + "/" + name + ".lock").c_str());
    rmdir(open.c_str());
}

TEST_F(KernelTest, TheLockIsPerUserAndAForeignFallbackFolderIsRefused) {
    if (geteuid() != 0) {
        GTEST_SKIP() << "needs root to run the helper as another user";
    }
    constexpr uid_t kNobody = 65534;
    SharedHolderCopy holder;
    ASSERT_FALSE(holder.path.empty());
    RuntimeDirectory runtime(nullptr);
    std::string name = UniqueName("per-user");
    std::string theirFolder = "/tmp/tobrisk-locks-" + std::to_string(kNobody);
    struct stat existing;
    bool theirsExisted = lstat(theirFolder.c_str(), &existing) == 0;

    // Held by root; nobody's own lock of the same name is free.
    EXPECT_NE(CreateMutexA(nullptr, TRUE, name.c_str()), nullptr);
    Holder other = StartHolder(name, kNobody, holder.path.c_str());
    EXPECT_EQ(other.output, "handle=1 error=0");
    Kill(other);
    unlink((theirFolder + "/" + name + ".lock").c_str());

    // A fallback folder that someone else made for nobody is refused.
    std::string moved = theirFolder + ".moved-" + std::to_string(getpid());
    ASSERT_EQ(rename(theirFolder.c_str(), moved.c_str()), 0);
    ASSERT_EQ(mkdir(theirFolder.c_str(), 0700), 0);
    Holder refused = StartHolder(name, kNobody, holder.path.c_str());
    EXPECT_EQ(refused.output, "handle=0 error=5");
    Reap(refused);
    rmdir(theirFolder.c_str());
    rename(moved.c_str(), theirFolder.c_str());
    if (!theirsExisted) {
        rmdir(theirFolder.c_str());
    }
    Win32TestReset();
    unlink(("/tmp/tobrisk-locks-0/" + name + ".lock").c_str());
}

TEST_F(KernelTest, ThePerformanceCounterIsMonotonicAndMatchesSleep) {
    LARGE_INTEGER frequency, start, end;
    ASSERT_TRUE(QueryPerformanceFrequency(&frequency));
    ASSERT_GT(frequency.QuadPart, 0);
    ASSERT_TRUE(QueryPerformanceCounter(&start));
    Sleep(30);
    ASSERT_TRUE(QueryPerformanceCounter(&end));
    double elapsedMs = static_cast<double>(end.QuadPart - start.QuadPart) / frequency.QuadPart * 1000;
    EXPECT_GE(elapsedMs, 30.0);
    EXPECT_LT(elapsedMs, 5000.0);
    LARGE_INTEGER previous = end;
    for (int i = 0; i < 1000; ++i) {
        LARGE_INTEGER now;
        QueryPerformanceCounter(&now);
        ASSERT_GE(now.QuadPart, previous.QuadPart);
        previous = now;
    }
}

TEST_F(KernelTest, BeginThreadRunsDetachedThreadsWithTheirArgument) {
    struct Run {
        std::atomic<int> calls{0};
        std::atomic<bool> otherThread{false};
        std::thread::id starter;
    } run;
    run.starter = std::this_thread::get_id();
    auto body = [](void* raw) {
        auto* r = static_cast<Run*>(raw);
        r->otherThread = std::this_thread::get_id() != r->starter;
        Sleep(20);
        ++r->calls;
    };
    uintptr_t first = _beginthread(body, 0, &run);
    uintptr_t second = _beginthread(body, 256 * 1024, &run);
    ASSERT_NE(first, static_cast<uintptr_t>(-1));
    ASSERT_NE(second, static_cast<uintptr_t>(-1));
    EXPECT_NE(first, second);
    EXPECT_NE(first, 0u);
    EXPECT_TRUE(Win32TestWaitForThreads(ScaledMs(5000)));
    EXPECT_EQ(Win32TestRunningThreads(), 0);
    EXPECT_EQ(run.calls, 2);
    EXPECT_TRUE(run.otherThread);
    EXPECT_EQ(_beginthread(nullptr, 0, nullptr), static_cast<uintptr_t>(-1));
}

TEST_F(KernelTest, TheLastErrorBelongsToEachThread) {
    SetLastError(ERROR_ALREADY_EXISTS);
    std::thread([] {
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SUCCESS));
        SetLastError(ERROR_ACCESS_DENIED);
    }).join();
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
}

} // namespace
