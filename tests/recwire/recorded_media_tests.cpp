// What the files hold, read back by other programs: the colours of snapshots and recordings of
// the same picture, the shape players give recordings of every size, and the level and shape of
// loud sound in a recording against the sound the user hears.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <set>

#include "engine/recording_bridge.h"
#include "engine/video_transfer.h"
#include "platform/clock.h"
#include "platform/relaxed.h"
#include "tests/engine/colour_bars.h"
#include "tests/recwire/sim_fixture.h"
#include "tests/support/jpeg_decoder.h"

namespace vidora {
namespace {

using namespace test;

constexpr uint32_t kUyvy = 0x59565955;

struct RgbPicture {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> rgb;  // top row first

    // Mean colour of the 5 x 5 pixels around (x, y).
    Rgb8 at(int x, int y) const {
        int sum[3] = {};
        for (int dy = -2; dy <= 2; ++dy) {
            for (int dx = -2; dx <= 2; ++dx) {
                const uint8_t* p = &rgb[(static_cast<std::size_t>(y + dy) * width + x + dx) * 3];
                for (int c = 0; c < 3; ++c)
                    sum[c] += p[c];
            }
        }
        return {(sum[0] + 12) / 25, (sum[1] + 12) / 25, (sum[2] + 12) / 25};
    }
};

// The last picture of a file as ffmpeg decodes it to RGB. `extraFilter` goes before the
// conversion to RGB.
RgbPicture decodeLastPicture(const std::string& path, const std::string& extraFilter = "") {
    RgbPicture p;
    auto values = probe(path);
    p.width = static_cast<int>(number(values, "stream.0.width"));
    p.height = static_cast<int>(number(values, "stream.0.height"));
    const std::string raw = path + ".rgb";
    const std::string filter = extraFilter.empty() ? "" : " -vf " + extraFilter;
    CommandResult r = run("ffmpeg -nostdin -v error -y -i " + quoted(path) + filter +
                          " -f rawvideo -pix_fmt rgb24 " + quoted(raw) + " 2>&1");
    const std::size_t bytes = static_cast<std::size_t>(std::max(0, p.width * p.height)) * 3;
    if (r.status == 0 && bytes > 0) {
        std::vector<uint8_t> all = readFile(raw);
        if (all.size() >= bytes && all.size() % bytes == 0)
            p.rgb.assign(all.end() - static_cast<std::ptrdiff_t>(bytes), all.end());
    }
    std::remove(raw.c_str());
    return p;
}

// A JPEG file as the JPEG library decodes it.
RgbPicture decodeJpeg(const std::string& path) {
    RgbImage image = decodeJpegFile(path);
    return {image.width, image.height, std::move(image.rgb)};
}

// A BMP file's pixels, read as the file layout says (bottom-up blue-green-red after 54 bytes).
RgbPicture readBmp(const std::string& path) {
    RgbPicture p;
    const std::vector<uint8_t> b = readFile(path);
    if (b.size() < 54)
        return p;
    p.width = static_cast<int>(le32(b, 18));
    p.height = static_cast<int>(le32(b, 22));
    const std::size_t row = static_cast<std::size_t>(p.width) * 3;
    if (b.size() != 54 + row * p.height)
        return p;
    for (int y = 0; y < p.height; ++y) {
        const uint8_t* s = &b[54 + row * static_cast<std::size_t>(p.height - 1 - y)];
        for (int x = 0; x < p.width; ++x, s += 3)
            p.rgb.insert(p.rgb.end(), {s[2], s[1], s[0]});
    }
    return p;
}

// The engine's picture path without a receiver: the video transfer filter and the recording
// side, fed by hand on a manual clock.
class PicturePath {
  public:
    PicturePath(const TempFolder& folder, int width, int height, int sizeMode)
        : bridge(clock), transfer(bridge) {
        resetSettings(folder.path());
        gConfig.recordImageSize = sizeMode;
        gConfig.recordFps = 25;
        transfer.setPacing(std::chrono::microseconds(0));
        bridge.setWriterSettings(folder.path(), 64ull << 20);
        bridge.attachWriter();
        bridge.setAudioFormat(audioStreamFormat(48000, 16, 2));
        ok = transfer.acceptVideoFormat({width, height, kUyvy, 25});
        transfer.setActive(true);
    }
    ~PicturePath() {
        storeRelaxed(gState.recordingOn, 0);
        bridge.detachWriter();
    }

    // Records `pictures` copies of `picture` at 25 per second, with silent sound beside them.
    void record(const std::vector<uint8_t>& picture, int pictures) {
        ASSERT_TRUE(bridge.startRecording().ok());
        storeRelaxed(gState.recordingOn, 1);
        const std::vector<uint8_t> silence(1920 * 4);  // 40 ms of stereo frames
        for (int i = 0; i < pictures; ++i) {
            transfer.renderVideo(picture.data(), picture.size());
            bridge.onSound(silence.data(), silence.size());
            clock.advanceMs(40);
        }
        storeRelaxed(gState.recordingOn, 0);
        bridge.stopRecording();
    }

    // A snapshot of the latest picture in `format` (1 JPEG, 2 BMP) and size kind `size`.
    void snapshot(int format, int size) {
        gConfig.pictureFormat = format;
        gConfig.pictureSize = size;
        bridge.takeSnapshot(transfer);
        clock.advanceMs(1000);  // the next one gets a name of its own
    }

    ManualClock clock;
    RecordingBridge bridge;
    VideoTransfer transfer;
    bool ok = false;
};

std::string fileEndingWith(const TempFolder& folder, const std::string& ext) {
    auto files = filesEndingWith(folder, ext);
    return files.size() == 1 ? files[0] : std::string();
}

// Snapshots show the colours the picture was made of, and a recording of the same picture shows
// them as the snapshot does.
TEST(RecordedColours, SnapshotsAndRecordingsShowTheColoursOfThePicture) {
    const std::vector<uint8_t> bars = colourBarsUyvy(720, 576);
    for (int mode : {1, 3}) {
        SCOPED_TRACE("size " + std::to_string(mode));
        TempFolder folder;
        PicturePath path(folder, 720, 576, mode);
        ASSERT_TRUE(path.ok);
        path.record(bars, 12);
        path.snapshot(2, mode);
        path.snapshot(1, mode);

        const RgbPicture bmp = readBmp(fileEndingWith(folder, ".bmp"));
        const RgbPicture jpeg = decodeJpeg(fileEndingWith(folder, ".jpg"));
        // The recording keeps the receiver's luma levels, and the live view reads them as full
        // range: decoded the same way, the recording must look like the snapshot.
        const RgbPicture avi =
            decodeLastPicture(fileEndingWith(folder, ".avi"), "scale=in_range=full");
        const int w = mode == 1 ? 720 : 360, h = mode == 1 ? 576 : 288;
        for (const RgbPicture* p : {&bmp, &jpeg, &avi}) {
            ASSERT_EQ(p->width, w);
            ASSERT_EQ(p->height, h);
            ASSERT_EQ(p->rgb.size(), static_cast<std::size_t>(w) * h * 3);
        }
        for (int bar = 0; bar < 8; ++bar) {
            const Rgb8 want = kColourBars[static_cast<std::size_t>(bar)];
            for (int y : {h / 4, h / 2, 3 * h / 4}) {
                const int x = barCentre(bar, w);
                const Rgb8 fromBmp = bmp.at(x, y), fromJpeg = jpeg.at(x, y);
                const Rgb8 fromAvi = avi.at(x, y);
                // The bars' own rounding and the conversion's truncation; the JPEG's loss in the
                // middle of a flat bar stays within that.
                EXPECT_LE(colourDistance(fromBmp, want), 3)
                    << "BMP bar " << bar << ": " << describe(fromBmp) << " for " << describe(want);
                EXPECT_LE(colourDistance(fromJpeg, want), 3)
                    << "JPEG bar " << bar << ": " << describe(fromJpeg) << " for "
                    << describe(want);
                // MPEG-4 at the recording's bit rate keeps a flat area within a couple of
                // levels of Y, U and V; through 1.4 and 1.8 times the chroma that makes up to
                // about 6 in a colour channel.
                EXPECT_LE(colourDistance(fromAvi, fromBmp), 6)
                    << "recording bar " << bar << ": " << describe(fromAvi)
                    << " against the snapshot's " << describe(fromBmp);
            }
        }
    }
}

// Players show every recording in the cameras' 4:3 shape, whatever the record size and the
// video standard; the stream keeps its own size.
TEST(RecordedShape, EveryRecordSizeIsShownFourByThree) {
    struct Case {
        int width, height, mode;
        int encodedWidth, encodedHeight;
    };
    const Case cases[] = {
        {720, 576, 1, 720, 576}, {720, 576, 2, 360, 576}, {720, 576, 3, 360, 288},  // PAL
        {720, 480, 1, 720, 480}, {720, 480, 2, 360, 480}, {720, 480, 3, 360, 240},  // NTSC
        {352, 288, 1, 352, 288}, {640, 480, 1, 640, 480},                           // other sources
    };
    for (const Case& c : cases) {
        const std::string what = std::to_string(c.width) + "x" + std::to_string(c.height) +
                                 " size " + std::to_string(c.mode);
        SCOPED_TRACE(what);
        TempFolder folder;
        PicturePath path(folder, c.width, c.height, c.mode);
        ASSERT_TRUE(path.ok);
        path.record(uyvyPicture(c.width, c.height, 0), 6);
        const std::string avi = fileEndingWith(folder, ".avi");
        ASSERT_FALSE(avi.empty());
        auto values = probe(avi);
        ASSERT_EQ(values.count("error"), 0u) << values["error"];
        EXPECT_EQ(values["stream.0.width"], std::to_string(c.encodedWidth));
        EXPECT_EQ(values["stream.0.height"], std::to_string(c.encodedHeight));
        EXPECT_EQ(values["stream.0.display_aspect_ratio"], "4:3");
        EXPECT_EQ(decodeVideoFrames(avi), 6);
    }

    // A size whose pixel aspect has no exact form in a byte each still comes out 4:3 to a
    // fraction of a percent.
    TempFolder folder;
    PicturePath path(folder, 716, 572, 1);
    ASSERT_TRUE(path.ok);
    path.record(uyvyPicture(716, 572, 0), 3);
    auto values = probe(fileEndingWith(folder, ".avi"));
    const std::string sar = values["stream.0.sample_aspect_ratio"];
    const auto colon = sar.find(':');
    ASSERT_NE(colon, std::string::npos) << sar;
    const double aspect = 716.0 * std::atof(sar.c_str()) / std::atof(sar.c_str() + colon + 1) / 572;
    EXPECT_NEAR(aspect, 4.0 / 3.0, 0.005) << sar;
}

// The engine's recording side, with a look at the sound blocks that reach it: the same blocks
// the capture graph plays to the sound output.
class ListeningRecording final : public RecordingPort {
  public:
    void setVideoFormat(const StreamFormat& format, int sizeMode) override {
        inner.setVideoFormat(format, sizeMode);
    }
    void setAudioFormat(const StreamFormat& format) override { inner.setAudioFormat(format); }
    void onPicture(const uint8_t* data, std::size_t length) override {
        inner.onPicture(data, length);
    }
    void onSound(const uint8_t* data, std::size_t length) override {
        {
            std::lock_guard lock(mutex);
            for (std::size_t i = 0; i + 4 <= length; i += 4)
                heard.push_back(static_cast<int16_t>(data[i] | data[i + 1] << 8));
        }
        inner.onSound(data, length);
    }
    void setWriterSettings(const std::string& folder, uint64_t maxFileBytes) override {
        inner.setWriterSettings(folder, maxFileBytes);
    }
    void attachWriter() override { inner.attachWriter(); }
    void detachWriter() override { inner.detachWriter(); }
    Result startRecording() override { return inner.startRecording(); }
    void stopRecording() override { inner.stopRecording(); }
    bool recordingEndedAtLimit() override { return inner.recordingEndedAtLimit(); }
    PictureWriteResult takeSnapshot(StoredPictureSource& source) override {
        return inner.takeSnapshot(source);
    }

    std::vector<int16_t> heardSamples() {
        std::lock_guard lock(mutex);
        return heard;
    }

    RecordingBridge inner;
    std::mutex mutex;
    std::vector<int16_t> heard;  // the left sample of every frame (the right one is the same)
};

class RecordedSoundTest : public SimEngineFixture {};

TEST_F(RecordedSoundTest, ALoudToneIsRecordedAsHeardClippedButNeverWrapped) {
    const int16_t left = 32000, right = 31000;  // a sine near full scale in both channels
    sim->setToneAmplitudes(left, right);
    ListeningRecording* listening = nullptr;
    EngineFactories factories;
    factories.backend = [s = sim] { return sim::createSimulatedBackend(s); };
    factories.soundPlayer = [log = soundLog] { return std::make_unique<FakeSoundPlayer>(log); };
    factories.recording = [&listening] {
        auto port = std::make_unique<ListeningRecording>();
        listening = port.get();
        return port;
    };
    registerEngineModule(factories);
    startApp();
    ASSERT_NE(listening, nullptr);
    ASSERT_TRUE(picturesFlow());
    ASSERT_EQ(sendMessage(ENG_RECORD_START), 0);
    pumpFor(2000);
    sendMessage(ENG_RECORD_STOP);

    auto files = filesEndingWith(folder, ".avi");
    ASSERT_EQ(files.size(), 1u);
    const std::vector<int16_t> recorded = decodedSound(files[0]);
    const std::vector<int16_t> heard = listening->heardSamples();
    ASSERT_GT(recorded.size(), static_cast<std::size_t>(sim::kSampleRate));
    ASSERT_GT(heard.size(), static_cast<std::size_t>(sim::kSampleRate));

    // The tone's own largest step from one sample to the next, before any clipping.
    const int period = sim::kSampleRate / sim::SimulatedReceiver::toneFrequencyHz(0);
    int maxStep = 0;
    for (int i = 0; i < period; ++i) {
        const auto a = sim::SimulatedReceiver::toneSample(0, i, left, right);
        const auto b = sim::SimulatedReceiver::toneSample(0, i + 1, left, right);
        maxStep = std::max(maxStep, std::abs(b[0] + b[1] - a[0] - a[1]));
    }
    auto largestJump = [](const std::vector<int16_t>& s) {
        int jump = 0;
        for (std::size_t i = 1; i < s.size(); ++i)
            jump = std::max(jump, std::abs(s[i] - s[i - 1]));
        return jump;
    };
    EXPECT_LE(largestJump(heard), maxStep) << "the live sound wraps round";
    EXPECT_LE(largestJump(recorded), maxStep) << "the recorded sound wraps round";

    // Loud enough to clip, and recorded at the level heard: the same peaks, and no sample the
    // user did not hear.
    const auto [heardLow, heardHigh] = std::minmax_element(heard.begin(), heard.end());
    const auto [recordedLow, recordedHigh] = std::minmax_element(recorded.begin(), recorded.end());
    EXPECT_EQ(*heardHigh, 32767);
    EXPECT_EQ(*heardLow, -32768);
    EXPECT_EQ(*recordedHigh, *heardHigh);
    EXPECT_EQ(*recordedLow, *heardLow);
    const std::set<int16_t> heardValues(heard.begin(), heard.end());
    const auto unheard = std::count_if(recorded.begin(), recorded.end(),
                                       [&](int16_t v) { return heardValues.count(v) == 0; });
    EXPECT_EQ(unheard, 0);
}

}  // namespace
}  // namespace vidora
