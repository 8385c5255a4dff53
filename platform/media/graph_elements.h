#pragma once
// The GStreamer elements the viewer's graphs are made of (the capture graph on either kind of
// receiver, and the alarm sound), each with the Debian package that ships it: what --diagnose
// checks, and what a package of the viewer depends on. The capture graph's tests check the list
// against the elements a running graph holds.
#include <span>

namespace vidora::media {

struct GraphElement {
    const char* factory;
    const char* debianPackage;
    bool receiver;  // used with a real receiver
    bool demo;      // used with the simulated receiver
    const char* purpose;
};

std::span<const GraphElement> graphElements();

}  // namespace vidora::media
