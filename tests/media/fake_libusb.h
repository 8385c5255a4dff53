#pragma once
// A stand-in for libusb-1.0: a shared library that defines the libusb functions the receiver's
// control path calls, and the ones it must never call (claiming an interface, detaching the
// capture driver), over a scripted list of USB devices. A test program links it ahead of the
// real libusb, so the real control code runs against it; every call lands in a log the test
// reads back. Thread-safe.
#include <cstdint>
#include <string>
#include <vector>

#define VIDORA_FAKE_LIBUSB_API __attribute__((visibility("default")))

namespace vidora::fakeusb {

// One device on the fake bus and how it answers.
struct Device {
    int bus = 1;
    int address = 1;
    uint16_t vendorId = 0;
    uint16_t productId = 0;
    int openError = 0;      // libusb_open fails with it (LIBUSB_ERROR_ACCESS, ...) when non-zero
    int transferError = 0;  // every control transfer fails with it when non-zero
    uint8_t status = 0xFF;  // the byte a device-to-host request reads back
};

// One call into the fake, with the arguments that matter to the tests.
struct Call {
    std::string function;  // "libusb_init", "libusb_control_transfer", ...
    int bus = 0;           // the device's, for calls on a device or handle
    int address = 0;
    uint8_t requestType = 0;  // control transfers
    uint8_t request = 0;
    uint16_t value = 0;
    uint16_t index = 0;
    uint16_t length = 0;
    unsigned timeoutMs = 0;
    int result = 0;
};

// Replaces the bus with `devices`, clears the log, and forgets every context, list and handle.
VIDORA_FAKE_LIBUSB_API void reset(std::vector<Device> devices);
// Replaces one device's answers (found by bus and address); false when there is none.
VIDORA_FAKE_LIBUSB_API bool script(const Device& device);
// Takes a device off the bus: its open handles fail with LIBUSB_ERROR_NO_DEVICE from now on.
VIDORA_FAKE_LIBUSB_API void unplug(int bus, int address);
// Puts a device on the bus (a receiver plugged in again gets a new address).
VIDORA_FAKE_LIBUSB_API void plug(const Device& device);

VIDORA_FAKE_LIBUSB_API std::vector<Call> calls();
VIDORA_FAKE_LIBUSB_API int count(const std::string& function);
VIDORA_FAKE_LIBUSB_API void clearCalls();

// What is still open: contexts not exited, device lists not freed, handles not closed.
struct Outstanding {
    int contexts = 0;
    int lists = 0;
    int handles = 0;
    bool operator==(const Outstanding&) const = default;
};
VIDORA_FAKE_LIBUSB_API Outstanding outstanding();
// Misuse seen since the last reset (a handle used after close, a context exited while one of
// its handles is still open, a list freed twice ...), one text per misuse.
VIDORA_FAKE_LIBUSB_API std::vector<std::string> misuse();

}  // namespace vidora::fakeusb
