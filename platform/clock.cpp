#include "platform/clock.h"

#include <chrono>
#include <ctime>
#include <thread>

namespace vidora {

namespace {
const auto kProcessStart = std::chrono::steady_clock::now();

uint32_t steadyMs() {
    auto d = std::chrono::steady_clock::now() - kProcessStart;
    // Start at a non-zero value: a tick of 0 means "never" in several records.
    return static_cast<uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(d).count() +
                                 1000);
}

RealClock gRealClock;
std::atomic<Clock*> gClock{nullptr};
}  // namespace

SystemTime toLocalSystemTime(int64_t calendarSeconds, uint16_t milliseconds) {
    std::time_t t = static_cast<std::time_t>(calendarSeconds);
    std::tm tm{};
    localtime_r(&t, &tm);
    SystemTime st{};
    st.year = static_cast<uint16_t>(tm.tm_year + 1900);
    st.month = static_cast<uint16_t>(tm.tm_mon + 1);
    st.dayOfWeek = static_cast<uint16_t>(tm.tm_wday);
    st.day = static_cast<uint16_t>(tm.tm_mday);
    st.hour = static_cast<uint16_t>(tm.tm_hour);
    st.minute = static_cast<uint16_t>(tm.tm_min);
    st.second = static_cast<uint16_t>(tm.tm_sec);
    st.milliseconds = milliseconds;
    return st;
}

uint32_t RealClock::tickCount() {
    return steadyMs();
}
uint32_t RealClock::multimediaTime() {
    return steadyMs();
}
int64_t RealClock::calendarSeconds() {
    return std::chrono::duration_cast<std::chrono::seconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}
SystemTime RealClock::localTime() {
    auto now = std::chrono::system_clock::now().time_since_epoch();
    auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(now).count();
    return toLocalSystemTime(ms / 1000, static_cast<uint16_t>(ms % 1000));
}
void RealClock::sleepMs(uint32_t ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

ManualClock::ManualClock(int64_t calendarSeconds, uint32_t tick0)
    : baseCalendarMs_(calendarSeconds * 1000), tick0_(tick0) {}

uint32_t ManualClock::tickCount() {
    return tick0_ + static_cast<uint32_t>(elapsedMs());
}
uint32_t ManualClock::multimediaTime() {
    return tick0_ + static_cast<uint32_t>(elapsedMs());
}
int64_t ManualClock::calendarSeconds() {
    return (baseCalendarMs_.load(std::memory_order_relaxed) + elapsedMs()) / 1000;
}
SystemTime ManualClock::localTime() {
    int64_t ms = baseCalendarMs_.load(std::memory_order_relaxed) + elapsedMs();
    return toLocalSystemTime(ms / 1000, static_cast<uint16_t>(ms % 1000));
}
void ManualClock::sleepMs(uint32_t ms) {
    advanceMs(ms);
}
void ManualClock::advanceMs(int64_t ms) {
    elapsed_.fetch_add(ms, std::memory_order_relaxed);
}
void ManualClock::setCalendar(int64_t calendarSeconds) {
    baseCalendarMs_.store(calendarSeconds * 1000 - elapsedMs(), std::memory_order_relaxed);
}

Clock& processClock() {
    Clock* c = gClock.load(std::memory_order_acquire);
    return c ? *c : gRealClock;
}
void setProcessClock(Clock* clock) {
    gClock.store(clock, std::memory_order_release);
}

}  // namespace vidora
