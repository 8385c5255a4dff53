#pragma once
// The device-specific half of a capture graph: the elements that produce the receiver's raw
// pictures and sound, its picture controls, its video standard and its vendor requests. The
// shared graph code (GstCaptureGraph) builds everything downstream of these sources, so real
// hardware and the simulated receiver run through the same pipeline.
//
// Owned by its GstCaptureGraph; called on the engine's thread except vendorCmdRW, which the
// engine calls under its receiver command lock from its worker threads.
#include <gst/gst.h>

#include <cstdint>

#include "platform/media/capture_graph.h"
#include "platform/media/gst_support.h"

namespace vidora::media {

class CaptureSource {
  public:
    virtual ~CaptureSource() = default;

    // Binds the device; false when it cannot be opened or is not a device of this backend.
    virtual bool bind(const DeviceInfo& device) = 0;
    // The element that produces the device's pictures, set up for the video standard (1 PAL-D,
    // 2 NTSC-M, other values leave the device's own); nullptr when it cannot be made. The graph
    // takes raw video in any format it can convert to UYVY, or MJPEG from a device without raw
    // video, and asks the element in READY which formats it offers.
    virtual GstPtr<GstElement> createVideoSource(VideoStandard standard) = 0;
    // The element that produces the device's sound (16-bit stereo or anything audioconvert can
    // turn into it), or nullptr when the device has none.
    virtual GstPtr<GstElement> createAudioSource() = 0;

    // Around the pipeline's PLAYING state: started() after it was entered, stopping() before it
    // is left (pause or stop). Sources that push from a thread of their own start and stop it.
    virtual void started() {}
    virtual void stopping() {}

    virtual bool readAdjustments(AdjustTable& table) = 0;
    virtual bool setAdjustment(AdjustProperty property, int32_t value) = 0;
    virtual int32_t vendorCmdRW(uint8_t* block, int32_t* length) = 0;
};

}  // namespace vidora::media
