#include "programs/program.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QApplication>
#include <QDialog>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QSessionManager>
#include <QSocketNotifier>
#include <QThread>
#include <QTimer>
#include <QWidget>
#include <cerrno>
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
#include "app/preference_keys.h"
#include "app/preferences.h"
#include "app/qt/password_dialog.h"
#include "app/settings.h"
#include "app/storage.h"
#include "engine/engine_module.h"
#include "engine/osd_stamp.h"
#include "events/program_catalog.h"
#include "platform/instance_guard.h"
#include "platform/log/log.h"
#include "programs/command_line.h"
#include "programs/demo_controls.h"
#include "programs/diagnostics.h"
#include "programs/modules.h"
#include "programs/program_events.h"
#include "recording/relaxed_string.h"
#include "review/folder_catalog.h"
#include "review/recordings_window.h"
#include "stream/stream_service.h"
#include "ui/qt_host.h"
#include "ui/skin_loader.h"
#include "ui/skin_window.h"
#include "ui/ui_module.h"
#include "ui/ui_services.h"

namespace vidora {

namespace {

namespace fs = std::filesystem;

constexpr int kTerminationSignals[] = {SIGTERM, SIGINT, SIGHUP};
int gSignalPipe[2] = {-1, -1};

void onTerminationSignal(int) {
    const int saved = errno;
    char c = 1;
    (void)!::write(gSignalPipe[1], &c, 1);
    errno = saved;
}

// Ends the viewer in order when nobody is at the screen to do it: SIGTERM, SIGINT, SIGHUP (the
// terminal went away) or the end of the desktop session. Message boxes, dialogs and menus that
// are open are closed first (boxes get their quit answer, dialogs are cancelled), and the main
// window is closed only from the main event loop: a quit run inside the loop of a box would
// destroy the window the box belongs to, and stopping live view would wait for a worker that
// waits for that very box. Lives on the UI thread for the whole run of the viewer.
class UnattendedQuit : public QObject {
  public:
    UnattendedQuit(std::function<bool()> running, std::function<void()> closeMain)
        : running_(std::move(running)), closeMain_(std::move(closeMain)) {
        retry_.setInterval(10);
        connect(&retry_, &QTimer::timeout, this, [this] { tryNow(); });
        connect(qApp, &QCoreApplication::aboutToQuit, this, [this] { atLoopEnd(); });
#ifndef QT_NO_SESSIONMANAGER
        connect(
            qApp, &QGuiApplication::commitDataRequest, this,
            [this](QSessionManager&) { request(); }, Qt::DirectConnection);
#endif
        qApp->installEventFilter(this);
        catchTerminationSignals();
    }
    // The viewer has ended: a signal from now on ends the process at once.
    ~UnattendedQuit() override {
        for (int signal : kTerminationSignals)
            std::signal(signal, SIG_DFL);
    }

    void request() {
        requested_ = true;
        closeMessageBoxes(Quitting::Unattended);
        tryNow();
    }

    // A request that came while the viewer was starting (at the password prompt, say) is
    // carried out once the event loop runs.
    void afterStartUp() {
        if (requested_)
            retry_.start();
    }

  protected:
    // The session manager ends the session with a quit request to the application: the viewer
    // quits as above instead of Qt closing its windows from wherever the request arrives.
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == qApp && event->type() == QEvent::Quit && running_()) {
            request();
            return true;
        }
        return QObject::eventFilter(watched, event);
    }

  private:
    void tryNow() {
        closeModalWindows();
        if (!running_()) {
            retry_.stop();
            return;
        }
        if (QThread::currentThread()->loopLevel() > 1) {
            retry_.start();  // until the loops of the windows just closed have returned
            return;
        }
        retry_.stop();
        closeMain_();
    }

    // The event loop ended without the main window being closed (someone called exit()): quit
    // now; no other loop runs any more.
    void atLoopEnd() {
        if (!running_())
            return;
        closeMessageBoxes(Quitting::Unattended);
        closeMain_();
    }

    static void closeModalWindows() {
        for (int i = 0; i < 8 && QApplication::activePopupWidget(); ++i)
            QApplication::activePopupWidget()->close();
        for (QWidget* w : QApplication::topLevelWidgets()) {
            if (auto* dialog = qobject_cast<QDialog*>(w); dialog && dialog->isVisible())
                dialog->reject();
        }
    }

    void catchTerminationSignals() {
        if (gSignalPipe[0] < 0 &&
            ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, gSignalPipe) != 0)
            return;
        // A burst of signals never blocks the handler.
        ::fcntl(gSignalPipe[1], F_SETFL, O_NONBLOCK);
        auto* notifier = new QSocketNotifier(gSignalPipe[0], QSocketNotifier::Read, this);
        connect(notifier, &QSocketNotifier::activated, this, [this] {
            char c;
            (void)!::read(gSignalPipe[0], &c, 1);
            request();
        });
        struct sigaction action {};
        action.sa_handler = onTerminationSignal;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        for (int signal : kTerminationSignals)
            sigaction(signal, &action, nullptr);
    }

    std::function<bool()> running_;
    std::function<void()> closeMain_;
    QTimer retry_;
    bool requested_ = false;
};

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
        QTimer::singleShot(afterMs, &context_, [this] { expire(); });
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
        QTimer::singleShot(200, &context_, [this] { expire(); });
    }

    QObject context_;  // the timers go with this object
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
    if (options.diagnose) {
        // The receiver chosen on this command line, or the one kept in vidora.ini.
        std::string chosen = options.device.value_or("");
        if (chosen.empty()) {
            Preferences kept;
            const std::filesystem::path folder = chooseWorkFolder(options.workdir).path;
            if (kept.load(folder / kPreferencesFileName).empty())
                chosen = kept.get(kReceiverDevice);
        }
        return runDiagnostics(std::cout, receiver, options.workdir, chosen);
    }

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
    services.acquireInstanceGuard = [&guard] { return guard.acquire(); };
    services.releaseInstanceGuard = [&guard] { guard.release(); };
    services.warnSecondInstance = [] {
        userMessageBox("Another instance of this application is running.      ", "Vidora",
                       MB_OK | MB_ICONWARNING);
    };
    // The event log lives until the modules (every thread that reports to it) have stopped.
    std::optional<ProgramEvents> events;
    std::unique_ptr<StreamService> stream;
    services.beforeModulesGo = [&stream] { stream.reset(); };
    services.loadSettings = [hooks, &events, device = options.device] {
        loadSettings();
        // vidora.ini beside the settings file; a file that cannot be read leaves the defaults.
        const auto ini = std::filesystem::current_path() / kPreferencesFileName;
        if (const std::string failure = preferences().load(ini); !failure.empty())
            qCWarning(log::app) << "preferences" << ini.c_str() << "not read:" << failure.c_str();
        // A receiver named on the command line stays chosen for the runs after this one.
        if (device) {
            preferences().set(kReceiverDevice, *device);
            if (const std::string failure = preferences().save(); !failure.empty())
                qCWarning(log::app) << "the chosen receiver" << device->c_str()
                                    << "is used but not kept:" << failure.c_str();
        }
        if (hooks && hooks->afterSettingsLoaded)
            hooks->afterSettingsLoaded();
        events.emplace();
    };
    services.saveSettings = [] { saveSettings(); };
    services.freeTaskList = [] { freeTaskList(); };
    services.askPassword = [] { return askStartupPassword(); };
    services.obtainUi = []() -> UiPartner* { return &UiModule::obtain(); };

    // The recordings window reads the event log's catalog; when the log could not be opened,
    // it reads the record and snapshot folders the settings name now, each time it opens (it
    // holds the catalog while it is open).
    std::unique_ptr<Catalog> folderCatalog;
    UiServices uiServices;
    uiServices.showRecordings = [&folderCatalog, &host](WindowHandle owner) {
        Catalog* catalog = installedCatalog();
        if (!catalog) {
            if (!folderCatalog || !recordingsWindowOpen())
                folderCatalog = std::make_unique<FolderCatalog>(
                    nativeFolderPath(loadRelaxedString(gConfig.recordFolder).c_str()),
                    nativeFolderPath(loadRelaxedString(gConfig.pictureFolder).c_str()));
            catalog = folderCatalog.get();
        }
        RecordingsWindowOptions options;
        // "Show in folder" opens folders as the Files button does.
        options.openFolder = [](const std::string& folder) { exploreFolder(folder); };
        showRecordingsWindow(*catalog, host.widget(owner), std::move(options));
    };
    setUiServices(std::move(uiServices));

    {
        ViewerApp viewer(std::move(services));
        UnattendedQuit quit([&viewer] { return viewer.state() == ViewerApp::Running; },
                            closeMainWindow);
        if (const Result started = viewer.run(); !started) {
            qCInfo(log::app) << "start-up ended:" << started.reason().c_str();
        } else {
            quit.afterStartUp();
            // The network stream follows the [stream] keys from now on; it goes before the
            // engine whose pictures it takes (beforeModulesGo).
            if (auto* engine = dynamic_cast<EngineModule*>(viewer.module(kEngineModuleNumber))) {
                CaptureEngine& capture = engine->engine();
                stream =
                    std::make_unique<StreamService>(preferences(), capture.videoTransfer(),
                                                    capture.audioTransfer(), osdPictureStamp());
                stream->apply();
            }
            QWidget* mainWidget = host.widget(UiModule::obtain().mainWindowHandle());
            installSimulatedReceiverKeys(mainWidget, simulated);
            if (hooks && hooks->whenRunning)
                hooks->whenRunning(mainWidget);
            QApplication::exec();
        }
        // The modules (and with them every thread that reaches the windows) go first.
    }
    closeRecordingsWindow();
    setUiServices({});
    UiModule::obtain().teardown();
    UiModule::release();
    return leave(quitTimer && quitTimer->screenshotFailed() ? 1 : 0);
}

}  // namespace vidora
