#include "review/avi_length.h"

#include <cstring>
#include <fstream>

namespace vidora {

namespace {

uint32_t le32(const unsigned char* p) {
    return uint32_t{p[0]} | (uint32_t{p[1]} << 8) | (uint32_t{p[2]} << 16) | (uint32_t{p[3]} << 24);
}

bool isVideoChunk(const unsigned char* id) {
    // "##dc" (compressed) or "##db" (uncompressed) of any stream number.
    return id[2] == 'd' && (id[3] == 'c' || id[3] == 'b');
}

}  // namespace

AviLength readAviLength(const std::string& path) {
    AviLength result;
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return result;
    in.seekg(0, std::ios::end);
    const int64_t fileSize = in.tellg();
    in.seekg(0);
    unsigned char head[56];
    if (!in.read(reinterpret_cast<char*>(head), sizeof head))
        return result;
    if (std::memcmp(head, "RIFF", 4) != 0 || std::memcmp(head + 8, "AVI ", 4) != 0 ||
        std::memcmp(head + 24, "avih", 4) != 0)
        return result;
    result.valid = true;
    result.microsecondsPerPicture = le32(head + 32);
    const uint32_t headerPictures = le32(head + 48);
    result.truncated = int64_t{le32(head + 4)} + 8 > fileSize || headerPictures == 0;
    if (!result.truncated) {
        result.pictures = headerPictures;
        return result;
    }
    // Walk the top-level chunks to "movi", then its chunks up to the first one the file cuts.
    int64_t at = 12;
    unsigned char chunk[12];
    while (at + 12 <= fileSize) {
        in.seekg(at);
        if (!in.read(reinterpret_cast<char*>(chunk), 12))
            return result;
        const int64_t size = le32(chunk + 4);
        if (std::memcmp(chunk, "LIST", 4) == 0 && std::memcmp(chunk + 8, "movi", 4) == 0) {
            // The list's own size may still be the placeholder written at its start.
            int64_t c = at + 12;
            while (c + 8 <= fileSize) {
                in.seekg(c);
                if (!in.read(reinterpret_cast<char*>(chunk), 8))
                    break;
                const int64_t dataSize = le32(chunk + 4);
                if (std::memcmp(chunk, "idx1", 4) == 0 || c + 8 + dataSize > fileSize)
                    break;
                if (isVideoChunk(chunk))
                    ++result.pictures;
                c += 8 + dataSize + (dataSize & 1);
            }
            return result;
        }
        at += 8 + size + (size & 1);
    }
    return result;
}

}  // namespace vidora
