#pragma once
// The monitor panel's video area as the engine sees it. The user interface implements it and
// registers it with setVideoWindow() when the panel exists (before the modules start); the
// engine never includes ui/. Every function may be called from any thread unless noted, so an
// implementation posts to the GUI thread and never blocks the caller on it.
#include <cstdint>

#include "engine/layout.h"

namespace vidora {

struct VideoSize {
    int width = 0;
    int height = 0;
};

// One live picture to show: packed 4:2:2 rows of `width` pixels, `rows` rows, `pitch` bytes
// from one row to the next (a 720-wide picture is shown from its first field, so its rows are
// every second source row). The bytes are valid only during the call.
struct LivePicture {
    const uint8_t* data = nullptr;
    int width = 0;
    int rows = 0;
    int pitch = 0;
    VideoRect source;       // part of the picture to show, in the rows above
    VideoRect destination;  // the live cell in client coordinates
    // When the picture entered the video transfer (steady clock, nanoseconds): the start of
    // its capture-to-screen latency.
    int64_t enteredNs = 0;
};

class VideoWindow {
  public:
    virtual ~VideoWindow() = default;
    // Client size of the video area.
    virtual VideoSize clientSize() = 0;
    // Called on the capture graph's streaming thread for every live picture; the panel copies
    // what it needs (it may drop pictures while the GUI is behind), shows it scaled from the
    // source rectangle into the destination and draws the live cell's on-screen display on top.
    virtual void presentLivePicture(const LivePicture& picture) = 0;
    // The live cell moved or the layout changed; erase repaints the background as well.
    virtual void invalidate(bool erase) = 0;
    // Repaint the video area (frozen cells, separators, the paused live cell) from the engine's
    // display state (CaptureEngine::withDisplay).
    virtual void repaint() = 0;
    // The display mode changed (ENG_DISPLAY_CHANGED): drop and recreate presentation resources.
    virtual void displayModeChanged() = 0;
    // The capture graph has events waiting: the UI thread answers with ENG_GRAPH_EVENT.
    virtual void postGraphNotify() = 0;
    // A capture device appeared or the device nodes changed: the UI thread sends ENG_CONNECT.
    virtual void postDeviceArrival() = 0;
};

// The process-wide video window (the monitor panel's video area); nullptr until the UI has one.
void setVideoWindow(VideoWindow* window);
VideoWindow* videoWindow();

}  // namespace vidora
