#include "engine/layout.h"

#include <algorithm>

namespace vidora {

LayoutMode toggledQuadMode(LayoutMode mode) {
    switch (mode) {
        case LayoutMode::Quad:
            return LayoutMode::Single;
        case LayoutMode::Single:
            return LayoutMode::Quad;
        case LayoutMode::QuadFullScreen:
            return LayoutMode::SingleFullScreen;
        case LayoutMode::SingleFullScreen:
            return LayoutMode::QuadFullScreen;
        default:
            return mode;
    }
}

LayoutMode toggledFullScreenMode(LayoutMode mode) {
    switch (mode) {
        case LayoutMode::Quad:
            return LayoutMode::QuadFullScreen;
        case LayoutMode::Single:
            return LayoutMode::SingleFullScreen;
        case LayoutMode::QuadFullScreen:
            return LayoutMode::Quad;
        case LayoutMode::SingleFullScreen:
            return LayoutMode::Single;
        default:
            return mode;
    }
}

VideoRect cellOfChannel(int channel, LayoutMode layoutMode, int currentChannel, int clientWidth,
                        int clientHeight) {
    if (channel < 0 || channel > 3)
        return {};
    if (layoutMode == LayoutMode::Single || layoutMode == LayoutMode::SingleFullScreen) {
        if (channel != currentChannel)
            return {};
        return {0, 0, clientWidth, clientHeight};
    }
    if (isQuadLayout(layoutMode)) {
        VideoRect r;
        r.x = (channel == 0 || channel == 2) ? 0 : clientWidth / 2 + 1;
        r.y = (clientHeight / 2 + 1) * (channel / 2);
        r.width = clientWidth / 2 - 1;
        r.height = clientHeight / 2 - 1;
        return r;
    }
    return {};
}

int hitTestCells(int x, int y, LayoutMode layoutMode, int currentChannel, int clientWidth,
                 int clientHeight) {
    for (int i = 0; i < 4; ++i) {
        if (cellOfChannel(i, layoutMode, currentChannel, clientWidth, clientHeight)
                .contains(x, y)) {
            return i;
        }
    }
    return -1;
}

ZoomResult zoomSource(int width, int height, bool interlaced, uint32_t zoom, uint32_t lastZoom,
                      PanOffset pan) {
    const int z = static_cast<int>(clampZoom(zoom));
    const int z0 = lastZoom == 0 ? z : static_cast<int>(clampZoom(lastZoom));
    if (z == 1) {
        pan = {0, 0};
    } else {
        const int visibleW = width / z;
        const int visibleH = height / z;
        const int dx = (width / z0 - visibleW) / 2;
        const int dy = (height / z0 - visibleH) / 2;
        if (z < z0) {
            pan.x = std::clamp(pan.x + dx, 0, width - visibleW);
            pan.y = std::clamp(pan.y + dy, 0, height - visibleH);
        } else if (z > z0) {
            pan.x += dx;
            pan.y += dy;
        }
    }
    ZoomResult result;
    result.pan = pan;
    int top = pan.y;
    int bottom = pan.y + height / z;
    if (interlaced) {
        top /= 2;
        bottom /= 2;
    }
    result.source = {pan.x, top, width / z, bottom - top};
    return result;
}

VideoRect frozenSource(int pictureWidth, int pictureHeight, uint32_t zoom, PanOffset pan) {
    const int z = static_cast<int>(clampZoom(zoom));
    VideoRect r;
    if (z >= 2) {
        r.x = pan.x / 2;
        r.y = pan.y / 2;
    }
    r.width = pictureWidth / z;
    r.height = pictureHeight / z;
    return r;
}

}  // namespace vidora
