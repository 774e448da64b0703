#include "codec/PixelRows.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define CODEC_HAVE_X86_SHUFFLES 1
#endif

namespace showsaver::codec::detail {
namespace {

void SwapRedBluePortable(const uint8_t* src, uint8_t* dst, size_t count) {
    for (size_t i = 0; i < count; ++i, src += 3, dst += 3) {
        const uint8_t first = src[0];
        dst[0] = src[2];
        dst[1] = src[1];
        dst[2] = first;
    }
}

void BgrxToRgbPortable(const uint8_t* src, uint8_t* dst, size_t count) {
    for (size_t i = 0; i < count; ++i, src += 4, dst += 3) {
        dst[0] = src[2];
        dst[1] = src[1];
        dst[2] = src[0];
    }
}

#ifdef CODEC_HAVE_X86_SHUFFLES
// Five pixels per step: a 16-byte load, one shuffle, a 16-byte store whose
// last byte (the next pixel's first, copied unchanged) the next step or the
// portable tail overwrites. Steps run while 16 bytes remain, so neither
// side is read or written past its end.
__attribute__((target("ssse3"))) void SwapRedBlueSsse3(const uint8_t* src, uint8_t* dst, size_t count) {
    const __m128i order = _mm_setr_epi8(2, 1, 0, 5, 4, 3, 8, 7, 6, 11, 10, 9, 14, 13, 12, 15);
    size_t done = 0;
    for (; (count - done) * 3 >= 16; done += 5) {
        const __m128i pixels = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + 3 * done));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + 3 * done), _mm_shuffle_epi8(pixels, order));
    }
    SwapRedBluePortable(src + 3 * done, dst + 3 * done, count - done);
}

// Four pixels per step into 12 bytes of a 16-byte store; steps run while
// 16 output bytes (six pixels) remain.
__attribute__((target("ssse3"))) void BgrxToRgbSsse3(const uint8_t* src, uint8_t* dst, size_t count) {
    const __m128i order = _mm_setr_epi8(2, 1, 0, 6, 5, 4, 10, 9, 8, 14, 13, 12, -1, -1, -1, -1);
    size_t done = 0;
    for (; count - done >= 6; done += 4) {
        const __m128i pixels = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + 4 * done));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + 3 * done), _mm_shuffle_epi8(pixels, order));
    }
    BgrxToRgbPortable(src + 4 * done, dst + 3 * done, count - done);
}

bool HaveSsse3() { return __builtin_cpu_supports("ssse3"); }
#endif

} // namespace

void SwapRedBlue(const uint8_t* src, uint8_t* dst, size_t count) {
#ifdef CODEC_HAVE_X86_SHUFFLES
    if (HaveSsse3()) return SwapRedBlueSsse3(src, dst, count);
#endif
    SwapRedBluePortable(src, dst, count);
}

void BgrxToRgb(const uint8_t* src, uint8_t* dst, size_t count) {
#ifdef CODEC_HAVE_X86_SHUFFLES
    if (HaveSsse3()) return BgrxToRgbSsse3(src, dst, count);
#endif
    BgrxToRgbPortable(src, dst, count);
}

} // namespace showsaver::codec::detail
