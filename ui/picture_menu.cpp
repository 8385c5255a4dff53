#include "ui/picture_menu.h"

#include "ui/commands.h"

namespace vidora {

std::vector<MenuItem> pictureMenu(const PictureMenuState& s) {
    std::vector<MenuItem> items = {
        {ID_KEY_SNAPSHOT, "Take snapshot\tS", s.snapshot},
        {ID_KEY_RECORD, s.recording ? "Stop recording\tR" : "Start recording\tR", s.record},
        {ID_KEY_QUAD, s.quadLayout ? "Single view\tQ" : "Quad view\tQ", s.quad},
        {0, "", true, true},
        {ID_KEY_FULLSCREEN, s.inFullScreen ? "Leave full screen\tEsc" : "Full screen\tF11",
         s.inFullScreen || s.fullScreen},
        {ID_ZOOM_ONE, "Zoom 1:1", s.zoomOne},
    };
    items.push_back({0, "", true, true});
    items.push_back({ID_RECORDINGS, "Recordings\tL", true});
    return items;
}

}  // namespace vidora
