#include "ui/monitor_panel.h"

#include <cmath>

#include "app/bus.h"
#include "app/live_state.h"
#include "app/settings.h"
#include "platform/relaxed.h"
#include "ui/commands.h"

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

void MonitorPanel::onPaint(Canvas& canvas) {
    if (!liveOrPaused()) {
        const Size size = canvas.size();
        canvas.fillRect({0, 0, size.width, size.height}, {0, 0, 0});
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
        case WM_GRAPH_NOTIFY:
            sendMessage(ENG_GRAPH_EVENT);
            return 0;
        case WM_LIVE_PICTURE:
            presenter_->onPictureArrived();
            return 0;
        case WM_VIDEO_REPAINT:
            windowHost().invalidate(handle());
            return 0;
        default:
            return defaultProc(message, wParam, lParam);
    }
}

}  // namespace vidora
