// The skin every user starts with, as the build put it into the run folder, and the Qt host
// that shows it. Saves screenshots under <build>/screenshots for a person to look at.
#include <gtest/gtest.h>

#include <QApplication>
#include <QHelpEvent>
#include <QMouseEvent>
#include <QToolTip>
#include <QWidget>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "test_support.h"
#include "ui/qt_canvas.h"
#include "ui/qt_host.h"
#include "ui/skin_loader.h"

namespace vidora {
namespace {

const std::string kSkinFile = std::string(VIDORA_TEST_RUN_DIR) + "/UI/ui.ini";
const std::filesystem::path kScreenshots = VIDORA_TEST_SCREENSHOT_DIR;

SkinGroupPanel* group(const std::vector<SkinGroupPanel*>& groups, int32_t id) {
    for (SkinGroupPanel* g : groups)
        if (g->id() == id)
            return g;
    return nullptr;
}

class DefaultSkinTest : public test::WindowTest {
  protected:
    std::vector<SkinGroupPanel*> loadDefault() {
        std::vector<SkinGroupPanel*> groups;
        EXPECT_TRUE(loadSkinGroups(kSkinFile, makeParent(160, 627), &listener, &groups));
        return groups;
    }
    test::RecordingListener listener;
};

TEST_F(DefaultSkinTest, HasEveryGroupAndControlTheMainWindowNeeds) {
    const auto groups = loadDefault();
    ASSERT_EQ(groups.size(), 3u);
    SkinGroupPanel* channel = group(groups, CHANNEL_GROUP_ID);
    SkinGroupPanel* volume = group(groups, VOLUME_GROUP_ID);
    SkinGroupPanel* tool = group(groups, TOOL_GROUP_ID);
    ASSERT_TRUE(channel && volume && tool);

    ASSERT_EQ(channel->controls().size(), 9u);
    for (int id = 1; id <= 4; ++id)
        EXPECT_EQ(channel->control(id)->type, CONTROL_PUSH) << id;
    for (int id = 5; id <= 9; ++id)
        EXPECT_EQ(channel->control(id)->type, CONTROL_LATCH) << id;

    ASSERT_EQ(volume->controls().size(), 2u);
    EXPECT_EQ(volume->control(1)->type, CONTROL_LATCH);
    const SkinControl* tracker = volume->control(2);
    EXPECT_EQ(tracker->type, CONTROL_TRACKER);
    EXPECT_EQ(tracker->width - tracker->thumbWidth, 100);  // pixels and percent agree
    volume->setThumbPosition(2, 64);
    EXPECT_EQ(volume->trackerValue(2), 64);

    ASSERT_EQ(tool->controls().size(), 14u);
    const int latching[] = {2, 4, 8, 9, 10};
    const int programAppearance[] = {1, 11, 12, 13, 14};
    for (int id : latching)
        EXPECT_EQ(tool->control(id)->type, CONTROL_LATCH) << id;
    for (int id : programAppearance)
        EXPECT_EQ(tool->control(id)->type, CONTROL_PROGRAM_APPEARANCE) << id;
    for (int id : {3, 5, 6, 7})
        EXPECT_EQ(tool->control(id)->type, CONTROL_PUSH) << id;
    EXPECT_TRUE(tool->stretched());

    for (SkinGroupPanel* g : groups) {
        EXPECT_FALSE(g->picture().empty());
        for (const SkinControl& c : g->controls()) {
            EXPECT_EQ(c.id, &c - g->controls().data() + 1);
            EXPECT_FALSE(c.hint.empty()) << g->id() << "/" << c.id;
            EXPECT_EQ(c.state, STATE_NORMAL);
        }
    }
    // The groups tile the 160-pixel control panel from the top; the tool group reaches its
    // foot at the nominal window size (627 rows, plus the row the resize rule adds).
    EXPECT_EQ(channel->x(), 0);
    EXPECT_EQ(channel->y(), 0);
    EXPECT_EQ(volume->y(), channel->y() + channel->height());
    EXPECT_EQ(tool->y(), volume->y() + volume->height());
    EXPECT_EQ(tool->y() + tool->height(), 628);
    for (SkinGroupPanel* g : groups)
        EXPECT_EQ(g->width(), 160);
}

// Draws a control alone in every state and appearance and returns the pixels of its rectangle.
std::vector<Rgb> controlPixels(SkinGroupPanel* g, int id, int state, int appearance) {
    SkinControl* c = g->control(id);
    c->state = state;
    c->appearance = appearance;
    g->render();
    std::vector<Rgb> pixels;
    for (int y = c->y; y < c->y + c->height; ++y)
        for (int x = c->x; x < c->x + c->width; ++x)
            pixels.push_back(g->drawingBuffer().pixel(x, y));
    return pixels;
}

TEST_F(DefaultSkinTest, EveryButtonIsDrawnInAllFiveStates) {
    const auto groups = loadDefault();
    for (SkinGroupPanel* g : groups) {
        for (const SkinControl& c : g->controls()) {
            if (c.type == CONTROL_TRACKER)
                continue;
            std::vector<std::vector<Rgb>> looks;
            for (int s = 0; s < 5; ++s)
                looks.push_back(controlPixels(g, c.id, s, 0));
            for (int a = 0; a < 5; ++a)
                for (int b = a + 1; b < 5; ++b)
                    EXPECT_NE(looks[a], looks[b])
                        << g->id() << "/" << c.id << " states " << a << "," << b;
            controlPixels(g, c.id, STATE_NORMAL, 0);
        }
    }
    // Second appearances where the main window uses them.
    SkinGroupPanel* tool = group(groups, TOOL_GROUP_ID);
    for (int id : {1, 4, 11, 12, 13, 14}) {
        EXPECT_NE(controlPixels(tool, id, STATE_NORMAL, 0),
                  controlPixels(tool, id, STATE_NORMAL, 1))
            << id;
        controlPixels(tool, id, STATE_NORMAL, 0);
    }
    // The record button while recording: a recording that is not being written looks different.
    EXPECT_NE(controlPixels(tool, 4, STATE_DOWN, 0), controlPixels(tool, 4, STATE_DOWN, 1));
    controlPixels(tool, 4, STATE_NORMAL, 0);
}

TEST_F(DefaultSkinTest, ShapedButtonsHaveMasksInsideTheirRectangles) {
    const auto groups = loadDefault();
    int shaped = 0;
    for (SkinGroupPanel* g : groups) {
        const Bitmap24& p = g->picture();
        std::vector<int> maskCount(g->controls().size() + 1, 0);
        for (int y = 0; y < g->height(); ++y)
            for (int x = 0; x < g->width(); ++x) {
                const int k = p.pixel(g->maskOrigin().x + x, g->maskOrigin().y + y).r;
                if (k == 0)
                    continue;
                ASSERT_LE(k, static_cast<int>(g->controls().size()));
                const SkinControl* c = g->control(k);
                EXPECT_NE(c->shape, 0);
                EXPECT_TRUE(Rect::fromSize(c->x, c->y, c->width, c->height).contains(x, y));
                ++maskCount[static_cast<size_t>(k)];
            }
        for (const SkinControl& c : g->controls()) {
            if (!c.shape)
                continue;
            ++shaped;
            // Rounded or round: the mask fills most of the rectangle but not its corners.
            EXPECT_GT(maskCount[static_cast<size_t>(c.id)], c.width * c.height * 2 / 3) << c.id;
            EXPECT_LT(maskCount[static_cast<size_t>(c.id)], c.width * c.height) << c.id;
            EXPECT_EQ(g->hitTest(c.x, c.y), 0) << "corner of " << c.id;
            EXPECT_EQ(g->hitTest(c.x + c.width / 2, c.y + c.height / 2), c.id);
        }
    }
    EXPECT_EQ(shaped, 15);  // fourteen tool buttons and the mute button
}

TEST_F(DefaultSkinTest, MainWindowFrameMatchesWhatTheMainWindowExpects) {
    MainWindowSkin skin;
    ASSERT_TRUE(readMainWindowSkin(skin, kSkinFile));
    EXPECT_EQ(skin.width, 1030);
    EXPECT_EQ(skin.height, 725);
    EXPECT_EQ(skin.frame.width(), 1030);
    EXPECT_EQ(skin.frame.height(), 725);
    // The monitor area is 4 : 3 at the nominal size, so the resize rule starts balanced.
    const int w = skin.width - 2 * skin.rightBorderWidth - skin.monitorX - 160;
    const int h = skin.height - 2 * skin.monitorY;
    EXPECT_EQ(w / 4, h / 3);
    for (const FramePiece& piece : skin.pieces) {
        EXPECT_GT(piece.width, 0);
        EXPECT_GT(piece.height, 0);
        EXPECT_LE(piece.left + piece.width, skin.width);
        EXPECT_LE(piece.top + piece.height, skin.height);
    }
    // Caption buttons sit in the top-right piece (which moves with the right edge), the menu
    // button in the bottom-right piece, and the caption band holds them.
    const FramePiece& topRight = skin.pieces[2];
    EXPECT_LE(topRight.left, 959);
    EXPECT_GE(topRight.left + topRight.width, 999 + 19);
    EXPECT_LT(26 + 19, skin.monitorY);
    const FramePiece& bottomRight = skin.pieces[8];
    EXPECT_GE(skin.menu.left, bottomRight.left);
    EXPECT_GE(skin.menu.top, bottomRight.top);
    // Each caption button carries a bright glyph.
    for (int x : {959, 979, 999}) {
        int bright = 0;
        for (int y = 26; y < 26 + 19; ++y)
            for (int i = x; i < x + 19; ++i) {
                const Rgb c = skin.frame.pixel(i, y);
                bright += (c.r + c.g + c.b) / 3 > 150;
            }
        EXPECT_GT(bright, 8) << x;
    }
    // The cut-away outline lies in the left strip and spans the body, so that it follows the
    // window's height.
    ASSERT_EQ(skin.cutList.size(), 5u);
    for (const Rect& cut : skin.cutList) {
        EXPECT_LT(cut.right, skin.monitorX);
        EXPECT_LT(cut.top, skin.monitorY);
        EXPECT_GE(cut.bottom, skin.height - skin.monitorY);
        EXPECT_EQ(skin.frame.pixel(cut.left, cut.top), Rgb::fromColorRef(skin.maskColor));
    }
}

TEST_F(DefaultSkinTest, AlarmSoundIsAShortPcmChime) {
    std::ifstream in(std::string(VIDORA_TEST_RUN_DIR) + "/UI/alarm.wav", std::ios::binary);
    const std::vector<uint8_t> wav((std::istreambuf_iterator<char>(in)),
                                   std::istreambuf_iterator<char>());
    ASSERT_GT(wav.size(), 44u);
    EXPECT_EQ(std::string(wav.begin(), wav.begin() + 4), "RIFF");
    EXPECT_EQ(std::string(wav.begin() + 8, wav.begin() + 16), "WAVEfmt ");
    const auto u16 = [&](size_t at) { return wav[at] | (wav[at + 1] << 8); };
    const auto u32 = [&](size_t at) { return uint32_t(u16(at)) | (uint32_t(u16(at + 2)) << 16); };
    EXPECT_EQ(u16(20), 1);   // PCM
    EXPECT_EQ(u16(34), 16);  // bits
    const uint32_t rate = u32(24), channels = u16(22), bytes = u32(40);
    EXPECT_EQ(bytes + 44, wav.size());
    const double seconds = double(bytes) / (rate * channels * 2);
    EXPECT_GT(seconds, 0.5);
    EXPECT_LT(seconds, 2.0);
    int peak = 0;
    for (size_t i = 44; i + 1 < wav.size(); i += 2)
        peak = std::max(peak, std::abs(int16_t(u16(i))));
    EXPECT_GT(peak, 8000);   // clearly audible
    EXPECT_LT(peak, 32767);  // and not clipped
}

// ---- the Qt host ----------------------------------------------------------------------------

class QtSkinTest : public ::testing::Test {
  protected:
    QtSkinTest() {
        test::testApplication();
        host = std::make_unique<QtWindowHost>();
        setWindowHost(host.get());
    }
    ~QtSkinTest() override {
        destroyAllWindows();
        setWindowHost(nullptr);
        host.reset();
    }
    // A top-level stand-in for the control panel holding the default groups.
    std::vector<SkinGroupPanel*> showPanel() {
        panel = static_cast<test::ParentWindow*>(
            adoptWindow(std::make_unique<test::ParentWindow>(CONTROL_PANEL_ID, 160, 627)));
        EXPECT_TRUE(panel->create(WS_POPUP, 0, "panel"));
        std::vector<SkinGroupPanel*> groups;
        EXPECT_TRUE(loadSkinGroups(kSkinFile, panel, &listener, &groups));
        host->showWindow(panel->handle(), ShowCommand::Show);
        return groups;
    }
    void send(QWidget* w, QEvent::Type type, QPoint at, Qt::MouseButtons buttons) {
        QMouseEvent event(type, QPointF(at), QPointF(w->mapToGlobal(at)),
                          type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton, buttons,
                          Qt::NoModifier);
        QApplication::sendEvent(w, &event);
    }

    std::unique_ptr<QtWindowHost> host;
    test::ParentWindow* panel = nullptr;
    test::RecordingListener listener;
};

TEST_F(QtSkinTest, WidgetsShowTheDrawingBuffersPixelForPixel) {
    const auto groups = showPanel();
    ASSERT_EQ(groups.size(), 3u);
    const QImage shot = host->widget(panel->handle())->grab().toImage();
    ASSERT_EQ(shot.size(), QSize(160, 627));
    for (SkinGroupPanel* g : groups) {
        for (int y = 0; y < g->height() && g->y() + y < 627; y += 3)
            for (int x = 0; x < g->width(); x += 3) {
                const QRgb s = shot.pixel(g->x() + x, g->y() + y);
                const Rgb b = g->drawingBuffer().pixel(x, y);
                ASSERT_EQ((Rgb{uint8_t(qRed(s)), uint8_t(qGreen(s)), uint8_t(qBlue(s))}), b)
                    << g->id() << " at " << x << "," << y;
            }
    }
}

TEST_F(QtSkinTest, MouseEventsBecomeClicksAndTooltipsShowHints) {
    const auto groups = showPanel();
    SkinGroupPanel* tool = group(groups, TOOL_GROUP_ID);
    ASSERT_NE(tool, nullptr);
    QWidget* w = host->widget(tool->handle());
    const SkinControl* record = tool->control(4);
    const QPoint centre(record->x + record->width / 2, record->y + record->height / 2);
    send(w, QEvent::MouseMove, centre, Qt::NoButton);
    EXPECT_EQ(tool->control(4)->state, STATE_HIGHLIGHTED);
    send(w, QEvent::MouseButtonPress, centre, Qt::LeftButton);
    send(w, QEvent::MouseButtonRelease, centre, Qt::NoButton);
    ASSERT_EQ(listener.received.size(), 1u);
    EXPECT_EQ(listener.received[0].groupId, TOOL_GROUP_ID);
    EXPECT_EQ(listener.received[0].controlId, 4);
    EXPECT_EQ(listener.received[0].newState, STATE_DOWN_HIGHLIGHTED);
    // The mouse leaves the widget: the highlight goes.
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(w, &leave);
    EXPECT_EQ(tool->control(4)->state, STATE_DOWN);

    QHelpEvent help(QEvent::ToolTip, centre, w->mapToGlobal(centre));
    QApplication::sendEvent(w, &help);
    EXPECT_EQ(QToolTip::text().toStdString(), record->hint);
}

// Saves the control panel as shown, once in its start state and once in use, side by side,
// and the main window composed from the frame pieces with the panel in place.
TEST_F(QtSkinTest, SavesScreenshotsOfTheDefaultSkin) {
    const auto groups = showPanel();
    QWidget* panelWidget = host->widget(panel->handle());
    const QImage fresh = panelWidget->grab().toImage();

    SkinGroupPanel* channel = group(groups, CHANNEL_GROUP_ID);
    SkinGroupPanel* volume = group(groups, VOLUME_GROUP_ID);
    SkinGroupPanel* tool = group(groups, TOOL_GROUP_ID);
    channel->control(2)->state = STATE_DOWN;  // CH2 live
    channel->control(7)->state = STATE_DOWN;  // CH3 switched off
    channel->setEnabled(3, false);
    channel->control(9)->state = STATE_DOWN_HIGHLIGHTED;
    volume->setThumbPosition(2, 72);
    tool->control(4)->state = STATE_DOWN;  // recording
    tool->control(8)->state = STATE_DOWN;  // motion alarm on
    tool->control(3)->state = STATE_HIGHLIGHTED;
    tool->setAppearance(1, 1);
    tool->setAppearance(11, 1);
    tool->setAppearance(14, 1);
    tool->setEnabled(13, false);
    for (SkinGroupPanel* g : groups)
        g->render();
    const QImage used = panelWidget->grab().toImage();

    QImage sheet(160 * 2 + 24, 627 + 16, QImage::Format_RGB32);
    sheet.fill(QColor(0x40, 0x44, 0x4c));
    {
        QPainter p(&sheet);
        p.drawImage(8, 8, fresh);
        p.drawImage(160 + 16, 8, used);
    }
    std::filesystem::create_directories(kScreenshots);
    const auto groupsPath = kScreenshots / "skin-groups.png";
    ASSERT_TRUE(sheet.save(QString::fromStdString(groupsPath.string())));

    // The main window at its nominal size: frame pieces, the panel, the cut-away outline.
    MainWindowSkin skin;
    readMainWindowSkin(skin, kSkinFile);
    QImage window(skin.width, skin.height, QImage::Format_ARGB32);
    window.fill(Qt::transparent);
    {
        QPainter p(&window);
        QtCanvas canvas(p, {skin.width, skin.height});
        for (const FramePiece& piece : skin.pieces)
            canvas.blit(skin.frame, piece.left, piece.top, piece.width, piece.height, piece.left,
                        piece.top);
        // The monitor panel shows black while live view is off.
        p.fillRect(QRect(skin.monitorX, skin.monitorY,
                         skin.width - skin.rightBorderWidth - skin.monitorX - 160 - 8,
                         skin.height - 2 * skin.monitorY),
                   Qt::black);
        p.drawImage(skin.width - skin.rightBorderWidth - 160, skin.monitorY, used);
        p.setCompositionMode(QPainter::CompositionMode_Clear);
        for (const Rect& cut : skin.cutList)
            p.fillRect(QRect(cut.left, cut.top, cut.width(), cut.height()), Qt::transparent);
    }
    const auto windowPath = kScreenshots / "main-window.png";
    ASSERT_TRUE(window.save(QString::fromStdString(windowPath.string())));

    // What was saved is what was drawn.
    const QImage reread(QString::fromStdString(groupsPath.string()));
    ASSERT_EQ(reread.size(), sheet.size());
    const SkinControl* ch1 = channel->control(1);
    const QPoint inCh1(8 + ch1->x + ch1->width / 2, 8 + ch1->y + 3);
    EXPECT_EQ(reread.pixel(inCh1), sheet.pixel(inCh1));
    // CH2 shows the accent (blue stronger than red) in use, not at the start.
    const SkinControl* ch2 = channel->control(2);
    const QPoint at(ch2->x + 4, ch2->y + ch2->height / 2);
    const QRgb start = fresh.pixel(at), live = used.pixel(at);
    EXPECT_GT(qBlue(live), qRed(live) + 60);
    EXPECT_LT(qBlue(start), qRed(start) + 30);
    // The cut-away corner is transparent, the panel opaque.
    EXPECT_EQ(qAlpha(window.pixel(0, 300)), 0);
    EXPECT_EQ(qAlpha(window.pixel(skin.width - 60, 300)), 255);
}

}  // namespace
}  // namespace vidora
