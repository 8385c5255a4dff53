#pragma once
// Window ids and window kinds known to the program.
#include <cstdint>

namespace vidora {

enum : int32_t {
    MAIN_WINDOW_ID = 4096,
    MONITOR_PANEL_ID = 4097,
    CONTROL_PANEL_ID = 4098,
    CHANNEL_GROUP_ID = 4113,
    VOLUME_GROUP_ID = 4114,
    TOOL_GROUP_ID = 4115,
};

// The program's icon resource (the main window class's icon).
enum : int { IDI_PROGRAM = 107 };

// Kinds of the window factory registry. There is no kind 4.
enum : int {
    MAIN_WINDOW_KIND = 1,
    CONTROL_PANEL_KIND = 2,
    MONITOR_PANEL_KIND = 3,
    GROUP_PANEL_KIND = 5,
};

}  // namespace vidora
