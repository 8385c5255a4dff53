// Alarm recordings with the seconds before the alarm on the simulated receiver, with the real
// engine, schedule threads and recording side (real time, generous limits): what a user of
// vidora-demo gets from "Seconds before the alarm:".
#include <gtest/gtest.h>

#include <filesystem>

#include "app/preference_keys.h"
#include "engine/schedule/schedule_runner.h"
#include "tests/media/picture_reading.h"
#include "tests/recwire/sim_fixture.h"

namespace vidora {
namespace {

using namespace test;

constexpr int kRecordFps = 10;

double videoSeconds(const std::map<std::string, std::string>& values) {
    const auto it = values.find("stream.0.r_frame_rate");
    if (it == values.end())
        return -1;
    const std::string& rate = it->second;
    const auto slash = rate.find('/');
    if (slash == std::string::npos)
        return -1;
    const double fps = std::atof(rate.c_str()) / std::atof(rate.c_str() + slash + 1);
    return number(values, "stream.0.nb_frames") / fps;
}

// The calendar second a recording's name gives ("YYYYMMDDhhmmss.avi", local time).
int64_t secondOfName(const std::string& path) {
    const std::string name = std::filesystem::path(path).filename().string();
    std::tm t{};
    if (std::sscanf(name.c_str(), "%4d%2d%2d%2d%2d%2d", &t.tm_year, &t.tm_mon, &t.tm_mday,
                    &t.tm_hour, &t.tm_min, &t.tm_sec) != 6)
        return -1;
    t.tm_year -= 1900;
    t.tm_mon -= 1;
    t.tm_isdst = -1;
    return static_cast<int64_t>(std::mktime(&t));
}

// The channel label of every recorded picture (recorded at half width and height, so the label
// is drawn at half its size and place).
std::vector<std::string> channelLabels(const std::string& avi, int width, int height) {
    const std::string raw = avi + ".uyvy";
    std::vector<std::string> labels;
    CommandResult r = run("ffmpeg -nostdin -v error -y -i " + quoted(avi) +
                          " -f rawvideo -pix_fmt uyvy422 " + quoted(raw) + " 2>&1");
    if (r.status != 0)
        return labels;
    const std::vector<uint8_t> bytes = readFile(raw);
    std::remove(raw.c_str());
    const std::size_t size = static_cast<std::size_t>(width) * height * 2;
    for (std::size_t at = 0; at + size <= bytes.size(); at += size) {
        labels.push_back(sim::testing::readText(&bytes[at], width, sim::PictureLayout::kLabelX / 2,
                                                sim::PictureLayout::kLabelY / 2,
                                                sim::PictureLayout::kLabelScale / 2, 3));
    }
    return labels;
}

class PreAlarmSimTest : public SimEngineFixture {
  protected:
    void SetUp() override {
        SimEngineFixture::SetUp();
        gConfig.recordFps = kRecordFps;
        gConfig.alarmRecord = 1;
        gConfig.alarmRecordSeconds = 2;
        gConfig.alarmSound = 0;
        gState.motionAlarmOn = 1;
        preferences().set(kPreAlarmSeconds, 2);
        registerEngine([] { return std::make_unique<ScheduleRunner>(); });
    }
    void TearDown() override {
        SimEngineFixture::TearDown();
        preferences().set(kPreAlarmSeconds, kPreAlarmSeconds.defaultValue);
    }
    bool waitRecording(bool on, int limitMs) {
        return pumpUntil([on] { return loadRelaxed(gState.recordingOn) == (on ? 1 : 0); }, limitMs);
    }
};

TEST_F(PreAlarmSimTest, AnAlarmRecordingHoldsTheSecondsBeforeTheAlarmWithItsSound) {
    gConfig.motionAlarmChannel[0] = 1;
    startApp();
    ASSERT_TRUE(picturesFlow());
    ASSERT_TRUE(pumpUntil([this] { return bridge().keepingPreAlarm(); }, 5000));
    pumpFor(3500);  // more than the seconds kept

    // Motion for 1 s: the recording holds 2 s before it, the alarm and the 2 s after it.
    const int64_t alarmSecond = processClock().calendarSeconds();
    sim->scheduleAlarmIn(0, sim::kMotionAlarm, 0, 1000);
    ASSERT_TRUE(waitRecording(true, 10000));
    ASSERT_TRUE(waitRecording(false, 20000));
    // Kept again for the next alarm.
    EXPECT_TRUE(pumpUntil([this] { return bridge().keepingPreAlarm(); }, 5000));

    const auto avi = filesEndingWith(folder, ".avi");
    ASSERT_EQ(avi.size(), 1u);
    const auto values = probe(avi[0]);
    const double video = videoSeconds(values);
    // 2 s before + 1 s of alarm + 2 s after, give or take the polls, plus a key-frame group.
    EXPECT_GE(video, 5.0 - 0.5);
    EXPECT_LE(video, 5.0 + 0.8 + 0.5);
    EXPECT_EQ(decodeVideoFrames(avi[0]), static_cast<int>(number(values, "stream.0.nb_frames")));
    // Named by its first picture, about two seconds before the alarm.
    const int64_t named = secondOfName(avi[0]);
    EXPECT_GE(named, alarmSecond - 3);
    EXPECT_LE(named, alarmSecond - 1);
    // Its sound begins and ends with its pictures.
    const auto sound = decodedSound(avi[0]);
    const double soundSeconds =
        static_cast<double>(sound.size()) / number(values, "stream.1.sample_rate");
    EXPECT_NEAR(soundSeconds, video, 1.0 / kRecordFps);
    EXPECT_TRUE(shownMessages().empty());

    // A confirmed "More settings" dialog applies its seconds at once: 0 keeps nothing.
    preferences().set(kPreAlarmSeconds, 0);
    preferences().changed();
    EXPECT_FALSE(bridge().keepingPreAlarm());
    EXPECT_EQ(bridge().encoder().ringMemoryBytes(), 0u);
    preferences().set(kPreAlarmSeconds, 3);
    preferences().changed();
    EXPECT_TRUE(bridge().keepingPreAlarm());
    // Paused, nothing is kept; and without an armed alarm neither.
    engine().pauseLive();
    EXPECT_FALSE(bridge().keepingPreAlarm());
    ASSERT_TRUE(engine().startLive().ok());
    EXPECT_TRUE(bridge().keepingPreAlarm());
    storeRelaxed(gState.motionAlarmOn, 0);
    engine().updatePreAlarm();
    EXPECT_FALSE(bridge().keepingPreAlarm());
}

TEST_F(PreAlarmSimTest, AChannelSwitchTwoSecondsBeforeTheAlarmKeepsOnlyTheNewChannel) {
    gConfig.motionAlarmChannel[0] = 1;
    gConfig.motionAlarmChannel[1] = 1;
    startApp();
    ASSERT_TRUE(picturesFlow());
    ASSERT_TRUE(pumpUntil([this] { return bridge().keepingPreAlarm(); }, 5000));
    pumpFor(3000);
    engine().switchChannel(1);
    pumpFor(2000);
    sim->scheduleAlarmIn(1, sim::kMotionAlarm, 0, 1000);
    ASSERT_TRUE(waitRecording(true, 10000));
    ASSERT_TRUE(waitRecording(false, 20000));

    const auto avi = filesEndingWith(folder, ".avi");
    ASSERT_EQ(avi.size(), 1u);
    const auto values = probe(avi[0]);
    // At most the two seconds since the switch before the alarm's 1 s and the 2 s after it.
    EXPECT_LE(videoSeconds(values), 2.0 + 3.0 + 0.8);
    const auto labels = channelLabels(avi[0], 360, 288);
    ASSERT_FALSE(labels.empty());
    for (std::size_t i = 0; i < labels.size(); ++i)
        EXPECT_EQ(labels[i], "CH2") << "picture " << i;
}

}  // namespace
}  // namespace vidora
