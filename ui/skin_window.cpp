#include "ui/skin_window.h"

#include <map>
#include <set>
#include <stdexcept>

#include "app/bus.h"

namespace vidora {
namespace {

struct Framework {
    WindowHost* host = nullptr;
    std::map<int32_t, SkinWindow*> byId;
    std::map<WindowHandle, SkinWindow*> byHandle;
    std::map<const SkinWindow*, std::unique_ptr<SkinWindow>> owned;
    std::set<std::string> registeredClasses;
};

Framework& framework() {
    static Framework instance;
    return instance;
}

std::map<int, WindowFactory>& factories() {
    static std::map<int, WindowFactory> instance;
    return instance;
}

void forget(SkinWindow* window) {
    Framework& fw = framework();
    if (auto it = fw.byId.find(window->id()); it != fw.byId.end() && it->second == window)
        fw.byId.erase(it);
    for (auto it = fw.byHandle.begin(); it != fw.byHandle.end();) {
        if (it->second == window)
            it = fw.byHandle.erase(it);
        else
            ++it;
    }
}

}  // namespace

void setWindowHost(WindowHost* host) {
    framework().host = host;
    framework().registeredClasses.clear();
}

WindowHost& windowHost() {
    if (!framework().host)
        throw std::logic_error("no window host installed");
    return *framework().host;
}

bool hasWindowHost() {
    return framework().host != nullptr;
}

SkinWindow::SkinWindow(SkinWindow* parent, int32_t id, int x, int y, int width, int height)
    : id_(id), x_(x), y_(y), width_(width), height_(height), parent_(parent) {
    framework().byId[id] = this;
}

SkinWindow::~SkinWindow() {
    forget(this);
}

void SkinWindow::destroy() {
    forget(this);
    // The native window goes after the object left the registries, so its WM_DESTROY (and that
    // of its children) reaches the default handling only.
    const WindowHandle native = handle_;
    handle_ = 0;
    if (native && hasWindowHost())
        windowHost().destroyWindow(native);
    Framework& fw = framework();
    if (auto it = fw.owned.find(this); it != fw.owned.end()) {
        std::unique_ptr<SkinWindow> self = std::move(it->second);
        fw.owned.erase(it);
        // `self` frees this object when it leaves scope; nothing touches members after.
    }
}

bool SkinWindow::create(uint32_t style, uint32_t exStyle, const std::string& caption) {
    WindowHost& host = windowHost();
    if (!isClassRegistered()) {
        host.registerClass(classDescription());
        markClassRegistered();
    }
    style |= WS_CLIPCHILDREN;
    if (style & WS_CHILD)
        style |= WS_CLIPSIBLINGS;
    WindowCreateParams params;
    params.exStyle = exStyle;
    params.className = className();
    params.caption = caption;
    params.style = style;
    params.x = x_;
    params.y = y_;
    params.width = width_;
    params.height = height_;
    params.parent = parent_ ? parent_->handle() : 0;
    params.creationId = id_;
    const WindowHandle native = host.createWindow(params);
    if (!native) {
        handle_ = 0;
        return false;
    }
    handle_ = native;
    framework().byHandle[native] = this;
    return true;
}

WindowClass SkinWindow::classDescription() const {
    WindowClass c;
    c.name = className();
    c.style = CS_HREDRAW | CS_VREDRAW;
    c.cursor = CursorShape::Arrow;
    return c;
}

intptr_t SkinWindow::windowProc(uint32_t message, uintptr_t wParam, intptr_t lParam) {
    return defaultProc(message, wParam, lParam);
}

bool SkinWindow::isClassRegistered() const {
    return framework().registeredClasses.contains(className());
}

void SkinWindow::markClassRegistered() {
    framework().registeredClasses.insert(className());
}

std::string SkinWindow::tooltipAt(int, int, Rect*) const {
    return {};
}

intptr_t SkinWindow::defaultProc(uint32_t message, uintptr_t wParam, intptr_t lParam) {
    if (!hasWindowHost())
        return 0;
    return windowHost().defaultWindowProc(handle_, message, wParam, lParam);
}

intptr_t routeWindowMessage(WindowHandle window, uint32_t message, uintptr_t wParam,
                            intptr_t lParam) {
    Framework& fw = framework();
    if (auto it = fw.byHandle.find(window); it != fw.byHandle.end()) {
        SkinWindow* object = it->second;
        if (object->id() == MAIN_WINDOW_ID && message == WM_DESTROY) {
            // Closing the main window ends the program; the object itself is torn down later.
            sendMessage(APP_QUIT);
            if (fw.host)
                fw.host->quit(0);
            return 0;
        }
        return object->windowProc(message, wParam, lParam);
    }
    if (message == WM_CREATE && lParam != 0) {
        const auto* data = reinterpret_cast<const CreateStruct*>(lParam);
        if (auto it = fw.byId.find(data->creationId); it != fw.byId.end()) {
            it->second->handle_ = window;
            return it->second->windowProc(message, wParam, lParam);
        }
    }
    if (!fw.host)
        return 0;
    return fw.host->defaultWindowProc(window, message, wParam, lParam);
}

SkinWindow* adoptWindow(std::unique_ptr<SkinWindow> window) {
    SkinWindow* raw = window.get();
    if (raw)
        framework().owned[raw] = std::move(window);
    return raw;
}

void registerWindowKind(int kind, WindowFactory factory) {
    factories()[kind] = std::move(factory);
}

SkinWindow* createByKind(int kind, SkinWindow* parent, int32_t id, int x, int y, int width,
                         int height) {
    const auto it = factories().find(kind);
    if (it == factories().end() || !it->second)
        return nullptr;
    return adoptWindow(it->second(parent, id, x, y, width, height));
}

SkinWindow* findWindowById(int32_t id) {
    const auto it = framework().byId.find(id);
    return it == framework().byId.end() ? nullptr : it->second;
}

SkinWindow* findWindowByHandle(WindowHandle handle) {
    const auto it = framework().byHandle.find(handle);
    return it == framework().byHandle.end() ? nullptr : it->second;
}

void destroyAllWindows() {
    Framework& fw = framework();
    // One at a time: a window's destroy may take other windows with it.
    while (!fw.byId.empty()) {
        const auto first = fw.byId.begin();
        const int32_t id = first->first;
        first->second->destroy();
        fw.byId.erase(id);  // in case a kind's destroy left its entry behind
    }
    // Objects whose id a later object took over are still ours to free.
    while (!fw.owned.empty())
        fw.owned.begin()->second->destroy();
    fw.byId.clear();
    fw.byHandle.clear();
}

}  // namespace vidora
