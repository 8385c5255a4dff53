#pragma once
// A consumer that keeps everything it is given and follows the consumer state rules.
#include <vector>

#include "recording/record_consumer.h"

namespace vidora::test {

class FakeConsumer : public RecordConsumer {
  public:
    struct FormatCall {
        std::vector<StreamFormat> formats;
    };

    void takeFormats(const StreamFormat* formats, int count) override {
        formatCalls.push_back({std::vector<StreamFormat>(formats, formats + count)});
        currentState = ConsumerState::FormatsTaken;
    }
    void finish() override {
        ++finishCalls;
        currentState = ConsumerState::Finished;
    }
    void queueVideoPacket(PacketCopy packet) override { video.push_back(std::move(packet)); }
    void queueAudioPacket(PacketCopy packet) override { audio.push_back(std::move(packet)); }
    ConsumerState state() override { return currentState; }

    // The audio blocks concatenated.
    std::vector<uint8_t> audioBytes() const {
        std::vector<uint8_t> all;
        for (const auto& p : audio)
            all.insert(all.end(), p.packet.data, p.packet.data + p.packet.length);
        return all;
    }

    ConsumerState currentState = ConsumerState::NoFormats;
    std::vector<FormatCall> formatCalls;
    int finishCalls = 0;
    std::vector<PacketCopy> video;
    std::vector<PacketCopy> audio;
};

}  // namespace vidora::test
