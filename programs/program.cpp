#include "programs/program.h"

#include <sys/socket.h>
#include <unistd.h>

#include <QApplication>
#include <QGuiApplication>
#include <QScreen>
#include <QSocketNotifier>
#include <QTimer>
#include <csignal>

#include "app/bus.h"
#include "app/message_box.h"
#include "app/qt/password_dialog.h"
#include "app/qt/qt_message_box.h"
#include "app/settings.h"
#include "platform/instance_guard.h"
#include "programs/modules.h"
#include "programs/stand_in_ui.h"

namespace vidora {

namespace {

int gSignalPipe[2] = {-1, -1};

void onTerminationSignal(int) {
    char c = 1;
    (void)!::write(gSignalPipe[1], &c, 1);
}

// SIGTERM and SIGINT close the main window, so the settings are saved as on a normal exit.
void closeOnTerminationSignals(std::function<void()> close) {
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, gSignalPipe) != 0) return;
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

}  // namespace

int runProgram(int argc, char** argv, ReceiverKind receiver) {
    QApplication application(argc, argv);
    QApplication::setApplicationName("Vidora");

    StandInUi ui;
    installQtMessageBoxPresenter([&ui] { return ui.mainWindow(); });
    registerProgramModules(receiver);

    InstanceGuard guard("VidoraMutex");
    ViewerApp::Services services;
    services.acquireInstanceGuard = [&guard] { return static_cast<int>(guard.acquire()); };
    services.releaseInstanceGuard = [&guard] { guard.release(); };
    services.warnSecondInstance = [] {
        userMessageBox("Another instance of this application is running.      ", "Vidora",
                       MB_OK | MB_ICONWARNING);
    };
    services.loadSettings = [] { loadSettings(); };
    services.saveSettings = [] { saveSettings(); };
    services.freeTaskList = [] { freeTaskList(); };
    services.askPassword = [] { return askStartupPassword(); };
    services.obtainUi = [&ui]() -> UiPartner* { return &ui; };

    ViewerApp viewer(std::move(services));
    if (viewer.run() != 0) return 0;

    closeOnTerminationSignals([&ui] {
        if (QWidget* w = ui.mainWindow()) w->close();
    });

    // Without a display the demo runs on the offscreen platform for a short while and leaves a
    // screenshot of its main window in the working folder, then ends as if the user closed it.
    if (receiver == ReceiverKind::Simulated && QGuiApplication::platformName() == "offscreen") {
        QTimer::singleShot(8000, qApp, [&ui] {
            if (QWidget* w = ui.mainWindow()) {
                w->grab().save("vidora-demo-screenshot.png");
                w->close();
            }
        });
    }
    return QApplication::exec();
}

}  // namespace vidora
