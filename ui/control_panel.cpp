#include "ui/control_panel.h"

#include <algorithm>

#include "app/bus.h"
#include "app/settings.h"
#include "app/storage.h"
#include "app/task_list.h"
#include "engine/capture_engine.h"
#include "platform/relaxed.h"
#include "ui/commands.h"
#include "ui/main_window.h"
#include "ui/skin_group_panel.h"
#include "ui/skin_loader.h"
#include "ui/ui_services.h"

namespace vidora {

namespace {

const WindowKindRegistration kControlPanelKind(CONTROL_PANEL_KIND, [](SkinWindow* parent,
                                                                      int32_t id, int x, int y,
                                                                      int width, int height) {
    return std::make_unique<ControlPanel>(parent, id, x, y, width, height);
});

bool isHighlighted(int32_t state) {
    return state == STATE_HIGHLIGHTED || state == STATE_DOWN_HIGHLIGHTED;
}

bool liveRunning() {
    return loadRelaxed(gState.liveViewOn) && !loadRelaxed(gState.livePaused);
}

// Recording runs, but its files cannot be written (the engine's writer says so).
bool recordingStalled() {
    const CaptureEngine* engine = CaptureEngine::instance();
    return loadRelaxed(gState.recordingOn) && engine && engine->recordingStalled();
}

int currentChannel() {
    const int channel = loadRelaxed(gState.currentChannel);
    return channel >= 0 && channel <= 3 ? channel : 0;
}

void setState(SkinGroupPanel& group, int32_t control, int32_t state) {
    if (SkinControl* c = group.control(control))
        c->state = state;
}

int32_t stateOf(const SkinGroupPanel& group, int32_t control) {
    const SkinControl* c = group.control(control);
    return c ? c->state : STATE_HIDDEN;
}

void redraw(SkinGroupPanel& group) {
    group.render();
    group.present();
}

template <std::size_t N>
bool anySet(const uint8_t (&flags)[N]) {
    return std::any_of(std::begin(flags), std::end(flags),
                       [](const uint8_t& f) { return loadRelaxed(f) != 0; });
}

}  // namespace

ControlPanel::ControlPanel(SkinWindow* parent, int32_t id, int x, int y, int width, int height)
    : SkinWindow(parent, id, x, y, width, height) {}

WindowClass ControlPanel::classDescription() const {
    WindowClass c;
    c.name = kClassName;
    c.style = CS_HREDRAW | CS_VREDRAW;
    c.cursor = CursorShape::Arrow;
    c.background = kButtonFace;
    return c;
}

SkinGroupPanel* ControlPanel::group(int32_t groupId) const {
    return dynamic_cast<SkinGroupPanel*>(findWindowById(groupId));
}

intptr_t ControlPanel::windowProc(uint32_t message, uintptr_t wParam, intptr_t lParam) {
    switch (message) {
        case WM_CREATE:
            loadSkinGroups(kSkinFile, this, this);
            refreshState();
            return 0;
        case WM_SIZE: {
            int height = paramHeight(lParam);
            if (paramWidth(lParam) == 0 || height == 0)
                height = windowHost().clientSize(handle()).height;
            resizeToolGroup(height);
            return 0;
        }
        case WM_BUS_NOTICE:
            onNotice(static_cast<int32_t>(wParam));
            return 0;
        default:
            return defaultProc(message, wParam, lParam);
    }
}

void ControlPanel::resizeToolGroup(int clientHeight) {
    SkinGroupPanel* tool = group(TOOL_GROUP_ID);
    if (!tool || !tool->handle())
        return;
    // The tool group keeps its top and width and reaches down to the panel's bottom edge.
    const Rect r = windowHost().windowRect(tool->handle());
    const int height = std::max(0, clientHeight - r.top + 1);
    windowHost().moveWindow(tool->handle(), Rect::fromSize(r.left, r.top, r.width(), height), true);
}

// ---- notifications ----------------------------------------------------------------------

void ControlPanel::notify(const ControlNotification& n) {
    const bool down = n.newState == STATE_DOWN || n.newState == STATE_DOWN_HIGHLIGHTED;
    const bool released = n.newState == STATE_NORMAL || n.newState == STATE_HIGHLIGHTED;
    switch (n.groupId) {
        case CHANNEL_GROUP_ID:
            onChannelControl(n.controlId, down, released);
            break;
        case VOLUME_GROUP_ID:
            onVolumeControl(n.controlId, down, released);
            break;
        case TOOL_GROUP_ID:
            onToolControl(n.controlId, n.newState, down, released);
            break;
        default:
            break;
    }
    refreshStatusBand();
}

bool ControlPanel::pressControl(int32_t groupId, int32_t controlId) {
    SkinGroupPanel* g = group(groupId);
    return g && g->pressControl(controlId);
}

bool ControlPanel::controlEnabled(int32_t groupId, int32_t controlId) const {
    const SkinGroupPanel* g = group(groupId);
    const SkinControl* c = g ? g->control(controlId) : nullptr;
    return c && c->state != STATE_DISABLED && c->state != STATE_HIDDEN;
}

void ControlPanel::refreshStatusBand() {
    if (auto* main = dynamic_cast<MainWindow*>(parent()))
        main->refreshStatusBand();
}

void ControlPanel::onChannelControl(int32_t control, bool down, bool released) {
    if (control >= 1 && control <= 4) {
        sendMessage(ENG_CHANNEL_SELECT, control - 1);
    } else if (control >= 5 && control <= 8) {
        if (down)
            sendMessage(ENG_CHANNEL_DISABLE, control - 5);
        else if (released)
            sendMessage(ENG_CHANNEL_ENABLE, control - 5);
    } else if (control == CHANNEL_CYCLE) {
        if (down)
            sendMessage(ENG_CYCLE_START);
        else if (released)
            sendMessage(ENG_CYCLE_STOP);
        return;
    } else {
        return;
    }
    refreshState();
}

void ControlPanel::onVolumeControl(int32_t control, bool down, bool released) {
    SkinGroupPanel* volume = group(VOLUME_GROUP_ID);
    if (!volume)
        return;
    if (control == VOLUME_MUTE) {
        if (down) {
            sendMessage(ENG_SET_VOLUME, 0);
            volume->setEnabled(VOLUME_TRACKER, false);
        } else if (released) {
            volume->setEnabled(VOLUME_TRACKER, true);
            sendMessage(ENG_SET_VOLUME, volume->trackerValue(VOLUME_TRACKER));
        }
    } else if (control == VOLUME_TRACKER) {
        sendMessage(ENG_SET_VOLUME, volume->trackerValue(VOLUME_TRACKER));
    }
}

void ControlPanel::onToolControl(int32_t control, int32_t, bool down, bool released) {
    SkinGroupPanel* tool = group(TOOL_GROUP_ID);
    SkinGroupPanel* channel = group(CHANNEL_GROUP_ID);
    SkinGroupPanel* volume = group(VOLUME_GROUP_ID);
    const int current = currentChannel();
    switch (control) {
        case TOOL_QUAD:
            sendMessage(ENG_TOGGLE_QUAD);
            // The button shows the layout: bring its appearance in line at once.
            refreshState();
            break;
        case TOOL_PAUSE:
            if (down) {
                sendMessage(ENG_LIVE_PAUSE);
                for (SkinGroupPanel* g : {tool, channel, volume})
                    if (g)
                        g->disableAll();
                if (tool) {
                    tool->setEnabled(TOOL_PAUSE, true);
                    tool->setEnabled(TOOL_RECORD_FOLDER, true);
                }
            } else if (released) {
                sendMessage(ENG_LIVE_START);
                if (tool) {
                    tool->setEnabled(TOOL_PAUSE, true);
                    tool->setEnabled(TOOL_RECORD_FOLDER, true);
                }
                for (SkinGroupPanel* g : {volume, channel})
                    if (g)
                        g->enableAll();
                refreshState();
            }
            break;
        case TOOL_SNAPSHOT:
            sendMessage(ENG_SNAPSHOT);
            break;
        case TOOL_RECORD:
            if (released)
                sendMessage(ENG_RECORD_STOP);
            else if (down)
                sendMessage(ENG_RECORD_START);
            break;
        case TOOL_ZOOM_IN: {
            const uint32_t zoom = loadRelaxed(gState.channelZoom[current]);
            if (zoom < 4)
                storeRelaxed(gState.channelZoom[current], zoom + 1);
            break;
        }
        case TOOL_ZOOM_OUT: {
            const uint32_t zoom = loadRelaxed(gState.channelZoom[current]);
            if (zoom > 1)
                storeRelaxed(gState.channelZoom[current], zoom - 1);
            break;
        }
        case TOOL_FULLSCREEN:
            if ((loadRelaxed(gState.liveViewOn) || loadRelaxed(gState.livePaused)) && parent() &&
                parent()->handle())
                routeWindowMessage(parent()->handle(), WM_COMMAND, commandParam(ID_FULLSCREEN), 0);
            break;
        case TOOL_MOTION_SWITCH:
        case TOOL_SOUND_SWITCH: {
            const bool motion = control == TOOL_MOTION_SWITCH;
            uint8_t& flag = motion ? gState.motionAlarmOn : gState.soundAlarmOn;
            const bool on = !loadRelaxed(flag);
            storeRelaxed(flag, on ? 1 : 0);
            if (tool)
                setState(*tool, control, on ? STATE_DOWN_HIGHLIGHTED : STATE_HIGHLIGHTED);
            // Switching one kind off ends the indication, unless the other kind is still
            // raising it.
            const bool otherActive =
                motion ? loadRelaxed(gState.soundAlarmActive) && loadRelaxed(gState.soundAlarmOn)
                       : loadRelaxed(gState.motionAlarmActive) && loadRelaxed(gState.motionAlarmOn);
            if (!on && !otherActive)
                storeRelaxed(gState.lastAlarmTick, 0);
            break;
        }
        case TOOL_TASK_SWITCH: {
            const bool on = !loadRelaxed(gState.planTasksOn);
            storeRelaxed(gState.planTasksOn, on ? 1 : 0);
            if (tool)
                setState(*tool, control, on ? STATE_DOWN_HIGHLIGHTED : STATE_HIGHLIGHTED);
            break;
        }
        case TOOL_MOTION_SETTINGS:
        case TOOL_SOUND_SETTINGS:
        case TOOL_TASK_SETTINGS:
            if (liveRunning()) {
                showSettingsDialog(handle(),
                                   control == TOOL_TASK_SETTINGS ? PAGE_PLAN_TASK : PAGE_ALARM);
                sendMessage(ENG_SETTINGS_CHANGED);
            }
            break;
        case TOOL_RECORD_FOLDER:
            exploreFolder(nativeFolderPath(gConfig.recordFolder));
            break;
        default:
            break;
    }
}

// ---- state ------------------------------------------------------------------------------

void ControlPanel::refreshState() {
    if (SkinGroupPanel* channel = group(CHANNEL_GROUP_ID)) {
        for (int i = 1; i <= 4; ++i) {
            SkinControl* onOff = channel->control(i + 4);
            if (!onOff || onOff->state == STATE_DISABLED)
                continue;  // a disabled switch leaves its channel's buttons alone
            const bool enabled = loadRelaxed(gState.channelEnabled[i - 1]) != 0;
            const bool lit = isHighlighted(onOff->state);
            if (enabled)
                onOff->state = lit ? STATE_HIGHLIGHTED : STATE_NORMAL;
            else
                onOff->state = lit ? STATE_DOWN_HIGHLIGHTED : STATE_DOWN;
            const bool selectDisabled = stateOf(*channel, i) == STATE_DISABLED;
            if (!enabled && !selectDisabled)
                channel->setEnabled(i, false);
            else if (enabled && selectDisabled)
                channel->setEnabled(i, true);
        }
        const int current = currentChannel();
        for (int i = 1; i <= 4; ++i)
            if (stateOf(*channel, i) != STATE_DISABLED)
                setState(*channel, i, i - 1 == current ? STATE_DOWN : STATE_NORMAL);
        if (stateOf(*channel, CHANNEL_CYCLE) != STATE_DISABLED)
            setState(*channel, CHANNEL_CYCLE,
                     loadRelaxed(gState.autoCycleOn) ? STATE_DOWN : STATE_NORMAL);
        redraw(*channel);
    }
    if (SkinGroupPanel* tool = group(TOOL_GROUP_ID)) {
        if (stateOf(*tool, TOOL_RECORD) != STATE_DISABLED)
            setState(*tool, TOOL_RECORD,
                     loadRelaxed(gState.recordingOn) ? STATE_DOWN : STATE_NORMAL);
        const auto appearance = [tool](int32_t control, bool second) {
            if (SkinControl* c = tool->control(control))
                c->appearance = second ? 1 : 0;
        };
        const bool stalled = recordingStalled();
        appearance(TOOL_RECORD, stalled);
        if (const SkinControl* record = tool->control(TOOL_RECORD))
            tool->setTooltip(TOOL_RECORD, stalled ? kRecordNotWrittenTooltip : record->hint);
        appearance(TOOL_RECORD_FOLDER, loadRelaxed(gState.recordFolderHasFiles) != 0);
        appearance(TOOL_QUAD, loadRelaxed(gState.quadLayout) != 0);
        appearance(TOOL_TASK_SETTINGS, taskList().count() > 0);
        appearance(TOOL_MOTION_SETTINGS, anySet(gConfig.motionAlarmChannel));
        appearance(TOOL_SOUND_SETTINGS, anySet(gConfig.soundAlarmChannel));
        if (liveRunning()) {
            setState(*tool, TOOL_MOTION_SWITCH,
                     loadRelaxed(gState.motionAlarmOn) ? STATE_DOWN : STATE_NORMAL);
            setState(*tool, TOOL_SOUND_SWITCH,
                     loadRelaxed(gState.soundAlarmOn) ? STATE_DOWN : STATE_NORMAL);
            setState(*tool, TOOL_TASK_SWITCH,
                     loadRelaxed(gState.planTasksOn) ? STATE_DOWN : STATE_NORMAL);
        }
        redraw(*tool);
    }
}

void ControlPanel::disableForIdle() {
    if (SkinGroupPanel* channel = group(CHANNEL_GROUP_ID))
        channel->disableAll();
    if (SkinGroupPanel* tool = group(TOOL_GROUP_ID)) {
        tool->disableAll();
        tool->setEnabled(TOOL_RECORD_FOLDER, true);
    }
    if (SkinGroupPanel* volume = group(VOLUME_GROUP_ID)) {
        // The thumb shows the volume as a share of the tracker's travel, the way the value it
        // sends is computed.
        if (const SkinControl* tracker = volume->control(VOLUME_TRACKER)) {
            const int64_t travel =
                std::max<int64_t>(0, int64_t{tracker->width} - tracker->thumbWidth);
            const int64_t volumePercent = std::clamp(loadRelaxed(gState.audioVolume), 0, 100);
            volume->setThumbPosition(VOLUME_TRACKER,
                                     static_cast<int32_t>(volumePercent * travel / 100));
        }
        volume->disableAll();
    }
}

void ControlPanel::onAppStarted() {
    disableForIdle();
}

void ControlPanel::onNotice(int32_t id) {
    switch (id) {
        case NTF_LIVE_STATE: {
            if (!loadRelaxed(gState.liveViewOn) && !loadRelaxed(gState.livePaused)) {
                // Live view ended (the receiver went away): nothing but the record folder works
                // until it runs again.
                disableForIdle();
                break;
            }
            SkinGroupPanel* channel = group(CHANNEL_GROUP_ID);
            if (channel) {
                const int select = currentChannel() + 1;
                if (stateOf(*channel, select) != STATE_DISABLED)
                    setState(*channel, select, STATE_DOWN);
            }
            for (int32_t groupId : {CHANNEL_GROUP_ID, TOOL_GROUP_ID, VOLUME_GROUP_ID})
                if (SkinGroupPanel* g = group(groupId))
                    g->enableAll();
            break;
        }
        case NTF_CHANNEL_CHANGED:
        case NTF_RECORD_STATE:
            refreshState();
            break;
        default:
            break;
    }
    refreshStatusBand();
}

}  // namespace vidora
