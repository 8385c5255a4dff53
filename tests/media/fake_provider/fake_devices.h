#pragma once
// The tests' side of the fake device provider plugin (fake_provider.cpp): points GStreamer at
// the plugin before it is initialised, writes the devices the providers report and makes them
// look again, as a hot-plug would. Also a capture source that streams from those devices, for
// graphs of the real backend (their nodes are no V4L2 devices that v4l2src could open).
//
// One FakeDevices per test program process; its methods run on the test's thread.
#include <gst/gst.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/media/capture_source.h"
#include "platform/media/gst_support.h"

namespace vidora::test {

struct FakeDevice {
    enum class Provider { V4l2, PipeWire };  // node as "device.path" / "api.v4l2.path"
    Provider provider = Provider::V4l2;
    std::string node;
    std::string name;
    bool broken = false;  // makes no element, so a graph on it cannot be built
};

class FakeDevices {
  public:
    // Initialises GStreamer with the plugin (a plugin registry of the tests' own, so the user's
    // stays untouched) and leaves the fake providers as the only video device providers.
    FakeDevices();
    ~FakeDevices();
    FakeDevices(const FakeDevices&) = delete;
    FakeDevices& operator=(const FakeDevices&) = delete;

    // Whether both fake providers were found in the registry.
    bool loaded() const;
    // Writes the list the providers read at their start and at the next rescan().
    void set(const std::vector<FakeDevice>& devices);
    // Each provider reads the list again and reports what came and went.
    void rescan();

  private:
    std::string file_;
};

// A capture source over a fake device: binds when one of the fake providers lists the node now,
// streams from the device's own element, has no sound and no picture controls, and answers
// every vendor request (the status read with "no alarm").
class FakeDeviceSource final : public media::CaptureSource {
  public:
    bool bind(const media::DeviceInfo& device) override;
    media::GstPtr<GstElement> createVideoSource(media::VideoStandard standard) override;
    media::GstPtr<GstElement> createAudioSource() override { return nullptr; }
    bool readAdjustments(media::AdjustTable&) override { return false; }
    bool setAdjustment(media::AdjustProperty, int32_t) override { return false; }
    int32_t vendorCmdRW(uint8_t* block, int32_t* length) override;

  private:
    media::GstPtr<GstDevice> device_;
};

}  // namespace vidora::test
