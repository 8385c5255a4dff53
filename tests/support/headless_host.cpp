#include "tests/support/headless_host.h"

#include <future>

#include "ui/skin_window.h"
#include "ui/window_messages.h"

namespace vidora {

HeadlessHost::HeadlessHost() : loopThread_(std::this_thread::get_id()) {}

void HeadlessHost::registerClass(const WindowClass& windowClass) {
    classes_[windowClass.name] = windowClass;
    ++registrations_[windowClass.name];
}

int HeadlessHost::classRegistrations(const std::string& className) const {
    const auto it = registrations_.find(className);
    return it == registrations_.end() ? 0 : it->second;
}

HeadlessHost::NativeWindow* HeadlessHost::find(WindowHandle window) {
    const auto it = windows_.find(window);
    return it == windows_.end() ? nullptr : &it->second;
}

const HeadlessHost::NativeWindow* HeadlessHost::find(WindowHandle window) const {
    const auto it = windows_.find(window);
    return it == windows_.end() ? nullptr : &it->second;
}

const HeadlessHost::NativeWindow* HeadlessHost::window(WindowHandle window) const {
    return find(window);
}

const Bitmap24& HeadlessHost::surface(WindowHandle window) const {
    static const Bitmap24 none;
    const NativeWindow* w = find(window);
    return w ? w->surface : none;
}

void HeadlessHost::resizeSurface(NativeWindow& w) {
    const int width = std::max(0, w.rect.width());
    const int height = std::max(0, w.rect.height());
    if (w.surface.width() != width || w.surface.height() != height)
        w.surface = Bitmap24(width, height);
}

WindowHandle HeadlessHost::createWindow(const WindowCreateParams& params) {
    if (!classes_.contains(params.className))
        return 0;
    if (params.parent && !find(params.parent))
        return 0;
    const WindowHandle handle = nextHandle_++;
    NativeWindow& w = windows_[handle];
    w.params = params;
    w.style = params.style;
    const int x = params.x == CW_USEDEFAULT ? 0 : params.x;
    w.rect = nativeWindowRect(x, params.y, params.width, params.height);
    w.restoredRect = w.rect;
    w.cursor = classes_[params.className].cursor;
    resizeSurface(w);
    if (params.parent)
        find(params.parent)->children.push_back(handle);

    CreateStruct data;
    data.creationId = params.creationId;
    data.style = params.style;
    data.exStyle = params.exStyle;
    data.x = w.rect.left;
    data.y = w.rect.top;
    data.width = w.rect.width();
    data.height = w.rect.height();
    const auto dataParam = reinterpret_cast<intptr_t>(&data);
    routeWindowMessage(handle, WM_NCCREATE, 0, dataParam);
    if (routeWindowMessage(handle, WM_CREATE, 0, dataParam) == -1) {
        destroyWindow(handle);
        return 0;
    }
    if (NativeWindow* created = find(handle); created && (params.style & WS_VISIBLE))
        created->visible = true;
    return handle;
}

void HeadlessHost::destroyTree(WindowHandle window) {
    NativeWindow* w = find(window);
    if (!w)
        return;
    routeWindowMessage(window, WM_DESTROY, 0, 0);
    w = find(window);
    if (!w)
        return;
    const std::vector<WindowHandle> children = w->children;
    for (WindowHandle child : children)
        destroyTree(child);
}

void HeadlessHost::destroyWindow(WindowHandle window) {
    NativeWindow* w = find(window);
    if (!w)
        return;
    destroyTree(window);
    // Collect the tree first: the records go only after every WM_DESTROY was delivered.
    std::vector<WindowHandle> tree{window};
    for (size_t i = 0; i < tree.size(); ++i)
        if (const NativeWindow* n = find(tree[i]))
            tree.insert(tree.end(), n->children.begin(), n->children.end());
    if (const NativeWindow* gone = find(window); gone && gone->params.parent)
        if (NativeWindow* parent = find(gone->params.parent))
            std::erase(parent->children, window);
    for (WindowHandle h : tree) {
        if (capture_ == h)
            capture_ = 0;
        if (focus_ == h)
            focus_ = 0;
        windows_.erase(h);
    }
}

bool HeadlessHost::isWindow(WindowHandle window) const {
    return find(window) != nullptr;
}

Rect HeadlessHost::windowRect(WindowHandle window) const {
    const NativeWindow* w = find(window);
    return w ? w->rect : Rect{};
}

Size HeadlessHost::clientSize(WindowHandle window) const {
    const NativeWindow* w = find(window);
    return w ? Size{w->rect.width(), w->rect.height()} : Size{};
}

void HeadlessHost::applyRect(WindowHandle window, const Rect& rect, uint32_t sizeKind) {
    NativeWindow* w = find(window);
    if (!w)
        return;
    const Rect before = w->rect;
    w->rect = rect;
    resizeSurface(*w);
    if (before.left != rect.left || before.top != rect.top)
        routeWindowMessage(window, WM_MOVE, 0, makePointParam(rect.left, rect.top));
    if (before.width() != rect.width() || before.height() != rect.height() ||
        sizeKind != SIZE_RESTORED)
        routeWindowMessage(window, WM_SIZE, sizeKind, makeSizeParam(rect.width(), rect.height()));
}

void HeadlessHost::moveWindow(WindowHandle window, const Rect& rect, bool repaint) {
    NativeWindow* w = find(window);
    if (!w)
        return;
    const Rect sane = nativeWindowRect(rect.left, rect.top, rect.width(), rect.height());
    if (!w->maximized && !w->fullScreen)
        w->restoredRect = sane;
    applyRect(window, sane, w->maximized ? SIZE_MAXIMIZED : SIZE_RESTORED);
    if (repaint)
        invalidate(window);
}

Point HeadlessHost::clientToScreen(WindowHandle window, Point point) const {
    for (const NativeWindow* w = find(window); w; w = find(w->params.parent)) {
        point.x += w->rect.left;
        point.y += w->rect.top;
        if (!w->params.parent)
            break;
    }
    return point;
}

void HeadlessHost::showWindow(WindowHandle window, ShowCommand command) {
    NativeWindow* w = find(window);
    if (!w)
        return;
    const bool wasVisible = w->visible;
    switch (command) {
        case ShowCommand::Hide:
            w->visible = false;
            break;
        case ShowCommand::Show:
            w->visible = true;
            break;
        case ShowCommand::ShowMinimized:
            w->visible = true;
            w->minimized = true;
            break;
        case ShowCommand::ShowMaximized:
        case ShowCommand::ShowFullScreen:
            w->visible = true;
            w->minimized = false;
            w->maximized = command == ShowCommand::ShowMaximized;
            w->fullScreen = command == ShowCommand::ShowFullScreen;
            break;
        case ShowCommand::Restore:
            w->visible = true;
            w->minimized = w->maximized = w->fullScreen = false;
            break;
    }
    if (wasVisible != w->visible)
        routeWindowMessage(window, WM_SHOWWINDOW, w->visible ? 1 : 0, 0);
    w = find(window);
    if (!w)
        return;
    if (command == ShowCommand::ShowMaximized || command == ShowCommand::ShowFullScreen)
        applyRect(window, screen_, SIZE_MAXIMIZED);
    else if (command == ShowCommand::Restore)
        applyRect(window, w->restoredRect, SIZE_RESTORED);
    else if (command == ShowCommand::ShowMinimized)
        routeWindowMessage(window, WM_SIZE, SIZE_MINIMIZED, 0);
}

bool HeadlessHost::isVisible(WindowHandle window) const {
    for (const NativeWindow* w = find(window); w; w = find(w->params.parent)) {
        if (!w->visible)
            return false;
        if (!w->params.parent)
            return true;
    }
    return false;
}

bool HeadlessHost::isMaximized(WindowHandle window) const {
    const NativeWindow* w = find(window);
    return w && (w->maximized || w->fullScreen);
}

bool HeadlessHost::isMinimized(WindowHandle window) const {
    const NativeWindow* w = find(window);
    return w && w->minimized;
}

uint32_t HeadlessHost::style(WindowHandle window) const {
    const NativeWindow* w = find(window);
    return w ? w->style : 0;
}

void HeadlessHost::setStyle(WindowHandle window, uint32_t style) {
    if (NativeWindow* w = find(window))
        w->style = style;
}

void HeadlessHost::setWindowRegion(WindowHandle window, const Rect& bounds,
                                   const std::vector<Rect>& cuts) {
    if (NativeWindow* w = find(window)) {
        w->regionBounds = bounds;
        w->regionCuts = cuts;
        w->dirty = true;
    }
}

void HeadlessHost::invalidate(WindowHandle window) {
    if (NativeWindow* w = find(window))
        w->dirty = true;
}

bool HeadlessHost::paintNow(WindowHandle window, const std::function<void(Canvas&)>& paint) {
    NativeWindow* w = find(window);
    if (!w)
        return false;
    BitmapCanvas canvas(w->surface);
    paint(canvas);
    return true;
}

void HeadlessHost::setFocus(WindowHandle window) {
    if (focus_ == window)
        return;
    const WindowHandle previous = focus_;
    focus_ = window;
    if (previous && find(previous))
        routeWindowMessage(previous, WM_KILLFOCUS, window, 0);
}

void HeadlessHost::setCursor(WindowHandle window, CursorShape shape) {
    if (NativeWindow* w = find(window))
        w->cursor = shape;
}

void HeadlessHost::trackMouseLeave(WindowHandle window) {
    if (NativeWindow* w = find(window))
        w->trackingLeave = true;
}

uint32_t HeadlessHost::trackPopupMenu(WindowHandle, const std::vector<MenuItem>& items, Point,
                                      uint32_t) {
    lastMenu_ = items;
    if (menuAnswers_.empty())
        return 0;
    const uint32_t answer = menuAnswers_.front();
    menuAnswers_.pop_front();
    return answer;
}

void HeadlessHost::setAccelerators(WindowHandle window, std::vector<Accelerator> accelerators) {
    if (NativeWindow* w = find(window))
        w->accelerators = std::move(accelerators);
}

int HeadlessHost::messageBox(WindowHandle owner, const MessageBoxRequest& request) {
    messageBoxes_.push_back({owner, request});
    if (messageBoxAnswers_.empty())
        return IDOK;
    const int answer = messageBoxAnswers_.front();
    messageBoxAnswers_.pop_front();
    return answer;
}

void HeadlessHost::invalidateRect(WindowHandle window, const Rect& rect) {
    if (NativeWindow* w = find(window)) {
        w->dirty = true;
        invalidatedRects_.emplace_back(window, rect);
    }
}

void HeadlessHost::postMessage(WindowHandle window, uint32_t message, uintptr_t wParam,
                               intptr_t lParam) {
    std::lock_guard lock(postedMutex_);
    posted_.push_back({window, message, wParam, lParam, {}});
}

intptr_t HeadlessHost::sendMessageFromAnyThread(WindowHandle window, uint32_t message,
                                                uintptr_t wParam, intptr_t lParam) {
    if (std::this_thread::get_id() == loopThread_)
        return routeWindowMessage(window, message, wParam, lParam);
    std::promise<intptr_t> result;
    std::future<intptr_t> answer = result.get_future();
    {
        std::lock_guard lock(postedMutex_);
        posted_.push_back(
            {window, message, wParam, lParam, [&result](intptr_t r) { result.set_value(r); }});
    }
    return answer.get();
}

int HeadlessHost::dispatchPosted() {
    int count = 0;
    for (;;) {
        Posted next;
        {
            std::lock_guard lock(postedMutex_);
            if (posted_.empty())
                break;
            next = std::move(posted_.front());
            posted_.pop_front();
        }
        const intptr_t result =
            routeWindowMessage(next.window, next.message, next.wParam, next.lParam);
        if (next.done)
            next.done(result);
        ++count;
    }
    return count;
}

intptr_t HeadlessHost::defaultWindowProc(WindowHandle window, uint32_t message, uintptr_t wParam,
                                         intptr_t) {
    switch (message) {
        case WM_SYSCOMMAND:
            systemCommands_.emplace_back(window, static_cast<uint32_t>(wParam & 0xFFF0));
            switch (wParam & 0xFFF0) {
                case SC_MINIMIZE:
                    showWindow(window, ShowCommand::ShowMinimized);
                    break;
                case SC_MAXIMIZE:
                    showWindow(window, ShowCommand::ShowMaximized);
                    break;
                case SC_RESTORE:
                    showWindow(window, ShowCommand::Restore);
                    break;
                case SC_CLOSE:
                    routeWindowMessage(window, WM_CLOSE, 0, 0);
                    break;
                default:
                    break;
            }
            return 0;
        case WM_CLOSE:
            destroyWindow(window);
            return 0;
        case WM_NCCREATE:
            return 1;
        default:
            return 0;
    }
}

void HeadlessHost::quit(int exitCode) {
    quitRequested_ = true;
    exitCode_ = exitCode;
}

intptr_t HeadlessHost::send(WindowHandle window, uint32_t message, uintptr_t wParam,
                            intptr_t lParam) {
    return routeWindowMessage(window, message, wParam, lParam);
}

intptr_t HeadlessHost::mouse(WindowHandle window, uint32_t message, int x, int y, uintptr_t keys) {
    return routeWindowMessage(window, message, keys, makePointParam(x, y));
}

bool HeadlessHost::mouseLeave(WindowHandle window) {
    NativeWindow* w = find(window);
    if (!w || !w->trackingLeave)
        return false;
    w->trackingLeave = false;
    routeWindowMessage(window, WM_MOUSELEAVE, 0, 0);
    return true;
}

void HeadlessHost::paint(WindowHandle window) {
    NativeWindow* w = find(window);
    if (!w)
        return;
    w->dirty = false;
    const WindowClass& windowClass = classes_[w->params.className];
    BitmapCanvas canvas(w->surface);
    if (windowClass.background)
        canvas.fillRect({0, 0, w->surface.width(), w->surface.height()}, *windowClass.background);
    routeWindowMessage(window, WM_PAINT, reinterpret_cast<uintptr_t>(static_cast<Canvas*>(&canvas)),
                       0);
}

void HeadlessHost::paintPending() {
    std::vector<WindowHandle> dirty;
    for (const auto& [handle, w] : windows_)
        if (w.dirty)
            dirty.push_back(handle);
    for (WindowHandle handle : dirty)
        paint(handle);
}

}  // namespace vidora
