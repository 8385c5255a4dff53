// Message boxes posted by a thread that must not wait for the user.
#include "app/message_poster.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>
#include <vector>

namespace vidora {
namespace {

class MessagePosterTest : public ::testing::Test {
  protected:
    // The test's thread is the user-interface thread; boxes are recorded, not shown.
    void SetUp() override {
        setMessageBoxPresenter([this](const MessageBoxRequest& r) {
            shown.push_back(r);
            return IDOK;
        });
    }
    void TearDown() override { setMessageBoxPresenter({}); }

    template <class Pred>
    bool pumpUntil(Pred pred) {
        for (int i = 0; i < 1000 && !pred(); ++i) {
            pumpMessageBoxes();
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        return pred();
    }

    std::vector<MessageBoxRequest> shown;
};

TEST_F(MessagePosterTest, AWorkerPostsWithoutWaitingAndTheUserInterfaceShowsTheBox) {
    MessagePoster poster;
    bool posted = false;
    // Nobody shows boxes while the worker runs: a poster that waited would never return.
    std::thread worker([&] { posted = poster.post({"Disk full", "Vidora", MB_ICONWARNING}); });
    worker.join();
    EXPECT_TRUE(posted);
    EXPECT_TRUE(shown.empty());
    ASSERT_TRUE(pumpUntil([&] { return !shown.empty(); }));
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].text, "Disk full");
    EXPECT_EQ(shown[0].caption, "Vidora");
    EXPECT_EQ(shown[0].type, uint32_t{MB_ICONWARNING});
}

TEST_F(MessagePosterTest, APileOfBoxesIsCutShortAndClosingDropsThoseNotShownYet) {
    {
        MessagePoster poster;
        ASSERT_TRUE(poster.post({"first", "Vidora", MB_OK}));
        // The first box is on its way to the screen (its thread waits for the user there).
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
    pumpMessageBoxes();
    EXPECT_EQ(shown.size(), 1u);
}

}  // namespace
}  // namespace vidora
