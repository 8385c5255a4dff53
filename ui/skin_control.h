#pragma once
// One button or tracker of a skin button group, and what a group tells its listener. Controls
// are owned by their group, in skin order; a control's id is its 1-based place in the group.
#include <cstdint>
#include <string>

namespace vidora {

class SkinGroupPanel;

enum ControlType : int32_t {
    CONTROL_PUSH = 0,
    CONTROL_TOGGLE = 1,              // the appearance flips at each click
    CONTROL_PROGRAM_APPEARANCE = 2,  // only the program sets the appearance
    CONTROL_TRACKER = 3,             // horizontal slider
    CONTROL_LATCH = 5,               // stays down until clicked again
};

enum ControlState : int32_t {
    STATE_NORMAL = 0,
    STATE_HIGHLIGHTED = 1,
    STATE_DOWN = 2,
    STATE_DOWN_HIGHLIGHTED = 3,
    STATE_DISABLED = 4,
    STATE_HIDDEN = 5,
};

struct SkinControl {
    int32_t appearance = 0;  // 0 or 1: which set of state offsets paints it
    int32_t state = STATE_NORMAL;
    int32_t savedState = STATE_NORMAL;  // restored when a disabled control is enabled
    int32_t shape = 0;                  // 0 rectangle; otherwise the mask pixels of its id
    int32_t type = CONTROL_PUSH;
    int32_t x = 0;
    int32_t y = 0;
    int32_t width = 0;
    int32_t height = 0;
    // Trackers only.
    int32_t thumbPosition = 0;  // pixels from the left end of the track
    int32_t thumbWidth = 0;
    int32_t thumbImageX = 0;  // the thumb image in the picture
    int32_t thumbImageY = 0;
    int32_t lastMouseX = 0;  // while dragging
    std::string hint;        // tooltip, at most 63 bytes
    int32_t id = 0;
    SkinGroupPanel* group = nullptr;
};

// {group id, control id, new state}: a completed click or a tracker move.
struct ControlNotification {
    int32_t groupId = 0;
    int32_t controlId = 0;
    int32_t newState = 0;
};

// Receives a group's notifications synchronously, during the mouse message that caused them.
class ControlListener {
  public:
    virtual ~ControlListener() = default;
    virtual void notify(const ControlNotification& notification) = 0;
};

}  // namespace vidora
