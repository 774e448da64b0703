// flash.display.BitmapData, MovieClip.attachBitmap and beginBitmapFill.
// A bitmap's pixels are a premultiplied ARGB32 image, as Flash Player keeps
// them: a colour read back through getPixel32 has lost what premultiplying
// rounded away. The pixels are shared with whatever shows them (a placed
// bitmap, a bitmap fill), so a change shows on the next frame; they are
// charged to the script heap before they are made and for as long as
// anything holds them. Every operation counts its pixels as actions, so a
// script that loops over large bitmaps meets the step's bounds.

#include "flash/script/Vm.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <optional>
#include <span>

namespace showsaver::flash::script {

#define NATIVE [](Vm & vm [[maybe_unused]], [[maybe_unused]] const Value& self, [[maybe_unused]] std::span<const Value> a) -> Value

namespace {

constexpr int kMaxSide = 2880;
constexpr int64_t kMaxPixels = 16'777'215;
constexpr int kMaxOctaves = 32;

// The pixels of a bitmap, open for reading and writing.
class Image {
public:
    explicit Image(BitmapCharacter& b) : m_surface(b.surface.get()), width(b.width), height(b.height) {
        cairo_surface_flush(m_surface);
        m_data = reinterpret_cast<uint32_t*>(cairo_image_surface_get_data(m_surface));
        m_stride = cairo_image_surface_get_stride(m_surface) / 4;
    }
    ~Image() { cairo_surface_mark_dirty(m_surface); }
    Image(const Image&) = delete;
    Image& operator=(const Image&) = delete;
    uint32_t& At(int x, int y) { return m_data[static_cast<ptrdiff_t>(y) * m_stride + x]; }
    bool Inside(int64_t x, int64_t y) const { return x >= 0 && y >= 0 && x < width && y < height; }

private:
    cairo_surface_t* m_surface;
    uint32_t* m_data = nullptr;
    ptrdiff_t m_stride = 0;

public:
    const int width, height;
};

// Flash Player's premultiplication, rounded to the nearest both ways.
uint32_t Premultiply(uint32_t argb, bool transparent) {
    uint32_t alpha = transparent ? argb >> 24 : 255;
    if (alpha == 255) return argb | 0xFF000000u;
    const double f = alpha / 255.0;
    auto m = [f](uint32_t c) { return static_cast<uint32_t>(std::lround((c & 0xFF) * f)); };
    return alpha << 24 | m(argb >> 16) << 16 | m(argb >> 8) << 8 | m(argb);
}

uint32_t Unmultiply(uint32_t p) {
    uint32_t alpha = p >> 24;
    if (alpha == 255) return p;
    if (alpha == 0) return 0;
    const double f = 255.0 / alpha;
    auto u = [f](uint32_t c) { return std::min<uint32_t>(255, static_cast<uint32_t>(std::lround((c & 0xFF) * f))); };
    return alpha << 24 | u(p >> 16) << 16 | u(p >> 8) << 8 | u(p);
}

// A premultiplied pixel over another.
uint32_t Over(uint32_t s, uint32_t d) {
    uint32_t inverse = 255 - (s >> 24);
    auto c = [&](int shift) { return std::min<uint32_t>(255, (s >> shift & 0xFF) + ((d >> shift & 0xFF) * inverse + 127) / 255); };
    return c(24) << 24 | c(16) << 16 | c(8) << 8 | c(0);
}

double Number(Vm& vm, const Value& v, double fallback) {
    if (v.IsUndefined()) return fallback;
    double n = vm.ToNumber(v);
    return std::isfinite(n) ? std::clamp(n, -1e7, 1e7) : fallback;
}
int Int(Vm& vm, const Value& v, int fallback = 0) { return static_cast<int>(Number(vm, v, fallback)); }
double Field(Vm& vm, const Value& o, const char* name, double fallback = 0) {
    return o.IsObject() ? Number(vm, vm.Get(o, name), fallback) : fallback;
}

struct Area {
    int x = 0, y = 0, width = 0, height = 0;
};
Area AreaOf(Vm& vm, const Value& r) {
    return {static_cast<int>(Field(vm, r, "x")), static_cast<int>(Field(vm, r, "y")), static_cast<int>(Field(vm, r, "width")),
            static_cast<int>(Field(vm, r, "height"))};
}
// `a` cut to a bitmap of `width` × `height`.
Area Clipped(Area a, int width, int height) {
    int x0 = std::max(a.x, 0), y0 = std::max(a.y, 0);
    int x1 = static_cast<int>(std::min<int64_t>(int64_t{a.x} + std::max(a.width, 0), width));
    int y1 = static_cast<int>(std::min<int64_t>(int64_t{a.y} + std::max(a.height, 0), height));
    return {x0, y0, std::max(0, x1 - x0), std::max(0, y1 - y0)};
}

BitmapCharacter* BitmapOf(const Value& v) {
    return v.IsObject() && v.object->bitmap ? v.object->bitmap.get() : nullptr;
}
bool Transparent(const Value& self) { return self.IsObject() && self.object->primitive.number != 0; }

// Counts the pixels an operation touches against the step's actions: an
// action's worth of time for every 64 (an action takes some 200 ns).
void Work(Vm& vm, int64_t pixels) { vm.Count(1 + static_cast<uint64_t>(std::max<int64_t>(pixels, 0)) / 64); }

// The pixels of a source rectangle, copied (a source may be the target).
struct Copy {
    std::vector<uint32_t> pixels;
    int width = 0, height = 0;
    uint32_t At(int x, int y) const { return pixels[static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)]; }
};

// Where a source rectangle lands on a target at `to`: both cut so that
// every pixel is inside both. `from` gets the source's top left.
struct Span {
    int sx = 0, sy = 0, tx = 0, ty = 0, width = 0, height = 0;
};
Span SpanOf(Area source, int sourceWidth, int sourceHeight, int toX, int toY, int targetWidth, int targetHeight) {
    int64_t x0 = std::max<int64_t>({0, -int64_t{source.x}, -int64_t{toX}});
    int64_t y0 = std::max<int64_t>({0, -int64_t{source.y}, -int64_t{toY}});
    int64_t x1 = std::min<int64_t>({source.width, int64_t{sourceWidth} - source.x, int64_t{targetWidth} - toX});
    int64_t y1 = std::min<int64_t>({source.height, int64_t{sourceHeight} - source.y, int64_t{targetHeight} - toY});
    if (x1 <= x0 || y1 <= y0) return {};
    return {static_cast<int>(source.x + x0), static_cast<int>(source.y + y0), static_cast<int>(toX + x0),
            static_cast<int>(toY + y0), static_cast<int>(x1 - x0), static_cast<int>(y1 - y0)};
}
// What a copying method works on: this bitmap, the source bitmap (argument
// 0), and the part of the source that its rectangle (1) and the point it
// goes to (2) name, cut to both bitmaps. The pixels are counted as
// `perPixel` actions each, plus `extra`. Empty when a bitmap or the
// rectangle is missing, or nothing is covered.
struct Copying {
    BitmapCharacter* target;
    BitmapCharacter* source;
    Span span;
};
std::optional<Copying> CopyingOf(Vm& vm, const Value& self, std::span<const Value> a, int64_t perPixel = 1,
                                 int64_t extra = 0) {
    BitmapCharacter* target = BitmapOf(self);
    BitmapCharacter* source = BitmapOf(Arg(a, 0));
    if (!target || !source || !Arg(a, 1).IsObject()) return std::nullopt;
    const int toX = static_cast<int>(Field(vm, Arg(a, 2), "x")), toY = static_cast<int>(Field(vm, Arg(a, 2), "y"));
    Span s = SpanOf(AreaOf(vm, Arg(a, 1)), source->width, source->height, toX, toY, target->width, target->height);
    Work(vm, int64_t{s.width} * s.height * perPixel + extra);
    if (s.width == 0) return std::nullopt;
    return Copying{target, source, s};
}
Copy CopyOf(BitmapCharacter& b, const Span& s) {
    Copy c;
    c.width = s.width, c.height = s.height;
    c.pixels.resize(static_cast<size_t>(s.width) * static_cast<size_t>(s.height));
    Image image(b);
    for (int y = 0; y < s.height; ++y)
        std::memcpy(&c.pixels[static_cast<size_t>(y) * static_cast<size_t>(s.width)], &image.At(s.sx, s.sy + y),
                    static_cast<size_t>(s.width) * 4);
    return c;
}

// Flash Player's noise generator: Park and Miller's minimal standard.
struct ParkMiller {
    uint32_t x;
    explicit ParkMiller(int64_t seed) {
        seed = seed <= 0 ? -(seed % 2147483646) + 1 : std::min<int64_t>(seed, 2147483646);
        x = static_cast<uint32_t>(seed);
    }
    uint32_t Next() { return x = static_cast<uint32_t>(uint64_t{x} * 16807 % 2147483647); }
};

// Perlin's lattice noise, summed over octaves as the turbulence of SVG's
// feTurbulence is: its lattice and gradients for four channels from the seed.
class Turbulence {
public:
    explicit Turbulence(int64_t seed) {
        ParkMiller random(seed);
        int i = 0;
        for (int k = 0; k < 4; ++k)
            for (i = 0; i < kB; ++i) {
                m_lattice[i] = i;
                for (int j = 0; j < 2; ++j)
                    m_gradient[k][i][j] = static_cast<double>(static_cast<int>(random.Next() % (2 * kB)) - kB) / kB;
                double s = std::hypot(m_gradient[k][i][0], m_gradient[k][i][1]);
                if (s > 0) m_gradient[k][i][0] /= s, m_gradient[k][i][1] /= s;
            }
        while (--i > 0) {
            int j = static_cast<int>(random.Next() % kB);
            std::swap(m_lattice[i], m_lattice[j]);
        }
        for (i = 0; i < kB + 2; ++i) {
            m_lattice[kB + i] = m_lattice[i];
            for (int k = 0; k < 4; ++k) m_gradient[k][kB + i][0] = m_gradient[k][i][0], m_gradient[k][kB + i][1] = m_gradient[k][i][1];
        }
    }

    struct Stitch {
        int64_t width = 0, height = 0, wrapX = 0, wrapY = 0;
    };

    double Noise(int channel, double x, double y, const Stitch* stitch) const {
        // Far from the origin only the place on the lattice counts.
        auto lattice = [](double t, int64_t& b0, int64_t& b1, double& r0) {
            t += kN;
            if (!(std::fabs(t) < 1e9)) t = std::fmod(t, 65536.0) + (t < 0 ? 65536.0 : 0);
            b0 = static_cast<int64_t>(t) & kMask;
            b1 = (b0 + 1) & kMask;
            r0 = t - static_cast<double>(static_cast<int64_t>(t));
        };
        int64_t bx0, bx1, by0, by1;
        double rx0, ry0;
        lattice(x, bx0, bx1, rx0);
        lattice(y, by0, by1, ry0);
        if (stitch) {
            if (bx0 >= stitch->wrapX) bx0 -= stitch->width;
            if (bx1 >= stitch->wrapX) bx1 -= stitch->width;
            if (by0 >= stitch->wrapY) by0 -= stitch->height;
            if (by1 >= stitch->wrapY) by1 -= stitch->height;
        }
        bx0 &= kMask, bx1 &= kMask, by0 &= kMask, by1 &= kMask;
        const double rx1 = rx0 - 1, ry1 = ry0 - 1;
        const int i = m_lattice[bx0], j = m_lattice[bx1];
        auto dot = [&](int64_t b, double rx, double ry) { return rx * m_gradient[channel][b][0] + ry * m_gradient[channel][b][1]; };
        auto curve = [](double t) { return t * t * (3 - 2 * t); };
        auto mix = [](double t, double p, double q) { return p + t * (q - p); };
        const double sx = curve(rx0), sy = curve(ry0);
        double top = mix(sx, dot(m_lattice[i + by0], rx0, ry0), dot(m_lattice[j + by0], rx1, ry0));
        double bottom = mix(sx, dot(m_lattice[i + by1], rx0, ry1), dot(m_lattice[j + by1], rx1, ry1));
        return mix(sy, top, bottom);
    }

    double Sum(int channel, double x, double y, double fx, double fy, int octaves, bool fractal, bool stitching, int tileWidth,
               int tileHeight, const std::vector<std::pair<double, double>>& offsets) const {
        Stitch stitch;
        if (stitching) {
            auto adjust = [](double f, int tile) {
                if (f == 0) return f;
                double lo = std::floor(tile * f) / tile, hi = std::ceil(tile * f) / tile;
                return lo > 0 && f / lo < hi / f ? lo : hi;
            };
            fx = adjust(fx, tileWidth), fy = adjust(fy, tileHeight);
            stitch.width = static_cast<int64_t>(tileWidth * fx + 0.5);
            stitch.wrapX = kN + stitch.width;
            stitch.height = static_cast<int64_t>(tileHeight * fy + 0.5);
            stitch.wrapY = kN + stitch.height;
        }
        double sum = 0, ratio = 1;
        for (int o = 0; o < octaves; ++o) {
            double ox = o < static_cast<int>(offsets.size()) ? offsets[static_cast<size_t>(o)].first : 0;
            double oy = o < static_cast<int>(offsets.size()) ? offsets[static_cast<size_t>(o)].second : 0;
            double n = Noise(channel, (x + ox) * fx * ratio, (y + oy) * fy * ratio, stitching ? &stitch : nullptr);
            sum += (fractal ? n : std::fabs(n)) / ratio;
            ratio *= 2;
            if (stitching) {
                stitch.width *= 2, stitch.height *= 2;
                stitch.wrapX = 2 * stitch.wrapX - kN, stitch.wrapY = 2 * stitch.wrapY - kN;
            }
        }
        return sum;
    }

private:
    static constexpr int kB = 0x100, kMask = 0xFF, kN = 0x1000;
    int m_lattice[kB + kB + 2] = {};
    double m_gradient[4][kB + kB + 2][2] = {};
};

std::shared_ptr<BitmapCharacter> MakePixels(Vm& vm, int width, int height, uint32_t fill) {
    vm.Charge(sizeof(BitmapCharacter) + uint64_t(width) * uint64_t(height) * 4);
    auto b = std::make_shared<BitmapCharacter>();
    b->surface.reset(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height));
    if (cairo_surface_status(b->surface.get()) != CAIRO_STATUS_SUCCESS) return nullptr;
    b->width = width, b->height = height;
    b->smooth = false;
    {
        Image image(*b);
        for (int y = 0; y < height; ++y) std::fill_n(&image.At(0, y), width, fill);
    }
    vm.bitmaps.push_back(b);
    return b;
}

Value NewBitmapData(Vm& vm, std::span<const Value> args) {
    Value ctor = Value::Obj(vm.global);
    for (const char* part : {"flash", "display", "BitmapData"}) ctor = vm.Get(ctor, part);
    return vm.Construct(ctor, args);
}

Value MakeRectangle(Vm& vm, double x, double y, double w, double h) {
    Value ctor = Value::Obj(vm.global);
    for (const char* part : {"flash", "geom", "Rectangle"}) ctor = vm.Get(ctor, part);
    Value args[4] = {Value::Num(x), Value::Num(y), Value::Num(w), Value::Num(h)};
    return vm.Construct(ctor, args);
}

// A matrix in pixels; the identity when not an object.
Matrix PixelMatrix(Vm& vm, const Value& m) {
    if (!m.IsObject()) return {};
    return {Field(vm, m, "a", 1), Field(vm, m, "b"), Field(vm, m, "c"), Field(vm, m, "d", 1), Field(vm, m, "tx"), Field(vm, m, "ty")};
}

BlendMode BlendOf(Vm& vm, const Value& v) {
    static const char* const kModes[] = {"normal", "layer", "multiply", "screen", "lighten", "darken", "difference",
                                         "add", "subtract", "invert", "alpha", "erase", "overlay", "hardlight"};
    if (v.IsNumber() && v.number >= 1 && v.number <= 14) return static_cast<BlendMode>(static_cast<int>(v.number));
    if (v.IsNothing()) return BlendMode::Normal;
    std::string text = vm.ToString(v);
    for (int i = 0; i < 14; ++i)
        if (text == kModes[i]) return static_cast<BlendMode>(i + 1);
    return BlendMode::Normal;
}

ColorTransform ColorOf(Vm& vm, const Value& c) {
    return {Field(vm, c, "redMultiplier", 1), Field(vm, c, "greenMultiplier", 1), Field(vm, c, "blueMultiplier", 1),
            Field(vm, c, "alphaMultiplier", 1), Field(vm, c, "redOffset"), Field(vm, c, "greenOffset"),
            Field(vm, c, "blueOffset"), Field(vm, c, "alphaOffset")};
}

uint32_t Channels(Rgba c) { return uint32_t{c.a} << 24 | uint32_t{c.r} << 16 | uint32_t{c.g} << 8 | c.b; }
Rgba RgbaOf(uint32_t p) { return {uint8_t(p >> 16), uint8_t(p >> 8), uint8_t(p), uint8_t(p >> 24)}; }

// A fixed shuffle of the places 0..count-1: a Feistel network over the
// even number of bits that holds them, walked again while it lands past
// the end (at most 4 walks on average), so each place comes once.
class Shuffle {
public:
    explicit Shuffle(uint64_t count) : m_count(count) {
        while ((uint64_t{1} << (2 * m_half)) < count) ++m_half;
    }
    uint64_t operator()(uint64_t i) const {
        do i = Round(i);
        while (i >= m_count);
        return i;
    }

private:
    uint64_t Round(uint64_t i) const {
        const uint64_t mask = (uint64_t{1} << m_half) - 1;
        uint64_t left = i >> m_half, right = i & mask;
        for (uint64_t round = 0; round < 4; ++round) {
            uint64_t h = (right + round * 0x9E3779B97F4A7C15ull) * 0xBF58476D1CE4E5B9ull;
            h ^= h >> 31;
            uint64_t next = left ^ (h & mask);
            left = right, right = next;
        }
        return left << m_half | right;
    }
    uint64_t m_count;
    int m_half = 0;
};

} // namespace

uint64_t Vm::LiveBitmapBytes() {
    std::erase_if(bitmaps, [](const std::weak_ptr<BitmapCharacter>& b) { return b.expired(); });
    uint64_t bytes = 0;
    for (const auto& weak : bitmaps)
        if (auto b = weak.lock()) bytes += sizeof(BitmapCharacter) + uint64_t(b->width) * uint64_t(b->height) * 4;
    return bytes;
}

void Vm::InstallBitmap() {
    Value display = Get(Get(Value::Obj(global), "flash"), "display");
    if (!display.IsObject()) return;
    Object* proto = NewObject(objectProto);
    // BitmapData(width, height, transparent = true, fillColor = 0xFFFFFFFF):
    // a size outside Flash 8's bounds makes an object without pixels.
    Object* ctor = NewFunction(NATIVE {
        if (!self.IsObject() || !vm.constructing) return {};
        double w = vm.ToNumber(Arg(a, 0)), h = vm.ToNumber(Arg(a, 1));
        bool transparent = a.size() > 2 ? vm.ToBoolean(a[2]) : true;
        uint32_t fill = a.size() > 3 ? static_cast<uint32_t>(vm.ToInt32(a[3])) : 0xFFFFFFFFu;
        self.object->primitive = Value::Bool(transparent);
        if (!(w >= 1 && w < kMaxSide + 1 && h >= 1 && h < kMaxSide + 1)) return self;
        int width = static_cast<int>(w), height = static_cast<int>(h);
        if (int64_t{width} * height > kMaxPixels) return self;
        self.object->bitmap = MakePixels(vm, width, height, Premultiply(fill, transparent));
        return self;
    });
    Define(ctor, "prototype", Value::Obj(proto));
    Define(proto, "constructor", Value::Obj(ctor));
    Define(display.object, "BitmapData", Value::Obj(ctor));

    auto getter = [this, proto](const char* name, Native get) {
        Define(proto, name, {});
        Own(proto, name)->getter = NewFunction(get);
    };
    getter("width", NATIVE { return Value::Num(BitmapOf(self) ? BitmapOf(self)->width : -1); });
    getter("height", NATIVE { return Value::Num(BitmapOf(self) ? BitmapOf(self)->height : -1); });
    getter("transparent", NATIVE { return BitmapOf(self) ? Value::Bool(Transparent(self)) : Value::Num(-1); });
    getter("rectangle", NATIVE {
        BitmapCharacter* b = BitmapOf(self);
        return b ? MakeRectangle(vm, 0, 0, b->width, b->height) : Value::Num(-1);
    });

    Method(proto, "getPixel", NATIVE {
        BitmapCharacter* b = BitmapOf(self);
        if (!b) return Value::Num(0);
        Image image(*b);
        int x = Int(vm, Arg(a, 0), -1), y = Int(vm, Arg(a, 1), -1);
        return Value::Num(image.Inside(x, y) ? Unmultiply(image.At(x, y)) & 0xFFFFFF : 0);
    });
    Method(proto, "getPixel32", NATIVE {
        BitmapCharacter* b = BitmapOf(self);
        if (!b) return Value::Num(0);
        Image image(*b);
        int x = Int(vm, Arg(a, 0), -1), y = Int(vm, Arg(a, 1), -1);
        return Value::Num(image.Inside(x, y) ? static_cast<int32_t>(Unmultiply(image.At(x, y))) : 0);
    });
    Method(proto, "setPixel", NATIVE {
        BitmapCharacter* b = BitmapOf(self);
        if (!b) return {};
        Image image(*b);
        int x = Int(vm, Arg(a, 0), -1), y = Int(vm, Arg(a, 1), -1);
        if (!image.Inside(x, y)) return {};
        uint32_t rgb = static_cast<uint32_t>(vm.ToInt32(Arg(a, 2))) & 0xFFFFFF;
        // The pixel keeps its alpha.
        image.At(x, y) = Premultiply((image.At(x, y) & 0xFF000000u) | rgb, Transparent(self));
        return {};
    });
    Method(proto, "setPixel32", NATIVE {
        BitmapCharacter* b = BitmapOf(self);
        if (!b) return {};
        Image image(*b);
        int x = Int(vm, Arg(a, 0), -1), y = Int(vm, Arg(a, 1), -1);
        if (image.Inside(x, y)) image.At(x, y) = Premultiply(static_cast<uint32_t>(vm.ToInt32(Arg(a, 2))), Transparent(self));
        return {};
    });
    Method(proto, "fillRect", NATIVE {
        BitmapCharacter* b = BitmapOf(self);
        if (!b || !Arg(a, 0).IsObject()) return {};
        Area r = Clipped(AreaOf(vm, Arg(a, 0)), b->width, b->height);
        Work(vm, int64_t{r.width} * r.height);
        uint32_t fill = Premultiply(static_cast<uint32_t>(vm.ToInt32(Arg(a, 1))), Transparent(self));
        Image image(*b);
        for (int y = r.y; y < r.y + r.height; ++y) std::fill_n(&image.At(r.x, y), r.width, fill);
        return {};
    });
    Method(proto, "colorTransform", NATIVE {
        BitmapCharacter* b = BitmapOf(self);
        if (!b || !Arg(a, 0).IsObject()) return {};
        Area r = Clipped(AreaOf(vm, Arg(a, 0)), b->width, b->height);
        Work(vm, int64_t{r.width} * r.height);
        ColorTransform c = ColorOf(vm, Arg(a, 1));
        bool transparent = Transparent(self);
        Image image(*b);
        for (int y = r.y; y < r.y + r.height; ++y)
            for (int x = r.x; x < r.x + r.width; ++x)
                image.At(x, y) = Premultiply(Channels(c.Apply(RgbaOf(Unmultiply(image.At(x, y))))), transparent);
        return {};
    });
    // copyPixels(source, sourceRect, destPoint, alphaBitmap, alphaPoint, mergeAlpha = false).
    Method(proto, "copyPixels", NATIVE {
        std::optional<Copying> copying = CopyingOf(vm, self, a);
        if (!copying) return {};
        BitmapCharacter *b = copying->target, *source = copying->source;
        Span s = copying->span;
        Copy from = CopyOf(*source, s);
        BitmapCharacter* alpha = BitmapOf(Arg(a, 3));
        Copy mask;
        int ax = 0, ay = 0;
        if (alpha) {
            ax = static_cast<int>(Field(vm, Arg(a, 4), "x")) + (s.sx - static_cast<int>(Field(vm, Arg(a, 1), "x")));
            ay = static_cast<int>(Field(vm, Arg(a, 4), "y")) + (s.sy - static_cast<int>(Field(vm, Arg(a, 1), "y")));
            Work(vm, int64_t{alpha->width} * alpha->height);
            mask = CopyOf(*alpha, {0, 0, 0, 0, alpha->width, alpha->height});
        }
        const bool merge = vm.ToBoolean(Arg(a, 5)), transparent = Transparent(self);
        Image image(*b);
        for (int y = 0; y < s.height; ++y)
            for (int x = 0; x < s.width; ++x) {
                uint32_t p = from.At(x, y);
                if (alpha) {
                    int mx = ax + x, my = ay + y;
                    uint32_t m = mx >= 0 && my >= 0 && mx < mask.width && my < mask.height ? mask.At(mx, my) >> 24 : 0;
                    auto scale = [m](uint32_t c) { return (c * m + 127) / 255; };
                    p = scale(p >> 24) << 24 | scale(p >> 16 & 0xFF) << 16 | scale(p >> 8 & 0xFF) << 8 | scale(p & 0xFF);
                }
                uint32_t& d = image.At(s.tx + x, s.ty + y);
                if (merge || alpha)
                    d = Over(p, d);
                else
                    d = transparent ? p : (Unmultiply(p) | 0xFF000000u);
                if (!transparent) d = Unmultiply(d) | 0xFF000000u;
            }
        return {};
    });
    // draw(source, matrix, colorTransform, blendMode, clipRect, smoothing):
    // a clip's contents or a bitmap, through the renderer.
    Method(proto, "draw", NATIVE {
        BitmapCharacter* b = BitmapOf(self);
        if (!b || !vm.painter.draw) return {};
        Playhead* clip = vm.ClipOf(Arg(a, 0));
        BitmapCharacter* source = BitmapOf(Arg(a, 0));
        if (!clip && !source) return {};
        Work(vm, int64_t{b->width} * b->height * 4);
        std::optional<std::array<int, 4>> cut;
        if (Arg(a, 4).IsObject()) {
            Area r = AreaOf(vm, Arg(a, 4));
            cut = std::array<int, 4>{r.x, r.y, r.width, r.height};
        }
        size_t edges = vm.painter.draw(b->surface.get(), clip, source ? source->surface.get() : nullptr, PixelMatrix(vm, Arg(a, 1)),
                        Arg(a, 2).IsObject() ? ColorOf(vm, Arg(a, 2)) : ColorTransform{}, BlendOf(vm, Arg(a, 3)), cut,
                        vm.ToBoolean(Arg(a, 5)));
        vm.Count(edges);
        if (!Transparent(self)) {
            Image image(*b);
            for (int y = 0; y < b->height; ++y)
                for (int x = 0; x < b->width; ++x) image.At(x, y) = Unmultiply(image.At(x, y)) | 0xFF000000u;
        }
        return {};
    });
    // noise(randomSeed, low = 0, high = 255, channelOptions = 7, grayScale = false).
    Method(proto, "noise", NATIVE {
        BitmapCharacter* b = BitmapOf(self);
        if (!b) return {};
        Work(vm, int64_t{b->width} * b->height * 4);
        ParkMiller random(static_cast<int64_t>(Number(vm, Arg(a, 0), 0)));
        int low = std::clamp(Int(vm, Arg(a, 1), 0), 0, 255), high = std::clamp(Int(vm, Arg(a, 2), 255), 0, 255);
        if (high < low) std::swap(low, high);
        const int channels = Int(vm, Arg(a, 3), 7);
        const bool gray = vm.ToBoolean(Arg(a, 4)), transparent = Transparent(self);
        auto next = [&] { return static_cast<uint32_t>(low) + random.Next() % static_cast<uint32_t>(high - low + 1); };
        Image image(*b);
        for (int y = 0; y < b->height; ++y)
            for (int x = 0; x < b->width; ++x) {
                uint32_t r = 0, g = 0, bl = 0, al = 255;
                if (gray) {
                    r = g = bl = next();
                } else {
                    if (channels & 1) r = next();
                    if (channels & 2) g = next();
                    if (channels & 4) bl = next();
                }
                if (transparent && (channels & 8)) al = next();
                image.At(x, y) = Premultiply(al << 24 | r << 16 | g << 8 | bl, transparent);
            }
        return {};
    });
    // perlinNoise(baseX, baseY, numOctaves, randomSeed, stitch, fractalNoise,
    // channelOptions = 7, grayScale = false, offsets).
    Method(proto, "perlinNoise", NATIVE {
        BitmapCharacter* b = BitmapOf(self);
        if (!b) return {};
        const double baseX = Number(vm, Arg(a, 0), 0), baseY = Number(vm, Arg(a, 1), 0);
        const int octaves = std::clamp(Int(vm, Arg(a, 2), 0), 0, kMaxOctaves);
        const bool stitch = vm.ToBoolean(Arg(a, 4)), fractal = vm.ToBoolean(Arg(a, 5));
        const int channels = Int(vm, Arg(a, 6), 7);
        const bool gray = vm.ToBoolean(Arg(a, 7)), transparent = Transparent(self);
        // Each octave of each channel is one lattice lookup, some 20 to an action.
        Work(vm, int64_t{b->width} * b->height * (octaves + 1) * 4 * 4);
        std::vector<std::pair<double, double>> offsets;
        // Each element is copied first: a getter may change the array.
        if (Object* array = Arg(a, 8).IsObject() && Arg(a, 8).object->kind == Kind::Array ? Arg(a, 8).object : nullptr)
            for (size_t i = 0; i < array->elements.size() && i < kMaxOctaves; ++i) {
                Value p = array->elements[i];
                offsets.emplace_back(Field(vm, p, "x"), Field(vm, p, "y"));
            }
        Turbulence turbulence(static_cast<int64_t>(Number(vm, Arg(a, 3), 0)));
        // Finer than a 1/1024 of a pixel, noise is noise.
        const double fx = baseX == 0 ? 0 : std::clamp(1 / baseX, -1024.0, 1024.0);
        const double fy = baseY == 0 ? 0 : std::clamp(1 / baseY, -1024.0, 1024.0);
        auto level = [fractal](double n) {
            double v = fractal ? (n * 255 + 255 + 0.5) / 2 : n * 255 + 0.5;
            return static_cast<uint32_t>(std::clamp(v, 0.0, 255.0));
        };
        Image image(*b);
        for (int y = 0; y < b->height; ++y)
            for (int x = 0; x < b->width; ++x) {
                auto sum = [&](int channel) {
                    return turbulence.Sum(channel, x, y, fx, fy, octaves, fractal, stitch, b->width, b->height, offsets);
                };
                double n[4] = {-1, -1, -1, 1};
                if (gray) {
                    n[0] = n[1] = n[2] = sum(0);
                    if (channels & 8) n[3] = sum(1);
                } else {
                    // A channel left out takes no turn of the generator's channels.
                    int turn = 0;
                    for (int c = 0; c < 4; ++c)
                        if (channels & (1 << c)) n[c] = sum(turn++);
                }
                uint32_t al = transparent ? level(n[3]) : 255;
                image.At(x, y) = Premultiply(al << 24 | level(n[0]) << 16 | level(n[1]) << 8 | level(n[2]), transparent);
            }
        return {};
    });
    // pixelDissolve(source, sourceRect, destPoint, randomSeed = 0, numPixels,
    // fillColor = 0): the rectangle's pixels in an order the seed starts
    // from; the next seed continues it, so that calls that pass on what
    // each returns reach every pixel once.
    Method(proto, "pixelDissolve", NATIVE {
        BitmapCharacter* b = BitmapOf(self);
        BitmapCharacter* source = BitmapOf(Arg(a, 0));
        if (!b || !source || !Arg(a, 1).IsObject()) return Value::Num(0);
        Area area = AreaOf(vm, Arg(a, 1));
        int toX = static_cast<int>(Field(vm, Arg(a, 2), "x")), toY = static_cast<int>(Field(vm, Arg(a, 2), "y"));
        Span s = SpanOf(area, source->width, source->height, toX, toY, b->width, b->height);
        const uint64_t count = uint64_t(s.width) * uint64_t(s.height);
        if (count == 0) return Value::Num(0);
        auto seed = static_cast<int64_t>(Number(vm, Arg(a, 3), 0));
        auto pixels = static_cast<int64_t>(Number(vm, Arg(a, 4), static_cast<double>(count) / 30));
        pixels = std::clamp<int64_t>(pixels, 0, static_cast<int64_t>(count));
        Work(vm, pixels);
        const bool same = source == b;
        const uint32_t fill = Premultiply(static_cast<uint32_t>(vm.ToInt32(Arg(a, 5))), Transparent(self));
        Copy from = same ? Copy{} : CopyOf(*source, s);
        const Shuffle shuffle(count);
        const uint64_t start = static_cast<uint64_t>(((seed % static_cast<int64_t>(count)) + static_cast<int64_t>(count)) %
                                                     static_cast<int64_t>(count));
        Image image(*b);
        for (int64_t k = 0; k < pixels; ++k) {
            uint64_t at = shuffle((start + static_cast<uint64_t>(k)) % count);
            int x = static_cast<int>(at % uint64_t(s.width)), y = static_cast<int>(at / uint64_t(s.width));
            image.At(s.tx + x, s.ty + y) = same ? fill : from.At(x, y);
        }
        return Value::Num(static_cast<double>((start + static_cast<uint64_t>(pixels)) % count));
    });
    // threshold(source, sourceRect, destPoint, operation, threshold, color = 0,
    // mask = 0xFFFFFFFF, copySource = false): the number of pixels that passed.
    Method(proto, "threshold", NATIVE {
        static const char* const kOperations[] = {"<", "<=", ">", ">=", "==", "!="};
        std::string operation = vm.ToString(Arg(a, 3));
        int op = -1;
        for (int i = 0; i < 6; ++i)
            if (operation == kOperations[i]) op = i;
        if (op < 0) return Value::Num(0);
        std::optional<Copying> copying = CopyingOf(vm, self, a);
        if (!copying) return Value::Num(0);
        BitmapCharacter *b = copying->target, *source = copying->source;
        Span s = copying->span;
        const uint32_t mask = a.size() > 6 ? static_cast<uint32_t>(vm.ToInt32(a[6])) : 0xFFFFFFFFu;
        const uint32_t level = static_cast<uint32_t>(vm.ToInt32(Arg(a, 4))) & mask;
        const uint32_t color = Premultiply(static_cast<uint32_t>(vm.ToInt32(Arg(a, 5))), Transparent(self));
        const bool copySource = vm.ToBoolean(Arg(a, 7));
        Copy from = CopyOf(*source, s);
        Image image(*b);
        double passed = 0;
        for (int y = 0; y < s.height; ++y)
            for (int x = 0; x < s.width; ++x) {
                uint32_t p = from.At(x, y), v = Unmultiply(p) & mask;
                bool pass = op == 0 ? v < level : op == 1 ? v <= level : op == 2 ? v > level : op == 3 ? v >= level
                          : op == 4 ? v == level : v != level;
                if (pass)
                    image.At(s.tx + x, s.ty + y) = color, ++passed;
                else if (copySource)
                    image.At(s.tx + x, s.ty + y) = p;
            }
        return Value::Num(passed);
    });
    // applyFilter(source, sourceRect, destPoint, filter), through the renderer's filters.
    Method(proto, "applyFilter", NATIVE {
        if (!vm.painter.filter) return Value::Num(0);
        std::optional<Filter> filter = vm.FilterOf(Arg(a, 3));
        if (!filter) return Value::Num(0);
        std::optional<Copying> copying = CopyingOf(vm, self, a, static_cast<int64_t>(4 + 2 * filter->passes));
        if (!copying) return Value::Num(0);
        BitmapCharacter *b = copying->target, *source = copying->source;
        Span s = copying->span;
        Copy from = CopyOf(*source, s);
        CairoSurfacePtr work(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, s.width, s.height));
        if (cairo_surface_status(work.get()) != CAIRO_STATUS_SUCCESS) return Value::Num(0);
        auto row = [&work](int y) {
            return reinterpret_cast<uint32_t*>(cairo_image_surface_get_data(work.get()) +
                                               static_cast<ptrdiff_t>(y) * cairo_image_surface_get_stride(work.get()));
        };
        cairo_surface_flush(work.get());
        for (int y = 0; y < s.height; ++y) std::memcpy(row(y), &from.pixels[size_t(y) * size_t(s.width)], size_t(s.width) * 4);
        cairo_surface_mark_dirty(work.get());
        vm.painter.filter(work.get(), {*filter});
        cairo_surface_flush(work.get());
        const bool transparent = Transparent(self);
        Image image(*b);
        for (int y = 0; y < s.height; ++y)
            for (int x = 0; x < s.width; ++x)
                image.At(s.tx + x, s.ty + y) = transparent ? row(y)[x] : Unmultiply(row(y)[x]) | 0xFF000000u;
        return Value::Num(0);
    });
    // scroll(x, y): the pixels move; what they leave keeps its old pixels.
    Method(proto, "scroll", NATIVE {
        BitmapCharacter* b = BitmapOf(self);
        if (!b) return {};
        Span s = SpanOf({0, 0, b->width, b->height}, b->width, b->height, Int(vm, Arg(a, 0)), Int(vm, Arg(a, 1)), b->width,
                        b->height);
        Work(vm, int64_t{s.width} * s.height);
        if (s.width == 0) return {};
        Copy from = CopyOf(*b, s);
        Image image(*b);
        for (int y = 0; y < s.height; ++y)
            std::memcpy(&image.At(s.tx, s.ty + y), &from.pixels[size_t(y) * size_t(s.width)], size_t(s.width) * 4);
        return {};
    });
    // floodFill(x, y, color): the pixels joined to (x, y) that have its colour.
    Method(proto, "floodFill", NATIVE {
        BitmapCharacter* b = BitmapOf(self);
        if (!b) return {};
        Image image(*b);
        int x0 = Int(vm, Arg(a, 0), -1), y0 = Int(vm, Arg(a, 1), -1);
        if (!image.Inside(x0, y0)) return {};
        const uint32_t from = image.At(x0, y0);
        const uint32_t to = Premultiply(static_cast<uint32_t>(vm.ToInt32(Arg(a, 2))), Transparent(self));
        if (from == to) return {};
        Work(vm, int64_t{b->width} * b->height);
        std::vector<std::pair<int, int>> work{{x0, y0}};
        image.At(x0, y0) = to;
        while (!work.empty()) {
            auto [x, y] = work.back();
            work.pop_back();
            for (auto [dx, dy] : {std::pair{1, 0}, {-1, 0}, {0, 1}, {0, -1}})
                if (image.Inside(x + dx, y + dy) && image.At(x + dx, y + dy) == from) {
                    image.At(x + dx, y + dy) = to;
                    work.emplace_back(x + dx, y + dy);
                }
        }
        return {};
    });
    // getColorBoundsRect(mask, color, findColor = true): the box of the
    // pixels whose masked colour is (or is not) `color`.
    Method(proto, "getColorBoundsRect", NATIVE {
        BitmapCharacter* b = BitmapOf(self);
        if (!b) return {};
        Work(vm, int64_t{b->width} * b->height);
        const auto mask = static_cast<uint32_t>(vm.ToInt32(Arg(a, 0))), color = static_cast<uint32_t>(vm.ToInt32(Arg(a, 1)));
        const bool find = a.size() > 2 ? vm.ToBoolean(a[2]) : true;
        int x0 = b->width, y0 = b->height, x1 = -1, y1 = -1;
        Image image(*b);
        for (int y = 0; y < b->height; ++y)
            for (int x = 0; x < b->width; ++x)
                if (((Unmultiply(image.At(x, y)) & mask) == color) == find)
                    x0 = std::min(x0, x), y0 = std::min(y0, y), x1 = std::max(x1, x), y1 = std::max(y1, y);
        if (x1 < 0) return MakeRectangle(vm, 0, 0, 0, 0);
        return MakeRectangle(vm, x0, y0, x1 - x0 + 1, y1 - y0 + 1);
    });
    // copyChannel(source, sourceRect, destPoint, sourceChannel, destChannel):
    // channels 1 red, 2 green, 4 blue, 8 alpha.
    Method(proto, "copyChannel", NATIVE {
        auto shiftOf = [](int channel) { return channel == 1 ? 16 : channel == 2 ? 8 : channel == 4 ? 0 : channel == 8 ? 24 : -1; };
        const int from = shiftOf(Int(vm, Arg(a, 3))), to = shiftOf(Int(vm, Arg(a, 4)));
        if (from < 0 || to < 0) return {};
        std::optional<Copying> copying = CopyingOf(vm, self, a);
        if (!copying) return {};
        BitmapCharacter *b = copying->target, *source = copying->source;
        Span s = copying->span;
        Copy copy = CopyOf(*source, s);
        const bool transparent = Transparent(self);
        Image image(*b);
        for (int y = 0; y < s.height; ++y)
            for (int x = 0; x < s.width; ++x) {
                uint32_t value = Unmultiply(copy.At(x, y)) >> from & 0xFF;
                uint32_t& d = image.At(s.tx + x, s.ty + y);
                d = Premultiply((Unmultiply(d) & ~(0xFFu << to)) | value << to, transparent);
            }
        return {};
    });
    // merge(source, sourceRect, destPoint, redMultiplier, greenMultiplier,
    // blueMultiplier, alphaMultiplier): each channel mixed by its multiplier of 256.
    Method(proto, "merge", NATIVE {
        std::optional<Copying> copying = CopyingOf(vm, self, a);
        if (!copying) return {};
        BitmapCharacter *b = copying->target, *source = copying->source;
        Span s = copying->span;
        uint32_t mult[4];   // alpha, red, green, blue
        for (int i = 0; i < 4; ++i) mult[(i + 1) % 4] = static_cast<uint32_t>(std::clamp(Int(vm, Arg(a, 3 + size_t(i))), 0, 256));
        Copy copy = CopyOf(*source, s);
        const bool transparent = Transparent(self);
        Image image(*b);
        for (int y = 0; y < s.height; ++y)
            for (int x = 0; x < s.width; ++x) {
                uint32_t p = Unmultiply(copy.At(x, y)), q = Unmultiply(image.At(s.tx + x, s.ty + y)), out = 0;
                for (int c = 0; c < 4; ++c) {
                    int shift = 24 - 8 * c;
                    out |= ((p >> shift & 0xFF) * mult[c] + (q >> shift & 0xFF) * (256 - mult[c])) / 256 << shift;
                }
                image.At(s.tx + x, s.ty + y) = Premultiply(out, transparent);
            }
        return {};
    });
    // paletteMap(source, sourceRect, destPoint, redArray, greenArray,
    // blueArray, alphaArray): each channel looked up in its array of 256
    // colours and the four summed; a channel without an array keeps itself.
    Method(proto, "paletteMap", NATIVE {
        std::optional<Copying> copying = CopyingOf(vm, self, a, 1, 1024);
        if (!copying) return {};
        BitmapCharacter *b = copying->target, *source = copying->source;
        Span s = copying->span;
        uint32_t tables[4][256];   // red, green, blue, alpha
        const int shifts[4] = {16, 8, 0, 24};
        for (int c = 0; c < 4; ++c) {
            const Value& array = Arg(a, 3 + size_t(c));
            const bool given = array.IsObject() && array.object->kind == Kind::Array;
            for (uint32_t i = 0; i < 256; ++i) {
                // Copied first: valueOf may change the array.
                Value v = given && i < array.object->elements.size() ? array.object->elements[i] : Value::Num(0);
                tables[c][i] = given ? static_cast<uint32_t>(vm.ToInt32(v)) : i << shifts[c];
            }
        }
        Copy copy = CopyOf(*source, s);
        const bool transparent = Transparent(self);
        Image image(*b);
        for (int y = 0; y < s.height; ++y)
            for (int x = 0; x < s.width; ++x) {
                uint32_t p = Unmultiply(copy.At(x, y)), out = 0;
                for (int c = 0; c < 4; ++c) out += tables[c][p >> shifts[c] & 0xFF];
                image.At(s.tx + x, s.ty + y) = Premultiply(out, transparent);
            }
        return {};
    });
    Method(proto, "clone", NATIVE {
        BitmapCharacter* b = BitmapOf(self);
        if (!b) return {};
        Value args[4] = {Value::Num(b->width), Value::Num(b->height), Value::Bool(Transparent(self)), Value::Num(0)};
        Value copy = NewBitmapData(vm, args);
        BitmapCharacter* to = BitmapOf(copy);
        if (!to) return copy;
        Work(vm, int64_t{b->width} * b->height);
        Copy from = CopyOf(*b, {0, 0, 0, 0, b->width, b->height});
        Image image(*to);
        for (int y = 0; y < b->height; ++y) std::memcpy(&image.At(0, y), &from.pixels[size_t(y) * size_t(b->width)], size_t(b->width) * 4);
        return copy;
    });
    // dispose(): the pixels go; whatever showed them shows nothing.
    Method(proto, "dispose", NATIVE {
        BitmapCharacter* b = BitmapOf(self);
        if (!b) return {};
        vm.Release(uint64_t(b->width) * uint64_t(b->height) * 4);
        b->surface.reset(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 1, 1));
        b->width = b->height = 0;
        self.object->bitmap.reset();
        return {};
    });
    // BitmapData.loadBitmap(linkageId): a copy of a bitmap the movie exports.
    Method(ctor, "loadBitmap", NATIVE {
        auto it = vm.movie.exports.find(vm.ToString(Arg(a, 0)));
        const Character* c = it == vm.movie.exports.end() ? nullptr : vm.movie.Find(it->second);
        if (!c || c->kind != CharacterKind::Bitmap) return {};
        const auto& bitmap = static_cast<const BitmapCharacter&>(*c);
        Value args[4] = {Value::Num(bitmap.width), Value::Num(bitmap.height), Value::Bool(true), Value::Num(0)};
        Value made = NewBitmapData(vm, args);
        BitmapCharacter* to = BitmapOf(made);
        if (!to || !bitmap.surface) return made;
        Work(vm, int64_t{to->width} * to->height);
        cairo_surface_t* from = bitmap.surface.get();
        cairo_surface_flush(from);
        const uint8_t* data = cairo_image_surface_get_data(from);
        const int stride = cairo_image_surface_get_stride(from);
        if (!data || cairo_image_surface_get_width(from) < to->width || cairo_image_surface_get_height(from) < to->height) return made;
        Image image(*to);
        for (int y = 0; y < to->height; ++y) std::memcpy(&image.At(0, y), data + static_cast<ptrdiff_t>(y) * stride, size_t(to->width) * 4);
        return made;
    });

    // attachBitmap(bitmap, depth, pixelSnapping, smoothing = false): a
    // display object that shows the bitmap's pixels as they are at each frame.
    Method(clipProto, "attachBitmap", NATIVE {
        Playhead* p = vm.ClipOf(self);
        if (!p || !Arg(a, 0).IsObject() || !Arg(a, 0).object->bitmap) return {};
        double depth = vm.ToNumber(Arg(a, 1)) + Playhead::kScriptDepths;
        if (!std::isfinite(depth) || depth < 0 || depth > 65535) return {};
        std::shared_ptr<BitmapCharacter> bitmap = Arg(a, 0).object->bitmap;
        DisplayObject* placed = p->PlaceCharacter(static_cast<uint16_t>(depth), bitmap.get(), "");
        if (!placed) return {};
        placed->owned = bitmap;
        bitmap->smooth = vm.ToBoolean(Arg(a, 3));
        p->Touch();
        return {};
    });
    // beginBitmapFill(bitmap, matrix, repeat = true, smoothing = false).
    Method(clipProto, "beginBitmapFill", NATIVE {
        Playhead* p = vm.ClipOf(self);
        if (!p || !Arg(a, 0).IsObject() || !Arg(a, 0).object->bitmap) return {};
        FillStyle fill;
        fill.kind = FillKind::Bitmap;
        fill.bitmap = Arg(a, 0).object->bitmap;
        Matrix m = PixelMatrix(vm, Arg(a, 1));
        fill.matrix = {m.a * 20, m.b * 20, m.c * 20, m.d * 20, m.tx * 20, m.ty * 20};
        fill.repeat = a.size() > 2 ? vm.ToBoolean(a[2]) : true;
        fill.smooth = vm.ToBoolean(Arg(a, 3));
        vm.BeginFill(p, fill);
        return {};
    });
}

} // namespace showsaver::flash::script
