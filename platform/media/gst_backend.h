#pragma once
// The media backend over real capture devices: V4L2 video devices found by the GStreamer device
// monitor, their sound from the ALSA capture device of the same USB device, their picture
// controls through V4L2, and vendor requests over libusb to the USB device behind them.
#include <functional>
#include <memory>

#include "platform/media/capture_graph.h"
#include "platform/media/capture_source.h"

namespace vidora::media {

// Makes the device half of each new graph. The program's (the default) opens the device's V4L2
// node; tests that list devices of a provider of their own, with no V4L2 node behind them, give
// one that streams from those devices.
using CaptureSourceMaker = std::function<std::unique_ptr<CaptureSource>()>;

std::unique_ptr<MediaBackend> createGstBackend(CaptureSourceMaker makeSource = {});

}  // namespace vidora::media
