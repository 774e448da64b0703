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

void PlanesToRgbPortable(const uint8_t* red, const uint8_t* green, const uint8_t* blue, uint8_t* dst, size_t count) {
    for (size_t i = 0; i < count; ++i, dst += 3) {
        dst[0] = red[i];
        dst[1] = green[i];
        dst[2] = blue[i];
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

__attribute__((target("ssse3"))) inline __m128i Mix(__m128i r, __m128i g, __m128i b, __m128i rm, __m128i gm,
                                                     __m128i bm) {
    return _mm_or_si128(_mm_or_si128(_mm_shuffle_epi8(r, rm), _mm_shuffle_epi8(g, gm)), _mm_shuffle_epi8(b, bm));
}

// Sixteen pixels per step: each of the three 16-byte stores ORs together
// one shuffle of every plane, the bytes that are not its own zeroed.
__attribute__((target("ssse3"))) void PlanesToRgbSsse3(const uint8_t* red, const uint8_t* green, const uint8_t* blue,
                                                      uint8_t* dst, size_t count) {
    // Output byte k of a step is pixel k / 3's channel k % 3.
    const __m128i r0 = _mm_setr_epi8(0, -1, -1, 1, -1, -1, 2, -1, -1, 3, -1, -1, 4, -1, -1, 5);
    const __m128i g0 = _mm_setr_epi8(-1, 0, -1, -1, 1, -1, -1, 2, -1, -1, 3, -1, -1, 4, -1, -1);
    const __m128i b0 = _mm_setr_epi8(-1, -1, 0, -1, -1, 1, -1, -1, 2, -1, -1, 3, -1, -1, 4, -1);
    const __m128i r1 = _mm_setr_epi8(-1, -1, 6, -1, -1, 7, -1, -1, 8, -1, -1, 9, -1, -1, 10, -1);
    const __m128i g1 = _mm_setr_epi8(5, -1, -1, 6, -1, -1, 7, -1, -1, 8, -1, -1, 9, -1, -1, 10);
    const __m128i b1 = _mm_setr_epi8(-1, 5, -1, -1, 6, -1, -1, 7, -1, -1, 8, -1, -1, 9, -1, -1);
    const __m128i r2 = _mm_setr_epi8(-1, 11, -1, -1, 12, -1, -1, 13, -1, -1, 14, -1, -1, 15, -1, -1);
    const __m128i g2 = _mm_setr_epi8(-1, -1, 11, -1, -1, 12, -1, -1, 13, -1, -1, 14, -1, -1, 15, -1);
    const __m128i b2 = _mm_setr_epi8(10, -1, -1, 11, -1, -1, 12, -1, -1, 13, -1, -1, 14, -1, -1, 15);
    size_t done = 0;
    for (; count - done >= 16; done += 16, dst += 48) {
        const __m128i r = _mm_loadu_si128(reinterpret_cast<const __m128i*>(red + done));
        const __m128i g = _mm_loadu_si128(reinterpret_cast<const __m128i*>(green + done));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(blue + done));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst), Mix(r, g, b, r0, g0, b0));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst) + 1, Mix(r, g, b, r1, g1, b1));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst) + 2, Mix(r, g, b, r2, g2, b2));
    }
    PlanesToRgbPortable(red + done, green + done, blue + done, dst, count - done);
}

bool HaveSsse3() { return __builtin_cpu_supports("ssse3"); }

#if defined(__x86_64__)
#define CODEC_WIDE __attribute__((target("avx512f,avx512bw,avx512vbmi")))

// Where each byte of a 192-byte step of RGB comes from: for part p's byte
// k (pixel (64p + k) / 3), its index into red (0-63) and green (64-127), or
// into blue when bit k of the part's blue mask is set.
struct InterleaveTables {
    alignas(64) uint8_t fromRedGreen[3][64];
    alignas(64) uint8_t fromBlue[3][64];
    uint64_t blueBytes[3];
};

constexpr InterleaveTables MakeInterleaveTables() {
    InterleaveTables tables{};
    for (int part = 0; part < 3; ++part)
        for (int k = 0; k < 64; ++k) {
            const int pixel = (64 * part + k) / 3, channel = (64 * part + k) % 3;
            tables.fromRedGreen[part][k] = static_cast<uint8_t>(channel == 1 ? 64 + pixel : pixel);
            tables.fromBlue[part][k] = static_cast<uint8_t>(pixel);
            if (channel == 2) tables.blueBytes[part] |= uint64_t{1} << k;
        }
    return tables;
}

constexpr InterleaveTables kInterleave = MakeInterleaveTables();

// Sixty-four pixels per step: each of the three 64-byte stores takes its
// red and green bytes in one two-source permute and its blue bytes in a
// masked permute over it.
CODEC_WIDE void PlanesToRgbWide(const uint8_t* red, const uint8_t* green, const uint8_t* blue, uint8_t* dst,
                                size_t count) {
    __m512i redGreen[3], blues[3];
    for (int part = 0; part < 3; ++part) {
        redGreen[part] = _mm512_load_si512(kInterleave.fromRedGreen[part]);
        blues[part] = _mm512_load_si512(kInterleave.fromBlue[part]);
    }
    size_t done = 0;
    for (; count - done >= 64; done += 64, dst += 192) {
        const __m512i r = _mm512_loadu_si512(red + done);
        const __m512i g = _mm512_loadu_si512(green + done);
        const __m512i b = _mm512_loadu_si512(blue + done);
        for (int part = 0; part < 3; ++part) {
            const __m512i mixed = _mm512_permutex2var_epi8(r, redGreen[part], g);
            _mm512_storeu_si512(dst + 64 * part,
                                _mm512_mask_permutexvar_epi8(mixed, kInterleave.blueBytes[part], blues[part], b));
        }
    }
    PlanesToRgbSsse3(red + done, green + done, blue + done, dst, count - done);
}

bool HaveWide() {
    static const bool have = __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
                             __builtin_cpu_supports("avx512vbmi");
    return have;
}
#endif
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

void PlanesToRgb(const uint8_t* red, const uint8_t* green, const uint8_t* blue, uint8_t* dst, size_t count) {
#ifdef CODEC_HAVE_X86_SHUFFLES
#if defined(__x86_64__)
    if (HaveWide()) return PlanesToRgbWide(red, green, blue, dst, count);
#endif
    if (HaveSsse3()) return PlanesToRgbSsse3(red, green, blue, dst, count);
#endif
    PlanesToRgbPortable(red, green, blue, dst, count);
}

} // namespace showsaver::codec::detail
