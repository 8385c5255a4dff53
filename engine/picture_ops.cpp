#include "engine/picture_ops.h"

#include <atomic>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#define VIDORA_AVX2_PATH 1
#endif

namespace vidora {

namespace {

std::atomic<PictureOpsPath> gPath{PictureOpsPath::Best};

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

#if defined(VIDORA_AVX2_PATH)
// The same on 64 source bytes at a time. The in-lane shuffles leave the four 8-byte halves of
// the result in the order 0, 2, 1, 3; one permute puts them back.
__attribute__((target("avx2"))) inline __m256i floorAverage256(__m256i a, __m256i b) {
    const __m256i one = _mm256_set1_epi8(1);
    return _mm256_sub_epi8(_mm256_avg_epu8(a, b), _mm256_and_si256(_mm256_xor_si256(a, b), one));
}

__attribute__((target("avx2"))) inline __m256i halfWidthBlock256(__m256i a, __m256i b) {
    a = _mm256_shuffle_epi32(a, _MM_SHUFFLE(3, 1, 2, 0));
    b = _mm256_shuffle_epi32(b, _MM_SHUFFLE(3, 1, 2, 0));
    const __m256i even = _mm256_unpacklo_epi64(a, b);
    const __m256i odd = _mm256_unpackhi_epi64(a, b);
    const __m256i low3 = _mm256_set1_epi32(0x00FFFFFF);
    const __m256i top = _mm256_set1_epi32(static_cast<int>(0xFF000000u));
    const __m256i chromaAndTop = _mm256_set1_epi32(static_cast<int>(0xFFFF00FFu));
    const __m256i second = _mm256_set1_epi32(0x0000FF00);
    const __m256i left = _mm256_or_si256(_mm256_and_si256(even, low3),
                                         _mm256_and_si256(_mm256_slli_epi32(odd, 16), top));
    const __m256i right = _mm256_or_si256(_mm256_and_si256(odd, chromaAndTop),
                                          _mm256_and_si256(_mm256_srli_epi32(even, 16), second));
    return _mm256_permute4x64_epi64(floorAverage256(left, right), _MM_SHUFFLE(3, 1, 2, 0));
}

// Groups done (a multiple of 8); the caller finishes the row.
__attribute__((target("avx2"))) int halfWidthRowAvx2(const uint8_t* source, int groups,
                                                     uint8_t* copy, uint8_t* out) {
    int g = 0;
    for (; g + 8 <= groups; g += 8) {
        const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(source + g * 8));
        const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(source + g * 8 + 32));
        if (copy) {
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(copy + g * 8), a);
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(copy + g * 8 + 32), b);
        }
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + g * 4), halfWidthBlock256(a, b));
    }
    return g;
}

bool avx2Available() {
    static const bool available = __builtin_cpu_supports("avx2");
    return available;
}
#endif

// Groups that the widest allowed vector path has done at the start of a row.
inline int wideGroups(const uint8_t* source, int groups, uint8_t* copy, uint8_t* out) {
#if defined(VIDORA_AVX2_PATH)
    const PictureOpsPath path = gPath.load(std::memory_order_relaxed);
    if ((path == PictureOpsPath::Best || path == PictureOpsPath::Avx2) && avx2Available()) {
        return halfWidthRowAvx2(source, groups, copy, out);
    }
#endif
    (void)source;
    (void)groups;
    (void)copy;
    (void)out;
    return 0;
}

inline bool sseAllowed() {
    return gPath.load(std::memory_order_relaxed) != PictureOpsPath::Scalar;
}

inline void halfWidthRow(const uint8_t* source, int groups, uint8_t* out) {
    int g = wideGroups(source, groups, nullptr, out);
#if defined(__SSE2__)
    for (; sseAllowed() && g + 4 <= groups; g += 4) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(source + g * 8));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(source + g * 8 + 16));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + g * 4), halfWidthBlock(a, b));
    }
#endif
    halfWidthRowScalar(source + g * 8, groups - g, out + g * 4);
}

// The same while copying the source row, so the picture is read once.
inline void copyAndHalfWidthRow(const uint8_t* source, int groups, uint8_t* copy, uint8_t* out) {
    int g = wideGroups(source, groups, copy, out);
#if defined(__SSE2__)
    for (; sseAllowed() && g + 4 <= groups; g += 4) {
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

bool setPictureOpsPath(PictureOpsPath path) {
    gPath.store(path, std::memory_order_relaxed);
#if defined(VIDORA_AVX2_PATH)
    if (path == PictureOpsPath::Avx2)
        return avx2Available();
#else
    if (path == PictureOpsPath::Avx2)
        return false;
#endif
#if !defined(__SSE2__)
    if (path == PictureOpsPath::Sse2)
        return false;
#endif
    return true;
}

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
