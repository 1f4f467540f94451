// Helpers of the platform tests: a window class whose procedure records every
// message it gets, per-test message handlers, and a fixture that resets the layer
// and chooses the headless display.
#ifndef TOBRISK_TESTS_PLATFORM_TEST_SUPPORT_H
#define TOBRISK_TESTS_PLATFORM_TEST_SUPPORT_H

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "message_order_tables.h"
#include "win32.h"
#include "win32_test_support.h"

// SetMessageHandler (message_order_tables.h) is called before any thread uses the
// windows.

// The messages recorded since the last take: "WM_CREATE", "WM_KEYDOWN 0x1B", ...
std::vector<std::string> TakeMessageLog();
// The thread on which the procedure last saw the message.
std::thread::id ThreadThatHandled(UINT message);
// A message's name as the log writes it: MessageName's, or "message N".
std::string LoggedName(UINT message, WPARAM wParam);

// Registers kTestClass with the recording procedure and the background brush.
void RegisterTestClass(HBRUSH background);
// Creates a window of kTestClass with a client area of width x height.
HWND CreateTestWindow(int width, int height, const char* caption = "test window");
// Creates, shows and updates a window whose WM_PAINT handler calls paint with the
// device context (between BeginPaint and EndPaint).
HWND PaintTestWindow(int width, int height, std::function<void(HDC)> paint,
                     const char* caption = "test window");

// Forgets the handler and painter of the last test.
void ForgetTestBehaviour();

// The calling thread's kernel ID.
int CurrentThreadId();
// Waits (bounded) until the thread with that kernel ID sleeps, as one blocked in a
// wait does; false when it did not, or has ended.
bool WaitUntilAsleep(int threadId);

// Resets the layer around each test and uses the headless display; registers
// kTestClass with a white background.
class PlatformTest : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;
};

#endif
