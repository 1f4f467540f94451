// Which messages a window procedure gets, and in what order, for each thing the
// program does to its window: expected-sequence tables against the recorded log.
#include <functional>
#include <string>
#include <vector>

#include "platform_test_support.h"

namespace {

using Sequence = std::vector<std::string>;

class MessageOrderTest : public PlatformTest {};

// What happens around CreateWindowExA.
struct CreationCase {
    const char* name;
    std::function<void()> prepare;  // run before CreateWindowExA
    const char* className;
    bool created;                   // CreateWindowExA returns a window
    Sequence expected;
};

TEST_F(MessageOrderTest, CreationSendsCreateBeforeReturning) {
    const CreationCase cases[] = {
        {"plain creation", [] {}, kTestClass, true, {"WM_CREATE"}},
        {"WM_CREATE returns -1",
         [] {
             SetMessageHandler([](HWND, UINT message, WPARAM, LPARAM, LRESULT* result) {
                 *result = -1;
                 return message == WM_CREATE;
             });
         },
         kTestClass, false, {"WM_CREATE", "WM_DESTROY"}},
        {"creation made to fail", [] { Win32TestFailNextCreateWindow(); }, kTestClass, false, {}},
        {"unknown class", [] {}, "no-such-class", false, {}},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.name);
        SetMessageHandler(nullptr);
        TakeMessageLog();
        test.prepare();
        HWND window = CreateWindowExA(0, test.className, "caption", WS_OVERLAPPEDWINDOW, 10, 10,
                                      300, 200, nullptr, nullptr, nullptr, nullptr);
        EXPECT_EQ(window != nullptr, test.created);
        EXPECT_EQ(TakeMessageLog(), test.expected);
        if (window != nullptr) {
            EXPECT_EQ(ThreadThatHandled(WM_CREATE), std::this_thread::get_id());
            Win32TestWindowInfo info = Win32TestGetWindowInfo(window);
            EXPECT_EQ(info.caption, "caption");
            EXPECT_EQ(info.width, 300);
            EXPECT_EQ(info.height, 200);
            EXPECT_FALSE(info.visible);
        }
    }
    // Only the failure switch's own call failed.
    EXPECT_NE(CreateTestWindow(10, 10), nullptr);
}

// Something done to a created window, what the procedure gets meanwhile, and
// whether the window still exists afterwards.
struct OrderCase {
    const char* name;
    std::function<void(HWND)> act;
    Sequence expected;
    bool survives;
};

TEST_F(MessageOrderTest, EachActionGivesItsMessagesInOrder) {
    const OrderCase cases[] = {
        {"ShowWindow then UpdateWindow paint at once, with erase",
         [](HWND w) {
             ShowWindow(w, SW_SHOWDEFAULT);
             UpdateWindow(w);
             UpdateWindow(w);
             Win32TestDispatchPending();
         },
         {"WM_PAINT", "WM_ERASEBKGND"}, true},
        {"UpdateWindow on a hidden window paints nothing",
         [](HWND w) {
             InvalidateRect(w, nullptr, TRUE);
             UpdateWindow(w);
             Win32TestDispatchPending();
         },
         {}, true},
        {"a hidden window is painted once it is shown",
         [](HWND w) {
             InvalidateRect(w, nullptr, TRUE);
             Win32TestDispatchPending();
             ShowWindow(w, SW_SHOW);
             Win32TestDispatchPending();
         },
         {"WM_PAINT", "WM_ERASEBKGND"}, true},
        {"InvalidateRect without erase paints without WM_ERASEBKGND",
         [](HWND w) {
             ShowWindow(w, SW_SHOW);
             UpdateWindow(w);
             InvalidateRect(w, nullptr, FALSE);
             Win32TestDispatchPending();
         },
         {"WM_PAINT", "WM_ERASEBKGND", "WM_PAINT"}, true},
        {"InvalidateRect with a null window invalidates nothing",
         [](HWND w) {
             ShowWindow(w, SW_SHOW);
             UpdateWindow(w);
             EXPECT_FALSE(InvalidateRect(nullptr, nullptr, TRUE));
             Win32TestDispatchPending();
         },
         {"WM_PAINT", "WM_ERASEBKGND"}, true},
        {"a sent WM_DESTROY destroys nothing",
         [](HWND w) { SendMessageA(w, WM_DESTROY, 0, 0); }, {"WM_DESTROY"}, true},
        {"WM_CLOSE through DefWindowProcA destroys the window",
         [](HWND w) { SendMessageA(w, WM_CLOSE, 0, 0); }, {"WM_CLOSE", "WM_DESTROY"}, false},
        {"DestroyWindow sends WM_DESTROY once",
         [](HWND w) {
             EXPECT_TRUE(DestroyWindow(w));
             EXPECT_FALSE(DestroyWindow(w));
         },
         {"WM_DESTROY"}, false},
        {"the display's close request arrives as WM_CLOSE",
         [](HWND w) {
             ShowWindow(w, SW_SHOW);
             UpdateWindow(w);
             Win32TestRequestClose(w);
             Win32TestDispatchPending();
         },
         {"WM_PAINT", "WM_ERASEBKGND", "WM_CLOSE", "WM_DESTROY"}, false},
        {"Esc arrives as WM_KEYDOWN with VK_ESCAPE, then its WM_CHAR",
         [](HWND w) {
             Win32TestPressKey(w, VK_ESCAPE);
             Win32TestDispatchPending();
         },
         {"WM_KEYDOWN 0x1B", "WM_CHAR 0x1B"}, true},
        {"a key that types nothing gives no WM_CHAR",
         [](HWND w) {
             Win32TestPressKey(w, VK_F1);
             Win32TestDispatchPending();
         },
         {"WM_KEYDOWN 0x70"}, true},
        {"nothing reaches a destroyed window",
         [](HWND w) {
             DestroyWindow(w);
             EXPECT_EQ(SendMessageA(w, WM_USER, 0, 0), 0);
             EXPECT_FALSE(InvalidateRect(w, nullptr, TRUE));
             EXPECT_FALSE(ShowWindow(w, SW_SHOW));
             EXPECT_FALSE(Win32TestPressKey(w, VK_ESCAPE));
             Win32TestDispatchPending();
         },
         {"WM_DESTROY"}, false},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.name);
        HWND window = CreateTestWindow(200, 100);
        ASSERT_NE(window, nullptr);
        TakeMessageLog();
        test.act(window);
        EXPECT_EQ(TakeMessageLog(), test.expected);
        EXPECT_EQ(Win32TestGetWindowInfo(window).exists, test.survives);
        DestroyWindow(window);
    }
}

// Records what GetMessageA returns until it returns 0, dispatching the rest.
Sequence RetrieveUntilQuit(int* exitCode) {
    Sequence retrieved;
    MSG message;
    BOOL got;
    while ((got = GetMessageA(&message, nullptr, 0, 0)) > 0) {
        retrieved.push_back(MessageName(message.message, message.wParam));
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    EXPECT_EQ(got, 0);
    retrieved.push_back(MessageName(message.message, message.wParam));
    *exitCode = static_cast<int>(message.wParam);
    return retrieved;
}

TEST_F(MessageOrderTest, PostedMessagesComeBeforeQuitAndQuitBeforePaint) {
    HWND window = CreateTestWindow(200, 100);
    ShowWindow(window, SW_SHOW);
    UpdateWindow(window);
    InvalidateRect(window, nullptr, TRUE);
    Win32TestPressKey(window, 'A');
    PostQuitMessage(7);
    TakeMessageLog();

    int exitCode = -1;
    EXPECT_EQ(RetrieveUntilQuit(&exitCode), (Sequence{"WM_KEYDOWN 0x41", "WM_CHAR 0x61", "WM_QUIT 0x07"}));
    EXPECT_EQ(exitCode, 7);
    EXPECT_TRUE(Win32TestGetWindowInfo(window).needsPaint);

    // The quit was taken once; the paint is still due.
    MSG message;
    EXPECT_EQ(GetMessageA(&message, nullptr, 0, 0), TRUE);
    EXPECT_EQ(message.message, static_cast<UINT>(WM_PAINT));
    EXPECT_EQ(message.hwnd, window);
}

TEST_F(MessageOrderTest, QuitPostedByTheDestroyHandlerEndsTheLoop) {
    // The program's shape: WM_DESTROY posts the quit; Esc sends WM_DESTROY to itself.
    SetMessageHandler([](HWND window, UINT message, WPARAM wParam, LPARAM, LRESULT* result) {
        *result = 0;
        if (message == WM_DESTROY) {
            PostQuitMessage(0);
            return true;
        }
        if (message == WM_KEYDOWN) {
            if (wParam == VK_ESCAPE) {
                SendMessageA(window, WM_DESTROY, 0, 0);
            }
            return true;
        }
        return false;
    });
    HWND window = CreateTestWindow(200, 100);
    ShowWindow(window, SW_SHOWDEFAULT);
    UpdateWindow(window);
    Win32TestPressKey(window, VK_ESCAPE);
    TakeMessageLog();

    int exitCode = -1;
    EXPECT_EQ(RetrieveUntilQuit(&exitCode),
              (Sequence{"WM_KEYDOWN 0x1B", "WM_CHAR 0x1B", "WM_QUIT 0x00"}));
    EXPECT_EQ(exitCode, 0);
    EXPECT_EQ(TakeMessageLog(), (Sequence{"WM_KEYDOWN 0x1B", "WM_DESTROY", "WM_CHAR 0x1B"}));
    EXPECT_TRUE(Win32TestGetWindowInfo(window).exists);
}

TEST_F(MessageOrderTest, SentMessagesAreHandledInsideRetrievalBeforePostedOnes) {
    HWND window = CreateTestWindow(200, 100);
    Win32TestPressKey(window, VK_F1);
    TakeMessageLog();
    LRESULT sendResult = -1;
    SetMessageHandler([](HWND, UINT message, WPARAM, LPARAM, LRESULT* result) {
        *result = 42;
        return message == WM_USER;
    });
    std::thread sender([&] { sendResult = SendMessageA(window, WM_USER, 0, 0); });
    for (int waited = 0; Win32TestPendingSends() == 0 && waited < 5000; waited += 5) {
        Sleep(5);
    }
    ASSERT_EQ(Win32TestPendingSends(), 1);

    MSG message;
    ASSERT_EQ(GetMessageA(&message, nullptr, 0, 0), TRUE);
    sender.join();
    EXPECT_EQ(message.message, static_cast<UINT>(WM_KEYDOWN));
    EXPECT_EQ(TakeMessageLog(), (Sequence{"WM_USER"}));
    EXPECT_EQ(ThreadThatHandled(WM_USER), std::this_thread::get_id());
    EXPECT_EQ(sendResult, 42);
}

TEST_F(MessageOrderTest, GetMessageRefusesFilters) {
    HWND window = CreateTestWindow(200, 100);
    MSG message;
    EXPECT_EQ(GetMessageA(&message, window, 0, 0), -1);
    EXPECT_EQ(GetMessageA(&message, nullptr, WM_KEYDOWN, WM_KEYDOWN), -1);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST_F(MessageOrderTest, ClassesAreRegisteredOnceAndCheckedWhole) {
    WNDCLASSEXA windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = DefWindowProcA;
    windowClass.lpszClassName = "TEST-WND";  // names are compared without case
    EXPECT_EQ(RegisterClassExA(&windowClass), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CLASS_ALREADY_EXISTS));
    windowClass.lpszClassName = "other-wnd";
    windowClass.cbSize = 48 + 1;
    EXPECT_EQ(RegisterClassExA(&windowClass), 0);
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = nullptr;
    EXPECT_EQ(RegisterClassExA(&windowClass), 0);
    windowClass.lpfnWndProc = DefWindowProcA;
    EXPECT_NE(RegisterClassExA(&windowClass), 0);
}

} // namespace
