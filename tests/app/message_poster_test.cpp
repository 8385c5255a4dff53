// Message boxes posted by a thread that must not wait for the user: the poster returns at once,
// the boxes reach the UI thread in order, a box already waiting is not queued twice, and the
// poster can go while a box is on screen.
#include "app/message_poster.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include "app/message_box.h"

namespace vidora {
namespace {

using namespace std::chrono_literals;

MessageBoxRequest box(const std::string& text) {
    return {text, "Vidora", MB_OK | MB_ICONWARNING};
}

// The UI side: records the boxes it is asked to show (this test's thread is the UI thread).
class UiBoxes {
  public:
    UiBoxes() {
        setMessageBoxPresenter(
            [this](const MessageBoxRequest& r) {
                std::lock_guard lock(mutex_);
                shown_.push_back(r.text);
                return IDOK;
            },
            [this] { asked.fetch_add(1); });
    }
    ~UiBoxes() { setMessageBoxPresenter({}); }
    std::vector<std::string> shown() {
        std::lock_guard lock(mutex_);
        return shown_;
    }
    // Answers the requests of other threads until `count` boxes were shown or 5 s passed.
    bool pumpUntilShown(std::size_t count) {
        const auto end = std::chrono::steady_clock::now() + 5s;
        while (std::chrono::steady_clock::now() < end) {
            pumpMessageBoxes();
            if (shown().size() >= count)
                return true;
            std::this_thread::sleep_for(2ms);
        }
        return false;
    }

    // Requests of other threads that wait for the UI thread.
    std::atomic<int> asked{0};

  private:
    std::mutex mutex_;
    std::vector<std::string> shown_;
};

// A `show` that holds every box on screen until the test lets it go.
class HeldBoxes {
  public:
    int show(const MessageBoxRequest& r) {
        std::unique_lock lock(mutex_);
        onScreen_.push_back(r.text);
        changed_.notify_all();
        changed_.wait(lock, [&] { return released_ >= onScreen_.size(); });
        return IDOK;
    }
    void waitOnScreen(std::size_t count) {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return onScreen_.size() >= count; });
    }
    void release() {
        std::lock_guard lock(mutex_);
        ++released_;
        changed_.notify_all();
    }
    void releaseAll() {
        std::lock_guard lock(mutex_);
        released_ = 1000;
        changed_.notify_all();
    }
    std::vector<std::string> onScreen() {
        std::lock_guard lock(mutex_);
        return onScreen_;
    }

  private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<std::string> onScreen_;
    std::size_t released_ = 0;
};

TEST(MessagePosterTest, AWorkerPostsWithoutWaitingAndTheUiThreadShowsTheBoxesInOrder) {
    UiBoxes ui;
    MessagePoster poster;
    std::atomic<bool> posted{false};
    // The worker posts while the UI thread answers nothing: it goes on all the same.
    std::thread worker([&] {
        EXPECT_TRUE(poster.post(box("first")));
        EXPECT_TRUE(poster.post(box("second")));
        posted = true;
    });
    worker.join();
    EXPECT_TRUE(posted);
    EXPECT_TRUE(ui.shown().empty());

    ASSERT_TRUE(ui.pumpUntilShown(2));
    EXPECT_EQ(ui.shown(), (std::vector<std::string>{"first", "second"}));
}

TEST(MessagePosterTest, TheSameBoxIsNotQueuedTwiceAndFewBoxesWait) {
    HeldBoxes held;
    MessagePoster poster([&](const MessageBoxRequest& r) { return held.show(r); });
    ASSERT_TRUE(poster.post(box("Cannot save the snapshot to /a: No space left on device")));
    held.waitOnScreen(1);
    // The same box while it is on screen, and while it waits.
    EXPECT_FALSE(poster.post(box("Cannot save the snapshot to /a: No space left on device")));
    EXPECT_TRUE(poster.post(box("Cannot save the snapshot to /b: Permission denied")));
    EXPECT_FALSE(poster.post(box("Cannot save the snapshot to /b: Permission denied")));
    // Another caption or icon is another box.
    EXPECT_TRUE(poster.post({"Cannot save the snapshot to /b: Permission denied", "Error", MB_OK}));
    EXPECT_EQ(poster.waiting(), 2u);
    // At most a few wait.
    for (std::size_t i = poster.waiting(); i < MessagePoster::kMaxWaiting; ++i)
        EXPECT_TRUE(poster.post(box("more " + std::to_string(i))));
    EXPECT_FALSE(poster.post(box("one too many")));
    EXPECT_EQ(poster.waiting(), MessagePoster::kMaxWaiting);

    // Once the user closed the first, the next comes up.
    held.release();
    held.waitOnScreen(2);
    EXPECT_EQ(held.onScreen()[1], "Cannot save the snapshot to /b: Permission denied");
    held.releaseAll();
}

TEST(MessagePosterTest, ThePosterGoesWhileItsBoxIsOnScreen) {
    UiBoxes ui;
    auto poster = std::make_unique<MessagePoster>();
    ASSERT_TRUE(poster->post(box("on screen")));
    ASSERT_TRUE(poster->post(box("still waiting")));
    // The poster's thread waits for the UI thread, which is the one destroying the poster: it
    // shows the box meanwhile and drops the one that had not come up yet.
    while (ui.asked.load() == 0)
        std::this_thread::sleep_for(1ms);
    poster.reset();
    EXPECT_EQ(ui.shown(), std::vector<std::string>{"on screen"});
}

}  // namespace
}  // namespace vidora
