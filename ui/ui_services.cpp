#include "ui/ui_services.h"

#include <QDesktopServices>
#include <QDir>
#include <QUrl>

#include "app/live_config.h"
#include "app/settings.h"
#include "app/settings_callback.h"
#include "settingsui/settingsui.h"
#include "ui/qt_host.h"
#include "ui/skin_window.h"

namespace vidora {

namespace {

UiServices& services() {
    static UiServices instance;
    return instance;
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

void exploreFolder(const std::string& folder) {
    if (services().exploreFolder) {
        services().exploreFolder(folder);
        return;
    }
    // A folder that does not exist is not reported: the file manager simply does not open.
    const QString path = QDir(QString::fromStdString(folder)).absolutePath();
    if (QDir(path).exists())
        QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}

}  // namespace vidora
