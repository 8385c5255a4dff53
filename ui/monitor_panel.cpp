#include "ui/monitor_panel.h"

#include <algorithm>
#include <cmath>

#include "app/bus.h"
#include "app/live_state.h"
#include "app/settings.h"
#include "platform/clock.h"
#include "platform/relaxed.h"
#include "ui/commands.h"
#include "ui/control_panel.h"
#include "ui/main_window.h"
#include "ui/picture_feedback.h"

namespace vidora {

namespace {

const WindowKindRegistration kMonitorKind(MONITOR_PANEL_KIND, [](SkinWindow* parent, int32_t id,
                                                                 int x, int y, int width,
                                                                 int height) {
    return std::make_unique<MonitorPanel>(parent, id, x, y, width, height);
});

int currentChannel() {
    const int channel = loadRelaxed(gState.currentChannel);
    return channel >= 0 && channel <= 3 ? channel : 0;
}

bool liveOrPaused() {
    return loadRelaxed(gState.liveViewOn) || loadRelaxed(gState.livePaused);
}

int32_t panAxis(int32_t start, int press, int point, int client, int picture, int zoom) {
    const double moved = static_cast<double>(point - press) * picture / client / zoom;
    int32_t pan = start - static_cast<int32_t>(moved);  // truncated toward zero
    if (pan < 0)
        pan = 0;
    if (picture / zoom + pan > picture)
        pan = picture - picture / zoom;
    return pan;
}

}  // namespace

PanOffset panAfterDrag(PanOffset start, Point press, Point point, uint32_t zoom, int clientWidth,
                       int clientHeight, int pictureWidth, int pictureHeight) {
    const int z = static_cast<int>(clampZoom(zoom));
    if (clientWidth <= 0 || clientHeight <= 0)
        return start;
    return {panAxis(start.x, press.x, point.x, clientWidth, pictureWidth, z),
            panAxis(start.y, press.y, point.y, clientHeight, pictureHeight, z)};
}

PanOffset panForZoomAt(PanOffset pan, Point at, uint32_t before, uint32_t after, int cellWidth,
                       int cellHeight, int pictureWidth, int pictureHeight) {
    if (cellWidth <= 0 || cellHeight <= 0)
        return pan;
    const double z0 = clampZoom(before), z1 = clampZoom(after);
    const auto axis = [&](int32_t start, int point, int cell, int picture) {
        // The picture point under the pointer, then the offset that puts it there again.
        const double under = start + static_cast<double>(point) * picture / cell / z0;
        int32_t offset =
            static_cast<int32_t>(under - static_cast<double>(point) * picture / cell / z1);
        const int32_t most = picture - static_cast<int32_t>(picture / z1);
        return std::clamp(offset, 0, std::max(0, most));
    };
    return {axis(pan.x, at.x, cellWidth, pictureWidth),
            axis(pan.y, at.y, cellHeight, pictureHeight)};
}

MonitorPanel::MonitorPanel(SkinWindow* parent, int32_t id, int x, int y, int width, int height)
    : SkinWindow(parent, id, x, y, width, height), presenter_(std::make_unique<LivePresenter>()) {}

MonitorPanel::~MonitorPanel() {
    if (videoWindow() == presenter_.get())
        setVideoWindow(nullptr);
}

WindowClass MonitorPanel::classDescription() const {
    WindowClass c;
    c.name = kClassName;
    c.style = CS_HREDRAW | CS_VREDRAW | CS_DBLCLKS;
    c.cursor = CursorShape::None;  // set on every mouse move
    return c;
}

VideoRect MonitorPanel::currentCell() const {
    const Size client = windowHost().clientSize(handle());
    if (!loadRelaxed(gState.quadLayout))
        return {0, 0, client.width, client.height};
    // In quad layout the live channel's quarter of the area, split at the integer halves (the
    // separator bars belong to the quarters they border).
    const int channel = currentChannel();
    const int halfW = client.width / 2, halfH = client.height / 2;
    const bool right = channel % 2 != 0, bottom = channel / 2 != 0;
    return {right ? halfW : 0, bottom ? halfH : 0, right ? client.width - halfW : halfW,
            bottom ? client.height - halfH : halfH};
}

void MonitorPanel::updateCursor(int x, int y) {
    CursorShape shape = CursorShape::Arrow;
    const uint32_t zoom = clampZoom(loadRelaxed(gState.channelZoom[currentChannel()]));
    if (zoom >= 2 && !loadRelaxed(gState.livePaused)) {
        // A zoomed picture can be dragged: the hand shows over the live cell.
        shape = currentCell().contains(x, y) ? CursorShape::Hand : CursorShape::Arrow;
    }
    windowHost().setCursor(handle(), shape);
}

void MonitorPanel::onButtonDown(int x, int y) {
    if (panning_)
        return;
    const int channel = currentChannel();
    const uint32_t zoom = clampZoom(loadRelaxed(gState.channelZoom[channel]));
    if (zoom <= 1 || loadRelaxed(gState.livePaused) || !currentCell().contains(x, y))
        return;
    windowHost().setCursor(handle(), CursorShape::SizeAll);
    windowHost().setCapture(handle());
    press_ = {x, y};
    const ChannelPan atPress = loadChannelPan(channel);
    panAtPress_ = {atPress.x, atPress.y};
    panning_ = true;
    storeRelaxed(gState.panDragActive, 1);
}

void MonitorPanel::onMouseMove(int x, int y, bool leftButton) {
    if (!panning_) {
        updateCursor(x, y);
        return;
    }
    if (!leftButton) {
        updateCursor(x, y);
        endPanning();
        return;
    }
    const int channel = currentChannel();
    Size client = windowHost().clientSize(handle());
    if (loadRelaxed(gState.quadLayout)) {
        client.width /= 2;
        client.height /= 2;
    }
    const PanOffset pan = panAfterDrag(
        panAtPress_, press_, {x, y}, loadRelaxed(gState.channelZoom[channel]), client.width,
        client.height, loadRelaxed(gState.videoWidth), loadRelaxed(gState.videoHeight));
    storeChannelPan(channel, {pan.x, pan.y});
    storeRelaxed(gState.videoRepositionPending, 1);
}

void MonitorPanel::endPanning() {
    windowHost().releaseCapture();
    panning_ = false;
    storeRelaxed(gState.panDragActive, 0);
}

void MonitorPanel::onWheel(int x, int y, int delta) {
    auto* main = dynamic_cast<MainWindow*>(parent());
    ControlPanel* panel = main ? main->controlPanel() : nullptr;
    if (!panel)
        return;
    wheelRest_ += delta;
    if (wheelRest_ > -kWheelNotch && wheelRest_ < kWheelNotch)
        return;
    const bool in = wheelRest_ > 0;
    wheelRest_ = 0;
    const int channel = currentChannel();
    const VideoRect cell = currentCell();
    const uint32_t before = clampZoom(loadRelaxed(gState.channelZoom[channel]));
    const ChannelPan stored = loadChannelPan(channel);
    const PanOffset pan{stored.x, stored.y};
    // The zoom buttons' command and their enable rule.
    if (!panel->pressControl(TOOL_GROUP_ID, in ? TOOL_ZOOM_IN : TOOL_ZOOM_OUT))
        return;
    const uint32_t after = clampZoom(loadRelaxed(gState.channelZoom[channel]));
    if (after == before || panning_ || !cell.contains(x, y))
        return;
    const PanOffset moved =
        panForZoomAt(pan, {x - cell.x, y - cell.y}, before, after, cell.width, cell.height,
                     loadRelaxed(gState.videoWidth), loadRelaxed(gState.videoHeight));
    storeChannelPan(channel, {moved.x, moved.y});
    storeRelaxed(gState.videoRepositionPending, 1);
}

void MonitorPanel::refreshStatusBand() {
    // The band's clock (recording time, sizes) moves on with the pictures, a few times a second.
    const uint32_t tick = processClock().tickCount();
    if (bandRefreshed_ && tick - bandTick_ < kBandRefreshMs)
        return;
    bandRefreshed_ = true;
    bandTick_ = tick;
    if (auto* main = dynamic_cast<MainWindow*>(parent()))
        main->refreshStatusBand();
}

void MonitorPanel::onPaint(Canvas& canvas) {
    if (!liveOrPaused()) {
        const Size size = canvas.size();
        canvas.fillRect({0, 0, size.width, size.height}, {0, 0, 0});
        // Say why there is no picture instead of staying black.
        paintIdlePanel(canvas, idlePanelText(statusBoard().link()));
        return;
    }
    presenter_->paint(canvas);
}

intptr_t MonitorPanel::windowProc(uint32_t message, uintptr_t wParam, intptr_t lParam) {
    switch (message) {
        case WM_CREATE: {
            presenter_->attach(handle(), parent() ? parent()->handle() : 0);
            const Size client = windowHost().clientSize(handle());
            presenter_->setClientSize(client.width, client.height);
            return 0;
        }
        case WM_DESTROY:
            presenter_->detach();
            if (videoWindow() == presenter_.get())
                setVideoWindow(nullptr);
            return 0;
        case WM_SIZE: {
            const int w = paramWidth(lParam), h = paramHeight(lParam);
            presenter_->setClientSize(w, h);
            // The engine re-reads the client size and moves the live picture.
            if ((wParam == SIZE_RESTORED || wParam == SIZE_MAXSHOW) && w > 0 && h > 0)
                postMessage(ENG_VIDEO_RECT_CHANGED);
            return 0;
        }
        case WM_PAINT:
            if (wParam)
                onPaint(*reinterpret_cast<Canvas*>(wParam));
            return 0;
        case WM_LBUTTONDOWN:
            onButtonDown(paramX(lParam), paramY(lParam));
            return 0;
        case WM_MOUSEMOVE:
            onMouseMove(paramX(lParam), paramY(lParam), (wParam & MK_LBUTTON) != 0);
            return 0;
        case WM_LBUTTONUP:
            if (panning_) {
                updateCursor(paramX(lParam), paramY(lParam));
                endPanning();
            }
            return 0;
        case WM_LBUTTONDBLCLK:
            if (liveOrPaused()) {
                postMessage(ENG_CLICK_SELECT, packPoint(paramX(lParam), paramY(lParam)));
                if (parent() && parent()->handle())
                    routeWindowMessage(parent()->handle(), WM_COMMAND, commandParam(ID_FULLSCREEN),
                                       0);
            }
            return 0;
        case WM_MOUSEWHEEL:
            onWheel(paramX(lParam), paramY(lParam),
                    static_cast<int16_t>((static_cast<uint32_t>(wParam) >> 16) & 0xFFFF));
            return 0;
        case WM_CONTEXTMENU:
            if (auto* main = dynamic_cast<MainWindow*>(parent()))
                main->showPictureMenu({paramX(lParam), paramY(lParam)});
            return 0;
        case WM_GRAPH_NOTIFY:
            sendMessage(ENG_GRAPH_EVENT);
            return 0;
        case WM_LIVE_PICTURE:
            presenter_->onPictureArrived();
            refreshStatusBand();
            return 0;
        case WM_VIDEO_REPAINT:
            windowHost().invalidate(handle());
            return 0;
        default:
            return defaultProc(message, wParam, lParam);
    }
}

}  // namespace vidora
