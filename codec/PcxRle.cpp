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

// Each kernel expands whole runs from `in` to `out` while the input has room
// for its steps, and leaves `in` on a run's head or a literal. The portable
// one stops short of `end`; the wide one (below) goes past it. Both may
// write up to RleLineReader::kSlack bytes of scratch past `end`.

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
#define PCX_WIDE __attribute__((target("avx512f,avx512bw,avx512vbmi,avx512vbmi2,popcnt,bmi,bmi2")))

// vpermb; the all-ones mask keeps g++ 12's header from reading an
// undefined vector.
PCX_WIDE inline __m512i Permute(__m512i index, __m512i bytes) {
    return _mm512_maskz_permutexvar_epi8(~uint64_t{0}, index, bytes);
}

// A run of n: the slots its head fills, and its value's.
constexpr uint8_t HeadSlots(unsigned n) { return static_cast<uint8_t>(n < 2 ? n : 2); }
constexpr uint8_t ValueSlots(unsigned n) { return static_cast<uint8_t>(n > 2 ? n - 2 : 0); }

// The kernel's byte permutes and slot numbers.
struct WideTables {
    alignas(64) uint8_t spread[2][64]; // half h: slot j from byte 32h + j / 2
    alignas(64) uint8_t slot[64];      // j % 2
};

constexpr WideTables MakeWideTables() {
    WideTables tables{};
    for (int i = 0; i < 64; ++i) {
        for (int h = 0; h < 2; ++h) tables.spread[h][i] = static_cast<uint8_t>(32 * h + i / 2);
        tables.slot[i] = static_cast<uint8_t>(i % 2);
    }
    return tables;
}

constexpr WideTables kWide = MakeWideTables();

// The heads among a block's bytes of C0 and above, the block starting on a
// head or a literal (a block that opens with a value leaves its bit out).
// Within a stretch of such bytes each head is followed by its value, so the
// heads sit at even distances from the stretch's start: the even bits of
// stretches that start on an even bit, the odd bits of the others. Adding a
// stretch's lowest bit to it clears the stretch, which picks out the
// stretches that start on an odd bit.
PCX_WIDE inline uint64_t HeadsAmong(uint64_t high) {
    constexpr uint64_t kEvenBits = 0x5555555555555555u;
    const uint64_t starts = high & ~(high << 1);
    const uint64_t oddStarts = starts & ~kEvenBits;
    const uint64_t oddStretches = high & ~(high + oddStarts);
    return high & (kEvenBits ^ oddStretches);
}

// The heads of a block that starts on a value when `carry` is 1, and
// whether its last byte is a head.
struct BlockHeads {
    uint64_t heads;
    uint64_t carryOut;
};

PCX_WIDE inline BlockHeads FindHeads(__m512i block, uint64_t carry) {
    const uint64_t high = _mm512_cmpge_epu8_mask(block, _mm512_set1_epi8(static_cast<char>(0xC0)));
    // After a carried head the first byte is a value, which turns the
    // heads and values of the stretch it opens around.
    const uint64_t firstStretch = high & ~(high + 1);
    const uint64_t headsAfterLiteral = HeadsAmong(high);
    // The next block's carry waits on this one's only when the stretch
    // fills the block.
    return {headsAfterLiteral ^ (firstStretch & (0 - carry)),
            (headsAfterLiteral >> 63) ^ (firstStretch >> 63 & carry)};
}

// 64 bytes of input per step, four steps at a time, with no branch on the
// data while runs are at most 4 long (all but a handful of a photograph's):
// each byte gets two output slots, so a run's head and value have four
// between them. A literal fills its first slot; a run of n fills its first
// n (the head's slots take the value's byte); one compression of each half
// of the slots keeps the filled ones. Four blocks with a longer run go run
// by run up to the first block's end, each run in one store of 64 bytes. A
// run whose head ends a block fills the head's slots there and its value's
// in the next block.
//
// Runs until `out` reaches `end` or fewer than 257 bytes of input are left,
// so it may expand up to RleLineReader::kAhead - 1 bytes past `end`, and
// writes up to RleLineReader::kSlack bytes past it. Reads the byte before
// `in` only after a block that ended on a head. Leaves `in` on a run's head
// or a literal.
//
// On a Zen 5 core a photograph's block takes about 12 cycles, bound by the
// vector and store work rather than by any one chain. Measured there and
// found equal or slower: one slot per byte for blocks whose runs are at
// most 2 (the branch per block mispredicts about one block in seven and
// costs far more than it saves); each value's head taken by a permute, a
// two-lane shift or a rotate instead of the second load; the keep masks
// built from bit masks (pdep) instead of permutes; the next four blocks
// loaded ahead of this group's stores; the planes interleaved in this
// loop; and several lines expanded per call.
PCX_WIDE void ExpandWide(const uint8_t*& inRef, const uint8_t* inEnd, uint8_t*& outRef, const uint8_t* end) {
    const uint8_t* in = inRef;
    uint8_t* out = outRef;
    // Four blocks and the value of a head that ends the last.
    constexpr ptrdiff_t kReach = 257;
    if (out >= end || inEnd - in < kReach) return;
    const uint8_t* const last = inEnd - kReach;
    const __m512i longRuns = _mm512_set1_epi8(static_cast<char>(0xC4));
    const __m512i ones = _mm512_set1_epi8(1);
    const __m512i spreadLow = _mm512_load_si512(kWide.spread[0]);
    const __m512i spreadHigh = _mm512_load_si512(kWide.spread[1]);
    const __m512i slots = _mm512_load_si512(kWide.slot);
    const __m512i headBase = _mm512_set1_epi8(static_cast<char>(0xC0));
    const __m512i valueBase = _mm512_set1_epi8(static_cast<char>(0xC2));
    // Each head takes its value's byte, and each value its head's (in
    // the block before when it opens this one); heads, values and
    // literals take their counts of slots.
    auto expand = [&](const uint8_t* at, __m512i block, uint64_t heads, uint64_t carry) PCX_WIDE {
        const uint64_t values = (heads << 1) | carry;
        const __m512i filled = _mm512_mask_loadu_epi8(block, heads, at + 1);
        const __m512i before = _mm512_maskz_loadu_epi8(values, at - 1);
        // A head's count may be its whole length: only its first two slots
        // ask for it. A value's is the length beyond 2.
        __m512i counts = _mm512_mask_subs_epu8(ones, heads, block, headBase);
        counts = _mm512_mask_subs_epu8(counts, values, before, valueBase);
        const uint64_t keepLow = _mm512_cmpgt_epu8_mask(Permute(spreadLow, counts), slots);
        const uint64_t keepHigh = _mm512_cmpgt_epu8_mask(Permute(spreadHigh, counts), slots);
        _mm512_storeu_si512(out, _mm512_maskz_compress_epi8(keepLow, Permute(spreadLow, filled)));
        out += __builtin_popcountll(keepLow);
        _mm512_storeu_si512(out, _mm512_maskz_compress_epi8(keepHigh, Permute(spreadHigh, filled)));
        out += __builtin_popcountll(keepHigh);
    };
    uint64_t carry = 0; // 1 when the block before ended on a head
    do {
        const __m512i b0 = _mm512_loadu_si512(in);
        const __m512i b1 = _mm512_loadu_si512(in + 64);
        const __m512i b2 = _mm512_loadu_si512(in + 128);
        const __m512i b3 = _mm512_loadu_si512(in + 192);
        const BlockHeads h0 = FindHeads(b0, carry);
        const BlockHeads h1 = FindHeads(b1, h0.carryOut);
        const BlockHeads h2 = FindHeads(b2, h1.carryOut);
        const BlockHeads h3 = FindHeads(b3, h2.carryOut);
        if ((_mm512_mask_cmpgt_epu8_mask(h0.heads, b0, longRuns) |
             _mm512_mask_cmpgt_epu8_mask(h1.heads, b1, longRuns) |
             _mm512_mask_cmpgt_epu8_mask(h2.heads, b2, longRuns) |
             _mm512_mask_cmpgt_epu8_mask(h3.heads, b3, longRuns)) == 0) {
            expand(in, b0, h0.heads, carry);
            expand(in + 64, b1, h1.heads, h0.carryOut);
            expand(in + 128, b2, h2.heads, h1.carryOut);
            expand(in + 192, b3, h3.heads, h2.carryOut);
            carry = h3.carryOut;
            in += 256;
            continue;
        }
        // Run by run up to the first block's end, from the token after a
        // carried value.
        const uint8_t* at = in;
        if (carry) {
            _mm512_storeu_si512(out, _mm512_set1_epi8(static_cast<char>(in[0])));
            out += ValueSlots(in[-1] & 0x3Fu);
            ++at;
        }
        const uint8_t* const stop = in + 64;
        while (at < stop && out < end) {
            if (*at < 0xC0) {
                *out++ = *at++;
                continue;
            }
            _mm512_storeu_si512(out, _mm512_set1_epi8(static_cast<char>(at[1])));
            out += *at & 0x3Fu;
            at += 2;
        }
        in = at;
        carry = 0;
    } while (out < end && in <= last);
    // A head that ended the last block has filled its slots but not its
    // value's: take both back, to leave on the head.
    if (carry) {
        --in;
        out -= HeadSlots(in[0] & 0x3Fu);
    }
    inRef = in;
    outRef = out;
}

bool HaveWideKernel() {
    static const bool have = __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
                             __builtin_cpu_supports("avx512vbmi") && __builtin_cpu_supports("avx512vbmi2") &&
                             __builtin_cpu_supports("popcnt") && __builtin_cpu_supports("bmi") &&
                             __builtin_cpu_supports("bmi2");
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
    // The bytes expanded past the line before (a run that goes on, or a
    // kernel's last block).
    const size_t ahead = std::min(m_aheadSize, line.size());
    if (ahead > 0) std::memcpy(out, &m_ahead[m_aheadAt], ahead);
    out += ahead;
    m_aheadAt += ahead;
    m_aheadSize -= ahead;
    if (out == end) return {};
    const uint8_t* in = m_data.data() + m_at;
    const uint8_t* const inEnd = m_data.data() + m_data.size();
#ifdef PCX_HAVE_WIDE_KERNEL
    if (m_kernel == RleKernel::Wide) ExpandWide(in, inEnd, out, end);
#endif
    ExpandPortable(in, inEnd, out, end);
    // The rest, with every check; a run is written whole.
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
        std::memset(out, value, length);
        out += length;
    }
    m_at = static_cast<size_t>(in - m_data.data());
    m_aheadAt = 0;
    m_aheadSize = static_cast<size_t>(out - end);
    std::memcpy(m_ahead.data(), end, m_aheadSize);
    return {};
}

} // namespace showsaver::codec::detail
