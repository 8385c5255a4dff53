#pragma once
// The monitor panel: the child window of the main window on which the live video, the frozen
// pictures and the on-screen display are shown. It turns mouse gestures on the video into zoom
// panning, channel selection and the full-screen switch, and the capture graph's notice into
// ENG_GRAPH_EVENT. Kind 3, id 4097; owned by the window framework, message-loop thread (its
// presenter is also reached from the streaming and engine threads).
#include <memory>

#include "engine/layout.h"
#include "ui/live_presenter.h"
#include "ui/skin_window.h"

namespace vidora {

// Pan offsets after dragging a zoomed picture from `press` to `point`: the picture moves with
// the mouse at the zoom's scale, and the view never leaves the picture.
//   pan = start - trunc((point - press) * picture / client / zoom), in floating point,
//   then below 0 -> 0 and past picture - picture / zoom -> picture - picture / zoom.
// `clientWidth` and `clientHeight` are those of the cell being panned.
PanOffset panAfterDrag(PanOffset start, Point press, Point point, uint32_t zoom, int clientWidth,
                       int clientHeight, int pictureWidth, int pictureHeight);

// Pan offsets that keep the picture point under `at` (cell coordinates) where it is when the
// zoom changes from `before` to `after`; clamped like a drag.
PanOffset panForZoomAt(PanOffset pan, Point at, uint32_t before, uint32_t after, int cellWidth,
                       int cellHeight, int pictureWidth, int pictureHeight);

class MonitorPanel : public SkinWindow {
  public:
    static constexpr const char* kClassName = "VD_MonitorPanel";

    MonitorPanel(SkinWindow* parent, int32_t id, int x, int y, int width, int height);
    ~MonitorPanel() override;

    const char* className() const override { return kClassName; }
    WindowClass classDescription() const override;
    intptr_t windowProc(uint32_t message, uintptr_t wParam, intptr_t lParam) override;

    LivePresenter& presenter() { return *presenter_; }
    bool panning() const { return panning_; }

  private:
    void onPaint(Canvas& canvas);
    void onButtonDown(int x, int y);
    void onMouseMove(int x, int y, bool leftButton);
    void endPanning();
    void refreshStatusBand();
    void onWheel(int x, int y, int delta);
    void updateCursor(int x, int y);
    VideoRect currentCell() const;

    std::unique_ptr<LivePresenter> presenter_;
    static constexpr uint32_t kBandRefreshMs = 250;
    static constexpr int kWheelNotch = 120;
    bool bandRefreshed_ = false;
    uint32_t bandTick_ = 0;
    int wheelRest_ = 0;  // wheel movement short of a notch (touchpads send small steps)
    bool panning_ = false;
    Point press_;
    PanOffset panAtPress_;
};

}  // namespace vidora
