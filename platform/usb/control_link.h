#pragma once
// The receiver's control endpoint as the capture source uses it: opened at the first request,
// dropped after a failed one (the device may have come back under a new address), and left
// closed for good once the user was refused access. Without the udev rules every open fails
// with an access error, and trying again for each request (the alarm poll alone sends five a
// second) would only start and stop libusb over and over; a new link, made when the receiver
// arrives again, tries once more. Calls are serialised by the link's own lock.
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>

#include "platform/usb/vendor_request.h"

namespace vidora::usb {

// The result of opening the control endpoint: a transport, or the libusb error that kept it
// closed.
struct OpenedTransport {
    std::unique_ptr<ControlTransport> transport;
    int error = 0;
};

class ControlLink {
  public:
    using Opener = std::function<OpenedTransport()>;

    explicit ControlLink(Opener open);
    ControlLink(const ControlLink&) = delete;
    ControlLink& operator=(const ControlLink&) = delete;

    // sendVendorRequest through the link; kVendorRequestNoPermission at once, without touching
    // the device, once access was refused.
    int32_t send(uint8_t* block, const int32_t* length);

    bool accessDenied() const;

  private:
    Opener open_;
    mutable std::mutex mutex_;
    std::unique_ptr<ControlTransport> transport_;  // guarded by mutex_
    bool accessDenied_ = false;                    // guarded by mutex_
};

}  // namespace vidora::usb
