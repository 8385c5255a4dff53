#pragma once
// The last seconds of a channel, compressed exactly as a recording stores them, waiting for an
// alarm: a bounded ring of video and sound packets that always begins at a key frame, so that a
// recording can start with it. It keeps everything from the newest key frame that is at least
// `keepMs` older than the newest packet; older pictures and their sound are let go a whole
// key-frame group at a time.
//
// Memory is taken once by configure(): a byte arena for the packet data and an index of fixed
// size. Adding a packet allocates nothing; when the arena or the index is full, the oldest
// key-frame group goes early, so the ring holds less time rather than more memory.
//
// Not thread-safe: the record encoder uses it under its own locks.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>

#include "recording/record_packet.h"

namespace vidora {

class PreAlarmRing {
  public:
    PreAlarmRing() = default;
    PreAlarmRing(const PreAlarmRing&) = delete;
    PreAlarmRing& operator=(const PreAlarmRing&) = delete;

    // Empties the ring and sizes it for `arenaBytes` of packet data in at most `maxPackets`
    // packets, keeping `keepMs` before the newest one. Memory is only allocated when it grows.
    void configure(uint32_t keepMs, std::size_t arenaBytes, std::size_t maxPackets);
    // Empties the ring and gives its memory back.
    void release();
    // Empties the ring; it starts again at the next key frame.
    void clear();

    // Adds a copy of the packet, taken at `timeMs` (multimedia time). A picture that is not a
    // key frame, and sound, are dropped while the ring holds no key frame. Returns whether the
    // packet is held.
    bool push(const RecordPacket& packet, uint32_t timeMs);

    // Calls `visit(const RecordPacket&, uint32_t timeMs)` for every packet held, oldest first.
    // The packets' data is valid until the ring changes.
    template <class Visit>
    void forEach(Visit&& visit) const {
        for (uint64_t seq = firstSeq_; seq < endSeq_; ++seq) {
            const Entry& e = entries_[seq % entryCapacity_];
            RecordPacket p;
            p.kind = e.kind;
            p.length = e.length;
            p.data = arena_.get() + e.offset;
            p.keyFrame = e.keyFrame ? 1u : 0u;
            visit(p, e.timeMs);
        }
    }

    bool empty() const { return endSeq_ == firstSeq_; }
    std::size_t packetCount() const { return static_cast<std::size_t>(endSeq_ - firstSeq_); }
    std::size_t pictureCount() const { return pictures_; }
    // Bytes of packet data held, and the memory the ring owns (arena and index).
    std::size_t bytesHeld() const { return bytesHeld_; }
    std::size_t memoryBytes() const;
    uint32_t keepMs() const { return keepMs_; }
    // The multimedia time of the first (key) picture held; nullopt when empty.
    std::optional<uint32_t> firstPictureTime() const;

  private:
    struct Entry {
        uint32_t offset = 0;
        uint32_t length = 0;
        uint32_t timeMs = 0;
        uint32_t kind = 0;
        bool keyFrame = false;
    };

    const Entry& at(uint64_t seq) const { return entries_[seq % entryCapacity_]; }
    // Lets go every packet before the next key frame (all of them when there is none).
    void dropOldestGroup();
    void dropBefore(uint64_t seq);
    // Where `length` bytes fit in the arena now, or nullopt.
    std::optional<std::size_t> placeFor(std::size_t length) const;

    uint32_t keepMs_ = 0;
    std::unique_ptr<uint8_t[]> arena_;
    std::size_t arenaCapacity_ = 0;
    std::unique_ptr<Entry[]> entries_;
    std::size_t entryCapacity_ = 0;
    // The key frames held, as packet numbers, oldest first (a ring of entryCapacity_).
    std::unique_ptr<uint64_t[]> keys_;
    uint64_t firstKey_ = 0;  // index into keys_ of the oldest held key frame, counting up
    uint64_t endKey_ = 0;

    uint64_t firstSeq_ = 0;  // number of the oldest packet held
    uint64_t endSeq_ = 0;    // number the next packet gets
    std::size_t writePos_ = 0;
    std::size_t bytesHeld_ = 0;
    std::size_t pictures_ = 0;
};

}  // namespace vidora
