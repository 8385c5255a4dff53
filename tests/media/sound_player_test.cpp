#include "platform/sound/gst_sound_player.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <thread>
#include <vector>

namespace vidora {
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

void put16(std::ofstream& out, uint16_t v) {
    out.put(char(v & 0xFF)).put(char(v >> 8));
}
void put32(std::ofstream& out, uint32_t v) {
    put16(out, uint16_t(v & 0xFFFF));
    put16(out, uint16_t(v >> 16));
}

// A 16-bit mono PCM WAV file of a short beep.
void writeWav(const fs::path& path, int milliseconds) {
    const uint32_t rate = 22050;
    const uint32_t samples = rate * uint32_t(milliseconds) / 1000;
    std::ofstream out(path, std::ios::binary);
    out.write("RIFF", 4);
    put32(out, 36 + samples * 2);
    out.write("WAVEfmt ", 8);
    put32(out, 16);
    put16(out, 1);  // PCM
    put16(out, 1);
    put32(out, rate);
    put32(out, rate * 2);
    put16(out, 2);
    put16(out, 16);
    out.write("data", 4);
    put32(out, samples * 2);
    for (uint32_t i = 0; i < samples; ++i) {
        put16(out, uint16_t(int16_t(8000 * std::sin(i * 2 * 3.14159265 * 880 / rate))));
    }
}

class SoundPlayerTest : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() /
               ("vidora-sound-" +
                std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        fs::create_directories(dir_);
        wav_ = dir_ / "alarm.wav";
        writeWav(wav_, 100);
    }
    void TearDown() override { fs::remove_all(dir_); }

    fs::path dir_;
    fs::path wav_;
};

TEST_F(SoundPlayerTest, LoopsTheFileUntilStopped) {
    GstSoundPlayer player;
    EXPECT_FALSE(player.playing());
    ASSERT_TRUE(player.playLoop(wav_.string()));
    EXPECT_TRUE(player.playing());
    const auto deadline = std::chrono::steady_clock::now() + 5s;
    while (player.loopsCompleted() < 3 && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(20ms);
    }
    EXPECT_GE(player.loopsCompleted(), 3) << "a 100 ms sound starts over again and again";
    EXPECT_TRUE(player.playing());
    player.stopAll();
    EXPECT_FALSE(player.playing());
    player.stopAll();  // stopping twice is fine
}

TEST_F(SoundPlayerTest, PlaysInRealTimeEvenWithoutASoundDevice) {
    GstSoundPlayer player;
    ASSERT_TRUE(player.playLoop(wav_.string()));
    std::this_thread::sleep_for(450ms);
    // Four or five passes of 100 ms; a player racing through the file would show hundreds.
    EXPECT_LE(player.loopsCompleted(), 6);
    EXPECT_GE(player.loopsCompleted(), 2);
}

TEST_F(SoundPlayerTest, RefusesWhatItCannotPlay) {
    GstSoundPlayer player;
    EXPECT_FALSE(player.playLoop((dir_ / "missing.wav").string()));
    std::ofstream(dir_ / "text.wav") << "this is not a sound";
    EXPECT_FALSE(player.playLoop((dir_ / "text.wav").string()));
    EXPECT_FALSE(player.playLoop(dir_.string()));
    EXPECT_FALSE(player.playing());
    EXPECT_TRUE(player.playLoop(wav_.string()));
}

TEST_F(SoundPlayerTest, PlayingAgainReplacesTheSound) {
    auto player = createSoundPlayer();
    ASSERT_TRUE(player->playLoop(wav_.string()));
    const fs::path other = dir_ / "other.wav";
    writeWav(other, 300);
    ASSERT_TRUE(player->playLoop(other.string()));
    EXPECT_TRUE(player->playing());
    player.reset();  // destroying a playing player stops it
}

TEST_F(SoundPlayerTest, CallsFromSeveralThreadsAreSafe) {
    GstSoundPlayer player;
    std::vector<std::thread> threads;
    for (int t = 0; t < 3; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 5; ++i) {
                if ((i + t) % 2 == 0) {
                    player.playLoop(wav_.string());
                } else {
                    player.stopAll();
                }
                (void)player.playing();
            }
        });
    }
    for (auto& th : threads)
        th.join();
    player.stopAll();
    EXPECT_FALSE(player.playing());
}

}  // namespace
}  // namespace vidora
