#include "engine/auto_cycle.h"

#include "app/settings.h"
#include "engine/timer_state.h"
#include "platform/clock.h"
#include "platform/relaxed.h"

namespace vidora {

AutoCycle::AutoCycle(std::function<void()> switchToNext, Clock& clock)
    : switchToNext_(std::move(switchToNext)), clock_(clock) {}

void AutoCycle::begin() {
    lastSwitchTick_ = clock_.tickCount();
}

void AutoCycle::tick() {
    if (!loadRelaxed(gState.liveViewOn) || loadRelaxed(gState.livePaused))
        return;
    if (loadRelaxed(gState.motionAlarmActive) || loadRelaxed(gState.soundAlarmActive))
        return;
    if (loadRelaxed(gTimer.alarmRecording) || loadRelaxed(gTimer.alarmCaptureLeftMs) > 0)
        return;
    const int32_t channel = loadRelaxed(gState.currentChannel);
    if (channel == loadRelaxed(gTimer.recordTaskChannel) ||
        channel == loadRelaxed(gTimer.captureTaskChannel)) {
        return;
    }
    const uint64_t intervalMs = static_cast<uint64_t>(loadRelaxed(gConfig.cycleSeconds)) * 1000;
    if (intervalMs < 3000)
        return;
    if (static_cast<uint32_t>(clock_.tickCount() - lastSwitchTick_) > intervalMs) {
        switchToNext_();
        lastSwitchTick_ = clock_.tickCount();
    }
}

}  // namespace vidora
