#include "platform/usb/libusb_device.h"

namespace vidora::usb {

namespace {
constexpr unsigned kTimeoutMs = 1000;
}

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

std::unique_ptr<LibusbControlDevice> LibusbControlDevice::open(const UsbAddress& address) {
    libusb_context* raw = nullptr;
    if (libusb_init(&raw) != 0)
        return nullptr;
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
            if (libusb_open(device, &h) == 0)
                handle.reset(h);
            break;
        }
    }
    if (!handle)
        return nullptr;
    return std::make_unique<LibusbControlDevice>(std::move(context), std::move(handle));
}

int LibusbControlDevice::controlTransfer(const SetupBlock& setup, uint8_t* data) {
    std::lock_guard lock(mutex_);
    return libusb_control_transfer(handle_.get(), setup.requestType, setup.request, setup.value,
                                   setup.index, data, setup.length, kTimeoutMs);
}

}  // namespace vidora::usb
