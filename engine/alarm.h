#pragma once
// The motion and sound alarm: the poll of the receiver's status byte for the live channel,
// filtered through the user's switches, and the 5-second indication with the looping alarm
// sound. Owned by the CaptureEngine; tick() runs on the alarm-poll thread every 200 ms, stop()
// on whichever thread pauses or stops live view.
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "app/event_sink.h"
#include "platform/sound/sound_player.h"

namespace vidora {

class Clock;

inline constexpr uint32_t kAlarmIndicationMs = 5000;
inline constexpr uint32_t kAlarmPollPeriodMs = 200;
inline constexpr const char* kAlarmSoundPath = "./UI/alarm.wav";

// True while an alarm seen at lastAlarmTick (0 = none) is still indicated at nowTick.
inline bool alarmIndicated(uint32_t lastAlarmTick, uint32_t nowTick) {
    return lastAlarmTick != 0 && nowTick - lastAlarmTick < kAlarmIndicationMs;
}

// The looping alarm sound and its "playing" flag.
class AlarmSound {
  public:
    AlarmSound(std::unique_ptr<SoundPlayer> player, std::string wavPath);
    // Inside the indication window, starts the loop unless it plays already, live view is off or
    // paused, or alarmSound is off; outside it, stops a loop that plays.
    void update(uint32_t nowTick);
    void stop();
    bool playing() const;

  private:
    mutable std::mutex mutex_;
    std::unique_ptr<SoundPlayer> player_;
    std::string wavPath_;
    bool playing_ = false;
};

class AlarmPoll {
  public:
    // Reads the status byte; nullopt when the read failed.
    using StatusReader = std::function<std::optional<uint8_t>()>;

    AlarmPoll(StatusReader readStatus, AlarmSound& sound, Clock& clock);
    // One poll: while live and not paused, refreshes motionAlarmActive, soundAlarmActive,
    // lastAlarmTick and the last motion and sound times, then the indication. Tells the event
    // log when an alarm begins and when it ends.
    void tick();
    // Ends the alarms still seen (live view stopped). Not while tick() may run.
    void endAlarms();

  private:
    // One alarm as the event log sees it: from the first poll that reports it to the last one,
    // ended once it was not reported for the indication's time (the receiver's status bit
    // flickers within one alarm), on a channel switch or when live view stops.
    struct Seen {
        bool open = false;
        int channel = 0;
        uint32_t lastTick = 0;
        EventTime lastAt = 0;
    };
    void track(Seen& seen, AlarmKind kind, bool reported, int channel);

    Seen motionSeen_;
    Seen soundSeen_;
    StatusReader readStatus_;
    AlarmSound& sound_;
    Clock& clock_;
};

}  // namespace vidora
