#pragma once
// JPEG files read back as the JPEG library decodes them, for tests of snapshots.
#include <cstdint>
#include <string>
#include <vector>

namespace vidora::test {

struct RgbImage {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> rgb;  // top row first, red-green-blue

    bool empty() const { return rgb.empty(); }
};

// Empty when the file cannot be opened or is not a whole JPEG picture (the library's message is
// then printed, and the test goes on).
RgbImage decodeJpegFile(const std::string& path);

}  // namespace vidora::test
