#include "platform/media/graph_elements.h"

namespace vidora::media {

namespace {

constexpr const char* kCore = "libgstreamer1.0-0";
constexpr const char* kBase = "gstreamer1.0-plugins-base";
constexpr const char* kGood = "gstreamer1.0-plugins-good";

constexpr GraphElement kElements[] = {
    {"v4l2src", kGood, true, false, "pictures of the receiver"},
    {"alsasrc", "gstreamer1.0-alsa", true, false, "sound of the receiver"},
    {"appsrc", kBase, false, true, "pictures and sound of the simulated receiver"},
    {"jpegdec", kGood, true, false, "pictures of a receiver that offers only MJPEG"},
    {"videoconvert", kBase, true, true, "picture format"},
    {"capsfilter", kCore, true, true, "picture and sound format"},
    {"appsink", kBase, true, true, "pictures and sound to the viewer"},
    {"audioconvert", kBase, true, true, "sound format"},
    {"identity", kCore, true, true, "sound folded to mono"},
    {"tee", kCore, true, true, "sound to the speakers and the viewer"},
    {"queue", kCore, true, true, "sound branches"},
    {"volume", kBase, true, true, "volume"},
    {"audioresample", kBase, true, true, "sound rate"},
    {"autoaudiosink", kGood, true, true, "sound output"},
    {"fakesink", kCore, true, true, "silent output without a sound device"},
    {"filesrc", kCore, true, true, "alarm sound file"},
    {"wavparse", kGood, true, true, "alarm sound file"},
};

}  // namespace

std::span<const GraphElement> graphElements() {
    return kElements;
}

}  // namespace vidora::media
