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
