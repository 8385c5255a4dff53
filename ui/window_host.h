#pragma once
// The host of the window objects: it owns the native windows (Qt widgets, or plain records in
// the headless host), issues their handles, delivers their events as window messages through
// routeWindowMessage() and carries out what the windows ask of it. Installed once per process
// with setWindowHost() and used on the message-loop thread only, except postMessage() and
// sendMessageFromAnyThread().
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/message_box.h"
#include "ui/canvas.h"
#include "ui/geometry.h"

namespace vidora {

// Opaque, non-zero handle of a native window; 0 means none. Never an address.
using WindowHandle = uint32_t;

enum class CursorShape {
    None,  // the class sets no cursor: the window sets one per mouse move
    Arrow,
    Hand,
    SizeAll,
    SizeWestEast,
    SizeNorthSouth,
    SizeNorthWestSouthEast,
    SizeNorthEastSouthWest,
};

enum class ShowCommand { Hide, Show, ShowMinimized, ShowMaximized, Restore, ShowFullScreen };

// What a window kind registers once: its class.
struct WindowClass {
    std::string name;
    uint32_t style = 0;  // CS_*
    CursorShape cursor = CursorShape::Arrow;
    std::optional<Rgb> background;  // none: the window paints all of itself
    int iconResource = 0;           // 0: no icon
};

struct WindowCreateParams {
    uint32_t exStyle = 0;
    std::string className;
    std::string caption;
    uint32_t style = 0;
    int x = 0, y = 0, width = 0, height = 0;  // parent client or screen coordinates
    WindowHandle parent = 0;
    int32_t creationId = 0;  // the window id, handed back in the WM_CREATE data
};

struct MenuItem {
    uint32_t id = 0;
    std::string text;  // empty with separator set: a separator line
    bool enabled = true;
    bool separator = false;
};
enum : uint32_t { TPM_LEFTALIGN = 0x0000, TPM_RIGHTALIGN = 0x0008, TPM_BOTTOMALIGN = 0x0020 };

// A key that sends WM_COMMAND (with 1 in the high half of wParam) to a top-level window.
struct Accelerator {
    int virtualKey = 0;  // VK_ESCAPE, VK_SPACE
    uint32_t command = 0;
};
enum : int { VK_SPACE = 0x20, VK_ESCAPE = 0x1B, VK_R = 0x52 };

// Native windows live in a 16-bit coordinate space, as they do on Windows; whatever a skin
// asks for is kept inside it.
inline Rect nativeWindowRect(int x, int y, int width, int height) {
    constexpr int kLimit = 32767;
    const auto fit = [](int v, int lo, int hi) { return v < lo ? lo : v > hi ? hi : v; };
    return Rect::fromSize(fit(x, -kLimit, kLimit), fit(y, -kLimit, kLimit), fit(width, 0, kLimit),
                          fit(height, 0, kLimit));
}

class WindowHost {
  public:
    virtual ~WindowHost() = default;

    virtual void registerClass(const WindowClass& windowClass) = 0;
    // Creates the native window, delivers WM_NCCREATE and WM_CREATE through the routing and
    // returns its handle; 0 when the class is unknown or WM_CREATE answered -1.
    virtual WindowHandle createWindow(const WindowCreateParams& params) = 0;
    // WM_DESTROY to the window and then to each of its descendants, then the native windows
    // go. Unknown handles are ignored.
    virtual void destroyWindow(WindowHandle window) = 0;
    virtual bool isWindow(WindowHandle window) const = 0;

    // Outer rectangle: parent client coordinates for a child, screen coordinates otherwise.
    virtual Rect windowRect(WindowHandle window) const = 0;
    virtual Size clientSize(WindowHandle window) const = 0;
    virtual void moveWindow(WindowHandle window, const Rect& rect, bool repaint) = 0;
    virtual Point clientToScreen(WindowHandle window, Point point) const = 0;
    virtual Rect screenRect() const = 0;

    virtual void showWindow(WindowHandle window, ShowCommand command) = 0;
    virtual bool isVisible(WindowHandle window) const = 0;
    virtual bool isMaximized(WindowHandle window) const = 0;
    virtual bool isMinimized(WindowHandle window) const = 0;
    virtual uint32_t style(WindowHandle window) const = 0;
    virtual void setStyle(WindowHandle window, uint32_t style) = 0;
    // The window shows only bounds minus the cuts; an empty bounds rectangle removes the region.
    virtual void setWindowRegion(WindowHandle window, const Rect& bounds,
                                 const std::vector<Rect>& cuts) = 0;

    // Schedules a WM_PAINT.
    virtual void invalidate(WindowHandle window) = 0;
    // Schedules a WM_PAINT for a part of the window (client coordinates); hosts that cannot
    // paint a part repaint all of it.
    virtual void invalidateRect(WindowHandle window, const Rect& rect) {
        (void)rect;
        invalidate(window);
    }
    // Paints into the window at once when the host can; otherwise schedules a WM_PAINT and
    // returns false (the window then paints its current state from there).
    virtual bool paintNow(WindowHandle window, const std::function<void(Canvas&)>& paint) = 0;

    virtual void setCapture(WindowHandle window) = 0;
    virtual void releaseCapture() = 0;
    virtual WindowHandle capture() const = 0;
    virtual void setFocus(WindowHandle window) = 0;
    virtual void setCursor(WindowHandle window, CursorShape shape) = 0;
    // Asks for one WM_MOUSELEAVE when the mouse leaves the window.
    virtual void trackMouseLeave(WindowHandle window) = 0;

    // Shows a popup menu at a screen point and waits; the chosen id, 0 when dismissed.
    virtual uint32_t trackPopupMenu(WindowHandle owner, const std::vector<MenuItem>& items,
                                    Point screenPoint, uint32_t flags) = 0;
    virtual void setAccelerators(WindowHandle window, std::vector<Accelerator> accelerators) = 0;
    // Shows a modal message box owned by the window (none: 0) and waits; the pressed button
    // (IDOK, IDCANCEL, IDYES, IDNO).
    virtual int messageBox(WindowHandle owner, const MessageBoxRequest& request) = 0;

    // Any thread: queues the message for the message-loop thread.
    virtual void postMessage(WindowHandle window, uint32_t message, uintptr_t wParam,
                             intptr_t lParam) = 0;
    // Any thread: delivers the message on the message-loop thread and waits for its result.
    virtual intptr_t sendMessageFromAnyThread(WindowHandle window, uint32_t message,
                                              uintptr_t wParam, intptr_t lParam) = 0;
    // What a window gets for messages it does not handle (system commands, close, ...).
    virtual intptr_t defaultWindowProc(WindowHandle window, uint32_t message, uintptr_t wParam,
                                       intptr_t lParam) = 0;
    // Ends the message loop with the exit code.
    virtual void quit(int exitCode) = 0;
};

}  // namespace vidora
