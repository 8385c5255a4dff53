#include "programs/program.h"

#include <sys/socket.h>
#include <unistd.h>

#include <QApplication>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QSocketNotifier>
#include <QTimer>
#include <QWidget>
#include <csignal>

#include "app/bus.h"
#include "app/message_box.h"
#include "app/qt/password_dialog.h"
#include "app/settings.h"
#include "platform/instance_guard.h"
#include "programs/demo_controls.h"
#include "programs/modules.h"
#include "ui/qt_host.h"
#include "ui/skin_window.h"
#include "ui/ui_module.h"

namespace vidora {

namespace {

int gSignalPipe[2] = {-1, -1};

void onTerminationSignal(int) {
    char c = 1;
    (void)!::write(gSignalPipe[1], &c, 1);
}

// SIGTERM and SIGINT close the main window, so the settings are saved as on a normal exit.
void closeOnTerminationSignals(std::function<void()> close) {
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, gSignalPipe) != 0)
        return;
    auto* notifier = new QSocketNotifier(gSignalPipe[0], QSocketNotifier::Read, qApp);
    QObject::connect(notifier, &QSocketNotifier::activated, qApp, [close] {
        char c;
        (void)!::read(gSignalPipe[0], &c, 1);
        close();
    });
    struct sigaction action {};
    action.sa_handler = onTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
}

// The main window as the user sees it: its cut-away outline is transparent.
QImage windowPicture(QWidget* window) {
    const QImage drawn = window->grab().toImage().convertToFormat(QImage::Format_ARGB32);
    if (window->mask().isEmpty())
        return drawn;
    QImage shaped(drawn.size(), QImage::Format_ARGB32);
    shaped.fill(Qt::transparent);
    QPainter painter(&shaped);
    painter.setClipRegion(window->mask());
    painter.drawImage(0, 0, drawn);
    return shaped;
}

void closeMainWindow() {
    if (const WindowHandle main = UiModule::obtain().mainWindowHandle())
        routeWindowMessage(main, WM_CLOSE, 0, 0);
}

}  // namespace

int runProgram(int argc, char** argv, ReceiverKind receiver, const ProgramHooks* hooks) {
    QApplication application(argc, argv);
    QApplication::setApplicationName("Vidora");

    QtWindowHost host;
    setWindowHost(&host);
    // Message boxes of worker threads wait in a queue until the UI thread shows them.
    installWindowMessageBoxes([] {
        if (QCoreApplication* app = QCoreApplication::instance())
            QMetaObject::invokeMethod(
                app, [] { pumpMessageBoxes(); }, Qt::QueuedConnection);
    });
    std::shared_ptr<sim::SimulatedReceiver> simulated = registerProgramModules(receiver);

    InstanceGuard guard("VidoraMutex");
    ViewerApp::Services services;
    services.acquireInstanceGuard = [&guard] { return static_cast<int>(guard.acquire()); };
    services.releaseInstanceGuard = [&guard] { guard.release(); };
    services.warnSecondInstance = [] {
        userMessageBox("Another instance of this application is running.      ", "Vidora",
                       MB_OK | MB_ICONWARNING);
    };
    services.loadSettings = [hooks] {
        loadSettings();
        if (hooks && hooks->afterSettingsLoaded)
            hooks->afterSettingsLoaded();
    };
    services.saveSettings = [] { saveSettings(); };
    services.freeTaskList = [] { freeTaskList(); };
    services.askPassword = [] { return askStartupPassword(); };
    services.obtainUi = []() -> UiPartner* { return &UiModule::obtain(); };

    {
        ViewerApp viewer(std::move(services));
        if (viewer.run() == 0) {
            closeOnTerminationSignals(closeMainWindow);
            QWidget* mainWidget = host.widget(UiModule::obtain().mainWindowHandle());
            installSimulatedReceiverKeys(mainWidget, simulated);
            if (hooks && hooks->whenRunning) {
                hooks->whenRunning(mainWidget);
            } else if (receiver == ReceiverKind::Simulated &&
                       QGuiApplication::platformName() == "offscreen") {
                // Without a display the demo runs for a short while and leaves a picture of its
                // main window in the working folder, then ends as if the user closed it.
                QTimer::singleShot(8000, qApp, [&host] {
                    if (QWidget* w = host.widget(UiModule::obtain().mainWindowHandle()))
                        windowPicture(w).save("vidora-demo-screenshot.png");
                    closeMainWindow();
                });
            }
            QApplication::exec();
        }
        // The modules (and with them every thread that reaches the windows) go first.
    }
    UiModule::obtain().teardown();
    UiModule::release();
    setMessageBoxPresenter({});
    setWindowHost(nullptr);
    return 0;
}

}  // namespace vidora
