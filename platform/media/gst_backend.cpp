#include "platform/media/gst_backend.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <mutex>

#include "platform/log/log.h"
#include "platform/media/device_watch.h"
#include "platform/media/gst_capture_graph.h"
#include "platform/media/gst_support.h"
#include "platform/media/v4l2_controls.h"
#include "platform/usb/control_link.h"
#include "platform/usb/libusb_device.h"
#include "platform/usb/sysfs_lookup.h"
#include "platform/usb/vendor_request.h"

namespace vidora::media {

static_assert(kVendorNoPermission == usb::kVendorRequestNoPermission);

namespace {

constexpr const char* kSysfsRoot = "/sys";

// The V4L2 node a monitored device stands for; empty for devices we cannot open ourselves.
std::string v4l2PathOf(GstDevice* device) {
    GstStructure* props = gst_device_get_properties(device);
    if (!props)
        return {};
    std::string path;
    for (const char* key : {"api.v4l2.path", "device.path"}) {
        const gchar* value = gst_structure_get_string(props, key);
        if (value && std::strncmp(value, "/dev/", 5) == 0) {
            path = value;
            break;
        }
    }
    gst_structure_free(props);
    return path;
}

// One real receiver: v4l2src for the pictures, the ALSA capture device on the same USB device
// for the sound, V4L2 controls, and vendor requests over libusb.
class V4l2CaptureSource final : public CaptureSource {
  public:
    bool bind(const DeviceInfo& device) override {
        if (device.path.empty() || ::access(device.path.c_str(), R_OK | W_OK) != 0) {
            qCWarning(log::media) << "cannot open" << device.path.c_str()
                                  << "for reading and writing:" << std::strerror(errno);
            return false;
        }
        GstPtr<GstElementFactory> factory = adoptRef(gst_element_factory_find("v4l2src"));
        if (!factory) {
            qCWarning(log::media) << "the GStreamer element v4l2src is not installed";
            return false;
        }
        path_ = device.path;
        node_ = usb::videoNodeName(path_);
        controls_ = std::make_unique<V4l2Controls>(path_);
        return true;
    }

    GstPtr<GstElement> createVideoSource(VideoStandard standard) override {
        // V4L2 lets a second program open a device that streams elsewhere and fails only once
        // our pipeline runs (which would look like an unplugged receiver); a device in use
        // fails here, as a video stream that cannot be rendered.
        if (controls_->captureBusy()) {
            qCWarning(log::media) << path_.c_str() << "is capturing for another program";
            return nullptr;
        }
        GstPtr<GstElement> src = adoptFloating(gst_element_factory_make("v4l2src", nullptr));
        if (!src)
            return nullptr;
        g_object_set(src.get(), "device", path_.c_str(), nullptr);
        // A device without analogue standards (no decoder) simply keeps its own.
        if (controls_->hasVideoStandards()) {
            gst_util_set_object_arg(G_OBJECT(src.get()), "norm",
                                    standard == VideoStandard::Pal ? "PAL-D" : "NTSC-M");
        }
        return src;
    }

    GstPtr<GstElement> createAudioSource() override {
        auto capture = usb::alsaCaptureOfVideoNode(kSysfsRoot, node_);
        if (!capture) {
            qCInfo(log::media) << "no ALSA capture device on the USB device of" << path_.c_str();
            return nullptr;
        }
        GstPtr<GstElement> src = adoptFloating(gst_element_factory_make("alsasrc", nullptr));
        if (!src)
            return nullptr;
        const std::string name =
            "hw:" + std::to_string(capture->card) + "," + std::to_string(capture->device);
        g_object_set(src.get(), "device", name.c_str(), nullptr);
        return src;
    }

    bool readAdjustments(AdjustTable& table) override {
        return controls_ && controls_->read(table);
    }
    bool setAdjustment(AdjustProperty property, int32_t value) override {
        return controls_ && controls_->set(property, value);
    }

    int32_t vendorCmdRW(uint8_t* block, int32_t* length) override {
        return usbLink_.send(block, length);
    }

  private:
    std::string path_;
    std::string node_;
    std::unique_ptr<V4l2Controls> controls_;
    // One source per graph, and a new graph each time the receiver arrives: a refused access is
    // tried again only then.
    usb::ControlLink usbLink_{[this] {
        usb::OpenedTransport opened{nullptr, LIBUSB_ERROR_NOT_FOUND};
        if (auto address = usb::usbAddressOfVideoNode(kSysfsRoot, node_))
            opened.transport = usb::LibusbControlDevice::open(*address, &opened.error);
        return opened;
    }};
};

class GstMediaBackend final : public MediaBackend {
  public:
    explicit GstMediaBackend(CaptureSourceMaker makeSource)
        : makeSource_(std::move(makeSource)), watch_(std::make_shared<DeviceWatch>()) {
        ensureGstInitialized();
        monitor_ = adoptFloating(gst_device_monitor_new());
        if (!monitor_)
            return;
        gst_device_monitor_add_filter(monitor_.get(), "Video/Source", nullptr);
        // Other providers may hide the V4L2 one; we need its devices (we open their nodes).
        gst_device_monitor_set_show_all_devices(monitor_.get(), TRUE);
        GstPtr<GstBus> bus = adoptRef(gst_device_monitor_get_bus(monitor_.get()));
        gst_bus_set_sync_handler(bus.get(), &GstMediaBackend::onMonitorMessage, this, nullptr);
        monitoring_ = gst_device_monitor_start(monitor_.get());
        if (!monitoring_)
            qCWarning(log::media) << "the GStreamer device monitor did not start";
    }

    ~GstMediaBackend() override {
        if (!monitor_)
            return;
        if (monitoring_)
            gst_device_monitor_stop(monitor_.get());
        GstPtr<GstBus> bus = adoptRef(gst_device_monitor_get_bus(monitor_.get()));
        gst_bus_set_sync_handler(bus.get(), nullptr, nullptr, nullptr);
    }

    std::optional<std::vector<DeviceInfo>> enumerateVideoInputs() override {
        if (!monitor_)
            return std::nullopt;
        std::vector<DeviceInfo> devices;
        GList* list = gst_device_monitor_get_devices(monitor_.get());
        for (GList* item = list; item; item = item->next) {
            auto* device = GST_DEVICE(item->data);
            std::string path = v4l2PathOf(device);
            if (path.empty())
                continue;
            bool seen = false;
            for (const DeviceInfo& d : devices)
                seen = seen || d.path == path;
            if (seen)
                continue;  // the same node offered by two providers
            GCharPtr name(gst_device_get_display_name(device));
            devices.push_back({name ? name.get() : "", path});
        }
        g_list_free_full(list, gst_object_unref);
        return devices;
    }

    std::unique_ptr<CaptureGraph> createGraph() override {
        std::unique_ptr<CaptureSource> source =
            makeSource_ ? makeSource_() : std::make_unique<V4l2CaptureSource>();
        return std::make_unique<GstCaptureGraph>(std::move(source), watch_);
    }

    void setArrivalNotify(std::function<void()> notify) override {
        watch_->setArrivalNotify(std::move(notify));
    }

  private:
    // Whether a device of any provider still stands for this node.
    bool stillOffered(const std::string& path) {
        bool offered = false;
        GList* list = gst_device_monitor_get_devices(monitor_.get());
        for (GList* item = list; item && !offered; item = item->next)
            offered = v4l2PathOf(GST_DEVICE(item->data)) == path;
        g_list_free_full(list, gst_object_unref);
        return offered;
    }

    static GstBusSyncReply onMonitorMessage(GstBus*, GstMessage* message, gpointer data) {
        auto* self = static_cast<GstMediaBackend*>(data);
        GstDevice* device = nullptr;
        switch (GST_MESSAGE_TYPE(message)) {
            case GST_MESSAGE_DEVICE_ADDED:
                gst_message_parse_device_added(message, &device);
                break;
            case GST_MESSAGE_DEVICE_REMOVED:
                gst_message_parse_device_removed(message, &device);
                break;
            default:
                return GST_BUS_DROP;
        }
        GstPtr<GstDevice> owned = adoptRef(device);
        const std::string path = owned ? v4l2PathOf(owned.get()) : std::string();
        if (path.empty())
            return GST_BUS_DROP;
        if (GST_MESSAGE_TYPE(message) == GST_MESSAGE_DEVICE_ADDED) {
            self->watch_->deviceAdded(path);
        } else if (!self->stillOffered(path)) {
            // A node offered by two providers (V4L2 and PipeWire) is lost when the last one
            // lets it go: PipeWire restarting leaves the device where it was. The provider has
            // taken the device off its list before it says so, so the monitor's list is current.
            self->watch_->deviceRemoved(path);
        }
        return GST_BUS_DROP;
    }

    CaptureSourceMaker makeSource_;
    std::shared_ptr<DeviceWatch> watch_;
    GstPtr<GstDeviceMonitor> monitor_;
    bool monitoring_ = false;
};

}  // namespace

std::unique_ptr<MediaBackend> createGstBackend(CaptureSourceMaker makeSource) {
    return std::make_unique<GstMediaBackend>(std::move(makeSource));
}

}  // namespace vidora::media
