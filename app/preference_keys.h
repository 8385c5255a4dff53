#pragma once
// Every key of vidora.ini, in one place so that the README's table and the "More settings"
// dialog can be checked against it. Each feature reads its own keys through preferences().
#include "app/preferences.h"

namespace vidora {

// [alarm] Seconds of live picture and sound kept before an alarm recording starts; 0 keeps none.
inline constexpr IntPreference kPreAlarmSeconds{"alarm", "preAlarmSeconds", 5, 0, 30};

// [device] The receiver's video node (/dev/videoN) chosen by the user; empty: the device named
// "Halcap Capture".
inline constexpr StringPreference kReceiverDevice{"device", "path", ""};

}  // namespace vidora

namespace vidora {

// [stream] The network stream (RTSP): off until switched on; the port and the client limit; other
// computers only when allowed, and then only with the user name and password (Digest).
inline constexpr BoolPreference kStreamEnabled{"stream", "enabled", false};
inline constexpr IntPreference kStreamPort{"stream", "port", 8554, 1, 65535};
inline constexpr BoolPreference kStreamAllowOthers{"stream", "allowOthers", false};
inline constexpr StringPreference kStreamUser{"stream", "user", ""};
inline constexpr StringPreference kStreamPassword{"stream", "password", ""};
inline constexpr IntPreference kStreamMaxClients{"stream", "maxClients", 4, 1, 64};

}  // namespace vidora
