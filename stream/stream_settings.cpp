#include "stream/stream_settings.h"

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "app/preference_keys.h"

namespace vidora {

StreamSettings readStreamSettings(const Preferences& prefs) {
    StreamSettings s;
    s.enabled = prefs.get(kStreamEnabled);
    s.port = prefs.get(kStreamPort);
    s.allowOthers = prefs.get(kStreamAllowOthers);
    s.user = prefs.get(kStreamUser);
    s.password = prefs.get(kStreamPassword);
    s.maxClients = prefs.get(kStreamMaxClients);
    return s;
}

void storeStreamSettings(Preferences& prefs, const StreamSettings& s) {
    prefs.set(kStreamEnabled, s.enabled);
    prefs.set(kStreamPort, s.port);
    prefs.set(kStreamAllowOthers, s.allowOthers);
    prefs.set(kStreamUser, s.user);
    prefs.set(kStreamPassword, s.password);
    prefs.set(kStreamMaxClients, s.maxClients);
}

std::string streamSettingsProblem(const StreamSettings& s) {
    if (s.port < 0 || s.port > 65535)
        return "The network stream's port must lie between 1 and 65535.";
    if (s.maxClients < 1)
        return "The network stream needs room for at least one viewer.";
    // Digest over the network is the only thing between the cameras and anyone on it.
    if (s.enabled && s.allowOthers && (s.user.empty() || s.password.empty()))
        return "Allowing other computers needs a user name and a password.";
    if (s.user.find_first_of(":\"\r\n") != std::string::npos)
        return "The user name may not contain a colon, a quote or a line break.";
    if (s.password.find_first_of("\r\n") != std::string::npos)
        return "The password may not contain a line break.";
    return {};
}

std::string streamAddress(const StreamSettings& s, const std::string& hostName) {
    const std::string host = s.allowOthers && !hostName.empty() ? hostName : "127.0.0.1";
    return "rtsp://" + host + ":" + std::to_string(s.port) + kStreamPath;
}

std::string thisHostName() {
    char name[256] = {};
    if (::gethostname(name, sizeof name - 1) != 0)
        return {};
    return name;
}

bool streamPortFree(int port, bool allowOthers) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    // The server sets SO_REUSEADDR too, so a port only in TIME_WAIT counts as free.
    const int one = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<uint16_t>(port));
    addr.sin_addr.s_addr = htonl(allowOthers ? INADDR_ANY : INADDR_LOOPBACK);
    const bool free =
        ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 && ::listen(fd, 1) == 0;
    ::close(fd);
    return free;
}

}  // namespace vidora
