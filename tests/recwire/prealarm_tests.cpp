// Alarm recordings that begin with the seconds before the alarm, through the engine's picture
// path on a manual clock, read back by ffprobe and ffmpeg: where the file begins, what it is
// named, that it decodes, that its sound lasts as long as its pictures, and that a channel
// switch leaves nothing of the channel before.
#include <gtest/gtest.h>

#include <cstdio>
#include <numeric>
#include <string>

#include "engine/recording_bridge.h"
#include "engine/video_transfer.h"
#include "platform/clock.h"
#include "platform/relaxed.h"
#include "tests/recwire/sim_fixture.h"

namespace vidora {
namespace {

using namespace test;

constexpr uint32_t kUyvy = 0x59565955;
constexpr uint32_t kFeedMs = 20;     // the receiver's pictures come 50 a second here
constexpr int kRecordFps = 10;       // pictures are kept every 100 ms, a key frame every 5
constexpr uint32_t kLiveMs = 3000;   // recorded after the alarm
constexpr uint32_t kAlarmMs = 8060;  // the alarm, from the first picture
constexpr int kLivePictures = 30;    // kept at 8100, 8200, ... 11000
constexpr uint32_t kKeyGroupMs = 500;

std::vector<uint8_t> flatPicture(int width, int height, uint8_t luma) {
    std::vector<uint8_t> p(static_cast<std::size_t>(width) * height * 2);
    for (std::size_t i = 0; i < p.size(); i += 2) {
        p[i] = 128;
        p[i + 1] = luma;
    }
    return p;
}

// The live picture path without a receiver, fed by hand on a manual clock.
class AlarmPath {
  public:
    explicit AlarmPath(const TempFolder& folder) : bridge(clock), transfer(bridge) {
        resetSettings(folder.path());
        gConfig.recordImageSize = 3;
        gConfig.recordFps = kRecordFps;
        transfer.setPacing(std::chrono::microseconds(0));
        bridge.setWriterSettings(folder.path(), 64ull << 20);
        bridge.attachWriter();
        bridge.setAudioFormat(audioStreamFormat(48000, 16, 2));
        ok = transfer.acceptVideoFormat({720, 576, kUyvy, 25});
        transfer.setActive(true);
    }
    ~AlarmPath() {
        storeRelaxed(gState.recordingOn, 0);
        bridge.detachWriter();
    }

    // Feeds until the clock reaches `untilMs`: a picture from `picture` and 20 ms of sound.
    void feed(uint32_t untilMs, const std::function<std::vector<uint8_t>(int)>& picture) {
        while (clock.elapsedMs() < untilMs) {
            const std::vector<uint8_t> p = picture(serial_);
            transfer.renderVideo(p.data(), p.size());
            const std::vector<uint8_t> sound = stereoTone(960, 960u * serial_);
            bridge.onSound(sound.data(), sound.size());
            ++serial_;
            clock.advanceMs(kFeedMs);
        }
    }
    void feedMoving(uint32_t untilMs) {
        feed(untilMs, [](int n) { return uyvyPicture(720, 576, n); });
    }

    PreAlarmPlan plan(uint32_t seconds) const {
        PreAlarmPlan p;
        p.seconds = seconds;
        p.sizeMode = 3;
        p.fps = kRecordFps;
        p.width = 720;
        p.height = 576;
        return p;
    }

    void startAlarm() {
        ASSERT_TRUE(bridge.startAlarmRecording().ok());
        storeRelaxed(gState.recordingOn, 1);
    }
    void startPlain() {
        ASSERT_TRUE(bridge.startRecording().ok());
        storeRelaxed(gState.recordingOn, 1);
    }
    void stop() {
        storeRelaxed(gState.recordingOn, 0);
        bridge.stopRecording();
    }

    ManualClock clock;
    RecordingBridge bridge;
    VideoTransfer transfer;
    bool ok = false;

  private:
    int serial_ = 0;
};

// The file name the writer gives a recording whose first picture was taken `ms` after the
// manual clock's start.
std::string nameAt(int64_t ms) {
    const SystemTime t = toLocalSystemTime(ManualClock().calendarSeconds() + ms / 1000);
    char name[64];
    std::snprintf(name, sizeof name, "%04u%02u%02u%02u%02u%02u.avi", unsigned{t.year},
                  unsigned{t.month}, unsigned{t.day}, unsigned{t.hour}, unsigned{t.minute},
                  unsigned{t.second});
    return name;
}

std::string baseName(const std::string& path) {
    return path.substr(path.find_last_of('/') + 1);
}

// Each decoded picture's mean luma, first to last.
std::vector<double> meanLumas(const std::string& avi, int width, int height) {
    const std::string raw = avi + ".gray";
    std::vector<double> means;
    CommandResult r = run("ffmpeg -nostdin -v error -y -i " + quoted(avi) +
                          " -f rawvideo -pix_fmt gray " + quoted(raw) + " 2>&1");
    if (r.status != 0)
        return means;
    const std::vector<uint8_t> bytes = readFile(raw);
    std::remove(raw.c_str());
    const std::size_t size = static_cast<std::size_t>(width) * height;
    for (std::size_t at = 0; at + size <= bytes.size(); at += size) {
        means.push_back(std::accumulate(bytes.begin() + static_cast<std::ptrdiff_t>(at),
                                        bytes.begin() + static_cast<std::ptrdiff_t>(at + size),
                                        0.0) /
                        static_cast<double>(size));
    }
    return means;
}

TEST(PreAlarmRecording, AnAlarmRecordingBeginsWithTheSecondsBeforeTheAlarm) {
    for (uint32_t seconds : {2u, 5u}) {
        SCOPED_TRACE("seconds " + std::to_string(seconds));
        TempFolder folder;
        AlarmPath path(folder);
        ASSERT_TRUE(path.ok);
        path.bridge.setPreAlarm(path.plan(seconds));
        ASSERT_TRUE(path.bridge.keepingPreAlarm());
        path.feedMoving(kAlarmMs);
        EXPECT_EQ(filesEndingWith(folder, ".avi").size(), 0u);  // nothing is written while kept
        path.startAlarm();
        EXPECT_FALSE(path.bridge.keepingPreAlarm());
        path.feedMoving(kAlarmMs + kLiveMs);
        path.stop();

        const auto avi = filesEndingWith(folder, ".avi");
        ASSERT_EQ(avi.size(), 1u);
        auto values = probe(avi[0]);
        ASSERT_EQ(values.count("error"), 0u) << values["error"];
        const int pictures = decodeVideoFrames(avi[0]);
        ASSERT_GT(pictures, kLivePictures);  // decodes from its first picture without errors
        EXPECT_EQ(number(values, "stream.0.nb_frames"), pictures);

        // The first picture, 100 ms apart from the next, up to the last one before the alarm.
        const int before = pictures - kLivePictures;
        const int64_t firstMs = 8000 - int64_t{before - 1} * 100;
        const int64_t aheadMs = int64_t{kAlarmMs} - firstMs;
        EXPECT_GE(aheadMs, int64_t{seconds} * 1000 - 500);
        EXPECT_LE(aheadMs, int64_t{seconds} * 1000 + 500 + kKeyGroupMs);
        EXPECT_EQ(baseName(avi[0]), nameAt(firstMs));

        // Sound from the first picture on: both streams last as long, within one picture.
        const double video = number(values, "stream.0.duration");
        const double sound = static_cast<double>(decodeSoundSamples(avi[0])) / 48000.0;
        EXPECT_NEAR(video, static_cast<double>(pictures) / kRecordFps, 0.01);
        EXPECT_NEAR(sound, video, 1.0 / kRecordFps);
    }
}

TEST(PreAlarmRecording, AChannelSwitchLeavesOnlyThePicturesOfTheNewChannel) {
    TempFolder folder;
    AlarmPath path(folder);
    ASSERT_TRUE(path.ok);
    path.bridge.setPreAlarm(path.plan(5));
    // The channel before: dark. Two seconds before the alarm the switch; the new one is bright.
    path.feed(kAlarmMs - 2000, [](int) { return flatPicture(720, 576, 40); });
    path.bridge.clearPreAlarm();
    path.feed(kAlarmMs, [](int) { return flatPicture(720, 576, 200); });
    path.startAlarm();
    path.feed(kAlarmMs + kLiveMs, [](int) { return flatPicture(720, 576, 200); });
    path.stop();

    const auto avi = filesEndingWith(folder, ".avi");
    ASSERT_EQ(avi.size(), 1u);
    const std::vector<double> lumas = meanLumas(avi[0], 360, 288);
    ASSERT_GT(lumas.size(), static_cast<std::size_t>(kLivePictures));
    const std::size_t before = lumas.size() - kLivePictures;
    EXPECT_LE(before, 20u);  // at most the two seconds since the switch
    for (std::size_t i = 0; i < lumas.size(); ++i)
        EXPECT_GT(lumas[i], 150.0) << "picture " << i << " is of the channel before";
    const int64_t firstMs = 8000 - static_cast<int64_t>(before - 1) * 100;
    EXPECT_EQ(baseName(avi[0]), nameAt(firstMs));
}

TEST(PreAlarmRecording, PlainRecordingsAndNoSecondsKeepNothingBefore) {
    // A recording started by the user (or a task) while seconds are kept: its own pictures only.
    {
        TempFolder folder;
        AlarmPath path(folder);
        ASSERT_TRUE(path.ok);
        path.bridge.setPreAlarm(path.plan(5));
        path.feedMoving(kAlarmMs);
        path.startPlain();
        path.feedMoving(kAlarmMs + kLiveMs);
        path.stop();
        const auto avi = filesEndingWith(folder, ".avi");
        ASSERT_EQ(avi.size(), 1u);
        EXPECT_EQ(decodeVideoFrames(avi[0]), kLivePictures);
        EXPECT_EQ(baseName(avi[0]), nameAt(kAlarmMs));
        // After it the seconds are kept again from scratch.
        path.bridge.setPreAlarm(path.plan(5));
        EXPECT_TRUE(path.bridge.keepingPreAlarm());
        EXPECT_EQ(path.bridge.encoder().ringPictures(), 0u);
    }
    // No seconds: nothing is encoded before the alarm, which records as it always did.
    {
        TempFolder folder;
        AlarmPath path(folder);
        ASSERT_TRUE(path.ok);
        path.bridge.setPreAlarm(path.plan(0));
        EXPECT_FALSE(path.bridge.keepingPreAlarm());
        EXPECT_FALSE(path.bridge.encoder().encoderOpen());
        path.feedMoving(kAlarmMs);
        EXPECT_EQ(path.bridge.encoder().encodedPictures(), 0u);
        path.startAlarm();
        path.feedMoving(kAlarmMs + kLiveMs);
        path.stop();
        const auto avi = filesEndingWith(folder, ".avi");
        ASSERT_EQ(avi.size(), 1u);
        EXPECT_EQ(decodeVideoFrames(avi[0]), kLivePictures);
        EXPECT_EQ(baseName(avi[0]), nameAt(kAlarmMs));
    }
}

TEST(PreAlarmRecording, KeptMemoryIsBoundedAndDoesNotGrowWithTime) {
    TempFolder folder;
    AlarmPath path(folder);
    ASSERT_TRUE(path.ok);
    path.bridge.setPreAlarm(path.plan(2));
    path.feedMoving(3000);
    const std::size_t memory = path.bridge.encoder().ringMemoryBytes();
    EXPECT_GT(memory, 0u);
    EXPECT_LT(memory, 8u << 20);
    std::size_t most = 0;
    for (uint32_t until = 4000; until <= 30000; until += 1000) {
        path.feedMoving(until);
        EXPECT_EQ(path.bridge.encoder().ringMemoryBytes(), memory);
        most = std::max(most, path.bridge.encoder().ringPictures());
    }
    EXPECT_LE(most, static_cast<std::size_t>((2000 + kKeyGroupMs) / 100 + 1));
    // Stopping gives the memory back.
    path.bridge.setPreAlarm(path.plan(0));
    EXPECT_EQ(path.bridge.encoder().ringMemoryBytes(), 0u);
}

}  // namespace
}  // namespace vidora
