#pragma once
// What the windows ask of the desktop outside the window framework: the settings dialog of the
// settings library and the file manager. The program uses the defaults; tests put recorders in
// their place. Called on the message-loop thread only.
#include <functional>
#include <string>

#include "ui/window_host.h"

namespace vidora {

// Settings pages of the settings dialog.
enum SettingsPage : int {
    PAGE_SECURITY = 0,
    PAGE_DISPLAY = 1,
    PAGE_ALARM = 2,
    PAGE_RECORD = 3,
    PAGE_CAPTURE = 4,
    PAGE_PLAN_TASK = 5,
    PAGE_ABOUT = 6,
};

struct UiServices {
    // Shows the modal settings dialog on the viewer's settings record at a page, owned by the
    // window. Default: ShowConfigDialog of the settings library with the viewer's callback.
    std::function<void(WindowHandle owner, int page)> showSettings;
    // Opens a folder in the desktop's file manager, and calls `noProgram` on the message-loop
    // thread (at once or once the attempt is over) when no program could open it. A folder
    // that does not exist is left alone. Default: xdg-open, watched until it ends, or the
    // desktop services of Qt where there is no xdg-open.
    std::function<void(const std::string& folder, std::function<void()> noProgram)> openFolder;
    // Shows the modal "More settings" dialog on the viewer's preferences (vidora.ini), owned by
    // the window. Default: MoreSettingsDialog on preferences().
    std::function<void(WindowHandle owner)> showMoreSettings;
    // Opens (or raises) the recordings window. Default: nothing, for programs without one.
    std::function<void(WindowHandle owner)> showRecordings;
};

// Empty members restore the defaults.
void setUiServices(UiServices services);
void showSettingsDialog(WindowHandle owner, int page);
void showMoreSettingsDialog(WindowHandle owner);
// The "Recordings" menu entry and its key.
void showRecordings(WindowHandle owner);
// The Files button: opens the record folder in the file manager. Where no program can open
// folders, a message box tells the user where the folder is instead.
void exploreFolder(const std::string& folder);
// That message box's text for a folder: its absolute path and the reason it did not open.
std::string noFolderProgramText(const std::string& folder);

}  // namespace vidora
