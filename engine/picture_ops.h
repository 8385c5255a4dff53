#pragma once
// Pixel work on packed 4:2:2 pictures (U Y0 V Y1 per pixel pair): the two downscales the video
// sink keeps for recording and frozen pictures. Every output byte is the floor average of two
// source bytes of the same role, bit for bit the same on every machine.
#include <cstddef>
#include <cstdint>

namespace vidora {

// Half width, full height: width must be a multiple of 4; the output is width/2 x height.
// Each 8-byte group (c0 y0 c2 y1 c0' y0' c2' y1') of a source row becomes
// ((c0+c0')/2, (y0+y1)/2, (c2+c2')/2, (y0'+y1')/2).
void halfWidthUyvy(const uint8_t* source, int width, int height, uint8_t* out);

// Copies the picture (width x height x 2 bytes) and makes its half-width picture in one pass.
void copyAndHalfWidthUyvy(const uint8_t* source, int width, int height, uint8_t* copy,
                          uint8_t* halfWidth);

// Half width and half height: the half-width row of every second source row (0, 2, 4, ...).
// The output is width/2 x height/2.
void halfSizeUyvy(const uint8_t* source, int width, int height, uint8_t* out);

// Half size taken from an already made half-width picture (its even rows), which is the same
// result as halfSizeUyvy on the full picture at a fraction of the cost.
void halfSizeFromHalfWidth(const uint8_t* halfWidth, int width, int height, uint8_t* out);

// The vector width the downscales use: the best the processor has (AVX2, else SSE2), or a
// narrower one for tests and benchmarks. Returns false when the processor lacks the one asked
// for (the next narrower one is used then).
enum class PictureOpsPath { Best, Avx2, Sse2, Scalar };
bool setPictureOpsPath(PictureOpsPath path);

// One row of the half-width downscale (groups = width / 4), plain C++, for reference and tests.
void halfWidthRowScalar(const uint8_t* source, int groups, uint8_t* out);

}  // namespace vidora
