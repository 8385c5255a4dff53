#include "platform/usb/vendor_request.h"

#include <array>
#include <cstring>
#include <exception>

#include "platform/log/log.h"

namespace vidora::usb {

SetupBlock parseSetupBlock(const uint8_t* block) {
    SetupBlock s;
    s.requestType = block[0];
    s.request = block[1];
    s.value = static_cast<uint16_t>(block[2] | (block[3] << 8));
    s.index = static_cast<uint16_t>(block[4] | (block[5] << 8));
    s.length = static_cast<uint16_t>(block[6] | (block[7] << 8));
    return s;
}

int32_t sendVendorRequest(ControlTransport& transport, uint8_t* block, const int32_t* length) {
    constexpr int kBlockSize = 8;
    if (!block || !length || *length != kBlockSize)
        return kVendorRequestFailed;
    try {
        const SetupBlock setup = parseSetupBlock(block);
        if (setup.deviceToHost() ? setup.length > kBlockSize : setup.length != 0)
            return kVendorRequestFailed;
        std::array<uint8_t, kBlockSize> data{};
        const int transferred = transport.controlTransfer(setup, data.data());
        // A read that comes back short is a failure: the block would still hold the request's
        // own bytes where the answer belongs (0xC0 reads as a status with both alarm bits clear).
        if (transferred == kTransportAccessDenied)
            return kVendorRequestNoPermission;
        if (transferred < 0 || transferred != setup.length)
            return kVendorRequestFailed;
        if (setup.deviceToHost())
            std::memcpy(block, data.data(), std::size_t(transferred));
        return kVendorRequestOk;
    } catch (const std::exception& error) {
        // The select and alarm threads must go on: the request fails, and the log says why.
        qCWarning(log::usb) << "vendor request failed:" << error.what();
        return kVendorRequestFailed;
    }
}

}  // namespace vidora::usb
