#include "ui/ui_services.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QProcess>
#include <QStandardPaths>
#include <QUrl>

#include "app/live_config.h"
#include "app/message_box.h"
#include "app/preferences.h"
#include "app/settings.h"
#include "app/settings_callback.h"
#include "settingsui/settingsui.h"
#include "ui/more_settings_dialog.h"
#include "ui/qt_host.h"
#include "ui/skin_window.h"

namespace vidora {

namespace {

UiServices& services() {
    static UiServices instance;
    return instance;
}

QString absoluteFolder(const std::string& folder) {
    return QDir(QString::fromStdString(folder)).absolutePath();
}

// xdg-open hands the folder to the desktop's file manager and ends, or runs it until it is
// closed; it fails (3: no program for folders, 4: the program failed) when there is none. Its
// end is watched from the event loop; the process belongs to the application, so a file manager
// still open at quit is not waited for.
void openWithXdgOpen(const QString& xdgOpen, const QString& path, std::function<void()> noProgram) {
    auto* process = new QProcess(QCoreApplication::instance());
    process->setStandardOutputFile(QProcess::nullDevice());
    process->setStandardErrorFile(QProcess::nullDevice());
    QObject::connect(process, &QProcess::finished, process,
                     [process, noProgram](int exitCode, QProcess::ExitStatus status) {
                         process->deleteLater();
                         if (status != QProcess::NormalExit || exitCode != 0)
                             noProgram();
                     });
    QObject::connect(process, &QProcess::errorOccurred, process,
                     [process, noProgram](QProcess::ProcessError error) {
                         if (error != QProcess::FailedToStart)
                             return;
                         process->deleteLater();
                         noProgram();
                     });
    process->start(xdgOpen, {path});
}

void openWithDesktop(const std::string& folder, std::function<void()> noProgram) {
    const QString path = absoluteFolder(folder);
    // A folder that does not exist is not reported: the file manager simply does not open.
    if (!QDir(path).exists())
        return;
    const QString xdgOpen = QStandardPaths::findExecutable(QStringLiteral("xdg-open"));
    if (!xdgOpen.isEmpty()) {
        openWithXdgOpen(xdgOpen, path, std::move(noProgram));
        return;
    }
    // Qt may still know another way (a desktop portal, the desktop's own opener).
    if (!QDesktopServices::openUrl(QUrl::fromLocalFile(path)))
        noProgram();
}

QWidget* widgetOf(WindowHandle window) {
    if (!window || !hasWindowHost())
        return nullptr;
    auto* host = dynamic_cast<QtWindowHost*>(&windowHost());
    return host ? host->widget(window) : nullptr;
}

}  // namespace

void setUiServices(UiServices s) {
    services() = std::move(s);
}

void showSettingsDialog(WindowHandle owner, int page) {
    if (services().showSettings) {
        services().showSettings(owner, page);
        return;
    }
    // The dialog edits a copy of its own and hands it back on "Ok". It gets a copy of the live
    // record rather than the record itself, so that its write-back reaches the engine's threads
    // the way every write of the live record does: whole, never half old and half new.
    VidoraConfig edited = loadConfig();
    if (ShowConfigDialog(widgetOf(owner), page, &edited, &settingsCallback) == 0)
        storeConfig(edited);
}

void showMoreSettingsDialog(WindowHandle owner) {
    if (services().showMoreSettings) {
        services().showMoreSettings(owner);
        return;
    }
    MoreSettingsDialog dialog(preferences(), moreSettingsPages(), widgetOf(owner));
    dialog.exec();
}

void showRecordings(WindowHandle owner) {
    if (services().showRecordings)
        services().showRecordings(owner);
}

std::string noFolderProgramText(const std::string& folder) {
    return "The record folder is " + absoluteFolder(folder).toStdString() +
           "\n\nNo program to open folders was found. Install a file manager to open it from "
           "here.";
}

void exploreFolder(const std::string& folder) {
    auto noProgram = [folder] {
        userMessageBox(noFolderProgramText(folder), "Vidora", MB_OK | MB_ICONINFORMATION);
    };
    if (services().openFolder)
        services().openFolder(folder, noProgram);
    else
        openWithDesktop(folder, noProgram);
}

}  // namespace vidora
