#pragma once
// The meeting point between the producer of compressed recording data (the record encoder
// derives from this class) and the consumers that store it (the AVI record writer). It keeps
// the two stream formats and the attached consumers, and gives every consumer the formats and
// its own copy of every packet.
//
// Owned by its producer (the engine's record encoder). Packets are written from the capture
// graph's streaming threads; consumers are attached and detached from the engine's threads. The
// consumer lock serialises all of them and is held while consumers run, so the lock order is:
// the producer's own locks, then the consumer lock, then the consumer's locks.
#include <mutex>
#include <vector>

#include "recording/record_consumer.h"
#include "recording/record_packet.h"
#include "recording/stream_format.h"

namespace vidora {

class RecordSink {
  public:
    RecordSink() = default;
    virtual ~RecordSink();
    RecordSink(const RecordSink&) = delete;
    RecordSink& operator=(const RecordSink&) = delete;

    // Copy the format into *out: 0, or -1 while it is not known yet.
    int getAudioFormat(StreamFormat* out);
    int getVideoFormat(StreamFormat* out);

    // 0, or -1 when the consumer is attached already (nothing changes). Appends in order.
    int attachConsumer(RecordConsumer* consumer);
    // Returns the number of consumers left. When none is left, stops the producer, so that a
    // recording ends when its last consumer goes.
    int detachConsumer(RecordConsumer* consumer);
    // Empties the list and stops the producer. Returns 0.
    int detachAllConsumers();
    // Gives the known formats to every consumer that is not finished. Returns 0.
    int sendFormats();
    // Finishes every consumer. Returns 0.
    int finishAll();
    // Hands a copy of the packet to every consumer, giving a consumer the formats first when it
    // has not taken them. Without consumers the packet is dropped (nothing is allocated).
    int writeVideoPacket(const RecordPacket& packet);
    int writeAudioPacket(const RecordPacket& packet);

    int consumerCount();

  protected:
    // The producer's stop operation (the record encoder stops recording).
    virtual void stopProducer() {}

    // For the producer: the video format may change between recordings; the audio format is
    // taken once and later calls are ignored (returns false then).
    void setVideoFormatRecord(const StreamFormat& format);
    bool setAudioFormatRecordOnce(const StreamFormat& format);

  private:
    void giveFormatsLocked(RecordConsumer& consumer);
    int writePacket(const RecordPacket& packet, bool video);

    bool videoKnown_ = false;
    bool audioKnown_ = false;
    StreamFormat videoFormat_{};
    StreamFormat audioFormat_{};
    std::mutex consumerLock_;
    std::vector<RecordConsumer*> consumers_;  // not owned; attachment order, no duplicates
};

}  // namespace vidora
