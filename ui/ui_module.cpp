#include "ui/ui_module.h"

#include <atomic>
#include <memory>

#include "app/message_box.h"
#include "app/settings.h"
#include "platform/relaxed.h"
#include "ui/commands.h"
#include "ui/control_panel.h"
#include "ui/main_window.h"
#include "ui/monitor_panel.h"
#include "ui/skin_window.h"

namespace vidora {

namespace {

std::unique_ptr<UiModule>& instance() {
    static std::unique_ptr<UiModule> module;
    return module;
}

// The control panel's handle for notices from other threads, which must not touch the window
// registries.
std::atomic<WindowHandle> gNoticeWindow{0};

}  // namespace

UiModule& UiModule::obtain() {
    if (!instance())
        instance().reset(new UiModule());
    return *instance();
}

void UiModule::release() {
    instance().reset();
}

void UiModule::attachBus(ViewerApp* app) {
    app_ = app;
    app->makeBusTarget();
}

Result UiModule::createWindows() {
    uiThread_ = std::this_thread::get_id();
    if (!hasWindowHost())
        return Failure{"no window host is installed"};
    WindowHost& host = windowHost();
    auto* main = dynamic_cast<MainWindow*>(createByKind(MAIN_WINDOW_KIND, nullptr, MAIN_WINDOW_ID,
                                                        CW_USEDEFAULT, 0, MainWindow::kMinimumWidth,
                                                        MainWindow::kMinimumHeight));
    if (!main)
        return Failure{"the main window kind is not registered"};
    if (!main->create(MainWindow::kStyle, 0, MainWindow::kCaption)) {
        main->destroy();
        return Failure{"the main window could not be created"};
    }
    const WindowHandle window = main->handle();
    storeRelaxed(gState.notifyWindow, window);
    if (ControlPanel* panel = main->controlPanel())
        gNoticeWindow = panel->handle();
    host.setAccelerators(window, viewerAccelerators());
    host.showWindow(window, ShowCommand::Show);
    const Rect r = host.windowRect(window);
    const Rect screen = host.screenRect();
    host.moveWindow(
        window,
        Rect::fromSize(screen.left + (screen.width() - r.width()) / 2,
                       screen.top + (screen.height() - r.height()) / 2, r.width(), r.height()),
        true);
    return Result::success();
}

std::vector<Accelerator> viewerAccelerators() {
    return {
        {VK_ESCAPE, ID_FULLSCREEN},       {VK_SPACE, ID_NEXT_CHANNEL},
        {VK_F11, ID_KEY_FULLSCREEN},      {VK_1, ID_KEY_CHANNEL_1},
        {VK_1 + 1, ID_KEY_CHANNEL_1 + 1}, {VK_1 + 2, ID_KEY_CHANNEL_1 + 2},
        {VK_1 + 3, ID_KEY_CHANNEL_4},     {VK_R, ID_KEY_RECORD},
        {VK_S, ID_KEY_SNAPSHOT},          {VK_Q, ID_KEY_QUAD},
        {VK_ADD, ID_KEY_ZOOM_IN},         {VK_OEM_PLUS, ID_KEY_ZOOM_IN},
        {VK_SUBTRACT, ID_KEY_ZOOM_OUT},   {VK_L, ID_RECORDINGS},
    };
}

void UiModule::receive(BusMessage& message) {
    switch (message.id) {
        case APP_STARTED:
            if (ControlPanel* panel = controlPanel())
                panel->onAppStarted();
            message.result = 0;
            return;
        case NTF_LIVE_STATE:
        case NTF_CHANNEL_CHANGED:
        case NTF_RECORD_STATE:
            if (std::this_thread::get_id() == uiThread_) {
                if (ControlPanel* panel = controlPanel())
                    panel->onNotice(message.id);
            } else if (const WindowHandle panel = gNoticeWindow.load(); panel && hasWindowHost()) {
                // A worker thread (auto-cycle, timers, the folder watcher) must not wait for
                // the UI: the control panel picks the notice up in its own time.
                windowHost().postMessage(panel, WM_BUS_NOTICE, static_cast<uintptr_t>(message.id),
                                         0);
            }
            message.result = 0;
            return;
        default:
            return;
    }
}

void UiModule::teardown() {
    storeRelaxed(gState.notifyWindow, 0u);
    gNoticeWindow = 0;
    destroyAllWindows();
}

WindowHandle UiModule::mainWindowHandle() const {
    const MainWindow* main = mainWindow();
    return main ? main->handle() : 0;
}

MainWindow* UiModule::mainWindow() const {
    return dynamic_cast<MainWindow*>(findWindowById(MAIN_WINDOW_ID));
}

ControlPanel* UiModule::controlPanel() const {
    return dynamic_cast<ControlPanel*>(findWindowById(CONTROL_PANEL_ID));
}

MonitorPanel* UiModule::monitorPanel() const {
    return dynamic_cast<MonitorPanel*>(findWindowById(MONITOR_PANEL_ID));
}

void installWindowMessageBoxes(std::function<void()> wakeUi) {
    setMessageBoxPresenter(
        [](const MessageBoxRequest& request) -> int {
            // Runs on the UI thread: the main window shows the box it owns.
            if (!hasWindowHost())
                return IDOK;
            WindowHost& host = windowHost();
            const WindowHandle owner = loadRelaxed(gState.notifyWindow);
            if (owner && host.isWindow(owner))
                return static_cast<int>(host.sendMessageFromAnyThread(
                    owner, WM_SHOW_MESSAGE, reinterpret_cast<uintptr_t>(&request), 0));
            return host.messageBox(0, request);
        },
        std::move(wakeUi));
}

}  // namespace vidora
