// The real vidora-demo without a display: it runs on the offscreen platform for a few seconds and
// leaves a picture of its main window (--screenshot, --quit-after). The picture must show the
// skin's frame, the simulated camera's live picture and the on-screen display. Copies go to
// <build>/screenshots/.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QColor>
#include <QImage>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <set>
#include <thread>

#include "app/records.h"
#include "app/settings.h"
#include "platform/instance_guard.h"
#include "tests/app/temp_dir.h"
#include "ui/bitmap24.h"

namespace fs = std::filesystem;

namespace vidora {
namespace {

const fs::path kScreenshots = fs::path(VIDORA_BINARY_DIR) / "screenshots";
constexpr int kMonitorX = 10, kMonitorY = 49, kMonitorW = 841, kMonitorH = 627;

// Another copy of the program (another test's) holds the single-instance guard: wait for it to
// end, for a second copy would stop at its warning.
void waitForNoOtherInstance() {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(120);
    while (std::chrono::steady_clock::now() < end) {
        InstanceGuard probe("VidoraMutex");
        if (probe.acquire() != InstanceGuard::Claim::AlreadyRunning)
            return;
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
}

// Runs the demo in the current folder until it ends by itself, after 8 s, leaving
// vidora-demo-screenshot.png; its exit status, or -1. A copy that does not end in time (it met
// another copy after all) is stopped and started again.
int runDemo() {
    for (int attempt = 0; attempt < 3; ++attempt) {
        waitForNoOtherInstance();
        char arg0[] = "vidora-demo";
        char arg1[] = "--screenshot";
        char arg2[] = "vidora-demo-screenshot.png";
        char arg3[] = "--quit-after";
        char arg4[] = "8";
        char* argv[] = {arg0, arg1, arg2, arg3, arg4, nullptr};
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 2, "demo.stderr", O_WRONLY | O_CREAT | O_TRUNC,
                                         0644);
        pid_t pid = 0;
        const int rc = posix_spawn(&pid, VIDORA_DEMO_PATH, &actions, nullptr, argv, environ);
        posix_spawn_file_actions_destroy(&actions);
        if (rc != 0)
            return -1;
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(45);
        int status = 0;
        while (std::chrono::steady_clock::now() < end) {
            if (waitpid(pid, &status, WNOHANG) == pid)
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
    }
    return -1;
}

// A settings file as the viewer writes it: the records with their defaults, changed by `edit`.
template <class Edit>
void writeSettings(Edit edit) {
    applyDefaultSettings();
    edit(gState, gConfig);
    FILE* f = std::fopen("vidora.cfg", "wb");
    ASSERT_NE(f, nullptr);
    const uint32_t tasks = 0;
    std::fwrite(&gState, sizeof gState, 1, f);
    std::fwrite(&gConfig, sizeof gConfig, 1, f);
    std::fwrite(&tasks, sizeof tasks, 1, f);
    std::fclose(f);
}

class DemoScreenshot : public ::testing::Test {
  protected:
    DemoScreenshot() {
        fs::copy(fs::path(VIDORA_TEST_RUN_DIR) / "UI", "UI", fs::copy_options::recursive);
        fs::create_directories("RECORD");
        fs::create_directories("SNAPSHOT");
    }

    QImage takeScreenshot(const std::string& keepAs) {
        EXPECT_EQ(runDemo(), 0);
        QImage shot("vidora-demo-screenshot.png");
        EXPECT_FALSE(shot.isNull()) << "no screenshot; the demo said: " << stderrText();
        if (!shot.isNull()) {
            fs::create_directories(kScreenshots);
            fs::copy_file("vidora-demo-screenshot.png", kScreenshots / keepAs,
                          fs::copy_options::overwrite_existing);
        }
        return shot;
    }

    static std::string stderrText() {
        FILE* f = std::fopen("demo.stderr", "rb");
        if (!f)
            return {};
        std::string text(4096, '\0');
        text.resize(std::fread(text.data(), 1, text.size(), f));
        std::fclose(f);
        return text;
    }

    static Rgb at(const QImage& image, int x, int y) {
        const QColor c = image.pixelColor(x, y);
        return {static_cast<uint8_t>(c.red()), static_cast<uint8_t>(c.green()),
                static_cast<uint8_t>(c.blue())};
    }

    // Pixels of exactly this colour inside the rectangle (window coordinates).
    static int count(const QImage& image, const Rect& r, Rgb colour) {
        int n = 0;
        for (int y = r.top; y < r.bottom; ++y)
            for (int x = r.left; x < r.right; ++x)
                n += at(image, x, y) == colour;
        return n;
    }

    // Distinct colours in the rectangle: a picture, not a fill.
    static size_t colours(const QImage& image, const Rect& r) {
        std::set<uint32_t> seen;
        for (int y = r.top; y < r.bottom; y += 3)
            for (int x = r.left; x < r.right; x += 3)
                seen.insert(image.pixel(x, y) & 0xFFFFFF);
        return seen.size();
    }

    test::ScopedTempDir folder;
};

TEST_F(DemoScreenshot, ShowsTheFrameTheLiveCameraAndTheOnScreenDisplay) {
    const QImage shot = takeScreenshot("vidora-demo-single.png");
    ASSERT_EQ(shot.width(), 1030);
    ASSERT_EQ(shot.height(), 725);
    // The skin's frame, piece by piece where it is not covered (the foot above the status
    // band's line of text).
    const auto frame = Bitmap24::loadBmp("UI/frame.bmp");
    ASSERT_TRUE(frame.has_value());
    for (const Point p : {Point{30, 34}, Point{120, 30}, Point{968, 35}, Point{1008, 35},
                          Point{960, 700}, Point{200, 680}, Point{7, 300}})
        EXPECT_EQ(at(shot, p.x, p.y), frame->pixel(p.x, p.y)) << p.x << "," << p.y;
    // The cut-away outline on the left is transparent.
    EXPECT_EQ(qAlpha(shot.pixel(0, 300)), 0);
    EXPECT_EQ(qAlpha(shot.pixel(5, 300)), 255);

    // The simulated camera's scene fills the video area.
    const Rect video = Rect::fromSize(kMonitorX, kMonitorY, kMonitorW, kMonitorH);
    EXPECT_GT(colours(shot, video), 20u);
    EXPECT_LT(count(shot, video, {0, 0, 0}), kMonitorW * kMonitorH / 4);

    // The display: "CH1" at the anchor 60 pixels left of the right edge, 10 below the top, and
    // the date and time 150 pixels left of the right edge, 25 above the bottom; light grey on
    // dark shadows.
    const Rgb text{223, 223, 223}, shadow{32, 32, 32};
    const Rect label = Rect::fromSize(kMonitorX + kMonitorW - 60, kMonitorY + 10, 30, 16);
    EXPECT_GT(count(shot, label, text), 10);
    EXPECT_GT(count(shot, label, shadow), 10);
    EXPECT_EQ(count(shot, Rect::fromSize(label.left - 40, label.top, 35, 16), text), 0)
        << "nothing is recording, no alarm";
    const Rect date =
        Rect::fromSize(kMonitorX + kMonitorW - 150, kMonitorY + kMonitorH - 25, 150, 16);
    EXPECT_GT(count(shot, date, text), 60);
    EXPECT_GT(count(shot, date, shadow), 60);

    // The status band in the foot says the receiver is live, in green, and something after it
    // (the record folder's space) in light text.
    const Rect band = Rect::fromSize(22, 725 - kMonitorY + 1, 560, kMonitorY - 2);
    int green = 0, light = 0;
    for (int y = band.top; y < band.bottom; ++y) {
        for (int x = band.left; x < band.right; ++x) {
            const Rgb c = at(shot, x, y);
            green += c.g > 150 && c.g > c.r + 50 && c.g > c.b + 30;
            light += c.r > 110 && c.g > 110 && c.b > 110;
        }
    }
    EXPECT_GT(green, 20) << "\"Live on CH1\"";
    EXPECT_GT(light, 20);
}

TEST_F(DemoScreenshot, QuadLayoutWithAutoCycleShowsFrozenChannels) {
    writeSettings([](ViewerState& s, VidoraConfig& c) {
        s.quadLayout = 1;
        s.autoCycleOn = 1;
        c.cycleSeconds = 3;
    });
    const QImage shot = takeScreenshot("vidora-demo.png");
    ASSERT_EQ(shot.width(), 1030);
    const int cw = kMonitorW / 2 - 1, ch = kMonitorH / 2 - 1;
    // The separator bars.
    EXPECT_EQ(at(shot, kMonitorX + kMonitorW / 2 - 1, kMonitorY + 100), Rgb({192, 192, 192}));
    EXPECT_EQ(at(shot, kMonitorX + 100, kMonitorY + kMonitorH / 2), Rgb({192, 192, 192}));
    // Auto cycle moved on at least once: some cells hold frozen pictures with green labels and
    // their freeze times, one holds the live channel.
    int frozen = 0, live = 0;
    for (int i = 0; i < 4; ++i) {
        const int x = kMonitorX + (i % 2 ? kMonitorW / 2 + 1 : 0);
        const int y = kMonitorY + (kMonitorH / 2 + 1) * (i / 2);
        const Rect cell = Rect::fromSize(x, y, cw, ch);
        const Rect label = Rect::fromSize(x + cw - 60, y + 10, 30, 16);
        const Rect date = Rect::fromSize(x + cw - 150, y + ch - 25, 150, 16);
        const bool picture = count(shot, cell, {0, 0, 0}) < cw * ch / 2;
        if (count(shot, label, {64, 255, 64}) > 10 && count(shot, date, {64, 255, 64}) > 60 &&
            picture)
            ++frozen;
        if (count(shot, label, {223, 223, 223}) > 10 && picture)
            ++live;
    }
    EXPECT_GE(frozen, 1);
    EXPECT_EQ(live, 1);
}

}  // namespace
}  // namespace vidora
