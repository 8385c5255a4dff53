#pragma once
// The channel auto-cycle: every cycleSeconds the live view moves on to the next enabled
// channel, unless an alarm or its recording or photos are due, or a task holds the channel.
// Owned by the CaptureEngine; tick() runs on the auto-cycle thread every 100 ms.
#include <cstdint>
#include <functional>

namespace vidora {

class Clock;

inline constexpr uint32_t kAutoCyclePeriodMs = 100;

class AutoCycle {
  public:
    AutoCycle(std::function<void()> switchToNext, Clock& clock);
    // The thread started: the first interval runs from now.
    void begin();
    void tick();

  private:
    std::function<void()> switchToNext_;
    Clock& clock_;
    uint32_t lastSwitchTick_ = 0;
};

}  // namespace vidora
