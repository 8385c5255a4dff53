#pragma once
// What the AVI headers of a recording tell without decoding it: how many whole pictures it holds
// and at what rate. A file that was never closed (the program ended while it was written) has no
// index and unfinished header counts; its pictures are counted by walking its chunks up to the
// last one that is whole.
#include <cstdint>
#include <string>

namespace vidora {

struct AviLength {
    bool valid = false;      // a RIFF AVI file with a main header
    bool truncated = false;  // its sizes run past the end of the file
    uint32_t pictures = 0;   // whole video chunks
    uint32_t microsecondsPerPicture = 0;
    int64_t durationMs() const {
        return static_cast<int64_t>(pictures) * microsecondsPerPicture / 1000;
    }
};

AviLength readAviLength(const std::string& path);

}  // namespace vidora
