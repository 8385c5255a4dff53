#pragma once
// A named worker thread with the run/alive flag pair of the program's workers: the owner clears
// the run flag, the thread clears its alive flag when it ends, and the owner waits for that.
// The body is usually a loop around a testable tick() function; sleepFor() returns early when
// the run flag is cleared, so stopping never waits a whole period.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

namespace vidora {

class WorkerThread {
  public:
    explicit WorkerThread(std::string name);
    ~WorkerThread();  // stops and joins
    WorkerThread(const WorkerThread&) = delete;
    WorkerThread& operator=(const WorkerThread&) = delete;

    // Sets the run flag, then creates the thread (which sets alive at entry). Fails (false) when
    // a previous thread is still alive.
    bool start(std::function<void(WorkerThread&)> body, bool aboveNormalPriority = false);

    bool running() const { return run_.load(std::memory_order_relaxed); }
    bool alive() const { return alive_.load(std::memory_order_acquire); }
    const std::string& name() const { return name_; }

    // Clears the run flag and wakes a sleeping body; does not wait.
    void requestStop();
    // Waits until the thread has ended, polling the alive flag every `step`; `whileWaiting` runs
    // at each step (the UI thread uses it to keep showing message boxes that the worker waits
    // for). Then joins.
    void waitEnded(std::chrono::milliseconds step = std::chrono::milliseconds(50),
                   const std::function<void()>& whileWaiting = {});
    // requestStop + waitEnded.
    void stop(std::chrono::milliseconds step = std::chrono::milliseconds(50),
              const std::function<void()>& whileWaiting = {});

    // For the body: sleeps up to `ms`; returns false when the run flag was cleared meanwhile.
    bool sleepFor(std::chrono::milliseconds ms);
    bool sleepFor(uint32_t ms) { return sleepFor(std::chrono::milliseconds(ms)); }

  private:
    std::string name_;
    std::atomic<bool> run_{false};
    std::atomic<bool> alive_{false};
    std::thread thread_;
    std::mutex mutex_;
    std::condition_variable cv_;
};

// Runs `tick` every `periodMs` while the thread's run flag is set (tick first, then sleep).
void runPeriodic(WorkerThread& self, uint32_t periodMs, const std::function<void()>& tick);

}  // namespace vidora
