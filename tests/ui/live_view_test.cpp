// The live view end to end: the real engine module on the bus with a fake receiver, the viewer's
// windows on the headless host. Pictures go in where the capture graph delivers them; what the
// monitor panel paints comes out.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <filesystem>
#include <thread>

#include "app/settings.h"
#include "app/task_list.h"
#include "engine/engine_module.h"
#include "engine/osd.h"
#include "engine/status_board.h"
#include "platform/clock.h"
#include "platform/relaxed.h"
#include "tests/app/temp_dir.h"
#include "tests/engine/colour_bars.h"
#include "tests/engine/fakes.h"
#include "tests/support/headless_host.h"
#include "ui/control_panel.h"
#include "ui/main_window.h"
#include "ui/monitor_panel.h"
#include "ui/picture_feedback.h"
#include "ui/skin_group_panel.h"
#include "ui/ui_module.h"
#include "ui/ui_services.h"

namespace vidora {
namespace {

struct Yuv {
    uint8_t y, u, v;
};
constexpr Yuv kRed{76, 85, 255};
constexpr Yuv kBlue{29, 255, 107};
constexpr Yuv kWhite{255, 128, 128};
constexpr Yuv kBlack{0, 128, 128};

// A 720 x 576 packed 4:2:2 picture; `at` gives the colour of each pixel pair.
template <class F>
std::vector<uint8_t> picture(F at) {
    std::vector<uint8_t> p(720 * 576 * 2);
    for (int y = 0; y < 576; ++y) {
        for (int x = 0; x < 720; x += 2) {
            const Yuv c = at(x, y);
            uint8_t* q = &p[(static_cast<size_t>(y) * 720 + x) * 2];
            q[0] = c.u;
            q[1] = c.y;
            q[2] = c.v;
            q[3] = c.y;
        }
    }
    return p;
}
std::vector<uint8_t> solid(Yuv c) {
    return picture([c](int, int) { return c; });
}

bool reddish(Rgb c) {
    return c.r > 200 && c.g < 90 && c.b < 90;
}
bool bluish(Rgb c) {
    return c.b > 200 && c.r < 40 && c.g < 40;
}
bool whitish(Rgb c) {
    return c.r > 240 && c.g > 240 && c.b > 240;
}
bool blackish(Rgb c) {
    return c.r < 16 && c.g < 16 && c.b < 16;
}

class LiveViewTest : public ::testing::Test {
  protected:
    LiveViewTest() : clock(1796558400) {  // 2026-12-06 12:00:00 UTC
        std::filesystem::copy(std::filesystem::path(VIDORA_TEST_RUN_DIR) / "UI", "UI",
                              std::filesystem::copy_options::recursive);
        std::memset(&gState, 0, sizeof gState);
        std::memset(&gConfig, 0, sizeof gConfig);
        applyDefaultSettings();
        setProcessClock(&clock);
        setWindowHost(&host);
        clearBusRegistries();
        EngineFactories factories;
        factories.backend = [r = receiver] { return std::make_unique<test::FakeBackend>(r); };
        factories.soundPlayer = [s = sounds] { return std::make_unique<test::FakeSoundPlayer>(s); };
        factories.recording = [l = recordings] {
            return std::make_unique<test::SpyRecordingPort>(l);
        };
        registerEngineModule(factories);
        setUiServices({[](WindowHandle, int) {}, [](const std::string&, std::function<void()>) {},
                       [](WindowHandle) {}, [](WindowHandle) {}});
        statusBoard().reset();
    }

    ~LiveViewTest() override {
        statusBoard().reset();
        if (app)
            sendMessage(APP_QUIT);  // stops the engine and tears the windows down
        app.reset();
        UiModule::obtain().teardown();
        UiModule::release();
        setUiServices({});
        clearBusRegistries();
        setWindowHost(nullptr);
        setProcessClock(nullptr);
        taskList().freeAll();
    }

    void start(bool quad) {
        storeRelaxed(gState.quadLayout, quad ? 1 : 0);
        ViewerApp::Services services;
        services.obtainUi = [] { return static_cast<UiPartner*>(&UiModule::obtain()); };
        app = std::make_unique<ViewerApp>(std::move(services));
        ASSERT_EQ(app->run().reason(), "");
        monitor = UiModule::obtain().monitorPanel();
        ASSERT_NE(monitor, nullptr);
        ASSERT_EQ(gState.liveViewOn, 1) << "the fake receiver is live";
        {
            std::lock_guard lock(receiver->mutex);
            video = receiver->video;
        }
        ASSERT_NE(video, nullptr);
        host.dispatchPosted();
    }

    // What the capture graph's streaming thread does with a picture.
    void feed(const std::vector<uint8_t>& p) { video->renderVideo(p.data(), p.size()); }

    // One paint of the monitor panel, as the window system would ask for it.
    Bitmap24 paint(std::vector<BitmapCanvas::TextItem>* texts = nullptr) {
        host.dispatchPosted();
        Bitmap24 surface(841, 627);
        BitmapCanvas canvas(surface);
        routeWindowMessage(monitor->handle(), WM_PAINT,
                           reinterpret_cast<uintptr_t>(static_cast<Canvas*>(&canvas)), 0);
        if (texts)
            *texts = canvas.texts();
        return surface;
    }

    static bool hasText(const std::vector<BitmapCanvas::TextItem>& texts, const std::string& text,
                        int x, int y, Rgb colour) {
        for (const auto& t : texts)
            if (t.text == text && t.x == x && t.y == y && t.color == colour)
                return true;
        return false;
    }
    static bool hasText(const std::vector<BitmapCanvas::TextItem>& texts, const std::string& text) {
        for (const auto& t : texts)
            if (t.text == text)
                return true;
        return false;
    }

    ManualClock clock;
    test::ScopedTempDir folder;
    HeadlessHost host;
    std::shared_ptr<test::FakeReceiver> receiver = std::make_shared<test::FakeReceiver>();
    std::shared_ptr<test::SoundLog> sounds = std::make_shared<test::SoundLog>();
    std::shared_ptr<test::RecordingLog> recordings = std::make_shared<test::RecordingLog>();
    std::unique_ptr<ViewerApp> app;
    MonitorPanel* monitor = nullptr;
    media::VideoTransferSink* video = nullptr;
};

constexpr Rgb kLiveText{223, 223, 223};
constexpr Rgb kLiveShadow{32, 32, 32};
constexpr Rgb kFrozenText{64, 255, 64};
constexpr Rgb kGrey{192, 192, 192};

TEST_F(LiveViewTest, QuadShowsTheLiveCellFrozenCellsSeparatorsAndTheirDisplay) {
    start(true);
    feed(solid(kRed));
    std::vector<BitmapCanvas::TextItem> texts;
    Bitmap24 shown = paint(&texts);
    // CH1 is live in the top-left cell (0, 0, 419 x 312).
    EXPECT_TRUE(reddish(shown.pixel(5, 5)));
    EXPECT_TRUE(reddish(shown.pixel(200, 150)));
    EXPECT_TRUE(reddish(shown.pixel(418, 311)));
    // The separator bars.
    EXPECT_EQ(shown.pixel(419, 100), kGrey);
    EXPECT_EQ(shown.pixel(420, 500), kGrey);
    EXPECT_EQ(shown.pixel(100, 312), kGrey);
    EXPECT_EQ(shown.pixel(700, 313), kGrey);
    // The other cells have not been visited yet: black.
    EXPECT_TRUE(blackish(shown.pixel(600, 150)));
    EXPECT_TRUE(blackish(shown.pixel(200, 450)));
    // The live cell's display: label and the time of the picture, each on its shadow.
    EXPECT_TRUE(hasText(texts, "CH1", 419 - 60, 10, kLiveText));
    EXPECT_TRUE(hasText(texts, "CH1", 419 - 60 + 1, 11, kLiveShadow));
    EXPECT_TRUE(hasText(texts, "2026/12/06 12:00:00", 419 - 150, 312 - 25, kLiveText));
    // Frozen cells show their label in green, and no time before they were ever frozen.
    EXPECT_TRUE(hasText(texts, "CH2", 421 + 419 - 60, 10, kFrozenText));
    EXPECT_TRUE(hasText(texts, "CH4", 421 + 419 - 60, 314 + 10, kFrozenText));
    EXPECT_EQ(std::count_if(texts.begin(), texts.end(),
                            [](const auto& t) { return t.text.find('/') != std::string::npos; }),
              2)
        << "one date and its shadow";

    // An hour later CH2 is selected: CH1 freezes with its time, CH2 fills the top-right cell.
    clock.advanceMs(3'600'000);
    sendMessage(ENG_CHANNEL_SELECT, 1);
    EXPECT_EQ(gState.currentChannel, 1);
    feed(solid(kBlue));
    shown = paint(&texts);
    EXPECT_TRUE(bluish(shown.pixel(600, 150)));
    EXPECT_TRUE(bluish(shown.pixel(838, 5)));
    EXPECT_TRUE(reddish(shown.pixel(200, 150))) << "CH1's frozen picture";
    EXPECT_TRUE(reddish(shown.pixel(5, 300)));
    EXPECT_TRUE(hasText(texts, "CH1", 419 - 60, 10, kFrozenText));
    EXPECT_TRUE(hasText(texts, "2026/12/06 13:00:00", 419 - 150, 312 - 25, kFrozenText));
    EXPECT_TRUE(hasText(texts, "CH2", 780, 10, kLiveText));
    EXPECT_TRUE(hasText(texts, "2026/12/06 13:00:00", 840 - 150, 312 - 25, kLiveText));

    // Back to single layout: CH2 fills the area, nothing else shows.
    sendMessage(ENG_TOGGLE_QUAD);
    feed(solid(kBlue));
    shown = paint(&texts);
    EXPECT_TRUE(bluish(shown.pixel(200, 150)));
    EXPECT_TRUE(bluish(shown.pixel(420, 313)));
    EXPECT_FALSE(hasText(texts, "CH1"));
    EXPECT_TRUE(hasText(texts, "CH2", 841 - 60, 10, kLiveText));
}

TEST_F(LiveViewTest, AFrozenCellShowsThePictureInTheColoursItHadLive) {
    start(true);
    feed(test::colourBarsUyvy(720, 576));
    const Bitmap24 live = paint();
    // CH2 is selected: CH1 keeps its last picture, frozen, in the same top-left cell.
    sendMessage(ENG_CHANNEL_SELECT, 1);
    feed(solid(kBlack));
    const Bitmap24 frozen = paint();
    auto colourAt = [](const Bitmap24& b, int x, int y) {
        const Rgb c = b.pixel(x, y);
        return test::Rgb8{c.r, c.g, c.b};
    };
    for (int bar = 0; bar < 8; ++bar) {
        const test::Rgb8 want = test::kColourBars[static_cast<std::size_t>(bar)];
        const int x = test::barCentre(bar, 419);
        for (int y : {80, 156, 230}) {
            const test::Rgb8 shownLive = colourAt(live, x, y);
            const test::Rgb8 shownFrozen = colourAt(frozen, x, y);
            EXPECT_LE(test::colourDistance(shownLive, want), 3)
                << "live bar " << bar << ": " << test::describe(shownLive) << " for "
                << test::describe(want);
            EXPECT_LE(test::colourDistance(shownFrozen, want), 3)
                << "frozen bar " << bar << ": " << test::describe(shownFrozen) << " for "
                << test::describe(want);
        }
    }
}

TEST_F(LiveViewTest, TheFirstFieldAndTheZoomRectangleDecideWhatTheLiveCellShows) {
    start(false);
    // Even rows: black, white, black thirds; odd rows red (the second field, never shown).
    const auto striped = picture([](int x, int y) {
        if (y % 2)
            return kRed;
        return x >= 240 && x < 480 ? kWhite : kBlack;
    });
    feed(striped);
    Bitmap24 shown = paint();
    for (int y = 0; y < 627; y += 7)
        EXPECT_FALSE(reddish(shown.pixel(420, y))) << y;
    EXPECT_TRUE(blackish(shown.pixel(200, 300)));
    EXPECT_TRUE(whitish(shown.pixel(420, 300)));
    EXPECT_TRUE(blackish(shown.pixel(640, 300)));

    // Zoom 2: the middle half of the picture (columns 180 .. 539) fills the cell.
    storeRelaxed(gState.channelZoom[0], 2);
    feed(striped);
    shown = paint();
    EXPECT_TRUE(whitish(shown.pixel(200, 300)));
    EXPECT_TRUE(blackish(shown.pixel(100, 300)));
    EXPECT_TRUE(blackish(shown.pixel(760, 300)));
    EXPECT_EQ(gState.channelPan[0][0], 180);
    EXPECT_EQ(gState.channelPan[0][1], 144);

    // Dragged to the left edge of the picture, then back to zoom 1: the pan is gone.
    storeRelaxed(gState.channelPan[0][0], 0);
    storeRelaxed(gState.videoRepositionPending, 1);
    feed(striped);
    shown = paint();
    EXPECT_TRUE(blackish(shown.pixel(200, 300)));
    EXPECT_TRUE(whitish(shown.pixel(700, 300)));
    storeRelaxed(gState.channelZoom[0], 1);
    feed(striped);
    shown = paint();
    EXPECT_EQ(gState.channelPan[0][0], 0);
    EXPECT_EQ(gState.channelPan[0][1], 0);
    EXPECT_TRUE(whitish(shown.pixel(420, 300)));
}

TEST_F(LiveViewTest, MarksBlinkWhileLiveAndAPausedPictureKeepsItsTime) {
    start(false);
    storeRelaxed(gState.recordingOn, 1);                     // as the record button would have it
    clock.advanceMs(1000 - clock.tickCount() % 1000 + 100);  // 100 ms into a second
    storeRelaxed(gState.lastAlarmTick, clock.tickCount() - 1000);
    feed(solid(kBlue));
    std::vector<BitmapCanvas::TextItem> texts;
    paint(&texts);
    const int ax = 841 - 60;
    EXPECT_TRUE(hasText(texts, "REC", ax - 35, 10, {255, 255, 0}));
    EXPECT_TRUE(hasText(texts, "REC", ax - 34, 11, {0, 0, 255}));
    EXPECT_TRUE(hasText(texts, "ALARM", ax - 90, 10, {255, 0, 0}));
    EXPECT_TRUE(hasText(texts, "ALARM", ax - 89, 11, {0, 255, 255}));
    const std::string liveTime = formatDateTime(clock.localTime());
    EXPECT_TRUE(hasText(texts, liveTime, 841 - 150, 627 - 25, kLiveText));

    clock.advanceMs(500);  // the dark half of the second
    paint(&texts);
    EXPECT_FALSE(hasText(texts, "REC"));
    EXPECT_FALSE(hasText(texts, "ALARM"));

    sendMessage(ENG_LIVE_PAUSE);
    ASSERT_EQ(gState.livePaused, 1);
    storeRelaxed(gState.recordingOn, 0);
    clock.advanceMs(60'500);
    const Bitmap24 shown = paint(&texts);
    // (the middle carries the "PAUSED" label)
    EXPECT_TRUE(bluish(shown.pixel(200, 150))) << "the last picture stays";
    EXPECT_TRUE(hasText(texts, liveTime, 841 - 150, 627 - 25, kLiveText)) << "its time stops";
    storeRelaxed(gState.lastAlarmTick, clock.tickCount() - 100);
    paint(&texts);
    EXPECT_FALSE(hasText(texts, "ALARM"));
}

// The writer cannot write the recording (its folder is missing, read-only or full): the record
// button and the on-screen display say so for as long as that lasts.
TEST_F(LiveViewTest, ARecordingThatIsNotBeingWrittenShowsOnTheRecordButtonAndTheDisplay) {
    start(false);
    ASSERT_EQ(sendMessage(ENG_RECORD_START), 0);
    host.dispatchPosted();
    ControlPanel* panel = UiModule::obtain().controlPanel();
    ASSERT_NE(panel, nullptr);
    SkinGroupPanel* tool = panel->group(TOOL_GROUP_ID);
    ASSERT_NE(tool, nullptr);
    const SkinControl* record = tool->control(4);
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(record->state, STATE_DOWN);
    EXPECT_EQ(record->appearance, 0);
    EXPECT_EQ(tool->tooltip(4), "Record (R)");

    clock.advanceMs(1000 - clock.tickCount() % 1000 + 100);  // 100 ms into a second
    feed(solid(kBlue));
    std::vector<BitmapCanvas::TextItem> texts;
    paint(&texts);
    EXPECT_TRUE(hasText(texts, "REC"));
    EXPECT_FALSE(hasText(texts, kRecNotWrittenText));

    // The writer says that nothing reaches the folder; the engine passes its notice on.
    recordings->stalled = true;
    sendMessage(NTF_RECORD_STATE);
    host.dispatchPosted();
    EXPECT_EQ(record->state, STATE_DOWN) << "still recording";
    EXPECT_EQ(record->appearance, 1);
    EXPECT_EQ(tool->tooltip(4), kRecordNotWrittenTooltip);
    const int ax = 841 - 60;
    const int x = ax - 35 - 2 * BitmapCanvas::kCellWidth;  // "REC !" ends where "REC" ends
    for (int half = 0; half < 2; ++half) {
        paint(&texts);
        EXPECT_TRUE(hasText(texts, kRecNotWrittenText, x, 10, {255, 112, 0})) << half;
        EXPECT_TRUE(hasText(texts, kRecNotWrittenText, x + 1, 11, {0, 0, 0})) << half;
        EXPECT_FALSE(hasText(texts, "REC"));
        clock.advanceMs(500);  // the steady mark shows in the dark half of the second too
    }

    // Written again: back to the ordinary look.
    recordings->stalled = false;
    sendMessage(NTF_RECORD_STATE);
    host.dispatchPosted();
    EXPECT_EQ(record->appearance, 0);
    EXPECT_EQ(tool->tooltip(4), "Record (R)");
    paint(&texts);
    EXPECT_FALSE(hasText(texts, kRecNotWrittenText));

    // A stall the writer still reports after the recording stopped shows nowhere.
    recordings->stalled = true;
    sendMessage(ENG_RECORD_STOP);
    host.dispatchPosted();
    EXPECT_EQ(record->appearance, 0);
    EXPECT_EQ(tool->tooltip(4), "Record (R)");
}

TEST_F(LiveViewTest, AGuiThatFallsBehindPaintsOnlyTheLatestPicture) {
    start(false);
    LivePresenter& presenter = monitor->presenter();
    paint();
    const uint64_t received = presenter.picturesReceived();
    const uint64_t presented = presenter.picturesPresented();
    for (int i = 0; i < 9; ++i)
        feed(solid(kRed));
    feed(solid(kBlue));
    EXPECT_EQ(presenter.picturesReceived(), received + 10);
    // One wake-up waits, however many pictures came.
    EXPECT_EQ(host.dispatchPosted(), 1);
    const Bitmap24 shown = paint();
    EXPECT_TRUE(bluish(shown.pixel(420, 300)));
    EXPECT_EQ(presenter.picturesPresented(), presented + 1);
    // Nothing new: a repaint presents nothing more.
    paint();
    EXPECT_EQ(presenter.picturesPresented(), presented + 1);
}

TEST_F(LiveViewTest, PicturesFromTheStreamingThreadWhileTheGuiPaints) {
    start(true);
    LivePresenter& presenter = monitor->presenter();
    std::atomic<bool> done{false};
    std::thread streaming([&] {
        const auto red = solid(kRed), blue = solid(kBlue);
        for (int i = 0; i < 60; ++i) {
            feed(i % 2 ? red : blue);
            if (i == 30)
                storeRelaxed(gState.channelZoom[0], 3);
        }
        done = true;
    });
    int paints = 0;
    while (!done.load()) {
        const Bitmap24 shown = paint();
        const Rgb c = shown.pixel(200, 150);
        EXPECT_TRUE(reddish(c) || bluish(c) || blackish(c));
        ++paints;
    }
    streaming.join();
    paint();
    EXPECT_EQ(presenter.picturesReceived(), 60u);
    EXPECT_GE(presenter.picturesPresented(), 1u);
    EXPECT_LE(presenter.picturesPresented(), presenter.picturesReceived());
    EXPECT_GT(paints, 0);
}

// ---- the status band and the feedback over the picture, driven by the engine ----------------

class StatusFeedbackTest : public LiveViewTest {
  protected:
    // The band's text now, as the main window has it.
    std::string band() {
        host.dispatchPosted();
        MainWindow* main = UiModule::obtain().mainWindow();
        main->refreshStatusBand();
        return statusBandLine(main->statusBand());
    }
    static bool contains(const std::string& text, const std::string& part) {
        return text.find(part) != std::string::npos;
    }
};

TEST_F(StatusFeedbackTest, RecordingTimeAdvancesAndTheFileNameFollowsTheCut) {
    storeRelaxed(gConfig.recordLimitMB, 2048u);
    start(false);
    EXPECT_EQ(band().rfind("Live on CH1", 0), 0u) << band();
    EXPECT_TRUE(contains(band(), "of 2048 MB")) << band();
    sendMessage(ENG_CHANNEL_SELECT, 2);
    EXPECT_EQ(band().rfind("Live on CH3", 0), 0u) << band();

    {
        std::lock_guard lock(recordings->mutex);
        recordings->file = {folder.path().string() + "/RECORD/20261206120000.avi", 3 << 20};
    }
    sendMessage(ENG_RECORD_START);
    ASSERT_EQ(gState.recordingOn, 1);
    EXPECT_TRUE(contains(band(), "REC 00:00:00  20261206120000.avi  3.0 MB")) << band();
    clock.advanceMs(65'000);
    EXPECT_TRUE(contains(band(), "REC 00:01:05  20261206120000.avi")) << band();
    // The writer cut to a new file.
    {
        std::lock_guard lock(recordings->mutex);
        recordings->file = {folder.path().string() + "/RECORD/20261206120105.avi", 1 << 20};
    }
    clock.advanceMs(2'000);
    EXPECT_TRUE(contains(band(), "REC 00:01:07  20261206120105.avi  1.0 MB")) << band();
    // Not being written: the band says so instead of the file.
    recordings->stalled = true;
    EXPECT_TRUE(contains(band(), "REC 00:01:07  Recording is not being written")) << band();
    recordings->stalled = false;
    sendMessage(ENG_RECORD_STOP);
    EXPECT_FALSE(contains(band(), "REC")) << band();
}

TEST_F(StatusFeedbackTest, UnplugAndReconnectShowInTheBandAndThePanel) {
    start(false);
    receiver->events.push_back({media::kEventDeviceLost, true, true});
    sendMessage(ENG_GRAPH_EVENT);
    ASSERT_EQ(gState.liveViewOn, 0);
    EXPECT_EQ(band().rfind("Receiver unplugged", 0), 0u) << band();
    std::vector<BitmapCanvas::TextItem> texts;
    paint(&texts);
    EXPECT_TRUE(hasText(texts, kUnpluggedPanelText)) << "the panel says why it is black";

    // The receiver comes back: the main window connects again, and live view runs.
    routeWindowMessage(UiModule::obtain().mainWindowHandle(), WM_DEVICECHANGE, DBT_DEVICEARRIVAL,
                       0);
    EXPECT_EQ(gState.liveViewOn, 1);
    EXPECT_EQ(band().rfind("Live on CH1", 0), 0u) << band();

    // Unplugged again, and an arrival that finds no receiver: still unplugged.
    receiver->events.push_back({media::kEventDeviceLost, true, true});
    sendMessage(ENG_GRAPH_EVENT);
    receiver->devices.clear();
    routeWindowMessage(UiModule::obtain().mainWindowHandle(), WM_DEVICECHANGE, DBT_DEVICEARRIVAL,
                       0);
    EXPECT_EQ(band().rfind("Receiver unplugged", 0), 0u) << band();
    // While the engine is at it, the band and the panel say it reconnects.
    statusBoard().setLink(ReceiverLink::Reconnecting);
    EXPECT_EQ(band().rfind("Reconnecting...", 0), 0u) << band();
    paint(&texts);
    EXPECT_TRUE(hasText(texts, kReconnectingPanelText));
}

TEST_F(StatusFeedbackTest, WithoutAReceiverThePanelAsksForIt) {
    receiver->devices.clear();
    storeRelaxed(gState.quadLayout, 0);
    ViewerApp::Services services;
    services.obtainUi = [] { return static_cast<UiPartner*>(&UiModule::obtain()); };
    app = std::make_unique<ViewerApp>(std::move(services));
    ASSERT_EQ(app->run().reason(), "");
    monitor = UiModule::obtain().monitorPanel();
    ASSERT_NE(monitor, nullptr);
    EXPECT_EQ(band().rfind("No receiver found", 0), 0u) << band();
    std::vector<BitmapCanvas::TextItem> texts;
    paint(&texts);
    EXPECT_TRUE(hasText(texts, "No receiver connected. Plug in the receiver."));
}

TEST_F(StatusFeedbackTest, AnAlarmNamesItsChannelAndKindInTheBannerAndTheBand) {
    storeRelaxed(gState.motionAlarmOn, 1);
    storeRelaxed(gConfig.motionAlarmChannel[0], 1);
    start(false);
    feed(solid(kBlue));
    {
        std::lock_guard lock(receiver->mutex);
        receiver->status = 0xEF;  // the motion bit (active low)
    }
    ASSERT_TRUE(test::waitFor([] { return statusBoard().lastAlarm().has_value(); }));
    EXPECT_TRUE(contains(band(), "Alarm: motion on CH1 at 12:00:00 (1 today)")) << band();
    std::vector<BitmapCanvas::TextItem> texts;
    paint(&texts);
    EXPECT_TRUE(hasText(texts, "ALARM: motion on CH1"));
    // Five seconds after the last report the banner goes; the band keeps the last alarm.
    {
        std::lock_guard lock(receiver->mutex);
        receiver->status = 0xFF;
    }
    ASSERT_TRUE(test::waitFor([] { return loadRelaxed(gState.motionAlarmActive) == 0; }));
    clock.advanceMs(kAlarmIndicationMs + 1);
    feed(solid(kBlue));
    paint(&texts);
    EXPECT_FALSE(hasText(texts, "ALARM: motion on CH1"));
    EXPECT_TRUE(contains(band(), "Alarm: motion on CH1")) << band();
}

TEST_F(StatusFeedbackTest, SnapshotFlashesAndNamesItsFilePausedSaysSo) {
    start(false);
    feed(solid(kBlue));
    paint();
    sendMessage(ENG_SNAPSHOT);
    ASSERT_EQ(statusBoard().lastSnapshot().sequence, 1u);
    feed(solid(kBlue));
    Bitmap24 shown = paint();
    EXPECT_TRUE(whitish(shown.pixel(2, 300))) << "the flash frames the picture";
    EXPECT_TRUE(whitish(shown.pixel(838, 5)));
    EXPECT_TRUE(bluish(shown.pixel(420, 300)));
    EXPECT_TRUE(contains(band(), "Snapshot spy.jpg")) << band();
    clock.advanceMs(kSnapshotFlashMs + 1);
    feed(solid(kBlue));
    shown = paint();
    EXPECT_TRUE(bluish(shown.pixel(2, 300))) << "the flash is short";
    clock.advanceMs(kSnapshotNoticeMs);
    EXPECT_FALSE(contains(band(), "Snapshot ")) << band();

    sendMessage(ENG_LIVE_PAUSE);
    std::vector<BitmapCanvas::TextItem> texts;
    paint(&texts);
    EXPECT_TRUE(hasText(texts, "PAUSED"));
    EXPECT_EQ(band().rfind("Paused on CH1", 0), 0u) << band();
    sendMessage(ENG_LIVE_START);
    paint(&texts);
    EXPECT_FALSE(hasText(texts, "PAUSED"));
}

}  // namespace
}  // namespace vidora
