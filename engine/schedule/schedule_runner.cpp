#include "engine/schedule/schedule_runner.h"

#include <chrono>

namespace vidora {

namespace {
constexpr auto kTimerWaitStep = std::chrono::milliseconds(50);
}

ScheduleRunner::ScheduleRunner(std::unique_ptr<ScheduleActions> actions, Clock& clock,
                               ScheduleSupervisor::TaskSource tasks)
    : actions_(actions ? std::move(actions) : engineScheduleActions()),
      clock_(clock),
      supervisor_(clock, std::move(tasks)),
      capture_(*actions_, clock),
      record_(*actions_, clock) {}

ScheduleRunner::~ScheduleRunner() {
    requestStopSupervisor();
    waitSupervisorEnded({});
}

void ScheduleRunner::startSupervisor() {
    supervisorThread_.start([this](WorkerThread& self) { supervise(self); });
}

void ScheduleRunner::requestStopSupervisor() {
    supervisorThread_.requestStop();
}

void ScheduleRunner::waitSupervisorEnded(const std::function<void()>& whileWaiting) {
    supervisorThread_.waitEnded(kTimerWaitStep, whileWaiting);
}

void ScheduleRunner::supervise(WorkerThread& self) {
    supervisor_.begin();
    captureThread_.start([this](WorkerThread& timer) {
        capture_.begin();
        while (timer.sleepFor(CaptureTimer::kPeriodMs))
            capture_.tick();
    });
    recordThread_.start([this](WorkerThread& timer) {
        record_.begin();
        while (timer.sleepFor(RecordTimer::kPeriodMs))
            record_.tick();
        record_.end();
    });
    while (self.sleepFor(ScheduleSupervisor::kPeriodMs))
        supervisor_.tick();
    captureThread_.requestStop();
    recordThread_.requestStop();
    captureThread_.waitEnded(kTimerWaitStep);
    recordThread_.waitEnded(kTimerWaitStep);
}

}  // namespace vidora
