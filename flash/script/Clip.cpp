// Clips: the script object of each playhead, its properties read from and
// written to the display object that holds it, the MovieClip methods, the
// drawing methods, and the events of a step in Flash Player's order.

#include "flash/script/Vm.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <strings.h>

namespace showsaver::flash::script {

namespace {

constexpr double kPi = std::numbers::pi;
constexpr size_t kMaxDrawnEdges = 100'000;   // per clip

const char* const kIndexed[22] = {"_x", "_y", "_xscale", "_yscale", "_currentframe", "_totalframes", "_alpha",
                                  "_visible", "_width", "_height", "_rotation", "_target", "_framesloaded", "_name",
                                  "_droptarget", "_url", "_highquality", "_focusrect", "_soundbuftime", "_quality",
                                  "_xmouse", "_ymouse"};

bool Same(const std::string& a, const char* b) { return strcasecmp(a.c_str(), b) == 0; }

Rect Empty() { return {INT32_MAX, INT32_MIN, INT32_MAX, INT32_MIN}; }
bool IsEmpty(const Rect& r) { return r.xMin > r.xMax; }
void Add(Rect& r, double x, double y) {
    auto xi = static_cast<int32_t>(std::clamp(x, -1e9, 1e9)), yi = static_cast<int32_t>(std::clamp(y, -1e9, 1e9));
    r.xMin = std::min(r.xMin, xi), r.xMax = std::max(r.xMax, xi);
    r.yMin = std::min(r.yMin, yi), r.yMax = std::max(r.yMax, yi);
}
void AddRect(Rect& r, const Rect& box, const Matrix& m) {
    if (IsEmpty(box)) return;
    for (auto [x, y] : {std::pair{box.xMin, box.yMin}, {box.xMax, box.yMin}, {box.xMin, box.yMax}, {box.xMax, box.yMax}})
        Add(r, m.a * x + m.c * y + m.tx, m.b * x + m.d * y + m.ty);
}

Matrix Invert(const Matrix& m) {
    double det = m.a * m.d - m.b * m.c;
    if (det == 0) return {};
    return {m.d / det, -m.b / det, -m.c / det, m.a / det, (m.c * m.ty - m.d * m.tx) / det, (m.b * m.tx - m.a * m.ty) / det};
}

// What a native's `this` is as a clip, or null.
Playhead* Self(Vm& vm, const Value& self) { return vm.ClipOf(self); }

double Num(Vm& vm, std::span<const Value> args, size_t i) { return vm.ToNumber(Arg(args, i)); }

// A script depth in our list's keys, or nothing when it does not fit.
std::optional<uint16_t> ListDepth(double depth) {
    double key = depth + Playhead::kScriptDepths;
    if (!std::isfinite(key) || key < 0 || key > 65535) return std::nullopt;
    return static_cast<uint16_t>(key);
}

Matrix GlobalMatrix(const Playhead* p) {
    Matrix m;
    for (int i = 0; p && i < 64; ++i, p = p->Parent()) {
        const DisplayObject* holder = p->Holder();
        if (holder) m = holder->matrix * m;
    }
    return m;
}

// A clip's scrollRect (a flash.geom.Rectangle in pixels, or undefined) or
// its opaqueBackground (a colour number, or null).
Value ClipFrameProperty(Vm& vm, const DisplayObject* h, bool scroll) {
    if (scroll) {
        if (!h || !h->scrollRect) return Value{};
        const Rect& r = *h->scrollRect;
        Value args[4] = {Value::Num(r.xMin / 20.0), Value::Num(r.yMin / 20.0), Value::Num((r.xMax - r.xMin) / 20.0),
                         Value::Num((r.yMax - r.yMin) / 20.0)};
        return vm.Construct(vm.Get(vm.Get(vm.GetOf(vm.global, "flash"), "geom"), "Rectangle"), args);
    }
    if (!h || !h->opaqueBackground) return Value::Null();
    const Rgba c = *h->opaqueBackground;
    return Value::Num(c.r << 16 | c.g << 8 | c.b);
}

void SetClipFrameProperty(Vm& vm, DisplayObject& h, bool scroll, const Value& v) {
    if (!scroll) {
        if (v.IsNothing()) {
            h.opaqueBackground.reset();
        } else {
            auto c = static_cast<uint32_t>(vm.ToInt32(v));
            h.opaqueBackground = Rgba{uint8_t(c >> 16), uint8_t(c >> 8), uint8_t(c), 255};
        }
        return;
    }
    if (!v.IsObject()) {
        h.scrollRect.reset();
        return;
    }
    auto twips = [&](const char* field) {
        double n = vm.ToNumber(vm.Get(v, field));
        return static_cast<int32_t>(std::isfinite(n) ? std::clamp(n, -1e7, 1e7) * 20 : 0);
    };
    const int32_t x = twips("x"), y = twips("y"), w = std::max(0, twips("width")), hgt = std::max(0, twips("height"));
    h.scrollRect = Rect{x, x + w, y, y + hgt};
}

} // namespace

// --- Clip objects and paths -------------------------------------------------

Object* Vm::ClipObject(Playhead* p) {
    if (!p) return nullptr;
    auto it = m_clips.find(p->Serial());
    if (it != m_clips.end()) return it->second;
    Object* o = NewObject(clipProto);
    o->kind = Kind::Clip;
    o->clip = p->Serial();
    m_clips.emplace(p->Serial(), o);
    // A sprite exported under a name that Object.registerClass gave a
    // class is an instance of it, made by its constructor.
    const DisplayObject* h = p->Holder();
    if (!registered.empty() && h && h->character) {
        for (const auto& [linkage, id] : movie.exports) {
            auto it = registered.find(linkage);
            if (id != h->id || it == registered.end()) continue;
            Value prototype = GetOf(it->second, "prototype");
            if (prototype.IsObject()) o->proto = prototype.object;
            try {
                Call(Value::Obj(it->second), Value::Obj(o), {}, o->proto);
            } catch (Thrown&) {
                // the clip is made all the same
            }
            break;
        }
    }
    return o;
}

Playhead* Vm::ClipOf(const Object* o) const {
    return o && o->kind == Kind::Clip ? registry.Find(o->clip) : nullptr;
}

Playhead* Vm::ClipOf(const Value& v) const { return v.IsObject() ? ClipOf(v.object) : nullptr; }

// The index of a list's names is rebuilt when the list has changed; the
// lowest depth wins a name two clips share.
Playhead* Vm::ChildNamed(Playhead* p, const std::string& name) {
    if (name.empty() || (name[0] == '_' && (Same(name, "_parent") || Same(name, "_root")))) return nullptr;
    NameIndex& index = m_names[p->Serial()];
    if (index.version != p->ListVersion()) {
        index.version = p->ListVersion();
        index.children.clear();
        index.fields.clear();
        for (auto& [depth, object] : p->MutableList()) {
            if (object.sprite && !object.name.empty()) index.children.emplace(Key(object.name), object.sprite.get());
            if (!object.sprite && object.character && fieldObjects.count(object.character))
                index.fields.emplace(Key(object.name), object.character);
        }
    }
    auto it = index.children.find(Key(name));
    return it == index.children.end() ? nullptr : it->second;
}

Object* Vm::FieldNamed(Playhead* p, const std::string& name) {
    if (name.empty()) return nullptr;
    ChildNamed(p, name);   // brings the index up to date
    NameIndex& index = m_names[p->Serial()];
    auto it = index.fields.find(Key(name));
    if (it == index.fields.end()) return nullptr;
    auto object = fieldObjects.find(it->second);
    return object == fieldObjects.end() ? nullptr : object->second;
}

// "" is `from`; "/" the root; ".." and "_parent" one up; "_root",
// "_level0" the root; "this" the same; other parts children by name.
Playhead* Vm::ResolvePath(const std::string& path, Playhead* from) {
    Playhead* at = from;
    if (path.empty()) return at;
    size_t pos = 0;
    if (path[0] == '/') at = &root, pos = 1;
    for (int parts = 0; at && pos < path.size() && parts < 256; ++parts) {
        size_t end = path.find_first_of("/.", pos);
        if (end == std::string::npos) end = path.size();
        if (path.compare(pos, 2, "..") == 0) end = pos + 2;
        std::string part = path.substr(pos, end - pos);
        if (part == ".." || Same(part, "_parent")) at = at->Parent();
        else if (Same(part, "_root") || Same(part, "_level0")) at = &root;
        else if (!part.empty() && part != "this") at = ChildNamed(at, part);
        pos = end + 1;
    }
    return at;
}

std::string Vm::TargetPath(Playhead* p, bool slashes) {
    std::vector<std::string> names;
    for (int i = 0; p && p != &root && i < 64; ++i, p = p->Parent()) {
        const DisplayObject* holder = p->Holder();
        names.push_back(holder ? holder->name : "");
    }
    std::string path = slashes ? "" : "_level0";
    for (auto it = names.rbegin(); it != names.rend(); ++it) path += (slashes ? "/" : ".") + *it;
    return slashes && path.empty() ? "/" : path;
}

// --- Geometry ---------------------------------------------------------------

Rect Vm::Bounds(const Playhead* p, const Matrix& to, int depth) const {
    Rect r = Empty();
    if (!p || depth > Limits::kMaxCharacterDepth) return r;
    // A scrolled clip is as large as its scroll rectangle.
    if (const DisplayObject* h = p->Holder(); h && h->scrollRect) {
        AddRect(r, Rect{0, h->scrollRect->xMax - h->scrollRect->xMin, 0, h->scrollRect->yMax - h->scrollRect->yMin}, to);
        return r;
    }
    for (const ShapeLayer& layer : p->Drawing())
        for (const auto* paths : {&layer.fillPaths, &layer.linePaths})
            for (const auto& path : *paths)
                for (const Edge& e : path) {
                    Add(r, to.a * e.from.x + to.c * e.from.y + to.tx, to.b * e.from.x + to.d * e.from.y + to.ty);
                    Add(r, to.a * e.to.x + to.c * e.to.y + to.tx, to.b * e.to.x + to.d * e.to.y + to.ty);
                }
    for (const auto& [d, object] : p->List()) {
        if (!object.character) continue;
        Matrix m = to * object.matrix;
        switch (object.character->kind) {
        case CharacterKind::Shape: AddRect(r, static_cast<const ShapeCharacter&>(*object.character).shape.bounds, m); break;
        case CharacterKind::Text: AddRect(r, static_cast<const TextCharacter&>(*object.character).bounds, m); break;
        case CharacterKind::Bitmap: {
            const auto& b = static_cast<const BitmapCharacter&>(*object.character);
            AddRect(r, Rect{0, b.width * 20, 0, b.height * 20}, m);
            break;
        }
        case CharacterKind::Sprite:
        case CharacterKind::Button: {
            Rect inner = Bounds(object.sprite.get(), m, depth + 1);
            if (!IsEmpty(inner)) AddRect(r, inner, Matrix{});
            break;
        }
        default: break;
        }
    }
    return r;
}

// --- Properties -------------------------------------------------------------

bool Vm::GetClipProperty(Playhead* p, const std::string& name, Value& out) {
    if (name.empty() || name[0] != '_') {
        if (Same(name, "blendMode")) {
            static const char* const kModes[] = {"normal", "normal", "layer", "multiply", "screen", "lighten", "darken",
                                                 "difference", "add", "subtract", "invert", "alpha", "erase", "overlay",
                                                 "hardlight"};
            const DisplayObject* h = p->Holder();
            auto mode = static_cast<size_t>(h ? h->blend : BlendMode::Normal);
            out = Value::Str(kModes[std::min<size_t>(mode, 14)]);
            return true;
        }
        if (Same(name, "cacheAsBitmap")) {
            const DisplayObject* h = p->Holder();
            out = Value::Bool(h && h->cacheAsBitmap);
            return true;
        }
        if (Same(name, "filters")) {
            std::vector<Value> list;
            if (const DisplayObject* h = p->Holder())
                for (const Filter& f : h->filters) list.push_back(FilterObject(f));
            out = Value::Obj(NewArray(std::move(list)));
            return true;
        }
        if (Same(name, "scrollRect") || Same(name, "opaqueBackground")) {
            out = ClipFrameProperty(*this, p->Holder(), Same(name, "scrollRect"));
            return true;
        }
        if (Same(name, "transform")) {
            Value ctor = Get(Get(GetOf(global, "flash"), "geom"), "Transform");
            Value args[1] = {Value::Obj(ClipObject(p))};
            out = Construct(ctor, args);
            return true;
        }
        return false;
    }
    const DisplayObject* h = p->Holder();
    Matrix m = h ? h->matrix : Matrix{};
    auto set = [&out](Value v) {
        out = std::move(v);
        return true;
    };
    if (Same(name, "_x")) return set(Value::Num(m.tx / 20));
    if (Same(name, "_y")) return set(Value::Num(m.ty / 20));
    if (Same(name, "_xscale")) return set(Value::Num(std::hypot(m.a, m.b) * 100));
    if (Same(name, "_yscale")) return set(Value::Num(std::hypot(m.c, m.d) * 100));
    if (Same(name, "_rotation")) return set(Value::Num(std::atan2(m.b, m.a) * 180 / kPi));
    if (Same(name, "_alpha")) return set(Value::Num((h ? h->color.ma : 1) * 100));
    if (Same(name, "_visible")) return set(Value::Bool(!h || h->visible));
    if (Same(name, "_width") || Same(name, "_height")) {
        Rect r = Bounds(p, m);
        bool width = Same(name, "_width");
        return set(Value::Num(IsEmpty(r) ? 0 : (width ? r.Width() : r.Height()) / 20.0));
    }
    if (Same(name, "_currentframe")) return set(Value::Num(std::max(0, p->Frame()) + 1));
    if (Same(name, "_totalframes") || Same(name, "_framesloaded")) return set(Value::Num(p->FrameCount()));
    if (Same(name, "_name")) return set(Value::Str(h ? h->name : ""));
    if (Same(name, "_target")) return set(Value::Str(TargetPath(p, true)));
    if (Same(name, "_parent")) return set(p->Parent() ? Value::Obj(ClipObject(p->Parent())) : Value{});
    if (Same(name, "_root") || Same(name, "_level0")) return set(Value::Obj(ClipObject(&root)));
    if (Same(name, "_xmouse") || Same(name, "_ymouse")) return set(Value::Num(0));
    if (Same(name, "_quality")) return set(Value::Str("HIGH"));
    if (Same(name, "_highquality")) return set(Value::Num(1));
    if (Same(name, "_focusrect")) return set(Value::Bool(true));
    if (Same(name, "_soundbuftime")) return set(Value::Num(5));
    if (Same(name, "_url")) return set(Value::Str("file:///movie.swf"));
    if (Same(name, "_droptarget")) return set(Value::Str(""));
    return false;
}

bool Vm::SetClipProperty(Playhead* p, const std::string& name, const Value& v) {
    DisplayObject* h = p->Holder();
    if (!name.empty() && name[0] == '_') {
        int index = -1;
        for (int i = 0; i < 22 && index < 0; ++i)
            if (Same(name, kIndexed[i])) index = i;
        if (index < 0) return false;
        SetPropertyByIndex(p, index, v);
        return true;
    }
    if (Same(name, "blendMode")) {
        static const char* const kModes[] = {"normal", "layer", "multiply", "screen", "lighten", "darken", "difference",
                                             "add", "subtract", "invert", "alpha", "erase", "overlay", "hardlight"};
        if (!h) return true;
        if (v.IsNumber() && v.number >= 1 && v.number <= 14) h->blend = static_cast<BlendMode>(static_cast<int>(v.number));
        std::string text = ToString(v);
        for (int i = 0; i < 14; ++i)
            if (text == kModes[i]) h->blend = static_cast<BlendMode>(i + 1);
        return true;
    }
    if (Same(name, "cacheAsBitmap")) {
        if (h) h->cacheAsBitmap = ToBoolean(v);
        return true;
    }
    if (Same(name, "scrollRect") || Same(name, "opaqueBackground")) {
        if (h) SetClipFrameProperty(*this, *h, Same(name, "scrollRect"), v);
        return true;
    }
    if (Same(name, "filters")) {
        if (!h) return true;
        h->filters.clear();
        if (v.IsObject() && v.object->kind == Kind::Array)
            for (size_t i = 0; i < v.object->elements.size() && i < 16; ++i)
                if (auto f = FilterOf(v.object->elements[i])) h->filters.push_back(*f);
        return true;
    }
    if (Same(name, "transform")) {
        if (!h || !v.IsObject()) return true;
        Value m = Get(v, "matrix"), c = Get(v, "colorTransform");
        auto field = [&](const Value& o, const char* f, double fallback) {
            Value x = Get(o, f);
            double n = x.IsUndefined() ? fallback : ToNumber(x);
            return std::isfinite(n) ? n : fallback;
        };
        if (m.IsObject())
            h->matrix = {field(m, "a", 1), field(m, "b", 0), field(m, "c", 0), field(m, "d", 1), field(m, "tx", 0) * 20,
                         field(m, "ty", 0) * 20};
        if (c.IsObject())
            h->color = {field(c, "redMultiplier", 1), field(c, "greenMultiplier", 1), field(c, "blueMultiplier", 1),
                        field(c, "alphaMultiplier", 1), field(c, "redOffset", 0), field(c, "greenOffset", 0),
                        field(c, "blueOffset", 0), field(c, "alphaOffset", 0)};
        return true;
    }
    return false;
}

Value Vm::PropertyByIndex(Playhead* p, int index) {
    Value out;
    if (index < 0 || index >= 22) return out;
    GetClipProperty(p, kIndexed[index], out);
    return out;
}

void Vm::SetPropertyByIndex(Playhead* p, int index, const Value& v) {
    DisplayObject* h = p->Holder();
    if (!h) return;   // the root stays where it is
    double n = ToNumber(v);
    Matrix& m = h->matrix;
    double sx = std::hypot(m.a, m.b), sy = std::hypot(m.c, m.d), r = std::atan2(m.b, m.a);
    auto rebuild = [&m](double xs, double ys, double rot) {
        m.a = xs * std::cos(rot), m.b = xs * std::sin(rot), m.c = -ys * std::sin(rot), m.d = ys * std::cos(rot);
    };
    bool finite = std::isfinite(n);
    switch (index) {
    case 0: if (finite) m.tx = std::clamp(n, -1e7, 1e7) * 20; break;
    case 1: if (finite) m.ty = std::clamp(n, -1e7, 1e7) * 20; break;
    case 2: if (finite) rebuild(std::clamp(n, -1e6, 1e6) / 100, sy, r); break;
    case 3: if (finite) rebuild(sx, std::clamp(n, -1e6, 1e6) / 100, r); break;
    case 6: if (finite) h->color.ma = std::clamp(n, -1e6, 1e6) / 100; break;
    case 7: h->visible = v.IsString() ? ToNumber(v) != 0 : ToBoolean(v); break;
    case 8: case 9: {
        Rect box = Bounds(p, Matrix{});
        if (!finite || n < 0 || IsEmpty(box)) break;
        double size = (index == 8 ? box.Width() : box.Height()) / 20.0;
        if (size <= 0) break;
        if (index == 8) rebuild(std::min(n / size, 1e6), sy, r);
        else rebuild(sx, std::min(n / size, 1e6), r);
        break;
    }
    case 10: if (finite) rebuild(sx, sy, std::fmod(n, 360) * kPi / 180); break;
    case 13:
        h->name = ToString(v);
        if (p->Parent()) p->Parent()->Touch();
        break;
    default: break;   // read-only, or nothing to change here
    }
}

// --- The timeline -----------------------------------------------------------

void Vm::GotoFrame(Playhead* p, const Value& frame, int play) {
    if (!p) return;
    int index;
    if (frame.IsString()) {
        index = p->FindLabel(frame.text);
        if (index < 0) {
            double n = ToNumberOfText(frame.text);
            if (!std::isfinite(n) || n < 1) return;
            index = static_cast<int>(std::min(n, 65536.0)) - 1;
        }
    } else {
        double n = ToNumber(frame);
        if (!std::isfinite(n)) return;
        index = static_cast<int>(std::clamp(n, -1.0, 65536.0)) - 1;
    }
    uint64_t serial = p->Serial();
    if (++gotos <= Limits::kMaxGotosPerStep && pending) p->Goto(index, *pending);
    if (play >= 0 && registry.Find(serial)) p->SetPlaying(play > 0);
}

Playhead* Vm::Duplicate(Playhead* p, const std::string& name, int depth) {
    DisplayObject* h = p->Holder();
    Playhead* parent = p->Parent();
    auto key = ListDepth(depth);
    if (!h || !parent || !key || !pending) return nullptr;
    Matrix m = h->matrix;
    ColorTransform color = h->color;
    const Character* character = h->character;
    uint16_t id = h->id;
    auto clipActions = h->clipActions;
    // The copy has the drawing methods' shapes too (taken first: the copy
    // may replace the original), counted against the same bounds.
    std::vector<ShapeLayer> drawing = p->Drawing();
    size_t edges = pens.count(p->Serial()) ? pens[p->Serial()].edges : 0;
    Charge(edges * sizeof(Edge) * 2);
    Playhead* copy = parent->PlaceSprite(*key, character, name, *pending);
    if (!copy) return nullptr;
    DisplayObject* ch = copy->Holder();
    ch->id = id;
    ch->matrix = m;
    ch->color = color;
    ch->clipActions = clipActions;
    copy->Drawing() = std::move(drawing);
    if (edges) pens[copy->Serial()].edges = edges;
    return copy;
}

void Vm::RemoveClip(Playhead* p) {
    Playhead* parent = p->Parent();
    if (!parent) return;
    for (auto& [depth, object] : parent->MutableList()) {
        if (object.sprite.get() != p) continue;
        if (depth >= Playhead::kScriptDepths) parent->RemoveAt(depth);
        return;
    }
}

// --- Drawing ----------------------------------------------------------------

void Vm::DrawEdge(Playhead* p, Point to, std::optional<Point> control) {
    Pen& pen = pens[p->Serial()];
    auto& layers = p->Drawing();
    Edge e{pen.at, control ? *control : Point{(pen.at.x + to.x) / 2, (pen.at.y + to.y) / 2}, to, control.has_value()};
    pen.at = to;
    if (pen.edges >= kMaxDrawnEdges) return;
    Charge(sizeof(Edge) * 2);
    ++pen.edges;
    if (pen.fillLayer >= 0 && static_cast<size_t>(pen.fillLayer) < layers.size())
        layers[static_cast<size_t>(pen.fillLayer)].fillPaths[0].push_back(e);
    if (pen.lineStyle && pen.lineLayer >= 0 && static_cast<size_t>(pen.lineLayer) < layers.size() && pen.line >= 0 &&
        static_cast<size_t>(pen.line) < layers[static_cast<size_t>(pen.lineLayer)].linePaths.size())
        layers[static_cast<size_t>(pen.lineLayer)].linePaths[static_cast<size_t>(pen.line)].push_back(e);
}

void Vm::BeginFill(Playhead* p, const FillStyle& fill) {
    EndFill(p);
    Pen& pen = pens[p->Serial()];
    auto& layers = p->Drawing();
    if (layers.size() >= 10'000) return;
    ShapeLayer layer;
    layer.fills.push_back(fill);
    layer.fillPaths.resize(1);
    layers.push_back(std::move(layer));
    pen.fillLayer = static_cast<int>(layers.size() - 1);
    pen.start = pen.at;
    // Lines drawn from here on go over the new fill.
    if (pen.lineStyle) {
        layers.back().lines.push_back(*pen.lineStyle);
        layers.back().linePaths.resize(1);
        pen.lineLayer = pen.fillLayer;
        pen.line = 0;
    }
}

void Vm::EndFill(Playhead* p) {
    Pen& pen = pens[p->Serial()];
    if (pen.fillLayer < 0) return;
    if (!(pen.at == pen.start)) {
        std::optional<LineStyle> line = pen.lineStyle;
        pen.lineStyle.reset();   // the closing edge is not stroked
        DrawEdge(p, pen.start, std::nullopt);
        pen.lineStyle = line;
    }
    pen.fillLayer = -1;
}

void Vm::LineFill(Playhead* p, const std::optional<FillStyle>& fill) {
    Pen& pen = pens[p->Serial()];
    if (!pen.lineStyle || !fill) return;
    // The line style being drawn with takes the fill, for what is drawn from here on.
    pen.lineStyle->hasFill = true;
    pen.lineStyle->fill = *fill;
    auto& layers = p->Drawing();
    if (pen.lineLayer >= 0 && static_cast<size_t>(pen.lineLayer) < layers.size() && pen.line >= 0 &&
        static_cast<size_t>(pen.line) < layers[static_cast<size_t>(pen.lineLayer)].lines.size())
        layers[static_cast<size_t>(pen.lineLayer)].lines[static_cast<size_t>(pen.line)] = *pen.lineStyle;
}

void Vm::SetMask(Playhead* p, Playhead* mask) {
    DisplayObject* h = p->Holder();
    if (!h) return;   // the root is masked by nothing
    if (Playhead* old = registry.Find(h->mask); old && old->Holder() && old->Holder()->masking == p->Serial())
        old->Holder()->masking = 0;
    h->mask = 0;
    if (!mask || mask == p || !mask->Holder()) return;
    // A clip masks one clip at a time.
    if (Playhead* was = registry.Find(mask->Holder()->masking); was && was->Holder()) was->Holder()->mask = 0;
    h->mask = mask->Serial();
    mask->Holder()->masking = p->Serial();
}

namespace {

Point ToTwips(Vm& vm, std::span<const Value> args, size_t i) {
    auto twips = [](double px) { return static_cast<int32_t>(std::isfinite(px) ? std::clamp(px * 20, -1e8, 1e8) : 0); };
    return {twips(Num(vm, args, i)), twips(Num(vm, args, i + 1))};
}

Rgba Color(Vm& vm, const Value& rgb, const Value& alpha) {
    auto c = static_cast<uint32_t>(vm.ToInt32(rgb));
    double a = alpha.IsUndefined() ? 100 : vm.ToNumber(alpha);
    if (std::isnan(a)) a = 100;
    return {uint8_t(c >> 16), uint8_t(c >> 8), uint8_t(c), static_cast<uint8_t>(std::clamp(a, 0.0, 100.0) * 2.55 + 0.5)};
}

Value ClipGoto(Vm& vm, const Value& self, std::span<const Value> args, int play) {
    if (Playhead* p = Self(vm, self)) vm.GotoFrame(p, Arg(args, 0), play);
    return {};
}

// Moves a point object {x, y} between the clip's space and the stage's.
Value Convert(Vm& vm, const Value& self, std::span<const Value> a, bool toGlobal) {
    Playhead* p = Self(vm, self);
    if (!p || !Arg(a, 0).IsObject()) return Value{};
    Object* point = Arg(a, 0).object;
    Matrix m = GlobalMatrix(p);
    if (!toGlobal) m = Invert(m);
    double x = vm.ToNumber(vm.GetOf(point, "x")) * 20, y = vm.ToNumber(vm.GetOf(point, "y")) * 20;
    vm.SetOf(point, "x", Value::Num((m.a * x + m.c * y + m.tx) / 20));
    vm.SetOf(point, "y", Value::Num((m.b * x + m.d * y + m.ty) / 20));
    return Value{};
}

Value NewGeometry(Vm& vm, std::initializer_list<std::pair<const char*, double>> fields) {
    Object* o = vm.NewObject(vm.objectProto);
    for (auto [name, value] : fields) vm.SetOf(o, name, Value::Num(value));
    return Value::Obj(o);
}

// The gradient fill of beginGradientFill and lineGradientStyle: type,
// colours, alphas, ratios, matrix; nothing when there are no colours.
std::optional<FillStyle> GradientFillOf(Vm& vm, std::span<const Value> a) {
    FillStyle fill;
    fill.kind = vm.ToString(Arg(a, 0)) == "radial" ? FillKind::Radial : FillKind::Linear;
    Object* colors = vm.ToObject(Arg(a, 1));
    Object* alphas = vm.ToObject(Arg(a, 2));
    Object* ratios = vm.ToObject(Arg(a, 3));
    if (!colors || colors->kind != Kind::Array) return std::nullopt;
    for (size_t i = 0; i < colors->elements.size() && i < Limits::kMaxGradientStops; ++i) {
        Value alpha = alphas && i < alphas->elements.size() ? alphas->elements[i] : Value::Num(100);
        GradientStop stop;
        stop.color = Color(vm, colors->elements[i], alpha);
        double ratio = ratios && i < ratios->elements.size() ? vm.ToNumber(ratios->elements[i]) : 255.0 * i;
        stop.ratio = static_cast<uint8_t>(std::isfinite(ratio) ? std::clamp(ratio, 0.0, 255.0) : 0);
        fill.gradient.stops.push_back(stop);
    }
    if (Arg(a, 4).IsObject()) {
        Object* m = Arg(a, 4).object;
        auto field = [&](const char* name) {
            double v = vm.ToNumber(vm.GetOf(m, name));
            return std::isfinite(v) ? std::clamp(v, -1e7, 1e7) : 0.0;
        };
        if (vm.ToString(vm.GetOf(m, "matrixType")) == "box") {
            double w = field("w"), h = field("h"), r = field("r");
            double sx = w * 20 / 32768, sy = h * 20 / 32768;
            fill.matrix = {sx * std::cos(r), sx * std::sin(r), -sy * std::sin(r), sy * std::cos(r),
                           (field("x") + w / 2) * 20, (field("y") + h / 2) * 20};
        } else if (vm.Has(m, "tx")) {
            fill.matrix = {field("a"), field("b"), field("c"), field("d"), field("tx") * 20, field("ty") * 20};
        } else {
            // The 3 × 3 form: a b 0 / d e 0 / g h 1, in pixels.
            fill.matrix = {field("a") * 20 / 32768 * 20, field("b") * 20 / 32768 * 20, field("d") * 20 / 32768 * 20,
                           field("e") * 20 / 32768 * 20, field("g") * 20, field("h") * 20};
        }
    }
    const std::string spread = vm.ToString(Arg(a, 5));
    fill.gradient.spread = spread == "reflect" ? Spread::Reflect : spread == "repeat" ? Spread::Repeat : Spread::Pad;
    fill.gradient.linearRgb = vm.ToString(Arg(a, 6)) == "linearRGB";
    const double focal = vm.ToNumber(Arg(a, 7));
    if (fill.kind == FillKind::Radial && std::isfinite(focal) && focal != 0) {
        fill.kind = FillKind::Focal;
        fill.gradient.focal = std::clamp(focal, -1.0, 1.0);
    }
    return fill;
}

} // namespace

void Vm::InstallClip() {
    clipProto = NewObject(objectProto);
    Object* ctor = NewFunction([](Vm&, const Value&, std::span<const Value>) { return Value{}; });
    Define(ctor, "prototype", Value::Obj(clipProto));
    Define(clipProto, "constructor", Value::Obj(ctor));
    Define(global, "MovieClip", Value::Obj(ctor));
    Object* mc = clipProto;
    Method(mc, "play", [](Vm& vm, const Value& self, std::span<const Value>) {
        if (Playhead* p = Self(vm, self)) p->SetPlaying(true);
        return Value{};
    });
    Method(mc, "stop", [](Vm& vm, const Value& self, std::span<const Value>) {
        if (Playhead* p = Self(vm, self)) p->SetPlaying(false);
        return Value{};
    });
    Method(mc, "gotoAndPlay", [](Vm& vm, const Value& self, std::span<const Value> a) { return ClipGoto(vm, self, a, 1); });
    Method(mc, "gotoAndStop", [](Vm& vm, const Value& self, std::span<const Value> a) { return ClipGoto(vm, self, a, 0); });
    Method(mc, "nextFrame", [](Vm& vm, const Value& self, std::span<const Value>) {
        if (Playhead* p = Self(vm, self)) vm.GotoFrame(p, Value::Num(p->Frame() + 2), 0);
        return Value{};
    });
    Method(mc, "prevFrame", [](Vm& vm, const Value& self, std::span<const Value>) {
        if (Playhead* p = Self(vm, self)) vm.GotoFrame(p, Value::Num(std::max(1, p->Frame())), 0);
        return Value{};
    });
    Method(mc, "createEmptyMovieClip", [](Vm& vm, const Value& self, std::span<const Value> a) {
        Playhead* p = Self(vm, self);
        auto depth = ListDepth(Num(vm, a, 1));
        if (!p || !depth || !vm.pending) return Value{};
        Playhead* made = p->PlaceSprite(*depth, nullptr, vm.ToString(Arg(a, 0)), *vm.pending);
        return made ? Value::Obj(vm.ClipObject(made)) : Value{};
    });
    Method(mc, "attachMovie", [](Vm& vm, const Value& self, std::span<const Value> a) {
        Playhead* p = Self(vm, self);
        auto depth = ListDepth(Num(vm, a, 2));
        if (!p || !depth || !vm.pending) return Value{};
        auto it = vm.movie.exports.find(vm.ToString(Arg(a, 0)));
        if (it == vm.movie.exports.end()) return Value{};
        const Character* c = vm.movie.Find(it->second);
        if (!c || c->kind != CharacterKind::Sprite) return Value{};
        Playhead* made = p->PlaceSprite(*depth, c, vm.ToString(Arg(a, 1)), *vm.pending);
        if (!made) return Value{};
        made->Holder()->id = it->second;
        Object* o = vm.ClipObject(made);
        if (Arg(a, 3).IsObject())
            for (const std::string& k : vm.Keys(Arg(a, 3).object)) vm.SetOf(o, k, vm.GetOf(Arg(a, 3).object, k));
        return Value::Obj(o);
    });
    Method(mc, "duplicateMovieClip", [](Vm& vm, const Value& self, std::span<const Value> a) {
        Playhead* p = Self(vm, self);
        double depth = Num(vm, a, 1);
        if (!p || !std::isfinite(depth)) return Value{};
        Playhead* made = vm.Duplicate(p, vm.ToString(Arg(a, 0)), static_cast<int>(depth));
        if (!made) return Value{};
        Object* o = vm.ClipObject(made);
        if (Arg(a, 2).IsObject())
            for (const std::string& k : vm.Keys(Arg(a, 2).object)) vm.SetOf(o, k, vm.GetOf(Arg(a, 2).object, k));
        return Value::Obj(o);
    });
    Method(mc, "removeMovieClip", [](Vm& vm, const Value& self, std::span<const Value>) {
        if (Playhead* p = Self(vm, self)) vm.RemoveClip(p);
        return Value{};
    });
    Method(mc, "getDepth", [](Vm& vm, const Value& self, std::span<const Value>) {
        Playhead* p = Self(vm, self);
        if (!p || !p->Parent()) return Value::Num(-16384);
        for (auto& [depth, object] : p->Parent()->MutableList())
            if (object.sprite.get() == p) return Value::Num(depth - Playhead::kScriptDepths);
        return Value{};
    });
    Method(mc, "getNextHighestDepth", [](Vm& vm, const Value& self, std::span<const Value>) {
        Playhead* p = Self(vm, self);
        if (!p) return Value{};
        const auto& list = p->List();
        int top = list.empty() ? 0 : std::max(0, list.rbegin()->first + 1 - Playhead::kScriptDepths);
        return Value::Num(top);
    });
    Method(mc, "getInstanceAtDepth", [](Vm& vm, const Value& self, std::span<const Value> a) {
        Playhead* p = Self(vm, self);
        auto depth = ListDepth(Num(vm, a, 0));
        if (!p || !depth) return Value{};
        auto it = p->MutableList().find(*depth);
        if (it == p->MutableList().end() || !it->second.sprite) return Value{};
        return Value::Obj(vm.ClipObject(it->second.sprite.get()));
    });
    Method(mc, "swapDepths", [](Vm& vm, const Value& self, std::span<const Value> a) {
        Playhead* p = Self(vm, self);
        if (!p || !p->Parent()) return Value{};
        Playhead* parent = p->Parent();
        std::optional<uint16_t> mine, other;
        Playhead* with = vm.ClipOf(Arg(a, 0));
        for (auto& [depth, object] : parent->MutableList()) {
            if (object.sprite.get() == p) mine = depth;
            if (with && object.sprite.get() == with) other = depth;
        }
        if (!with) other = ListDepth(Num(vm, a, 0));
        if (mine && other) parent->SwapDepths(*mine, *other);
        return Value{};
    });
    auto bounds = [](Vm& vm, const Value& self, std::span<const Value> a) {
        Playhead* p = Self(vm, self);
        if (!p) return Value{};
        Playhead* space = a.empty() ? p : vm.ClipOf(Arg(a, 0));
        Matrix to = space ? Invert(GlobalMatrix(space)) * GlobalMatrix(p) : GlobalMatrix(p);
        Rect r = vm.Bounds(p, to);
        if (IsEmpty(r)) return NewGeometry(vm, {{"xMin", 6710886.35}, {"xMax", 6710886.35}, {"yMin", 6710886.35}, {"yMax", 6710886.35}});
        return NewGeometry(vm, {{"xMin", r.xMin / 20.0}, {"xMax", r.xMax / 20.0}, {"yMin", r.yMin / 20.0}, {"yMax", r.yMax / 20.0}});
    };
    Method(mc, "getBounds", bounds);
    Method(mc, "getRect", bounds);
    Method(mc, "localToGlobal", [](Vm& vm, const Value& self, std::span<const Value> a) { return Convert(vm, self, a, true); });
    Method(mc, "globalToLocal", [](Vm& vm, const Value& self, std::span<const Value> a) { return Convert(vm, self, a, false); });
    Method(mc, "hitTest", [](Vm& vm, const Value& self, std::span<const Value> a) {
        Playhead* p = Self(vm, self);
        if (!p) return Value::Bool(false);
        Rect mine = vm.Bounds(p, GlobalMatrix(p));
        if (IsEmpty(mine)) return Value::Bool(false);
        if (a.size() >= 2) {
            double x = Num(vm, a, 0) * 20, y = Num(vm, a, 1) * 20;
            return Value::Bool(x >= mine.xMin && x <= mine.xMax && y >= mine.yMin && y <= mine.yMax);
        }
        Playhead* other = vm.ClipOf(Arg(a, 0));
        if (!other) return Value::Bool(false);
        Rect theirs = vm.Bounds(other, GlobalMatrix(other));
        return Value::Bool(!IsEmpty(theirs) && mine.xMin <= theirs.xMax && theirs.xMin <= mine.xMax &&
                           mine.yMin <= theirs.yMax && theirs.yMin <= mine.yMax);
    });
    // Drawing.
    Method(mc, "clear", [](Vm& vm, const Value& self, std::span<const Value>) {
        if (Playhead* p = Self(vm, self)) {
            p->Drawing().clear();
            vm.pens[p->Serial()] = {};
        }
        return Value{};
    });
    Method(mc, "moveTo", [](Vm& vm, const Value& self, std::span<const Value> a) {
        if (Playhead* p = Self(vm, self)) {
            Vm::Pen& pen = vm.pens[p->Serial()];
            pen.at = ToTwips(vm, a, 0);
            if (pen.fillLayer >= 0) pen.start = pen.at;
        }
        return Value{};
    });
    Method(mc, "lineTo", [](Vm& vm, const Value& self, std::span<const Value> a) {
        if (Playhead* p = Self(vm, self)) vm.DrawEdge(p, ToTwips(vm, a, 0), std::nullopt);
        return Value{};
    });
    Method(mc, "curveTo", [](Vm& vm, const Value& self, std::span<const Value> a) {
        if (Playhead* p = Self(vm, self)) vm.DrawEdge(p, ToTwips(vm, a, 2), ToTwips(vm, a, 0));
        return Value{};
    });
    Method(mc, "lineStyle", [](Vm& vm, const Value& self, std::span<const Value> a) {
        Playhead* p = Self(vm, self);
        if (!p) return Value{};
        Vm::Pen& pen = vm.pens[p->Serial()];
        if (Arg(a, 0).IsUndefined()) {
            pen.lineStyle.reset();
            return Value{};
        }
        LineStyle line;
        double width = Num(vm, a, 0);
        line.width = std::isfinite(width) ? std::clamp(width, 0.0, 255.0) * 20 : 0;
        line.color = Color(vm, Arg(a, 1), Arg(a, 2));
        pen.lineStyle = line;
        auto& layers = p->Drawing();
        if (layers.empty() || layers.size() < 10'000) {
            if (layers.empty() || pen.fillLayer < 0) layers.emplace_back();
            ShapeLayer& layer = pen.fillLayer >= 0 ? layers[static_cast<size_t>(pen.fillLayer)] : layers.back();
            layer.lines.push_back(line);
            layer.linePaths.emplace_back();
            pen.lineLayer = static_cast<int>(&layer - layers.data());
            pen.line = static_cast<int>(layer.lines.size() - 1);
        }
        return Value{};
    });
    Method(mc, "beginFill", [](Vm& vm, const Value& self, std::span<const Value> a) {
        Playhead* p = Self(vm, self);
        if (!p) return Value{};
        if (Arg(a, 0).IsUndefined()) {
            vm.EndFill(p);
            return Value{};
        }
        FillStyle fill;
        fill.color = Color(vm, Arg(a, 0), Arg(a, 1));
        vm.BeginFill(p, fill);
        return Value{};
    });
    Method(mc, "beginGradientFill", [](Vm& vm, const Value& self, std::span<const Value> a) {
        Playhead* p = Self(vm, self);
        if (!p) return Value{};
        if (auto fill = GradientFillOf(vm, a)) vm.BeginFill(p, *fill);
        return Value{};
    });
    Method(mc, "endFill", [](Vm& vm, const Value& self, std::span<const Value>) {
        if (Playhead* p = Self(vm, self)) vm.EndFill(p);
        return Value{};
    });
    for (const char* name : {"startDrag", "stopDrag", "loadVariables", "attachAudio"})
        Method(mc, name, [](Vm&, const Value&, std::span<const Value>) { return Value{}; });
    Method(mc, "lineGradientStyle", [](Vm& vm, const Value& self, std::span<const Value> a) {
        if (Playhead* p = Self(vm, self)) vm.LineFill(p, GradientFillOf(vm, a));
        return Value{};
    });
    Method(mc, "setMask", [](Vm& vm, const Value& self, std::span<const Value> a) {
        if (Playhead* p = Self(vm, self)) vm.SetMask(p, vm.ClipOf(Arg(a, 0)));
        return Value{};
    });
    Method(mc, "getBytesLoaded", [](Vm&, const Value&, std::span<const Value>) { return Value::Num(1); });
    Method(mc, "getBytesTotal", [](Vm&, const Value&, std::span<const Value>) { return Value::Num(1); });
}

} // namespace showsaver::flash::script
