#pragma once
// Time sources of the program behind one interface, so that worker loops can be driven by a
// manual clock in tests: a whole day of schedules runs in milliseconds and deterministically.
#include <atomic>
#include <cstdint>
#include <mutex>

#include "platform/system_time.h"

namespace vidora {

class Clock {
  public:
    virtual ~Clock() = default;
    // Milliseconds since start-up, wrapping at 2^32 (the alarm ticks).
    virtual uint32_t tickCount() = 0;
    // Milliseconds of the multimedia timer, wrapping at 2^32 (picture timing).
    virtual uint32_t multimediaTime() = 0;
    // Calendar time in whole seconds since 1970 (UTC).
    virtual int64_t calendarSeconds() = 0;
    // Local calendar time now, with milliseconds.
    virtual SystemTime localTime() = 0;
    virtual void sleepMs(uint32_t ms) = 0;
};

// The real clock: steady time for ticks, the system calendar and local time zone for dates.
class RealClock final : public Clock {
  public:
    uint32_t tickCount() override;
    uint32_t multimediaTime() override;
    int64_t calendarSeconds() override;
    SystemTime localTime() override;
    void sleepMs(uint32_t ms) override;
};

// A clock that moves only when told. sleepMs advances it, so loops that sleep make progress.
// Local time is derived from the calendar with the process's time zone (tests run with TZ=UTC).
class ManualClock final : public Clock {
  public:
    // Starts at the given calendar second; ticks start at `tick0`.
    explicit ManualClock(int64_t calendarSeconds = 1796558400 /* 2026-12-06 12:00:00 UTC */,
                         uint32_t tick0 = 1000);
    uint32_t tickCount() override;
    uint32_t multimediaTime() override;
    int64_t calendarSeconds() override;
    SystemTime localTime() override;
    void sleepMs(uint32_t ms) override;

    void advanceMs(int64_t ms);
    void setCalendar(int64_t calendarSeconds);  // jumps the calendar, ticks stay
    int64_t elapsedMs() const { return elapsed_.load(std::memory_order_relaxed); }

  private:
    std::atomic<int64_t> baseCalendarMs_;
    std::atomic<int64_t> elapsed_{0};
    uint32_t tick0_;
};

// The process-wide clock; the real one unless a test installs another.
Clock& processClock();
void setProcessClock(Clock* clock);  // nullptr restores the real clock

// Local time of a calendar second, in the process's time zone.
SystemTime toLocalSystemTime(int64_t calendarSeconds, uint16_t milliseconds = 0);

}  // namespace vidora
