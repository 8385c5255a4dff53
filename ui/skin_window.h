#pragma once
// Base of every window object (main window, panels, skin button groups) and the framework
// around it: the id and handle registries, the factory registry of window kinds and the shared
// routing that the host calls for every message. A window's behaviour is its windowProc(), plain
// code that tests drive with messages. Objects are owned by the framework from construction
// (through adoptWindow or a kind's factory) until destroy(); everything runs on the
// message-loop thread.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "ui/geometry.h"
#include "ui/window_host.h"
#include "ui/window_ids.h"
#include "ui/window_messages.h"

namespace vidora {

class SkinWindow {
  public:
    // Enters the object in the id registry under its id (replacing an earlier entry).
    SkinWindow(SkinWindow* parent, int32_t id, int x, int y, int width, int height);
    virtual ~SkinWindow();
    SkinWindow(const SkinWindow&) = delete;
    SkinWindow& operator=(const SkinWindow&) = delete;

    // Leaves both registries, lets the native window go and frees the object (when the framework
    // owns it). The object must not be used afterwards.
    virtual void destroy();
    // Registers the kind's class on first use and creates the native window; WM_CREATE reaches
    // windowProc() before this returns. False when the host could not create it.
    virtual bool create(uint32_t style, uint32_t exStyle, const std::string& caption);
    virtual WindowClass classDescription() const;
    virtual const char* className() const = 0;
    virtual intptr_t windowProc(uint32_t message, uintptr_t wParam, intptr_t lParam);
    virtual bool isClassRegistered() const;
    virtual void markClassRegistered();

    // The tooltip text for a client point, and the area in which it stays valid; empty for none.
    virtual std::string tooltipAt(int x, int y, Rect* area) const;

    WindowHandle handle() const { return handle_; }
    int32_t id() const { return id_; }
    SkinWindow* parent() const { return parent_; }
    int x() const { return x_; }
    int y() const { return y_; }
    int width() const { return width_; }
    int height() const { return height_; }

  protected:
    intptr_t defaultProc(uint32_t message, uintptr_t wParam, intptr_t lParam);

  private:
    friend intptr_t routeWindowMessage(WindowHandle, uint32_t, uintptr_t, intptr_t);

    WindowHandle handle_ = 0;
    int32_t id_ = 0;
    int x_ = 0;
    int y_ = 0;
    int width_ = 0;
    int height_ = 0;
    SkinWindow* parent_ = nullptr;
};

// The host every window uses. Installing a host forgets which classes were registered.
void setWindowHost(WindowHost* host);
WindowHost& windowHost();
bool hasWindowHost();

// The shared window procedure: what a host calls for every message of every window.
intptr_t routeWindowMessage(WindowHandle window, uint32_t message, uintptr_t wParam,
                            intptr_t lParam);

// Hands an object to the framework, which frees it in destroy() or destroyAll().
SkinWindow* adoptWindow(std::unique_ptr<SkinWindow> window);

using WindowFactory = std::function<std::unique_ptr<SkinWindow>(
    SkinWindow* parent, int32_t id, int x, int y, int width, int height)>;
void registerWindowKind(int kind, WindowFactory factory);
// Constructs (only) a window of a registered kind, owned by the framework; null for an
// unknown kind.
SkinWindow* createByKind(int kind, SkinWindow* parent, int32_t id, int x, int y, int width,
                         int height);
SkinWindow* findWindowById(int32_t id);
SkinWindow* findWindowByHandle(WindowHandle handle);
// Destroys every window object and empties both registries.
void destroyAllWindows();

// Registers a kind's factory during static initialisation.
struct WindowKindRegistration {
    WindowKindRegistration(int kind, WindowFactory factory) {
        registerWindowKind(kind, std::move(factory));
    }
};

}  // namespace vidora
