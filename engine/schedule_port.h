#pragma once
// The schedule supervisor (alarm and task recording and capture timers) as the engine starts
// and stops it with live view. The scheduling layer implements it; the default runs nothing.
// Called on the thread that starts or stops live view.
#include <functional>

namespace vidora {

class SchedulePort {
  public:
    virtual ~SchedulePort() = default;
    // Live start: set the run flag and start the supervisor thread (it starts its timers).
    virtual void startSupervisor() {}
    // Live stop, first half: clear the run flag without waiting.
    virtual void requestStopSupervisor() {}
    // Live stop, second half: wait until the supervisor (and its timers) ended; `whileWaiting`
    // runs at each polling step (message boxes of the waited-for threads on the UI thread).
    virtual void waitSupervisorEnded(const std::function<void()>& /*whileWaiting*/) {}
};

}  // namespace vidora
