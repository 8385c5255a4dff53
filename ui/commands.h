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
    ID_RECORDINGS = 32785,     // R: the recordings window
};

// WM_COMMAND's wParam: the id in the low half, 1 in the high half when an accelerator sent it.
inline constexpr uintptr_t commandParam(uint32_t id, bool fromAccelerator = false) {
    return (fromAccelerator ? uintptr_t{1} << 16 : 0) | id;
}

}  // namespace vidora
