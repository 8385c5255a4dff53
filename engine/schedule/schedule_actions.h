#pragma once
// What the schedule supervisor and its timers do to the rest of the program: switch the
// receiver's channel, start and stop the one recording, take a picture, tell the user. The
// engine's implementation goes through the CaptureEngine; tests give their own.
// Called on the capture and record timer threads; every operation but postMessage may block (a
// channel switch settles for 300 ms, a message box waits for the user).
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "recording/snapshot.h"

namespace vidora {

class ScheduleActions {
  public:
    virtual ~ScheduleActions() = default;
    // Switches to channel 0..3 (the engine's channel switch, under its lock).
    virtual void switchChannel(int channel) = 0;
    // Runs `work` while no channel switch runs (the engine holds its channel-switch lock), so
    // that a switch cannot end the work a recording is being started for halfway through.
    virtual void holdingChannel(const std::function<void()>& work) { work(); }
    // Starts a recording; false when none was started (not live, already recording, or the
    // writer refused, having told the user).
    virtual bool startRecording() = 0;
    virtual void stopRecording() = 0;
    virtual bool recording() = 0;
    // The running recording's writer gave up at the record folder's limit.
    virtual bool recordingEndedAtLimit() = 0;
    // Takes a picture of the live channel and writes it under an automatic name (the picture
    // folder's limit may forbid it and tell the user). A file that could not be written is
    // reported, not told.
    virtual PictureWriteResult takeSnapshot() = 0;
    // Shows a message box and waits until the user closed it.
    virtual void showMessage(const std::string& text, const std::string& caption,
                             uint32_t type) = 0;
    // Shows a message box without waiting for it.
    virtual void postMessage(const MessageBoxRequest& box) = 0;
};

// The engine's actions, through CaptureEngine::instance() (nothing while there is no engine).
std::unique_ptr<ScheduleActions> engineScheduleActions();

}  // namespace vidora
