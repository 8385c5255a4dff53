#include "ui/main_window.h"

#include "app/bus.h"
#include "app/message_box.h"
#include "app/settings.h"
#include "engine/video_window.h"
#include "platform/relaxed.h"
#include "ui/commands.h"
#include "ui/control_panel.h"
#include "ui/monitor_panel.h"
#include "ui/ui_services.h"

namespace vidora {

namespace {

const WindowKindRegistration kMainWindowKind(MAIN_WINDOW_KIND, [](SkinWindow* parent, int32_t id,
                                                                  int x, int y, int width,
                                                                  int height) {
    return std::make_unique<MainWindow>(parent, id, x, y, width, height);
});

constexpr int kPanelWidth = ControlPanel::kWidth;
constexpr Rgb kPanelEdgeGrey{178, 178, 178};

bool isLeftEdge(uint32_t edge) {
    return edge == WMSZ_LEFT || edge == WMSZ_TOPLEFT || edge == WMSZ_BOTTOMLEFT;
}
bool isRightEdge(uint32_t edge) {
    return edge == WMSZ_RIGHT || edge == WMSZ_TOPRIGHT || edge == WMSZ_BOTTOMRIGHT;
}
bool isTopEdge(uint32_t edge) {
    return edge == WMSZ_TOP || edge == WMSZ_TOPLEFT || edge == WMSZ_TOPRIGHT;
}
bool isBottomEdge(uint32_t edge) {
    return edge == WMSZ_BOTTOM || edge == WMSZ_BOTTOMLEFT || edge == WMSZ_BOTTOMRIGHT;
}

}  // namespace

void applySizingRule(Rect& r, uint32_t edge, int rightBorderWidth, int monitorX, int monitorY) {
    constexpr int kMinW = MainWindow::kMinimumWidth, kMinH = MainWindow::kMinimumHeight;
    if (r.width() < kMinW) {
        if (isLeftEdge(edge))
            r.left = r.right - kMinW;
        else if (isRightEdge(edge))
            r.right = r.left + kMinW;
    }
    if (r.height() < kMinH) {
        if (isTopEdge(edge))
            r.top = r.bottom - kMinH;
        else if (isBottomEdge(edge))
            r.bottom = r.top + kMinH;
    }
    const int w = r.width() - 2 * rightBorderWidth - monitorX - kPanelWidth;
    const int h = r.height() - 2 * monitorY;
    int u = 0, v = 0;  // width and height the monitor area lacks for 4 : 3
    if (w / 4 > h / 3)
        v = 3 * (w / 4) - h;
    else if (w / 4 < h / 3)
        u = 4 * (h / 3) - w;
    switch (edge) {
        case WMSZ_LEFT:
        case WMSZ_RIGHT:
            if (u > 0)
                r.bottom -= (u / 4) * 3;
            else
                r.bottom += v;
            break;
        case WMSZ_TOP:
        case WMSZ_BOTTOM:
            if (v > 0)
                r.right -= (v / 3) * 4;
            else
                r.right += u;
            break;
        case WMSZ_TOPLEFT:
            r.left -= u;
            r.top -= v;
            break;
        case WMSZ_TOPRIGHT:
            r.right += u;
            r.top -= v;
            break;
        case WMSZ_BOTTOMLEFT:
            r.left -= u;
            r.bottom += v;
            break;
        case WMSZ_BOTTOMRIGHT:
            r.right += u;
            r.bottom += v;
            break;
        default:
            break;
    }
}

std::vector<MenuItem> functionMenu() {
    return {
        {ID_SECURITY_CONFIG, "Security Config"}, {ID_DISPLAY_CONFIG, "Display Config"},
        {ID_ALARM_CONFIG, "Alarm Config"},       {ID_RECORD_CONFIG, "Record Config"},
        {ID_CAPTURE_CONFIG, "Capture Config"},   {ID_PLAN_TASK_CONFIG, "Plan Task Config"},
        {ID_MORE_SETTINGS, "More settings"},     {0, "", true, true},
        {ID_RECORDINGS, "Recordings"},           {ID_ABOUT, "About"},
    };
}

int settingsPageOf(uint32_t command) {
    switch (command) {
        case ID_SECURITY_CONFIG:
            return PAGE_SECURITY;
        case ID_DISPLAY_CONFIG:
            return PAGE_DISPLAY;
        case ID_ALARM_CONFIG:
            return PAGE_ALARM;
        case ID_RECORD_CONFIG:
            return PAGE_RECORD;
        case ID_CAPTURE_CONFIG:
            return PAGE_CAPTURE;
        case ID_PLAN_TASK_CONFIG:
            return PAGE_PLAN_TASK;
        case ID_ABOUT:
            return PAGE_ABOUT;
        default:
            return -1;
    }
}

MainWindow::MainWindow(SkinWindow* parent, int32_t id, int x, int y, int width, int height)
    : SkinWindow(parent, id, x, y, width, height) {}

WindowClass MainWindow::classDescription() const {
    WindowClass c;
    c.name = kClassName;
    c.style = CS_HREDRAW | CS_VREDRAW | CS_DBLCLKS;
    c.cursor = CursorShape::Arrow;
    c.iconResource = IDI_PROGRAM;
    return c;
}

Rect MainWindow::windowRect() const {
    return windowHost().windowRect(handle());
}

// ---- creation, layout and painting ------------------------------------------------------

void MainWindow::onCreate() {
    menu_ = functionMenu();
    readMainWindowSkin(skin_, kSkinFile);
    const Size client = windowHost().clientSize(handle());
    controlPanel_ = dynamic_cast<ControlPanel*>(
        createByKind(CONTROL_PANEL_KIND, this, CONTROL_PANEL_ID, client.width - kPanelWidth, 0,
                     kPanelWidth, client.height));
    if (controlPanel_ && !controlPanel_->create(WS_CHILD | WS_VISIBLE, 0, "")) {
        controlPanel_->destroy();
        controlPanel_ = nullptr;
    }
    monitorPanel_ =
        dynamic_cast<MonitorPanel*>(createByKind(MONITOR_PANEL_KIND, this, MONITOR_PANEL_ID, 0, 0,
                                                 client.width - kPanelWidth, client.height));
    if (monitorPanel_ && !monitorPanel_->create(WS_CHILD | WS_VISIBLE, 0, "")) {
        monitorPanel_->destroy();
        monitorPanel_ = nullptr;
    }
    // The engine shows its pictures in the monitor panel.
    if (monitorPanel_)
        setVideoWindow(&monitorPanel_->presenter());
}

void MainWindow::onShown() {
    // Shown again in full-screen or maximised state: the size is the system's business.
    if (fullScreen_ || windowHost().isMaximized(handle()))
        return;
    const Rect window = windowRect();
    const Size client = windowHost().clientSize(handle());
    frameX_ = (window.width() - client.width) / 2;
    frameY_ = (window.height() - client.height) / 2;
    // A skin without a size keeps the size the window was created with.
    if (skin_.width > 0 && skin_.height > 0)
        windowHost().moveWindow(
            handle(), Rect::fromSize(window.left, window.top, skin_.width, skin_.height), true);
    layout();
    windowHost().invalidate(handle());
}

void MainWindow::layout() {
    const Rect window = windowRect();
    const int ww = window.width(), wh = window.height();
    const int panelHeight = wh - 2 * skin_.monitorY;
    if (!fullScreen_ && controlPanel_ && controlPanel_->handle()) {
        windowHost().moveWindow(controlPanel_->handle(),
                                Rect::fromSize(ww - skin_.rightBorderWidth - frameX_ - kPanelWidth,
                                               skin_.monitorY - frameY_, kPanelWidth, panelHeight),
                                true);
        const Size client = windowHost().clientSize(controlPanel_->handle());
        routeWindowMessage(controlPanel_->handle(), WM_SIZE, SIZE_RESTORED,
                           makeSizeParam(client.width, client.height));
    }
    if (monitorPanel_ && monitorPanel_->handle()) {
        Rect area;
        if (fullScreen_) {
            // Over the whole window, whatever screen it fills.
            area = Rect::fromSize(-frameX_, -frameY_, ww, wh);
        } else {
            const int width = ww - skin_.rightBorderWidth - skin_.monitorX -
                              (controlPanel_ ? kPanelWidth : 0) - 8;
            area = Rect::fromSize(skin_.monitorX - frameX_, skin_.monitorY - frameY_, width,
                                  panelHeight);
        }
        windowHost().moveWindow(monitorPanel_->handle(), area, true);
    }
    std::vector<Rect> cuts;
    if (!fullScreen_) {
        // The cut-away outline runs down the left edge; it follows the bottom when the window
        // grows.
        const int grow = wh - skin_.height;
        for (Rect cut : skin_.cutList) {
            cut.bottom += grow;
            cuts.push_back(cut);
        }
    }
    windowHost().setWindowRegion(handle(), {0, 0, ww, wh}, cuts);
    windowHost().invalidate(handle());
}

void MainWindow::paintFrame(Canvas& canvas) {
    if (fullScreen_)
        return;  // the monitor panel covers the window
    const Rect window = windowRect();
    const int ww = window.width(), wh = window.height();
    const int dw = ww - skin_.width, dh = wh - skin_.height;
    if (skin_.frame.empty())
        canvas.fillRect({0, 0, ww, wh}, {0, 0, 0});
    canvas.fillRect({ww - skin_.rightBorderWidth - 169, skin_.monitorY,
                     ww - skin_.rightBorderWidth - kPanelWidth, wh - skin_.monitorY},
                    kPanelEdgeGrey);
    for (int n = 1; n <= 10; ++n) {
        const FramePiece& p = skin_.pieces[n - 1];
        int x = p.left, y = p.top, w = p.width, h = p.height;
        switch (n) {
            case 2:
                w += dw;
                break;
            case 3:
                x += dw;
                break;
            case 5:
                h += dh;
                break;
            case 6:
            case 7:
                y += dh;
                break;
            case 8:
                y += dh;
                w += dw;
                break;
            case 9:
                x += dw;
                y += dh;
                break;
            case 10:
                x += dw;
                h += dh;
                break;
            default:
                break;
        }
        canvas.stretchBlit(skin_.frame, p.left, p.top, p.width, p.height, x, y, w, h);
    }
}

// ---- commands ---------------------------------------------------------------------------

void MainWindow::onCommand(uint32_t command, bool fromAccelerator) {
    if (command == ID_FULLSCREEN) {
        switchFullScreen(fromAccelerator);
    } else if (command == ID_NEXT_CHANNEL) {
        postMessage(ENG_CHANNEL_NEXT);
    } else if (command == ID_RECORDINGS) {
        showRecordings(handle());
    } else if (const int page = settingsPageOf(command); page >= 0) {
        openSettings(page);
    } else if (command == ID_MORE_SETTINGS) {
        showMoreSettingsDialog(handle());
    } else if (command >= SC_SIZE && command <= SC_CONTEXTHELP) {
        defaultProc(WM_SYSCOMMAND, command, 0);
    } else {
        defaultProc(WM_COMMAND, commandParam(command, fromAccelerator), 0);
    }
}

void MainWindow::openSettings(int page) {
    showSettingsDialog(handle(), page);
    // Whatever the dialog's outcome, the engine applies what the record now holds.
    sendMessage(ENG_SETTINGS_CHANGED);
}

void MainWindow::switchFullScreen(bool fromAccelerator) {
    WindowHost& host = windowHost();
    if (fullScreen_) {
        if (controlPanel_)
            host.showWindow(controlPanel_->handle(), ShowCommand::Show);
        host.setStyle(handle(), host.style(handle()) | WS_SYSMENU);
        fullScreen_ = false;
        host.showWindow(handle(), ShowCommand::Restore);
        layout();
        sendMessage(ENG_TOGGLE_FULLSCREEN_LAYOUT);
    } else if (!fromAccelerator) {
        // Esc only ever leaves full-screen mode.
        if (controlPanel_)
            host.showWindow(controlPanel_->handle(), ShowCommand::Hide);
        host.setStyle(handle(), host.style(handle()) & ~WS_SYSMENU);
        fullScreen_ = true;
        host.showWindow(handle(), ShowCommand::ShowFullScreen);
        layout();
        sendMessage(ENG_TOGGLE_FULLSCREEN_LAYOUT);
    }
}

// ---- caption band -----------------------------------------------------------------------

int MainWindow::captionButtonAt(Point client) const {
    const int shift = windowRect().width() - skin_.width;
    for (int k = 0; k < static_cast<int>(kCaptionButtons.size()); ++k) {
        const CaptionButton& b = kCaptionButtons[k];
        if (Rect::fromSize(b.x + shift, b.y, b.width, b.height).contains(client.x, client.y))
            return k;
    }
    return -1;
}

bool MainWindow::inCaptionBand(Point client) const {
    return client.y + frameY_ < skin_.monitorY;
}

bool MainWindow::inMenuButton(Point client) const {
    const Rect window = windowRect();
    const int dw = window.width() - skin_.width, dh = window.height() - skin_.height;
    const Rect button = Rect::fromSize(skin_.menu.left + dw, skin_.menu.top + dh, skin_.menu.width,
                                       skin_.menu.height);
    return button.contains(client.x + frameX_, client.y + frameY_);
}

void MainWindow::onButtonDown(Point client) {
    if (dragging_)
        return;
    pressScreen_ = windowHost().clientToScreen(handle(), client);
    pressedButton_ = captionButtonAt(client);
    // A maximised window stays where it is; only its buttons work.
    if (windowHost().isMaximized(handle()) && pressedButton_ < 0)
        return;
    if (!inCaptionBand(client))
        return;
    const Rect window = windowRect();
    windowAtPress_ = {window.left, window.top};
    dragging_ = true;
    windowHost().setCapture(handle());
}

void MainWindow::onMouseMove(Point client) {
    if (!dragging_ || pressedButton_ >= 0)
        return;
    const Point screen = windowHost().clientToScreen(handle(), client);
    if (screen == pressScreen_)
        return;
    const Rect window = windowRect();
    windowHost().moveWindow(handle(),
                            Rect::fromSize(windowAtPress_.x + screen.x - pressScreen_.x,
                                           windowAtPress_.y + screen.y - pressScreen_.y,
                                           window.width(), window.height()),
                            true);
}

void MainWindow::onButtonUp(Point client) {
    if (dragging_) {
        if (pressedButton_ >= 0 && captionButtonAt(client) == pressedButton_) {
            uint32_t action = SC_CLOSE;
            if (pressedButton_ == 0)
                action = SC_MINIMIZE;
            else if (pressedButton_ == 1)
                action = windowHost().isMaximized(handle()) ? SC_RESTORE : SC_MAXIMIZE;
            windowHost().postMessage(handle(), WM_SYSCOMMAND, action, -1);
        }
        endDragging();
        return;
    }
    if (!loadRelaxed(gState.liveViewOn) || loadRelaxed(gState.livePaused) || !inMenuButton(client))
        return;
    const uint32_t chosen =
        windowHost().trackPopupMenu(handle(), menu_, windowHost().clientToScreen(handle(), client),
                                    TPM_RIGHTALIGN | TPM_BOTTOMALIGN);
    if (chosen != 0)
        onCommand(chosen, false);
}

void MainWindow::endDragging() {
    dragging_ = false;
    pressedButton_ = -1;
    windowHost().releaseCapture();
}

void MainWindow::onDoubleClick(Point client) {
    if (!inCaptionBand(client))
        return;
    defaultProc(WM_SYSCOMMAND, windowHost().isMaximized(handle()) ? SC_RESTORE : SC_MAXIMIZE, 0);
}

void MainWindow::onContextMenu(Point screen) {
    const Rect window = windowRect();
    const Point client{screen.x - window.left - frameX_, screen.y - window.top - frameY_};
    if (!inCaptionBand(client))
        return;
    const bool maximized = windowHost().isMaximized(handle());
    const std::vector<MenuItem> systemMenu = {
        {SC_RESTORE, "Restore", maximized},
        {SC_MOVE, "Move", !maximized},
        {SC_SIZE, "Size", !maximized},
        {SC_MINIMIZE, "Minimize", true},
        {SC_MAXIMIZE, "Maximize", !maximized},
        {0, "", true, true},
        {SC_CLOSE, "Close", true},
    };
    const uint32_t chosen =
        windowHost().trackPopupMenu(handle(), systemMenu, screen, TPM_LEFTALIGN);
    if (chosen != 0)
        onCommand(chosen, false);
}

// ---- messages ---------------------------------------------------------------------------

intptr_t MainWindow::windowProc(uint32_t message, uintptr_t wParam, intptr_t lParam) {
    const Point point{paramX(lParam), paramY(lParam)};
    switch (message) {
        case WM_CREATE:
            onCreate();
            return 0;
        case WM_SHOWWINDOW:
            if (wParam && lParam == 0)
                onShown();
            return 0;
        case WM_SIZE:
            if (wParam != SIZE_MINIMIZED)
                layout();
            return 0;
        case WM_SIZING:
            if (lParam)
                applySizingRule(*reinterpret_cast<Rect*>(lParam), static_cast<uint32_t>(wParam),
                                skin_.rightBorderWidth, skin_.monitorX, skin_.monitorY);
            return 1;
        case WM_PAINT:
            if (wParam)
                paintFrame(*reinterpret_cast<Canvas*>(wParam));
            return 0;
        case WM_MOVE:
            postMessage(ENG_VIDEO_RECT_CHANGED);
            return 0;
        case WM_LBUTTONDOWN:
            onButtonDown(point);
            return 0;
        case WM_MOUSEMOVE:
            onMouseMove(point);
            return 0;
        case WM_LBUTTONUP:
            onButtonUp(point);
            return 0;
        case WM_LBUTTONDBLCLK:
            onDoubleClick(point);
            return 0;
        case WM_KILLFOCUS:
            if (dragging_)
                endDragging();
            return 0;
        case WM_CONTEXTMENU:
            onContextMenu(point);
            return 0;
        case WM_COMMAND:
            onCommand(static_cast<uint32_t>(wParam & 0xFFFF), ((wParam >> 16) & 0xFFFF) == 1);
            return 0;
        case WM_DISPLAYCHANGE:
            sendMessage(ENG_DISPLAY_CHANGED);
            return 0;
        case WM_DEVICECHANGE:
            if (wParam == DBT_DEVICEARRIVAL || wParam == DBT_DEVNODES_CHANGED) {
                sendMessage(ENG_CONNECT);
                return 0;
            }
            return defaultProc(message, wParam, lParam);
        case WM_SHOW_MESSAGE:
            if (!wParam)
                return IDOK;
            return windowHost().messageBox(handle(),
                                           *reinterpret_cast<const MessageBoxRequest*>(wParam));
        default:
            return defaultProc(message, wParam, lParam);
    }
}

}  // namespace vidora
