#include "platform_test_support.h"

#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <map>
#include <mutex>

#include "wait_until.h"

namespace {

std::mutex logLock;
std::vector<std::string> messageLog;                 // guarded by logLock
std::map<UINT, std::thread::id> handlingThreads;     // guarded by logLock
MessageHandler messageHandler;                       // set before windows are used
std::function<void(HDC)> painter;                    // the same

// Records the message, then lets the test's handler or the default handle it.
LRESULT CALLBACK RecordingProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    {
        std::lock_guard hold(logLock);
        messageLog.push_back(LoggedName(message, wParam));
        handlingThreads[message] = std::this_thread::get_id();
    }
    LRESULT result = 0;
    if (messageHandler && messageHandler(window, message, wParam, lParam, &result)) {
        return result;
    }
    if (message == WM_PAINT && painter) {
        PAINTSTRUCT paint;
        HDC dc = BeginPaint(window, &paint);
        painter(dc);
        EndPaint(window, &paint);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

} // namespace

void SetMessageHandler(MessageHandler handler) {
    messageHandler = std::move(handler);
}

std::vector<std::string> TakeMessageLog() {
    std::lock_guard hold(logLock);
    std::vector<std::string> taken;
    taken.swap(messageLog);
    return taken;
}

std::thread::id ThreadThatHandled(UINT message) {
    std::lock_guard hold(logLock);
    return handlingThreads[message];
}

std::string LoggedName(UINT message, WPARAM wParam) {
    const std::string name = MessageName(message, wParam);
    return name.empty() ? "message " + std::to_string(message) : name;
}

void RegisterTestClass(HBRUSH background) {
    ASSERT_NE(RegisterRecordingClass(RecordingProcedure, background), 0);
}

HWND CreateTestWindow(int width, int height, const char* caption) {
    return CreateWindowExA(0, kTestClass, caption, WS_OVERLAPPEDWINDOW, 10, 10, width, height,
                           nullptr, nullptr, nullptr, nullptr);
}

HWND PaintTestWindow(int width, int height, std::function<void(HDC)> paint,
                     const char* caption) {
    painter = std::move(paint);
    HWND window = CreateTestWindow(width, height, caption);
    ShowWindow(window, SW_SHOWDEFAULT);
    UpdateWindow(window);
    return window;
}

int CurrentThreadId() {
    return static_cast<int>(gettid());
}

bool WaitUntilAsleep(int threadId) {
    const std::string path = "/proc/self/task/" + std::to_string(threadId) + "/stat";
    return WaitUntil(
        [&path] {
            std::ifstream stat(path);
            std::string line;
            std::getline(stat, line);
            const size_t name = line.rfind(')');
            return name != std::string::npos && name + 2 < line.size() && line[name + 2] == 'S';
        },
        5000);
}

void ForgetTestBehaviour() {
    messageHandler = nullptr;
    painter = nullptr;
    TakeMessageLog();
}

void PlatformTest::SetUp() {
    Win32TestReset();
    Win32TestUseHeadlessDisplay();
    ForgetTestBehaviour();
    RegisterTestClass(static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
}

void PlatformTest::TearDown() {
    EXPECT_TRUE(Win32TestWaitForThreads(ScaledMs(5000))) << "a thread started by _beginthread still runs";
    Win32TestReset();
    ForgetTestBehaviour();
}
