// The player's control layer over a scripted playback: a recording cut into files plays as one
// run with one timeline, the end of a file goes on into the next file of its run and stops at
// the end of the run, and speed and sound carry over to the files that follow.
#include <gtest/gtest.h>

#include <deque>

#include "review/player.h"
#include "tests/review/review_fixtures.h"

namespace vidora {
namespace {

struct Script {
    std::vector<std::string> opened;
    std::vector<int64_t> seeks;
    std::vector<double> rates;
    std::vector<bool> mutes;
    bool playing = false;
    int64_t position = 0;
    std::deque<PlaybackNotice> notices;
    std::string openFailure;
};

class ScriptedPlayback final : public Playback {
  public:
    explicit ScriptedPlayback(Script& s) : s_(s) {}
    std::string open(const std::string& path) override {
        s_.opened.push_back(path);
        s_.position = 0;
        s_.playing = false;
        return s_.openFailure;
    }
    void close() override { s_.playing = false; }
    void play() override { s_.playing = true; }
    void pause() override { s_.playing = false; }
    void seek(int64_t ms) override {
        s_.seeks.push_back(ms);
        s_.position = ms;
    }
    void step() override { s_.position += 40; }
    void setRate(double rate) override { s_.rates.push_back(rate); }
    void setMuted(bool muted) override { s_.mutes.push_back(muted); }
    int64_t durationMs() override { return 0; }
    int64_t positionMs() override { return s_.position; }
    PlaybackNotice poll() override {
        if (s_.notices.empty())
            return PlaybackNotice::None;
        const PlaybackNotice n = s_.notices.front();
        s_.notices.pop_front();
        return n;
    }
    std::string failure() const override { return "decoder gave up"; }

  private:
    Script& s_;
};

CatalogItem recording(int64_t id, EventTime start, EventTime end, EventChannel channel) {
    CatalogItem item;
    item.id = id;
    item.path = "/rec/" + std::to_string(id) + ".avi";
    item.start = start;
    item.end = end;
    item.channel = channel;
    return item;
}

class PlayerTest : public ::testing::Test {
  protected:
    PlayerTest() : player(std::make_unique<ScriptedPlayback>(script)) {
        using test::kDay;
        const EventTime t = kDay + 10 * 3600 * 1000;
        // A CH2 recording cut twice by size (files 1, 2, 3 back to back), a snapshot in between
        // that the player leaves out, then a separate CH2 recording and a CH1 one.
        CatalogItem snapshot;
        snapshot.id = 9;
        snapshot.kind = CatalogItemKind::Snapshot;
        snapshot.start = snapshot.end = t + 5000;
        player.setRecordings({recording(1, t, t + 60000, EventChannel::Ch2), snapshot,
                              recording(2, t + 60000, t + 120000, EventChannel::Ch2),
                              recording(3, t + 120500, t + 150000, EventChannel::Ch2),
                              recording(4, t + 400000, t + 410000, EventChannel::Ch2),
                              recording(5, t + 400000 + 10, t + 420000, EventChannel::Ch1)});
    }
    Script script;
    Player player;
};

TEST_F(PlayerTest, FilesCutBySizeFormOneRunWithOneTimeline) {
    ASSERT_EQ(player.recordings().size(), 5u);
    ASSERT_EQ(player.select(2), "");
    EXPECT_EQ(script.opened, std::vector<std::string>{"/rec/2.avi"});
    const Player::Run run = player.run();
    EXPECT_EQ(run.first, 0);
    EXPECT_EQ(run.last, 2);
    EXPECT_EQ(run.lengthMs, 150000);
    // The second file's pictures lie a minute into the run.
    script.position = 1500;
    EXPECT_EQ(player.runPositionMs(), 61500);

    // Seeking on the run's timeline opens the file that holds the target.
    player.seekRun(125000);
    EXPECT_EQ(script.opened.back(), "/rec/3.avi");
    EXPECT_EQ(script.seeks.back(), 4500);
    EXPECT_EQ(player.runPositionMs(), 125000);
    player.seekRun(10000);
    EXPECT_EQ(script.opened.back(), "/rec/1.avi");
    EXPECT_EQ(script.seeks.back(), 10000);
    // Past the end is the end.
    player.seekRun(999999);
    EXPECT_EQ(script.opened.back(), "/rec/3.avi");
    EXPECT_EQ(script.seeks.back(), 29500);

    // A recording that starts minutes later, or on another channel, is a run of its own.
    ASSERT_EQ(player.select(4), "");
    EXPECT_EQ(player.run().first, 3);
    EXPECT_EQ(player.run().last, 3);
    ASSERT_EQ(player.select(5), "");
    EXPECT_EQ(player.run().first, 4);
    EXPECT_EQ(player.run().lengthMs, 20000 - 10);
}

TEST_F(PlayerTest, PlayingGoesOnAcrossCutsAndStopsAtTheRunsEnd) {
    ASSERT_EQ(player.select(1), "");
    player.play();
    EXPECT_TRUE(script.playing);
    script.notices.push_back(PlaybackNotice::EndOfFile);
    EXPECT_EQ(player.poll(), "");
    EXPECT_EQ(script.opened.back(), "/rec/2.avi");
    EXPECT_TRUE(script.playing);  // the next file plays at once
    EXPECT_TRUE(player.playing());
    script.notices.push_back(PlaybackNotice::EndOfFile);
    player.poll();
    EXPECT_EQ(script.opened.back(), "/rec/3.avi");
    EXPECT_TRUE(script.playing);
    // The run ends with file 3: the player stops there instead of jumping to another recording.
    script.notices.push_back(PlaybackNotice::EndOfFile);
    player.poll();
    EXPECT_EQ(script.opened.size(), 3u);
    EXPECT_FALSE(player.playing());

    // A failure stops it and is told.
    player.play();
    script.notices.push_back(PlaybackNotice::Failed);
    EXPECT_EQ(player.poll(), "decoder gave up");
    EXPECT_FALSE(player.playing());
}

TEST_F(PlayerTest, NextAndPreviousCrossRunsAndCarrySpeedAndSound) {
    EXPECT_FALSE(player.next());  // nothing open yet
    ASSERT_EQ(player.select(3), "");
    player.setSpeed(5);
    player.setMuted(true);
    EXPECT_EQ(script.rates.back(), 8.0);
    EXPECT_TRUE(player.next());
    EXPECT_EQ(script.opened.back(), "/rec/4.avi");
    // The new file keeps the speed and the silence.
    EXPECT_EQ(script.rates.back(), 8.0);
    EXPECT_TRUE(script.mutes.back());
    EXPECT_TRUE(player.next());
    EXPECT_FALSE(player.next());  // the last recording of the day
    EXPECT_EQ(player.current(), 4);
    EXPECT_TRUE(player.previous());
    EXPECT_TRUE(player.previous());
    EXPECT_EQ(script.opened.back(), "/rec/3.avi");
    player.setSpeed(-3);
    EXPECT_EQ(script.rates.back(), 0.25);
    player.setSpeed(99);
    EXPECT_EQ(script.rates.back(), 8.0);

    // A file that cannot be opened is told by select().
    script.openFailure = "no such file";
    EXPECT_EQ(player.select(1), "no such file");
    EXPECT_EQ(player.select(77), "the recording is no longer listed");
}

}  // namespace
}  // namespace vidora
