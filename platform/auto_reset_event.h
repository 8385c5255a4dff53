#pragma once
// An event that wakes exactly one waiter and clears itself, like the receiver's select events.
#include <chrono>
#include <condition_variable>
#include <mutex>

namespace vidora {

class AutoResetEvent {
  public:
    void set() {
        {
            std::lock_guard lock(mutex_);
            signalled_ = true;
        }
        cv_.notify_one();
    }
    void reset() {
        std::lock_guard lock(mutex_);
        signalled_ = false;
    }
    void wait() {
        std::unique_lock lock(mutex_);
        cv_.wait(lock, [this] { return signalled_; });
        signalled_ = false;
    }
    // True when the event was signalled within the time limit.
    bool waitFor(std::chrono::milliseconds limit) {
        std::unique_lock lock(mutex_);
        if (!cv_.wait_for(lock, limit, [this] { return signalled_; }))
            return false;
        signalled_ = false;
        return true;
    }

  private:
    std::mutex mutex_;
    std::condition_variable cv_;
    bool signalled_ = false;
};

}  // namespace vidora
