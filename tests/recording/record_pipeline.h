#pragma once
// The engine's side of a recording for the writer tests: the record encoder with the AVI record
// writer attached, fed with synthetic pictures and sound on a manual clock.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <string>
#include <vector>

#include "app/settings.h"
#include "platform/clock.h"
#include "recording/avi_record_writer.h"
#include "recording/record_encoder.h"
#include "test_support.h"

namespace vidora::test {

// The engine's side of a recording: encoder and writer, fed with synthetic pictures and sound.
class Pipeline {
  public:
    Pipeline(const std::string& folder, int width, int height, int sizeMode,
             uint16_t sampleRate = 48000, uint64_t aviCutBytes = AviRecordWriter::kAviCutBytes,
             DiskFaults* disk = nullptr)
        : writer(folder, clock, aviCutBytes, disk), sampleRate(sampleRate) {
        gState.videoWidth = width;
        gState.videoHeight = height;
        encoder.setVideoFormat(
            videoStreamFormat(static_cast<uint16_t>(width), static_cast<uint16_t>(height), 25),
            sizeMode);
        encoder.setAudioFormat(audioStreamFormat(sampleRate, 16, 2));
        encoder.attachConsumer(&writer);
    }
    ~Pipeline() { encoder.detachAllConsumers(); }

    // As the engine starts a recording: writer settings, encoder, writer (a refusal stops the
    // encoder again).
    Result start(uint64_t maxFileBytes = 64 * (uint64_t{1} << 20)) {
        writer.setMaxFileSize(maxFileBytes);
        encoder.start();
        Result result = writer.start();
        if (!result.ok())
            encoder.stop();
        return result;
    }
    void stop() {
        encoder.stop();
        writer.stop();
    }

    // `seconds` of content: sound in 10 ms blocks, pictures at `pictureFps`.
    void feed(double seconds, double pictureFps, bool pictures = true, bool sound = true) {
        const int ticks = static_cast<int>(std::lround(seconds * 100));
        for (int t = 0; t < ticks; ++t) {
            while (pictures && nextPictureMs <= elapsedMs + 1e-9) {
                int w = encoder.encodeWidth(), h = encoder.encodeHeight();
                std::vector<uint8_t> picture = uyvyPicture(w, h, pictureNumber++);
                encoder.onPicture(picture.data(), picture.size());
                nextPictureMs += 1000.0 / pictureFps;
            }
            if (sound) {
                const std::size_t frames = sampleRate / 100;
                std::vector<uint8_t> block = stereoTone(frames, soundFrames);
                soundFrames += frames;
                encoder.onSound(block.data(), block.size());
            }
            clock.advanceMs(10);
            elapsedMs += 10;
            if (!pictures)
                nextPictureMs = elapsedMs;
        }
    }

    // Waits until the writer thread has handled everything queued.
    void drain() { ASSERT_TRUE(writer.waitUntilWritten(std::chrono::seconds(10))); }

    ManualClock clock;
    RecordEncoder encoder{clock};
    AviRecordWriter writer;
    const uint16_t sampleRate;
    double elapsedMs = 0;
    double nextPictureMs = 0;
    int pictureNumber = 0;
    std::size_t soundFrames = 0;
};

}  // namespace vidora::test
