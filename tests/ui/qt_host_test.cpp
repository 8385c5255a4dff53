// The Qt host turns widget events into window messages and carries out the windows' requests.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCloseEvent>
#include <QMouseEvent>
#include <QWidget>

#include "running_app.h"
#include "test_support.h"
#include "ui/qt_host.h"

namespace vidora {
namespace {

// A top-level window that records its messages and keeps itself at least 300 pixels wide
// while its edges are dragged.
class FrameWindow : public SkinWindow {
  public:
    FrameWindow(int32_t id, uint32_t classStyle)
        : SkinWindow(nullptr, id, 100, 80, 400, 300), classStyle_(classStyle) {}
    const char* className() const override {
        return classStyle_ & CS_DBLCLKS ? "VD_TestFrameDbl" : "VD_TestFrame";
    }
    WindowClass classDescription() const override {
        WindowClass c = SkinWindow::classDescription();
        c.style |= classStyle_;
        return c;
    }
    intptr_t windowProc(uint32_t message, uintptr_t wParam, intptr_t lParam) override {
        seen.push_back(message);
        if (message == WM_SIZING) {
            auto* r = reinterpret_cast<Rect*>(lParam);
            sizingEdge = static_cast<int>(wParam);
            if (r->width() < 300)
                r->left = r->right - 300;
            return 1;
        }
        if (message == WM_LBUTTONDOWN || message == WM_LBUTTONDBLCLK)
            points.push_back({paramX(lParam), paramY(lParam)});
        return SkinWindow::windowProc(message, wParam, lParam);
    }
    bool saw(uint32_t message) const {
        return std::find(seen.begin(), seen.end(), message) != seen.end();
    }
    std::vector<uint32_t> seen;
    std::vector<Point> points;
    int sizingEdge = 0;

  private:
    uint32_t classStyle_;
};

class QtHostTest : public ::testing::Test {
  protected:
    QtHostTest() {
        test::testApplication();
        host = std::make_unique<QtWindowHost>();
        setWindowHost(host.get());
    }
    ~QtHostTest() override {
        destroyAllWindows();
        setWindowHost(nullptr);
        host.reset();
    }
    FrameWindow* make(int32_t id, uint32_t style, uint32_t classStyle = 0) {
        auto* w =
            static_cast<FrameWindow*>(adoptWindow(std::make_unique<FrameWindow>(id, classStyle)));
        EXPECT_TRUE(w->create(style, 0, "frame"));
        return w;
    }
    static void mouse(QWidget* w, QEvent::Type type, QPoint at, Qt::MouseButtons buttons) {
        QMouseEvent event(type, QPointF(at), QPointF(w->mapToGlobal(at)),
                          type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton, buttons,
                          Qt::NoModifier);
        QApplication::sendEvent(w, &event);
    }
    std::unique_ptr<QtWindowHost> host;
};

TEST_F(QtHostTest, TopLevelPopupIsFramelessAndTakesItsRegion) {
    FrameWindow* w = make(700, WS_POPUP | WS_VISIBLE);
    QWidget* widget = host->widget(w->handle());
    ASSERT_NE(widget, nullptr);
    EXPECT_TRUE(widget->isWindow());
    EXPECT_TRUE(widget->windowFlags() & Qt::FramelessWindowHint);
    EXPECT_TRUE(widget->isVisible());
    EXPECT_EQ(host->clientSize(w->handle()), (Size{400, 300}));
    EXPECT_TRUE(w->saw(WM_CREATE));
    // Shown during creation, before the framework knew the handle: only later shows arrive.
    host->showWindow(w->handle(), ShowCommand::Hide);
    host->showWindow(w->handle(), ShowCommand::Show);
    EXPECT_TRUE(w->saw(WM_SHOWWINDOW));
    host->setWindowRegion(w->handle(), {0, 0, 400, 300}, {{0, 10, 4, 290}});
    EXPECT_FALSE(widget->mask().contains(QPoint(2, 100)));
    EXPECT_TRUE(widget->mask().contains(QPoint(5, 100)));
    EXPECT_TRUE(widget->mask().contains(QPoint(2, 5)));
    host->moveWindow(w->handle(), Rect::fromSize(10, 20, 500, 350), true);
    EXPECT_EQ(host->clientSize(w->handle()), (Size{500, 350}));
    EXPECT_TRUE(w->saw(WM_SIZE));
}

TEST_F(QtHostTest, DoubleClicksNeedTheClassStyle) {
    FrameWindow* plain = make(701, WS_POPUP | WS_VISIBLE);
    FrameWindow* dbl = make(702, WS_POPUP | WS_VISIBLE, CS_DBLCLKS);
    mouse(host->widget(plain->handle()), QEvent::MouseButtonDblClick, {40, 50}, Qt::LeftButton);
    mouse(host->widget(dbl->handle()), QEvent::MouseButtonDblClick, {40, 50}, Qt::LeftButton);
    EXPECT_TRUE(plain->saw(WM_LBUTTONDOWN));
    EXPECT_FALSE(plain->saw(WM_LBUTTONDBLCLK));
    EXPECT_TRUE(dbl->saw(WM_LBUTTONDBLCLK));
    ASSERT_EQ(dbl->points.size(), 1u);
    EXPECT_EQ(dbl->points[0], (Point{40, 50}));
}

TEST_F(QtHostTest, DraggingAThickFrameEdgeAsksTheWindowFirst) {
    FrameWindow* w = make(703, WS_POPUP | WS_THICKFRAME | WS_VISIBLE);
    QWidget* widget = host->widget(w->handle());
    const QRect before = widget->geometry();
    // Press on the left edge and drag it 150 pixels to the right: the window keeps 300.
    mouse(widget, QEvent::MouseButtonPress, {1, 150}, Qt::LeftButton);
    mouse(widget, QEvent::MouseMove, {151, 150}, Qt::LeftButton);
    mouse(widget, QEvent::MouseButtonRelease, {151, 150}, Qt::NoButton);
    EXPECT_EQ(w->sizingEdge, static_cast<int>(WMSZ_LEFT));
    EXPECT_EQ(widget->geometry().width(), 300);
    EXPECT_EQ(widget->geometry().right(), before.right());
    // The press on the frame is not a click in the window.
    EXPECT_FALSE(w->saw(WM_LBUTTONDOWN));
    mouse(widget, QEvent::MouseButtonPress, {100, 100}, Qt::LeftButton);
    EXPECT_TRUE(w->saw(WM_LBUTTONDOWN));
}

TEST_F(QtHostTest, ClosingTheMainWindowEndsTheProgram) {
    test::RunningApp bus;
    FrameWindow* main = make(MAIN_WINDOW_ID, WS_POPUP | WS_VISIBLE);
    const WindowHandle handle = main->handle();
    QCloseEvent close;
    QApplication::sendEvent(host->widget(handle), &close);
    EXPECT_TRUE(main->saw(WM_CLOSE));
    EXPECT_FALSE(main->saw(WM_DESTROY));
    EXPECT_TRUE(bus.quitReceived());
    EXPECT_FALSE(host->isWindow(handle));
}

TEST_F(QtHostTest, PostedMessagesArriveThroughTheEventLoop) {
    FrameWindow* w = make(704, WS_POPUP);
    host->postMessage(w->handle(), WM_GRAPH_NOTIFY, 0, 0);
    EXPECT_FALSE(w->saw(WM_GRAPH_NOTIFY));
    QCoreApplication::processEvents();
    EXPECT_TRUE(w->saw(WM_GRAPH_NOTIFY));
    EXPECT_EQ(host->sendMessageFromAnyThread(w->handle(), WM_SHOW_MESSAGE, 0, 0), 0);
    EXPECT_TRUE(w->saw(WM_SHOW_MESSAGE));
    // System commands are carried out by the default handling.
    host->showWindow(w->handle(), ShowCommand::Show);
    routeWindowMessage(w->handle(), WM_SYSCOMMAND, SC_MAXIMIZE, 0);
    EXPECT_TRUE(host->isMaximized(w->handle()));
    routeWindowMessage(w->handle(), WM_SYSCOMMAND, SC_RESTORE, 0);
    EXPECT_FALSE(host->isMaximized(w->handle()));
}

}  // namespace
}  // namespace vidora
