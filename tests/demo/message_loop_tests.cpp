#include "demo/message_loop.h"

#include <gtest/gtest.h>

namespace {

constexpr UINT kChainMessage = WM_APP + 1;
constexpr UINT kCountedMessage = WM_APP + 2;

int handled = 0;
int chainLength = 0;

LRESULT CALLBACK CountingProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == kCountedMessage) {
        ++handled;
        return 0;
    }
    if (message == kChainMessage) {
        ++handled;
        // Each message queues the next one before it returns, so the queue
        // is never found empty until the chain ends with a quit.
        if (handled < chainLength) {
            PostMessageA(hwnd, kChainMessage, 0, 0);
        } else {
            PostQuitMessage(3);
        }
        return 0;
    }
    return DefWindowProcA(hwnd, message, wParam, lParam);
}

class MessageLoop : public testing::Test {
protected:
    void SetUp() override
    {
        WNDCLASSEXA windowClass{};
        windowClass.cbSize = sizeof(windowClass);
        windowClass.lpfnWndProc = CountingProc;
        windowClass.hInstance = GetModuleHandleA(nullptr);
        windowClass.lpszClassName = "Vexlar message loop test";
        RegisterClassExA(&windowClass);
        hwnd = CreateWindowExA(0, windowClass.lpszClassName, "", 0, 0, 0, 10, 10, HWND_MESSAGE, nullptr,
                               windowClass.hInstance, nullptr);
        handled = 0;
    }
    void TearDown() override
    {
        MSG leftOver;
        while (PeekMessageA(&leftOver, nullptr, 0, 0, PM_REMOVE)) {
        }
        DestroyWindow(hwnd);
    }
    HWND hwnd = nullptr;
};

TEST_F(MessageLoop, ExitCodeIsTheLow32BitsOfTheQuitParameter)
{
    PostThreadMessageA(GetCurrentThreadId(), WM_QUIT, WPARAM(0x100000007ull), 0);
    int frames = 0;
    EXPECT_EQ(RunMessageLoop([&] { ++frames; }), 7);
    EXPECT_EQ(frames, 0);
}

TEST_F(MessageLoop, QuitEndsTheLoopWhenRetrievedEvenWithMessagesBehindIt)
{
    PostMessageA(hwnd, kCountedMessage, 0, 0);
    PostMessageA(hwnd, kCountedMessage, 0, 0);
    PostThreadMessageA(GetCurrentThreadId(), WM_QUIT, 0, 0);
    PostMessageA(hwnd, kCountedMessage, 0, 0);
    int frames = 0;
    EXPECT_EQ(RunMessageLoop([&] { ++frames; }), 0);
    EXPECT_EQ(handled, 2);
    EXPECT_EQ(frames, 0);
    MSG behind;
    EXPECT_TRUE(PeekMessageA(&behind, hwnd, kCountedMessage, kCountedMessage, PM_REMOVE));
}

TEST_F(MessageLoop, NoFrameRunsWhileTheQueueKeepsFilling)
{
    chainLength = 50;
    PostMessageA(hwnd, kChainMessage, 0, 0);
    int frames = 0;
    EXPECT_EQ(RunMessageLoop([&] { ++frames; }), 3);
    EXPECT_EQ(handled, 50);
    EXPECT_EQ(frames, 0);
}

TEST_F(MessageLoop, FramesRunWhenTheQueueIsEmptyUntilAFramePostsQuit)
{
    int frames = 0;
    const int code = RunMessageLoop([&] {
        if (++frames == 3) {
            PostQuitMessage(0);
        }
    });
    EXPECT_EQ(code, 0);
    EXPECT_EQ(frames, 3);
}

}  // namespace
