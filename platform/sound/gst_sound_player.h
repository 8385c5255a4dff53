#pragma once
// The alarm sound player over GStreamer: filesrc ! wavparse ! audioconvert ! audioresample !
// sound output, looped by a seek back to the start at every end of stream. Without a usable
// sound device it plays into a clock-synchronised fakesink, so looping and stopping behave the
// same on a silent machine.
//
// Owned by the engine; playLoop/stopAll/playing may be called from any thread. A bus watcher
// thread of its own runs while a sound plays.
#include <gst/gst.h>

#include <atomic>
#include <mutex>
#include <string>
#include <thread>

#include "platform/media/gst_support.h"
#include "platform/sound/sound_player.h"

namespace vidora {

class GstSoundPlayer final : public SoundPlayer {
  public:
    GstSoundPlayer();
    ~GstSoundPlayer() override;

    bool playLoop(const std::string& wavPath) override;
    void stopAll() override;
    bool playing() const override;

    // How often the sound now playing has started over.
    int loopsCompleted() const { return loops_.load(std::memory_order_relaxed); }
    // Whether the sound goes to a real device (false: the silent fallback).
    bool hasSoundDevice() const { return hasSoundDevice_.load(std::memory_order_relaxed); }

  private:
    void stopLocked();
    void watch(GstElement* pipeline);

    std::mutex mutex_;  // serialises playLoop and stopAll
    media::GstPtr<GstElement> pipeline_;
    std::thread watcher_;
    std::atomic<bool> playing_{false};
    std::atomic<int> loops_{0};
    std::atomic<bool> hasSoundDevice_{false};
};

}  // namespace vidora
