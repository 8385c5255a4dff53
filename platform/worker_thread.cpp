#include "platform/worker_thread.h"

#include <pthread.h>
#include <sys/resource.h>
#include <unistd.h>

namespace vidora {

WorkerThread::WorkerThread(std::string name) : name_(std::move(name)) {}

WorkerThread::~WorkerThread() {
    stop(std::chrono::milliseconds(5));
}

bool WorkerThread::start(std::function<void(WorkerThread&)> body, bool aboveNormalPriority) {
    if (alive())
        return false;
    if (thread_.joinable())
        thread_.join();
    run_.store(true, std::memory_order_relaxed);
    alive_.store(true, std::memory_order_release);
    thread_ = std::thread([this, aboveNormalPriority, body = std::move(body)] {
        pthread_setname_np(pthread_self(), name_.substr(0, 15).c_str());
        if (aboveNormalPriority) {
            // Best effort: an ordinary user may not lower a nice value; the thread then runs at
            // normal priority, which only costs a little latency.
            (void)setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), -2);
        }
        body(*this);
        alive_.store(false, std::memory_order_release);
    });
    return true;
}

void WorkerThread::requestStop() {
    {
        std::lock_guard lock(mutex_);
        run_.store(false, std::memory_order_relaxed);
    }
    cv_.notify_all();
}

void WorkerThread::waitEnded(std::chrono::milliseconds step,
                             const std::function<void()>& whileWaiting) {
    while (alive()) {
        if (whileWaiting)
            whileWaiting();
        std::this_thread::sleep_for(step);
    }
    if (thread_.joinable())
        thread_.join();
}

void WorkerThread::stop(std::chrono::milliseconds step, const std::function<void()>& whileWaiting) {
    requestStop();
    waitEnded(step, whileWaiting);
}

bool WorkerThread::sleepFor(std::chrono::milliseconds ms) {
    std::unique_lock lock(mutex_);
    cv_.wait_for(lock, ms, [this] { return !run_.load(std::memory_order_relaxed); });
    return run_.load(std::memory_order_relaxed);
}

void runPeriodic(WorkerThread& self, uint32_t periodMs, const std::function<void()>& tick) {
    while (self.running()) {
        tick();
        if (!self.sleepFor(periodMs))
            break;
    }
}

}  // namespace vidora
