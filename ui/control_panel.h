#pragma once
// The control panel: the 160-pixel strip at the right of the main window that holds the skin's
// button groups. It turns every control notification into a bus command, a switch of the shared
// state or the settings dialog, and brings the buttons in line with the engine's state when the
// engine reports a change. Kind 2, id 4098; owned by the window framework; message-loop thread.
#include <cstdint>

#include "ui/skin_control.h"
#include "ui/skin_window.h"

namespace vidora {

class SkinGroupPanel;

// Controls of the three groups.
enum : int32_t {
    VOLUME_MUTE = 1,
    VOLUME_TRACKER = 2,
    TOOL_QUAD = 1,
    TOOL_PAUSE = 2,
    TOOL_SNAPSHOT = 3,
    TOOL_RECORD = 4,
    TOOL_ZOOM_IN = 5,
    TOOL_ZOOM_OUT = 6,
    TOOL_FULLSCREEN = 7,
    TOOL_MOTION_SWITCH = 8,
    TOOL_SOUND_SWITCH = 9,
    TOOL_TASK_SWITCH = 10,
    TOOL_MOTION_SETTINGS = 11,
    TOOL_SOUND_SETTINGS = 12,
    TOOL_TASK_SETTINGS = 13,
    TOOL_RECORD_FOLDER = 14,
    CHANNEL_CYCLE = 9,
};

// Posted to the control panel when an engine notice arrives on another thread.
enum : uint32_t { WM_BUS_NOTICE = 0x8005 };  // wParam: the notice id

// The record button's tooltip while the recording is not being written (the button then shows
// its second appearance).
inline constexpr const char* kRecordNotWrittenTooltip =
    "Recording is not being written: the record folder is missing, read-only or full";

class ControlPanel : public SkinWindow, public ControlListener {
  public:
    static constexpr const char* kClassName = "VD_ControlPanel";
    static constexpr int kWidth = 160;
    static constexpr Rgb kButtonFace{240, 240, 240};

    ControlPanel(SkinWindow* parent, int32_t id, int x, int y, int width, int height);

    const char* className() const override { return kClassName; }
    WindowClass classDescription() const override;
    intptr_t windowProc(uint32_t message, uintptr_t wParam, intptr_t lParam) override;

    // ControlListener: a completed click or a tracker move in one of the groups.
    void notify(const ControlNotification& notification) override;

    // Brings the buttons in line with the shared state.
    void refreshState();
    // Start-up is complete: everything but the record-folder button waits for live view.
    void onAppStarted();
    // NTF_LIVE_STATE, NTF_CHANNEL_CHANGED and NTF_RECORD_STATE (message-loop thread).
    void onNotice(int32_t id);

    // Clicks a button as the mouse would (keys and the picture's menu): nothing when it is
    // disabled or absent. True when it was clicked.
    bool pressControl(int32_t groupId, int32_t controlId);
    bool controlEnabled(int32_t groupId, int32_t controlId) const;

    // One of the three groups of the program, or null when the skin has none with that id.
    SkinGroupPanel* group(int32_t groupId) const;

  private:
    void onChannelControl(int32_t control, bool down, bool released);
    void onVolumeControl(int32_t control, bool down, bool released);
    void onToolControl(int32_t control, int32_t newState, bool down, bool released);
    void resizeToolGroup(int clientHeight);
    void refreshStatusBand();
    void disableForIdle();
};

}  // namespace vidora
