#include "platform/sim/simulated_receiver.h"

#include <gtest/gtest.h>

#include <array>
#include <vector>

namespace vidora::sim {
namespace {

using Block = std::array<uint8_t, 8>;

Block selectHigh(uint8_t bit) {
    return {0x40, 0x03, 0x02, 0x01, bit, 0x00, 0x00, 0x00};
}
Block selectLow(uint8_t bit) {
    return {0x40, 0x03, 0x03, 0x01, bit, 0x00, 0x00, 0x00};
}
constexpr Block kStatusRead = {0xC0, 0x03, 0x00, 0x03, 0x00, 0x00, 0x01, 0x00};

int32_t send(SimulatedReceiver& rx, Block& block) {
    int32_t length = 8;
    return rx.vendorRequest(block.data(), &length);
}
int32_t send(SimulatedReceiver& rx, const Block& request) {
    Block copy = request;
    return send(rx, copy);
}
// The status byte, or -1 when the read failed.
int readStatus(SimulatedReceiver& rx) {
    Block block = kStatusRead;
    return send(rx, block) == 0 ? block[0] : -1;
}

class SimulatedReceiverTest : public ::testing::Test {
  protected:
    ManualClock clock_;
    SimulatedReceiver rx_{clock_};
};

TEST_F(SimulatedReceiverTest, SelectRequestsTuneTheChannelBitByBit) {
    EXPECT_EQ(rx_.channel(), 0);
    EXPECT_EQ(send(rx_, selectHigh(1)), 0);
    EXPECT_EQ(rx_.channel(), 2);
    EXPECT_EQ(send(rx_, selectLow(1)), 0);
    EXPECT_EQ(rx_.channel(), 3);
    EXPECT_EQ(send(rx_, selectHigh(0)), 0);
    EXPECT_EQ(rx_.channel(), 1);
    EXPECT_EQ(send(rx_, selectLow(0)), 0);
    EXPECT_EQ(rx_.channel(), 0);
}

TEST_F(SimulatedReceiverTest, RecordsEveryRequestAsItArrivedWithItsResult) {
    send(rx_, selectHigh(1));
    send(rx_, selectLow(0));
    readStatus(rx_);
    send(rx_, Block{0x40, 0x05, 0, 0, 0, 0, 0, 0});
    const auto log = rx_.requests();
    ASSERT_EQ(log.size(), 4u);
    EXPECT_EQ(log[0].block, (Block{0x40, 0x03, 0x02, 0x01, 0x01, 0x00, 0x00, 0x00}));
    EXPECT_EQ(log[1].block, (Block{0x40, 0x03, 0x03, 0x01, 0x00, 0x00, 0x00, 0x00}));
    EXPECT_EQ(log[2].block, kStatusRead) << "recorded before the status overwrote byte 0";
    EXPECT_EQ(log[2].result, 0);
    EXPECT_NE(log[3].result, 0) << "unknown requests stall";
    rx_.clearRequests();
    EXPECT_TRUE(rx_.requests().empty());
}

TEST_F(SimulatedReceiverTest, MalformedRequestsFailAndTuneNothing) {
    EXPECT_NE(send(rx_, Block{0x40, 0x03, 0x02, 0x01, 0x02, 0, 0, 0}), 0);  // bit value 2
    EXPECT_NE(send(rx_, Block{0x40, 0x03, 0x04, 0x01, 0x01, 0, 0, 0}), 0);  // unknown value
    EXPECT_NE(send(rx_, Block{0xC0, 0x03, 0x00, 0x03, 0x00, 0x00, 0x02, 0x00}), 0);
    Block block = selectHigh(1);
    int32_t length = 4;
    EXPECT_NE(rx_.vendorRequest(block.data(), &length), 0);
    EXPECT_NE(rx_.vendorRequest(nullptr, &length), 0);
    EXPECT_EQ(rx_.channel(), 0);
}

TEST_F(SimulatedReceiverTest, StatusByteClearsOneBitPerAlarmOfTheTunedChannel) {
    EXPECT_EQ(readStatus(rx_), 0xFF);
    const uint32_t now = clock_.tickCount();
    rx_.scheduleAlarm(1, kMotionAlarm, now + 1000, 2000);
    rx_.scheduleAlarm(1, kSoundAlarm, now + 2000, 2000);
    rx_.scheduleAlarm(2, kMotionAlarm | kSoundAlarm, now, 10000);
    rx_.tuneChannel(1);
    EXPECT_EQ(readStatus(rx_), 0xFF) << "channel 2's alarm is not reported on channel 1";
    clock_.advanceMs(1000);
    EXPECT_EQ(readStatus(rx_), 0xEF) << "motion: bit 4 low";
    clock_.advanceMs(1000);
    EXPECT_EQ(readStatus(rx_), 0xCF) << "motion and sound";
    clock_.advanceMs(1000);
    EXPECT_EQ(readStatus(rx_), 0xDF) << "sound only: bit 5 low";
    clock_.advanceMs(1000);
    EXPECT_EQ(readStatus(rx_), 0xFF);
    rx_.tuneChannel(2);
    EXPECT_EQ(readStatus(rx_), 0xCF);
    EXPECT_EQ(rx_.alarmBits(2), kMotionAlarm | kSoundAlarm);
    rx_.clearAlarms();
    EXPECT_EQ(readStatus(rx_), 0xFF);
}

TEST_F(SimulatedReceiverTest, ScheduledAlarmsWorkAcrossTheTickWrap) {
    ManualClock late(1796558400, 0xFFFFFF00u);
    SimulatedReceiver rx(late);
    rx.scheduleAlarmIn(0, kSoundAlarm, 100, 1000);  // starts before, ends after the wrap
    EXPECT_EQ(rx.statusByte(), 0xFF);
    late.advanceMs(300);
    EXPECT_EQ(rx.statusByte(), 0xDF);
    late.advanceMs(1000);
    EXPECT_EQ(rx.statusByte(), 0xFF);
}

TEST_F(SimulatedReceiverTest, DemoScriptRaisesEachChannelsAlarmInTurn) {
    rx_.setDemoScript(true);
    struct Expect {
        uint32_t atMs;
        int channel;
        uint8_t bits;
    };
    const Expect script[] = {{9000, 0, 0},
                             {12000, 0, kMotionAlarm},
                             {26000, 1, kSoundAlarm},
                             {42000, 2, kMotionAlarm | kSoundAlarm},
                             {61000, 3, kMotionAlarm},
                             {70000, 3, 0},
                             {80000 + 12000, 0, kMotionAlarm}};  // it repeats
    uint32_t at = 0;
    for (const Expect& e : script) {
        clock_.advanceMs(e.atMs - at);
        at = e.atMs;
        for (int c = 0; c < 4; ++c) {
            EXPECT_EQ(rx_.alarmBits(c), c == e.channel ? e.bits : 0)
                << "at " << e.atMs << " ms, channel " << c;
        }
    }
    rx_.setDemoScript(false);
    EXPECT_EQ(rx_.alarmBits(0), 0) << "switched off in the middle of channel 1's alarm";
}

TEST_F(SimulatedReceiverTest, FaultSwitchesFailExactlyTheNextRequestOfTheirKind) {
    rx_.failNextStatusRead();
    EXPECT_EQ(send(rx_, selectHigh(1)), 0) << "a select is not a status read";
    EXPECT_EQ(readStatus(rx_), -1);
    EXPECT_EQ(readStatus(rx_), 0xFF);

    rx_.failNextSelect();
    EXPECT_EQ(readStatus(rx_), 0xFF);
    EXPECT_NE(send(rx_, selectLow(1)), 0);
    EXPECT_EQ(rx_.channel(), 2) << "the failed select tuned nothing";
    EXPECT_EQ(send(rx_, selectLow(1)), 0);
    EXPECT_EQ(rx_.channel(), 3);

    rx_.delayNextFrame(150);
    rx_.delayNextFrame(50);
    EXPECT_EQ(rx_.takeFrameDelay(), 200u);
    EXPECT_EQ(rx_.takeFrameDelay(), 0u);
}

struct CountingListener : SimulatedReceiver::PlugListener {
    void onUnplugged() override { ++unplugged; }
    void onReplugged() override { ++replugged; }
    int unplugged = 0;
    int replugged = 0;
};

TEST_F(SimulatedReceiverTest, UnpluggedReceiverFailsRequestsAndTellsListenersOnce) {
    CountingListener listener;
    rx_.addPlugListener(&listener);
    rx_.unplug();
    rx_.unplug();
    EXPECT_FALSE(rx_.plugged());
    EXPECT_EQ(listener.unplugged, 1);
    EXPECT_NE(send(rx_, selectHigh(1)), 0);
    EXPECT_EQ(readStatus(rx_), -1);
    EXPECT_EQ(rx_.channel(), 0);
    rx_.replug();
    rx_.replug();
    EXPECT_EQ(listener.replugged, 1);
    EXPECT_EQ(readStatus(rx_), 0xFF);
    rx_.removePlugListener(&listener);
    rx_.unplug();
    EXPECT_EQ(listener.unplugged, 1);
}

TEST_F(SimulatedReceiverTest, AdjustmentsStartAtTheSettingsDefaultsAndClampToTheirRange) {
    media::AdjustTable t = rx_.adjustments();
    EXPECT_EQ(t[media::kBrightness].defaultValue, 2119);
    EXPECT_EQ(t[media::kBrightness].current, 2119);
    EXPECT_EQ(t[media::kSharpness].defaultValue, 0);
    EXPECT_EQ(t[media::kContrast].defaultValue, 4667);
    EXPECT_EQ(t[media::kSaturation].defaultValue, 3765);
    for (const auto& r : t) {
        EXPECT_LT(r.minimum, r.maximum);
        EXPECT_GT(r.stepping, 0);
        EXPECT_GE(r.defaultValue, r.minimum);
        EXPECT_LE(r.defaultValue, r.maximum);
    }
    const uint32_t version = rx_.adjustmentVersion();
    EXPECT_TRUE(rx_.setAdjustment(media::kBrightness, 20000));
    EXPECT_EQ(rx_.adjustments()[media::kBrightness].current, 10000);
    EXPECT_NE(rx_.adjustmentVersion(), version);
    EXPECT_TRUE(rx_.setAdjustment(media::kHue, -500));
    EXPECT_EQ(rx_.adjustments()[media::kHue].current, -180);
    EXPECT_FALSE(rx_.setAdjustment(media::kAdjustPropertyCount, 1));
}

TEST(SimulatedTone, EachChannelHasItsOwnPitchWithAWholePeriod) {
    for (int c = 0; c < 4; ++c) {
        const int hz = SimulatedReceiver::toneFrequencyHz(c);
        EXPECT_EQ(kSampleRate % hz, 0);
        const int period = kSampleRate / hz;
        for (int c2 = 0; c2 < c; ++c2)
            EXPECT_NE(hz, SimulatedReceiver::toneFrequencyHz(c2));
        EXPECT_EQ(SimulatedReceiver::toneSample(c, 0, 1000, 500), (std::array<int16_t, 2>{0, 0}));
        EXPECT_EQ(SimulatedReceiver::toneSample(c, period / 4, 1000, 500),
                  (std::array<int16_t, 2>{1000, 500}));
        EXPECT_EQ(SimulatedReceiver::toneSample(c, period + 3, 1000, 500),
                  SimulatedReceiver::toneSample(c, 3, 1000, 500));
    }
}

}  // namespace
}  // namespace vidora::sim
