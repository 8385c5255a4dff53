// The live settings record shared between the user-interface thread, which writes it back whole
// (the settings dialog's "Ok"), and the engine's threads, which read folder paths and names from
// it meanwhile; and the run-time values of several fields that more than one thread writes.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "app/live_config.h"
#include "app/live_state.h"
#include "app/settings.h"
#include "recording/relaxed_string.h"

namespace vidora {
namespace {

template <std::size_t N>
void setText(char (&field)[N], const std::string& text) {
    std::memset(field, 0, N);
    std::strncpy(field, text.c_str(), N - 1);
}

TEST(LiveConfig, TheWriteBackAndTheCopyCarryEveryByteOfTheRecord) {
    std::mt19937 random(828);
    for (int round = 0; round < 3; ++round) {
        VidoraConfig wanted;
        auto* bytes = reinterpret_cast<unsigned char*>(&wanted);
        for (std::size_t i = 0; i < sizeof wanted; ++i)
            bytes[i] = static_cast<unsigned char>(random());
        storeConfig(wanted);
        EXPECT_EQ(std::memcmp(&gConfig, &wanted, sizeof wanted), 0);
        const VidoraConfig copy = loadConfig();
        EXPECT_EQ(std::memcmp(&copy, &wanted, sizeof wanted), 0);
    }
    applyDefaultSettings();
}

TEST(LiveConfig, EditsOfTwoThreadsAreNeverLost) {
    applyDefaultSettings();
    updateConfig([](VidoraConfig& c) {
        c.brightness = 0;
        c.contrast = 0;
    });
    constexpr int kEdits = 2000;
    // Each edit copies the whole record and writes it back: an edit of the other thread that
    // fell in between would be undone. The yield gives the other thread its chance to do so.
    std::thread other([] {
        for (int i = 0; i < kEdits; ++i) {
            updateConfig([](VidoraConfig& c) {
                ++c.contrast;
                std::this_thread::yield();
            });
        }
    });
    for (int i = 0; i < kEdits; ++i) {
        updateConfig([](VidoraConfig& c) {
            ++c.brightness;
            std::this_thread::yield();
        });
    }
    other.join();
    EXPECT_EQ(loadRelaxed(gConfig.brightness), kEdits);
    EXPECT_EQ(loadRelaxed(gConfig.contrast), kEdits);
    applyDefaultSettings();
}

// The user flips a folder between two values (the settings dialog's "Ok" each time) while a
// worker reads it: the worker sees one value or the other, never a mix.
void readWhileFlipping(char (VidoraConfig::*field)[256], const std::string& first,
                       const std::string& second) {
    applyDefaultSettings();
    VidoraConfig a = loadConfig();
    VidoraConfig b = a;
    setText(a.*field, first);
    setText(b.*field, second);
    storeConfig(a);

    std::atomic<bool> reading{true};
    std::thread ui([&] {
        for (uint64_t i = 0; reading.load(std::memory_order_relaxed); ++i)
            storeConfig(i % 2 ? a : b);
    });
    int seenFirst = 0, seenSecond = 0;
    std::vector<std::string> mixed;
    for (int i = 0; i < 100000 || seenFirst == 0 || seenSecond == 0; ++i) {
        const std::string seen = loadRelaxedString(gConfig.*field);
        if (seen == first)
            ++seenFirst;
        else if (seen == second)
            ++seenSecond;
        else if (mixed.size() < 5)
            mixed.push_back(seen);
        if (i > 5000000)
            break;  // the writer never got a turn
    }
    reading = false;
    ui.join();
    EXPECT_TRUE(mixed.empty()) << "read \"" << mixed.front() << "\" between \"" << first
                               << "\" and \"" << second << "\"";
    EXPECT_GT(seenFirst, 0);
    EXPECT_GT(seenSecond, 0);
    applyDefaultSettings();
}

TEST(LiveConfig, AFolderReadWhileTheRecordIsWrittenBackIsOneFolderOrTheOther) {
    // Equal lengths: a mix would be a third folder of the same length.
    readWhileFlipping(&VidoraConfig::recordFolder, "/srv/cameras/aaaaaaaaaaaaaaaa",
                      "/srv/cameras/bbbbbbbbbbbbbbbb");
    // Different lengths: a mix would be a prefix of the longer one, or the shorter one run on.
    readWhileFlipping(&VidoraConfig::pictureFolder, "./SNAPSHOT",
                      "/media/user/backup disk/front door pictures");
}

// A drag on the UI thread sets a zoomed channel's pan offset while the streaming thread clamps
// it into the picture and paints with it: every offset any of them sees is one that was set
// whole (here always x == -y).
TEST(LiveState, APanOffsetIsReadAndClampedWhole) {
    storeChannelPan(1, {0, 0});
    std::atomic<int> ready{0};
    const auto startTogether = [&ready] {
        ready.fetch_add(1);
        while (ready.load() < 3)
            std::this_thread::yield();
    };
    std::atomic<bool> dragging{true};
    std::atomic<int> clamps{0};
    std::thread clamp([&] {
        startTogether();
        while (dragging.load(std::memory_order_relaxed)) {
            updateChannelPan(1, [&clamps](ChannelPan& pan) {
                if (pan.x > 500) {
                    pan = {500, -500};
                    clamps.fetch_add(1, std::memory_order_relaxed);
                }
            });
        }
    });
    std::thread drag([&] {
        startTogether();
        // At least 100000 steps, and until the clamp has had its turn.
        int32_t v = 0;
        for (int i = 0; (i < 100000 || clamps.load() == 0) && i < 50000000; ++i) {
            v = (v + 7) % 1000;
            storeChannelPan(1, {v, -v});
        }
        dragging = false;
    });
    startTogether();
    int torn = 0, reads = 0;
    ChannelPan example;
    while (dragging.load(std::memory_order_relaxed)) {
        const ChannelPan pan = loadChannelPan(1);
        if (pan.x != -pan.y && torn++ == 0)
            example = pan;
        ++reads;
    }
    drag.join();
    clamp.join();
    EXPECT_EQ(torn, 0) << "read (" << example.x << ", " << example.y << ")";
    EXPECT_GT(clamps.load(), 0);
    EXPECT_GT(reads, 0);
    EXPECT_EQ(loadChannelPan(0), (ChannelPan{0, 0})) << "other channels untouched";
}

}  // namespace
}  // namespace vidora
