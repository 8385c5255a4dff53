#pragma once
// Window messages, styles and codes of our window framework. The numbers follow the Windows
// values so that message traces read familiarly; the meanings are our own framework's. The
// program's own WM_GRAPH_NOTIFY and WM_SHOW_MESSAGE come from app/messages.h.
#include <cstdint>

#include "app/messages.h"

namespace vidora {

enum : uint32_t {
    WM_NULL = 0x0000,
    WM_CREATE = 0x0001,  // lParam: const CreateStruct*
    WM_DESTROY = 0x0002,
    WM_MOVE = 0x0003,  // lParam: client-area origin (x, y) in the parent or on the screen
    WM_SIZE = 0x0005,  // wParam: SIZE_*; lParam: client width, height
    WM_KILLFOCUS = 0x0008,
    WM_PAINT = 0x000F,  // wParam: Canvas* to paint into (valid during the call)
    WM_CLOSE = 0x0010,
    WM_SHOWWINDOW = 0x0018,  // wParam: shown (1) or hidden (0); lParam 0 for a show call
    WM_GETMINMAXINFO = 0x0024,
    WM_CONTEXTMENU = 0x007B,  // lParam: screen point
    WM_DISPLAYCHANGE = 0x007E,
    WM_NCCREATE = 0x0081,
    WM_NCCALCSIZE = 0x0083,
    WM_COMMAND = 0x0111,     // wParam: low 16 bits command id, high 16 bits 1 from an accelerator
    WM_SYSCOMMAND = 0x0112,  // wParam: SC_*
    WM_MOUSEMOVE = 0x0200,   // wParam: MK_* flags; lParam: client point
    WM_LBUTTONDOWN = 0x0201,
    WM_LBUTTONUP = 0x0202,
    WM_LBUTTONDBLCLK = 0x0203,
    WM_MOUSEWHEEL =
        0x020A,          // wParam: high 16 bits signed delta (120 a notch); lParam: client point
    WM_SIZING = 0x0214,  // wParam: WMSZ_* edge; lParam: Rect* proposed window rectangle
    WM_DEVICECHANGE = 0x0219,
    WM_MOUSELEAVE = 0x02A3,
};

// Window styles.
enum : uint32_t {
    WS_POPUP = 0x80000000u,
    WS_CHILD = 0x40000000u,
    WS_MINIMIZE = 0x20000000u,
    WS_VISIBLE = 0x10000000u,
    WS_CLIPSIBLINGS = 0x04000000u,
    WS_CLIPCHILDREN = 0x02000000u,
    WS_MAXIMIZE = 0x01000000u,
    WS_SYSMENU = 0x00080000u,
    WS_THICKFRAME = 0x00040000u,
    WS_MINIMIZEBOX = 0x00020000u,
    WS_MAXIMIZEBOX = 0x00010000u,
};
enum : uint32_t { WS_EX_TOPMOST = 0x00000008u };

// Class styles.
enum : uint32_t { CS_VREDRAW = 0x0001, CS_HREDRAW = 0x0002, CS_DBLCLKS = 0x0008 };

// System commands.
enum : uint32_t {
    SC_SIZE = 0xF000,
    SC_MOVE = 0xF010,
    SC_MINIMIZE = 0xF020,
    SC_MAXIMIZE = 0xF030,
    SC_CLOSE = 0xF060,
    SC_RESTORE = 0xF120,
    SC_CONTEXTHELP = 0xF180,
};

// WM_SIZE kinds.
enum : uint32_t {
    SIZE_RESTORED = 0,
    SIZE_MINIMIZED = 1,
    SIZE_MAXIMIZED = 2,
    SIZE_MAXSHOW = 3,
};

// WM_SIZING edges.
enum : uint32_t {
    WMSZ_LEFT = 1,
    WMSZ_RIGHT = 2,
    WMSZ_TOP = 3,
    WMSZ_TOPLEFT = 4,
    WMSZ_TOPRIGHT = 5,
    WMSZ_BOTTOM = 6,
    WMSZ_BOTTOMLEFT = 7,
    WMSZ_BOTTOMRIGHT = 8,
};

// Mouse key flags of mouse messages.
enum : uint32_t { MK_LBUTTON = 0x0001 };

// WM_DEVICECHANGE events.
enum : uint32_t { DBT_DEVNODES_CHANGED = 0x0007, DBT_DEVICEARRIVAL = 0x8000 };

inline constexpr int CW_USEDEFAULT = static_cast<int>(0x80000000u);

// Packs a point as two signed 16-bit coordinates, x in the low half.
inline constexpr intptr_t makePointParam(int x, int y) {
    return static_cast<intptr_t>(static_cast<uint32_t>(packPoint(x, y)));
}
inline constexpr int paramX(intptr_t lParam) {
    return pointX(static_cast<int32_t>(lParam));
}
inline constexpr int paramY(intptr_t lParam) {
    return pointY(static_cast<int32_t>(lParam));
}
// Size parameters are unsigned 16-bit halves.
inline constexpr intptr_t makeSizeParam(int w, int h) {
    return static_cast<intptr_t>((static_cast<uint32_t>(h & 0xFFFF) << 16) |
                                 static_cast<uint32_t>(w & 0xFFFF));
}
inline constexpr int paramWidth(intptr_t lParam) {
    return static_cast<int>(lParam & 0xFFFF);
}
inline constexpr int paramHeight(intptr_t lParam) {
    return static_cast<int>((static_cast<uint64_t>(lParam) >> 16) & 0xFFFF);
}

// Creation data delivered with WM_CREATE.
struct CreateStruct {
    int32_t creationId = 0;  // the window id of the object being created
    uint32_t style = 0;
    uint32_t exStyle = 0;
    int x = 0, y = 0, width = 0, height = 0;
};

}  // namespace vidora
