#include "recording/record_sink.h"

#include <algorithm>

namespace vidora {

RecordSink::~RecordSink() {
    std::lock_guard lock(consumerLock_);
    consumers_.clear();
}

int RecordSink::getAudioFormat(StreamFormat* out) {
    std::lock_guard lock(consumerLock_);
    if (!audioKnown_)
        return -1;
    *out = audioFormat_;
    return 0;
}

int RecordSink::getVideoFormat(StreamFormat* out) {
    std::lock_guard lock(consumerLock_);
    if (!videoKnown_)
        return -1;
    *out = videoFormat_;
    return 0;
}

int RecordSink::attachConsumer(RecordConsumer* consumer) {
    std::lock_guard lock(consumerLock_);
    if (std::find(consumers_.begin(), consumers_.end(), consumer) != consumers_.end())
        return -1;
    consumers_.push_back(consumer);
    return 0;
}

int RecordSink::detachConsumer(RecordConsumer* consumer) {
    int left;
    {
        std::lock_guard lock(consumerLock_);
        std::erase(consumers_, consumer);
        left = static_cast<int>(consumers_.size());
    }
    if (left == 0)
        stopProducer();
    return left;
}

int RecordSink::detachAllConsumers() {
    {
        std::lock_guard lock(consumerLock_);
        consumers_.clear();
    }
    stopProducer();
    return 0;
}

int RecordSink::sendFormats() {
    std::lock_guard lock(consumerLock_);
    for (RecordConsumer* consumer : consumers_) {
        if (consumer->state() != ConsumerState::Finished)
            giveFormatsLocked(*consumer);
    }
    return 0;
}

int RecordSink::finishAll() {
    std::lock_guard lock(consumerLock_);
    for (RecordConsumer* consumer : consumers_)
        consumer->finish();
    return 0;
}

int RecordSink::writeVideoPacket(const RecordPacket& packet) {
    return writePacket(packet, true);
}

int RecordSink::writeAudioPacket(const RecordPacket& packet) {
    return writePacket(packet, false);
}

int RecordSink::consumerCount() {
    std::lock_guard lock(consumerLock_);
    return static_cast<int>(consumers_.size());
}

void RecordSink::setVideoFormatRecord(const StreamFormat& format) {
    std::lock_guard lock(consumerLock_);
    videoFormat_ = format;
    videoKnown_ = true;
}

bool RecordSink::setAudioFormatRecordOnce(const StreamFormat& format) {
    std::lock_guard lock(consumerLock_);
    if (audioKnown_)
        return false;
    audioFormat_ = format;
    audioKnown_ = true;
    return true;
}

void RecordSink::giveFormatsLocked(RecordConsumer& consumer) {
    StreamFormat formats[2];
    int count;
    if (videoKnown_ && audioKnown_) {
        formats[0] = videoFormat_;
        formats[1] = audioFormat_;
        count = 2;
    } else if (videoKnown_) {
        formats[0] = videoFormat_;
        count = 1;
    } else {
        // Neither known yet: the (empty) audio record, as the consumers expect one record.
        formats[0] = audioFormat_;
        count = 1;
    }
    consumer.takeFormats(formats, count);
}

int RecordSink::writePacket(const RecordPacket& packet, bool video) {
    std::lock_guard lock(consumerLock_);
    for (RecordConsumer* consumer : consumers_) {
        if (consumer->state() != ConsumerState::FormatsTaken)
            giveFormatsLocked(*consumer);
        PacketCopy copy = PacketCopy::of(packet);
        if (video) {
            consumer->queueVideoPacket(std::move(copy));
        } else {
            consumer->queueAudioPacket(std::move(copy));
        }
    }
    return 0;
}

}  // namespace vidora
