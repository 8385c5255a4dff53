#pragma once
// The dialog behind ShowConfigDialog with its desktop services passed in, so that tests can run
// the same code with fake message boxes, folder browser and disk space. Internal to the library.
#include "settingsui/settingsui.h"

class QWidget;

namespace vidora::settingsui {

class UserDialogs;
class DiskSpaceSource;

int runConfigDialog(QWidget* parent, int startPage, VidoraConfig* config, SettingsCallback callback,
                    UserDialogs& dialogs, const DiskSpaceSource& disk);

}  // namespace vidora::settingsui
