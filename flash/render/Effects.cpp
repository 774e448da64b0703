#include "flash/render/Effects.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <functional>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace showsaver::flash {
namespace {

// A view of an image surface's pixels, one row after another.
struct View {
    uint32_t* data = nullptr;
    int width = 0, height = 0, stride = 0;   // stride in pixels
    uint32_t& At(int x, int y) const { return data[static_cast<ptrdiff_t>(y) * stride + x]; }
};

View ViewOf(cairo_surface_t* s) {
    cairo_surface_flush(s);
    return {reinterpret_cast<uint32_t*>(cairo_image_surface_get_data(s)), cairo_image_surface_get_width(s),
            cairo_image_surface_get_height(s), cairo_image_surface_get_stride(s) / 4};
}

using Plane = std::vector<uint8_t>;

constexpr uint32_t A(uint32_t p) { return p >> 24; }
constexpr uint32_t R(uint32_t p) { return p >> 16 & 0xFF; }
constexpr uint32_t G(uint32_t p) { return p >> 8 & 0xFF; }
constexpr uint32_t B(uint32_t p) { return p & 0xFF; }
constexpr uint32_t Pack(uint32_t a, uint32_t r, uint32_t g, uint32_t b) { return a << 24 | r << 16 | g << 8 | b; }
// `v` rounded half away from zero into 0..255 (NaN is 0), without lround's
// call: the filters round several times a pixel.
uint32_t Byte(double v) {
    if (!(v >= 0.5)) return 0;
    if (v >= 255) return 255;
    return static_cast<uint32_t>(v + 0.5);
}

// The width of the box a blur value asks for: one pixel is no blur.
int BoxWidth(double blur) { return std::clamp(static_cast<int>(std::lround(blur)), 1, static_cast<int>(Filter::kMaxBlur)); }

// Rounds sums of box samples divided by the box's width with a multiply in
// single precision, which the vector units do four or more at a time: for
// a sum of at most 255 × 255 the quotient is off by less than 3e-5, and one
// that is not whole is at least 1/255 short of the next whole number, so a
// nudge of 1e-3 makes the truncation exact (checked for every sum and
// width).
class BoxDivider {
public:
    explicit BoxDivider(uint32_t width) : m_half(static_cast<int32_t>(width / 2)), m_reciprocal(1.0f / static_cast<float>(width)) {}
    uint8_t operator()(uint32_t sum) const {
        return static_cast<uint8_t>(static_cast<int32_t>(static_cast<float>(static_cast<int32_t>(sum) + m_half) * m_reciprocal + kNudge));
    }
    int32_t Half() const { return m_half; }
    float Reciprocal() const { return m_reciprocal; }
    static constexpr float kNudge = 1e-3f;

private:
    int32_t m_half;
    float m_reciprocal;
};

// One box pass along each row of `in` into `out`: each sample becomes the
// mean of the `width` around it, zeros beyond the ends. Four rows go side by
// side, so that their running sums do not wait on one another; each is
// first put between zeros, so that the window needs no test at the ends.
// A last group of fewer than four repeats its last row into a spare line.
void BoxRows(const Plane& in, Plane& out, int w, int h, int width) {
    const BoxDivider divide(static_cast<uint32_t>(width));
    const int left = (width - 1) / 2;
    constexpr int kRows = 4;
    const size_t padded = static_cast<size_t>(w) + static_cast<size_t>(width);
    std::vector<uint8_t> lines(kRows * padded, 0), spare(static_cast<size_t>(w));
    for (int y0 = 0; y0 < h; y0 += kRows) {
        uint32_t sum[kRows] = {};
        const uint8_t* line[kRows];
        uint8_t* to[kRows];
        for (int k = 0; k < kRows; ++k) {
            const int y = std::min(y0 + k, h - 1);
            uint8_t* pad = lines.data() + static_cast<size_t>(k) * padded;
            std::copy_n(in.data() + static_cast<ptrdiff_t>(y) * w, w, pad + left);
            line[k] = pad;
            to[k] = y0 + k < h ? out.data() + static_cast<ptrdiff_t>(y) * w : spare.data();
            for (int j = 0; j < width; ++j) sum[k] += pad[j];
        }
        uint32_t s0 = sum[0], s1 = sum[1], s2 = sum[2], s3 = sum[3];
        const uint8_t *l0 = line[0], *l1 = line[1], *l2 = line[2], *l3 = line[3];
        uint8_t *t0 = to[0], *t1 = to[1], *t2 = to[2], *t3 = to[3];
        for (int i = 0; i < w; ++i) {
            t0[i] = divide(s0), t1[i] = divide(s1), t2[i] = divide(s2), t3[i] = divide(s3);
            s0 += uint32_t{l0[i + width]} - l0[i];
            s1 += uint32_t{l1[i + width]} - l1[i];
            s2 += uint32_t{l2[i + width]} - l2[i];
            s3 += uint32_t{l3[i + width]} - l3[i];
        }
    }
}

// The same pass down the columns, a row at a time: every column keeps its
// running sum, so the plane is read in order rather than a column's
// samples a row apart.
void BoxColumns(const Plane& in, Plane& out, int w, int h, int width, std::vector<uint32_t>& sums) {
    const BoxDivider divide(static_cast<uint32_t>(width));
    const int left = (width - 1) / 2, right = width / 2;
    const size_t n = static_cast<size_t>(w);
    const std::vector<uint8_t> zeros(n, 0);
    auto row = [&](int y) { return y >= 0 && y < h ? in.data() + static_cast<ptrdiff_t>(y) * w : zeros.data(); };
    sums.assign(n, 0);
    for (int k = 0; k <= right && k < h; ++k)
        for (size_t x = 0; x < n; ++x) sums[x] += row(k)[x];
    uint32_t* sum = sums.data();
    for (int y = 0; y < h; ++y) {
        uint8_t* to = out.data() + static_cast<ptrdiff_t>(y) * w;
        const uint8_t *coming = row(y + right + 1), *going = row(y - left);
        size_t x = 0;
#if defined(__SSE2__)
        // Sixteen columns a step, the quotients as BoxDivider makes them.
        const __m128i zero = _mm_setzero_si128(), half = _mm_set1_epi32(divide.Half());
        const __m128 reciprocal = _mm_set1_ps(divide.Reciprocal()), nudge = _mm_set1_ps(BoxDivider::kNudge);
        auto mean = [&](__m128i s) {
            return _mm_cvttps_epi32(_mm_add_ps(_mm_mul_ps(_mm_cvtepi32_ps(_mm_add_epi32(s, half)), reciprocal), nudge));
        };
        for (; x + 16 <= n; x += 16) {
            __m128i s[4];
            for (int k = 0; k < 4; ++k) s[k] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(sum + x) + k);
            const __m128i means = _mm_packus_epi16(_mm_packs_epi32(mean(s[0]), mean(s[1])), _mm_packs_epi32(mean(s[2]), mean(s[3])));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(to + x), means);
            const __m128i added = _mm_loadu_si128(reinterpret_cast<const __m128i*>(coming + x));
            const __m128i gone = _mm_loadu_si128(reinterpret_cast<const __m128i*>(going + x));
            // Each byte's change as a 16-bit difference, then widened with its sign.
            const __m128i changeLow = _mm_sub_epi16(_mm_unpacklo_epi8(added, zero), _mm_unpacklo_epi8(gone, zero));
            const __m128i changeHigh = _mm_sub_epi16(_mm_unpackhi_epi8(added, zero), _mm_unpackhi_epi8(gone, zero));
            const __m128i change[4] = {_mm_srai_epi32(_mm_unpacklo_epi16(changeLow, changeLow), 16),
                                       _mm_srai_epi32(_mm_unpackhi_epi16(changeLow, changeLow), 16),
                                       _mm_srai_epi32(_mm_unpacklo_epi16(changeHigh, changeHigh), 16),
                                       _mm_srai_epi32(_mm_unpackhi_epi16(changeHigh, changeHigh), 16)};
            for (int k = 0; k < 4; ++k)
                _mm_storeu_si128(reinterpret_cast<__m128i*>(sum + x) + k, _mm_add_epi32(s[k], change[k]));
        }
#endif
        for (; x < n; ++x) {
            to[x] = divide(sum[x]);
            sum[x] += uint32_t{coming[x]} - going[x];
        }
    }
}

// Flash Player's blur: a box `blurX` wide along rows, then one `blurY`
// high along columns, the pair repeated `passes` times.
void BlurPlane(Plane& p, int w, int h, double blurX, double blurY, int passes) {
    const int bx = BoxWidth(blurX), by = BoxWidth(blurY);
    if (passes <= 0 || (bx == 1 && by == 1)) return;
    Plane other(p.size());
    std::vector<uint32_t> sums;
    for (int pass = 0; pass < passes; ++pass) {
        if (bx > 1) {
            BoxRows(p, other, w, h, bx);
            p.swap(other);
        }
        if (by > 1) {
            BoxColumns(p, other, w, h, by, sums);
            p.swap(other);
        }
    }
}

Plane AlphaOf(const View& v) {
    Plane p(static_cast<size_t>(v.width) * static_cast<size_t>(v.height));
    for (int y = 0; y < v.height; ++y) {
        const uint32_t* __restrict row = &v.At(0, y);
        uint8_t* __restrict to = p.data() + static_cast<size_t>(y) * static_cast<size_t>(v.width);
        for (int x = 0; x < v.width; ++x) to[x] = static_cast<uint8_t>(A(row[x]));
    }
    return p;
}

// `p` moved by (dx, dy); what comes in from outside is `outside`.
Plane Shifted(const Plane& p, int w, int h, int dx, int dy, uint8_t outside) {
    if (dx == 0 && dy == 0) return p;
    Plane out(p.size(), outside);
    if (std::abs(dx) >= w || std::abs(dy) >= h) return out;
    // Each row that stays keeps the columns that stay: one copy a row.
    const size_t from = static_cast<size_t>(std::max(0, -dx)), to = static_cast<size_t>(std::max(0, dx));
    const size_t kept = static_cast<size_t>(w - std::abs(dx));
    for (int y = std::max(0, dy); y < std::min(h, h + dy); ++y) {
        const size_t row = static_cast<size_t>(y) * static_cast<size_t>(w), source = static_cast<size_t>(y - dy) * static_cast<size_t>(w);
        std::copy_n(p.begin() + static_cast<ptrdiff_t>(source + from), kept, out.begin() + static_cast<ptrdiff_t>(row + to));
    }
    return out;
}

// A colour at `amount` (0..1) of its own alpha, premultiplied.
struct Paint {
    double a, r, g, b;   // premultiplied, 0..255
};
Paint PaintOf(Rgba c, double amount) {
    double a = c.a * amount;
    return {a, c.r * a / 255, c.g * a / 255, c.b * a / 255};
}
uint32_t PixelOf(const Paint& p) { return Pack(Byte(p.a), Byte(p.r), Byte(p.g), Byte(p.b)); }

// `top` over `bottom`, both premultiplied: each channel of `bottom` scaled
// by what `top` leaves of it, rounded, and added to `top`'s, held at 255.
uint32_t Over(uint32_t top, uint32_t bottom) {
    uint32_t keep = 255 - A(top);
    auto one = [&](uint32_t t, uint32_t b) { return std::min<uint32_t>(255, t + (b * keep + 127) / 255); };
    return Pack(one(A(top), A(bottom)), one(R(top), R(bottom)), one(G(top), G(bottom)), one(B(top), B(bottom)));
}

// Over for rows of `n` pixels into `out` (which may be either of them),
// four pixels at a time: four clear pixels on top leave the bottom, four
// opaque ones are the result, and the others are worked out in the vector
// units, a channel a word. (x + 128 + (x + 128) / 256) / 256 is x / 255
// rounded for every product of two bytes, as Over has it, and packing the
// words back into bytes holds each sum at 255.
void OverRow(const uint32_t* top, const uint32_t* bottom, uint32_t* out, size_t n) {
    size_t i = 0;
#if defined(__SSE2__)
    const __m128i zero = _mm_setzero_si128(), full = _mm_set1_epi16(255), half = _mm_set1_epi16(128);
    auto over = [&](__m128i t, __m128i b) {
        const __m128i alpha = _mm_shufflehi_epi16(_mm_shufflelo_epi16(t, 0xFF), 0xFF);
        __m128i scaled = _mm_add_epi16(_mm_mullo_epi16(b, _mm_sub_epi16(full, alpha)), half);
        scaled = _mm_srli_epi16(_mm_add_epi16(scaled, _mm_srli_epi16(scaled, 8)), 8);
        return _mm_add_epi16(t, scaled);
    };
    for (; i + 4 <= n; i += 4) {
        const __m128i t = _mm_loadu_si128(reinterpret_cast<const __m128i*>(top + i));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bottom + i));
        __m128i result;
        const int clear = _mm_movemask_epi8(_mm_cmpeq_epi32(t, zero));
        const int opaque = _mm_movemask_epi8(_mm_cmpeq_epi32(_mm_srli_epi32(t, 24), _mm_set1_epi32(255)));
        if (clear == 0xFFFF)
            result = b;
        else if (opaque == 0xFFFF)
            result = t;
        else
            result = _mm_packus_epi16(over(_mm_unpacklo_epi8(t, zero), _mm_unpacklo_epi8(b, zero)),
                                      over(_mm_unpackhi_epi8(t, zero), _mm_unpackhi_epi8(b, zero)));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), result);
    }
#endif
    for (; i < n; ++i) out[i] = Over(top[i], bottom[i]);
}

// 256 premultiplied colours along a filter's gradient, its stops taken in
// order of ratio (equal ratios keep their order in the record).
std::array<uint32_t, 256> GradientTable(std::vector<GradientStop> stops) {
    std::array<uint32_t, 256> table{};
    if (stops.empty()) return table;
    std::stable_sort(stops.begin(), stops.end(), [](const GradientStop& x, const GradientStop& y) { return x.ratio < y.ratio; });
    for (int i = 0; i < 256; ++i) {
        size_t k = 0;
        while (k < stops.size() && stops[k].ratio < i) ++k;
        Rgba c;
        if (k == 0) {
            c = stops.front().color;
        } else if (k == stops.size()) {
            c = stops.back().color;
        } else {
            const GradientStop &lo = stops[k - 1], &hi = stops[k];
            double t = (i - lo.ratio) / double(hi.ratio - lo.ratio);
            auto mix = [t](uint8_t x, uint8_t y) { return static_cast<uint8_t>(std::lround(x + (y - x) * t)); };
            c = {mix(lo.color.r, hi.color.r), mix(lo.color.g, hi.color.g), mix(lo.color.b, hi.color.b), mix(lo.color.a, hi.color.a)};
        }
        table[static_cast<size_t>(i)] = PixelOf(PaintOf(c, 1));
    }
    return table;
}

uint32_t Scaled(uint32_t p, double k) {
    return Pack(Byte(A(p) * k), Byte(R(p) * k), Byte(G(p) * k), Byte(B(p) * k));
}

// Puts the effect of every pixel where the filter says: shadows and outer
// glows below the object, inner ones and bevels on top, knockout and hidden
// objects leave the effect alone. `cutOf` turns the object's alpha into how
// much of the effect it leaves (0 to 255); `effectOf(i, cut)` is the
// effect's pixel at index i. Each way of putting and cutting gets a loop
// of its own.
template <typename CutOf, typename EffectOf>
void PutEffect(const View& v, const Plane& alpha, const Filter& f, bool effectOnTop, CutOf cutOf, EffectOf effectOf) {
    std::vector<uint32_t> effects(static_cast<size_t>(v.width));
    for (int y = 0; y < v.height; ++y) {
        uint32_t* row = &v.At(0, y);
        const size_t first = static_cast<size_t>(y) * static_cast<size_t>(v.width);
        for (size_t x = 0; x < effects.size(); ++x) effects[x] = effectOf(first + x, cutOf(alpha[first + x]));
        if (f.knockout || !f.compositeSource)
            std::copy(effects.begin(), effects.end(), row);
        else if (effectOnTop)
            OverRow(effects.data(), row, row, effects.size());
        else
            OverRow(row, effects.data(), row, effects.size());
    }
}

int Offset(double distance, double angle, bool y) {
    return static_cast<int>(std::lround(distance * (y ? std::sin(angle) : std::cos(angle))));
}

// An effect's pixel for each of the values its plane of samples can hold,
// as `effect(sample, 1)` makes it where the object's alpha does not cut it.
// Where it does, an object's alpha of 0 or 255 cuts all or nothing; a
// partial cut is worked out pixel by pixel until it has been asked for
// often, as a wide half-transparent area asks, and then gets a table too.
template <size_t N, typename Effect>
class EffectTable {
public:
    EffectTable(int lowest, Effect effect) : m_lowest(lowest), m_effect(std::move(effect)) {
        for (size_t i = 0; i < N; ++i) m_full[i] = m_effect(static_cast<int>(i) + m_lowest, 1.0);
    }
    // `cut` is how much of the effect the object's alpha leaves, 0 to 255.
    [[gnu::always_inline]] uint32_t operator()(int sample, uint32_t cut) {
        const auto i = static_cast<size_t>(sample - m_lowest);
        if (cut == 255) return m_full[i];
        if (cut == 0) return 0;
        std::vector<uint32_t>& row = m_cut[cut];
        if (!row.empty()) return row[i];
        if (++m_asked[cut] < kTableAfter) return m_effect(sample, cut / 255.0);
        row.resize(N);
        for (size_t k = 0; k < N; ++k) row[k] = m_effect(static_cast<int>(k) + m_lowest, cut / 255.0);
        return row[i];
    }

private:
    static constexpr uint32_t kTableAfter = N / 8;
    int m_lowest;
    Effect m_effect;
    std::array<uint32_t, N> m_full;
    std::array<std::vector<uint32_t>, 256> m_cut;
    std::array<uint32_t, 256> m_asked{};
};

// Drop shadow, glow and gradient glow: the alpha moved, blurred, made
// stronger and coloured.
void Shadow(const View& v, const Filter& f) {
    const int w = v.width, h = v.height;
    Plane alpha = AlphaOf(v);
    const bool glow = f.kind == FilterKind::Glow;
    const int dx = glow ? 0 : Offset(f.distance, f.angle, false), dy = glow ? 0 : Offset(f.distance, f.angle, true);
    Plane s = Shifted(alpha, w, h, dx, dy, 0);
    if (f.inner)
        for (uint8_t& a : s) a = static_cast<uint8_t>(255 - a);
    BlurPlane(s, w, h, f.blurX, f.blurY, f.passes);
    std::array<uint32_t, 256> gradientTable{};
    const bool gradient = f.kind == FilterKind::GradientGlow;
    if (gradient) gradientTable = GradientTable(f.gradient);
    // The strength picks the gradient's colour; the object's own alpha then
    // cuts an inner or knocked-out effect.
    EffectTable<256, std::function<uint32_t(int, double)>> effect(0, [&](int sample, double cut) {
        double amount = std::min(1.0, sample * f.strength / 255);
        return gradient ? Scaled(gradientTable[static_cast<size_t>(std::lround(amount * 255))], cut)
                        : PixelOf(PaintOf(f.color, amount * cut));
    });
    auto put = [&](auto cutOf) {
        PutEffect(v, alpha, f, f.inner, cutOf, [&](size_t i, uint32_t cut) { return effect(s[i], cut); });
    };
    if (f.inner)
        put([](uint8_t own) -> uint32_t { return own; });
    else if (f.knockout)
        put([](uint8_t own) -> uint32_t { return 255u - own; });
    else
        put([](uint8_t) { return 255u; });
}

// Bevel and gradient bevel: the blurred alpha seen from the light and from
// the other side; where they differ the edge is lit or shaded.
void Bevel(const View& v, const Filter& f) {
    const int w = v.width, h = v.height;
    Plane alpha = AlphaOf(v);
    Plane blurred = alpha;
    BlurPlane(blurred, w, h, f.blurX, f.blurY, f.passes);
    const int dx = Offset(f.distance, f.angle, false), dy = Offset(f.distance, f.angle, true);
    Plane lit = Shifted(blurred, w, h, -dx, -dy, 0), shaded = Shifted(blurred, w, h, dx, dy, 0);
    const bool gradient = f.kind == FilterKind::GradientBevel;
    std::array<uint32_t, 256> gradientTable{};
    if (gradient) gradientTable = GradientTable(f.gradient);
    const bool full = f.onTop && !f.inner;
    // Indexed by how much more light than shade a pixel has, -255 to 255.
    EffectTable<511, std::function<uint32_t(int, double)>> effect(-255, [&](int difference, double cut) {
        double edge = std::clamp(difference * f.strength / 255, -1.0, 1.0);
        if (gradient)
            return Scaled(gradientTable[static_cast<size_t>(std::clamp(std::lround(127.5 + edge * 127.5), 0L, 255L))], cut);
        return edge >= 0 ? PixelOf(PaintOf(f.highlight, edge * cut)) : PixelOf(PaintOf(f.color, -edge * cut));
    });
    auto put = [&](auto cutOf) {
        PutEffect(v, alpha, f, f.inner || f.onTop, cutOf,
                  [&](size_t i, uint32_t cut) { return effect(int(lit[i]) - int(shaded[i]), cut); });
    };
    if (full)
        put([](uint8_t) { return 255u; });
    else if (f.inner)
        put([](uint8_t own) -> uint32_t { return own; });
    else
        put([](uint8_t own) -> uint32_t { return 255u - own; });
}

// A straight colour in the vector units: red, green, blue and alpha, 0 to 255.
typedef float Floats4 __attribute__((vector_size(16)));
Floats4 StraightOf(uint32_t p) {
    const uint32_t a = A(p);
    if (a == 0) return Floats4{0, 0, 0, 0};
    const float k = 255.0f / static_cast<float>(a);
    return Floats4{static_cast<float>(R(p)) * k, static_cast<float>(G(p)) * k, static_cast<float>(B(p)) * k,
                   static_cast<float>(a)};
}

// A straight colour premultiplied again: the alpha rounded into 0..255,
// channels below 0 (or not numbers) 0 and above 255 255, then scaled by the
// alpha, rounded, and none above it.
uint32_t PremultipliedOf(Floats4 c) {
    typedef int32_t Ints4 __attribute__((vector_size(16)));
    const uint32_t alpha = Byte(c[3]);
    c = reinterpret_cast<Floats4>(reinterpret_cast<Ints4>(c) & (c > 0));
    const Ints4 above = c > 255;
    c = reinterpret_cast<Floats4>((reinterpret_cast<Ints4>(c) & ~above) | (reinterpret_cast<Ints4>(Floats4{255, 255, 255, 255}) & above));
    const Ints4 rounded = __builtin_convertvector(c * (static_cast<float>(alpha) / 255.0f) + 0.5f, Ints4);
    auto channel = [&](int i) { return std::min(alpha, static_cast<uint32_t>(rounded[i])); };
    return Pack(alpha, channel(0), channel(1), channel(2));
}

void ColorMatrix(const View& v, const Filter& f) {
    if (f.weights.size() < 20) return;
    // The matrix by columns: what red, green, blue and alpha each add to the
    // four results, and the offsets.
    Floats4 column[5];
    for (size_t k = 0; k < 5; ++k)
        column[k] = Floats4{f.weights[k], f.weights[5 + k], f.weights[10 + k], f.weights[15 + k]};
    for (int y = 0; y < v.height; ++y) {
        uint32_t* row = &v.At(0, y);
        for (int x = 0; x < v.width; ++x) {
            const Floats4 s = StraightOf(row[x]);
            const Floats4 out = column[0] * s[0] + column[1] * s[1] + column[2] * s[2] + column[3] * s[3] + column[4];
            row[x] = PremultipliedOf(out);
        }
    }
}

// Each pixel becomes the weighted sum of the matrix around it (the matrix's
// centre at column matrixX / 2 and row matrixY / 2), divided, biased and
// premultiplied again. The straight colours of the rows the matrix covers
// are laid out once each, in a ring of matrixY rows, with a border of what
// lies beyond the edges (the nearest edge pixel when clamping, else the
// filter's colour), so that the sums never test where they are.
void Convolution(const View& v, const Filter& f) {
    const int mx = f.matrixX, my = f.matrixY;
    if (mx <= 0 || my <= 0 || f.weights.size() < static_cast<size_t>(mx) * static_cast<size_t>(my)) return;
    const int w = v.width, h = v.height, left = mx / 2, top = my / 2;
    const size_t paddedWidth = static_cast<size_t>(w) + static_cast<size_t>(mx) - 1;
    const Floats4 outside{float(f.color.r), float(f.color.g), float(f.color.b), float(f.color.a)};
    std::vector<Floats4> ring(paddedWidth * static_cast<size_t>(my));
    auto line = [&](int py) { return ring.data() + static_cast<size_t>(py % my) * paddedWidth; };
    // Lays out padded row `py`: the image's row py - top.
    auto layOut = [&](int py) {
        Floats4* to = line(py);
        const int sy = py - top;
        for (size_t px = 0; px < paddedWidth; ++px) {
            const int sx = static_cast<int>(px) - left;
            if (sx >= 0 && sy >= 0 && sx < w && sy < h)
                to[px] = StraightOf(v.At(sx, sy));
            else
                to[px] = f.clamp ? StraightOf(v.At(std::clamp(sx, 0, w - 1), std::clamp(sy, 0, h - 1))) : outside;
        }
    };
    const float scale = static_cast<float>(1 / (f.divisor == 0 ? 1 : f.divisor)), bias = static_cast<float>(f.bias);
    for (int py = 0; py < my - 1; ++py) layOut(py);
    for (int y = 0; y < h; ++y) {
        // Row y is written only once every row it is read from is laid out.
        layOut(y + my - 1);
        uint32_t* row = &v.At(0, y);
        for (int x = 0; x < w; ++x) {
            Floats4 sum{0, 0, 0, 0};
            for (int j = 0; j < my; ++j) {
                const Floats4* in = line(y + j) + x;
                const float* weights = f.weights.data() + static_cast<size_t>(j) * static_cast<size_t>(mx);
                for (int i = 0; i < mx; ++i) sum += weights[i] * in[i];
            }
            Floats4 out = sum * scale + bias;
            if (f.preserveAlpha) out[3] = line(y + top)[x + left][3];
            row[x] = PremultipliedOf(out);
        }
    }
}

void BlurImage(const View& v, const Filter& f) {
    const int w = v.width, h = v.height;
    std::array<Plane, 4> planes;
    for (int c = 0; c < 4; ++c) {
        planes[size_t(c)].resize(static_cast<size_t>(w) * static_cast<size_t>(h));
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) planes[size_t(c)][static_cast<size_t>(y) * static_cast<size_t>(w) + static_cast<size_t>(x)] = static_cast<uint8_t>(v.At(x, y) >> (8 * c));
        BlurPlane(planes[size_t(c)], w, h, f.blurX, f.blurY, f.passes);
    }
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            size_t i = static_cast<size_t>(y) * static_cast<size_t>(w) + static_cast<size_t>(x);
            uint32_t a = planes[3][i];
            v.At(x, y) = Pack(a, std::min<uint32_t>(a, planes[2][i]), std::min<uint32_t>(a, planes[1][i]), std::min<uint32_t>(a, planes[0][i]));
        }
}

} // namespace

FilterSpread FilterMargin(const std::vector<Filter>& filters) {
    FilterSpread m;
    for (const Filter& f : filters) {
        int passes = std::max(f.passes, 0);
        int bx = passes * ((BoxWidth(f.blurX) + 1) / 2), by = passes * ((BoxWidth(f.blurY) + 1) / 2);
        int dx = 0, dy = 0;
        if (f.kind != FilterKind::Blur && f.kind != FilterKind::Glow && f.kind != FilterKind::ColorMatrix &&
            f.kind != FilterKind::Convolution) {
            dx = std::abs(Offset(f.distance, f.angle, false));
            dy = std::abs(Offset(f.distance, f.angle, true));
        }
        if (f.kind == FilterKind::Convolution) bx = f.matrixX / 2 + 1, by = f.matrixY / 2 + 1;
        if (f.kind == FilterKind::ColorMatrix) bx = by = 0;
        m.x += bx + dx;
        m.y += by + dy;
    }
    return m;
}

void ApplyFilters(cairo_surface_t* image, const std::vector<Filter>& filters) {
    View v = ViewOf(image);
    if (!v.data || v.width <= 0 || v.height <= 0) return;
    for (const Filter& f : filters) {
        switch (f.kind) {
        case FilterKind::Blur: BlurImage(v, f); break;
        case FilterKind::DropShadow:
        case FilterKind::Glow:
        case FilterKind::GradientGlow: Shadow(v, f); break;
        case FilterKind::Bevel:
        case FilterKind::GradientBevel: Bevel(v, f); break;
        case FilterKind::ColorMatrix: ColorMatrix(v, f); break;
        case FilterKind::Convolution: Convolution(v, f); break;
        }
    }
    cairo_surface_mark_dirty(image);
}

void TransformPixels(cairo_surface_t* image, const ColorTransform& color) {
    View v = ViewOf(image);
    if (!v.data) return;
    // A pixel's channels taken out of premultiplied form, transformed and
    // premultiplied again, each step a table: the first and last (by alpha,
    // then channel) are the same for every transform and made once.
    using ByAlpha = std::array<uint8_t, 256 * 256>;
    static const ByAlpha straight = [] {
        ByAlpha table{};
        for (uint32_t a = 1; a < 256; ++a)
            for (uint32_t c = 0; c < 256; ++c) table[a << 8 | c] = static_cast<uint8_t>(Byte(static_cast<double>(c * 255) / a));
        return table;
    }();
    static const ByAlpha premultiplied = [] {
        ByAlpha table{};
        for (uint32_t a = 0; a < 256; ++a)
            for (uint32_t c = 0; c < 256; ++c)
                table[a << 8 | c] = static_cast<uint8_t>(PremultipliedOf(Floats4{0, 0, static_cast<float>(c), static_cast<float>(a)}));
        return table;
    }();
    std::array<Rgba, 256> transformed;
    for (uint32_t i = 0; i < 256; ++i) {
        const auto b = static_cast<uint8_t>(i);
        transformed[i] = color.Apply({b, b, b, b});
    }
    for (int y = 0; y < v.height; ++y) {
        uint32_t* row = &v.At(0, y);
        for (int x = 0; x < v.width; ++x) {
            const uint32_t p = row[x];
            if (p == 0 && color.aa <= 0) continue;
            const uint32_t a = A(p) << 8;
            const uint32_t ta = transformed[A(p)].a << 8;
            row[x] = Pack(ta >> 8, premultiplied[ta | transformed[straight[a | R(p)]].r],
                          premultiplied[ta | transformed[straight[a | G(p)]].g], premultiplied[ta | transformed[straight[a | B(p)]].b]);
        }
    }
    cairo_surface_mark_dirty(image);
}

void BlendPixels(cairo_surface_t* target, cairo_surface_t* source, int x, int y, BlendMode mode, int x0, int y0, int x1,
                 int y1) {
    View t = ViewOf(target), s = ViewOf(source);
    if (!t.data || !s.data) return;
    const bool opaque = cairo_image_surface_get_format(target) == CAIRO_FORMAT_RGB24;
    x0 = std::max({x0, x, 0}), y0 = std::max({y0, y, 0});
    x1 = std::min({x1, x + s.width, t.width}), y1 = std::min({y1, y + s.height, t.height});
    for (int ty = y0; ty < y1; ++ty)
        for (int tx = x0; tx < x1; ++tx) {
            uint32_t src = s.At(tx - x, ty - y), &dst = t.At(tx, ty);
            uint32_t sa = A(src), da = opaque ? 255 : A(dst);
            if (sa == 0 && mode != BlendMode::Alpha) continue;
            switch (mode) {
            case BlendMode::Subtract: {
                auto sub = [](uint32_t d, uint32_t c) { return d > c ? d - c : 0; };
                uint32_t a = opaque ? 255 : std::min<uint32_t>(255, sa + da - (sa * da + 127) / 255);
                dst = Pack(a, std::min(a, sub(R(dst), R(src))), std::min(a, sub(G(dst), G(src))), std::min(a, sub(B(dst), B(src))));
                break;
            }
            case BlendMode::Invert: {
                auto inv = [&](uint32_t c) { return (c * (255 - sa) + (da - std::min(c, da)) * sa + 127) / 255; };
                dst = Pack(da, inv(R(dst)), inv(G(dst)), inv(B(dst)));
                break;
            }
            case BlendMode::Alpha:
            case BlendMode::Erase: {
                // An opaque target has no alpha to take: the object leaves it as it is.
                if (opaque) break;
                uint32_t k = mode == BlendMode::Alpha ? sa : 255 - sa;
                auto mul = [k](uint32_t c) { return (c * k + 127) / 255; };
                dst = Pack(mul(A(dst)), mul(R(dst)), mul(G(dst)), mul(B(dst)));
                break;
            }
            default: break;
            }
        }
    cairo_surface_mark_dirty(target);
}

} // namespace showsaver::flash
