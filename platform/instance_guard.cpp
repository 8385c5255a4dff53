#include "platform/instance_guard.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstring>

namespace vidora {

InstanceGuard::InstanceGuard(std::string name) : name_(std::move(name)) {}

InstanceGuard::~InstanceGuard() {
    release();
}

InstanceGuard::Claim InstanceGuard::acquire() {
    if (fd_ >= 0)
        return Claim::Acquired;
    int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return Claim::Failed;
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    // Abstract namespace: a leading NUL, then the name (not NUL-terminated).
    std::size_t length = std::min(name_.size(), sizeof(addr.sun_path) - 1);
    std::memcpy(addr.sun_path + 1, name_.data(), length);
    auto size = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + length);
    if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), size) != 0) {
        int error = errno;
        ::close(fd);
        return error == EADDRINUSE ? Claim::AlreadyRunning : Claim::Failed;
    }
    fd_ = fd;
    return Claim::Acquired;
}

void InstanceGuard::release() {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
}

}  // namespace vidora
