#pragma once
// The media backend over real capture devices: V4L2 video devices found by the GStreamer device
// monitor, their sound from the ALSA capture device of the same USB device, their picture
// controls through V4L2, and vendor requests over libusb to the USB device behind them.
#include <memory>

#include "platform/media/capture_graph.h"

namespace vidora::media {

std::unique_ptr<MediaBackend> createGstBackend();

}  // namespace vidora::media
