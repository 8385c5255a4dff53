#pragma once
// The receiver's vendor requests: an 8-byte USB setup block (request type, request, value,
// index, length; 16-bit fields little-endian) sent on the default control endpoint. For
// device-to-host requests the data bytes come back in the block, from byte 0.
#include <cstdint>

namespace vidora::usb {

// What a vendor request comes to: 0 is success; a refusal for lack of permission on the USB
// device is told apart from every other failure, since only installing the udev rules (and
// plugging the receiver in again) mends it.
inline constexpr int32_t kVendorRequestOk = 0;
inline constexpr int32_t kVendorRequestFailed = -1;
inline constexpr int32_t kVendorRequestNoPermission = -2;

// The transport's error for a device this user may not open (LIBUSB_ERROR_ACCESS).
inline constexpr int kTransportAccessDenied = -3;

struct SetupBlock {
    uint8_t requestType = 0;
    uint8_t request = 0;
    uint16_t value = 0;
    uint16_t index = 0;
    uint16_t length = 0;
    bool deviceToHost() const { return (requestType & 0x80) != 0; }
};

SetupBlock parseSetupBlock(const uint8_t* block);

// The control endpoint of one USB device.
class ControlTransport {
  public:
    virtual ~ControlTransport() = default;
    // Sends the request; `data` holds `setup.length` bytes (filled for device-to-host requests).
    // Returns the number of bytes transferred, or a negative libusb error.
    virtual int controlTransfer(const SetupBlock& setup, uint8_t* data) = 0;
};

// VendorCmdRW over a transport: *length must be 8. Reads return at most 8 bytes (what fits in
// the block) and must return all the bytes they ask for; host-to-device requests carry no data
// (the block has none to give). kVendorRequestOk on success, kVendorRequestNoPermission when the
// transport is refused access, kVendorRequestFailed for any other failure (an exception from the
// transport included).
int32_t sendVendorRequest(ControlTransport& transport, uint8_t* block, const int32_t* length);

}  // namespace vidora::usb
