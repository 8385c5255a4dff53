#pragma once
// A window host without a display: native windows are records with a picture as their surface.
// Tests use it to drive windows with messages and to read what they painted; it carries out
// moves, shows, capture, focus, regions and system commands the way the Qt host does, and keeps
// a record of what the windows asked for. Owned by the test (or tool) that installs it; used on
// one thread, except that postMessage() and sendMessageFromAnyThread() may come from others.
#include <deque>
#include <map>
#include <mutex>
#include <thread>

#include "ui/window_host.h"

namespace vidora {

class HeadlessHost : public WindowHost {
  public:
    struct NativeWindow {
        WindowCreateParams params;
        Rect rect;          // parent client or screen coordinates
        Rect restoredRect;  // before maximise or full screen
        uint32_t style = 0;
        bool visible = false;
        bool maximized = false;
        bool minimized = false;
        bool fullScreen = false;
        bool trackingLeave = false;
        bool dirty = false;
        CursorShape cursor = CursorShape::Arrow;
        Rect regionBounds;
        std::vector<Rect> regionCuts;
        std::vector<Accelerator> accelerators;
        std::vector<WindowHandle> children;
        Bitmap24 surface;
    };

    HeadlessHost();

    // WindowHost
    void registerClass(const WindowClass& windowClass) override;
    WindowHandle createWindow(const WindowCreateParams& params) override;
    void destroyWindow(WindowHandle window) override;
    bool isWindow(WindowHandle window) const override;
    Rect windowRect(WindowHandle window) const override;
    Size clientSize(WindowHandle window) const override;
    void moveWindow(WindowHandle window, const Rect& rect, bool repaint) override;
    Point clientToScreen(WindowHandle window, Point point) const override;
    Rect screenRect() const override { return screen_; }
    void showWindow(WindowHandle window, ShowCommand command) override;
    bool isVisible(WindowHandle window) const override;
    bool isMaximized(WindowHandle window) const override;
    bool isMinimized(WindowHandle window) const override;
    uint32_t style(WindowHandle window) const override;
    void setStyle(WindowHandle window, uint32_t style) override;
    void setWindowRegion(WindowHandle window, const Rect& bounds,
                         const std::vector<Rect>& cuts) override;
    void invalidate(WindowHandle window) override;
    bool paintNow(WindowHandle window, const std::function<void(Canvas&)>& paint) override;
    void setCapture(WindowHandle window) override { capture_ = window; }
    void releaseCapture() override { capture_ = 0; }
    WindowHandle capture() const override { return capture_; }
    void setFocus(WindowHandle window) override;
    void setCursor(WindowHandle window, CursorShape shape) override;
    void trackMouseLeave(WindowHandle window) override;
    uint32_t trackPopupMenu(WindowHandle owner, const std::vector<MenuItem>& items,
                            Point screenPoint, uint32_t flags) override;
    void setAccelerators(WindowHandle window, std::vector<Accelerator> accelerators) override;
    int messageBox(WindowHandle owner, const MessageBoxRequest& request) override;
    void invalidateRect(WindowHandle window, const Rect& rect) override;
    void postMessage(WindowHandle window, uint32_t message, uintptr_t wParam,
                     intptr_t lParam) override;
    intptr_t sendMessageFromAnyThread(WindowHandle window, uint32_t message, uintptr_t wParam,
                                      intptr_t lParam) override;
    intptr_t defaultWindowProc(WindowHandle window, uint32_t message, uintptr_t wParam,
                               intptr_t lParam) override;
    void quit(int exitCode) override;

    // Driving the windows.
    intptr_t send(WindowHandle window, uint32_t message, uintptr_t wParam = 0, intptr_t lParam = 0);
    intptr_t mouse(WindowHandle window, uint32_t message, int x, int y, uintptr_t keys = 0);
    // WM_MOUSELEAVE when the window asked for one (the request is used up, as with Windows).
    bool mouseLeave(WindowHandle window);
    // WM_PAINT into the window's surface.
    void paint(WindowHandle window);
    // Paints every window that asked for it.
    void paintPending();
    // Delivers the queued posted messages (and cross-thread sends); returns how many.
    int dispatchPosted();

    // What the windows did.
    const NativeWindow* window(WindowHandle window) const;
    const Bitmap24& surface(WindowHandle window) const;
    int classRegistrations(const std::string& className) const;
    WindowHandle focus() const { return focus_; }
    bool quitRequested() const { return quitRequested_; }
    int exitCode() const { return exitCode_; }
    const std::vector<std::pair<WindowHandle, uint32_t>>& systemCommands() const {
        return systemCommands_;
    }
    const std::vector<MenuItem>& lastMenu() const { return lastMenu_; }
    struct ShownMessageBox {
        WindowHandle owner = 0;
        MessageBoxRequest request;
    };
    const std::vector<ShownMessageBox>& messageBoxes() const { return messageBoxes_; }
    // The parts of windows asked to repaint, in order (whole windows are not listed).
    const std::vector<std::pair<WindowHandle, Rect>>& invalidatedRects() const {
        return invalidatedRects_;
    }

    // Answers of the next popup menus (0 = dismissed); an empty queue dismisses.
    void queueMenuAnswer(uint32_t id) { menuAnswers_.push_back(id); }
    // Answers of the next message boxes; an empty queue answers IDOK.
    void queueMessageBoxAnswer(int button) { messageBoxAnswers_.push_back(button); }
    void setScreenRect(const Rect& rect) { screen_ = rect; }

  private:
    struct Posted {
        WindowHandle window;
        uint32_t message;
        uintptr_t wParam;
        intptr_t lParam;
        std::function<void(intptr_t)> done;  // set for cross-thread sends
    };

    NativeWindow* find(WindowHandle window);
    const NativeWindow* find(WindowHandle window) const;
    void resizeSurface(NativeWindow& w);
    void applyRect(WindowHandle window, const Rect& rect, uint32_t sizeKind);
    void destroyTree(WindowHandle window);

    std::map<std::string, WindowClass> classes_;
    std::map<std::string, int> registrations_;
    std::map<WindowHandle, NativeWindow> windows_;
    WindowHandle nextHandle_ = 0x100;
    WindowHandle capture_ = 0;
    WindowHandle focus_ = 0;
    Rect screen_{0, 0, 1920, 1080};
    bool quitRequested_ = false;
    int exitCode_ = 0;
    std::vector<std::pair<WindowHandle, uint32_t>> systemCommands_;
    std::vector<MenuItem> lastMenu_;
    std::deque<uint32_t> menuAnswers_;
    std::vector<ShownMessageBox> messageBoxes_;
    std::deque<int> messageBoxAnswers_;
    std::vector<std::pair<WindowHandle, Rect>> invalidatedRects_;
    std::mutex postedMutex_;
    std::deque<Posted> posted_;
    std::thread::id loopThread_;
};

}  // namespace vidora
