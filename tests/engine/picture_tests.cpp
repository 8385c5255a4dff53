// Downscales, the 4:2:2 to 24-bit conversion and the video and audio sinks.
#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "app/settings.h"
#include "engine/audio_transfer.h"
#include "engine/picture_conversion.h"
#include "engine/picture_ops.h"
#include "engine/video_transfer.h"
#include "platform/relaxed.h"
#include "tests/engine/colour_bars.h"
#include "tests/engine/fakes.h"

namespace vidora {
namespace {

using test::FakeVideoWindow;
using test::RecordingLog;
using test::SpyRecordingPort;

constexpr uint32_t kUyvy = 0x59565955;

// Straightforward reference of the half-width rule, independent of the library's code.
std::vector<uint8_t> referenceHalfWidth(const std::vector<uint8_t>& in, int w, int h, int step) {
    std::vector<uint8_t> out;
    for (int row = 0; row < h; row += step) {
        const uint8_t* s = in.data() + static_cast<std::size_t>(row) * w * 2;
        for (int g = 0; g < w / 4; ++g, s += 8) {
            out.push_back(static_cast<uint8_t>((s[0] + s[4]) / 2));
            out.push_back(static_cast<uint8_t>((s[1] + s[3]) / 2));
            out.push_back(static_cast<uint8_t>((s[2] + s[6]) / 2));
            out.push_back(static_cast<uint8_t>((s[5] + s[7]) / 2));
        }
    }
    return out;
}

std::vector<uint8_t> randomPicture(int w, int h, unsigned seed) {
    std::mt19937 gen(seed);
    std::vector<uint8_t> data(static_cast<std::size_t>(w) * h * 2);
    for (auto& b : data)
        b = static_cast<uint8_t>(gen());
    return data;
}

TEST(Downscale, HandComputedGroupAndRows) {
    // Two rows of one 8-byte group each; the second row differs so half size shows which row
    // it took.
    const std::vector<uint8_t> in = {10, 20, 30, 41, 51, 60, 71, 255,  //
                                     1,  1,  1,  1,  1,  1,  1,  1};
    uint8_t halfWidth[8] = {};
    halfWidthUyvy(in.data(), 4, 2, halfWidth);
    const uint8_t expectedRow0[4] = {30, 30, 50, 157};  // floor averages, never rounded up
    EXPECT_EQ(0, std::memcmp(halfWidth, expectedRow0, 4));
    const uint8_t expectedRow1[4] = {1, 1, 1, 1};
    EXPECT_EQ(0, std::memcmp(halfWidth + 4, expectedRow1, 4));

    uint8_t halfSize[4] = {};
    halfSizeUyvy(in.data(), 4, 2, halfSize);
    EXPECT_EQ(0, std::memcmp(halfSize, expectedRow0, 4));
}

TEST(Downscale, FullPicturesMatchTheRuleBitForBitOnEveryVectorPath) {
    for (PictureOpsPath path : {PictureOpsPath::Best, PictureOpsPath::Avx2, PictureOpsPath::Sse2,
                                PictureOpsPath::Scalar}) {
        setPictureOpsPath(path);
        for (auto [w, h] : {std::pair{720, 576}, std::pair{720, 480}, std::pair{708, 6}}) {
            const auto in = randomPicture(w, h, static_cast<unsigned>(w + h));
            const std::string what = std::to_string(w) + "x" + std::to_string(h) + " path " +
                                     std::to_string(static_cast<int>(path));
            std::vector<uint8_t> halfWidth(static_cast<std::size_t>(w) * h);
            halfWidthUyvy(in.data(), w, h, halfWidth.data());
            EXPECT_EQ(halfWidth, referenceHalfWidth(in, w, h, 1)) << what;

            std::vector<uint8_t> copy(in.size());
            std::vector<uint8_t> halfWidth2(halfWidth.size());
            copyAndHalfWidthUyvy(in.data(), w, h, copy.data(), halfWidth2.data());
            EXPECT_EQ(copy, in) << what;
            EXPECT_EQ(halfWidth2, halfWidth) << what;

            std::vector<uint8_t> halfSize(static_cast<std::size_t>(w) * h / 2);
            halfSizeUyvy(in.data(), w, h, halfSize.data());
            EXPECT_EQ(halfSize, referenceHalfWidth(in, w, h, 2)) << what;

            std::vector<uint8_t> fromHalf(halfSize.size());
            halfSizeFromHalfWidth(halfWidth.data(), w, h, fromHalf.data());
            EXPECT_EQ(fromHalf, halfSize) << what;
        }
    }
    setPictureOpsPath(PictureOpsPath::Best);
}

// Two pixels of a stored picture: their bytes in memory order.
std::array<uint8_t, 6> convertGroup(uint8_t c0, uint8_t y0, uint8_t c2, uint8_t y1) {
    const uint8_t in[4] = {c0, y0, c2, y1};
    std::array<uint8_t, 6> out{};
    convertUyvyToBottomUpRgb24(in, 2, 1, out.data(), out.size());
    return out;
}

TEST(StoredPictureConversion, ColourBarsComeBackInTheirColours) {
    // Every pixel of every bar, blue-green-red in memory order, within the rounding of the
    // bars' own conversion to 4:2:2.
    const auto bars = test::colourBarsUyvy(64, 1);
    std::vector<uint8_t> out(64 * 3);
    convertUyvyToBottomUpRgb24(bars.data(), 64, 1, out.data(), out.size());
    for (int x = 0; x < 64; ++x) {
        const test::Rgb8 want = test::kColourBars[static_cast<std::size_t>(x / 8)];
        const test::Rgb8 got{out[x * 3 + 2], out[x * 3 + 1], out[x * 3]};
        EXPECT_LE(test::colourDistance(got, want), 3)
            << "bar " << x / 8 << " pixel " << x << ": " << test::describe(got) << " for "
            << test::describe(want);
    }
}

TEST(StoredPictureConversion, GreyStaysGreyAndStrongColoursClampInsteadOfWrapping) {
    EXPECT_EQ(convertGroup(128, 100, 128, 200),
              (std::array<uint8_t, 6>{100, 100, 100, 200, 200, 200}));
    // Deepest blue-yellow and red-cyan chroma on bright and dark luma: the channels that run
    // past the ends stay at 255 and 0.
    const auto blueish = convertGroup(255, 250, 0, 5);
    EXPECT_EQ(blueish[0], 255);  // bright pixel: blue runs over
    EXPECT_EQ(blueish[1], 255);
    EXPECT_EQ(blueish[5], 0);  // dark pixel: red runs under
    const auto reddish = convertGroup(0, 250, 255, 5);
    EXPECT_EQ(reddish[2], 255);
    EXPECT_EQ(reddish[3], 0);
    // The smallest chroma offsets: the products truncate toward zero.
    EXPECT_EQ(convertGroup(129, 100, 127, 100),
              (std::array<uint8_t, 6>{101, 100, 99, 101, 100, 99}));
}

TEST(StoredPictureConversion, BottomUpWithHeader) {
    // Row 0 grey 10, row 1 grey 20 (4 pixels each): row 0 must be the last row of the bitmap.
    const std::vector<uint8_t> in = {128, 10, 128, 10, 128, 10, 128, 10,
                                     128, 20, 128, 20, 128, 20, 128, 20};
    StoredPicture picture = storedPictureFromUyvy(in.data(), 4, 2);
    ASSERT_EQ(picture.size(), 40u + 4 * 2 * 3);
    std::vector<uint8_t> expectedPixels(12, 20);
    expectedPixels.insert(expectedPixels.end(), 12, 10);
    EXPECT_EQ(std::vector<uint8_t>(picture.pixels(), picture.pixels() + 24), expectedPixels);

    const uint8_t expectedHeader[40] = {40, 0, 0, 0, 4, 0, 0, 0, 2, 0, 0, 0, 1, 0, 24, 0};
    EXPECT_EQ(0, std::memcmp(picture.data(), expectedHeader, 40));
    EXPECT_EQ(picture.width(), 4);
    EXPECT_EQ(picture.height(), 2);
}

class TransferTest : public ::testing::Test {
  protected:
    void SetUp() override {
        applyDefaultSettings();
        transfer.setPacing(std::chrono::microseconds(0));
    }
    void accept(int w, int h) { ASSERT_TRUE(transfer.acceptVideoFormat({w, h, kUyvy, 25})); }

    std::shared_ptr<RecordingLog> log = std::make_shared<RecordingLog>();
    SpyRecordingPort port{log};
    VideoTransfer transfer{port};
};

TEST_F(TransferTest, AcceptedFormatIsPassedOnAndPublished) {
    storeRelaxed(gConfig.recordImageSize, 2);
    accept(720, 576);
    EXPECT_EQ(gState.videoWidth, 720);
    EXPECT_EQ(gState.videoHeight, 576);
    ASSERT_EQ(log->videoFormats.size(), 1u);
    const StreamFormat f = log->videoFormats[0].first;
    const uint8_t expected[16] = {0,    1,    25,   0, 0x40, 0x02, 0xD0, 0x02,
                                  0x00, 0xA8, 0x0C, 0, 16,   0,    0,    0};
    EXPECT_EQ(0, std::memcmp(&f, expected, 16));  // 576 = 0x240, 720 = 0x2D0, 829 440 = 0xCA800
    EXPECT_EQ(log->videoFormats[0].second, 2);
    EXPECT_TRUE(transfer.interlaced());

    // Anything but packed 4:2:2 in whole pixel-pair groups is refused.
    EXPECT_FALSE(transfer.acceptVideoFormat({720, 576, 0x32595559 /* YUY2 */, 25}));
    EXPECT_FALSE(transfer.acceptVideoFormat({722, 576, kUyvy, 25}));
    EXPECT_FALSE(transfer.acceptVideoFormat({0, 576, kUyvy, 25}));
    EXPECT_EQ(log->videoFormats.size(), 1u);
}

TEST_F(TransferTest, StoredPictureIsBlackUntilAPictureArrivesWhileTheGraphRuns) {
    accept(720, 576);
    transfer.setActive(true);
    auto before = transfer.makeStoredPicture(3);
    ASSERT_FALSE(before.empty());
    EXPECT_EQ(before.width(), 360);
    EXPECT_EQ(before.height(), 288);
    EXPECT_TRUE(std::all_of(before.pixels(), before.pixels() + before.pixelBytes(),
                            [](uint8_t b) { return b == 0; }));

    const auto picture = randomPicture(720, 576, 7);
    transfer.renderVideo(picture.data(), picture.size());
    for (int kind = 1; kind <= 3; ++kind) {
        auto stored = transfer.makeStoredPicture(kind);
        ASSERT_FALSE(stored.empty());
        std::vector<uint8_t> source = picture;
        int w = 720, h = 576;
        if (kind >= 2) {
            source = referenceHalfWidth(picture, 720, 576, kind == 2 ? 1 : 2);
            w = 360;
            h = kind == 2 ? 576 : 288;
        }
        StoredPicture expected = storedPictureFromUyvy(source.data(), w, h);
        ASSERT_EQ(stored.size(), expected.size()) << kind;
        EXPECT_EQ(0, std::memcmp(stored.data(), expected.data(), expected.size())) << kind;
    }
    EXPECT_TRUE(transfer.makeStoredPicture(4).empty());

    // A stopped graph gives black pictures again.
    transfer.setActive(false);
    auto stopped = transfer.makeStoredPicture(1);
    EXPECT_TRUE(std::all_of(stopped.pixels(), stopped.pixels() + stopped.pixelBytes(),
                            [](uint8_t b) { return b == 0; }));
}

// Takes what the network stream would: the size, rate and bytes of every picture.
struct LiveFeedSpy final : LiveFeed {
    void onLivePicture(const uint8_t* data, std::size_t length, int w, int h, int r) override {
        pixels.assign(data, data + length);
        width = w;
        height = h;
        rate = r;
        ++pictures;
    }
    void onLiveSound(const uint8_t*, std::size_t length, int samplesPerSecond,
                     int channels) override {
        soundBytes += length;
        soundRate = samplesPerSecond;
        soundChannels = channels;
    }
    std::vector<uint8_t> pixels;
    int width = 0, height = 0, rate = 0, pictures = 0;
    std::size_t soundBytes = 0;
    int soundRate = 0, soundChannels = 0;
};

TEST_F(TransferTest, LiveFeedGetsEveryPictureInTheRecordSizeAndRateWhetherOrNotRecording) {
    LiveFeedSpy feed;
    transfer.setLiveFeed(&feed);
    storeRelaxed(gConfig.recordFps, 10);
    storeRelaxed(gState.recordingOn, 0);
    const auto picture = randomPicture(720, 576, 5);
    for (int mode = 1; mode <= 3; ++mode) {
        storeRelaxed(gConfig.recordImageSize, mode);
        accept(720, 576);
        transfer.renderVideo(picture.data(), picture.size());
        EXPECT_EQ(feed.pictures, mode);
        EXPECT_EQ(feed.width, mode == 1 ? 720 : 360);
        EXPECT_EQ(feed.height, mode == 3 ? 288 : 576);
        EXPECT_EQ(feed.rate, 10);
        const std::vector<uint8_t> expected =
            mode == 1 ? picture : referenceHalfWidth(picture, 720, 576, mode == 2 ? 1 : 2);
        EXPECT_EQ(feed.pixels, expected) << mode;
    }
    transfer.setLiveFeed(nullptr);
    transfer.renderVideo(picture.data(), picture.size());
    EXPECT_EQ(feed.pictures, 3);

    AudioTransfer audio(port);
    audio.setPacing(std::chrono::microseconds(0));
    audio.setLiveFeed(&feed);
    const std::vector<uint8_t> block(1024, 1);
    audio.renderAudio(block.data(), block.size());
    EXPECT_EQ(feed.soundBytes, 0u) << "sound passed on before its format was known";
    ASSERT_TRUE(audio.acceptAudioFormat({44100, 16, 2, 176400}));
    audio.renderAudio(block.data(), block.size());
    EXPECT_EQ(feed.soundBytes, 1024u);
    EXPECT_EQ(feed.soundRate, 44100);
    EXPECT_EQ(feed.soundChannels, 2);
}

TEST_F(TransferTest, RecordingGetsTheBufferOfTheSizeMode) {
    const auto picture = randomPicture(720, 480, 3);
    for (int mode = 1; mode <= 3; ++mode) {
        storeRelaxed(gConfig.recordImageSize, mode);
        accept(720, 480);
        storeRelaxed(gState.recordingOn, 0);
        transfer.renderVideo(picture.data(), picture.size());
        EXPECT_EQ(log->pictures.load(), mode - 1);
        storeRelaxed(gState.recordingOn, 1);
        transfer.renderVideo(picture.data(), picture.size());
        EXPECT_EQ(log->pictures.load(), mode);
        EXPECT_EQ(log->lastPictureLength.load(), 720u * 480 * 2 /
                                                     (mode == 1   ? 1
                                                      : mode == 2 ? 2
                                                                  : 4));
    }
    // A picture shorter than its format is dropped, not read past its end.
    transfer.renderVideo(picture.data(), picture.size() - 2);
    EXPECT_EQ(log->pictures.load(), 3);
    EXPECT_EQ(transfer.picturesDropped(), 1u);
}

TEST_F(TransferTest, LivePictureShowsTheFirstFieldOfInterlacedPicturesWithZoom) {
    FakeVideoWindow window;
    transfer.setWindow(&window);
    accept(720, 576);
    transfer.setLiveCell({0, 0, 704, 576}, 1);
    const auto picture = randomPicture(720, 576, 1);

    transfer.renderVideo(picture.data(), picture.size());
    LivePicture shown = window.lastPicture();
    EXPECT_EQ(shown.width, 720);
    EXPECT_EQ(shown.rows, 288);
    EXPECT_EQ(shown.pitch, 720 * 4);
    EXPECT_EQ(shown.source, (VideoRect{0, 0, 720, 288}));
    EXPECT_EQ(shown.destination, (VideoRect{0, 0, 704, 576}));

    // Zoom 2 on channel 1 with a pan: the field coordinates are halved vertically.
    storeRelaxed(gState.channelZoom[1], 2);
    storeRelaxed(gState.channelPan[1][0], 100);
    storeRelaxed(gState.channelPan[1][1], 60);
    transfer.renderVideo(picture.data(), picture.size());
    // From zoom 1 to 2 the pan moves by half the lost size: (360/2, 288/2) = (180, 144).
    EXPECT_EQ(window.lastPicture().source, (VideoRect{280, 102, 360, 144}));
    EXPECT_EQ(gState.channelPan[1][0], 280);
    EXPECT_EQ(gState.channelPan[1][1], 204);

    // A 704-wide picture is shown whole.
    accept(704, 576);
    const auto narrow = randomPicture(704, 576, 2);
    storeRelaxed(gState.channelZoom[1], 1);
    transfer.renderVideo(narrow.data(), narrow.size());
    shown = window.lastPicture();
    EXPECT_EQ(shown.rows, 576);
    EXPECT_EQ(shown.pitch, 704 * 2);
    EXPECT_EQ(shown.source, (VideoRect{0, 0, 704, 576}));
    EXPECT_EQ(window.pictures.load(), 3);
}

TEST(AudioTransferTest, FormatRecordAndBlocksWhileRecording) {
    applyDefaultSettings();
    auto log = std::make_shared<RecordingLog>();
    SpyRecordingPort port(log);
    AudioTransfer audio(port);
    audio.setPacing(std::chrono::microseconds(0));
    ASSERT_TRUE(audio.acceptAudioFormat({8000, 16, 2, 32000}));
    ASSERT_EQ(log->audioFormats.size(), 1u);
    const uint8_t expected[16] = {1, 1, 0x40, 0x1F, 0, 0, 0, 0, 0, 0, 0, 0, 16, 2, 0, 0};
    StreamFormat f = log->audioFormats[0];
    f.kbitPerSecond = 0;
    EXPECT_EQ(0, std::memcmp(&f, expected, 16));
    // 32 000 / 125 = 256 does not fit the byte: it saturates.
    EXPECT_EQ(log->audioFormats[0].kbitPerSecond, 255);
    ASSERT_TRUE(audio.acceptAudioFormat({8000, 16, 1, 16000}));
    EXPECT_EQ(log->audioFormats.back().kbitPerSecond, 128);

    const uint8_t block[8] = {1, 2, 1, 2, 3, 4, 3, 4};
    audio.renderAudio(block, sizeof block);
    EXPECT_EQ(log->soundBlocks.load(), 0);
    storeRelaxed(gState.recordingOn, 1);
    audio.renderAudio(block, sizeof block);
    EXPECT_EQ(log->soundBlocks.load(), 1);
    EXPECT_EQ(log->lastSound, std::vector<uint8_t>(block, block + 8));
    storeRelaxed(gState.recordingOn, 0);
    EXPECT_FALSE(audio.acceptAudioFormat({8000, 8, 2, 16000}));
}

}  // namespace
}  // namespace vidora
