#include "platform/usb/control_link.h"

#include "platform/log/log.h"

namespace vidora::usb {

ControlLink::ControlLink(Opener open) : open_(std::move(open)) {}

int32_t ControlLink::send(uint8_t* block, const int32_t* length) {
    std::lock_guard lock(mutex_);
    if (accessDenied_)
        return kVendorRequestNoPermission;
    if (!transport_) {
        OpenedTransport opened = open_ ? open_() : OpenedTransport{};
        if (!opened.transport) {
            if (opened.error != kTransportAccessDenied)
                return kVendorRequestFailed;
            accessDenied_ = true;
            qCWarning(log::usb) << "no permission to open the receiver's USB device: channel "
                                   "select and alarms stay off until it is plugged in again";
            return kVendorRequestNoPermission;
        }
        transport_ = std::move(opened.transport);
    }
    const int32_t result = sendVendorRequest(*transport_, block, length);
    if (result == kVendorRequestNoPermission) {
        accessDenied_ = true;
        qCWarning(log::usb) << "the receiver's USB device refused a vendor request for lack of "
                               "permission: channel select and alarms stay off";
    }
    // A failed transfer may mean the device was replugged under a new address: look it up
    // again next time.
    if (result != kVendorRequestOk)
        transport_.reset();
    return result;
}

bool ControlLink::accessDenied() const {
    std::lock_guard lock(mutex_);
    return accessDenied_;
}

}  // namespace vidora::usb
