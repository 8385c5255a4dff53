#pragma once
// The nine picture controls and the video standards of a V4L2 video device, reached through
// its own file descriptor (V4L2 allows that next to the streaming v4l2src). Owned by the real
// backend's capture source; engine thread.
#include <cstdint>
#include <string>

#include "platform/media/capture_graph.h"

namespace vidora::media {

class V4l2Controls {
  public:
    explicit V4l2Controls(std::string devicePath) : path_(std::move(devicePath)) {}

    // Range, default and current value of each control the device has (absent ones stay 0);
    // false when the device cannot be opened or has none of the nine.
    bool read(AdjustTable& table) const;
    // Sets one control, clamped into its range; false when the device lacks it.
    bool set(AdjustProperty property, int32_t value) const;
    // Whether the device selects analogue video standards at all.
    bool hasVideoStandards() const;
    // Whether another program holds the device's capture buffers (it streams from it), so that
    // we could open the device but never stream from it.
    bool captureBusy() const;

  private:
    std::string path_;
};

}  // namespace vidora::media
