// The hand-over between the live picture and the stream: nothing copied while nobody watches,
// the newest picture wins, sound is bounded and padded with silence.
#include <gtest/gtest.h>

#include <vector>

#include "stream/live_hand_over.h"

namespace vidora {
namespace {

std::vector<uint8_t> picture(int width, int height, uint8_t fill) {
    return std::vector<uint8_t>(static_cast<std::size_t>(width) * height * 2, fill);
}

TEST(LiveHandOver, PicturesPassOnlyWhileTakingAndTheNewestWins) {
    LiveHandOver handOver;
    auto first = picture(8, 4, 1);
    handOver.onLivePicture(first.data(), first.size(), 8, 4, 25);
    StreamPicture out;
    uint64_t generation = 0;
    EXPECT_FALSE(handOver.takePicture(out, generation)) << "copied while nobody watches";
    EXPECT_EQ(handOver.picturesIn(), 0u);

    handOver.setTaking(true);
    auto second = picture(8, 4, 2);
    auto third = picture(8, 4, 3);
    handOver.onLivePicture(second.data(), second.size(), 8, 4, 25);
    handOver.onLivePicture(third.data(), third.size(), 8, 4, 25);
    ASSERT_TRUE(handOver.takePicture(out, generation));
    EXPECT_EQ(out.pixels, third);
    EXPECT_EQ(out.width, 8);
    EXPECT_EQ(out.height, 4);
    EXPECT_EQ(out.rate, 25);
    EXPECT_EQ(handOver.picturesDropped(), 1u);
    EXPECT_FALSE(handOver.takePicture(out, generation)) << "the same picture taken twice";

    // A picture shorter than its size says is not read past its end.
    auto shortOne = picture(8, 4, 4);
    handOver.onLivePicture(shortOne.data(), shortOne.size() - 1, 8, 4, 25);
    EXPECT_FALSE(handOver.takePicture(out, generation));
}

TEST(LiveHandOver, SoundIsBoundedToASecondAndPaddedWithSilence) {
    LiveHandOver handOver;
    handOver.setTaking(true);
    const StreamSoundFormat mono8k{8000, 1};
    std::vector<uint8_t> block(1600, 7);  // 100 ms
    for (int i = 0; i < 15; ++i)
        handOver.onLiveSound(block.data(), block.size(), 8000, 1);
    EXPECT_EQ(handOver.soundFormat(), mono8k);
    EXPECT_EQ(handOver.soundBytesDropped(), 5u * 1600u);

    std::vector<uint8_t> out;
    EXPECT_EQ(handOver.takeSound(out, 15000, mono8k), 15000u);
    EXPECT_EQ(handOver.takeSound(out, 2000, mono8k), 1000u);
    ASSERT_EQ(out.size(), 2000u);
    EXPECT_EQ(out[999], 7);
    EXPECT_EQ(out[1000], 0) << "missing sound is not silence";

    // Sound of another format than the stream asks for is dropped, not played at the wrong speed.
    handOver.onLiveSound(block.data(), block.size(), 8000, 1);
    EXPECT_EQ(handOver.takeSound(out, 400, StreamSoundFormat{16000, 1}), 0u);
    EXPECT_EQ(out, std::vector<uint8_t>(400, 0));
}

}  // namespace
}  // namespace vidora
