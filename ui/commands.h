#pragma once
// Command ids of the main window: the accelerators and the entries of the "Function" menu.
#include <cstdint>

namespace vidora {

enum : uint32_t {
    ID_NEXT_CHANNEL = 32771,  // Space
    ID_FULLSCREEN = 32773,    // Esc (leaves full-screen mode only), tool button 7, double-click
    ID_SECURITY_CONFIG = 32777,
    ID_ALARM_CONFIG = 32778,
    ID_PLAN_TASK_CONFIG = 32779,
    ID_ABOUT = 32780,
    ID_DISPLAY_CONFIG = 32781,
    ID_CAPTURE_CONFIG = 32782,
    ID_RECORD_CONFIG = 32783,
    ID_MORE_SETTINGS = 32784,  // the viewer's own preferences (vidora.ini)
    // Keys and the picture's menu; each clicks the control panel's button of the same name.
    ID_KEY_FULLSCREEN = 32790,  // F11: enters like the button, leaves like Esc
    ID_KEY_CHANNEL_1 = 32791,   // 1..4: ID_KEY_CHANNEL_1 + channel
    ID_KEY_CHANNEL_4 = 32794,
    ID_KEY_RECORD = 32795,    // R
    ID_KEY_SNAPSHOT = 32796,  // S
    ID_KEY_QUAD = 32797,      // Q
    ID_KEY_ZOOM_IN = 32798,   // +
    ID_KEY_ZOOM_OUT = 32799,  // -
    ID_ZOOM_ONE = 32800,      // the picture's menu: back to 1:1
    ID_RECORDINGS = 32785,    // L: the recordings window
};

// WM_COMMAND's wParam: the id in the low half, 1 in the high half when an accelerator sent it.
inline constexpr uintptr_t commandParam(uint32_t id, bool fromAccelerator = false) {
    return (fromAccelerator ? uintptr_t{1} << 16 : 0) | id;
}

}  // namespace vidora
