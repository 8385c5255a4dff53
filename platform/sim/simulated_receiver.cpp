#include "platform/sim/simulated_receiver.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>
#include <utility>

namespace vidora::sim {

namespace {

constexpr std::size_t kLogLimit = 4096;
constexpr uint8_t kStatusRead[8] = {0xC0, 0x03, 0x00, 0x03, 0x00, 0x00, 0x01, 0x00};
constexpr int kToneHz[4] = {400, 500, 600, 800};

// The receiver's own ranges; the defaults are what a fresh settings file asks for.
constexpr media::AdjustTable kDefaultAdjustments = {{
    {0, 10000, 1, 2119, 2119},     // brightness
    {0, 10, 1, 0, 0},              // sharpness
    {0, 10000, 1, 4667, 4667},     // contrast
    {0, 10000, 1, 3765, 3765},     // saturation
    {100, 300, 1, 100, 100},       // gamma (x100)
    {-180, 180, 1, 0, 0},          // hue (degrees)
    {2800, 6500, 10, 4600, 4600},  // white balance (kelvin)
    {0, 2, 1, 1, 1},               // backlight compensation
    {0, 100, 1, 0, 0},             // gain
}};

struct DemoAlarm {
    int channel;
    uint8_t bits;
    uint32_t fromMs;
    uint32_t durationMs;
};
constexpr uint32_t kDemoPeriodMs = 80000;
constexpr DemoAlarm kDemoScript[] = {
    {0, kMotionAlarm, 10000, 6000},
    {1, kSoundAlarm, 25000, 4000},
    {2, kMotionAlarm | kSoundAlarm, 40000, 5000},
    {3, kMotionAlarm, 60000, 3000},
};

bool isSelect(const uint8_t* b) {
    return b[0] == 0x40 && b[1] == 0x03 && (b[2] == 0x02 || b[2] == 0x03) && b[3] == 0x01 &&
           b[4] <= 1 && b[5] == 0 && b[6] == 0 && b[7] == 0;
}

}  // namespace

VideoMode videoModeOf(VideoStandard standard) {
    return standard == VideoStandard::Ntsc ? VideoMode{720, 480, 30} : VideoMode{720, 576, 25};
}

SimulatedReceiver::SimulatedReceiver(Clock& clock) : clock_(clock), adjust_(kDefaultAdjustments) {}

SimulatedReceiver::~SimulatedReceiver() = default;

int32_t SimulatedReceiver::vendorRequest(uint8_t* block, int32_t* length) {
    if (!block || !length || *length != 8)
        return -1;
    std::lock_guard lock(mutex_);
    uint8_t request[8];
    std::memcpy(request, block, 8);
    int32_t result = -1;
    if (!plugged_) {
        result = -1;
    } else if (isSelect(request)) {
        if (failNextSelect_) {
            failNextSelect_ = false;
        } else {
            (request[2] == 0x02 ? highBit_ : lowBit_) = request[4];
            result = 0;
        }
    } else if (std::memcmp(request, kStatusRead, 8) == 0) {
        if (failNextStatus_) {
            failNextStatus_ = false;
        } else {
            block[0] = statusLocked();
            result = 0;
        }
    }
    record(request, result);
    return result;
}

void SimulatedReceiver::record(const uint8_t* block, int32_t result) {
    RecordedRequest r;
    std::memcpy(r.block.data(), block, 8);
    r.result = result;
    if (log_.size() == kLogLimit)
        log_.pop_front();
    log_.push_back(r);
}

std::vector<RecordedRequest> SimulatedReceiver::requests() const {
    std::lock_guard lock(mutex_);
    return {log_.begin(), log_.end()};
}

void SimulatedReceiver::clearRequests() {
    std::lock_guard lock(mutex_);
    log_.clear();
}

int SimulatedReceiver::channel() const {
    std::lock_guard lock(mutex_);
    return highBit_ * 2 + lowBit_;
}

void SimulatedReceiver::tuneChannel(int channel) {
    std::lock_guard lock(mutex_);
    highBit_ = (channel >> 1) & 1;
    lowBit_ = channel & 1;
}

uint8_t SimulatedReceiver::statusByte() const {
    std::lock_guard lock(mutex_);
    return statusLocked();
}

uint8_t SimulatedReceiver::statusLocked() const {
    const uint8_t bits = alarmBitsLocked(highBit_ * 2 + lowBit_, clock_.tickCount());
    uint8_t status = 0xFF;
    if (bits & kSoundAlarm)
        status &= ~kStatusSoundBit;
    if (bits & kMotionAlarm)
        status &= ~kStatusMotionBit;
    return status;
}

VideoStandard SimulatedReceiver::videoStandard() const {
    std::lock_guard lock(mutex_);
    return standard_;
}

void SimulatedReceiver::setVideoStandard(VideoStandard standard) {
    std::lock_guard lock(mutex_);
    standard_ = standard;
}

media::AdjustTable SimulatedReceiver::adjustments() const {
    std::lock_guard lock(mutex_);
    return adjust_;
}

bool SimulatedReceiver::setAdjustment(media::AdjustProperty property, int32_t value) {
    if (property < 0 || property >= media::kAdjustPropertyCount)
        return false;
    std::lock_guard lock(mutex_);
    media::AdjustRange& r = adjust_[property];
    const int32_t clamped = std::clamp(value, r.minimum, r.maximum);
    if (clamped != r.current) {
        r.current = clamped;
        ++adjustVersion_;
    }
    return true;
}

uint32_t SimulatedReceiver::adjustmentVersion() const {
    std::lock_guard lock(mutex_);
    return adjustVersion_;
}

int SimulatedReceiver::toneFrequencyHz(int channel) {
    return kToneHz[channel & 3];
}

void SimulatedReceiver::setToneAmplitudes(int16_t left, int16_t right) {
    std::lock_guard lock(mutex_);
    toneAmplitude_ = {left, right};
}

std::array<int16_t, 2> SimulatedReceiver::toneAmplitudes() const {
    std::lock_guard lock(mutex_);
    return toneAmplitude_;
}

std::array<int16_t, 2> SimulatedReceiver::toneSample(int channel, int64_t index,
                                                     int16_t leftAmplitude,
                                                     int16_t rightAmplitude) {
    const int period = kSampleRate / toneFrequencyHz(channel);
    const double phase = 2.0 * std::numbers::pi * double(index % period) / period;
    const double s = std::sin(phase);
    return {static_cast<int16_t>(std::lround(s * leftAmplitude)),
            static_cast<int16_t>(std::lround(s * rightAmplitude))};
}

void SimulatedReceiver::scheduleAlarm(int channel, uint8_t bits, uint32_t fromTick,
                                      uint32_t durationMs) {
    std::lock_guard lock(mutex_);
    const uint32_t now = clock_.tickCount();
    // Alarms that have run out are dropped here, so a long demo does not pile them up.
    std::erase_if(alarms_, [now](const Alarm& a) {
        return static_cast<int32_t>(now - a.fromTick) >= static_cast<int32_t>(a.durationMs);
    });
    alarms_.push_back({channel & 3, bits, fromTick, durationMs});
}

void SimulatedReceiver::scheduleAlarmIn(int channel, uint8_t bits, uint32_t delayMs,
                                        uint32_t durationMs) {
    scheduleAlarm(channel, bits, clock_.tickCount() + delayMs, durationMs);
}

void SimulatedReceiver::clearAlarms() {
    std::lock_guard lock(mutex_);
    alarms_.clear();
}

void SimulatedReceiver::setDemoScript(bool on) {
    std::lock_guard lock(mutex_);
    if (on && !demoScript_)
        demoStartTick_ = clock_.tickCount();
    demoScript_ = on;
}

uint8_t SimulatedReceiver::alarmBits(int channel) const {
    std::lock_guard lock(mutex_);
    return alarmBitsLocked(channel & 3, clock_.tickCount());
}

uint8_t SimulatedReceiver::alarmBitsLocked(int channel, uint32_t now) const {
    uint8_t bits = 0;
    for (const Alarm& a : alarms_) {
        const int32_t elapsed = static_cast<int32_t>(now - a.fromTick);
        if (a.channel == channel && elapsed >= 0 && elapsed < static_cast<int32_t>(a.durationMs)) {
            bits |= a.bits;
        }
    }
    if (demoScript_) {
        const uint32_t t = (now - demoStartTick_) % kDemoPeriodMs;
        for (const DemoAlarm& a : kDemoScript) {
            if (a.channel == channel && t >= a.fromMs && t < a.fromMs + a.durationMs)
                bits |= a.bits;
        }
    }
    return bits;
}

void SimulatedReceiver::unplug() {
    std::lock_guard listeners(listenerMutex_);
    {
        std::lock_guard lock(mutex_);
        if (!plugged_)
            return;
        plugged_ = false;
    }
    for (PlugListener* l : listeners_)
        l->onUnplugged();
}

void SimulatedReceiver::replug() {
    std::lock_guard listeners(listenerMutex_);
    {
        std::lock_guard lock(mutex_);
        if (plugged_)
            return;
        plugged_ = true;
    }
    for (PlugListener* l : listeners_)
        l->onReplugged();
}

bool SimulatedReceiver::plugged() const {
    std::lock_guard lock(mutex_);
    return plugged_;
}

void SimulatedReceiver::failNextStatusRead() {
    std::lock_guard lock(mutex_);
    failNextStatus_ = true;
}

void SimulatedReceiver::failNextSelect() {
    std::lock_guard lock(mutex_);
    failNextSelect_ = true;
}

void SimulatedReceiver::delayNextFrame(uint32_t ms) {
    std::lock_guard lock(mutex_);
    frameDelayMs_ += ms;
}

uint32_t SimulatedReceiver::takeFrameDelay() {
    std::lock_guard lock(mutex_);
    return std::exchange(frameDelayMs_, 0);
}

void SimulatedReceiver::failStream() {
    std::lock_guard lock(mutex_);
    failStream_ = true;
}

bool SimulatedReceiver::takeStreamFailure() {
    std::lock_guard lock(mutex_);
    return std::exchange(failStream_, false);
}

void SimulatedReceiver::setSoundOutput(bool present) {
    std::lock_guard lock(mutex_);
    soundOutput_ = present;
}

bool SimulatedReceiver::soundOutput() const {
    std::lock_guard lock(mutex_);
    return soundOutput_;
}

void SimulatedReceiver::setListUnrelatedDevice(bool on) {
    std::lock_guard lock(mutex_);
    listUnrelated_ = on;
}

bool SimulatedReceiver::listUnrelatedDevice() const {
    std::lock_guard lock(mutex_);
    return listUnrelated_;
}

void SimulatedReceiver::addPlugListener(PlugListener* listener) {
    std::lock_guard lock(listenerMutex_);
    listeners_.push_back(listener);
}

void SimulatedReceiver::removePlugListener(PlugListener* listener) {
    std::lock_guard lock(listenerMutex_);
    std::erase(listeners_, listener);
}

}  // namespace vidora::sim
