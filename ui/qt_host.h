#pragma once
// The window host over Qt Widgets: one QWidget per window object, whose Qt events arrive at the
// window as our window messages through routeWindowMessage(). A top-level window with
// WS_POPUP is frameless; one with WS_THICKFRAME can be resized at its edges, the window
// adjusting the proposed rectangle through WM_SIZING. Created after the QApplication, on the
// GUI thread, and used there (postMessage and sendMessageFromAnyThread excepted).
#include <QObject>
#include <map>
#include <memory>

#include "ui/window_host.h"

class QWidget;

namespace vidora {

class HostWidget;

class QtWindowHost : public WindowHost {
  public:
    QtWindowHost();
    ~QtWindowHost() override;

    void registerClass(const WindowClass& windowClass) override;
    WindowHandle createWindow(const WindowCreateParams& params) override;
    void destroyWindow(WindowHandle window) override;
    bool isWindow(WindowHandle window) const override;
    Rect windowRect(WindowHandle window) const override;
    Size clientSize(WindowHandle window) const override;
    void moveWindow(WindowHandle window, const Rect& rect, bool repaint) override;
    Point clientToScreen(WindowHandle window, Point point) const override;
    Rect screenRect() const override;
    void showWindow(WindowHandle window, ShowCommand command) override;
    bool isVisible(WindowHandle window) const override;
    bool isMaximized(WindowHandle window) const override;
    bool isMinimized(WindowHandle window) const override;
    uint32_t style(WindowHandle window) const override;
    void setStyle(WindowHandle window, uint32_t style) override;
    void setWindowRegion(WindowHandle window, const Rect& bounds,
                         const std::vector<Rect>& cuts) override;
    void invalidate(WindowHandle window) override;
    void invalidateRect(WindowHandle window, const Rect& rect) override;
    bool paintNow(WindowHandle window, const std::function<void(Canvas&)>& paint) override;
    void setCapture(WindowHandle window) override;
    void releaseCapture() override;
    WindowHandle capture() const override { return capture_; }
    void setFocus(WindowHandle window) override;
    void setCursor(WindowHandle window, CursorShape shape) override;
    void trackMouseLeave(WindowHandle window) override;
    uint32_t trackPopupMenu(WindowHandle owner, const std::vector<MenuItem>& items,
                            Point screenPoint, uint32_t flags) override;
    void setAccelerators(WindowHandle window, std::vector<Accelerator> accelerators) override;
    int messageBox(WindowHandle owner, const MessageBoxRequest& request) override;
    void postMessage(WindowHandle window, uint32_t message, uintptr_t wParam,
                     intptr_t lParam) override;
    intptr_t sendMessageFromAnyThread(WindowHandle window, uint32_t message, uintptr_t wParam,
                                      intptr_t lParam) override;
    intptr_t defaultWindowProc(WindowHandle window, uint32_t message, uintptr_t wParam,
                               intptr_t lParam) override;
    void quit(int exitCode) override;

    // The widget of a window (for screenshots and embedding); null for unknown handles.
    QWidget* widget(WindowHandle window) const;

  private:
    friend class HostWidget;
    HostWidget* find(WindowHandle window) const;
    void broadcastDisplayChange();

    std::map<std::string, WindowClass> classes_;
    std::map<WindowHandle, HostWidget*> widgets_;
    WindowHandle nextHandle_ = 0x100;
    WindowHandle capture_ = 0;
    bool tearingDown_ = false;
    std::unique_ptr<QObject> dispatcher_;  // lives on the GUI thread; target of queued calls
};

}  // namespace vidora
