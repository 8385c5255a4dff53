#include "ui/qt_host.h"

#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QGuiApplication>
#include <QHelpEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QRegion>
#include <QScreen>
#include <QShortcut>
#include <QThread>
#include <QToolTip>
#include <QWidget>
#include <QWindow>
#include <cmath>

#include "app/qt/qt_message_box.h"
#include "ui/program_icon.h"
#include "ui/qt_canvas.h"
#include "ui/skin_window.h"
#include "ui/window_messages.h"

namespace vidora {
namespace {

Qt::CursorShape qtCursor(CursorShape shape) {
    switch (shape) {
        case CursorShape::Hand:
            return Qt::PointingHandCursor;
        case CursorShape::SizeAll:
            return Qt::SizeAllCursor;
        case CursorShape::SizeWestEast:
            return Qt::SizeHorCursor;
        case CursorShape::SizeNorthSouth:
            return Qt::SizeVerCursor;
        case CursorShape::SizeNorthWestSouthEast:
            return Qt::SizeFDiagCursor;
        case CursorShape::SizeNorthEastSouthWest:
            return Qt::SizeBDiagCursor;
        case CursorShape::None:
        case CursorShape::Arrow:
            break;
    }
    return Qt::ArrowCursor;
}

Rect toRect(const QRect& r) {
    return Rect::fromSize(r.x(), r.y(), r.width(), r.height());
}

constexpr int kResizeBorder = 5;

}  // namespace

// The widget of one window: translates its Qt events into window messages.
class HostWidget : public QWidget {
  public:
    HostWidget(QtWindowHost& host, WindowHandle handle, const WindowClass& windowClass,
               uint32_t style, QWidget* parent)
        : QWidget(parent), host_(host), handle_(handle), class_(windowClass), style_(style) {
        setMouseTracking(true);
        setFocusPolicy(Qt::ClickFocus);
        if (!class_.background)
            setAttribute(Qt::WA_OpaquePaintEvent);
        applyCursor(class_.cursor);
    }

    WindowHandle handle() const { return handle_; }
    void markDying() { dying_ = true; }
    uint32_t style() const { return style_; }
    void setStyle(uint32_t style) { style_ = style; }
    void trackLeave() { trackingLeave_ = true; }
    void applyCursor(CursorShape shape) {
        cursor_ = shape;
        if (resizeEdge_ == 0 && hoverEdge_ == 0)
            setQtCursor(shape);
    }
    std::vector<std::unique_ptr<QShortcut>>& shortcuts() { return shortcuts_; }

  protected:
    // Once the window is being destroyed (or the host goes), Qt's remaining events for it
    // (hide, leave, focus out) are not the window's business any more.
    intptr_t route(uint32_t message, uintptr_t wParam, intptr_t lParam) {
        if (dying_ || host_.tearingDown_)
            return 0;
        return routeWindowMessage(handle_, message, wParam, lParam);
    }
    static intptr_t point(const QPointF& p) {
        return makePointParam(static_cast<int>(std::floor(p.x())),
                              static_cast<int>(std::floor(p.y())));
    }

    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        if (class_.background) {
            const Rgb c = *class_.background;
            painter.fillRect(rect(), QColor(c.r, c.g, c.b));
        }
        QtCanvas canvas(painter, {width(), height()});
        route(WM_PAINT, reinterpret_cast<uintptr_t>(static_cast<Canvas*>(&canvas)), 0);
    }
    void resizeEvent(QResizeEvent*) override {
        const uint32_t kind = isMinimized()                       ? SIZE_MINIMIZED
                              : (isMaximized() || isFullScreen()) ? SIZE_MAXIMIZED
                                                                  : SIZE_RESTORED;
        route(WM_SIZE, kind, makeSizeParam(width(), height()));
    }
    void moveEvent(QMoveEvent*) override {
        const QPoint origin = isWindow() ? geometry().topLeft() : pos();
        route(WM_MOVE, 0, makePointParam(origin.x(), origin.y()));
    }
    void changeEvent(QEvent* event) override {
        if (event->type() == QEvent::WindowStateChange && isMinimized())
            route(WM_SIZE, SIZE_MINIMIZED, 0);
        QWidget::changeEvent(event);
    }
    void showEvent(QShowEvent* event) override {
        route(WM_SHOWWINDOW, 1, event->spontaneous() ? 3 : 0);
    }
    void hideEvent(QHideEvent* event) override {
        route(WM_SHOWWINDOW, 0, event->spontaneous() ? 1 : 0);
    }
    void mousePressEvent(QMouseEvent* event) override {
        if (event->button() != Qt::LeftButton)
            return;
        if (const int edge = edgeAt(event->position().toPoint())) {
            resizeEdge_ = edge;
            resizeStart_ = event->globalPosition().toPoint();
            resizeGeometry_ = geometry();
            return;
        }
        route(WM_LBUTTONDOWN, MK_LBUTTON, point(event->position()));
    }
    void mouseReleaseEvent(QMouseEvent* event) override {
        if (event->button() != Qt::LeftButton)
            return;
        if (resizeEdge_) {
            resizeEdge_ = 0;
            return;
        }
        route(WM_LBUTTONUP, 0, point(event->position()));
    }
    void mouseDoubleClickEvent(QMouseEvent* event) override {
        if (event->button() != Qt::LeftButton)
            return;
        // Classes without CS_DBLCLKS see a second press instead.
        route((class_.style & CS_DBLCLKS) ? WM_LBUTTONDBLCLK : WM_LBUTTONDOWN, MK_LBUTTON,
              point(event->position()));
    }
    void mouseMoveEvent(QMouseEvent* event) override {
        if (resizeEdge_) {
            resizeTo(event->globalPosition().toPoint());
            return;
        }
        const int edge =
            (event->buttons() & Qt::LeftButton) ? 0 : edgeAt(event->position().toPoint());
        if (edge != hoverEdge_) {
            hoverEdge_ = edge;
            setQtCursor(edge == 0 ? cursor_ : edgeCursor(edge));
        }
        route(WM_MOUSEMOVE, (event->buttons() & Qt::LeftButton) ? uintptr_t{MK_LBUTTON} : 0,
              point(event->position()));
    }
    void leaveEvent(QEvent*) override {
        if (hoverEdge_) {
            hoverEdge_ = 0;
            setQtCursor(cursor_);
        }
        if (!trackingLeave_)
            return;
        trackingLeave_ = false;
        route(WM_MOUSELEAVE, 0, 0);
    }
    void focusOutEvent(QFocusEvent*) override { route(WM_KILLFOCUS, 0, 0); }
    void contextMenuEvent(QContextMenuEvent* event) override {
        route(WM_CONTEXTMENU, handle_,
              makePointParam(event->globalPos().x(), event->globalPos().y()));
    }
    void closeEvent(QCloseEvent* event) override {
        // The window decides: the default handling of WM_CLOSE destroys it.
        event->ignore();
        route(WM_CLOSE, 0, 0);
    }
    bool event(QEvent* event) override {
        if (event->type() == QEvent::ToolTip) {
            auto* help = static_cast<QHelpEvent*>(event);
            Rect area;
            const SkinWindow* window = findWindowByHandle(handle_);
            const std::string text = window ? window->tooltipAt(help->x(), help->y(), &area) : "";
            if (text.empty()) {
                QToolTip::hideText();
                event->ignore();
            } else {
                QToolTip::showText(help->globalPos(), QString::fromStdString(text), this,
                                   QRect(area.left, area.top, area.width(), area.height()));
            }
            return true;
        }
        return QWidget::event(event);
    }

  private:
    void setQtCursor(CursorShape shape) {
        if (shape == CursorShape::None)
            unsetCursor();
        else
            setCursor(qtCursor(shape));
    }
    // WMSZ_* edge under a point of a resizable top-level window, 0 elsewhere.
    int edgeAt(const QPoint& p) const {
        if (!isWindow() || !(style_ & WS_THICKFRAME) || isMaximized() || isFullScreen())
            return 0;
        const bool left = p.x() < kResizeBorder, right = p.x() >= width() - kResizeBorder;
        const bool top = p.y() < kResizeBorder, bottom = p.y() >= height() - kResizeBorder;
        if (top && left)
            return WMSZ_TOPLEFT;
        if (top && right)
            return WMSZ_TOPRIGHT;
        if (bottom && left)
            return WMSZ_BOTTOMLEFT;
        if (bottom && right)
            return WMSZ_BOTTOMRIGHT;
        if (left)
            return WMSZ_LEFT;
        if (right)
            return WMSZ_RIGHT;
        if (top)
            return WMSZ_TOP;
        if (bottom)
            return WMSZ_BOTTOM;
        return 0;
    }
    static CursorShape edgeCursor(int edge) {
        switch (edge) {
            case WMSZ_LEFT:
            case WMSZ_RIGHT:
                return CursorShape::SizeWestEast;
            case WMSZ_TOP:
            case WMSZ_BOTTOM:
                return CursorShape::SizeNorthSouth;
            case WMSZ_TOPLEFT:
            case WMSZ_BOTTOMRIGHT:
                return CursorShape::SizeNorthWestSouthEast;
            default:
                return CursorShape::SizeNorthEastSouthWest;
        }
    }
    void resizeTo(const QPoint& global) {
        const QPoint d = global - resizeStart_;
        const QRect g = resizeGeometry_;
        Rect r{g.left(), g.top(), g.left() + g.width(), g.top() + g.height()};
        const int e = resizeEdge_;
        if (e == WMSZ_LEFT || e == WMSZ_TOPLEFT || e == WMSZ_BOTTOMLEFT)
            r.left += d.x();
        if (e == WMSZ_RIGHT || e == WMSZ_TOPRIGHT || e == WMSZ_BOTTOMRIGHT)
            r.right += d.x();
        if (e == WMSZ_TOP || e == WMSZ_TOPLEFT || e == WMSZ_TOPRIGHT)
            r.top += d.y();
        if (e == WMSZ_BOTTOM || e == WMSZ_BOTTOMLEFT || e == WMSZ_BOTTOMRIGHT)
            r.bottom += d.y();
        route(WM_SIZING, static_cast<uintptr_t>(e), reinterpret_cast<intptr_t>(&r));
        if (r.width() > 0 && r.height() > 0)
            setGeometry(r.left, r.top, r.width(), r.height());
    }

    QtWindowHost& host_;
    WindowHandle handle_;
    WindowClass class_;
    uint32_t style_;
    CursorShape cursor_ = CursorShape::Arrow;
    bool trackingLeave_ = false;
    bool dying_ = false;
    int hoverEdge_ = 0;
    int resizeEdge_ = 0;
    QPoint resizeStart_;
    QRect resizeGeometry_;
    std::vector<std::unique_ptr<QShortcut>> shortcuts_;
};

QtWindowHost::QtWindowHost() : dispatcher_(std::make_unique<QObject>()) {
    if (auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
        const auto watch = [this](QScreen* screen) {
            QObject::connect(screen, &QScreen::geometryChanged, dispatcher_.get(),
                             [this] { broadcastDisplayChange(); });
        };
        for (QScreen* screen : QGuiApplication::screens())
            watch(screen);
        QObject::connect(app, &QGuiApplication::screenAdded, dispatcher_.get(),
                         [this, watch](QScreen* screen) {
                             watch(screen);
                             broadcastDisplayChange();
                         });
        QObject::connect(app, &QGuiApplication::screenRemoved, dispatcher_.get(),
                         [this] { broadcastDisplayChange(); });
    }
}

QtWindowHost::~QtWindowHost() {
    tearingDown_ = true;
    // Top-level widgets take their children with them.
    std::vector<HostWidget*> topLevel;
    for (const auto& [handle, w] : widgets_)
        if (w->isWindow())
            topLevel.push_back(w);
    widgets_.clear();
    for (HostWidget* w : topLevel)
        delete w;
}

void QtWindowHost::broadcastDisplayChange() {
    std::vector<WindowHandle> topLevel;
    for (const auto& [handle, w] : widgets_)
        if (w->isWindow())
            topLevel.push_back(handle);
    for (WindowHandle handle : topLevel)
        routeWindowMessage(handle, WM_DISPLAYCHANGE, 24, 0);
}

HostWidget* QtWindowHost::find(WindowHandle window) const {
    const auto it = widgets_.find(window);
    return it == widgets_.end() ? nullptr : it->second;
}

QWidget* QtWindowHost::widget(WindowHandle window) const {
    return find(window);
}

void QtWindowHost::registerClass(const WindowClass& windowClass) {
    classes_[windowClass.name] = windowClass;
}

WindowHandle QtWindowHost::createWindow(const WindowCreateParams& params) {
    const auto cls = classes_.find(params.className);
    if (cls == classes_.end())
        return 0;
    HostWidget* parent = nullptr;
    if (params.parent) {
        parent = find(params.parent);
        if (!parent)
            return 0;
    }
    const WindowHandle handle = nextHandle_++;
    auto* w = new HostWidget(*this, handle, cls->second, params.style, parent);
    if (!parent) {
        Qt::WindowFlags flags = Qt::Window;
        if (params.style & WS_POPUP)
            flags |= Qt::FramelessWindowHint;
        w->setWindowFlags(flags);
    }
    w->setWindowTitle(QString::fromStdString(params.caption));
    if (!parent && cls->second.iconResource != 0)
        w->setWindowIcon(programIcon(cls->second.iconResource));
    const int x = params.x == CW_USEDEFAULT ? 0 : params.x;
    const Rect r = nativeWindowRect(x, params.y, params.width, params.height);
    w->setGeometry(r.left, r.top, r.width(), r.height());
    widgets_[handle] = w;

    CreateStruct data;
    data.creationId = params.creationId;
    data.style = params.style;
    data.exStyle = params.exStyle;
    data.x = x;
    data.y = params.y;
    data.width = params.width;
    data.height = params.height;
    const auto dataParam = reinterpret_cast<intptr_t>(&data);
    routeWindowMessage(handle, WM_NCCREATE, 0, dataParam);
    if (routeWindowMessage(handle, WM_CREATE, 0, dataParam) == -1) {
        destroyWindow(handle);
        return 0;
    }
    if (HostWidget* created = find(handle); created && (params.style & WS_VISIBLE))
        created->show();
    return handle;
}

void QtWindowHost::destroyWindow(WindowHandle window) {
    HostWidget* root = find(window);
    if (!root)
        return;
    // WM_DESTROY goes to the window first, then to its descendants.
    std::vector<QPointer<HostWidget>> tree{root};
    for (size_t i = 0; i < tree.size(); ++i) {
        if (!tree[i])
            continue;
        for (QObject* child : tree[i]->children())
            if (auto* hw = dynamic_cast<HostWidget*>(child))
                tree.emplace_back(hw);
    }
    for (const QPointer<HostWidget>& w : tree)
        if (w && find(w->handle()) == w)
            routeWindowMessage(w->handle(), WM_DESTROY, 0, 0);
    for (const QPointer<HostWidget>& w : tree) {
        if (!w)
            continue;
        if (capture_ == w->handle())
            releaseCapture();
        widgets_.erase(w->handle());
    }
    if (QPointer<HostWidget> gone = root) {
        gone->hide();
        // Later: the widget may be in the middle of delivering the event that destroyed it.
        gone->deleteLater();
    }
}

bool QtWindowHost::isWindow(WindowHandle window) const {
    return find(window) != nullptr;
}

Rect QtWindowHost::windowRect(WindowHandle window) const {
    const HostWidget* w = find(window);
    if (!w)
        return {};
    return toRect(w->isWindow() ? w->frameGeometry() : w->geometry());
}

Size QtWindowHost::clientSize(WindowHandle window) const {
    const HostWidget* w = find(window);
    return w ? Size{w->width(), w->height()} : Size{};
}

void QtWindowHost::moveWindow(WindowHandle window, const Rect& rect, bool repaint) {
    HostWidget* w = find(window);
    if (!w)
        return;
    const Rect r = nativeWindowRect(rect.left, rect.top, rect.width(), rect.height());
    w->setGeometry(r.left, r.top, r.width(), r.height());
    if (repaint)
        w->update();
}

Point QtWindowHost::clientToScreen(WindowHandle window, Point point) const {
    const HostWidget* w = find(window);
    if (!w)
        return point;
    const QPoint p = w->mapToGlobal(QPoint(point.x, point.y));
    return {p.x(), p.y()};
}

Rect QtWindowHost::screenRect() const {
    const QScreen* screen = QGuiApplication::primaryScreen();
    return screen ? toRect(screen->geometry()) : Rect{};
}

void QtWindowHost::showWindow(WindowHandle window, ShowCommand command) {
    HostWidget* w = find(window);
    if (!w)
        return;
    const bool topLevel = w->isWindow();
    switch (command) {
        case ShowCommand::Hide:
            w->hide();
            break;
        case ShowCommand::Show:
            w->show();
            break;
        case ShowCommand::ShowMinimized:
            topLevel ? w->showMinimized() : w->show();
            break;
        case ShowCommand::ShowMaximized:
            topLevel ? w->showMaximized() : w->show();
            break;
        case ShowCommand::Restore:
            topLevel ? w->showNormal() : w->show();
            break;
        case ShowCommand::ShowFullScreen:
            topLevel ? w->showFullScreen() : w->show();
            break;
    }
}

bool QtWindowHost::isVisible(WindowHandle window) const {
    const HostWidget* w = find(window);
    return w && w->isVisible();
}

bool QtWindowHost::isMaximized(WindowHandle window) const {
    const HostWidget* w = find(window);
    return w && (w->isMaximized() || w->isFullScreen());
}

bool QtWindowHost::isMinimized(WindowHandle window) const {
    const HostWidget* w = find(window);
    return w && w->isMinimized();
}

uint32_t QtWindowHost::style(WindowHandle window) const {
    const HostWidget* w = find(window);
    return w ? w->style() : 0;
}

void QtWindowHost::setStyle(WindowHandle window, uint32_t style) {
    if (HostWidget* w = find(window))
        w->setStyle(style);
}

void QtWindowHost::setWindowRegion(WindowHandle window, const Rect& bounds,
                                   const std::vector<Rect>& cuts) {
    HostWidget* w = find(window);
    if (!w)
        return;
    if (bounds.empty()) {
        w->clearMask();
        return;
    }
    QRegion region(bounds.left, bounds.top, bounds.width(), bounds.height());
    for (const Rect& cut : cuts)
        if (!cut.empty())
            region -= QRegion(cut.left, cut.top, cut.width(), cut.height());
    w->setMask(region);
}

void QtWindowHost::invalidate(WindowHandle window) {
    if (HostWidget* w = find(window))
        w->update();
}

void QtWindowHost::invalidateRect(WindowHandle window, const Rect& rect) {
    if (HostWidget* w = find(window))
        w->update(QRect(rect.left, rect.top, rect.width(), rect.height()));
}

int QtWindowHost::messageBox(WindowHandle owner, const MessageBoxRequest& request) {
    return showQtMessageBox(find(owner), request);
}

bool QtWindowHost::paintNow(WindowHandle window, const std::function<void(Canvas&)>&) {
    // Qt paints only from paint events: the window paints its current state from WM_PAINT.
    invalidate(window);
    return false;
}

void QtWindowHost::setCapture(WindowHandle window) {
    HostWidget* w = find(window);
    if (!w)
        return;
    if (capture_ && capture_ != window)
        releaseCapture();
    w->grabMouse();
    capture_ = window;
}

void QtWindowHost::releaseCapture() {
    if (HostWidget* w = find(capture_))
        w->releaseMouse();
    capture_ = 0;
}

void QtWindowHost::setFocus(WindowHandle window) {
    if (HostWidget* w = find(window))
        w->setFocus(Qt::OtherFocusReason);
}

void QtWindowHost::setCursor(WindowHandle window, CursorShape shape) {
    if (HostWidget* w = find(window))
        w->applyCursor(shape);
}

void QtWindowHost::trackMouseLeave(WindowHandle window) {
    if (HostWidget* w = find(window))
        w->trackLeave();
}

uint32_t QtWindowHost::trackPopupMenu(WindowHandle owner, const std::vector<MenuItem>& items,
                                      Point screenPoint, uint32_t flags) {
    QMenu menu(find(owner));
    for (const MenuItem& item : items) {
        if (item.separator) {
            menu.addSeparator();
            continue;
        }
        QAction* action = menu.addAction(QString::fromStdString(item.text));
        action->setData(item.id);
        action->setEnabled(item.enabled);
    }
    QPoint at(screenPoint.x, screenPoint.y);
    const QSize size = menu.sizeHint();
    if (flags & TPM_RIGHTALIGN)
        at.rx() -= size.width();
    if (flags & TPM_BOTTOMALIGN)
        at.ry() -= size.height();
    const QAction* chosen = menu.exec(at);
    return chosen ? chosen->data().toUInt() : 0;
}

void QtWindowHost::setAccelerators(WindowHandle window, std::vector<Accelerator> accelerators) {
    HostWidget* w = find(window);
    if (!w)
        return;
    w->shortcuts().clear();
    for (const Accelerator& a : accelerators) {
        int key = a.virtualKey;
        if (key == VK_ESCAPE)
            key = Qt::Key_Escape;
        if (key == VK_SPACE)
            key = Qt::Key_Space;
        if (key == VK_R)
            key = Qt::Key_R;
        auto shortcut = std::make_unique<QShortcut>(QKeySequence(key), w);
        shortcut->setContext(Qt::WindowShortcut);
        const WindowHandle handle = window;
        const uint32_t command = a.command;
        QObject::connect(shortcut.get(), &QShortcut::activated, w, [handle, command] {
            routeWindowMessage(handle, WM_COMMAND, (uintptr_t{1} << 16) | command, 0);
        });
        w->shortcuts().push_back(std::move(shortcut));
    }
}

void QtWindowHost::postMessage(WindowHandle window, uint32_t message, uintptr_t wParam,
                               intptr_t lParam) {
    QMetaObject::invokeMethod(
        dispatcher_.get(),
        [window, message, wParam, lParam] { routeWindowMessage(window, message, wParam, lParam); },
        Qt::QueuedConnection);
}

intptr_t QtWindowHost::sendMessageFromAnyThread(WindowHandle window, uint32_t message,
                                                uintptr_t wParam, intptr_t lParam) {
    if (QThread::currentThread() == dispatcher_->thread())
        return routeWindowMessage(window, message, wParam, lParam);
    intptr_t result = 0;
    QMetaObject::invokeMethod(
        dispatcher_.get(),
        [&result, window, message, wParam, lParam] {
            result = routeWindowMessage(window, message, wParam, lParam);
        },
        Qt::BlockingQueuedConnection);
    return result;
}

intptr_t QtWindowHost::defaultWindowProc(WindowHandle window, uint32_t message, uintptr_t wParam,
                                         intptr_t) {
    HostWidget* w = find(window);
    switch (message) {
        case WM_NCCREATE:
            return 1;
        case WM_CLOSE:
            destroyWindow(window);
            return 0;
        case WM_SYSCOMMAND:
            if (!w)
                return 0;
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
                case SC_MOVE:
                    if (QWindow* native = w->windowHandle())
                        native->startSystemMove();
                    break;
                case SC_SIZE:
                    if (QWindow* native = w->windowHandle())
                        native->startSystemResize(Qt::RightEdge | Qt::BottomEdge);
                    break;
                default:
                    break;
            }
            return 0;
        default:
            return 0;
    }
}

void QtWindowHost::quit(int exitCode) {
    if (QCoreApplication::instance())
        QCoreApplication::exit(exitCode);
}

}  // namespace vidora
