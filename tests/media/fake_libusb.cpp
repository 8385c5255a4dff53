// The fake libusb's state: the devices on its bus, the contexts, lists and handles it gave out
// (kept until the next reset, so a pointer used after its release is recognised, never reused),
// and the log of calls.
#include "tests/media/fake_libusb.h"

#include <libusb.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <mutex>

struct libusb_context {
    bool open = true;
};

struct libusb_device {
    vidora::fakeusb::Device script;
    bool plugged = true;
    int references = 0;
};

struct libusb_device_handle {
    libusb_device* device = nullptr;
    libusb_context* context = nullptr;
    bool open = true;
};

namespace vidora::fakeusb {
namespace {

struct State {
    ~State() {
        for (libusb_device** list : lists)
            delete[] list;
    }
    std::mutex mutex;
    std::vector<std::unique_ptr<libusb_device>> devices;
    std::vector<std::unique_ptr<libusb_context>> contexts;
    std::vector<std::unique_ptr<libusb_device_handle>> handles;
    std::vector<libusb_device**> lists;  // given out and not yet freed
    std::vector<Call> calls;
    std::vector<std::string> misuse;
};

State& state() {
    static State s;
    return s;
}

Call& record(State& s, const char* function, const libusb_device* device = nullptr) {
    Call call;
    call.function = function;
    if (device) {
        call.bus = device->script.bus;
        call.address = device->script.address;
    }
    s.calls.push_back(call);
    return s.calls.back();
}

libusb_context* knownContext(State& s, libusb_context* context, const char* function) {
    for (const auto& c : s.contexts) {
        if (c.get() == context) {
            if (!c->open)
                s.misuse.push_back(std::string(function) + " on an exited context");
            return c.get();
        }
    }
    // Our code always starts a context of its own; the default context is a shared one.
    s.misuse.push_back(std::string(function) +
                       (context ? " on an unknown context" : " on the default context"));
    return nullptr;
}

// The handle, or nullptr (and the misuse noted) when it is closed or unknown.
libusb_device_handle* liveHandle(State& s, libusb_device_handle* handle, const char* function) {
    for (const auto& h : s.handles) {
        if (h.get() != handle)
            continue;
        if (!h->open) {
            s.misuse.push_back(std::string(function) + " on a closed handle");
            return nullptr;
        }
        if (!h->context->open)
            s.misuse.push_back(std::string(function) + " on a handle of an exited context");
        return h.get();
    }
    s.misuse.push_back(std::string(function) + " on an unknown handle");
    return nullptr;
}

libusb_device* findDevice(State& s, int bus, int address) {
    for (const auto& d : s.devices) {
        if (d->plugged && d->script.bus == bus && d->script.address == address)
            return d.get();
    }
    return nullptr;
}

// Calls that would take an interface away from the capture driver: logged, and answered as
// libusb would on success, so only the log tells that they happened.
int interfaceCall(libusb_device_handle* handle, const char* function, int argument) {
    State& s = state();
    std::lock_guard lock(s.mutex);
    libusb_device_handle* h = liveHandle(s, handle, function);
    Call& call = record(s, function, h ? h->device : nullptr);
    call.value = static_cast<uint16_t>(argument);
    return 0;
}

}  // namespace

void reset(std::vector<Device> devices) {
    State& s = state();
    std::lock_guard lock(s.mutex);
    for (libusb_device** list : s.lists)
        delete[] list;
    s.lists.clear();
    s.handles.clear();
    s.contexts.clear();
    s.devices.clear();
    for (const Device& d : devices)
        s.devices.push_back(std::make_unique<libusb_device>(libusb_device{d, true, 0}));
    s.calls.clear();
    s.misuse.clear();
}

bool script(const Device& device) {
    State& s = state();
    std::lock_guard lock(s.mutex);
    libusb_device* d = findDevice(s, device.bus, device.address);
    if (d)
        d->script = device;
    return d != nullptr;
}

void unplug(int bus, int address) {
    State& s = state();
    std::lock_guard lock(s.mutex);
    if (libusb_device* d = findDevice(s, bus, address))
        d->plugged = false;
}

void plug(const Device& device) {
    State& s = state();
    std::lock_guard lock(s.mutex);
    s.devices.push_back(std::make_unique<libusb_device>(libusb_device{device, true, 0}));
}

std::vector<Call> calls() {
    State& s = state();
    std::lock_guard lock(s.mutex);
    return s.calls;
}

int count(const std::string& function) {
    State& s = state();
    std::lock_guard lock(s.mutex);
    return static_cast<int>(std::count_if(s.calls.begin(), s.calls.end(),
                                          [&](const Call& c) { return c.function == function; }));
}

void clearCalls() {
    State& s = state();
    std::lock_guard lock(s.mutex);
    s.calls.clear();
}

Outstanding outstanding() {
    State& s = state();
    std::lock_guard lock(s.mutex);
    Outstanding o;
    o.contexts = static_cast<int>(
        std::count_if(s.contexts.begin(), s.contexts.end(), [](auto& c) { return c->open; }));
    o.lists = static_cast<int>(s.lists.size());
    o.handles = static_cast<int>(
        std::count_if(s.handles.begin(), s.handles.end(), [](auto& h) { return h->open; }));
    return o;
}

std::vector<std::string> misuse() {
    State& s = state();
    std::lock_guard lock(s.mutex);
    return s.misuse;
}

}  // namespace vidora::fakeusb

// ---------------------------------------------------------------------------------------------
// The libusb functions, with the signatures of libusb.h.

using vidora::fakeusb::State;
using vidora::fakeusb::state;

extern "C" {

VIDORA_FAKE_LIBUSB_API int LIBUSB_CALL libusb_init(libusb_context** context) {
    State& s = state();
    std::lock_guard lock(s.mutex);
    vidora::fakeusb::record(s, "libusb_init");
    if (!context) {
        s.misuse.push_back("libusb_init of the default context");
        return 0;
    }
    s.contexts.push_back(std::make_unique<libusb_context>());
    *context = s.contexts.back().get();
    return 0;
}

VIDORA_FAKE_LIBUSB_API void LIBUSB_CALL libusb_exit(libusb_context* context) {
    State& s = state();
    std::lock_guard lock(s.mutex);
    vidora::fakeusb::record(s, "libusb_exit");
    libusb_context* c = vidora::fakeusb::knownContext(s, context, "libusb_exit");
    if (!c)
        return;
    if (!c->open) {
        return;
    }
    for (const auto& h : s.handles) {
        if (h->context == c && h->open)
            s.misuse.push_back("libusb_exit while a handle of the context is open");
    }
    c->open = false;
}

VIDORA_FAKE_LIBUSB_API ssize_t LIBUSB_CALL libusb_get_device_list(libusb_context* context,
                                                                  libusb_device*** list) {
    State& s = state();
    std::lock_guard lock(s.mutex);
    vidora::fakeusb::Call& call = vidora::fakeusb::record(s, "libusb_get_device_list");
    vidora::fakeusb::knownContext(s, context, "libusb_get_device_list");
    std::vector<libusb_device*> plugged;
    for (const auto& d : s.devices) {
        if (d->plugged)
            plugged.push_back(d.get());
    }
    auto* array = new libusb_device*[plugged.size() + 1];
    for (std::size_t i = 0; i < plugged.size(); ++i) {
        array[i] = plugged[i];
        ++plugged[i]->references;
    }
    array[plugged.size()] = nullptr;
    s.lists.push_back(array);
    *list = array;
    call.result = static_cast<int>(plugged.size());
    return static_cast<ssize_t>(plugged.size());
}

VIDORA_FAKE_LIBUSB_API void LIBUSB_CALL libusb_free_device_list(libusb_device** list,
                                                                int unrefDevices) {
    State& s = state();
    std::lock_guard lock(s.mutex);
    vidora::fakeusb::record(s, "libusb_free_device_list").value =
        static_cast<uint16_t>(unrefDevices);
    auto it = std::find(s.lists.begin(), s.lists.end(), list);
    if (it == s.lists.end()) {
        s.misuse.push_back("libusb_free_device_list of a list not given out (or freed twice)");
        return;
    }
    if (unrefDevices) {
        for (libusb_device** d = list; *d; ++d)
            --(*d)->references;
    }
    s.lists.erase(it);
    delete[] list;
}

VIDORA_FAKE_LIBUSB_API libusb_device* LIBUSB_CALL libusb_ref_device(libusb_device* device) {
    State& s = state();
    std::lock_guard lock(s.mutex);
    vidora::fakeusb::record(s, "libusb_ref_device", device);
    ++device->references;
    return device;
}

VIDORA_FAKE_LIBUSB_API void LIBUSB_CALL libusb_unref_device(libusb_device* device) {
    State& s = state();
    std::lock_guard lock(s.mutex);
    vidora::fakeusb::record(s, "libusb_unref_device", device);
    --device->references;
}

VIDORA_FAKE_LIBUSB_API uint8_t LIBUSB_CALL libusb_get_bus_number(libusb_device* device) {
    std::lock_guard lock(state().mutex);
    return static_cast<uint8_t>(device->script.bus);
}

VIDORA_FAKE_LIBUSB_API uint8_t LIBUSB_CALL libusb_get_device_address(libusb_device* device) {
    std::lock_guard lock(state().mutex);
    return static_cast<uint8_t>(device->script.address);
}

VIDORA_FAKE_LIBUSB_API int LIBUSB_CALL
libusb_get_device_descriptor(libusb_device* device, struct libusb_device_descriptor* descriptor) {
    State& s = state();
    std::lock_guard lock(s.mutex);
    vidora::fakeusb::record(s, "libusb_get_device_descriptor", device);
    std::memset(descriptor, 0, sizeof *descriptor);
    descriptor->bLength = LIBUSB_DT_DEVICE_SIZE;
    descriptor->bDescriptorType = LIBUSB_DT_DEVICE;
    descriptor->bcdUSB = 0x0200;
    descriptor->bMaxPacketSize0 = 64;
    descriptor->idVendor = device->script.vendorId;
    descriptor->idProduct = device->script.productId;
    descriptor->bNumConfigurations = 1;
    return 0;
}

VIDORA_FAKE_LIBUSB_API int LIBUSB_CALL libusb_open(libusb_device* device,
                                                   libusb_device_handle** handle) {
    State& s = state();
    std::lock_guard lock(s.mutex);
    vidora::fakeusb::Call& call = vidora::fakeusb::record(s, "libusb_open", device);
    if (device->references <= 0)
        s.misuse.push_back("libusb_open of a device whose list was freed");
    if (!device->plugged) {
        call.result = LIBUSB_ERROR_NO_DEVICE;
    } else if (device->script.openError != 0) {
        call.result = device->script.openError;
    } else {
        // The handle belongs to the context of the list the device came from; the fake has one
        // bus for all contexts, so the newest open context stands for it.
        libusb_context* context = nullptr;
        for (const auto& c : s.contexts) {
            if (c->open)
                context = c.get();
        }
        if (!context) {
            s.misuse.push_back("libusb_open without an open context");
            call.result = LIBUSB_ERROR_OTHER;
            return call.result;
        }
        s.handles.push_back(
            std::make_unique<libusb_device_handle>(libusb_device_handle{device, context, true}));
        ++device->references;
        *handle = s.handles.back().get();
        call.result = 0;
    }
    return call.result;
}

VIDORA_FAKE_LIBUSB_API void LIBUSB_CALL libusb_close(libusb_device_handle* handle) {
    State& s = state();
    std::lock_guard lock(s.mutex);
    libusb_device_handle* h = vidora::fakeusb::liveHandle(s, handle, "libusb_close");
    vidora::fakeusb::record(s, "libusb_close", h ? h->device : nullptr);
    if (!h)
        return;
    h->open = false;
    --h->device->references;
}

VIDORA_FAKE_LIBUSB_API int LIBUSB_CALL libusb_control_transfer(libusb_device_handle* handle,
                                                               uint8_t requestType, uint8_t request,
                                                               uint16_t value, uint16_t index,
                                                               unsigned char* data, uint16_t length,
                                                               unsigned int timeout) {
    State& s = state();
    std::lock_guard lock(s.mutex);
    libusb_device_handle* h = vidora::fakeusb::liveHandle(s, handle, "libusb_control_transfer");
    vidora::fakeusb::Call& call =
        vidora::fakeusb::record(s, "libusb_control_transfer", h ? h->device : nullptr);
    call.requestType = requestType;
    call.request = request;
    call.value = value;
    call.index = index;
    call.length = length;
    call.timeoutMs = timeout;
    if (!h) {
        call.result = LIBUSB_ERROR_INVALID_PARAM;
    } else if (!h->device->plugged) {
        call.result = LIBUSB_ERROR_NO_DEVICE;
    } else if (h->device->script.transferError != 0) {
        call.result = h->device->script.transferError;
    } else {
        if ((requestType & LIBUSB_ENDPOINT_IN) && length > 0) {
            if (!data) {
                s.misuse.push_back("libusb_control_transfer reads into no buffer");
                call.result = LIBUSB_ERROR_INVALID_PARAM;
                return call.result;
            }
            data[0] = h->device->script.status;
            call.result = 1;  // the receiver answers one byte, whatever is asked
        } else {
            call.result = length;
        }
    }
    return call.result;
}

VIDORA_FAKE_LIBUSB_API int LIBUSB_CALL libusb_claim_interface(libusb_device_handle* handle,
                                                              int interfaceNumber) {
    return vidora::fakeusb::interfaceCall(handle, "libusb_claim_interface", interfaceNumber);
}

VIDORA_FAKE_LIBUSB_API int LIBUSB_CALL libusb_release_interface(libusb_device_handle* handle,
                                                                int interfaceNumber) {
    return vidora::fakeusb::interfaceCall(handle, "libusb_release_interface", interfaceNumber);
}

VIDORA_FAKE_LIBUSB_API int LIBUSB_CALL libusb_kernel_driver_active(libusb_device_handle* handle,
                                                                   int interfaceNumber) {
    vidora::fakeusb::interfaceCall(handle, "libusb_kernel_driver_active", interfaceNumber);
    return 1;
}

VIDORA_FAKE_LIBUSB_API int LIBUSB_CALL libusb_detach_kernel_driver(libusb_device_handle* handle,
                                                                   int interfaceNumber) {
    return vidora::fakeusb::interfaceCall(handle, "libusb_detach_kernel_driver", interfaceNumber);
}

VIDORA_FAKE_LIBUSB_API int LIBUSB_CALL
libusb_set_auto_detach_kernel_driver(libusb_device_handle* handle, int enable) {
    return vidora::fakeusb::interfaceCall(handle, "libusb_set_auto_detach_kernel_driver", enable);
}

VIDORA_FAKE_LIBUSB_API int LIBUSB_CALL libusb_set_configuration(libusb_device_handle* handle,
                                                                int configuration) {
    return vidora::fakeusb::interfaceCall(handle, "libusb_set_configuration", configuration);
}

VIDORA_FAKE_LIBUSB_API int LIBUSB_CALL libusb_reset_device(libusb_device_handle* handle) {
    return vidora::fakeusb::interfaceCall(handle, "libusb_reset_device", 0);
}

VIDORA_FAKE_LIBUSB_API const char* LIBUSB_CALL libusb_error_name(int code) {
    switch (code) {
        case LIBUSB_SUCCESS:
            return "LIBUSB_SUCCESS";
        case LIBUSB_ERROR_IO:
            return "LIBUSB_ERROR_IO";
        case LIBUSB_ERROR_INVALID_PARAM:
            return "LIBUSB_ERROR_INVALID_PARAM";
        case LIBUSB_ERROR_ACCESS:
            return "LIBUSB_ERROR_ACCESS";
        case LIBUSB_ERROR_NO_DEVICE:
            return "LIBUSB_ERROR_NO_DEVICE";
        case LIBUSB_ERROR_NOT_FOUND:
            return "LIBUSB_ERROR_NOT_FOUND";
        case LIBUSB_ERROR_BUSY:
            return "LIBUSB_ERROR_BUSY";
        case LIBUSB_ERROR_TIMEOUT:
            return "LIBUSB_ERROR_TIMEOUT";
        case LIBUSB_ERROR_PIPE:
            return "LIBUSB_ERROR_PIPE";
        default:
            return "LIBUSB_ERROR_OTHER";
    }
}

}  // extern "C"
