#include "tests/media/fake_provider/fake_devices.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>

namespace vidora::test {

namespace {

constexpr const char* kProviderNames[] = {"vidorafakev4l2provider", "vidorafakepwprovider"};

// The node a device of any provider names, by either property a provider may use.
std::string nodeOf(GstDevice* device) {
    GstStructure* props = gst_device_get_properties(device);
    if (!props)
        return {};
    std::string node;
    for (const char* key : {"api.v4l2.path", "device.path"}) {
        if (const gchar* value = gst_structure_get_string(props, key)) {
            node = value;
            break;
        }
    }
    gst_structure_free(props);
    return node;
}

media::GstPtr<GstDeviceProvider> fakeProvider(const char* name) {
    return media::adoptRef(gst_device_provider_factory_get_by_name(name));
}

}  // namespace

FakeDevices::FakeDevices() {
    file_ = (std::filesystem::temp_directory_path() /
             ("vidora-fake-devices-" + std::to_string(::getpid()) + ".txt"))
                .string();
    set({});
    setenv("VIDORA_FAKE_DEVICES", file_.c_str(), 1);
    setenv("GST_PLUGIN_PATH", VIDORA_FAKE_PROVIDER_DIR, 1);
    setenv("GST_REGISTRY", VIDORA_FAKE_PROVIDER_REGISTRY, 1);
    media::ensureGstInitialized();
    // The machine's own cameras (and PipeWire or libcamera views of them) stay out of the lists.
    GList* factories = gst_device_provider_factory_list_get_device_providers(GST_RANK_NONE);
    for (GList* item = factories; item; item = item->next) {
        auto* feature = GST_PLUGIN_FEATURE(item->data);
        const gchar* name = gst_plugin_feature_get_name(feature);
        if (std::strcmp(name, kProviderNames[0]) != 0 && std::strcmp(name, kProviderNames[1]) != 0)
            gst_plugin_feature_set_rank(feature, GST_RANK_NONE);
    }
    gst_plugin_feature_list_free(factories);
}

FakeDevices::~FakeDevices() {
    std::error_code ec;
    std::filesystem::remove(file_, ec);
}

bool FakeDevices::loaded() const {
    for (const char* name : kProviderNames) {
        GstDeviceProviderFactory* factory = gst_device_provider_factory_find(name);
        if (!factory)
            return false;
        gst_object_unref(factory);
    }
    return true;
}

void FakeDevices::set(const std::vector<FakeDevice>& devices) {
    // Written aside and renamed, so a provider never reads half a list.
    const std::string next = file_ + ".new";
    {
        std::ofstream out(next, std::ios::trunc);
        out << "# provider\tnode\tname\tflags\n";
        for (const FakeDevice& d : devices) {
            out << (d.provider == FakeDevice::Provider::V4l2 ? "v4l2" : "pw") << '\t' << d.node
                << '\t' << d.name << '\t' << (d.broken ? "broken" : "") << '\n';
        }
    }
    std::filesystem::rename(next, file_);
}

void FakeDevices::rescan() {
    for (const char* name : kProviderNames) {
        if (auto provider = fakeProvider(name))
            g_signal_emit_by_name(provider.get(), "rescan");
    }
}

bool FakeDeviceSource::bind(const media::DeviceInfo& device) {
    device_.reset();
    for (const char* name : kProviderNames) {
        auto provider = fakeProvider(name);
        if (!provider)
            continue;
        GList* devices = gst_device_provider_get_devices(provider.get());
        for (GList* item = devices; item && !device_; item = item->next) {
            if (nodeOf(GST_DEVICE(item->data)) == device.path)
                device_ = media::addRef(GST_DEVICE(item->data));
        }
        g_list_free_full(devices, gst_object_unref);
    }
    return device_ != nullptr;
}

media::GstPtr<GstElement> FakeDeviceSource::createVideoSource(media::VideoStandard) {
    if (!device_)
        return nullptr;
    return media::adoptFloating(gst_device_create_element(device_.get(), nullptr));
}

int32_t FakeDeviceSource::vendorCmdRW(uint8_t* block, int32_t* length) {
    if (!block || !length || *length != 8)
        return -1;
    if (block[0] == 0xC0)
        block[0] = 0x30;  // both alarm inputs at rest
    return 0;
}

}  // namespace vidora::test
