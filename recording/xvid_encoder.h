#pragma once
// One xvidcore MPEG-4 Part 2 encoder instance (RAII over xvid_encore's create/destroy), fed
// with packed 4:2:2 UYVY pictures. Owned by the record encoder; used on one thread at a time.
#include <cstddef>
#include <cstdint>

namespace vidora {

// The recording's encoder parameters, in the terms of a DivX4-style encoder. How each one
// reaches xvidcore is said at XvidEncoder::open.
struct XvidSettings {
    int width = 0;
    int height = 0;
    int framesPerSecond = 25;
    int bitRate = 512000;        // bit/s
    int rcPeriod = 100;          // rate-control averaging period, pictures
    int rcReactionPeriod = 100;  // rate-control reaction period
    int rcReactionRatio = 20;    // rate-control reaction ratio
    int minQuantizer = 2;
    int maxQuantizer = 11;
    int maxKeyInterval = 5;  // pictures
    int quality = 5;         // 1 (fastest) .. 5 (best)
    // The shape the picture is shown in, whatever its pixel count: the cameras' 4:3 picture,
    // also when it was recorded at half width or half size.
    int displayAspectWidth = 4;
    int displayAspectHeight = 3;
};

class XvidEncoder {
  public:
    struct Output {
        int length = 0;         // bytes written to the output buffer; 0: nothing to store
        bool keyFrame = false;  // the encoder wrote an intra (key) picture
    };

    XvidEncoder() = default;
    ~XvidEncoder();
    XvidEncoder(const XvidEncoder&) = delete;
    XvidEncoder& operator=(const XvidEncoder&) = delete;

    // Creates the encoder; false (and nothing open) on failure.
    bool open(const XvidSettings& settings);
    void close();
    bool isOpen() const { return handle_ != nullptr; }

    // Encodes one width x height UYVY picture (rows of width x 2 bytes) into `out`. A negative
    // length from the library is reported as 0.
    Output encode(const uint8_t* uyvy, uint8_t* out, std::size_t outCapacity);

  private:
    void* handle_ = nullptr;
    XvidSettings settings_{};
    int vopFlags_ = 0;
    int motionFlags_ = 0;
    int par_ = 0;  // xvid's pixel aspect code, with its width and height for an extended one
    int parWidth_ = 1;
    int parHeight_ = 1;
};

}  // namespace vidora
