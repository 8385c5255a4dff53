// Messages that other threads post or send reach the windows on the loop thread.
#include <gtest/gtest.h>

#include <thread>

#include "test_support.h"

namespace vidora {
namespace {

class RecordingWindow : public SkinWindow {
  public:
    using SkinWindow::SkinWindow;
    const char* className() const override { return "VD_Recording"; }
    intptr_t windowProc(uint32_t message, uintptr_t wParam, intptr_t lParam) override {
        EXPECT_EQ(std::this_thread::get_id(), loopThread);
        seen.push_back(message);
        return message == WM_SHOW_MESSAGE ? 6 : SkinWindow::windowProc(message, wParam, lParam);
    }
    std::thread::id loopThread = std::this_thread::get_id();
    std::vector<uint32_t> seen;
};

class HeadlessHostThreadTest : public test::WindowTest {};

TEST_F(HeadlessHostThreadTest, PostedAndSentMessagesArriveOnTheLoopThread) {
    auto* window = static_cast<RecordingWindow*>(
        adoptWindow(std::make_unique<RecordingWindow>(nullptr, 600, 0, 0, 5, 5)));
    ASSERT_TRUE(window->create(WS_POPUP, 0, "x"));
    const WindowHandle handle = window->handle();
    intptr_t answer = 0;
    std::thread worker([&] {
        host.postMessage(handle, WM_GRAPH_NOTIFY, 0, 0);
        answer = host.sendMessageFromAnyThread(handle, WM_SHOW_MESSAGE, 0, 0);
    });
    int delivered = 0;
    while (delivered < 2) {
        delivered += host.dispatchPosted();
        std::this_thread::yield();
    }
    worker.join();
    EXPECT_EQ(answer, 6);
    EXPECT_EQ(window->seen, (std::vector<uint32_t>{WM_CREATE, WM_GRAPH_NOTIFY, WM_SHOW_MESSAGE}));
}

}  // namespace
}  // namespace vidora
