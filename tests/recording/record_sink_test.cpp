// The record sink: consumer list, format hand-over and one copy of each packet per consumer.
#include "recording/record_sink.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <new>

#include "fake_consumer.h"

// Counts the allocations made on the calling thread while counting is switched on. The
// replacements pair malloc with free, which GCC cannot see through once they are inlined.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
namespace {
thread_local bool tCounting = false;
thread_local int tAllocations = 0;
}  // namespace

void* operator new(std::size_t size) {
    if (tCounting)
        ++tAllocations;
    if (void* p = std::malloc(size ? size : 1))
        return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t size) {
    if (tCounting)
        ++tAllocations;
    if (void* p = std::malloc(size ? size : 1))
        return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete[](void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}
void operator delete[](void* p, std::size_t) noexcept {
    std::free(p);
}

namespace vidora {
namespace {

using test::FakeConsumer;

// A producer that sets the formats directly and counts its stops.
class TestProducer : public RecordSink {
  public:
    using RecordSink::setAudioFormatRecordOnce;
    using RecordSink::setVideoFormatRecord;
    int stops = 0;

  protected:
    void stopProducer() override { ++stops; }
};

const StreamFormat kVideo = videoStreamFormat(352, 288, 25);
const StreamFormat kAudio = audioStreamFormat(48000, 16, 2);

RecordPacket packetOf(const std::vector<uint8_t>& data, StreamKind kind, bool key) {
    RecordPacket p;
    p.kind = static_cast<uint32_t>(kind);
    p.length = static_cast<uint32_t>(data.size());
    p.data = data.data();
    p.keyFrame = key ? 1 : 0;
    p.extra[0] = 7;
    p.extra[1] = 9;
    return p;
}

TEST(StreamFormatTest, RecordsHoldTheirValuesAtTheirOffsets) {
    StreamFormat v = videoStreamFormat(720, 576, 25);
    uint8_t raw[16];
    std::memcpy(raw, &v, 16);
    EXPECT_EQ(raw[0], 0);
    EXPECT_EQ(raw[1], 1);
    EXPECT_EQ(raw[2] | raw[3] << 8, 25);
    EXPECT_EQ(raw[4] | raw[5] << 8, 576);
    EXPECT_EQ(raw[6] | raw[7] << 8, 720);
    EXPECT_EQ(raw[8] | raw[9] << 8 | raw[10] << 16 | raw[11] << 24, 720 * 576 * 2);
    EXPECT_EQ(raw[12], 16);

    StreamFormat a = audioStreamFormat(48000, 16, 2);
    std::memcpy(raw, &a, 16);
    EXPECT_EQ(raw[0], 1);
    EXPECT_EQ(raw[2] | raw[3] << 8, 48000);
    EXPECT_EQ(raw[12], 16);
    EXPECT_EQ(raw[13], 2);
}

TEST(RecordSinkTest, AttachingTwiceFailsAndKeepsOneEntry) {
    TestProducer sink;
    FakeConsumer consumer;
    EXPECT_EQ(sink.attachConsumer(&consumer), 0);
    EXPECT_EQ(sink.attachConsumer(&consumer), -1);
    EXPECT_EQ(sink.consumerCount(), 1);

    std::vector<uint8_t> data{1, 2, 3};
    sink.writeVideoPacket(packetOf(data, StreamKind::Video, true));
    EXPECT_EQ(consumer.video.size(), 1u);  // one copy, not two
}

TEST(RecordSinkTest, PacketWithoutConsumersIsDroppedWithoutAllocating) {
    TestProducer sink;
    sink.setVideoFormatRecord(kVideo);
    std::vector<uint8_t> data(4096, 0x55);
    RecordPacket packet = packetOf(data, StreamKind::Video, true);

    tAllocations = 0;
    tCounting = true;
    sink.writeVideoPacket(packet);
    sink.writeAudioPacket(packet);
    tCounting = false;
    EXPECT_EQ(tAllocations, 0);

    // The counter does see the copies once a consumer is attached.
    FakeConsumer consumer;
    consumer.video.reserve(4);
    consumer.formatCalls.reserve(4);
    sink.attachConsumer(&consumer);
    tAllocations = 0;
    tCounting = true;
    sink.writeVideoPacket(packet);
    tCounting = false;
    EXPECT_GE(tAllocations, 1);
}

TEST(RecordSinkTest, FirstPacketAfterAttachingBringsTheKnownFormats) {
    TestProducer sink;
    sink.setVideoFormatRecord(kVideo);
    sink.setAudioFormatRecordOnce(kAudio);
    FakeConsumer consumer;
    sink.attachConsumer(&consumer);
    EXPECT_TRUE(consumer.formatCalls.empty());

    std::vector<uint8_t> data{9, 8, 7, 6};
    sink.writeAudioPacket(packetOf(data, StreamKind::Audio, true));
    ASSERT_EQ(consumer.formatCalls.size(), 1u);
    ASSERT_EQ(consumer.formatCalls[0].formats.size(), 2u);
    EXPECT_EQ(std::memcmp(&consumer.formatCalls[0].formats[0], &kVideo, 16), 0);
    EXPECT_EQ(std::memcmp(&consumer.formatCalls[0].formats[1], &kAudio, 16), 0);

    // Later packets do not repeat them.
    sink.writeVideoPacket(packetOf(data, StreamKind::Video, false));
    EXPECT_EQ(consumer.formatCalls.size(), 1u);

    // The audio format is taken once.
    EXPECT_FALSE(sink.setAudioFormatRecordOnce(audioStreamFormat(44100, 16, 2)));
    StreamFormat out;
    ASSERT_EQ(sink.getAudioFormat(&out), 0);
    EXPECT_EQ(out.rate, 48000);
}

TEST(RecordSinkTest, GivesOnlyWhatIsKnown) {
    TestProducer sink;
    StreamFormat out;
    EXPECT_EQ(sink.getVideoFormat(&out), -1);
    EXPECT_EQ(sink.getAudioFormat(&out), -1);

    FakeConsumer early;
    sink.attachConsumer(&early);
    std::vector<uint8_t> data{1};
    sink.writeAudioPacket(packetOf(data, StreamKind::Audio, true));
    ASSERT_EQ(early.formatCalls.size(), 1u);
    ASSERT_EQ(early.formatCalls[0].formats.size(), 1u);
    EXPECT_EQ(early.formatCalls[0].formats[0].present, 0);  // nothing known yet

    sink.setVideoFormatRecord(kVideo);
    FakeConsumer videoOnly;
    sink.attachConsumer(&videoOnly);
    sink.writeVideoPacket(packetOf(data, StreamKind::Video, true));
    ASSERT_EQ(videoOnly.formatCalls.size(), 1u);
    ASSERT_EQ(videoOnly.formatCalls[0].formats.size(), 1u);
    EXPECT_EQ(videoOnly.formatCalls[0].formats[0].width, 352);
    EXPECT_EQ(sink.getVideoFormat(&out), 0);
    EXPECT_EQ(out.height, 288);
}

TEST(RecordSinkTest, FinishedConsumerTakesTheFormatsAgain) {
    TestProducer sink;
    sink.setVideoFormatRecord(kVideo);
    sink.setAudioFormatRecordOnce(kAudio);
    FakeConsumer consumer;
    sink.attachConsumer(&consumer);
    std::vector<uint8_t> data{1, 2};
    sink.writeVideoPacket(packetOf(data, StreamKind::Video, true));
    ASSERT_EQ(consumer.formatCalls.size(), 1u);

    sink.finishAll();
    EXPECT_EQ(consumer.finishCalls, 1);
    EXPECT_EQ(consumer.state(), ConsumerState::Finished);
    sink.sendFormats();  // a finished consumer is left alone
    EXPECT_EQ(consumer.formatCalls.size(), 1u);

    sink.writeVideoPacket(packetOf(data, StreamKind::Video, true));
    ASSERT_EQ(consumer.formatCalls.size(), 2u);
    EXPECT_EQ(consumer.formatCalls[1].formats.size(), 2u);
    EXPECT_EQ(consumer.state(), ConsumerState::FormatsTaken);
    EXPECT_EQ(consumer.video.size(), 2u);
}

TEST(RecordSinkTest, EveryConsumerGetsItsOwnCopyOfTheWords) {
    TestProducer sink;
    sink.setVideoFormatRecord(kVideo);
    FakeConsumer first, second;
    sink.attachConsumer(&first);
    sink.attachConsumer(&second);
    std::vector<uint8_t> data{10, 20, 30, 40, 50};
    sink.writeVideoPacket(packetOf(data, StreamKind::Video, true));
    data.assign(5, 0);  // the producer reuses its buffer at once

    for (FakeConsumer* c : {&first, &second}) {
        ASSERT_EQ(c->video.size(), 1u);
        const RecordPacket& p = c->video[0].packet;
        EXPECT_EQ(p.length, 5u);
        EXPECT_TRUE(p.isKeyFrame());
        EXPECT_EQ(p.extra[0], 7u);
        EXPECT_EQ(p.extra[1], 9u);
        EXPECT_EQ(std::vector<uint8_t>(p.data, p.data + 5),
                  (std::vector<uint8_t>{10, 20, 30, 40, 50}));
    }
    EXPECT_NE(first.video[0].packet.data, second.video[0].packet.data);
}

TEST(RecordSinkTest, RecordingEndsWhenTheLastConsumerGoes) {
    TestProducer sink;
    FakeConsumer a, b;
    sink.attachConsumer(&a);
    sink.attachConsumer(&b);
    EXPECT_EQ(sink.detachConsumer(&a), 1);
    EXPECT_EQ(sink.stops, 0);
    EXPECT_EQ(sink.detachConsumer(&b), 0);
    EXPECT_EQ(sink.stops, 1);

    sink.attachConsumer(&a);
    EXPECT_EQ(sink.detachAllConsumers(), 0);
    EXPECT_EQ(sink.consumerCount(), 0);
    EXPECT_EQ(sink.stops, 2);
}

}  // namespace
}  // namespace vidora
