#include "engine/picture_ops.h"

#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace vidora {

namespace {

inline uint8_t average(uint8_t a, uint8_t b) {
    return static_cast<uint8_t>((a + b) >> 1);
}

#if defined(__SSE2__)
// Floor average of unsigned bytes: pavgb rounds up, so take the odd bit of the sum back off.
inline __m128i floorAverage(__m128i a, __m128i b) {
    const __m128i one = _mm_set1_epi8(1);
    return _mm_sub_epi8(_mm_avg_epu8(a, b), _mm_and_si128(_mm_xor_si128(a, b), one));
}

// 32 source bytes (eight pixel pairs P0..P7) give 16 output bytes (four pairs). With the even
// pairs E = (c0 y0 c2 y1) and the odd pairs O = (c0' y0' c2' y1') side by side, every output
// byte is one floor average of A = (c0 y0 c2 y0') and B = (c0' y1 c2' y1').
inline __m128i halfWidthBlock(__m128i a, __m128i b) {
    a = _mm_shuffle_epi32(a, _MM_SHUFFLE(3, 1, 2, 0));  // P0 P2 P1 P3
    b = _mm_shuffle_epi32(b, _MM_SHUFFLE(3, 1, 2, 0));  // P4 P6 P5 P7
    const __m128i even = _mm_unpacklo_epi64(a, b);
    const __m128i odd = _mm_unpackhi_epi64(a, b);
    const __m128i low3 = _mm_set1_epi32(0x00FFFFFF);
    const __m128i top = _mm_set1_epi32(static_cast<int>(0xFF000000u));
    const __m128i chromaAndTop = _mm_set1_epi32(static_cast<int>(0xFFFF00FFu));
    const __m128i second = _mm_set1_epi32(0x0000FF00);
    const __m128i left =
        _mm_or_si128(_mm_and_si128(even, low3), _mm_and_si128(_mm_slli_epi32(odd, 16), top));
    const __m128i right = _mm_or_si128(_mm_and_si128(odd, chromaAndTop),
                                       _mm_and_si128(_mm_srli_epi32(even, 16), second));
    return floorAverage(left, right);
}
#endif

inline void halfWidthRow(const uint8_t* source, int groups, uint8_t* out) {
    int g = 0;
#if defined(__SSE2__)
    for (; g + 4 <= groups; g += 4) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(source + g * 8));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(source + g * 8 + 16));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + g * 4), halfWidthBlock(a, b));
    }
#endif
    halfWidthRowScalar(source + g * 8, groups - g, out + g * 4);
}

// The same while copying the source row, so the picture is read once.
inline void copyAndHalfWidthRow(const uint8_t* source, int groups, uint8_t* copy, uint8_t* out) {
    int g = 0;
#if defined(__SSE2__)
    for (; g + 4 <= groups; g += 4) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(source + g * 8));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(source + g * 8 + 16));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(copy + g * 8), a);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(copy + g * 8 + 16), b);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + g * 4), halfWidthBlock(a, b));
    }
#endif
    std::memcpy(copy + g * 8, source + g * 8, static_cast<std::size_t>(groups - g) * 8);
    halfWidthRowScalar(source + g * 8, groups - g, out + g * 4);
}

}  // namespace

void halfWidthRowScalar(const uint8_t* s, int groups, uint8_t* out) {
    for (int g = 0; g < groups; ++g, s += 8, out += 4) {
        out[0] = average(s[0], s[4]);
        out[1] = average(s[1], s[3]);
        out[2] = average(s[2], s[6]);
        out[3] = average(s[5], s[7]);
    }
}

void halfWidthUyvy(const uint8_t* source, int width, int height, uint8_t* out) {
    const int groups = width / 4;
    const std::size_t inPitch = static_cast<std::size_t>(width) * 2;
    const std::size_t outPitch = static_cast<std::size_t>(width);
    for (int row = 0; row < height; ++row) {
        halfWidthRow(source + row * inPitch, groups, out + row * outPitch);
    }
}

void copyAndHalfWidthUyvy(const uint8_t* source, int width, int height, uint8_t* copy,
                          uint8_t* halfWidth) {
    const int groups = width / 4;
    const std::size_t inPitch = static_cast<std::size_t>(width) * 2;
    const std::size_t outPitch = static_cast<std::size_t>(width);
    for (int row = 0; row < height; ++row) {
        copyAndHalfWidthRow(source + row * inPitch, groups, copy + row * inPitch,
                            halfWidth + row * outPitch);
    }
}

void halfSizeUyvy(const uint8_t* source, int width, int height, uint8_t* out) {
    const int groups = width / 4;
    const std::size_t inPitch = static_cast<std::size_t>(width) * 2;
    const std::size_t outPitch = static_cast<std::size_t>(width);
    for (int row = 0; row < height / 2; ++row) {
        halfWidthRow(source + 2 * row * inPitch, groups, out + row * outPitch);
    }
}

void halfSizeFromHalfWidth(const uint8_t* halfWidth, int width, int height, uint8_t* out) {
    const std::size_t pitch = static_cast<std::size_t>(width);  // half-width rows: width/2 x 2
    for (int row = 0; row < height / 2; ++row) {
        std::memcpy(out + row * pitch, halfWidth + 2 * row * pitch, pitch);
    }
}

}  // namespace vidora
