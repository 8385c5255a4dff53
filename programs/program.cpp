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
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "app/bus.h"
#include "app/message_box.h"
#include "app/paths.h"
#include "app/qt/password_dialog.h"
#include "app/settings.h"
#include "platform/instance_guard.h"
#include "platform/log/log.h"
#include "programs/command_line.h"
#include "programs/demo_controls.h"
#include "programs/diagnostics.h"
#include "programs/modules.h"
#include "ui/qt_host.h"
#include "ui/skin_loader.h"
#include "ui/skin_window.h"
#include "ui/ui_module.h"

namespace vidora {

namespace {

namespace fs = std::filesystem;

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

// The skin the viewer is about to load from ./UI, checked so that a missing or damaged one is
// an error the user sees rather than a window without frame or controls.
std::string skinProblem() {
    const std::string fault = skinFault("UI");
    if (fault.empty())
        return {};
    std::error_code ec;
    const fs::path folder = fs::absolute("UI", ec);
    std::string where = folder.string();
    if (fs::is_symlink(folder, ec))
        where += " (a link to " + fs::read_symlink(folder, ec).string() + ")";
    return "Vidora cannot start: its skin is missing or damaged.\n\nFolder: " + where + "\n" +
           fault;
}

// Start-up failures before the main window: on standard error and in a message box.
int startFailure(const std::string& program, const std::string& text) {
    std::fprintf(stderr, "%s: %s\n", program.c_str(), text.c_str());
    userMessageBox(text, "Vidora", MB_OK | MB_ICONERROR);
    return 1;
}

// --quit-after: once the time is up, the main window (with a picture of it first, when one is
// asked for) is closed; a dialog or message box still open at that point is closed, so that a
// headless run always ends.
class QuitTimer {
  public:
    QuitTimer(int afterMs, std::optional<fs::path> screenshot, QtWindowHost& host)
        : screenshot_(std::move(screenshot)), host_(host) {
        QTimer::singleShot(afterMs, qApp, [this] { expire(); });
    }
    bool screenshotFailed() const { return screenshotFailed_; }

  private:
    void expire() {
        if (QWidget* main = host_.widget(UiModule::obtain().mainWindowHandle())) {
            if (screenshot_ && !windowPicture(main).save(QString::fromStdString(*screenshot_))) {
                std::fprintf(stderr, "Vidora: cannot save the screenshot %s\n",
                             screenshot_->c_str());
                screenshotFailed_ = true;
            }
            closeMainWindow();
            return;
        }
        if (QWidget* modal = QApplication::activeModalWidget())
            modal->close();
        // Start-up goes on (or ends); look again shortly.
        QTimer::singleShot(200, qApp, [this] { expire(); });
    }

    std::optional<fs::path> screenshot_;
    QtWindowHost& host_;
    bool screenshotFailed_ = false;
};

}  // namespace

int runProgram(int argc, char** argv, ReceiverKind receiver, const ProgramHooks* hooks) {
    const std::string programName = receiver == ReceiverKind::Real ? "vidora" : "vidora-demo";
    const CommandLine commandLine =
        parseCommandLine(std::vector<std::string>(argv, argv + argc), programName);
    if (commandLine.exitCode) {
        std::fputs(commandLine.out.c_str(), stdout);
        std::fputs(commandLine.err.c_str(), stderr);
        return *commandLine.exitCode;
    }
    const ProgramOptions& options = commandLine.options;
    if (options.verbose)
        log::enableAll();
    if (options.diagnose)
        return runDiagnostics(std::cout, receiver, options.workdir);

    // Qt sees no arguments of ours (nor takes options of its own from the command line).
    int qtArgc = 1;
    QApplication application(qtArgc, argv);
    QApplication::setApplicationName("Vidora");
    QApplication::setApplicationVersion(VIDORA_VERSION);

    QtWindowHost host;
    setWindowHost(&host);
    // Message boxes of worker threads wait in a queue until the UI thread shows them.
    installWindowMessageBoxes([] {
        if (QCoreApplication* app = QCoreApplication::instance())
            QMetaObject::invokeMethod(
                app, [] { pumpMessageBoxes(); }, Qt::QueuedConnection);
    });
    std::optional<QuitTimer> quitTimer;
    if (options.quitAfterMs)
        quitTimer.emplace(*options.quitAfterMs, options.screenshot, host);
    auto leave = [](int code) {
        setMessageBoxPresenter({});
        setWindowHost(nullptr);
        return code;
    };

    WorkFolder folder;
    if (std::string failure = enterWorkFolder(options.workdir, installedSkinFolders(), folder);
        !failure.empty())
        return leave(startFailure(programName, failure));
    if (std::string failure = prepareNewSettingsFolders(folder); !failure.empty())
        return leave(startFailure(programName, failure));
    if (std::string failure = skinProblem(); !failure.empty())
        return leave(startFailure(programName, failure));

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
            if (hooks && hooks->whenRunning)
                hooks->whenRunning(mainWidget);
            QApplication::exec();
        }
        // The modules (and with them every thread that reaches the windows) go first.
    }
    UiModule::obtain().teardown();
    UiModule::release();
    return leave(quitTimer && quitTimer->screenshotFailed() ? 1 : 0);
}

}  // namespace vidora
