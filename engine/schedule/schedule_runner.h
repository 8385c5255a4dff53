#pragma once
// The schedule supervisor's thread and its two timer threads, as the engine starts them with
// live view and stops them with it (the engine's SchedulePort). The supervisor thread builds the
// day lists, starts the capture timer (15 ms) and the record timer (300 ms), ticks every 200 ms
// and, when told to stop, stops both timers (the record timer stops the recording as it ends).
// Owned by the CaptureEngine; startSupervisor, requestStopSupervisor and waitSupervisorEnded are
// called on the thread that starts or stops live view.
#include <functional>
#include <memory>

#include "engine/schedule/capture_timer.h"
#include "engine/schedule/record_timer.h"
#include "engine/schedule/schedule_actions.h"
#include "engine/schedule/schedule_supervisor.h"
#include "engine/schedule_port.h"
#include "platform/clock.h"
#include "platform/worker_thread.h"

namespace vidora {

class ScheduleRunner final : public SchedulePort {
  public:
    // Null actions go through the engine; an empty task source reads the viewer's task list.
    explicit ScheduleRunner(std::unique_ptr<ScheduleActions> actions = nullptr,
                            Clock& clock = processClock(),
                            ScheduleSupervisor::TaskSource tasks = {});
    ~ScheduleRunner() override;

    void startSupervisor() override;
    void requestStopSupervisor() override;
    void waitSupervisorEnded(const std::function<void()>& whileWaiting) override;

    bool supervisorAlive() const { return supervisorThread_.alive(); }
    bool timersAlive() const { return captureThread_.alive() || recordThread_.alive(); }

  private:
    void supervise(WorkerThread& self);

    std::unique_ptr<ScheduleActions> actions_;
    Clock& clock_;
    ScheduleSupervisor supervisor_;
    CaptureTimer capture_;
    RecordTimer record_;
    // Destroyed first: the supervisor stops the timers before it ends.
    WorkerThread captureThread_{"capture-timer"};
    WorkerThread recordThread_{"record-timer"};
    WorkerThread supervisorThread_{"schedule"};
};

}  // namespace vidora
