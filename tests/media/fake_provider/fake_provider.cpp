// A GStreamer plugin for tests only: two device providers ("vidorafakev4l2provider" and
// "vidorafakepwprovider") that report video capture devices read from a text file, so that the
// real backend's device monitor can be driven without hardware.
//
// The file is named by the environment variable VIDORA_FAKE_DEVICES and holds one device a line,
// fields separated by tabs:
//
//   provider <TAB> node <TAB> display name [<TAB> flags]
//
// provider is "v4l2" (its devices carry the node as "device.path", like GStreamer's V4L2
// provider) or "pw" (as "api.v4l2.path", like the PipeWire provider). flags may hold "broken":
// such a device makes no element. Empty lines and lines starting with '#' are skipped.
//
// The file is read when a provider starts or probes, and again when the test emits the action
// signal "rescan" on the provider instance (gst_device_provider_factory_get_by_name gives the
// one the monitor uses): devices no longer listed are removed, new ones added, each with the
// bus message a real hot-plug gives. Devices make a live videotestsrc giving 720x576 UYVY.
#include <gst/gst.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

constexpr const char* kDevicesVariable = "VIDORA_FAKE_DEVICES";
constexpr const char* kSourceDescription =
    "videotestsrc is-live=true pattern=ball ! "
    "capsfilter caps=\"video/x-raw,format=UYVY,width=720,height=576,framerate=25/1\"";

struct DeviceLine {
    std::string provider;
    std::string node;
    std::string name;
    std::string flags;

    std::string key() const { return provider + '\t' + node + '\t' + name + '\t' + flags; }
};

std::vector<DeviceLine> readDeviceLines(const std::string& provider) {
    std::vector<DeviceLine> lines;
    const char* file = std::getenv(kDevicesVariable);
    if (!file)
        return lines;
    std::ifstream in(file);
    std::string text;
    while (std::getline(in, text)) {
        if (text.empty() || text[0] == '#')
            continue;
        std::istringstream fields(text);
        DeviceLine line;
        if (!std::getline(fields, line.provider, '\t') || !std::getline(fields, line.node, '\t') ||
            !std::getline(fields, line.name, '\t')) {
            continue;
        }
        std::getline(fields, line.flags, '\t');
        if (line.provider == provider)
            lines.push_back(line);
    }
    return lines;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// The device

G_BEGIN_DECLS
#define VIDORA_TYPE_FAKE_DEVICE (vidora_fake_device_get_type())
G_DECLARE_FINAL_TYPE(VidoraFakeDevice, vidora_fake_device, VIDORA, FAKE_DEVICE, GstDevice)
G_END_DECLS

struct _VidoraFakeDevice {
    GstDevice parent;
    gchar* key;  // the device's line, to find it again at the next rescan
    gboolean broken;
};

G_DEFINE_TYPE(VidoraFakeDevice, vidora_fake_device, GST_TYPE_DEVICE)

static GstElement* vidora_fake_device_create_element(GstDevice* device, const gchar* name) {
    if (VIDORA_FAKE_DEVICE(device)->broken)
        return nullptr;
    GError* error = nullptr;
    GstElement* bin = gst_parse_bin_from_description(kSourceDescription, TRUE, &error);
    if (!bin) {
        g_clear_error(&error);
        return nullptr;
    }
    if (name)
        gst_element_set_name(bin, name);
    return bin;
}

static void vidora_fake_device_finalize(GObject* object) {
    g_free(VIDORA_FAKE_DEVICE(object)->key);
    G_OBJECT_CLASS(vidora_fake_device_parent_class)->finalize(object);
}

static void vidora_fake_device_class_init(VidoraFakeDeviceClass* klass) {
    GST_DEVICE_CLASS(klass)->create_element = vidora_fake_device_create_element;
    G_OBJECT_CLASS(klass)->finalize = vidora_fake_device_finalize;
}

static void vidora_fake_device_init(VidoraFakeDevice*) {}

static GstDevice* makeDevice(const DeviceLine& line, const char* pathKey) {
    GstCaps* caps = gst_caps_from_string("video/x-raw,format=UYVY,width=720,height=576");
    GstStructure* props =
        gst_structure_new("vidora-fake-device", pathKey, G_TYPE_STRING, line.node.c_str(), nullptr);
    auto* device = VIDORA_FAKE_DEVICE(g_object_new(VIDORA_TYPE_FAKE_DEVICE, "display-name",
                                                   line.name.c_str(), "caps", caps, "device-class",
                                                   "Video/Source", "properties", props, nullptr));
    gst_caps_unref(caps);
    gst_structure_free(props);
    device->key = g_strdup(line.key().c_str());
    device->broken = line.flags.find("broken") != std::string::npos;
    return GST_DEVICE(device);
}

// ---------------------------------------------------------------------------------------------
// The providers: one base type, and two flavours that differ in the property naming the node.

G_BEGIN_DECLS
#define VIDORA_TYPE_FAKE_PROVIDER (vidora_fake_provider_get_type())
G_DECLARE_DERIVABLE_TYPE(VidoraFakeProvider, vidora_fake_provider, VIDORA, FAKE_PROVIDER,
                         GstDeviceProvider)
G_END_DECLS

struct _VidoraFakeProviderClass {
    GstDeviceProviderClass parent_class;
    const char* flavour;  // the provider field of the device file
    const char* pathKey;  // the device property that names the node
    void (*rescan)(VidoraFakeProvider* provider);
};

G_DEFINE_ABSTRACT_TYPE(VidoraFakeProvider, vidora_fake_provider, GST_TYPE_DEVICE_PROVIDER)

static std::vector<DeviceLine> linesOf(GstDeviceProvider* provider) {
    return readDeviceLines(VIDORA_FAKE_PROVIDER_GET_CLASS(provider)->flavour);
}

static GList* vidora_fake_provider_probe(GstDeviceProvider* provider) {
    const char* pathKey = VIDORA_FAKE_PROVIDER_GET_CLASS(provider)->pathKey;
    GList* devices = nullptr;
    for (const DeviceLine& line : linesOf(provider))
        devices = g_list_append(devices, makeDevice(line, pathKey));
    return devices;
}

static gboolean vidora_fake_provider_start(GstDeviceProvider* provider) {
    const char* pathKey = VIDORA_FAKE_PROVIDER_GET_CLASS(provider)->pathKey;
    for (const DeviceLine& line : linesOf(provider))
        gst_device_provider_device_add(provider, makeDevice(line, pathKey));
    return TRUE;
}

static void vidora_fake_provider_stop(GstDeviceProvider*) {}

static void vidora_fake_provider_rescan(VidoraFakeProvider* self) {
    auto* provider = GST_DEVICE_PROVIDER(self);
    if (!gst_device_provider_is_started(provider))
        return;
    const std::vector<DeviceLine> lines = linesOf(provider);
    GList* present = gst_device_provider_get_devices(provider);
    std::vector<std::string> kept;
    for (GList* item = present; item; item = item->next) {
        auto* device = VIDORA_FAKE_DEVICE(item->data);
        bool listed = false;
        for (const DeviceLine& line : lines)
            listed = listed || line.key() == device->key;
        if (listed)
            kept.push_back(device->key);
        else
            gst_device_provider_device_remove(provider, GST_DEVICE(device));
    }
    g_list_free_full(present, gst_object_unref);
    const char* pathKey = VIDORA_FAKE_PROVIDER_GET_CLASS(self)->pathKey;
    for (const DeviceLine& line : lines) {
        bool known = false;
        for (const std::string& key : kept)
            known = known || key == line.key();
        if (!known)
            gst_device_provider_device_add(provider, makeDevice(line, pathKey));
    }
}

static void vidora_fake_provider_class_init(VidoraFakeProviderClass* klass) {
    GstDeviceProviderClass* providerClass = GST_DEVICE_PROVIDER_CLASS(klass);
    providerClass->probe = vidora_fake_provider_probe;
    providerClass->start = vidora_fake_provider_start;
    providerClass->stop = vidora_fake_provider_stop;
    klass->rescan = vidora_fake_provider_rescan;
    g_signal_new("rescan", G_TYPE_FROM_CLASS(klass),
                 GSignalFlags(G_SIGNAL_RUN_LAST | G_SIGNAL_ACTION),
                 G_STRUCT_OFFSET(VidoraFakeProviderClass, rescan), nullptr, nullptr, nullptr,
                 G_TYPE_NONE, 0);
}

static void vidora_fake_provider_init(VidoraFakeProvider*) {}

// The V4L2-like flavour.
G_BEGIN_DECLS
#define VIDORA_TYPE_FAKE_V4L2_PROVIDER (vidora_fake_v4l2_provider_get_type())
G_DECLARE_FINAL_TYPE(VidoraFakeV4l2Provider, vidora_fake_v4l2_provider, VIDORA, FAKE_V4L2_PROVIDER,
                     VidoraFakeProvider)
G_END_DECLS

struct _VidoraFakeV4l2Provider {
    VidoraFakeProvider parent;
};

G_DEFINE_TYPE(VidoraFakeV4l2Provider, vidora_fake_v4l2_provider, VIDORA_TYPE_FAKE_PROVIDER)

static void vidora_fake_v4l2_provider_class_init(VidoraFakeV4l2ProviderClass* klass) {
    auto* base = reinterpret_cast<VidoraFakeProviderClass*>(klass);
    base->flavour = "v4l2";
    base->pathKey = "device.path";
    gst_device_provider_class_set_static_metadata(GST_DEVICE_PROVIDER_CLASS(klass),
                                                  "Vidora fake V4L2 devices", "Video/Source",
                                                  "Test devices named by device.path", "Vidora");
}

static void vidora_fake_v4l2_provider_init(VidoraFakeV4l2Provider*) {}

// The PipeWire-like flavour.
G_BEGIN_DECLS
#define VIDORA_TYPE_FAKE_PW_PROVIDER (vidora_fake_pw_provider_get_type())
G_DECLARE_FINAL_TYPE(VidoraFakePwProvider, vidora_fake_pw_provider, VIDORA, FAKE_PW_PROVIDER,
                     VidoraFakeProvider)
G_END_DECLS

struct _VidoraFakePwProvider {
    VidoraFakeProvider parent;
};

G_DEFINE_TYPE(VidoraFakePwProvider, vidora_fake_pw_provider, VIDORA_TYPE_FAKE_PROVIDER)

static void vidora_fake_pw_provider_class_init(VidoraFakePwProviderClass* klass) {
    auto* base = reinterpret_cast<VidoraFakeProviderClass*>(klass);
    base->flavour = "pw";
    base->pathKey = "api.v4l2.path";
    gst_device_provider_class_set_static_metadata(GST_DEVICE_PROVIDER_CLASS(klass),
                                                  "Vidora fake PipeWire devices", "Video/Source",
                                                  "Test devices named by api.v4l2.path", "Vidora");
}

static void vidora_fake_pw_provider_init(VidoraFakePwProvider*) {}

// ---------------------------------------------------------------------------------------------

static gboolean plugin_init(GstPlugin* plugin) {
    return gst_device_provider_register(plugin, "vidorafakev4l2provider", GST_RANK_PRIMARY,
                                        VIDORA_TYPE_FAKE_V4L2_PROVIDER) &&
           gst_device_provider_register(plugin, "vidorafakepwprovider", GST_RANK_PRIMARY,
                                        VIDORA_TYPE_FAKE_PW_PROVIDER);
}

#define PACKAGE "vidora-tests"
GST_PLUGIN_DEFINE(GST_VERSION_MAJOR, GST_VERSION_MINOR, vidorafake,
                  "Fake video capture devices for Vidora's tests", plugin_init, "1.0", "LGPL",
                  PACKAGE, "https://example.invalid/vidora")
