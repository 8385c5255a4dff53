#pragma once
// The media layer as the engine sees it: find receivers by name, build the capture graph that
// carries the receiver's pictures to the video transfer sink and its sound (folded to doubled
// mono) both to the sound output and to the audio transfer sink, run/pause/stop it, set volume,
// picture adjustments and video standard, report device loss and arrival, and reach the
// receiver's vendor requests. Two backends implement it over the same GStreamer graph code:
// real capture devices, and the simulated MR220 receiver.
#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/media/picture_settings.h"

namespace vidora::media {

inline constexpr const char* kReceiverName = "Halcap Capture";

struct VideoFormat {
    int width = 0;
    int height = 0;
    uint32_t fourcc = 0;  // 'UYVY' for the receiver
    int framesPerSecond = 25;
};

struct AudioFormat {
    int samplesPerSecond = 0;
    int bitsPerSample = 0;
    int channels = 0;
    int averageBytesPerSecond = 0;
};

// The program's two ends of the graph. Called on the graph's streaming threads.
class VideoTransferSink {
  public:
    virtual ~VideoTransferSink() = default;
    // Called when the stream's format is set, before the first picture; false rejects it.
    virtual bool acceptVideoFormat(const VideoFormat& format) = 0;
    // One packed 4:2:2 picture of width x height x 2 bytes.
    virtual void renderVideo(const uint8_t* data, std::size_t length) = 0;
};

class AudioTransferSink {
  public:
    virtual ~AudioTransferSink() = default;
    virtual bool acceptAudioFormat(const AudioFormat& format) = 0;
    // One block of 16-bit stereo frames, already folded to doubled mono (left = right = l + r).
    virtual void renderAudio(const uint8_t* data, std::size_t length) = 0;
};

// Picture adjustment properties, in this order.
enum AdjustProperty : int {
    kBrightness = 0,
    kSharpness,
    kContrast,
    kSaturation,
    kGamma,
    kHue,
    kWhiteBalance,
    kBacklightCompensation,
    kGain,
    kAdjustPropertyCount
};

struct AdjustRange {
    int32_t minimum = 0;
    int32_t maximum = 0;
    int32_t stepping = 0;
    int32_t defaultValue = 0;
    int32_t current = 0;
};
using AdjustTable = std::array<AdjustRange, kAdjustPropertyCount>;

struct DeviceInfo {
    std::string name;  // friendly name
    std::string path;  // backend's device path or id
};

enum class BuildResult {
    Ok,
    GraphCreateFailed,  // message "" caption "error"
    BindFailed,         // "create capture", "error"
    VideoRenderFailed,  // "Unable to use USB receiver.Please close other programs ..." "error"
    FormatUnusable,     // the device offers no picture format the graph can show
};

// Graph event codes the engine looks at.
enum GraphEventCode : int32_t {
    kEventComplete = 1,
    kEventUserAbort = 2,
    kEventErrorAbort = 3,
    kEventDeviceLost = 0x1F,
    // The device would not deliver the picture format the graph chose: not a loss of the
    // device, and connecting again would fail the same way.
    kEventFormatRejected = 0x8000,
};
struct GraphEvent {
    int32_t code = 0;
    bool removed = false;          // device lost: the device was removed (not re-added)
    bool isCaptureDevice = false;  // device lost: it is this graph's capture device
};

// One capture graph on one device. Not thread-safe; the engine serialises calls.
class CaptureGraph {
  public:
    virtual ~CaptureGraph() = default;

    // Builds capture -> video transfer, and capture -> fold to mono -> tee -> sound output and
    // audio transfer. Audio failures are not reported; the graph then has no sound.
    virtual BuildResult build(const DeviceInfo& device, VideoStandard standard,
                              VideoTransferSink* video, AudioTransferSink* audio) = 0;
    virtual bool hasAudio() const = 0;
    // The picture formats the device offered to the last build, in plain words and in the
    // device's order ("H.264, Bayer"); empty before a build or when nothing was learnt.
    virtual std::string offeredFormats() const { return {}; }

    virtual bool run() = 0;
    virtual bool pause() = 0;
    virtual void stop() = 0;

    // Volume in hundredths of a decibel, -10000 (silence) .. 0 (full).
    virtual void setVolume(int32_t hundredthsOfDb) = 0;
    // Reads the nine adjustment ranges; false when the device has no adjustments.
    virtual bool readAdjustments(AdjustTable& table) = 0;
    // False for a kind outside AdjustmentKind, or when the device refuses the value.
    virtual bool setAdjustment(AdjustmentKind kind, int32_t value) = 0;

    // Called from any thread when events are waiting; the engine then drains them with
    // nextEvent on its own thread (the UI answers WM_GRAPH_NOTIFY with ENG_GRAPH_EVENT).
    virtual void setEventNotify(std::function<void()> notify) = 0;
    virtual bool nextEvent(GraphEvent& event) = 0;

    // The receiver's vendor control requests (8-byte setup block, length 8; 0 = success,
    // kVendorNoPermission when the user may not send them, any other value another failure).
    virtual int32_t vendorCmdRW(uint8_t* block, int32_t* length) = 0;
};

// vendorCmdRW's answer when the user has no permission on the receiver's USB device.
inline constexpr int32_t kVendorNoPermission = -2;

class MediaBackend {
  public:
    virtual ~MediaBackend() = default;
    // Video input devices in enumeration order; nullopt when enumeration itself failed.
    virtual std::optional<std::vector<DeviceInfo>> enumerateVideoInputs() = 0;
    // A new, empty graph; nullptr when it cannot be created.
    virtual std::unique_ptr<CaptureGraph> createGraph() = 0;
    // Called from any thread when a device appears or the device nodes change.
    virtual void setArrivalNotify(std::function<void()> notify) = 0;
};

}  // namespace vidora::media
