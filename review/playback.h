#pragma once
// One recording file being played: the controls the player needs, whatever plays it. The
// GStreamer graph implements it (GstPlayback); the player's own tests put a scripted one in its
// place. Controls are called on the GUI thread and never wait for the pictures they cause.
#include <cstdint>
#include <functional>
#include <string>

#include "ui/picture_convert.h"

namespace vidora {

// A decoded picture and where in its file it lies.
struct PlaybackPicture {
    PackedPicture422 picture;
    int64_t positionMs = 0;
};

// Called for every picture shown (including the one a pause or a seek shows) on the graph's
// streaming thread; the bytes are valid only during the call.
using PictureSink = std::function<void(const PlaybackPicture&)>;

enum class PlaybackNotice { None, EndOfFile, Failed };

class Playback {
  public:
    virtual ~Playback() = default;
    // Opens a file, paused on its first picture. Empty on success, or the reason it failed.
    virtual std::string open(const std::string& path) = 0;
    virtual void close() = 0;
    virtual void play() = 0;
    virtual void pause() = 0;
    // Shows the key frame at or before `ms` into the file.
    virtual void seek(int64_t ms) = 0;
    // Shows the next picture (while paused).
    virtual void step() = 0;
    // 0.25 to 8; applied from the current picture on.
    virtual void setRate(double rate) = 0;
    virtual void setMuted(bool muted) = 0;
    // Length of the open file (of its readable part, for a file that was never closed).
    virtual int64_t durationMs() = 0;
    // Position of the picture shown last.
    virtual int64_t positionMs() = 0;
    // The next notice the graph raised since the last call, None when there is none.
    virtual PlaybackNotice poll() = 0;
    // The text of the last failure.
    virtual std::string failure() const = 0;
};

}  // namespace vidora
