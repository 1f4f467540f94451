// MessageBoxA: the text on standard error without a display, a modal box with an
// OK button that Enter, Esc, the button or closing dismisses on a display, and
// what happens to windows when no display can be opened.
#include <chrono>
#include <cstdlib>
#include <functional>
#include <future>

#include "platform_test_support.h"
#include "wait_until.h"

namespace {

using namespace std::chrono_literals;

class MessageBoxTest : public PlatformTest {};

TEST_F(MessageBoxTest, WithoutHoldTheTextGoesToStandardErrorAtOnce) {
    ::testing::internal::CaptureStderr();
    int result = MessageBoxA(nullptr, "Wii-Remote not found.", nullptr, MB_OK);
    std::string written = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(result, IDOK);
    EXPECT_EQ(written, "Wii-Remote not found.\n");
    EXPECT_EQ(Win32TestMessageBoxTexts(), (std::vector<std::string>{"Wii-Remote not found."}));
}

// A way to dismiss an open box.
struct DismissCase {
    const char* name;
    std::function<void(HWND)> dismiss;
};

TEST_F(MessageBoxTest, AHeldBoxStaysUpUntilDismissed) {
    const DismissCase cases[] = {
        {"Enter", [](HWND box) { Win32TestPressKey(box, VK_RETURN); }},
        {"Esc", [](HWND box) { Win32TestPressKey(box, VK_ESCAPE); }},
        {"a click on OK",
         [](HWND box) {
             RECT button = Win32TestMessageBoxButton(box);
             Win32TestClick(box, (button.left + button.right) / 2,
                            (button.top + button.bottom) / 2);
         }},
        {"closing it", [](HWND box) { Win32TestRequestClose(box); }},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.name);
        Win32TestHoldMessageBoxes(true);
        auto shown = std::async(std::launch::async, [] {
            return MessageBoxA(nullptr, "Wii-Remote cannot open.", nullptr, MB_OK);
        });
        HWND box = Win32TestWaitForMessageBox(ScaledMs(5000));
        ASSERT_NE(box, nullptr);
        // Keys that are not for it, and clicks beside the button, leave it up.
        Win32TestPressKey(box, 'A');
        Win32TestClick(box, 2, 2);
        EXPECT_EQ(shown.wait_for(100ms), std::future_status::timeout);
        test.dismiss(box);
        ASSERT_EQ(shown.wait_for(5s), std::future_status::ready);
        EXPECT_EQ(shown.get(), IDOK);
        EXPECT_FALSE(Win32TestGetWindowInfo(box).exists);
    }
    EXPECT_EQ(Win32TestMessageBoxTexts().size(), std::size(cases));
}

TEST_F(MessageBoxTest, TheBoxShowsItsTextAndButton) {
    Win32TestHoldMessageBoxes(true);
    auto shown = std::async(std::launch::async, [] {
        return MessageBoxA(nullptr, "Wii-Remote not found.", nullptr, MB_OK);
    });
    HWND box = Win32TestWaitForMessageBox(ScaledMs(5000));
    ASSERT_NE(box, nullptr);
    // Wait (bounded) for its first paint.
    Win32TestImage image;
    for (int waited = 0; waited < 5000; waited += 10) {
        image = Win32TestClientPixels(box);
        if (image.At(0, 0) != 0xFFFFFFu) {
            break;
        }
        Sleep(10);
    }
    Win32TestWindowInfo info = Win32TestGetWindowInfo(box);
    RECT button = Win32TestMessageBoxButton(box);
    Win32TestSaveClientPng(box, (::testing::TempDir() + "message-box.png").c_str());
    Win32TestPressKey(box, VK_RETURN);
    ASSERT_EQ(shown.wait_for(5s), std::future_status::ready);

    EXPECT_TRUE(info.visible);
    EXPECT_EQ(info.caption, "platform_tests");
    EXPECT_EQ(image.width, info.width);
    EXPECT_GT(button.right, button.left);
    EXPECT_LT(button.bottom, image.height);
    auto darkIn = [&](int left, int top, int right, int bottom) {
        int dark = 0;
        for (int y = top; y < bottom; ++y) {
            for (int x = left; x < right; ++x) {
                dark += (image.At(x, y) & 0xFF) < 0x60 ? 1 : 0;
            }
        }
        return dark;
    };
    EXPECT_GT(darkIn(0, 0, image.width, button.top), 50) << "no text above the button";
    EXPECT_GT(darkIn(button.left + 2, button.top + 2, button.right - 2, button.bottom - 2), 10)
        << "no OK on the button";
}

TEST(NoDisplayTest, WindowsFailAndMessageBoxesWriteToStandardError) {
    const char* display = std::getenv("DISPLAY");
    std::string saved = display != nullptr ? display : "";
    unsetenv("DISPLAY");
    Win32TestReset();
    RegisterTestClass(static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(CreateTestWindow(100, 100), nullptr);
    Win32TestHoldMessageBoxes(true);  // no display: nothing to hold
    EXPECT_EQ(MessageBoxA(nullptr, "Wii-Remote not found.", nullptr, MB_OK), IDOK);
    std::string written = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(written.find("x11: cannot open display"), std::string::npos);
    EXPECT_NE(written.find("Wii-Remote not found.\n"), std::string::npos);
    Win32TestReset();
    if (display != nullptr) {
        setenv("DISPLAY", saved.c_str(), 1);
    }
}

} // namespace
