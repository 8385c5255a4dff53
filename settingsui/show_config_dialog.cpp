#include <QApplication>
#include <QThread>
#include <cstring>

#include "settingsui/config_dialog.h"
#include "settingsui/disk_space.h"
#include "settingsui/param_set_sheet.h"
#include "settingsui/settingsui.h"
#include "settingsui/user_dialogs.h"

namespace vidora::settingsui {

int runConfigDialog(QWidget* parent, int startPage, VidoraConfig* config, SettingsCallback callback,
                    UserDialogs& dialogs, const DiskSpaceSource& disk) {
    // Widgets need the caller's QApplication and its GUI thread; anything else is refused
    // rather than aborting the caller.
    if (config == nullptr || qobject_cast<QApplication*>(QCoreApplication::instance()) == nullptr ||
        QThread::currentThread() != QCoreApplication::instance()->thread()) {
        return -1;
    }
    VidoraConfig working;
    std::memcpy(&working, config, sizeof working);
    int result = QDialog::Rejected;
    {
        const PageContext context{&working, callback, &dialogs, &disk};
        CParamSetSheet sheet(context, startPage, parent);
        result = sheet.exec();
    }
    if (result != QDialog::Accepted) {
        return -1;
    }
    std::memcpy(config, &working, sizeof working);
    return 0;
}

}  // namespace vidora::settingsui

extern "C" int ShowConfigDialog(QWidget* parent, int startPage, vidora::VidoraConfig* config,
                                SettingsCallback callback) {
    vidora::settingsui::DesktopDialogs dialogs;
    const vidora::settingsui::StorageInfoDiskSpace disk;
    return vidora::settingsui::runConfigDialog(parent, startPage, config, callback, dialogs, disk);
}
