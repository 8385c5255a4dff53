#include <gtest/gtest.h>

#include "running_app.h"
#include "test_support.h"

namespace vidora {
namespace {

// A window kind that records every message it sees.
class ProbeWindow : public SkinWindow {
  public:
    using SkinWindow::SkinWindow;
    const char* className() const override { return "VD_Probe"; }
    intptr_t windowProc(uint32_t message, uintptr_t wParam, intptr_t lParam) override {
        seen.push_back(message);
        if (message == WM_CREATE) {
            handleAtCreate = handle();
            createData = *reinterpret_cast<const CreateStruct*>(lParam);
            return failCreate ? -1 : 0;
        }
        return SkinWindow::windowProc(message, wParam, lParam);
    }
    std::vector<uint32_t> seen;
    WindowHandle handleAtCreate = 0;
    CreateStruct createData;
    bool failCreate = false;
};

constexpr int kProbeKind = 77;
const WindowKindRegistration kProbe(kProbeKind, [](SkinWindow* parent, int32_t id, int x, int y,
                                                   int w, int h) {
    return std::make_unique<ProbeWindow>(parent, id, x, y, w, h);
});

class SkinWindowTest : public test::WindowTest {};

TEST_F(SkinWindowTest, CreatesByKindAndRegistersTheHandleOnCreate) {
    EXPECT_EQ(createByKind(4, nullptr, 1, 0, 0, 1, 1), nullptr);  // there is no kind 4
    auto* probe = static_cast<ProbeWindow*>(createByKind(kProbeKind, nullptr, 500, 10, 20, 30, 40));
    ASSERT_NE(probe, nullptr);
    EXPECT_EQ(findWindowById(500), probe);
    EXPECT_EQ(probe->handle(), 0u);
    ASSERT_TRUE(probe->create(WS_POPUP, 0, "probe"));
    // WM_CREATE reached the object (with its handle already stored) before create returned;
    // WM_NCCREATE came earlier and went to the default handling.
    EXPECT_EQ(probe->seen, std::vector<uint32_t>{WM_CREATE});
    EXPECT_EQ(probe->handleAtCreate, probe->handle());
    EXPECT_EQ(probe->createData.creationId, 500);
    EXPECT_EQ(findWindowByHandle(probe->handle()), probe);
    const auto* native = host.window(probe->handle());
    ASSERT_NE(native, nullptr);
    EXPECT_EQ(native->params.className, "VD_Probe");
    EXPECT_EQ(native->rect, Rect::fromSize(10, 20, 30, 40));
    EXPECT_EQ(native->style, WS_POPUP | WS_CLIPCHILDREN);
    // Every later message reaches the object.
    host.send(probe->handle(), WM_SIZE, 0, makeSizeParam(5, 6));
    EXPECT_EQ(probe->seen.back(), static_cast<uint32_t>(WM_SIZE));
}

TEST_F(SkinWindowTest, ChildWindowsClipSiblingsAndTheClassIsRegisteredOnce) {
    test::ParentWindow* parent = makeParent();
    auto* a = createByKind(kProbeKind, parent, 501, 0, 0, 10, 10);
    auto* b = createByKind(kProbeKind, parent, 502, 10, 0, 10, 10);
    ASSERT_TRUE(a->create(WS_CHILD, 0, "a"));
    ASSERT_TRUE(b->create(WS_CHILD, 0, "b"));
    EXPECT_EQ(host.classRegistrations("VD_Probe"), 1);
    EXPECT_EQ(host.window(a->handle())->style, WS_CHILD | WS_CLIPCHILDREN | WS_CLIPSIBLINGS);
    EXPECT_EQ(host.window(a->handle())->params.parent, parent->handle());
}

TEST_F(SkinWindowTest, MessagesForUnknownHandlesGetTheDefaultHandling) {
    auto* probe = static_cast<ProbeWindow*>(createByKind(kProbeKind, nullptr, 503, 0, 0, 50, 50));
    ASSERT_TRUE(probe->create(WS_POPUP, 0, "probe"));
    // The default handling of a system command is carried out by the host.
    EXPECT_EQ(routeWindowMessage(0x9999, WM_SYSCOMMAND, SC_MAXIMIZE, 0), 0);
    ASSERT_EQ(host.systemCommands().size(), 1u);
    EXPECT_EQ(host.systemCommands()[0].first, 0x9999u);
    EXPECT_EQ(probe->seen.size(), 1u);
}

TEST_F(SkinWindowTest, FailedCreationLeavesTheObjectWithoutAHandle) {
    auto* probe = static_cast<ProbeWindow*>(createByKind(kProbeKind, nullptr, 504, 0, 0, 5, 5));
    probe->failCreate = true;
    EXPECT_FALSE(probe->create(WS_POPUP, 0, "x"));
    EXPECT_EQ(probe->handle(), 0u);
    EXPECT_EQ(findWindowById(504), probe);
    EXPECT_EQ(findWindowByHandle(probe->handleAtCreate), nullptr);
    EXPECT_FALSE(host.isWindow(probe->handleAtCreate));
}

TEST_F(SkinWindowTest, DestroyingTheMainWindowQuitsWithoutReachingIt) {
    test::RunningApp bus;
    auto* main = static_cast<ProbeWindow*>(
        createByKind(kProbeKind, nullptr, MAIN_WINDOW_ID, 0, 0, 1030, 725));
    ASSERT_TRUE(main->create(WS_POPUP, 0, "main"));
    auto* other = static_cast<ProbeWindow*>(createByKind(kProbeKind, main, 4097, 0, 0, 5, 5));
    ASSERT_TRUE(other->create(WS_CHILD, 0, "child"));
    main->seen.clear();
    other->seen.clear();
    // The user closes the window: system command, WM_CLOSE, destroy of the native windows.
    host.send(main->handle(), WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_TRUE(bus.quitReceived());
    EXPECT_TRUE(host.quitRequested());
    EXPECT_EQ(host.exitCode(), 0);
    // WM_CLOSE went to the object, WM_DESTROY did not; the child saw its own WM_DESTROY.
    EXPECT_EQ(main->seen, (std::vector<uint32_t>{WM_SYSCOMMAND, WM_CLOSE}));
    EXPECT_EQ(other->seen, std::vector<uint32_t>{WM_DESTROY});
    // The objects stay registered until they are destroyed.
    EXPECT_EQ(findWindowById(MAIN_WINDOW_ID), main);
}

TEST_F(SkinWindowTest, DestroyAllEmptiesTheRegistriesQuietly) {
    test::RunningApp bus;
    auto* main = createByKind(kProbeKind, nullptr, MAIN_WINDOW_ID, 0, 0, 100, 100);
    ASSERT_TRUE(main->create(WS_POPUP, 0, "main"));
    auto* child = createByKind(kProbeKind, main, 4098, 0, 0, 10, 10);
    ASSERT_TRUE(child->create(WS_CHILD, 0, "child"));
    // A later object under the same id replaces the registry entry.
    auto* replacement = createByKind(kProbeKind, nullptr, 4098, 0, 0, 1, 1);
    EXPECT_EQ(findWindowById(4098), replacement);
    const WindowHandle mainHandle = main->handle();
    destroyAllWindows();
    EXPECT_EQ(findWindowById(MAIN_WINDOW_ID), nullptr);
    EXPECT_EQ(findWindowById(4098), nullptr);
    EXPECT_EQ(findWindowByHandle(mainHandle), nullptr);
    EXPECT_FALSE(host.isWindow(mainHandle));
    // Tearing down after a failed start is not a request to quit.
    EXPECT_EQ(bus.app().state(), ViewerApp::Running);
    EXPECT_FALSE(host.quitRequested());
}

TEST_F(SkinWindowTest, PointParametersAreSigned16BitPairs) {
    const intptr_t p = makePointParam(-3, 700);
    EXPECT_EQ(paramX(p), -3);
    EXPECT_EQ(paramY(p), 700);
    EXPECT_EQ(paramX(makePointParam(40000, -40000)), 40000 - 65536);
    EXPECT_EQ(paramWidth(makeSizeParam(1030, 725)), 1030);
    EXPECT_EQ(paramHeight(makeSizeParam(1030, 725)), 725);
}

}  // namespace
}  // namespace vidora
