// Which messages a window procedure gets, and in what order, for each thing the
// program does to its window: the tables of message_order_tables.h against the
// recorded log, and what only the layer's own tests can see.
#include <string>
#include <vector>

#include "message_order_tables.h"
#include "platform_test_support.h"

namespace {

class MessageOrderTest : public PlatformTest {};

TEST_F(MessageOrderTest, CreationSendsCreateBeforeReturning) {
    for (const auto& test : CreationCases()) {
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

TEST_F(MessageOrderTest, EachActionGivesItsMessagesInOrder) {
    for (const auto& test : OrderCases()) {
        SCOPED_TRACE(test.name);
        HWND window = CreateTestWindow(200, 100);
        ASSERT_NE(window, nullptr);
        TakeMessageLog();
        test.act(window);
        EXPECT_EQ(TakeMessageLog(), test.Expected());
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
        retrieved.push_back(LoggedName(message.message, message.wParam));
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    EXPECT_EQ(got, 0);
    retrieved.push_back(LoggedName(message.message, message.wParam));
    *exitCode = static_cast<int>(message.wParam);
    return retrieved;
}

TEST_F(MessageOrderTest, MessageLoopsRetrieveInOrderUntilTheQuit) {
    for (const auto& test : RetrievalCases()) {
        SCOPED_TRACE(test.name);
        SetMessageHandler(test.handler);
        HWND window = CreateTestWindow(200, 100);
        test.prepare(window);
        TakeMessageLog();
        int exitCode = -1;
        EXPECT_EQ(RetrieveUntilQuit(&exitCode), test.retrieved);
        EXPECT_EQ(exitCode, test.exitCode);
        EXPECT_EQ(TakeMessageLog(), test.handled);
        EXPECT_TRUE(Win32TestGetWindowInfo(window).exists);
        EXPECT_EQ(Win32TestGetWindowInfo(window).needsPaint, test.paintDue);
        if (test.paintDue) {
            // The quit was taken once; the paint is still due.
            MSG message;
            EXPECT_EQ(GetMessageA(&message, nullptr, 0, 0), TRUE);
            EXPECT_EQ(message.message, static_cast<UINT>(WM_PAINT));
            EXPECT_EQ(message.hwnd, window);
        }
        SetMessageHandler(nullptr);
        DestroyWindow(window);
    }
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

// What the tables need, through the layer's test interface.
bool PressKey(HWND window, WPARAM key) {
    return Win32TestPressKey(window, static_cast<UINT>(key));
}

bool RequestClose(HWND window) {
    return Win32TestRequestClose(window);
}

void DispatchPending() {
    Win32TestDispatchPending();
}

void FailNextCreateWindow() {
    Win32TestFailNextCreateWindow();
}

bool OnWindows() {
    return false;
}

void ExpectInAction(bool holds, const char* what) {
    EXPECT_TRUE(holds) << what;
}
