// The record encoder: thinning, encode sizes, stamping, real key frames and the sound blocks.
#include "recording/record_encoder.h"

#include <gtest/gtest.h>

#include "app/settings.h"
#include "fake_consumer.h"
#include "platform/clock.h"
#include "test_support.h"

namespace vidora {
namespace {

using test::FakeConsumer;

// The coding type of the MPEG-4 picture in a packet: 0 = I, 1 = P, -1 = no picture found.
int vopCodingType(const RecordPacket& p) {
    for (uint32_t i = 0; i + 4 < p.length; ++i) {
        if (p.data[i] == 0 && p.data[i + 1] == 0 && p.data[i + 2] == 1 && p.data[i + 3] == 0xB6) {
            return p.data[i + 4] >> 6;
        }
    }
    return -1;
}

class RecordEncoderTest : public ::testing::Test {
  protected:
    void SetUp() override {
        test::resetSettings("/nonexistent");
        gState.videoWidth = 720;
        gState.videoHeight = 576;
        encoder.setPictureStamp(stamp);
        encoder.setVideoFormat(videoStreamFormat(720, 576, 25), 3);
        encoder.setAudioFormat(audioStreamFormat(48000, 16, 2));
        encoder.attachConsumer(&consumer);
    }
    void TearDown() override { encoder.detachAllConsumers(); }

    // Feeds `count` pictures of the current encode size, `intervalMs` apart.
    void feedPictures(int count, double intervalMs, int first = 0) {
        int w = encoder.encodeWidth(), h = encoder.encodeHeight();
        double t = 0;
        int64_t advanced = 0;
        for (int i = 0; i < count; ++i) {
            std::vector<uint8_t> picture = test::uyvyPicture(w, h, first + i);
            encoder.onPicture(picture.data(), picture.size());
            t += intervalMs;
            int64_t target = static_cast<int64_t>(t);
            clock.advanceMs(target - advanced);
            advanced = target;
        }
    }

    ManualClock clock;
    test::RecordingStamp stamp;
    RecordEncoder encoder{clock};
    FakeConsumer consumer;
};

TEST_F(RecordEncoderTest, KeepsTheRecordFrameRateCountedFromTheFirstPicture) {
    encoder.start();
    // 30 pictures per second for two seconds, one every 33.3 ms.
    int w = encoder.encodeWidth(), h = encoder.encodeHeight();
    std::vector<uint32_t> keptAt;
    for (int i = 0; i < 60; ++i) {
        uint32_t now = clock.multimediaTime();
        std::size_t before = consumer.video.size();
        std::vector<uint8_t> picture = test::uyvyPicture(w, h, i);
        encoder.onPicture(picture.data(), picture.size());
        if (consumer.video.size() > before)
            keptAt.push_back(now);
        clock.advanceMs((i + 1) * 1000 / 30 - i * 1000 / 30);
    }
    ASSERT_EQ(keptAt.size(), 50u);  // 25 per second
    int firstSecond = 0;
    for (uint32_t t : keptAt) {
        if (t - keptAt[0] < 1000)
            ++firstSecond;
    }
    EXPECT_EQ(firstSecond, 25);
    EXPECT_EQ(encoder.encodedPictures(), 50u);

    // The multimedia clock wraps round (every 49.7 days) half a second into a recording: the
    // pictures go on at the same rate, without a pause or a burst.
    ManualClock wrapping(1796558400, 0xFFFFFFFFu - 500);
    RecordEncoder late{wrapping};
    FakeConsumer kept;
    late.setVideoFormat(videoStreamFormat(720, 576, 25), 3);
    late.attachConsumer(&kept);
    late.start();
    std::vector<int> perHalfSecond(4, 0);
    for (int i = 0; i < 60; ++i) {
        std::size_t before = kept.video.size();
        std::vector<uint8_t> picture = test::uyvyPicture(w, h, i);
        late.onPicture(picture.data(), picture.size());
        if (kept.video.size() > before)
            ++perHalfSecond[static_cast<std::size_t>(wrapping.elapsedMs() / 500)];
        wrapping.advanceMs((i + 1) * 1000 / 30 - i * 1000 / 30);
    }
    // As without the wrap.
    std::vector<int> expected(4, 0);
    for (uint32_t t : keptAt)
        ++expected[(t - keptAt[0]) / 500];
    EXPECT_EQ(perHalfSecond, expected);
    late.detachAllConsumers();
}

TEST_F(RecordEncoderTest, EncodeSizeFollowsTheSizeMode) {
    struct Case {
        int mode;
        int width, height;
    } cases[] = {{1, 720, 576}, {2, 360, 576}, {3, 360, 288}, {7, 720, 576}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.mode);
        encoder.setVideoFormat(videoStreamFormat(720, 576, 25), c.mode);
        encoder.start();
        EXPECT_EQ(encoder.encodeWidth(), c.width);
        EXPECT_EQ(encoder.encodeHeight(), c.height);
        EXPECT_EQ(encoder.bufferBytes(), static_cast<std::size_t>(c.width) * c.height * 2 + 1024);
        EXPECT_TRUE(encoder.encoderOpen());
        encoder.stop();
    }
}

TEST_F(RecordEncoderTest, StampsAndDescribesTheEncodedPicture) {
    encoder.start();  // size mode 3 at 720 x 576
    feedPictures(3, 40);
    ASSERT_EQ(stamp.calls.size(), 3u);
    EXPECT_EQ(stamp.calls[0].width, 360);
    EXPECT_EQ(stamp.calls[0].height, 288);
    EXPECT_EQ(stamp.calls[0].compression, kFourccUyvy);
    EXPECT_EQ(stamp.calls[0].rowStride, 720);

    // The writer is told the encoded size and the record rate.
    ASSERT_FALSE(consumer.formatCalls.empty());
    const auto& formats = consumer.formatCalls.back().formats;
    ASSERT_EQ(formats.size(), 2u);
    EXPECT_EQ(formats[0].width, 360);
    EXPECT_EQ(formats[0].height, 288);
    EXPECT_EQ(formats[0].rate, 25);
    EXPECT_EQ(formats[1].rate, 48000);
}

TEST_F(RecordEncoderTest, KeyFrameFlagsAreTheEncodersOwn) {
    encoder.start();
    feedPictures(60, 40);
    ASSERT_EQ(consumer.video.size(), 60u);
    EXPECT_TRUE(consumer.video[0].packet.isKeyFrame());
    int sinceKey = 0;
    int keys = 0;
    for (const PacketCopy& p : consumer.video) {
        int type = vopCodingType(p.packet);
        ASSERT_GE(type, 0);
        EXPECT_EQ(p.packet.isKeyFrame(), type == 0);  // flagged exactly when it is an I picture
        if (p.packet.isKeyFrame()) {
            ++keys;
            sinceKey = 0;
        } else {
            ++sinceKey;
        }
        EXPECT_LT(sinceKey, 5);  // at most 5 pictures from one key frame to the next
    }
    EXPECT_GE(keys, 12);
}

TEST_F(RecordEncoderTest, ShortPicturesAndPicturesOutsideARecordingAreIgnored) {
    std::vector<uint8_t> picture = test::uyvyPicture(360, 288, 0);
    encoder.onPicture(picture.data(), picture.size());  // not recording
    encoder.start();
    encoder.onPicture(picture.data(), picture.size() - 2);  // shorter than 360 x 288 x 2
    EXPECT_TRUE(consumer.video.empty());
    clock.advanceMs(40);
    encoder.onPicture(picture.data(), picture.size());
    EXPECT_EQ(consumer.video.size(), 1u);
    encoder.stop();
    encoder.onPicture(picture.data(), picture.size());
    EXPECT_EQ(consumer.video.size(), 1u);
}

TEST_F(RecordEncoderTest, SoundComesOutInWhole512ByteMonoBlocks) {
    encoder.start();
    // 2 000 stereo frames cut into pieces of any length, even inside a frame.
    std::vector<uint8_t> stream = test::stereoTone(2000, 0);
    const std::size_t pieces[] = {1, 3, 700, 1021, 2, 333, 2048, 9, 517, 1};
    std::size_t at = 0;
    for (std::size_t bytes : pieces) {
        std::vector<uint8_t> piece(stream.begin() + at, stream.begin() + at + bytes);
        encoder.onSound(piece.data(), piece.size());
        at += bytes;
    }
    ASSERT_EQ(at, 4635u);  // 1 158 whole frames and 3 bytes of the next one

    std::vector<uint8_t> expected;
    for (std::size_t i = 0; i < 2000; ++i) {
        int16_t v;
        std::memcpy(&v, &stream[i * 4], 2);
        uint8_t raw[2];  // the mixed sample, at the level it was heard
        std::memcpy(raw, &v, 2);
        expected.insert(expected.end(), raw, raw + 2);
    }
    for (const PacketCopy& p : consumer.audio) {
        EXPECT_EQ(p.packet.length, 512u);
        EXPECT_TRUE(p.packet.isKeyFrame());
        EXPECT_EQ(p.packet.kind, static_cast<uint32_t>(StreamKind::Audio));
    }
    std::vector<uint8_t> got = consumer.audioBytes();
    ASSERT_EQ(got.size(), 2048u);  // four blocks; the rest waits for more sound
    EXPECT_TRUE(std::equal(got.begin(), got.end(), expected.begin()));

    // The waiting sound comes out, in order, with the rest of the stream.
    std::vector<uint8_t> tail(stream.begin() + at, stream.end());
    encoder.onSound(tail.data(), tail.size());
    got = consumer.audioBytes();
    ASSERT_EQ(got.size(), 3584u);  // 4 000 mono bytes make seven whole blocks
    EXPECT_TRUE(std::equal(got.begin(), got.end(), expected.begin()));
}

TEST_F(RecordEncoderTest, RecordedSoundKeepsTheLevelHeardLiveUpToFullScale) {
    encoder.start();
    // Frames as the capture graph mixes them (both samples hold the clamped sum): full scale,
    // loud and quiet.
    const int16_t heard[] = {32767, -32768, 30000, -30000, 16384, -16385, 1, 0};
    std::vector<uint8_t> block;
    while (block.size() < 1024) {
        for (int16_t v : heard) {
            uint8_t raw[2];
            std::memcpy(raw, &v, 2);
            block.insert(block.end(), {raw[0], raw[1], raw[0], raw[1]});
        }
    }
    encoder.onSound(block.data(), block.size());
    ASSERT_EQ(consumer.audio.size(), 1u);
    for (std::size_t i = 0; i < 256; ++i) {
        int16_t recorded;
        std::memcpy(&recorded, consumer.audio[0].packet.data + i * 2, 2);
        ASSERT_EQ(recorded, heard[i % std::size(heard)]) << "sample " << i;
    }
}

TEST_F(RecordEncoderTest, MonoSoundPassesUnchanged) {
    RecordEncoder mono{clock};
    FakeConsumer c;
    mono.setAudioFormat(audioStreamFormat(48000, 16, 1));
    mono.attachConsumer(&c);
    mono.start();
    std::vector<uint8_t> sound(1024);
    for (std::size_t i = 0; i < sound.size(); ++i)
        sound[i] = static_cast<uint8_t>(i * 7);
    std::vector<uint8_t> copy = sound;
    mono.onSound(sound.data(), 300);
    mono.onSound(sound.data() + 300, 724);
    EXPECT_EQ(c.audioBytes(), copy);
    mono.detachAllConsumers();
}

TEST_F(RecordEncoderTest, StopAndStartReopensWithTheNewRateAndSize) {
    encoder.start();
    feedPictures(10, 40);
    std::vector<uint8_t> tail = test::stereoTone(100, 5000);  // leaves 400 bytes in the carry
    encoder.onSound(tail.data(), tail.size());
    encoder.stop();
    EXPECT_EQ(consumer.finishCalls, 1);
    EXPECT_FALSE(encoder.isRunning());
    EXPECT_FALSE(encoder.encoderOpen());

    gConfig.recordFps = 10;
    encoder.setVideoFormat(videoStreamFormat(720, 576, 25), 1);
    consumer.video.clear();
    consumer.audio.clear();
    encoder.start();
    EXPECT_EQ(encoder.recordFps(), 10);
    EXPECT_EQ(encoder.encodeWidth(), 720);
    EXPECT_EQ(encoder.encodeHeight(), 576);

    // A second of pictures at 25 per second keeps 10 of them.
    feedPictures(25, 40);
    EXPECT_EQ(consumer.video.size(), 10u);
    EXPECT_TRUE(consumer.video[0].packet.isKeyFrame());
    const auto& formats = consumer.formatCalls.back().formats;
    EXPECT_EQ(formats[0].rate, 10);
    EXPECT_EQ(formats[0].width, 720);

    // The earlier recording's carried sound does not leak into this one.
    std::vector<uint8_t> block = test::stereoTone(128, 0);  // 256 mono bytes
    encoder.onSound(block.data(), block.size());
    encoder.onSound(block.data(), block.size());
    ASSERT_EQ(consumer.audio.size(), 1u);
    int16_t firstSample;
    std::memcpy(&firstSample, consumer.audio[0].packet.data, 2);
    EXPECT_EQ(firstSample, -8000);  // the first sample of the new sound
}

TEST_F(RecordEncoderTest, WithoutAVideoFormatTheRecordingRunsWithoutVideo) {
    RecordEncoder bare{clock};
    FakeConsumer c;
    bare.attachConsumer(&c);
    bare.start();
    EXPECT_TRUE(bare.isRunning());
    EXPECT_FALSE(bare.encoderOpen());
    std::vector<uint8_t> picture = test::uyvyPicture(360, 288, 0);
    bare.onPicture(picture.data(), picture.size());
    EXPECT_TRUE(c.video.empty());
    std::vector<uint8_t> block = test::stereoTone(256, 0);
    bare.onSound(block.data(), block.size());
    EXPECT_EQ(c.audio.size(), 1u);
    bare.detachAllConsumers();
    EXPECT_FALSE(bare.isRunning());
}

}  // namespace
}  // namespace vidora
