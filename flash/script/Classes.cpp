// The classes over a clip's look: Color, flash.geom (Point, Rectangle,
// Matrix, ColorTransform, Transform) and flash.filters, whose objects a
// clip's `filters` turns into the renderer's filters and back.

#include "flash/script/Vm.h"

#include <cmath>
#include <numbers>

namespace showsaver::flash::script {

#define NATIVE [](Vm & vm [[maybe_unused]], [[maybe_unused]] const Value& self, [[maybe_unused]] std::span<const Value> a) -> Value

namespace {

constexpr double kDegrees = 180 / std::numbers::pi;

double Field(Vm& vm, const Value& o, const char* name, double fallback = 0) {
    Value v = vm.Get(o, name);
    if (v.IsUndefined()) return fallback;
    double n = vm.ToNumber(v);
    return std::isfinite(n) ? n : fallback;
}

double Num(Vm& vm, std::span<const Value> a, size_t i, double fallback) {
    if (i >= a.size() || a[i].IsUndefined()) return fallback;
    double n = vm.ToNumber(a[i]);
    return std::isfinite(n) ? n : fallback;
}

void SetFields(Vm& vm, const Value& o, std::initializer_list<std::pair<const char*, double>> fields) {
    for (auto [name, value] : fields) vm.Set(o, name, Value::Num(value));
}

Value Make(Vm& vm, const char* path, std::span<const Value> args) {
    Value ctor = Value::Obj(vm.global);
    for (const char* part : {"flash", "geom", path}) ctor = vm.Get(ctor, part);
    return vm.Construct(ctor, args);
}

Value NewPoint(Vm& vm, double x, double y) {
    Value args[2] = {Value::Num(x), Value::Num(y)};
    return Make(vm, "Point", args);
}

Matrix MatrixOf(Vm& vm, const Value& m) {
    return {Field(vm, m, "a", 1), Field(vm, m, "b"), Field(vm, m, "c"), Field(vm, m, "d", 1), Field(vm, m, "tx") * 20,
            Field(vm, m, "ty") * 20};
}

void SetMatrix(Vm& vm, const Value& o, const Matrix& m) {
    SetFields(vm, o, {{"a", m.a}, {"b", m.b}, {"c", m.c}, {"d", m.d}, {"tx", m.tx / 20}, {"ty", m.ty / 20}});
}

ColorTransform ColorOf(Vm& vm, const Value& c) {
    return {Field(vm, c, "redMultiplier", 1), Field(vm, c, "greenMultiplier", 1), Field(vm, c, "blueMultiplier", 1),
            Field(vm, c, "alphaMultiplier", 1), Field(vm, c, "redOffset"), Field(vm, c, "greenOffset"),
            Field(vm, c, "blueOffset"), Field(vm, c, "alphaOffset")};
}

void SetColor(Vm& vm, const Value& o, const ColorTransform& c) {
    SetFields(vm, o, {{"redMultiplier", c.mr}, {"greenMultiplier", c.mg}, {"blueMultiplier", c.mb}, {"alphaMultiplier", c.ma},
                      {"redOffset", c.ar}, {"greenOffset", c.ag}, {"blueOffset", c.ab}, {"alphaOffset", c.aa}});
}

DisplayObject* HolderOf(Vm& vm, const Value& clip) {
    Playhead* p = vm.ClipOf(clip);
    return p ? p->Holder() : nullptr;
}

Rgba ColorAlpha(Vm& vm, const Value& o, const char* color, const char* alpha, uint32_t fallback) {
    auto c = static_cast<uint32_t>(Field(vm, o, color, fallback));
    double a = std::clamp(Field(vm, o, alpha, 1), 0.0, 1.0);
    return {uint8_t(c >> 16), uint8_t(c >> 8), uint8_t(c), static_cast<uint8_t>(a * 255 + 0.5)};
}

// Filter objects carry their kind in a hidden "__filter" property.
void InstallFilter(Vm& vm, Object* package, const char* name, FilterKind kind, Native ctor) {
    Object* proto = vm.NewObject(vm.objectProto);
    vm.Define(proto, "__filter", Value::Num(static_cast<double>(kind)));
    Object* c = vm.NewFunction(ctor);
    vm.Define(c, "prototype", Value::Obj(proto));
    vm.Define(proto, "constructor", Value::Obj(c));
    vm.Method(proto, "clone", NATIVE {
        Value copy = vm.Construct(vm.Get(self, "constructor"), {});
        if (self.IsObject() && copy.IsObject())
            for (const std::string& k : vm.Keys(self.object)) vm.SetOf(copy.object, k, vm.GetOf(self.object, k));
        return copy;
    });
    vm.Define(package, name, Value::Obj(c));
}

} // namespace

std::optional<Filter> Vm::FilterOf(const Value& o) {
    Value kind = Get(o, "__filter");
    if (!kind.IsNumber()) return std::nullopt;
    Filter f;
    f.kind = static_cast<FilterKind>(static_cast<int>(kind.number));
    f.blurX = std::clamp(Field(*this, o, "blurX", 4), 0.0, 255.0);
    f.blurY = std::clamp(Field(*this, o, "blurY", 4), 0.0, 255.0);
    f.passes = static_cast<int>(std::clamp(Field(*this, o, "quality", 1), 0.0, 15.0));
    f.strength = std::clamp(Field(*this, o, "strength", 1), 0.0, 255.0);
    f.distance = std::clamp(Field(*this, o, "distance", 4), -1e4, 1e4);
    f.angle = Field(*this, o, "angle", 45) / kDegrees;
    f.inner = ToBoolean(Get(o, "inner"));
    f.knockout = ToBoolean(Get(o, "knockout"));
    f.compositeSource = !ToBoolean(Get(o, "hideObject"));
    switch (f.kind) {
    case FilterKind::Glow: f.color = ColorAlpha(*this, o, "color", "alpha", 0xFF0000); break;
    case FilterKind::DropShadow: f.color = ColorAlpha(*this, o, "color", "alpha", 0); break;
    case FilterKind::Bevel:
        f.highlight = ColorAlpha(*this, o, "highlightColor", "highlightAlpha", 0xFFFFFF);
        f.color = ColorAlpha(*this, o, "shadowColor", "shadowAlpha", 0);
        f.onTop = ToString(Get(o, "type")) == "full";
        f.inner = ToString(Get(o, "type")) != "outer";
        break;
    case FilterKind::ColorMatrix: {
        Value m = Get(o, "matrix");
        if (!m.IsObject() || m.object->kind != Kind::Array || m.object->elements.size() != 20) return std::nullopt;
        for (size_t i = 0; i < m.object->elements.size() && f.weights.size() < 20; ++i) {
            Value v = m.object->elements[i];   // valueOf may change the array
            f.weights.push_back(static_cast<float>(ToNumber(v)));
        }
        if (f.weights.size() != 20) return std::nullopt;
        break;
    }
    default: break;
    }
    return f;
}

Value Vm::FilterObject(const Filter& f) {
    static const char* const kNames[] = {"DropShadowFilter", "BlurFilter", "GlowFilter", "BevelFilter",
                                         "GradientGlowFilter", "ConvolutionFilter", "ColorMatrixFilter",
                                         "GradientBevelFilter"};
    Value ctor = Value::Obj(global);
    for (const char* part : {"flash", "filters", kNames[static_cast<int>(f.kind) & 7]}) ctor = Get(ctor, part);
    Value o = Construct(ctor, {});
    if (!o.IsObject()) return {};
    auto rgb = [](Rgba c) { return static_cast<double>(c.r << 16 | c.g << 8 | c.b); };
    SetFields(*this, o, {{"blurX", f.blurX}, {"blurY", f.blurY}, {"quality", static_cast<double>(f.passes)},
                         {"strength", f.strength}, {"distance", f.distance}, {"angle", f.angle * kDegrees},
                         {"color", rgb(f.color)}, {"alpha", f.color.a / 255.0}});
    Set(o, "inner", Value::Bool(f.inner));
    Set(o, "knockout", Value::Bool(f.knockout));
    if (f.kind == FilterKind::ColorMatrix) {
        std::vector<Value> weights;
        for (float w : f.weights) weights.push_back(Value::Num(w));
        Set(o, "matrix", Value::Obj(NewArray(std::move(weights))));
    }
    return o;
}

void Vm::InstallClasses() {
    Object* flashPackage = NewObject(objectProto);
    Define(global, "flash", Value::Obj(flashPackage));
    Object* geom = NewObject(objectProto);
    Define(flashPackage, "geom", Value::Obj(geom));
    Object* filters = NewObject(objectProto);
    Define(flashPackage, "filters", Value::Obj(filters));
    Object* display = NewObject(objectProto);
    Define(flashPackage, "display", Value::Obj(display));
    auto makeClass = [this](Object* package, const char* name, Native ctor) {
        Object* proto = NewObject(objectProto);
        Object* c = NewFunction(ctor);
        Define(c, "prototype", Value::Obj(proto));
        Define(proto, "constructor", Value::Obj(c));
        Define(package, name, Value::Obj(c));
        return std::pair{c, proto};
    };
    auto getter = [this](Object* proto, const char* name, Native get, Native set = nullptr) {
        Define(proto, name, {});
        Property* p = Own(proto, name);
        p->getter = NewFunction(get);
        if (set) p->setter = NewFunction(set);
    };

    // Point.
    auto [point, pointProto] = makeClass(geom, "Point", NATIVE {
        SetFields(vm, self, {{"x", Num(vm, a, 0, 0)}, {"y", Num(vm, a, 1, 0)}});
        return self;
    });
    getter(pointProto, "length", NATIVE { return Value::Num(std::hypot(Field(vm, self, "x"), Field(vm, self, "y"))); });
    Method(pointProto, "add", NATIVE {
        return NewPoint(vm, Field(vm, self, "x") + Field(vm, Arg(a, 0), "x"), Field(vm, self, "y") + Field(vm, Arg(a, 0), "y"));
    });
    Method(pointProto, "subtract", NATIVE {
        return NewPoint(vm, Field(vm, self, "x") - Field(vm, Arg(a, 0), "x"), Field(vm, self, "y") - Field(vm, Arg(a, 0), "y"));
    });
    Method(pointProto, "clone", NATIVE { return NewPoint(vm, Field(vm, self, "x"), Field(vm, self, "y")); });
    Method(pointProto, "equals", NATIVE {
        return Value::Bool(Field(vm, self, "x") == Field(vm, Arg(a, 0), "x") && Field(vm, self, "y") == Field(vm, Arg(a, 0), "y"));
    });
    Method(pointProto, "offset", NATIVE {
        SetFields(vm, self, {{"x", Field(vm, self, "x") + Num(vm, a, 0, 0)}, {"y", Field(vm, self, "y") + Num(vm, a, 1, 0)}});
        return {};
    });
    Method(pointProto, "normalize", NATIVE {
        double x = Field(vm, self, "x"), y = Field(vm, self, "y"), l = std::hypot(x, y), to = Num(vm, a, 0, 1);
        if (l > 0) SetFields(vm, self, {{"x", x * to / l}, {"y", y * to / l}});
        return {};
    });
    Method(pointProto, "toString", NATIVE {
        return Value::Str("(x=" + vm.ToString(vm.Get(self, "x")) + ", y=" + vm.ToString(vm.Get(self, "y")) + ")");
    });
    Method(point, "distance", NATIVE {
        return Value::Num(std::hypot(Field(vm, Arg(a, 0), "x") - Field(vm, Arg(a, 1), "x"),
                                     Field(vm, Arg(a, 0), "y") - Field(vm, Arg(a, 1), "y")));
    });
    Method(point, "interpolate", NATIVE {
        double t = Num(vm, a, 2, 0);
        auto mix = [&](const char* f) { return Field(vm, Arg(a, 1), f) + (Field(vm, Arg(a, 0), f) - Field(vm, Arg(a, 1), f)) * t; };
        return NewPoint(vm, mix("x"), mix("y"));
    });
    Method(point, "polar", NATIVE {
        double l = Num(vm, a, 0, 0), angle = Num(vm, a, 1, 0);
        return NewPoint(vm, l * std::cos(angle), l * std::sin(angle));
    });

    // Rectangle.
    auto [rect, rectProto] = makeClass(geom, "Rectangle", NATIVE {
        SetFields(vm, self, {{"x", Num(vm, a, 0, 0)}, {"y", Num(vm, a, 1, 0)}, {"width", Num(vm, a, 2, 0)}, {"height", Num(vm, a, 3, 0)}});
        return self;
    });
    (void)rect;
    getter(rectProto, "left", NATIVE { return Value::Num(Field(vm, self, "x")); });
    getter(rectProto, "top", NATIVE { return Value::Num(Field(vm, self, "y")); });
    getter(rectProto, "right", NATIVE { return Value::Num(Field(vm, self, "x") + Field(vm, self, "width")); });
    getter(rectProto, "bottom", NATIVE { return Value::Num(Field(vm, self, "y") + Field(vm, self, "height")); });
    Method(rectProto, "contains", NATIVE {
        double x = Num(vm, a, 0, NAN), y = Num(vm, a, 1, NAN), rx = Field(vm, self, "x"), ry = Field(vm, self, "y");
        return Value::Bool(x >= rx && y >= ry && x < rx + Field(vm, self, "width") && y < ry + Field(vm, self, "height"));
    });
    Method(rectProto, "isEmpty", NATIVE { return Value::Bool(Field(vm, self, "width") <= 0 || Field(vm, self, "height") <= 0); });
    Method(rectProto, "intersects", NATIVE {
        const Value& r = Arg(a, 0);
        return Value::Bool(Field(vm, self, "x") < Field(vm, r, "x") + Field(vm, r, "width") &&
                           Field(vm, r, "x") < Field(vm, self, "x") + Field(vm, self, "width") &&
                           Field(vm, self, "y") < Field(vm, r, "y") + Field(vm, r, "height") &&
                           Field(vm, r, "y") < Field(vm, self, "y") + Field(vm, self, "height"));
    });
    Method(rectProto, "clone", NATIVE {
        Value args[4] = {vm.Get(self, "x"), vm.Get(self, "y"), vm.Get(self, "width"), vm.Get(self, "height")};
        return Make(vm, "Rectangle", args);
    });
    Method(rectProto, "offset", NATIVE {
        SetFields(vm, self, {{"x", Field(vm, self, "x") + Num(vm, a, 0, 0)}, {"y", Field(vm, self, "y") + Num(vm, a, 1, 0)}});
        return {};
    });
    Method(rectProto, "toString", NATIVE {
        return Value::Str("(x=" + vm.ToString(vm.Get(self, "x")) + ", y=" + vm.ToString(vm.Get(self, "y")) + ", w=" +
                          vm.ToString(vm.Get(self, "width")) + ", h=" + vm.ToString(vm.Get(self, "height")) + ")");
    });

    // Matrix: tx and ty in pixels.
    auto [matrix, matrixProto] = makeClass(geom, "Matrix", NATIVE {
        SetFields(vm, self, {{"a", Num(vm, a, 0, 1)}, {"b", Num(vm, a, 1, 0)}, {"c", Num(vm, a, 2, 0)}, {"d", Num(vm, a, 3, 1)},
                             {"tx", Num(vm, a, 4, 0)}, {"ty", Num(vm, a, 5, 0)}});
        return self;
    });
    (void)matrix;
    Method(matrixProto, "identity", NATIVE {
        SetMatrix(vm, self, Matrix{});
        return {};
    });
    Method(matrixProto, "translate", NATIVE {
        Matrix m = MatrixOf(vm, self);
        m.tx += Num(vm, a, 0, 0) * 20, m.ty += Num(vm, a, 1, 0) * 20;
        SetMatrix(vm, self, m);
        return {};
    });
    Method(matrixProto, "scale", NATIVE {
        double sx = Num(vm, a, 0, 1), sy = Num(vm, a, 1, 1);
        SetMatrix(vm, self, Matrix{sx, 0, 0, sy, 0, 0} * MatrixOf(vm, self));
        return {};
    });
    Method(matrixProto, "rotate", NATIVE {
        double r = Num(vm, a, 0, 0);
        SetMatrix(vm, self, Matrix{std::cos(r), std::sin(r), -std::sin(r), std::cos(r), 0, 0} * MatrixOf(vm, self));
        return {};
    });
    Method(matrixProto, "concat", NATIVE {
        SetMatrix(vm, self, MatrixOf(vm, Arg(a, 0)) * MatrixOf(vm, self));
        return {};
    });
    Method(matrixProto, "invert", NATIVE {
        Matrix m = MatrixOf(vm, self);
        double det = m.a * m.d - m.b * m.c;
        if (det == 0) return {};
        SetMatrix(vm, self, {m.d / det, -m.b / det, -m.c / det, m.a / det, (m.c * m.ty - m.d * m.tx) / det,
                             (m.b * m.tx - m.a * m.ty) / det});
        return {};
    });
    Define(matrixProto, "createBox", Value::Obj(NewFunction(NATIVE {
        double sx = Num(vm, a, 0, 1), sy = Num(vm, a, 1, 1), r = Num(vm, a, 2, 0);
        SetMatrix(vm, self, {sx * std::cos(r), sx * std::sin(r), -sy * std::sin(r), sy * std::cos(r), Num(vm, a, 3, 0) * 20,
                             Num(vm, a, 4, 0) * 20});
        return {};
    })));
    Define(matrixProto, "createGradientBox", Value::Obj(NewFunction(NATIVE {
        double w = Num(vm, a, 0, 1), h = Num(vm, a, 1, 1), r = Num(vm, a, 2, 0);
        double sx = w / 1638.4, sy = h / 1638.4;
        SetMatrix(vm, self, {sx * std::cos(r), sx * std::sin(r), -sy * std::sin(r), sy * std::cos(r),
                             (Num(vm, a, 3, 0) + w / 2) * 20, (Num(vm, a, 4, 0) + h / 2) * 20});
        return {};
    })));
    Method(matrixProto, "transformPoint", NATIVE {
        Matrix m = MatrixOf(vm, self);
        double x = Field(vm, Arg(a, 0), "x"), y = Field(vm, Arg(a, 0), "y");
        return NewPoint(vm, m.a * x + m.c * y + m.tx / 20, m.b * x + m.d * y + m.ty / 20);
    });
    Method(matrixProto, "clone", NATIVE {
        Value args[6] = {vm.Get(self, "a"), vm.Get(self, "b"), vm.Get(self, "c"), vm.Get(self, "d"), vm.Get(self, "tx"), vm.Get(self, "ty")};
        return Make(vm, "Matrix", args);
    });

    // ColorTransform.
    auto [colorTransform, colorProto] = makeClass(geom, "ColorTransform", NATIVE {
        SetColor(vm, self, {Num(vm, a, 0, 1), Num(vm, a, 1, 1), Num(vm, a, 2, 1), Num(vm, a, 3, 1), Num(vm, a, 4, 0),
                            Num(vm, a, 5, 0), Num(vm, a, 6, 0), Num(vm, a, 7, 0)});
        return self;
    });
    (void)colorTransform;
    getter(colorProto, "rgb", NATIVE {
        ColorTransform c = ColorOf(vm, self);
        return Value::Num(static_cast<double>(int(c.ar) << 16 | int(c.ag) << 8 | int(c.ab)));
    }, NATIVE {
        auto rgb = static_cast<uint32_t>(vm.ToInt32(Arg(a, 0)));
        ColorTransform c = ColorOf(vm, self);
        c.mr = c.mg = c.mb = 0;
        c.ar = rgb >> 16 & 0xFF, c.ag = rgb >> 8 & 0xFF, c.ab = rgb & 0xFF;
        SetColor(vm, self, c);
        return {};
    });
    Method(colorProto, "concat", NATIVE {
        SetColor(vm, self, ColorOf(vm, self) * ColorOf(vm, Arg(a, 0)));
        return {};
    });

    // Transform: a clip's matrix and colour transform as objects.
    auto [transform, transformProto] = makeClass(geom, "Transform", NATIVE {
        if (self.IsObject()) self.object->self = Arg(a, 0);
        return self;
    });
    (void)transform;
    getter(transformProto, "matrix", NATIVE {
        DisplayObject* h = self.IsObject() ? HolderOf(vm, self.object->self) : nullptr;
        Value m = Make(vm, "Matrix", {});
        SetMatrix(vm, m, h ? h->matrix : Matrix{});
        return m;
    }, NATIVE {
        DisplayObject* h = self.IsObject() ? HolderOf(vm, self.object->self) : nullptr;
        if (h && Arg(a, 0).IsObject()) h->matrix = MatrixOf(vm, Arg(a, 0));
        return {};
    });
    getter(transformProto, "colorTransform", NATIVE {
        DisplayObject* h = self.IsObject() ? HolderOf(vm, self.object->self) : nullptr;
        Value c = Make(vm, "ColorTransform", {});
        SetColor(vm, c, h ? h->color : ColorTransform{});
        return c;
    }, NATIVE {
        DisplayObject* h = self.IsObject() ? HolderOf(vm, self.object->self) : nullptr;
        if (h && Arg(a, 0).IsObject()) h->color = ColorOf(vm, Arg(a, 0));
        return {};
    });

    // Color, the Flash 5 way to tint a clip.
    auto [color, colorClassProto] = makeClass(global, "Color", NATIVE {
        if (self.IsObject()) self.object->self = vm.ClipOf(Arg(a, 0)) ? Arg(a, 0) : Value{};
        return self;
    });
    (void)color;
    Method(colorClassProto, "setRGB", NATIVE {
        DisplayObject* h = self.IsObject() ? HolderOf(vm, self.object->self) : nullptr;
        if (!h) return {};
        auto rgb = static_cast<uint32_t>(vm.ToInt32(Arg(a, 0)));
        h->color.mr = h->color.mg = h->color.mb = 0;
        h->color.ar = rgb >> 16 & 0xFF, h->color.ag = rgb >> 8 & 0xFF, h->color.ab = rgb & 0xFF;
        return {};
    });
    Method(colorClassProto, "getRGB", NATIVE {
        DisplayObject* h = self.IsObject() ? HolderOf(vm, self.object->self) : nullptr;
        if (!h) return Value::Num(0);
        return Value::Num(static_cast<double>(int(h->color.ar) << 16 | int(h->color.ag) << 8 | int(h->color.ab)));
    });
    Method(colorClassProto, "setTransform", NATIVE {
        DisplayObject* h = self.IsObject() ? HolderOf(vm, self.object->self) : nullptr;
        const Value& t = Arg(a, 0);
        if (!h || !t.IsObject()) return {};
        ColorTransform& c = h->color;
        c = {Field(vm, t, "ra", c.mr * 100) / 100, Field(vm, t, "ga", c.mg * 100) / 100, Field(vm, t, "ba", c.mb * 100) / 100,
             Field(vm, t, "aa", c.ma * 100) / 100, Field(vm, t, "rb", c.ar), Field(vm, t, "gb", c.ag), Field(vm, t, "bb", c.ab),
             Field(vm, t, "ab", c.aa)};
        return {};
    });
    Method(colorClassProto, "getTransform", NATIVE {
        DisplayObject* h = self.IsObject() ? HolderOf(vm, self.object->self) : nullptr;
        ColorTransform c = h ? h->color : ColorTransform{};
        Value o = Value::Obj(vm.NewObject(vm.objectProto));
        SetFields(vm, o, {{"ra", c.mr * 100}, {"ga", c.mg * 100}, {"ba", c.mb * 100}, {"aa", c.ma * 100}, {"rb", c.ar},
                          {"gb", c.ag}, {"bb", c.ab}, {"ab", c.aa}});
        return o;
    });

    // Filters: their constructors set the fields in the order Flash 8 takes them.
    InstallFilter(*this, filters, "BlurFilter", FilterKind::Blur, NATIVE {
        SetFields(vm, self, {{"blurX", Num(vm, a, 0, 4)}, {"blurY", Num(vm, a, 1, 4)}, {"quality", Num(vm, a, 2, 1)}});
        return self;
    });
    InstallFilter(*this, filters, "GlowFilter", FilterKind::Glow, NATIVE {
        SetFields(vm, self, {{"color", Num(vm, a, 0, 0xFF0000)}, {"alpha", Num(vm, a, 1, 1)}, {"blurX", Num(vm, a, 2, 6)},
                             {"blurY", Num(vm, a, 3, 6)}, {"strength", Num(vm, a, 4, 2)}, {"quality", Num(vm, a, 5, 1)}});
        vm.Set(self, "inner", Value::Bool(vm.ToBoolean(Arg(a, 6))));
        vm.Set(self, "knockout", Value::Bool(vm.ToBoolean(Arg(a, 7))));
        return self;
    });
    InstallFilter(*this, filters, "DropShadowFilter", FilterKind::DropShadow, NATIVE {
        SetFields(vm, self, {{"distance", Num(vm, a, 0, 4)}, {"angle", Num(vm, a, 1, 45)}, {"color", Num(vm, a, 2, 0)},
                             {"alpha", Num(vm, a, 3, 1)}, {"blurX", Num(vm, a, 4, 4)}, {"blurY", Num(vm, a, 5, 4)},
                             {"strength", Num(vm, a, 6, 1)}, {"quality", Num(vm, a, 7, 1)}});
        vm.Set(self, "inner", Value::Bool(vm.ToBoolean(Arg(a, 8))));
        vm.Set(self, "knockout", Value::Bool(vm.ToBoolean(Arg(a, 9))));
        vm.Set(self, "hideObject", Value::Bool(vm.ToBoolean(Arg(a, 10))));
        return self;
    });
    InstallFilter(*this, filters, "BevelFilter", FilterKind::Bevel, NATIVE {
        SetFields(vm, self, {{"distance", Num(vm, a, 0, 4)}, {"angle", Num(vm, a, 1, 45)},
                             {"highlightColor", Num(vm, a, 2, 0xFFFFFF)}, {"highlightAlpha", Num(vm, a, 3, 1)},
                             {"shadowColor", Num(vm, a, 4, 0)}, {"shadowAlpha", Num(vm, a, 5, 1)}, {"blurX", Num(vm, a, 6, 4)},
                             {"blurY", Num(vm, a, 7, 4)}, {"strength", Num(vm, a, 8, 1)}, {"quality", Num(vm, a, 9, 1)}});
        vm.Set(self, "type", a.size() > 10 ? Value::Str(vm.ToString(a[10])) : Value::Str("inner"));
        vm.Set(self, "knockout", Value::Bool(vm.ToBoolean(Arg(a, 11))));
        return self;
    });
    InstallFilter(*this, filters, "ColorMatrixFilter", FilterKind::ColorMatrix, NATIVE {
        vm.Set(self, "matrix", Arg(a, 0));
        return self;
    });
}

} // namespace showsaver::flash::script
