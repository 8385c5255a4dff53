// The viewer's windows on the Qt host, as the program runs them: a frameless shaped main window,
// edge dragging under the resizing rule, the real "Function" popup, the real settings dialog,
// message boxes owned by the main window and the keyboard accelerators.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <cstring>
#include <filesystem>
#include <functional>

#include "app/message_box.h"
#include "app/settings.h"
#include "app/task_list.h"
#include "engine/status_board.h"
#include "platform/relaxed.h"
#include "test_support.h"
#include "tests/app/temp_dir.h"
#include "ui/commands.h"
#include "ui/qt_host.h"
#include "ui/ui_module.h"
#include "ui/ui_services.h"
#include "viewer_fixture.h"

namespace vidora::test {
namespace {

// Calls `act` with the popup or modal window that the code under test opens next.
void whenShown(std::function<void(QWidget*)> act) {
    auto* timer = new QTimer(qApp);
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, [timer, act] {
        QWidget* w = QApplication::activePopupWidget();
        if (!w)
            w = QApplication::activeModalWidget();
        if (!w || !w->isVisible())
            return;
        timer->stop();
        timer->deleteLater();
        act(w);
    });
    timer->start();
}

class ViewerQtTest : public ::testing::Test {
  protected:
    ViewerQtTest() {
        testApplication();
        std::filesystem::copy(std::filesystem::path(VIDORA_TEST_RUN_DIR) / "UI", "UI",
                              std::filesystem::copy_options::recursive);
        std::memset(&gState, 0, sizeof gState);
        std::memset(&gConfig, 0, sizeof gConfig);
        applyDefaultSettings();
        host = std::make_unique<QtWindowHost>();
        setWindowHost(host.get());
        installCommandRecorder();
    }
    ~ViewerQtTest() override {
        app.reset();
        UiModule::obtain().teardown();
        UiModule::release();
        setUiServices({});
        setMessageBoxPresenter({});
        clearBusRegistries();
        setWindowHost(nullptr);
        host.reset();
        QCoreApplication::processEvents();
        taskList().freeAll();
    }

    void start() {
        ViewerApp::Services services;
        services.obtainUi = [] { return static_cast<UiPartner*>(&UiModule::obtain()); };
        app = std::make_unique<ViewerApp>(std::move(services));
        ASSERT_EQ(app->run().reason(), "");
        main = UiModule::obtain().mainWindow();
        ASSERT_NE(main, nullptr);
        window = host->widget(main->handle());
        ASSERT_NE(window, nullptr);
        takeCommands();
    }

    void recordSettings() {
        UiServices services;
        services.showSettings = [this](WindowHandle owner, int page) {
            settingsCalls.push_back({owner, page});
        };
        setUiServices(std::move(services));
    }

    static void mouse(QWidget* w, QEvent::Type type, QPoint at, Qt::MouseButtons buttons) {
        QMouseEvent event(type, QPointF(at), QPointF(w->mapToGlobal(at)),
                          type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton, buttons,
                          Qt::NoModifier);
        QApplication::sendEvent(w, &event);
    }

    ScopedTempDir folder;
    std::unique_ptr<QtWindowHost> host;
    std::unique_ptr<ViewerApp> app;
    MainWindow* main = nullptr;
    QWidget* window = nullptr;
    std::vector<SettingsCall> settingsCalls;
};

TEST_F(ViewerQtTest, TheMainWindowIsFramelessShapedAndPaintedFromTheSkin) {
    start();
    EXPECT_TRUE(window->isWindow());
    EXPECT_TRUE(window->windowFlags() & Qt::FramelessWindowHint);
    EXPECT_EQ(window->windowTitle(), "Vidora V1.0.4");
    // The class's icon: the ring logo, blue in the middle and transparent in the corners.
    const QImage icon = window->windowIcon().pixmap(32, 32).toImage();
    ASSERT_EQ(icon.size(), QSize(32, 32));
    EXPECT_EQ(qAlpha(icon.pixel(0, 0)), 0);
    const QColor centre = icon.pixelColor(16, 16);
    EXPECT_GT(centre.blue(), 200);
    EXPECT_LT(centre.red(), 160);
    EXPECT_EQ(window->size(), QSize(1030, 725));
    EXPECT_FALSE(window->mask().contains(QPoint(0, 300))) << "the cut-away outline";
    EXPECT_TRUE(window->mask().contains(QPoint(5, 300)));
    EXPECT_EQ(host->widget(main->monitorPanel()->handle())->geometry(), QRect(10, 49, 841, 627));
    EXPECT_EQ(host->widget(main->controlPanel()->handle())->geometry(), QRect(859, 49, 160, 627));

    const QImage shot = window->grab().toImage();
    const auto frame = Bitmap24::loadBmp("UI/frame.bmp");
    ASSERT_TRUE(frame.has_value());
    for (const QPoint p : {QPoint(30, 34), QPoint(968, 35), QPoint(960, 700)}) {
        const Rgb expected = frame->pixel(p.x(), p.y());
        EXPECT_EQ(shot.pixelColor(p), QColor(expected.r, expected.g, expected.b)) << p.x();
    }
    // Live view is off: the video area is black.
    EXPECT_EQ(shot.pixelColor(400, 300), QColor(0, 0, 0));
}

TEST_F(ViewerQtTest, DraggingAnEdgeKeepsTheVideoAreaFourToThree) {
    start();
    // The right edge, 200 pixels out: the bottom follows (838 + 200 wide, 627 + 150 high).
    mouse(window, QEvent::MouseButtonPress, {1027, 300}, Qt::LeftButton);
    mouse(window, QEvent::MouseMove, {1227, 300}, Qt::LeftButton);
    mouse(window, QEvent::MouseButtonRelease, {1227, 300}, Qt::NoButton);
    EXPECT_EQ(window->size(), QSize(1230, 875));
    EXPECT_EQ(host->widget(main->monitorPanel()->handle())->size(), QSize(1041, 777));
    EXPECT_EQ(host->widget(main->controlPanel()->handle())->geometry(), QRect(1059, 49, 160, 777));
    // Dragged in past the minimum: it stays 1030 wide.
    mouse(window, QEvent::MouseButtonPress, {1227, 300}, Qt::LeftButton);
    mouse(window, QEvent::MouseMove, {700, 300}, Qt::LeftButton);
    mouse(window, QEvent::MouseButtonRelease, {700, 300}, Qt::NoButton);
    EXPECT_EQ(window->width(), 1030);
}

TEST_F(ViewerQtTest, TheFunctionMenuIsAPopupWhoseEntriesOpenTheirPages) {
    start();
    recordSettings();
    storeRelaxed(gState.liveViewOn, 1);
    QStringList entries;
    whenShown([&entries](QWidget* popup) {
        auto* menu = qobject_cast<QMenu*>(popup);
        ASSERT_NE(menu, nullptr);
        for (QAction* a : menu->actions())
            entries << (a->isSeparator() ? QString("-") : a->text());
        for (QAction* a : menu->actions())
            if (a->text() == "Record Config")
                QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(a).center());
    });
    mouse(window, QEvent::MouseButtonPress, {960, 700}, Qt::LeftButton);
    mouse(window, QEvent::MouseButtonRelease, {960, 700}, Qt::NoButton);
    EXPECT_EQ(entries, QStringList({"Security Config", "Display Config", "Alarm Config",
                                    "Record Config", "Capture Config", "Plan Task Config",
                                    "More settings", "-", "Recordings", "About"}));
    EXPECT_EQ(settingsCalls, (std::vector<SettingsCall>{{main->handle(), 3}}));
    // (The video area may repaint while the menu is open.)
    std::vector<Command> sentNow = takeCommands();
    std::erase(sentNow, sent(ENG_PAINT));
    EXPECT_EQ(sentNow, (std::vector<Command>{sent(ENG_SETTINGS_CHANGED)}));
}

TEST_F(ViewerQtTest, TheSettingsDialogIsTheSettingsLibrarysOwnedByTheWindow) {
    start();
    const VidoraConfig before = gConfig;
    QString title;
    QWidget* owner = nullptr;
    whenShown([&](QWidget* dialog) {
        title = dialog->windowTitle();
        owner = dialog->parentWidget();
        qobject_cast<QDialog*>(dialog)->reject();
    });
    routeWindowMessage(main->handle(), WM_COMMAND, commandParam(ID_ABOUT), 0);
    EXPECT_EQ(title, "Vidora Setup");
    EXPECT_EQ(owner, window);
    EXPECT_EQ(std::memcmp(&before, &gConfig, sizeof gConfig), 0) << "cancelled: nothing changed";
    EXPECT_EQ(takeCommands(), (std::vector<Command>{sent(ENG_SETTINGS_CHANGED)}));
}

TEST_F(ViewerQtTest, OkWritesTheEditedRecordBackOverTheLiveOne) {
    start();
    VidoraConfig expected = gConfig;
    std::snprintf(expected.channelName[0], sizeof expected.channelName[0], "Front door");
    whenShown([](QWidget* dialog) {
        auto* name = dialog->findChild<QLineEdit*>("5042");
        ASSERT_NE(name, nullptr);
        name->setText("Front door");
        for (auto* button : dialog->findChildren<QPushButton*>())
            if (button->text() == "Ok")
                button->click();
    });
    routeWindowMessage(main->handle(), WM_COMMAND, commandParam(ID_DISPLAY_CONFIG), 0);
    EXPECT_STREQ(gConfig.channelName[0], "Front door");
    EXPECT_EQ(std::memcmp(&expected, &gConfig, sizeof gConfig), 0) << "only the name changed";
    EXPECT_EQ(takeCommands(), (std::vector<Command>{sent(ENG_SETTINGS_CHANGED)}));
}

TEST_F(ViewerQtTest, MessageBoxesAreOwnedByTheMainWindow) {
    start();
    installWindowMessageBoxes({});
    QWidget* owner = nullptr;
    QString text, title;
    whenShown([&](QWidget* shown) {
        auto* box = qobject_cast<QMessageBox*>(shown);
        ASSERT_NE(box, nullptr);
        owner = box->parentWidget();
        text = box->text();
        title = box->windowTitle();
        box->button(QMessageBox::No)->click();
    });
    EXPECT_EQ(userMessageBox("Delete the oldest recordings?", "Vidora", MB_YESNO | MB_ICONQUESTION),
              IDNO);
    EXPECT_EQ(owner, window);
    EXPECT_EQ(text, "Delete the oldest recordings?");
    EXPECT_EQ(title, "Vidora");
}

TEST_F(ViewerQtTest, EscapeLeavesFullScreenAndSpaceMovesToTheNextChannel) {
    start();
    QApplication::setActiveWindow(window);
    QTest::keyClick(window, Qt::Key_Escape);
    EXPECT_FALSE(main->fullScreen());
    storeRelaxed(gState.liveViewOn, 1);
    main->controlPanel()->notify({TOOL_GROUP_ID, 7, STATE_HIGHLIGHTED});
    EXPECT_TRUE(main->fullScreen());
    EXPECT_TRUE(window->isFullScreen());
    EXPECT_FALSE(host->widget(main->controlPanel()->handle())->isVisible());
    QTest::keyClick(window, Qt::Key_Escape);
    EXPECT_FALSE(main->fullScreen());
    EXPECT_FALSE(window->isFullScreen());
    EXPECT_TRUE(host->widget(main->controlPanel()->handle())->isVisible());
    takeCommands();
    QTest::keyClick(window, Qt::Key_Space);
    EXPECT_EQ(takeCommands(), (std::vector<Command>{posted(ENG_CHANNEL_NEXT)}));
}

TEST_F(ViewerQtTest, RealKeysReachTheirButtonsCommands) {
    start();
    storeRelaxed(gState.liveViewOn, 1);
    main->controlPanel()->onNotice(NTF_LIVE_STATE);
    takeCommands();
    QApplication::setActiveWindow(window);
    QTest::keyClick(window, Qt::Key_Q);
    QTest::keyClick(window, Qt::Key_S);
    QTest::keyClick(window, Qt::Key_R);
    QTest::keyClick(window, Qt::Key_2);
    EXPECT_EQ(takeCommands(),
              (std::vector<Command>{sent(ENG_TOGGLE_QUAD), sent(ENG_SNAPSHOT),
                                    sent(ENG_RECORD_START), sent(ENG_CHANNEL_SELECT, 1)}));
    QTest::keyClick(window, Qt::Key_Plus);
    EXPECT_EQ(gState.channelZoom[0], 2u);
    QTest::keyClick(window, Qt::Key_Equal);
    QTest::keyClick(window, Qt::Key_Plus, Qt::KeypadModifier);
    EXPECT_EQ(gState.channelZoom[0], 4u);
    QTest::keyClick(window, Qt::Key_Minus);
    EXPECT_EQ(gState.channelZoom[0], 3u);
    QTest::keyClick(window, Qt::Key_F11);
    EXPECT_TRUE(main->fullScreen());
    QTest::keyClick(window, Qt::Key_F11);
    EXPECT_FALSE(main->fullScreen());
}

// Screenshots for a person to look at (in <build>/screenshots/), with checks that the band and
// the panel say something.
TEST_F(ViewerQtTest, TheBandAndThePanelSayWhatIsGoingOn) {
    statusBoard().reset();
    start();
    statusBoard().setLink(ReceiverLink::NotFound);
    main->refreshStatusBand();
    QCoreApplication::processEvents();
    QImage shot = window->grab().toImage();
    QDir().mkpath(VIDORA_TEST_SCREENSHOT_DIR);
    EXPECT_TRUE(shot.save(VIDORA_TEST_SCREENSHOT_DIR "/viewer-no-receiver.png"));
    const auto lightIn = [](const QImage& image, const QRect& r) {
        int n = 0;
        for (int y = r.top(); y <= r.bottom(); ++y)
            for (int x = r.left(); x <= r.right(); ++x)
                n += qGray(image.pixel(x, y)) > 140;
        return n;
    };
    // "No receiver connected. Plug in the receiver." in the middle of the black video area.
    EXPECT_GT(lightIn(shot, QRect(60, 340, 740, 50)), 100);
    EXPECT_EQ(lightIn(shot, QRect(60, 100, 740, 100)), 0);
    // "No receiver found" in amber at the left of the foot.
    int amber = 0;
    for (int y = 680; y < 722; ++y)
        for (int x = 20; x < 200; ++x) {
            const QColor c = shot.pixelColor(x, y);
            amber += c.red() > 180 && c.green() > 120 && c.blue() < 110;
        }
    EXPECT_GT(amber, 20);

    // Unplugged while recording was on: the panel says so.
    statusBoard().setLink(ReceiverLink::Unplugged);
    main->refreshStatusBand();
    QCoreApplication::processEvents();
    shot = window->grab().toImage();
    EXPECT_TRUE(shot.save(VIDORA_TEST_SCREENSHOT_DIR "/viewer-unplugged.png"));
    EXPECT_GT(lightIn(shot, QRect(200, 340, 460, 50)), 50);
    statusBoard().reset();
}

}  // namespace
}  // namespace vidora::test
