#include "codec/PcxRle.h"

#include <algorithm>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__x86_64__)
#include <immintrin.h>
#define PCX_HAVE_WIDE_KERNEL 1
#endif

namespace showsaver::codec::detail {
namespace {

constexpr CodecError Bad(const char* what) { return {ErrorCode::BadPcx, what}; }

// Each kernel expands whole runs from `in` to `out` while both sides have
// room for its steps, and leaves `in` on a run's head or a literal and `out`
// at most at `end`. It may write up to RleLineReader::kSlack bytes of
// scratch past `end`.

void ExpandPortable(const uint8_t*& inRef, const uint8_t* inEnd, uint8_t*& outRef, uint8_t* end) {
    const uint8_t* in = inRef;
    uint8_t* out = outRef;
#if defined(__SSE2__)
    // Sixteen bytes at a time: a block without a run's head (most of a
    // photograph's bytes are below C0) goes in one store; in a block with
    // heads, each head's run is expanded and the literals between them go
    // in one store each, without loading the block again.
    const __m128i heads = _mm_set1_epi8(static_cast<char>(0xC0));
    // Room for a block's literals and a run after them (15 + 64 bytes),
    // and a second block's worth of input beyond the block.
    while (end - out >= 80 && inEnd - in >= 32) {
        const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in));
        auto found = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(_mm_and_si128(block, heads), heads)));
        if (found == 0) {
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out), block);
            in += 16;
            out += 16;
            continue;
        }
        size_t at = 0; // bytes of the block used
        bool room = true;
        do {
            const auto head = static_cast<size_t>(__builtin_ctz(found));
            if (head == 15) break; // its value is in the next block
            if (at > 0 && end - out < 80) {
                room = false;
                break;
            }
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + at)));
            out += head - at;
            // The run in four stores of its value (the room is there); a
            // run of length 0 gives nothing. Its value byte is no head.
            const size_t length = in[head] & 0x3Fu;
            const __m128i value = _mm_set1_epi8(static_cast<char>(in[head + 1]));
            for (int part = 0; part < 4; ++part) _mm_storeu_si128(reinterpret_cast<__m128i*>(out) + part, value);
            out += length;
            at = head + 2;
            found &= ~0u << at;
        } while (found != 0);
        // The literals after the last run, up to a head in the last byte.
        const size_t stop = (found >> 15) & 1u ? 15 : 16;
        if (room && at < stop && end - out >= 16) {
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + at)));
            out += stop - at;
            at = stop;
        }
        in += at;
    }
#endif
    while (end - out > 63 && inEnd - in >= 2) {
        const uint8_t byte = in[0];
        if (byte < 0xC0) {
            *out++ = byte;
            ++in;
            continue;
        }
        const size_t length = byte & 0x3Fu;
        if (length > 0) std::memset(out, in[1], length);
        out += length;
        in += 2;
    }
    inRef = in;
    outRef = out;
}

#ifdef PCX_HAVE_WIDE_KERNEL
#define PCX_WIDE __attribute__((target("avx512f,avx512bw,avx512vbmi,avx512vbmi2,popcnt")))

// vpermb; the all-ones mask keeps g++ 12's header from reading an
// undefined vector.
PCX_WIDE inline __m512i Permute(__m512i index, __m512i bytes) {
    return _mm512_maskz_permutexvar_epi8(~uint64_t{0}, index, bytes);
}

// The kernel's byte permutes and slot numbers.
struct WideTables {
    alignas(64) uint8_t previous[64];  // byte i - 1 of (the block before, this block)
    alignas(64) uint8_t next[64];      // byte i + 1 of a block
    alignas(64) uint8_t spread[4][64]; // quarter k: byte j from byte 16k + j / 4
    alignas(64) uint8_t slot[64];      // j % 4
};

constexpr WideTables MakeWideTables() {
    WideTables tables{};
    for (int i = 0; i < 64; ++i) {
        tables.previous[i] = static_cast<uint8_t>(63 + i);
        tables.next[i] = static_cast<uint8_t>((i + 1) % 64);
        for (int k = 0; k < 4; ++k) tables.spread[k][i] = static_cast<uint8_t>(16 * k + i / 4);
        tables.slot[i] = static_cast<uint8_t>(i % 4);
    }
    return tables;
}

constexpr WideTables kWide = MakeWideTables();

// The heads among a block's bytes of C0 and above, the block starting on a
// head or a literal (a block that opens with a value leaves its bit out). Within a stretch of such bytes each head is followed by
// its value, so the heads sit at even distances from the stretch's start:
// the even bits of stretches that start on an even bit, the odd bits of the
// others. Adding a stretch's lowest bit to it clears the stretch, which
// picks out the stretches that start on an odd bit.
inline uint64_t HeadsAmong(uint64_t high) {
    constexpr uint64_t kEvenBits = 0x5555555555555555u;
    const uint64_t starts = high & ~(high << 1);
    const uint64_t oddStarts = starts & ~kEvenBits;
    const uint64_t oddStretches = high & ~(high + oddStarts);
    return high & (kEvenBits ^ oddStretches);
}

// 64 bytes of input per step, in three ways by the block's longest run:
//  - runs of at most 2 (most blocks of a photograph): a run of 2
//    puts its value in its head's place, then one compression drops the
//    other heads and the values of empty runs;
//  - runs of at most 4: every byte is spread to four slots and a
//    compression of each quarter keeps as many slots as the byte stands for;
//  - longer runs: run by run, each in one store of 64 bytes.
// Blocks follow each other whatever their last byte: when it is a head, its
// value opens the next block, so the only thing a step waits for from the
// one before is that bit. On leaving, `in` goes back to such a head.
PCX_WIDE void ExpandWide(const uint8_t*& inRef, const uint8_t* inEnd, uint8_t*& outRef, uint8_t* end) {
    const uint8_t* in = inRef;
    uint8_t* out = outRef;
    const __m512i headBits = _mm512_set1_epi8(static_cast<char>(0xC0));
    const __m512i lengthBits = _mm512_set1_epi8(0x3F);
    const __m512i zero = _mm512_setzero_si512();
    const __m512i ones = _mm512_set1_epi8(1);
    const __m512i twos = _mm512_set1_epi8(2);
    const __m512i fours = _mm512_set1_epi8(4);
    const __m512i previous = _mm512_load_si512(kWide.previous);
    const __m512i next = _mm512_load_si512(kWide.next);
    const __m512i slots = _mm512_load_si512(kWide.slot);
    __m512i spread[4];
    for (int k = 0; k < 4; ++k) spread[k] = _mm512_load_si512(kWide.spread[k]);
    __m512i last = zero;
    uint64_t carry = 0; // 1 when the block before ended on a head
    while (inEnd - in >= 64) {
        const __m512i block = _mm512_loadu_si512(in);
        const uint64_t high = _mm512_cmpge_epu8_mask(block, headBits);
        // A branch: feeding the carry into HeadsAmong, or computing both
        // and selecting, puts the whole computation on the loop's path and
        // measured slower than the odd mispredicted branch.
        const uint64_t heads = carry ? HeadsAmong(high & ~uint64_t{1}) : HeadsAmong(high);
        const uint64_t values = (heads << 1) | carry;
        const __m512i lengths = _mm512_and_si512(_mm512_permutex2var_epi8(last, previous, block), lengthBits);
        const uint64_t empty = _mm512_mask_cmpeq_epu8_mask(values, lengths, zero);
        const uint64_t doubles = _mm512_mask_cmpeq_epu8_mask(values, lengths, twos);
        if (_mm512_mask_cmpgt_epu8_mask(values, lengths, twos) == 0 && (doubles & carry) == 0) {
            const uint64_t pairs = doubles >> 1;
            const uint64_t keep = (~heads & ~empty) | pairs;
            const auto produced = static_cast<ptrdiff_t>(__builtin_popcountll(keep));
            if (end - out < produced) break;
            const __m512i doubled = _mm512_mask_permutexvar_epi8(block, pairs, next, block);
            _mm512_storeu_si512(out, _mm512_maskz_compress_epi8(keep, doubled));
            out += produced;
        } else if (_mm512_mask_cmpgt_epu8_mask(values, lengths, fours) == 0) {
            const __m512i counts = _mm512_maskz_mov_epi8(~heads, _mm512_mask_mov_epi8(ones, values, lengths));
            uint64_t keep[4];
            ptrdiff_t produced = 0;
            for (int k = 0; k < 4; ++k) {
                keep[k] = _mm512_cmpgt_epu8_mask(Permute(spread[k], counts), slots);
                produced += __builtin_popcountll(keep[k]);
            }
            if (end - out < produced) break;
            for (int k = 0; k < 4; ++k) {
                _mm512_storeu_si512(out, _mm512_maskz_compress_epi8(keep[k], Permute(spread[k], block)));
                out += __builtin_popcountll(keep[k]);
            }
        } else {
            const uint8_t* at = in;
            const uint8_t* const stop = in + 64;
            if (carry) {
                if (end - out < 64) break;
                _mm512_storeu_si512(out, _mm512_set1_epi8(static_cast<char>(in[0])));
                out += in[-1] & 0x3Fu;
                ++at;
            }
            while (at < stop - 1 && end - out >= 64) {
                if (*at < 0xC0) {
                    *out++ = *at++;
                    continue;
                }
                _mm512_storeu_si512(out, _mm512_set1_epi8(static_cast<char>(at[1])));
                out += *at & 0x3Fu;
                at += 2;
            }
            // Out of room: leave on the run or literal not expanded.
            if (at < stop - 1 || (at == stop - 1 && *at < 0xC0 && end == out)) {
                inRef = at;
                outRef = out;
                return;
            }
            if (at == stop - 1 && *at < 0xC0) *out++ = *at;
        }
        carry = heads >> 63;
        last = block;
        in += 64;
    }
    inRef = in - carry;
    outRef = out;
}

bool HaveWideKernel() {
    static const bool have = __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
                             __builtin_cpu_supports("avx512vbmi") && __builtin_cpu_supports("avx512vbmi2") &&
                             __builtin_cpu_supports("popcnt");
    return have;
}
#endif

} // namespace

RleKernel FastestRleKernel() {
#ifdef PCX_HAVE_WIDE_KERNEL
    if (HaveWideKernel()) return RleKernel::Wide;
#endif
    return RleKernel::Portable;
}

Status RleLineReader::Next(std::span<uint8_t> line) {
    if (!m_compressed) {
        if (m_data.size() - m_at < line.size()) return Bad("the pixel data ends before the picture does");
        std::memcpy(line.data(), &m_data[m_at], line.size());
        m_at += line.size();
        return {};
    }
    uint8_t* out = line.data();
    uint8_t* const end = out + line.size();
    // A run may go on from the line before.
    const size_t carried = std::min(m_runLeft, line.size());
    if (carried > 0) std::memset(out, m_runValue, carried);
    out += carried;
    m_runLeft -= carried;
    const uint8_t* in = m_data.data() + m_at;
    const uint8_t* const inEnd = m_data.data() + m_data.size();
#ifdef PCX_HAVE_WIDE_KERNEL
    if (m_kernel == RleKernel::Wide) ExpandWide(in, inEnd, out, end);
#endif
    ExpandPortable(in, inEnd, out, end);
    // The rest, with every check.
    while (out < end) {
        if (in >= inEnd) return Bad("the pixel data ends before the picture does");
        const uint8_t byte = *in++;
        if (byte < 0xC0) {
            *out++ = byte;
            continue;
        }
        // A run of length 0 (byte C0) gives nothing and is skipped, as
        // other readers do.
        if (in >= inEnd) return Bad("an RLE run is cut short");
        const uint8_t value = *in++;
        const size_t length = byte & 0x3Fu;
        const size_t taken = std::min(length, static_cast<size_t>(end - out));
        std::memset(out, value, taken);
        out += taken;
        if (taken < length) {
            m_runLeft = length - taken;
            m_runValue = value;
        }
    }
    m_at = static_cast<size_t>(in - m_data.data());
    return {};
}

} // namespace showsaver::codec::detail
