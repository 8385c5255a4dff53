#pragma once
// Geometry of the video area: the cells of the single and quad layouts, hit-testing, and the
// digital zoom of the live picture. Plain functions of their inputs; the engine and the monitor
// panel both use them.
#include <cstdint>

namespace vidora {

struct VideoRect {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    bool empty() const { return width <= 0 || height <= 0; }
    bool contains(int px, int py) const {
        return px >= x && px < x + width && py >= y && py < y + height;
    }
    friend bool operator==(const VideoRect&, const VideoRect&) = default;
};

struct PanOffset {
    int32_t x = 0;
    int32_t y = 0;
    friend bool operator==(const PanOffset&, const PanOffset&) = default;
};

// Layout modes of the video area. None draws nothing (no graph to show yet).
enum class LayoutMode : int32_t {
    None = 0,
    Quad = 1,
    Single = 2,
    QuadFullScreen = 3,
    SingleFullScreen = 4,
};

inline constexpr bool isQuadLayout(LayoutMode mode) {
    return mode == LayoutMode::Quad || mode == LayoutMode::QuadFullScreen;
}
// Quad <-> Single, in and out of full screen alike; None stays None.
LayoutMode toggledQuadMode(LayoutMode mode);
// Into full screen and back out, keeping quad or single; None stays None.
LayoutMode toggledFullScreenMode(LayoutMode mode);

// Cell of channel i in a client area of cw x ch. Single layouts: the current channel gets the
// whole area, the others nothing. Quad: 0 top left, 1 top right, 2 bottom left, 3 bottom right,
// each (cw/2 - 1) x (ch/2 - 1), leaving the separator bars between them.
VideoRect cellOfChannel(int channel, LayoutMode layoutMode, int currentChannel, int clientWidth,
                        int clientHeight);

// The first channel (0..3) whose cell contains the point, or -1.
int hitTestCells(int x, int y, LayoutMode layoutMode, int currentChannel, int clientWidth,
                 int clientHeight);

struct ZoomResult {
    VideoRect source;  // part of the picture shown (field rows when interlaced)
    PanOffset pan;     // the channel's pan after this zoom step
};

// Source rectangle of the live picture (width x height) for zoom z (1..4; other values count as
// 1 or 4), the zoom z0 last applied for the channel (0 = none yet) and the channel's pan. Zooming
// out keeps the view centred and inside the picture; zoom 1 always resets the pan. Interlaced
// pictures are shown from one field, so the vertical coordinates are halved.
ZoomResult zoomSource(int width, int height, bool interlaced, uint32_t zoom, uint32_t lastZoom,
                      PanOffset pan);

// Source rectangle of a frozen picture (pw x ph) drawn into its cell at the channel's zoom:
// the top-left is (0, 0) below zoom 2, else the channel's pan halved (frozen pictures are half
// size).
VideoRect frozenSource(int pictureWidth, int pictureHeight, uint32_t zoom, PanOffset pan);

// Keeps a stored zoom factor usable as a divisor: 1..4.
inline uint32_t clampZoom(uint32_t zoom) {
    return zoom < 1 ? 1 : (zoom > 4 ? 4 : zoom);
}

}  // namespace vidora
