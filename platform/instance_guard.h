#pragma once
// The single-instance guard: an abstract-namespace UNIX socket bound under a fixed name. The
// kernel releases the name when the process ends, even after a crash, so a stale guard never
// locks the user out.
#include <string>

namespace vidora {

class InstanceGuard {
  public:
    enum Result { Acquired = 0, AlreadyRunning = 1, Failed = -1 };

    explicit InstanceGuard(std::string name);
    ~InstanceGuard();
    InstanceGuard(const InstanceGuard&) = delete;
    InstanceGuard& operator=(const InstanceGuard&) = delete;

    Result acquire();
    void release();
    bool held() const { return fd_ >= 0; }

  private:
    std::string name_;
    int fd_ = -1;
};

}  // namespace vidora
