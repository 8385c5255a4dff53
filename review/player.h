#pragma once
// The recordings player: plays the recordings of a day one after another, so that a recording
// cut into several files by their size plays as one run with one seek slider. Positions on the
// run's timeline are milliseconds from the start of its first file. Owned by the recordings
// window; every call is on the GUI thread (poll() from a timer there).
#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "events/catalog.h"
#include "review/playback.h"

namespace vidora {

// Speeds offered, slowest first.
inline constexpr std::array<double, 6> kPlaybackSpeeds{0.25, 0.5, 1.0, 2.0, 4.0, 8.0};
inline constexpr int kNormalSpeedIndex = 2;

// Files whose gap is at most this long belong to one run (a file cut by its size is followed at
// once by the next one).
inline constexpr EventTime kCutGapMs = 2000;

class Player {
  public:
    explicit Player(std::unique_ptr<Playback> playback);

    // The day's recordings in time order (snapshots in the list are left out).
    void setRecordings(std::vector<CatalogItem> items);
    const std::vector<CatalogItem>& recordings() const { return items_; }

    // Opens the recording with that id, paused on its first picture. Empty, or the reason.
    std::string select(int64_t id);
    // Closes the open recording (a snapshot is shown instead).
    void close();
    // Index of the open recording in recordings(), -1 when none.
    int current() const { return current_; }

    void play();
    void pause();
    bool playing() const { return playing_; }
    void step();
    void setSpeed(int index);  // into kPlaybackSpeeds
    int speed() const { return speed_; }
    void setMuted(bool muted);
    bool muted() const { return muted_; }
    // The neighbouring file, across run ends; false at the first or last.
    bool next();
    bool previous();

    // The run of the open file: its files [first, last] and length.
    struct Run {
        int first = -1;
        int last = -1;
        int64_t lengthMs = 0;
    };
    Run run() const { return run_; }
    // Position of the picture shown on the run's timeline, and seeking on it (to the key frame
    // at or before the target, in whichever file of the run holds it).
    int64_t runPositionMs();
    void seekRun(int64_t ms);

    // Handles the graph's notices: at the end of a file the next file of the run goes on
    // playing. Returns the failure to tell the user, or empty.
    std::string poll();

    Playback& playback() { return *playback_; }

  private:
    std::string open(int index);
    void findRun();
    // Start of a file on its run's timeline.
    int64_t offsetOf(int index) const;
    int64_t fileLengthMs(int index) const;

    std::unique_ptr<Playback> playback_;
    std::vector<CatalogItem> items_;
    int current_ = -1;
    Run run_;
    bool playing_ = false;
    bool muted_ = false;
    int speed_ = kNormalSpeedIndex;
};

}  // namespace vidora
