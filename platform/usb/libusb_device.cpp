#include "platform/usb/libusb_device.h"

#include "platform/log/log.h"

namespace vidora::usb {

namespace {
constexpr unsigned kTimeoutMs = 1000;
static_assert(kTransportAccessDenied == LIBUSB_ERROR_ACCESS);
}  // namespace

LibusbDeviceList::LibusbDeviceList(libusb_context* context) {
    count_ = libusb_get_device_list(context, &devices_);
    if (count_ < 0)
        devices_ = nullptr;
}

LibusbDeviceList::~LibusbDeviceList() {
    if (devices_)
        libusb_free_device_list(devices_, 1);
}

LibusbControlDevice::LibusbControlDevice(LibusbContextPtr context, LibusbHandlePtr handle)
    : context_(std::move(context)), handle_(std::move(handle)) {}

std::unique_ptr<LibusbControlDevice> LibusbControlDevice::open(const UsbAddress& address,
                                                               int* error) {
    int result = LIBUSB_ERROR_NOT_FOUND;
    auto fail = [&](int code) -> std::unique_ptr<LibusbControlDevice> {
        qCWarning(log::usb) << "cannot open the USB device" << address.busNumber << ":"
                            << address.deviceAddress << "-" << libusb_error_name(code);
        if (error)
            *error = code;
        return nullptr;
    };
    libusb_context* raw = nullptr;
    if (int code = libusb_init(&raw); code != 0)
        return fail(code);
    LibusbContextPtr context(raw);
    LibusbHandlePtr handle;
    {
        LibusbDeviceList list(context.get());
        for (libusb_device* device : list) {
            if (libusb_get_bus_number(device) != address.busNumber ||
                libusb_get_device_address(device) != address.deviceAddress) {
                continue;
            }
            libusb_device_handle* h = nullptr;
            result = libusb_open(device, &h);
            if (result == 0)
                handle.reset(h);
            break;
        }
    }
    if (!handle)
        return fail(result);
    if (error)
        *error = 0;
    return std::make_unique<LibusbControlDevice>(std::move(context), std::move(handle));
}

int LibusbControlDevice::controlTransfer(const SetupBlock& setup, uint8_t* data) {
    std::lock_guard lock(mutex_);
    const int result =
        libusb_control_transfer(handle_.get(), setup.requestType, setup.request, setup.value,
                                setup.index, data, setup.length, kTimeoutMs);
    if (result < 0)
        qCWarning(log::usb, "vendor request %02x %02x %04x %04x failed: %s", setup.requestType,
                  setup.request, setup.value, setup.index, libusb_error_name(result));
    return result;
}

}  // namespace vidora::usb
