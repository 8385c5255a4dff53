#include "recording/prealarm_ring.h"

#include <cstring>

namespace vidora {

void PreAlarmRing::configure(uint32_t keepMs, std::size_t arenaBytes, std::size_t maxPackets) {
    clear();
    keepMs_ = keepMs;
    if (arenaBytes != arenaCapacity_) {
        arena_ = std::make_unique_for_overwrite<uint8_t[]>(arenaBytes);
        arenaCapacity_ = arenaBytes;
    }
    if (maxPackets != entryCapacity_) {
        entries_ = std::make_unique<Entry[]>(maxPackets);
        keys_ = std::make_unique_for_overwrite<uint64_t[]>(maxPackets);
        entryCapacity_ = maxPackets;
    }
}

void PreAlarmRing::release() {
    clear();
    arena_.reset();
    arenaCapacity_ = 0;
    entries_.reset();
    keys_.reset();
    entryCapacity_ = 0;
}

void PreAlarmRing::clear() {
    firstSeq_ = endSeq_ = 0;
    firstKey_ = endKey_ = 0;
    writePos_ = 0;
    bytesHeld_ = 0;
    pictures_ = 0;
}

std::size_t PreAlarmRing::memoryBytes() const {
    return arenaCapacity_ + entryCapacity_ * (sizeof(Entry) + sizeof(uint64_t));
}

std::optional<uint32_t> PreAlarmRing::firstPictureTime() const {
    if (empty())
        return std::nullopt;
    return at(firstSeq_).timeMs;
}

std::optional<std::size_t> PreAlarmRing::placeFor(std::size_t length) const {
    if (empty())
        return length <= arenaCapacity_ ? std::optional<std::size_t>(0) : std::nullopt;
    const std::size_t tail = at(firstSeq_).offset;
    // The write position never reaches the tail from below: equal would read as empty.
    if (writePos_ > tail) {
        if (writePos_ + length <= arenaCapacity_)
            return writePos_;
        if (length < tail)
            return 0;  // the end of the arena stays unused until the data there goes
        return std::nullopt;
    }
    if (writePos_ + length < tail)
        return writePos_;
    return std::nullopt;
}

bool PreAlarmRing::push(const RecordPacket& packet, uint32_t timeMs) {
    if (entryCapacity_ == 0 || packet.length == 0 || packet.data == nullptr)
        return false;
    if (packet.length >= arenaCapacity_) {
        // Larger than the ring itself: what is held would continue with a gap.
        clear();
        return false;
    }
    const bool key = packet.isVideo() && packet.isKeyFrame();
    auto holdsKey = [this] { return endKey_ != firstKey_; };
    if (!key && !holdsKey())
        return false;  // a recording starts at a key frame, and its sound with it

    std::optional<std::size_t> pos;
    for (;;) {
        if (packetCount() < entryCapacity_) {
            pos = placeFor(packet.length);
            if (pos)
                break;
        }
        dropOldestGroup();
        if (!key && !holdsKey())
            return false;  // the group this packet continues is gone
    }

    Entry& e = entries_[endSeq_ % entryCapacity_];
    e.offset = static_cast<uint32_t>(*pos);
    e.length = packet.length;
    e.timeMs = timeMs;
    e.kind = packet.kind;
    e.keyFrame = key;
    std::memcpy(arena_.get() + *pos, packet.data, packet.length);
    writePos_ = *pos + packet.length;
    if (key)
        keys_[endKey_++ % entryCapacity_] = endSeq_;
    ++endSeq_;
    bytesHeld_ += packet.length;
    if (packet.isVideo())
        ++pictures_;

    // Keep the newest key frame that is old enough, and nothing before it.
    while (endKey_ - firstKey_ >= 2) {
        const uint64_t second = keys_[(firstKey_ + 1) % entryCapacity_];
        const uint32_t age = timeMs - at(second).timeMs;  // modulo 2^32, as the timer wraps
        if (static_cast<int32_t>(age) < static_cast<int32_t>(keepMs_))
            break;
        dropBefore(second);
    }
    return true;
}

void PreAlarmRing::dropOldestGroup() {
    if (endKey_ - firstKey_ >= 2)
        dropBefore(keys_[(firstKey_ + 1) % entryCapacity_]);
    else
        dropBefore(endSeq_);
}

void PreAlarmRing::dropBefore(uint64_t seq) {
    for (; firstSeq_ < seq; ++firstSeq_) {
        const Entry& e = at(firstSeq_);
        bytesHeld_ -= e.length;
        if (e.kind == static_cast<uint32_t>(StreamKind::Video))
            --pictures_;
        if (e.keyFrame)
            ++firstKey_;
    }
    if (empty())
        clear();
}

}  // namespace vidora
