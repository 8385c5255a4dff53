// The streaming path allocates nothing per picture or sound block. Every operator new of this
// program is counted while the check is armed.
#include <gtest/gtest.h>

#include "app/settings.h"
#include "engine/audio_transfer.h"
#include "engine/video_transfer.h"
#include "platform/relaxed.h"
#include "tests/engine/fakes.h"
#include "tests/support/allocation_counter.h"

namespace vidora {
namespace {

// A port that only looks at the bytes, like an encoder that keeps nothing.
class TouchingPort final : public RecordingPort {
  public:
    void onPicture(const uint8_t* data, std::size_t length) override { sum += data[length - 1]; }
    void onSound(const uint8_t* data, std::size_t length) override { sum += data[length - 1]; }
    unsigned sum = 0;
};

TEST(StreamingPath, NoHeapAllocationPerPictureOrSoundBlock) {
    applyDefaultSettings();
    TouchingPort port;
    VideoTransfer video(port);
    AudioTransfer audio(port);
    video.setPacing(std::chrono::microseconds(0));
    audio.setPacing(std::chrono::microseconds(0));
    test::FakeVideoWindow window;
    video.setWindow(&window);
    video.setLiveCell({0, 0, 704, 576}, 0);
    ASSERT_TRUE(video.acceptVideoFormat({720, 576, 0x59565955, 25}));
    ASSERT_TRUE(audio.acceptAudioFormat({8000, 16, 2, 32000}));
    video.setActive(true);
    const auto picture = test::patternPicture(720, 576, 5);
    const std::vector<uint8_t> sound(2048, 7);

    for (int mode = 1; mode <= 3; ++mode) {
        storeRelaxed(gConfig.recordImageSize, mode);
        video.passFormat();
        storeRelaxed(gState.recordingOn, 1);
        video.renderVideo(picture.data(), picture.size());  // warm-up (first zoom position)
        test::CountedAllocations allocations;
        for (int i = 0; i < 50; ++i) {
            storeRelaxed(gState.channelZoom[0], 1 + i % 4);  // repositioning allocates nothing
            video.renderVideo(picture.data(), picture.size());
            audio.renderAudio(sound.data(), sound.size());
        }
        allocations.stop();
        EXPECT_EQ(allocations.count(), 0) << "size mode " << mode;
    }
    storeRelaxed(gState.recordingOn, 0);
    EXPECT_EQ(window.pictures.load(), 153);
    EXPECT_EQ(video.picturesShown(), 153u);

    // The check itself works: a stored picture is an allocation.
    test::CountedAllocations allocations;
    auto stored = video.makeStoredPicture(3);
    allocations.stop();
    EXPECT_GT(allocations.count(), 0);
}

}  // namespace
}  // namespace vidora
