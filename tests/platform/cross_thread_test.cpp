// Messages between threads: SendMessageA from a worker blocks until the owner has
// handled the message and never hangs when the target is gone; InvalidateRect from
// a worker wakes the owner and floods of it give few paints.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <future>
#include <thread>

#include "platform_test_support.h"
#include "wait_until.h"

namespace {

using namespace std::chrono_literals;

constexpr auto kNoHang = 5s;  // generous bound that only proves nothing hangs

class CrossThreadTest : public PlatformTest {};

// Waits (bounded) until the number of messages waiting to be handled is count.
bool WaitForPendingSends(int count) {
    return WaitUntil([count] { return Win32TestPendingSends() == count; }, 5000);
}

TEST_F(CrossThreadTest, SendMessageBlocksUntilTheOwnerRetrievesAndRunsItThere) {
    SetMessageHandler([](HWND, UINT message, WPARAM wParam, LPARAM, LRESULT* result) {
        *result = static_cast<LRESULT>(wParam) * 2;
        return message == WM_USER;
    });
    HWND window = CreateTestWindow(100, 100);
    ShowWindow(window, SW_SHOW);
    UpdateWindow(window);
    TakeMessageLog();

    std::atomic<bool> returned{false};
    std::atomic<int> senderThread{0};
    auto sender = std::async(std::launch::async, [&] {
        senderThread = CurrentThreadId();
        LRESULT result = SendMessageA(window, WM_USER, 21, 0);
        returned = true;
        InvalidateRect(window, nullptr, FALSE);  // wakes the owner's GetMessageA
        return result;
    });
    ASSERT_TRUE(WaitForPendingSends(1));
    // Queued, then asleep inside SendMessageA: only the owner can let it return.
    WaitUntilAsleep(senderThread);
    EXPECT_FALSE(returned) << "SendMessageA returned before the owner retrieved messages";
    EXPECT_TRUE(TakeMessageLog().empty()) << "the procedure ran outside the owner's retrieval";

    MSG message;
    ASSERT_EQ(GetMessageA(&message, nullptr, 0, 0), TRUE);
    EXPECT_EQ(message.message, static_cast<UINT>(WM_PAINT)) << "a sent message was returned";
    ASSERT_EQ(sender.wait_for(kNoHang), std::future_status::ready);
    EXPECT_EQ(sender.get(), 42);
    EXPECT_EQ(ThreadThatHandled(WM_USER), std::this_thread::get_id());
}

// A way for the target of a cross-thread send to be gone.
struct GoneCase {
    const char* name;
    bool whileWaiting;             // gone after the send was queued, or before it
    std::function<void(HWND)> go;  // run on the owner thread
};

TEST_F(CrossThreadTest, SendMessageToAGoneTargetReturnsZeroWithoutHanging) {
    const GoneCase cases[] = {
        {"window destroyed before", false, [](HWND w) { DestroyWindow(w); }},
        {"window destroyed while the sender waits", true, [](HWND w) { DestroyWindow(w); }},
        {"window closed through DefWindowProcA while the sender waits", true,
         [](HWND w) { SendMessageA(w, WM_CLOSE, 0, 0); }},
        {"layer reset while the sender waits", true, [](HWND) { Win32TestReset(); }},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.name);
        Win32TestReset();
        Win32TestUseHeadlessDisplay();
        RegisterTestClass(static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
        SetMessageHandler([](HWND, UINT message, WPARAM, LPARAM, LRESULT* result) {
            *result = 7;
            return message == WM_USER;
        });
        HWND window = CreateTestWindow(100, 100);
        if (!test.whileWaiting) {
            test.go(window);
        }
        auto sender = std::async(std::launch::async, [&] { return SendMessageA(window, WM_USER, 0, 0); });
        if (test.whileWaiting) {
            ASSERT_TRUE(WaitForPendingSends(1));
            test.go(window);
        }
        ASSERT_EQ(sender.wait_for(kNoHang), std::future_status::ready);
        EXPECT_EQ(sender.get(), 0);
        for (const auto& name : TakeMessageLog()) {
            EXPECT_NE(name, "WM_USER") << "the message reached the procedure";
        }
        EXPECT_EQ(Win32TestPendingSends(), 0);
    }
}

TEST_F(CrossThreadTest, SendMessageToAWindowWhoseThreadEndedReturnsZero) {
    HWND window = nullptr;
    std::thread owner([&] { window = CreateTestWindow(100, 100); });
    owner.join();
    ASSERT_NE(window, nullptr);
    auto sender = std::async(std::launch::async, [&] { return SendMessageA(window, WM_USER, 0, 0); });
    ASSERT_EQ(sender.wait_for(kNoHang), std::future_status::ready);
    EXPECT_EQ(sender.get(), 0);
}

TEST_F(CrossThreadTest, SendersHandleMessagesSentToThemWhileTheyWait) {
    // The worker's window procedure sends back to the main thread's window while
    // the main thread is itself blocked sending to the worker: no deadlock.
    HWND mainWindow = CreateTestWindow(100, 100);
    std::atomic<HWND> workerWindow{nullptr};
    std::atomic<bool> stop{false};
    SetMessageHandler([&](HWND window, UINT message, WPARAM, LPARAM, LRESULT* result) {
        if (message != WM_USER) {
            return false;
        }
        *result = window == mainWindow ? 5 : 100 + SendMessageA(mainWindow, WM_USER, 0, 0);
        return true;
    });
    std::thread worker([&] {
        workerWindow = CreateTestWindow(100, 100);
        while (!stop) {
            Win32TestDispatchPending();
            Sleep(1);
        }
    });
    if (!WaitUntil([&] { return workerWindow.load() != nullptr; }, 5000)) {
        stop = true;
        worker.join();
        FAIL() << "the worker made no window";
    }
    // Should the sends deadlock, a reset after the bound releases them and the
    // result shows it.
    std::promise<void> sent;
    auto watchdog = std::async(std::launch::async, [done = sent.get_future()] {
        if (done.wait_for(kNoHang) != std::future_status::ready) {
            Win32TestReset();
        }
    });
    LRESULT result = SendMessageA(workerWindow, WM_USER, 0, 0);
    sent.set_value();
    watchdog.get();
    stop = true;
    worker.join();
    EXPECT_EQ(result, 105);
    EXPECT_EQ(ThreadThatHandled(WM_USER), std::this_thread::get_id());
}

TEST_F(CrossThreadTest, InvalidateRectFromAnotherThreadWakesABlockedGetMessage) {
    HWND window = CreateTestWindow(100, 100);
    ShowWindow(window, SW_SHOW);
    UpdateWindow(window);
    auto invalidator = std::async(std::launch::async, [&] {
        Sleep(50);
        return InvalidateRect(window, nullptr, TRUE);
    });
    MSG message;
    ASSERT_EQ(GetMessageA(&message, nullptr, 0, 0), TRUE);
    EXPECT_EQ(message.message, static_cast<UINT>(WM_PAINT));
    EXPECT_EQ(message.hwnd, window);
    EXPECT_TRUE(invalidator.get());
}

TEST_F(CrossThreadTest, AFloodOfInvalidationsGivesOnePaintPerRetrieval) {
    constexpr int kInvalidations = 20000;
    int paints = 0;
    SetMessageHandler([&](HWND, UINT message, WPARAM, LPARAM, LRESULT*) {
        paints += message == WM_PAINT ? 1 : 0;
        return false;
    });
    HWND window = CreateTestWindow(100, 100);
    ShowWindow(window, SW_SHOW);
    UpdateWindow(window);
    paints = 0;

    // All invalidations before the owner looks: exactly one paint.
    std::thread([&] {
        for (int i = 0; i < kInvalidations; ++i) {
            InvalidateRect(window, nullptr, TRUE);
        }
    }).join();
    EXPECT_EQ(Win32TestDispatchPending(), 1);
    EXPECT_EQ(paints, 1);

    // Invalidations while the owner runs its loop: fewer paints than invalidations,
    // and nothing left over once the flood is over. The last invalidation comes
    // after floodDone, so a paint always follows it.
    paints = 0;
    std::atomic<bool> floodDone{false};
    std::thread flood([&] {
        for (int i = 0; i < kInvalidations; ++i) {
            InvalidateRect(window, nullptr, TRUE);
        }
        floodDone = true;
        InvalidateRect(window, nullptr, TRUE);
    });
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        DispatchMessageA(&message);
        if (floodDone && !Win32TestGetWindowInfo(window).needsPaint) {
            break;
        }
    }
    flood.join();
    EXPECT_GE(paints, 1);
    EXPECT_LT(paints, kInvalidations);
    EXPECT_EQ(Win32TestDispatchPending(), 0);
}

TEST_F(CrossThreadTest, WorkerThreadsCallTheWindowWhileItIsDestroyed) {
    // The sampler's shape: a _beginthread worker invalidates and sends to the main
    // window while the UI thread destroys it. While the window lives, its sends are
    // answered; once it is destroyed, every call fails safely and nothing reaches
    // the procedure any more.
    constexpr LRESULT kAnswer = 7;
    SetMessageHandler([](HWND, UINT message, WPARAM, LPARAM, LRESULT* result) {
        *result = kAnswer;
        return message == WM_USER;
    });
    struct Shared {
        std::atomic<HWND> window;
        std::atomic<bool> stop{false};
        std::atomic<bool> destroyed{false}; // set once DestroyWindow has returned
        std::atomic<int> answered{0};       // sends that got the procedure's answer
        std::atomic<int> refusedAfter{0};   // calls after the destruction that failed
        std::atomic<int> workedAfter{0};    // calls after the destruction that did not
    } shared;
    shared.window = CreateTestWindow(100, 100);
    ShowWindow(shared.window, SW_SHOW);
    uintptr_t thread = _beginthread(
        [](void* raw) {
            auto* s = static_cast<Shared*>(raw);
            while (!s->stop) {
                const bool gone = s->destroyed;
                const BOOL invalidated = InvalidateRect(s->window, nullptr, TRUE);
                const LRESULT answer = SendMessageA(s->window, WM_USER, 0, 0);
                s->answered += answer == kAnswer ? 1 : 0;
                if (gone) {
                    (invalidated == FALSE && answer == 0 ? s->refusedAfter : s->workedAfter)++;
                }
            }
        },
        0, &shared);
    ASSERT_NE(thread, static_cast<uintptr_t>(-1));
    EXPECT_TRUE(WaitUntil(
        [&] {
            Win32TestDispatchPending();
            return shared.answered >= 20;
        },
        5000));
    DestroyWindow(shared.window);
    shared.destroyed = true;
    EXPECT_TRUE(WaitUntil([&] { return shared.refusedAfter >= 20; }, 5000));
    shared.stop = true;
    EXPECT_TRUE(Win32TestWaitForThreads(ScaledMs(5000)));
    EXPECT_EQ(shared.workedAfter, 0);
    EXPECT_FALSE(Win32TestGetWindowInfo(shared.window).exists);
    const std::vector<std::string> log = TakeMessageLog();
    const auto destroy = std::find(log.begin(), log.end(), MessageName(WM_DESTROY, 0));
    ASSERT_NE(destroy, log.end());
    EXPECT_EQ(std::count(destroy, log.end(), MessageName(WM_USER, 0)), 0)
        << "a message reached the procedure after WM_DESTROY";
}

} // namespace
