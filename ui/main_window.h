#pragma once
// The main window: the program's one top-level window, borderless and painted from the skin's
// frame picture, its outline cut by the skin's cut list. It lays out the control panel and the
// monitor panel, keeps the video area at 4 : 3 while the user drags its edges, moves with the
// caption band, carries the caption buttons, the system menu and the "Function" menu, switches
// full-screen mode and shows the message boxes of every thread. Kind 1, id 4096; created by the
// UiModule, owned by the window framework; message-loop thread.
#include <array>
#include <cstdint>
#include <vector>

#include "ui/picture_menu.h"
#include "ui/skin_loader.h"
#include "ui/skin_window.h"
#include "ui/status_band.h"

namespace vidora {

class ControlPanel;
class MonitorPanel;

// The resizing rule: the proposed window rectangle `r`, whose `edge` (WMSZ_*) is being dragged,
// keeps at least 1030 x 725 pixels and is adjusted so that the monitor area
// (r.width - 2 * rightBorderWidth - monitorX - 160) x (r.height - 2 * monitorY) is 4 : 3.
void applySizingRule(Rect& r, uint32_t edge, int rightBorderWidth, int monitorX, int monitorY);

// The entries of the "Function" menu, in order.
std::vector<MenuItem> functionMenu();
// The settings page that a "Function" menu command opens; -1 for other commands.
int settingsPageOf(uint32_t command);

class MainWindow : public SkinWindow {
  public:
    static constexpr const char* kClassName = "VD_MainWindow";
    static constexpr const char* kCaption = "Vidora V1.0.4";
    static constexpr uint32_t kStyle =
        WS_POPUP | WS_SYSMENU | WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX;
    static constexpr int kMinimumWidth = 1030;
    static constexpr int kMinimumHeight = 725;

    // The caption buttons (minimise, maximise or restore, close) of a window of the skin's
    // nominal width; they move right with the window's extra width.
    struct CaptionButton {
        int x, y, width, height;
    };
    static constexpr std::array<CaptionButton, 3> kCaptionButtons{
        {{959, 26, 19, 19}, {979, 26, 19, 19}, {999, 26, 19, 19}}};

    MainWindow(SkinWindow* parent, int32_t id, int x, int y, int width, int height);

    const char* className() const override { return kClassName; }
    WindowClass classDescription() const override;
    intptr_t windowProc(uint32_t message, uintptr_t wParam, intptr_t lParam) override;

    bool fullScreen() const { return fullScreen_; }
    bool dragging() const { return dragging_; }
    const MainWindowSkin& skin() const { return skin_; }
    ControlPanel* controlPanel() const { return controlPanel_; }
    MonitorPanel* monitorPanel() const { return monitorPanel_; }

    // The right-click menu of the picture at a screen point, and what it offers now.
    void showPictureMenu(Point screen);
    PictureMenuState pictureMenuState() const;

    // Reads the viewer's state again and repaints the status band when its text changed.
    void refreshStatusBand();
    const StatusBandState& statusBand() const { return band_; }
    // The band in the foot, between the cut-away edge and the "Menu" button (window
    // coordinates); empty in full-screen mode.
    Rect statusBandRect() const;

  private:
    void onCreate();
    void onShown();
    void layout();
    void paintFrame(Canvas& canvas);
    void onCommand(uint32_t command, bool fromAccelerator);
    void switchFullScreen(bool fromAccelerator);
    void openSettings(int page);
    void onDeviceArrival();
    // Keys and the picture's menu: true when the command was one of theirs.
    bool runViewerCommand(uint32_t command);
    void zoomToOne();

    void onButtonDown(Point client);
    void onMouseMove(Point client);
    void onButtonUp(Point client);
    void onDoubleClick(Point client);
    void onContextMenu(Point screen);
    void endDragging();
    // The caption button under a client point, or -1.
    int captionButtonAt(Point client) const;
    bool inCaptionBand(Point client) const;
    bool inMenuButton(Point client) const;

    Rect windowRect() const;

    MainWindowSkin skin_;
    std::vector<MenuItem> menu_;
    ControlPanel* controlPanel_ = nullptr;
    MonitorPanel* monitorPanel_ = nullptr;
    bool fullScreen_ = false;
    StatusBandState band_;
    std::string bandLine_;
    FreeSpaceCache freeSpace_;
    int frameX_ = 0;
    int frameY_ = 0;

    // Caption band dragging.
    bool dragging_ = false;
    Point pressScreen_;
    Point windowAtPress_;
    int pressedButton_ = -1;
};

}  // namespace vidora
