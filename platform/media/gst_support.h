#pragma once
// Small RAII helpers over the GStreamer C API: owned references to GstObjects and mini objects,
// and scoped buffer maps. Plus the one-time library initialisation every backend calls first.
#include <gst/gst.h>

#include <memory>
#include <string>
#include <utility>

namespace vidora::media {

// Initialises GStreamer once per process (thread-safe; later calls do nothing).
void ensureGstInitialized();

// The factory names of the elements inside a bin (an autoaudiosink in READY holds the sink it
// chose; "fakesink" is its silent placeholder when no sound device works).
std::string childFactoryNames(GstElement* bin);
// True when an autoaudiosink ended up on its own silent placeholder.
bool isPlaceholderSink(GstElement* autoSink);

// An error, warning or info message of a bus as one line: the element that sent it, the text
// and GStreamer's debug string. Empty for other messages.
std::string describeBusMessage(GstMessage* message);
// Writes such a message to the media log category (errors and warnings as warnings).
void logBusMessage(GstMessage* message);

struct GstObjectUnref {
    void operator()(gpointer object) const {
        if (object)
            gst_object_unref(object);
    }
};
struct GstMiniObjectUnref {
    void operator()(gpointer object) const {
        if (object)
            gst_mini_object_unref(GST_MINI_OBJECT_CAST(object));
    }
};

// An owned (non-floating) reference to a GstObject subclass.
template <class T>
using GstPtr = std::unique_ptr<T, GstObjectUnref>;

// Takes over a newly created object: a floating reference is sunk, a full one taken as it is
// (some constructors, such as gst_device_monitor_new, already clear the floating flag), so that
// we own exactly one reference either way.
template <class T>
GstPtr<T> adoptFloating(T* object) {
    if (object && g_object_is_floating(object))
        gst_object_ref_sink(object);
    return GstPtr<T>(object);
}
// Takes over a reference the caller already owns ("transfer full" results).
template <class T>
GstPtr<T> adoptRef(T* object) {
    return GstPtr<T>(object);
}
// Adds a reference of our own to a borrowed object.
template <class T>
GstPtr<T> addRef(T* object) {
    if (object)
        gst_object_ref(object);
    return GstPtr<T>(object);
}

using GstCapsPtr = std::unique_ptr<GstCaps, GstMiniObjectUnref>;
using GstMessagePtr = std::unique_ptr<GstMessage, GstMiniObjectUnref>;
using GstSamplePtr = std::unique_ptr<GstSample, GstMiniObjectUnref>;
using GstBufferPtr = std::unique_ptr<GstBuffer, GstMiniObjectUnref>;

// A buffer mapped for the scope of this object.
class BufferMap {
  public:
    BufferMap(GstBuffer* buffer, GstMapFlags flags) : buffer_(buffer) {
        mapped_ = buffer_ && gst_buffer_map(buffer_, &info_, flags);
    }
    ~BufferMap() {
        if (mapped_)
            gst_buffer_unmap(buffer_, &info_);
    }
    BufferMap(const BufferMap&) = delete;
    BufferMap& operator=(const BufferMap&) = delete;

    bool ok() const { return mapped_; }
    guint8* data() const { return info_.data; }
    gsize size() const { return info_.size; }

  private:
    GstBuffer* buffer_;
    GstMapInfo info_{};
    bool mapped_ = false;
};

// A gchar* (or other g_malloc'd memory) released with g_free.
struct GFreeDeleter {
    void operator()(gpointer p) const { g_free(p); }
};
using GCharPtr = std::unique_ptr<gchar, GFreeDeleter>;

}  // namespace vidora::media
