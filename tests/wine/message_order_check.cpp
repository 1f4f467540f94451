// The message sequences of tests/platform/message_order_tables.h against Windows'
// own user32 (Wine's, under the Wine tests): the tables our layer is checked
// against hold for the real thing too. Prints every row that differs, expected
// against actual, and exits with the number of failures.
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "message_order_tables.h"
#include "windows_check.h"

namespace {

std::vector<std::string> messageLog; // the named messages the procedure got
MessageHandler messageHandler;
HHOOK creationHook = nullptr;

// Records the messages the tables speak of, then lets the row's handler or the
// default handle the message.
LRESULT CALLBACK RecordingProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    const std::string name = MessageName(message, wParam);
    if (!name.empty()) {
        messageLog.push_back(name);
    }
    LRESULT result = 0;
    if (messageHandler && messageHandler(window, message, wParam, lParam, &result)) {
        return result;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

Sequence TakeMessageLog() {
    Sequence taken;
    taken.swap(messageLog);
    return taken;
}

std::string Joined(const Sequence& sequence) {
    std::string text;
    for (const std::string& name : sequence) {
        text += (text.empty() ? "" : ", ") + name;
    }
    return "{" + text + "}";
}

// Records a failed row with the sequence expected and the one that came.
void CheckSequence(const char* row, const char* what, const Sequence& expected,
                   const Sequence& actual) {
    if (expected != actual) {
        ++checkFailures;
        std::printf("FAIL %s: %s: expected %s, got %s\n", row, what, Joined(expected).c_str(),
                    Joined(actual).c_str());
    }
}

// Fails the creation of the next window, before it gets any message.
LRESULT CALLBACK FailCreation(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HCBT_CREATEWND) {
        UnhookWindowsHookEx(creationHook);
        creationHook = nullptr;
        return 1;
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

HWND CreateTestWindow(const char* className) {
    return CreateWindowExA(0, className, "caption", WS_OVERLAPPEDWINDOW, 10, 10, 300, 200, nullptr,
                           nullptr, nullptr, nullptr);
}

void CheckCreation() {
    for (const CreationCase& test : CreationCases()) {
        SetMessageHandler(nullptr);
        TakeMessageLog();
        test.prepare();
        HWND window = CreateTestWindow(test.className);
        Check((window != nullptr) == test.created, test.name, test.created, window != nullptr);
        CheckSequence(test.name, "messages", test.expected, TakeMessageLog());
        if (window != nullptr) {
            DestroyWindow(window);
        }
    }
    SetMessageHandler(nullptr);
}

void CheckOrder() {
    for (const OrderCase& test : OrderCases()) {
        HWND window = CreateTestWindow(kTestClass);
        TakeMessageLog();
        test.act(window);
        CheckSequence(test.name, "messages", test.Expected(), TakeMessageLog());
        const bool exists = IsWindow(window) != FALSE;
        Check(exists == test.survives, test.name, test.survives, exists);
        DestroyWindow(window);
        DispatchPending();
    }
}

void CheckRetrieval() {
    for (const RetrievalCase& test : RetrievalCases()) {
        SetMessageHandler(test.handler);
        HWND window = CreateTestWindow(kTestClass);
        test.prepare(window);
        TakeMessageLog();
        Sequence retrieved;
        MSG message;
        BOOL got;
        while ((got = GetMessageA(&message, nullptr, 0, 0)) > 0) {
            const std::string name = MessageName(message.message, message.wParam);
            if (!name.empty()) {
                retrieved.push_back(name);
            }
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
        retrieved.push_back(MessageName(message.message, message.wParam));
        Check(got == 0, test.name, 0, got);
        CheckSequence(test.name, "retrieved", test.retrieved, retrieved);
        Check(static_cast<int>(message.wParam) == test.exitCode, test.name, test.exitCode,
              static_cast<long>(message.wParam));
        CheckSequence(test.name, "handled", test.handled, TakeMessageLog());
        const bool paintDue = GetUpdateRect(window, nullptr, FALSE) != FALSE;
        Check(paintDue == test.paintDue, test.name, test.paintDue, paintDue);
        if (paintDue && test.paintDue) {
            // The quit was taken once; the paint is still due.
            got = GetMessageA(&message, nullptr, 0, 0);
            Check(got == TRUE && message.message == WM_PAINT && message.hwnd == window, test.name,
                  WM_PAINT, static_cast<long>(message.message));
            DispatchMessageA(&message);
        }
        SetMessageHandler(nullptr);
        DestroyWindow(window);
        DispatchPending();
    }
}

} // namespace

bool PressKey(HWND window, WPARAM key) {
    return PostMessageA(window, WM_KEYDOWN, key, 1) != FALSE;
}

// The close button: the system command that DefWindowProcA turns into WM_CLOSE.
bool RequestClose(HWND window) {
    return PostMessageA(window, WM_SYSCOMMAND, SC_CLOSE, 0) != FALSE;
}

void DispatchPending() {
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
}

void FailNextCreateWindow() {
    creationHook = SetWindowsHookExA(WH_CBT, FailCreation, nullptr, GetCurrentThreadId());
}

void SetMessageHandler(MessageHandler handler) {
    messageHandler = std::move(handler);
}

bool OnWindows() {
    return true;
}

void ExpectInAction(bool holds, const char* what) {
    Check(holds, what, 1, holds);
}

int main() {
    UnbufferedOutput();
    if (RegisterRecordingClass(RecordingProcedure, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH))) == 0) {
        std::printf("FAIL RegisterClassExA\n");
        return 1;
    }
    CheckCreation();
    CheckOrder();
    CheckRetrieval();
    std::printf("%d failures\n", checkFailures);
    return checkFailures;
}
