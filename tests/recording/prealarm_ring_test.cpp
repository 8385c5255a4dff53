// The ring of packets kept before an alarm: where it begins, how much it keeps, that it keeps
// the bytes it was given in their order, and that its memory does not grow.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "recording/prealarm_ring.h"

namespace vidora {
namespace {

struct Held {
    bool video = false;
    bool key = false;
    uint32_t timeMs = 0;
    std::vector<uint8_t> bytes;
};

std::vector<Held> contents(const PreAlarmRing& ring) {
    std::vector<Held> out;
    ring.forEach([&](const RecordPacket& p, uint32_t timeMs) {
        out.push_back(
            {p.isVideo(), p.isKeyFrame(), timeMs, std::vector<uint8_t>(p.data, p.data + p.length)});
    });
    return out;
}

// A packet whose bytes say which one it is.
struct Feeder {
    bool picture(PreAlarmRing& ring, uint32_t timeMs, bool key, std::size_t length = 100) {
        return push(ring, StreamKind::Video, timeMs, key, length);
    }
    bool sound(PreAlarmRing& ring, uint32_t timeMs) {
        return push(ring, StreamKind::Audio, timeMs, true, 512);
    }
    bool push(PreAlarmRing& ring, StreamKind kind, uint32_t timeMs, bool key, std::size_t length) {
        std::vector<uint8_t> bytes(length, static_cast<uint8_t>(serial));
        bytes[0] = static_cast<uint8_t>(serial >> 8);
        ++serial;
        RecordPacket p;
        p.kind = static_cast<uint32_t>(kind);
        p.length = static_cast<uint32_t>(length);
        p.data = bytes.data();
        p.keyFrame = key ? 1u : 0u;
        return ring.push(p, timeMs);
    }
    // Pictures every `stepMs` from `fromMs` with a key frame every `keyEvery`, and a sound
    // block after each picture.
    void run(PreAlarmRing& ring, uint32_t fromMs, int pictures, uint32_t stepMs, int keyEvery) {
        for (int i = 0; i < pictures; ++i) {
            const uint32_t t = fromMs + static_cast<uint32_t>(i) * stepMs;
            picture(ring, t, i % keyEvery == 0);
            sound(ring, t + 1);
        }
    }
    uint32_t serial = 0;
};

TEST(PreAlarmRing, BeginsAtAKeyFrameAndDropsWhatCameBeforeIt) {
    PreAlarmRing ring;
    ring.configure(2000, 1 << 20, 1000);
    Feeder f;
    EXPECT_FALSE(f.sound(ring, 0));
    EXPECT_FALSE(f.picture(ring, 10, false));
    EXPECT_TRUE(ring.empty());
    EXPECT_TRUE(f.picture(ring, 20, true));
    EXPECT_TRUE(f.sound(ring, 21));
    EXPECT_TRUE(f.picture(ring, 30, false));
    const auto held = contents(ring);
    ASSERT_EQ(held.size(), 3u);
    EXPECT_TRUE(held[0].video && held[0].key);
    EXPECT_EQ(held[0].timeMs, 20u);
    EXPECT_FALSE(held[1].video);
    EXPECT_EQ(ring.firstPictureTime(), 20u);

    // Emptied (another channel): the next key frame starts it again.
    ring.clear();
    EXPECT_FALSE(f.picture(ring, 40, false));
    EXPECT_FALSE(f.sound(ring, 41));
    EXPECT_TRUE(ring.empty());
    EXPECT_EQ(ring.firstPictureTime(), std::nullopt);
    EXPECT_TRUE(f.picture(ring, 50, true));
    EXPECT_EQ(ring.firstPictureTime(), 50u);
}

TEST(PreAlarmRing, KeepsFromTheNewestKeyFrameAtLeastTheSecondsOld) {
    for (uint32_t keep : {1000u, 2000u, 5000u}) {
        SCOPED_TRACE(keep);
        PreAlarmRing ring;
        ring.configure(keep, 4 << 20, 4000);
        Feeder f;
        // 10 pictures a second, a key frame every 5: a key-frame group lasts 500 ms.
        f.run(ring, 1000, 150, 100, 5);
        const uint32_t newest = 1000 + 149 * 100;
        ASSERT_TRUE(ring.firstPictureTime());
        const uint32_t age = newest - *ring.firstPictureTime();
        EXPECT_GE(age, keep);
        EXPECT_LT(age, keep + 500);
        const auto held = contents(ring);
        ASSERT_FALSE(held.empty());
        EXPECT_TRUE(held.front().video && held.front().key);
        EXPECT_EQ(ring.pictureCount(), (age / 100) + 1);
        // In the order given, none lost between the first and the last.
        for (std::size_t i = 1; i < held.size(); ++i) {
            const uint32_t a = held[i - 1].bytes[0] << 8 | held[i - 1].bytes[1];
            const uint32_t b = held[i].bytes[0] << 8 | held[i].bytes[1];
            ASSERT_EQ(b, (a + 1) & 0xFFFF) << i;
        }
    }
}

TEST(PreAlarmRing, CountsAgesAcrossTheTimersWrap) {
    PreAlarmRing ring;
    ring.configure(1000, 1 << 20, 1000);
    Feeder f;
    f.run(ring, 0xFFFFFFFFu - 2500, 50, 100, 5);  // 5 s, wrapping half-way
    const uint32_t newest = 0xFFFFFFFFu - 2500 + 49 * 100;
    const uint32_t age = newest - *ring.firstPictureTime();
    EXPECT_GE(age, 1000u);
    EXPECT_LT(age, 1500u);
}

TEST(PreAlarmRing, AFullArenaLetsTheOldestGroupsGoAndKeepsEveryByte) {
    PreAlarmRing ring;
    const std::size_t arena = 64 * 1024;
    ring.configure(30000, arena, 10000);
    const std::size_t memory = ring.memoryBytes();
    Feeder f;
    std::size_t peak = 0;
    // 3 KB pictures, 10 a second, for a minute: far more than the arena holds for 30 s.
    for (int i = 0; i < 600; ++i) {
        const uint32_t t = static_cast<uint32_t>(i) * 100;
        f.picture(ring, t, i % 5 == 0, 3000 + static_cast<std::size_t>(i % 7) * 100);
        f.sound(ring, t + 1);
        peak = std::max(peak, ring.bytesHeld());
        ASSERT_LE(ring.bytesHeld(), arena);
        ASSERT_EQ(ring.memoryBytes(), memory);  // nothing grows with time
        const auto held = contents(ring);
        ASSERT_TRUE(held.front().video && held.front().key) << i;
    }
    EXPECT_GT(peak, arena / 2);  // the arena is used, not just its first wrap
    // Every packet still holds its own bytes after the arena wrapped many times.
    for (const Held& h : contents(ring)) {
        for (std::size_t j = 2; j < h.bytes.size(); ++j)
            ASSERT_EQ(h.bytes[j], h.bytes[1]);
    }
    EXPECT_EQ(ring.keepMs(), 30000u);
}

TEST(PreAlarmRing, AFullIndexAndAnOversizedPacketStayBounded) {
    PreAlarmRing ring;
    ring.configure(10000, 1 << 20, 20);
    Feeder f;
    f.run(ring, 0, 40, 100, 5);
    EXPECT_LE(ring.packetCount(), 20u);
    EXPECT_TRUE(contents(ring).front().key);
    // A packet larger than the arena cannot be held, and what was held would go on with a gap.
    EXPECT_FALSE(f.picture(ring, 5000, true, 2 << 20));
    EXPECT_TRUE(ring.empty());
    EXPECT_TRUE(f.picture(ring, 5100, true));

    ring.release();
    EXPECT_EQ(ring.memoryBytes(), 0u);
    EXPECT_FALSE(f.picture(ring, 5200, true));  // nothing held without memory
}

}  // namespace
}  // namespace vidora
