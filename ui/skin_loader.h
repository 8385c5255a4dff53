#pragma once
// Reads the skin file: the button groups of the control panel and the main window's frame
// picture and geometry. The program reads "./UI/ui.ini"; its pictures lie in the same folder.
// Called on the message-loop thread while the windows are being created.
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "ui/bitmap24.h"
#include "ui/geometry.h"
#include "ui/skin_control.h"

namespace vidora {

class SkinWindow;
class SkinGroupPanel;

inline constexpr const char* kSkinFolder = "./UI";
inline constexpr const char* kSkinFile = "./UI/ui.ini";

// Bounds on what a skin may declare, so that a damaged file cannot make the program build
// millions of windows or controls.
inline constexpr int32_t kMaxSkinGroups = 64;
inline constexpr int32_t kMaxGroupControls = 256;
// The main window's geometry numbers are kept within this many pixels either side of 0: far
// beyond any screen, and small enough that the window's layout, painting and hit tests, which
// add a handful of them to window sizes, never leave the int range.
inline constexpr int32_t kMaxSkinCoordinate = 1 << 20;

// Builds every group of [GROUPS] as a child of `parent` notifying `listener`, and shows it.
// True when at least one group was declared. The groups are owned by the window framework.
bool loadSkinGroups(const std::string& skinFile, SkinWindow* parent, ControlListener* listener,
                    std::vector<SkinGroupPanel*>* groups = nullptr);

struct FramePiece {
    int32_t left = 0;
    int32_t top = 0;
    int32_t width = 0;
    int32_t height = 0;
};

// The [MAINWND] section and the frame picture it names.
struct MainWindowSkin {
    Bitmap24 frame;          // empty when the picture is missing or unreadable
    uint32_t maskColor = 0;  // blue * 65536 + green * 256 + red
    int32_t width = 0;       // nominal window size
    int32_t height = 0;
    int32_t rightBorderWidth = 0;
    int32_t monitorX = 0;
    int32_t monitorY = 0;
    std::array<FramePiece, 10> pieces{};  // pieces[n - 1] is frame piece n
    FramePiece menu;                      // the function-menu button
    std::vector<Rect> cutList;            // cut-away parts of the window outline
};

// Always true: a missing file or key reads as zero. Geometry numbers beyond
// +-kMaxSkinCoordinate read as that limit.
bool readMainWindowSkin(MainWindowSkin& skin, const std::string& skinFile = kSkinFile);

// What keeps the skin in `folder` from making a usable main window: empty when its ui.ini names
// a frame picture and a window size under [MAINWND] and at least one group under [GROUPS], and
// every picture it names loads; otherwise one sentence about the first fault found.
std::string skinFault(const std::string& folder);

// Scans columns 0 .. monitorX - 1 of the frame from the top: the first run of the mask colour in
// each column gives {x, run start, x + 1, row of the first other pixel + 1}, or the picture
// height when the run reaches the last row.
std::vector<Rect> buildCutList(const Bitmap24& frame, uint32_t maskColor, int32_t monitorX);

}  // namespace vidora
