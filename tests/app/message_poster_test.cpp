// Message boxes posted by a thread that must not wait for the user.
#include "app/message_poster.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>
#include <vector>

namespace vidora {
namespace {

// The test's thread is the user-interface thread; boxes are recorded, not shown.
TEST(MessagePosterTest, PostsWithoutWaitingCutsAPileShortAndDropsWhatWaitsAtTheEnd) {
    std::vector<MessageBoxRequest> shown;
    setMessageBoxPresenter([&](const MessageBoxRequest& r) {
        shown.push_back(r);
        return IDOK;
    });
    {
        MessagePoster poster;
        bool posted = false;
        // Nobody shows boxes while the worker runs: a poster that waited would never return.
        std::thread worker([&] { posted = poster.post({"first", "Vidora", MB_ICONWARNING}); });
        worker.join();
        EXPECT_TRUE(posted);
        // The box is on its way to the screen (its thread waits for the user there).
        for (int i = 0; i < 1000 && poster.waiting() > 0; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        ASSERT_EQ(poster.waiting(), 0u);
        for (std::size_t i = 0; i < MessagePoster::kMaxWaiting; ++i)
            EXPECT_TRUE(poster.post({"more", "Vidora", MB_OK}));
        EXPECT_FALSE(poster.post({"one too many", "Vidora", MB_OK}));
        EXPECT_EQ(poster.waiting(), MessagePoster::kMaxWaiting);
        EXPECT_TRUE(shown.empty());
        // Destroyed on the user-interface thread: the box on screen is shown and closed, the
        // waiting ones are dropped.
    }
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].text, "first");
    EXPECT_EQ(shown[0].caption, "Vidora");
    EXPECT_EQ(shown[0].type, uint32_t{MB_ICONWARNING});
    pumpMessageBoxes();
    EXPECT_EQ(shown.size(), 1u);
    setMessageBoxPresenter({});
}

}  // namespace
}  // namespace vidora
