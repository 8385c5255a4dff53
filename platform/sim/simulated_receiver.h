#pragma once
// The simulated MR220 receiver: a complete stand-in for the hardware, used by vidora-demo and by
// the tests. It is listed as the capture device "Halcap Capture" (next to an unrelated camera
// that the engine must ignore), tunes four synthetic cameras through the same vendor requests as
// the real receiver, reports scripted motion and sound alarms in its status byte, and can be
// unplugged, replugged or made to fail on demand. Its pictures and sound run through the same
// GStreamer capture graph as real hardware (see createSimulatedBackend).
//
// Owned through a shared_ptr by the program (or test) and by every backend made from it. All
// members are thread-safe; the vendor requests arrive on the engine's select and alarm threads,
// the generator reads the state on its own thread.
#include <array>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/clock.h"
#include "platform/media/capture_graph.h"

namespace vidora::sim {

// How the simulated devices are listed by the backend.
inline constexpr const char* kReceiverPath = "sim:mr220";
inline constexpr const char* kUnrelatedDeviceName = "Integrated Camera";
inline constexpr const char* kUnrelatedDevicePath = "sim:integrated-camera";

using media::VideoStandard;

struct VideoMode {
    int width = 720;
    int height = 576;
    int framesPerSecond = 25;
};
VideoMode videoModeOf(VideoStandard standard);  // PAL 720x576@25, NTSC 720x480@30

// Alarm kinds as bits of an alarm mask.
enum AlarmBits : uint8_t {
    kMotionAlarm = 0x01,
    kSoundAlarm = 0x02,
};

// Bits of the status byte: 0 while the alarm is present, every other bit reads 1.
inline constexpr uint8_t kStatusSoundBit = 0x20;
inline constexpr uint8_t kStatusMotionBit = 0x10;

// Sound of the simulated cameras: 48 kHz, 16-bit stereo, little-endian.
inline constexpr int kSampleRate = 48000;
inline constexpr int kAudioFramesPerBlock = 960;  // 20 ms per block

// One vendor request as it arrived (the 8-byte setup block) and what it returned.
struct RecordedRequest {
    std::array<uint8_t, 8> block{};
    int32_t result = 0;
};

class SimulatedReceiver {
  public:
    // Told about plug changes, on the thread that calls unplug()/replug().
    class PlugListener {
      public:
        virtual ~PlugListener() = default;
        virtual void onUnplugged() = 0;
        virtual void onReplugged() = 0;
    };

    // The clock drives the alarm script and the time drawn into the pictures.
    explicit SimulatedReceiver(Clock& clock = processClock());
    ~SimulatedReceiver();
    SimulatedReceiver(const SimulatedReceiver&) = delete;
    SimulatedReceiver& operator=(const SimulatedReceiver&) = delete;

    // --- The control endpoint -------------------------------------------------------------
    // Same contract as the hardware's: an 8-byte setup block and its length (8); 0 = success.
    // "40 03 02 01 bb 00 00 00" sets the channel's high bit, "40 03 03 01 bb 00 00 00" the low
    // bit; "C0 03 00 03 00 00 01 00" returns the status byte in block[0]. Anything else fails,
    // as does every request while unplugged. Every call is recorded.
    int32_t vendorRequest(uint8_t* block, int32_t* length);
    std::vector<RecordedRequest> requests() const;  // oldest first (the last 4096 are kept)
    void clearRequests();

    int channel() const;            // 0..3, as tuned by the select requests
    void tuneChannel(int channel);  // tunes directly, as if both select requests were sent
    uint8_t statusByte() const;     // what a status read would return now

    // --- Video standard and picture adjustments ------------------------------------------
    VideoStandard videoStandard() const;
    void setVideoStandard(VideoStandard standard);
    // The nine adjustments in AdjustProperty order: ranges, defaults and current values.
    media::AdjustTable adjustments() const;
    // Clamps into the property's range; false for an unknown property.
    bool setAdjustment(media::AdjustProperty property, int32_t value);
    uint32_t adjustmentVersion() const;  // changes whenever an adjustment does

    // --- Sound --------------------------------------------------------------------------------
    // Every camera plays a sine tone of its own pitch (channel 0..3: 400, 500, 600, 800 Hz, a
    // whole number of samples per period), left and right in phase with their own amplitudes.
    static int toneFrequencyHz(int channel);
    void setToneAmplitudes(int16_t left, int16_t right);
    std::array<int16_t, 2> toneAmplitudes() const;
    // Sample `index` of a channel's tone (left, right) at the given amplitudes.
    static std::array<int16_t, 2> toneSample(int channel, int64_t index, int16_t leftAmplitude,
                                             int16_t rightAmplitude);

    // --- Alarms -------------------------------------------------------------------------------
    // Raises `bits` (kMotionAlarm | kSoundAlarm) on `channel` from clock tick `fromTick` for
    // `durationMs` milliseconds.
    void scheduleAlarm(int channel, uint8_t bits, uint32_t fromTick, uint32_t durationMs);
    // The same, starting `delayMs` after now.
    void scheduleAlarmIn(int channel, uint8_t bits, uint32_t delayMs, uint32_t durationMs);
    void clearAlarms();
    // A repeating 80-second demo script: CH1 motion, CH2 sound, CH3 both, CH4 motion.
    void setDemoScript(bool on);
    uint8_t alarmBits(int channel) const;  // alarms present on a channel now

    // --- Faults -------------------------------------------------------------------------------
    // Unplug: the device disappears from enumeration, running graphs report it lost, requests
    // fail and the pictures stop. Replug: it comes back and backends call their arrival notify.
    void unplug();
    void replug();
    bool plugged() const;
    void failNextStatusRead();
    void failNextSelect();             // the next select request fails and tunes nothing
    void delayNextFrame(uint32_t ms);  // the next picture comes this much later
    uint32_t takeFrameDelay();         // for the generator: the pending delay, then 0
    // The picture stream breaks at the next picture, as after a failed USB transfer: running
    // graphs report a streaming error.
    void failStream();
    bool takeStreamFailure();  // for the generator: true once per failStream()
    // A receiver without its sound output: graphs built from now on run without sound.
    void setSoundOutput(bool present);
    bool soundOutput() const;
    // Whether enumeration also lists kUnrelatedDeviceName (first); on by default.
    void setListUnrelatedDevice(bool on);
    bool listUnrelatedDevice() const;

    // --- For backends ---------------------------------------------------------------------------
    void addPlugListener(PlugListener* listener);
    void removePlugListener(PlugListener* listener);
    Clock& clock() const { return clock_; }

  private:
    struct Alarm {
        int channel;
        uint8_t bits;
        uint32_t fromTick;
        uint32_t durationMs;
    };
    uint8_t alarmBitsLocked(int channel, uint32_t now) const;
    uint8_t statusLocked() const;
    void record(const uint8_t* block, int32_t result);

    Clock& clock_;
    mutable std::mutex mutex_;
    bool plugged_ = true;
    bool listUnrelated_ = true;
    bool soundOutput_ = true;
    int highBit_ = 0;
    int lowBit_ = 0;
    VideoStandard standard_ = VideoStandard::Pal;
    media::AdjustTable adjust_{};
    uint32_t adjustVersion_ = 1;
    std::array<int16_t, 2> toneAmplitude_{{9000, 6000}};
    std::vector<Alarm> alarms_;
    bool demoScript_ = false;
    uint32_t demoStartTick_ = 0;
    bool failNextStatus_ = false;
    bool failNextSelect_ = false;
    uint32_t frameDelayMs_ = 0;
    bool failStream_ = false;
    std::deque<RecordedRequest> log_;

    std::mutex listenerMutex_;  // taken before mutex_ when both are needed
    std::vector<PlugListener*> listeners_;
};

// A media backend whose devices are the simulated receiver (and the unrelated camera). Its
// graphs are the same GStreamer graphs as the real backend's, fed from appsrc elements.
std::unique_ptr<media::MediaBackend> createSimulatedBackend(
    std::shared_ptr<SimulatedReceiver> receiver);

}  // namespace vidora::sim
