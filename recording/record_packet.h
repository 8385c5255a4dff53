#pragma once
// The unit of compressed recording data between the record encoder and the consumers of the
// record sink: the stream kind, the length, the data, the key-frame flag and two words the
// producer may use. The producer's packet only borrows its buffer for the length of one write
// call; every consumer receives a PacketCopy that owns a copy of the data.
#include <cstdint>
#include <cstring>
#include <memory>

#include "recording/stream_format.h"

namespace vidora {

struct RecordPacket {
    uint32_t kind = 0;              // StreamKind
    uint32_t length = 0;            // bytes of data
    const uint8_t* data = nullptr;  // the producer's buffer
    uint32_t keyFrame = 0;          // the low byte is tested: non-zero starts a key frame
    uint32_t extra[2] = {0, 0};     // the producer's own words, carried unchanged, read by nobody

    bool isVideo() const { return kind == static_cast<uint32_t>(StreamKind::Video); }
    bool isKeyFrame() const { return (keyFrame & 0xFFu) != 0; }
};

// A consumer's own copy of a packet; `packet.data` points into `buffer`.
struct PacketCopy {
    RecordPacket packet;
    std::unique_ptr<uint8_t[]> buffer;

    // One allocation and one copy.
    static PacketCopy of(const RecordPacket& source) {
        PacketCopy copy;
        copy.packet = source;
        if (source.length > 0) {
            copy.buffer = std::make_unique_for_overwrite<uint8_t[]>(source.length);
            std::memcpy(copy.buffer.get(), source.data, source.length);
        }
        copy.packet.data = copy.buffer.get();
        return copy;
    }
};

}  // namespace vidora
