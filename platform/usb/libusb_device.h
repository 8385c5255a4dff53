#pragma once
// The receiver's control endpoint over libusb: opens the USB device at a bus address and sends
// control transfers on endpoint 0. No interface is claimed (vendor requests to the device need
// none), so the capture driver keeps its interfaces. Owned by the real backend's capture source;
// calls are serialised by its own lock.
#include <libusb.h>

#include <memory>
#include <mutex>

#include "platform/usb/sysfs_lookup.h"
#include "platform/usb/vendor_request.h"

namespace vidora::usb {

struct LibusbContextDeleter {
    void operator()(libusb_context* c) const { libusb_exit(c); }
};
struct LibusbHandleDeleter {
    void operator()(libusb_device_handle* h) const { libusb_close(h); }
};
using LibusbContextPtr = std::unique_ptr<libusb_context, LibusbContextDeleter>;
using LibusbHandlePtr = std::unique_ptr<libusb_device_handle, LibusbHandleDeleter>;

// A device list from libusb_get_device_list, released with its devices' references.
class LibusbDeviceList {
  public:
    explicit LibusbDeviceList(libusb_context* context);
    ~LibusbDeviceList();
    LibusbDeviceList(const LibusbDeviceList&) = delete;
    LibusbDeviceList& operator=(const LibusbDeviceList&) = delete;
    libusb_device* const* begin() const { return devices_; }
    libusb_device* const* end() const { return devices_ + (count_ > 0 ? count_ : 0); }

  private:
    libusb_device** devices_ = nullptr;
    ssize_t count_ = 0;
};

class LibusbControlDevice final : public ControlTransport {
  public:
    // nullptr when the device is not there or cannot be opened (permissions: the installer's
    // udev rule gives the user access); `error` then receives the libusb error code
    // (LIBUSB_ERROR_NOT_FOUND when no device has the address, LIBUSB_ERROR_ACCESS without access).
    static std::unique_ptr<LibusbControlDevice> open(const UsbAddress& address,
                                                     int* error = nullptr);
    LibusbControlDevice(LibusbContextPtr context, LibusbHandlePtr handle);
    int controlTransfer(const SetupBlock& setup, uint8_t* data) override;

  private:
    LibusbContextPtr context_;  // declared first: the handle is closed before the context exits
    LibusbHandlePtr handle_;
    std::mutex mutex_;
};

}  // namespace vidora::usb
