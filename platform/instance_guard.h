#pragma once
// The single-instance guard: an abstract-namespace UNIX socket bound under a fixed name. The
// kernel releases the name when the process ends, even after a crash, so a stale guard never
// locks the user out.
#include <string>

namespace vidora {

class InstanceGuard {
  public:
    enum class Claim { Acquired, AlreadyRunning, Failed };

    explicit InstanceGuard(std::string name);
    ~InstanceGuard();
    InstanceGuard(const InstanceGuard&) = delete;
    InstanceGuard& operator=(const InstanceGuard&) = delete;

    Claim acquire();
    void release();
    bool held() const { return fd_ >= 0; }

  private:
    std::string name_;
    int fd_ = -1;
};

}  // namespace vidora
