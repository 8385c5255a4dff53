#pragma once
// The menu of a right-click on the picture: the commands of the control panel's buttons with
// their keys, enabled exactly when their buttons are. Message-loop thread.
#include <functional>
#include <vector>

#include "ui/window_host.h"

namespace vidora {

struct PictureMenuState {
    bool snapshot = false;  // the buttons' states: enabled or not
    bool record = false;
    bool quad = false;
    bool fullScreen = false;  // the full-screen button (in full-screen mode leaving is always on)
    bool zoomOne = false;     // the zoom-out button is enabled and the picture is zoomed
    // What the entries say.
    bool recording = false;
    bool quadLayout = false;
    bool inFullScreen = false;
};

std::vector<MenuItem> pictureMenu(const PictureMenuState& state);
// The last entry, "Recordings", sends ID_RECORDINGS like the Function menu's entry and its key.

}  // namespace vidora
