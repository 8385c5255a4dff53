#pragma once
// The network stream's settings as the [stream] keys of vidora.ini give them, the check the
// "Network stream" page makes before they are stored, and the address a viewer elsewhere uses.
#include <string>

#include "app/preferences.h"

namespace vidora {

inline constexpr const char* kStreamPath = "/live";

struct StreamSettings {
    bool enabled = false;
    int port = 8554;  // 0 lets the system choose one (tests)
    bool allowOthers = false;
    std::string user;
    std::string password;
    int maxClients = 4;

    bool operator==(const StreamSettings&) const = default;
    // Clients must give the user name and password: always when other computers may connect,
    // and on this computer too once both are set.
    bool needsLogin() const { return allowOthers || (!user.empty() && !password.empty()); }
};

StreamSettings readStreamSettings(const Preferences& prefs);
void storeStreamSettings(Preferences& prefs, const StreamSettings& settings);

// Empty when the settings may be used, else what the user has to fix.
std::string streamSettingsProblem(const StreamSettings& settings);

// "rtsp://<host>:<port>/live"; the host is this computer's name when others may connect, else
// 127.0.0.1.
std::string streamAddress(const StreamSettings& settings, const std::string& hostName);

// This computer's host name, for the address other computers use (empty when unknown).
std::string thisHostName();

// Whether a TCP port can be listened on at the stream's address right now.
bool streamPortFree(int port, bool allowOthers);

}  // namespace vidora
