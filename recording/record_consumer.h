#pragma once
// What the record sink calls on each attached consumer (the AVI record writer is the one the
// engine attaches). The sink calls these with its consumer lock held, from the streaming threads
// and the engine's threads, so a consumer only queues what it is given and never calls back into
// the sink.
#include "recording/record_packet.h"
#include "recording/stream_format.h"

namespace vidora {

enum class ConsumerState : int32_t { NoFormats = 0, FormatsTaken = 1, Finished = 2 };

class RecordConsumer {
  public:
    virtual ~RecordConsumer() = default;
    // The known stream formats: {video, audio}, {video} or {audio}; count 1 or 2.
    virtual void takeFormats(const StreamFormat* formats, int count) = 0;
    // The producer stopped: end the recording and drop what is queued.
    virtual void finish() = 0;
    // The consumer owns the packet's buffer from here on.
    virtual void queueVideoPacket(PacketCopy packet) = 0;
    virtual void queueAudioPacket(PacketCopy packet) = 0;
    virtual ConsumerState state() = 0;
};

}  // namespace vidora
