#include "engine/alarm.h"

#include <utility>

#include "app/settings.h"
#include "engine/timer_state.h"
#include "platform/clock.h"
#include "platform/relaxed.h"

namespace vidora {

AlarmSound::AlarmSound(std::unique_ptr<SoundPlayer> player, std::string wavPath)
    : player_(std::move(player)), wavPath_(std::move(wavPath)) {}

void AlarmSound::update(uint32_t nowTick) {
    std::lock_guard lock(mutex_);
    if (alarmIndicated(loadRelaxed(gState.lastAlarmTick), nowTick)) {
        // Checked under the lock that stop() takes: once live view has been stopped or paused
        // and the sound stopped, no poll still on its way can start it again.
        if (!playing_ && loadRelaxed(gState.liveViewOn) && !loadRelaxed(gState.livePaused) &&
            loadRelaxed(gConfig.alarmSound)) {
            // Marked as playing even when the file cannot be played, so that a missing sound
            // file is not retried at every poll.
            if (player_)
                (void)player_->playLoop(wavPath_);
            playing_ = true;
        }
    } else if (playing_) {
        if (player_)
            player_->stopAll();
        playing_ = false;
    }
}

void AlarmSound::stop() {
    std::lock_guard lock(mutex_);
    if (!playing_)
        return;
    if (player_)
        player_->stopAll();
    playing_ = false;
}

bool AlarmSound::playing() const {
    std::lock_guard lock(mutex_);
    return playing_;
}

AlarmPoll::AlarmPoll(StatusReader readStatus, AlarmSound& sound, Clock& clock)
    : readStatus_(std::move(readStatus)), sound_(sound), clock_(clock) {}

void AlarmPoll::track(Seen& seen, AlarmKind kind, bool reported, int channel) {
    const uint32_t tick = clock_.tickCount();
    if (seen.open &&
        (seen.channel != channel || (!reported && tick - seen.lastTick >= kAlarmIndicationMs))) {
        eventSink().alarmEnded(seen.lastAt, static_cast<EventChannel>(seen.channel + 1), kind);
        seen.open = false;
    }
    if (!reported)
        return;
    const EventTime at = eventTimeNow(clock_);
    if (!seen.open) {
        seen.open = true;
        seen.channel = channel;
        eventSink().alarmStarted(at, static_cast<EventChannel>(channel + 1), kind);
    }
    seen.lastTick = tick;
    seen.lastAt = at;
}

void AlarmPoll::endAlarms() {
    for (auto [seen, kind] :
         {std::pair{&motionSeen_, AlarmKind::Motion}, {&soundSeen_, AlarmKind::Sound}}) {
        if (seen->open)
            eventSink().alarmEnded(seen->lastAt, static_cast<EventChannel>(seen->channel + 1),
                                   kind);
        seen->open = false;
    }
}

void AlarmPoll::tick() {
    if (!loadRelaxed(gState.liveViewOn) || loadRelaxed(gState.livePaused)) {
        endAlarms();
        return;
    }
    const int channel = loadRelaxed(gState.currentChannel);
    bool motionReported = false;
    bool soundReported = false;
    if (channel >= 0 && channel <= 3) {
        const bool m = loadRelaxed(gConfig.motionAlarmChannel[channel]) != 0;
        const bool s = loadRelaxed(gConfig.soundAlarmChannel[channel]) != 0;
        const bool motionOn = loadRelaxed(gState.motionAlarmOn) != 0;
        const bool soundOn = loadRelaxed(gState.soundAlarmOn) != 0;
        if (!motionOn || !m) {
            storeRelaxed(gState.motionAlarmActive, 0);
            storeRelaxed(gTimer.lastMotionTime, 0);
        }
        if (!soundOn || !s) {
            storeRelaxed(gState.soundAlarmActive, 0);
            storeRelaxed(gTimer.lastSoundTime, 0);
        }
        if ((motionOn || soundOn) && (m || s)) {
            if (auto status = readStatus_()) {
                const bool sound = (*status & 0x20) == 0 && s && soundOn;
                const bool motion = (*status & 0x10) == 0 && m && motionOn;
                storeRelaxed(gState.soundAlarmActive, sound ? 1 : 0);
                storeRelaxed(gState.motionAlarmActive, motion ? 1 : 0);
                motionReported = motion;
                soundReported = sound;
                if (sound || motion) {
                    uint32_t tick = clock_.tickCount();
                    storeRelaxed(gState.lastAlarmTick, tick == 0 ? 1u : tick);  // 0 means none
                    // 0 means "not seen"; a poll at the exact wrap of the multimedia time
                    // must not read as one.
                    const uint32_t now = clock_.multimediaTime();
                    const uint32_t mm = now == 0 ? 1u : now;
                    if (sound)
                        storeRelaxed(gTimer.lastSoundTime, mm);
                    if (motion)
                        storeRelaxed(gTimer.lastMotionTime, mm);
                }
            } else {
                // The indication already shown runs out its time: lastAlarmTick stays.
                storeRelaxed(gState.motionAlarmActive, 0);
                storeRelaxed(gState.soundAlarmActive, 0);
            }
        }
    }
    track(motionSeen_, AlarmKind::Motion, motionReported, channel);
    track(soundSeen_, AlarmKind::Sound, soundReported, channel);
    sound_.update(clock_.tickCount());
}

}  // namespace vidora
