#pragma once
// Plays the alarm sound: a WAV file looped asynchronously until stopped.
#include <memory>
#include <string>

namespace vidora {

class SoundPlayer {
  public:
    virtual ~SoundPlayer() = default;
    // Starts looping the file (replacing what plays now); false when it cannot be played.
    virtual bool playLoop(const std::string& wavPath) = 0;
    // Stops all sound output of this player.
    virtual void stopAll() = 0;
    virtual bool playing() const = 0;
};

// The GStreamer-backed player.
std::unique_ptr<SoundPlayer> createSoundPlayer();

}  // namespace vidora
