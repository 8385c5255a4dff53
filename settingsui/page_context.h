#pragma once
// What every page of the settings sheet works with. The sheet (or a test) owns all of it for
// the duration of one dialog; pages only keep the pointers.
#include "app/records.h"
#include "settingsui/settingsui.h"

namespace vidora::settingsui {

class UserDialogs;
class DiskSpaceSource;

struct PageContext {
    VidoraConfig* config = nullptr;       // the working copy, never the caller's record
    SettingsCallback callback = nullptr;  // may be null: calls are then skipped
    UserDialogs* dialogs = nullptr;
    const DiskSpaceSource* disk = nullptr;
};

// Caption of the library's own warnings that carry no caption of their own.
inline constexpr const char* kLibraryName = "settingsui";

}  // namespace vidora::settingsui
