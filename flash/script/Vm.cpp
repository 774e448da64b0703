#include "flash/script/Vm.h"

#include "flash/script/Units.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace showsaver::flash::script {

namespace {

constexpr uint64_t kObjectBytes = sizeof(Object) + 32;
constexpr uint64_t kPropertyBytes = sizeof(Property) + 48;
constexpr int kMaxProtoChain = 256;

// "123" and the like, as an array index.
bool IndexOf(const std::string& name, size_t& index) {
    if (name.empty() || name.size() > 9) return false;
    if (name.size() > 1 && name[0] == '0') return false;
    size_t n = 0;
    for (char c : name) {
        if (c < '0' || c > '9') return false;
        n = n * 10 + static_cast<size_t>(c - '0');
    }
    index = n;
    return true;
}

} // namespace

Vm::Vm(const Movie& m, PlayheadRegistry& r, Playhead& rootPlayhead)
    : version(m.header.version), movie(m), registry(r), root(rootPlayhead) {
    InstallGlobals();
    InstallClip();
    InstallMore();
    InstallClasses();
    InstallText();
    InstallBitmap();
    InstallSound();
    InstallLoading();
    m_lastLive = m_heapBytes;
}

Vm::~Vm() = default;

void Vm::Charge(uint64_t bytes) {
    m_heapBytes += bytes;
    if (m_heapBytes > ScriptLimits::kHeapBytes) throw Abandon{};
}

void Vm::Count(uint64_t actions) {
    m_actions += actions;
    if (m_actions > ScriptLimits::kActionsPerStep) throw Abandon{};
    if ((m_actions & 4095) < actions && std::chrono::steady_clock::now() - m_stepStart > ScriptLimits::kTimePerStep)
        throw Abandon{};
}

std::string Vm::Bounded(std::string s) {
    if (s.size() > ScriptLimits::kTextLength) s.resize(ScriptLimits::kTextLength);
    // Long strings made in a step are counted: they can live on the stack
    // where the heap does not see them.
    if (s.size() > 1024) {
        m_churn += s.size();
        if (m_churn > ScriptLimits::kHeapBytes) throw Abandon{};
    }
    return s;
}

// --- Objects -------------------------------------------------------------

Object* Vm::NewObject(Object* proto) {
    Charge(kObjectBytes);
    m_heap.push_back(std::make_unique<Object>());
    Object* o = m_heap.back().get();
    o->proto = proto;
    return o;
}

Object* Vm::NewArray(std::vector<Value> elements) {
    Charge(elements.size() * sizeof(Value));
    Object* o = NewObject(arrayProto);
    o->kind = Kind::Array;
    o->elements = std::move(elements);
    return o;
}

Object* Vm::NewFunction(Native native, int length) {
    Object* f = NewObject(functionProto);
    f->kind = Kind::Function;
    f->native = native;
    (void)length;
    return f;
}

Object* Vm::NewScriptFunction(std::shared_ptr<const FunctionCode> code, std::vector<Object*> scope, uint64_t timeline) {
    Charge(scope.size() * sizeof(Object*) + code->params.size() * 32);
    Object* f = NewObject(functionProto);
    f->kind = Kind::Function;
    f->code = std::move(code);
    f->scope = std::move(scope);
    f->clip = timeline;
    Object* prototype = NewObject(objectProto);
    Define(prototype, "constructor", Value::Obj(f));
    Define(f, "prototype", Value::Obj(prototype));
    return f;
}

std::string Vm::Key(const std::string& name) const {
    if (version >= 7) return name;
    std::string key = name;
    for (char& c : key) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return key;
}

Property* Vm::Own(Object* o, const std::string& name) {
    auto it = o->props.find(Key(name));
    return it == o->props.end() ? nullptr : &it->second;
}

Property* Vm::Find(Object* o, const std::string& name, Object** holder) {
    std::string key = Key(name);
    for (int i = 0; o && i < kMaxProtoChain; ++i, o = o->proto) {
        auto it = o->props.find(key);
        if (it != o->props.end()) {
            if (holder) *holder = o;
            return &it->second;
        }
    }
    return nullptr;
}

bool Vm::Has(Object* o, const std::string& name) {
    if (!o) return false;
    if (o->kind == Kind::Clip) {
        Playhead* p = ClipOf(o);
        Value ignored;
        if (p && (GetClipProperty(p, name, ignored) || ChildNamed(p, name))) return true;
    }
    if (o->kind == Kind::Array && Key(name) == "length") return true;
    return Find(o, name) != nullptr;
}

bool Vm::Lookup(Object* o, const std::string& name, Value& out) {
    if (!o) return false;
    if (o->kind == Kind::Clip) {
        Playhead* p = ClipOf(o);
        if (p && GetClipProperty(p, name, out)) return true;
        if (Property* own = Own(o, name)) {
            out = own->getter ? Call(Value::Obj(own->getter), Value::Obj(o), {}) : own->value;
            return true;
        }
        if (p) {
            if (Playhead* child = ChildNamed(p, name)) {
                out = Value::Obj(ClipObject(child));
                return true;
            }
            if (Object* field = FieldNamed(p, name)) {
                out = Value::Obj(field);
                return true;
            }
        }
    } else if (o->kind == Kind::Array && Key(name) == "length") {
        out = Value::Num(static_cast<double>(o->elements.size()));
        return true;
    }
    Property* p = Find(o, name);
    if (!p) return false;
    out = p->getter ? Call(Value::Obj(p->getter), Value::Obj(o), {}) : p->value;
    return true;
}

Object* Vm::ProtoFor(const Value& v) {
    switch (v.type) {
    case Value::Type::String: return stringProto;
    case Value::Type::Number: return numberProto;
    case Value::Type::Boolean: return booleanProto;
    case Value::Type::Object: return v.object;
    default: return nullptr;
    }
}

Object* Vm::ToObject(const Value& v) {
    if (v.IsObject()) return v.object;
    Object* proto = ProtoFor(v);
    if (!proto) return nullptr;
    Object* o = NewObject(proto);
    o->kind = v.IsString() ? Kind::String : v.IsNumber() ? Kind::Number : Kind::Boolean;
    o->primitive = v;
    return o;
}

Value Vm::Get(const Value& target, const std::string& name) {
    switch (target.type) {
    case Value::Type::Object: return GetOf(target.object, name);
    case Value::Type::String:
        if (Key(name) == "length") return Value::Num(static_cast<double>(UnitCount(target.text, version >= 6)));
        [[fallthrough]];
    case Value::Type::Number:
    case Value::Type::Boolean: {
        Object* holder = nullptr;
        Property* p = Find(ProtoFor(target), name, &holder);
        if (!p) return {};
        if (p->getter) return Call(Value::Obj(p->getter), target, {});
        return p->value;
    }
    default: return {};
    }
}

Value Vm::GetOf(Object* o, const std::string& name) {
    if (!o) return {};
    std::string key = Key(name);
    if (key == "__proto__") return o->proto ? Value::Obj(o->proto) : Value{};
    if (o->kind == Kind::Array) {
        size_t index;
        if (key == "length") return Value::Num(static_cast<double>(o->elements.size()));
        if (IndexOf(name, index)) return index < o->elements.size() ? o->elements[index] : Value{};
    }
    if (o->kind == Kind::String && key == "length") return Value::Num(static_cast<double>(UnitCount(o->primitive.text, version >= 6)));
    Object* lookFrom = o;
    Value self = Value::Obj(o);
    if (o->kind == Kind::Super) {
        lookFrom = o->home;
        self = o->self;
    }
    if (o->kind == Kind::Clip) {
        Playhead* p = ClipOf(o);
        Value special;
        if (p && GetClipProperty(p, name, special)) return special;
        if (Property* own = Own(o, name)) return own->getter ? Call(Value::Obj(own->getter), self, {}) : own->value;
        if (p) {
            if (Playhead* child = ChildNamed(p, name)) return Value::Obj(ClipObject(child));
            if (Object* field = FieldNamed(p, name)) return Value::Obj(field);
        }
    }
    if (o->kind == Kind::TextField) {
        Value special;
        if (GetFieldProperty(o, name, special)) return special;
    }
    Property* p = Find(lookFrom, name);
    if (!p) return {};
    if (p->getter) return Call(Value::Obj(p->getter), self, {});
    return p->value;
}

void Vm::Set(const Value& target, const std::string& name, Value value) {
    if (target.IsObject()) SetOf(target.object, name, std::move(value));
}

void Vm::SetOf(Object* o, const std::string& name, Value value) {
    if (!o) return;
    std::string key = Key(name);
    if (key == "__proto__") {
        if (value.IsObject()) o->proto = value.object;
        else if (value.IsNothing()) o->proto = nullptr;
        return;
    }
    if (o->kind == Kind::Array) {
        size_t index;
        if (key == "length") {
            double n = ToNumber(value);
            if (n >= 0 && n <= static_cast<double>(ScriptLimits::kArrayLength)) {
                size_t size = static_cast<size_t>(n);
                if (size > o->elements.size()) Charge((size - o->elements.size()) * sizeof(Value));
                o->elements.resize(size);
            }
            return;
        }
        if (IndexOf(name, index)) {
            if (index >= ScriptLimits::kArrayLength) return;
            if (index >= o->elements.size()) {
                Charge((index + 1 - o->elements.size()) * sizeof(Value));
                o->elements.resize(index + 1);
            }
            Charge(value.text.size());
            o->elements[index] = std::move(value);
            return;
        }
    }
    if (o->kind == Kind::Clip) {
        Playhead* p = ClipOf(o);
        if (p && SetClipProperty(p, name, value)) return;
    }
    if (o->kind == Kind::TextField && SetFieldProperty(o, name, value)) return;
    Object* holder = nullptr;
    Property* found = Find(o->kind == Kind::Super ? o->home : o, name, &holder);
    if (found && found->setter) {
        Value args[1] = {std::move(value)};
        Call(Value::Obj(found->setter), o->kind == Kind::Super ? o->self : Value::Obj(o), args);
        return;
    }
    if (found && found->getter && holder == o) return;   // a property with no setter is read-only
    if (found && (found->flags & kReadOnly)) return;
    if (o->kind == Kind::Super) return;
    auto it = o->props.find(key);
    if (it == o->props.end()) {
        Charge(kPropertyBytes + name.size() + value.text.size());
        Property prop;
        prop.name = name;
        prop.order = o->nextOrder++;
        it = o->props.emplace(key, std::move(prop)).first;
    } else {
        Charge(value.text.size());
    }
    it->second.value = std::move(value);
}

void Vm::Define(Object* o, const std::string& name, Value value, uint8_t flags) {
    Charge(kPropertyBytes + name.size() + value.text.size());
    Property& prop = o->props[Key(name)];
    prop.name = name;
    prop.value = std::move(value);
    prop.flags = flags;
    prop.order = o->nextOrder++;
}

void Vm::Method(Object* o, const std::string& name, Native native, int length) {
    Define(o, name, Value::Obj(NewFunction(native, length)));
}

bool Vm::Delete(Object* o, const std::string& name) {
    if (!o) return false;
    if (o->kind == Kind::Array) {
        size_t index;
        if (IndexOf(name, index) && index < o->elements.size()) {
            o->elements[index] = {};
            return true;
        }
    }
    auto it = o->props.find(Key(name));
    if (it == o->props.end() || (it->second.flags & kDontDelete)) return false;
    o->props.erase(it);
    return true;
}

std::vector<std::string> Vm::Keys(Object* o) {
    std::vector<std::string> keys;
    std::vector<std::string> seen;
    if (o && o->kind == Kind::Clip) {
        if (Playhead* p = ClipOf(o))
            for (const auto& [depth, object] : p->List())
                if (object.sprite && !object.name.empty()) keys.push_back(object.name);
    }
    for (int i = 0; o && i < kMaxProtoChain; ++i, o = o->proto) {
        if (o->kind == Kind::Array)
            for (size_t e = o->elements.size(); e-- > 0;) keys.push_back(std::to_string(e));
        std::vector<const Property*> props;
        for (const auto& [key, prop] : o->props) {
            if (std::find(seen.begin(), seen.end(), key) != seen.end()) continue;
            seen.push_back(key);
            if (!(prop.flags & kDontEnum)) props.push_back(&prop);
        }
        std::sort(props.begin(), props.end(), [](const Property* a, const Property* b) { return a->order > b->order; });
        for (const Property* p : props) keys.push_back(p->name);
    }
    return keys;
}

// --- Conversions ---------------------------------------------------------

double Vm::ToNumberOfText(const std::string& s) const {
    size_t begin = 0, end = s.size();
    while (begin < end && std::isspace(static_cast<unsigned char>(s[begin]))) ++begin;
    while (end > begin && std::isspace(static_cast<unsigned char>(s[end - 1]))) --end;
    std::string t = s.substr(begin, end - begin);
    double bad = version < 5 ? 0 : std::nan("");
    if (t.empty()) return bad;
    if (t.size() > 2 && t[0] == '0' && (t[1] == 'x' || t[1] == 'X')) {
        double n = 0;
        for (size_t i = 2; i < t.size(); ++i) {
            int d = std::isdigit(static_cast<unsigned char>(t[i])) ? t[i] - '0'
                    : std::isxdigit(static_cast<unsigned char>(t[i])) ? std::tolower(t[i]) - 'a' + 10 : -1;
            if (d < 0) return bad;
            n = n * 16 + d;
        }
        return n;
    }
    if (t == "Infinity" || t == "+Infinity") return INFINITY;
    if (t == "-Infinity") return -INFINITY;
    for (char c : t)
        if (!std::isdigit(static_cast<unsigned char>(c)) && !std::strchr("+-.eE", c)) return bad;
    char* stop = nullptr;
    double n = std::strtod(t.c_str(), &stop);
    if (!stop || *stop) return bad;
    return n;
}

double Vm::ToNumber(const Value& v) {
    switch (v.type) {
    case Value::Type::Undefined:
    case Value::Type::Null: return version >= 7 ? std::nan("") : 0;
    case Value::Type::Boolean:
    case Value::Type::Number: return v.number;
    case Value::Type::String: return ToNumberOfText(v.text);
    case Value::Type::Object: {
        if (v.object->kind == Kind::Clip) return std::nan("");
        Value p = ToPrimitive(v);
        return p.IsObject() ? std::nan("") : ToNumber(p);
    }
    }
    return 0;
}

int32_t Vm::ToInt32(const Value& v) {
    double n = ToNumber(v);
    if (!std::isfinite(n)) return 0;
    double m = std::fmod(std::trunc(n), 4294967296.0);
    if (m < 0) m += 4294967296.0;
    return static_cast<int32_t>(static_cast<uint32_t>(m));
}

std::string Vm::NumberToString(double n, int radix) {
    if (std::isnan(n)) return "NaN";
    if (std::isinf(n)) return n > 0 ? "Infinity" : "-Infinity";
    if (n == 0) return "0";
    if (radix != 10 && radix >= 2 && radix <= 36) {
        bool negative = n < 0;
        double whole = std::trunc(std::fabs(n));
        std::string digits;
        while (whole >= 1 && digits.size() < 1100) {
            int d = static_cast<int>(std::fmod(whole, radix));
            digits.push_back("0123456789abcdefghijklmnopqrstuvwxyz"[d]);
            whole = std::trunc(whole / radix);
        }
        if (digits.empty()) digits = "0";
        if (negative) digits.push_back('-');
        std::reverse(digits.begin(), digits.end());
        return digits;
    }
    char text[40];
    std::snprintf(text, sizeof text, "%.15g", n);
    std::string s = text;
    // "1e+021" style exponents lose their leading zeros: "1e+21", "1e-7".
    if (auto e = s.find('e'); e != std::string::npos && e + 2 < s.size()) {
        size_t digits = e + 2;
        while (digits + 1 < s.size() && s[digits] == '0') ++digits;
        return s.substr(0, e + 2) + s.substr(digits);
    }
    return s;
}

std::string Vm::ToString(const Value& v) {
    switch (v.type) {
    case Value::Type::Undefined: return version >= 7 ? "undefined" : "";
    case Value::Type::Null: return "null";
    case Value::Type::Boolean: return v.number != 0 ? "true" : "false";
    case Value::Type::Number: return NumberToString(v.number);
    case Value::Type::String: return v.text;
    case Value::Type::Object: {
        if (v.object->kind == Kind::Clip) {
            Playhead* p = ClipOf(v.object);
            return p ? TargetPath(p, false) : "";
        }
        Value p = ToPrimitive(v, true);
        if (p.IsObject()) return v.object->kind == Kind::Function ? "[type Function]" : "[object Object]";
        return ToString(p);
    }
    }
    return {};
}

bool Vm::ToBoolean(const Value& v) const {
    switch (v.type) {
    case Value::Type::Boolean:
    case Value::Type::Number: return v.number != 0 && !std::isnan(v.number);
    case Value::Type::String: {
        if (version >= 7) return !v.text.empty();
        double n = ToNumberOfText(v.text);
        return n != 0 && !std::isnan(n);
    }
    case Value::Type::Object: return true;
    default: return false;
    }
}

Value Vm::ToPrimitive(const Value& v, bool preferString) {
    if (!v.IsObject()) return v;
    if (v.object->kind == Kind::Date) preferString = true;
    const char* order[2] = {"valueOf", "toString"};
    if (preferString) std::swap(order[0], order[1]);
    for (const char* name : order) {
        Value f = GetOf(v.object, name);
        if (!IsCallable(f)) continue;
        Value result = Call(f, v, {});
        if (!result.IsObject()) return result;
    }
    return v;
}

std::string Vm::TypeOf(const Value& v) {
    switch (v.type) {
    case Value::Type::Undefined: return "undefined";
    case Value::Type::Null: return "null";
    case Value::Type::Boolean: return "boolean";
    case Value::Type::Number: return "number";
    case Value::Type::String: return "string";
    case Value::Type::Object:
        if (v.object->kind == Kind::Function) return "function";
        if (v.object->kind == Kind::Clip) return "movieclip";
        return "object";
    }
    return "undefined";
}

bool Vm::StrictEquals(const Value& a, const Value& b) {
    if (a.type != b.type) return false;
    switch (a.type) {
    case Value::Type::Undefined:
    case Value::Type::Null: return true;
    case Value::Type::Boolean:
    case Value::Type::Number: return a.number == b.number;
    case Value::Type::String: return a.text == b.text;
    case Value::Type::Object: return a.object == b.object;
    }
    return false;
}

bool Vm::LooseEquals(const Value& a, const Value& b) {
    if (a.type == b.type) return StrictEquals(a, b);
    if (a.IsNothing() || b.IsNothing()) return a.IsNothing() && b.IsNothing();
    if (a.IsObject() && b.IsObject()) return a.object == b.object;
    if (a.IsObject() || b.IsObject()) {
        Value pa = ToPrimitive(a), pb = ToPrimitive(b);
        if (pa.IsObject() || pb.IsObject()) return false;
        return LooseEquals(pa, pb);
    }
    if (a.IsString() && b.IsString()) return a.text == b.text;
    return ToNumber(a) == ToNumber(b);
}

Value Vm::Less(const Value& a, const Value& b) {
    Value x = ToPrimitive(a), y = ToPrimitive(b);
    if (x.IsString() && y.IsString()) return Value::Bool(x.text < y.text);
    double m = ToNumber(x), n = ToNumber(y);
    if (std::isnan(m) || std::isnan(n)) return {};
    return Value::Bool(m < n);
}

double Vm::Random() {
    // xorshift64*: a movie's randomness needs no more.
    randomState ^= randomState >> 12;
    randomState ^= randomState << 25;
    randomState ^= randomState >> 27;
    return static_cast<double>((randomState * 2685821657736338717ULL) >> 11) / 9007199254740992.0;
}

// --- Calls ---------------------------------------------------------------

Value Vm::Call(const Value& function, const Value& self, std::span<const Value> args, Object* home) {
    if (!IsCallable(function)) return {};
    Object* f = function.object;
    if (f->native) {
        if (++depth > ScriptLimits::kCallDepth) throw Abandon{};
        struct Leave { int& d; ~Leave() { --d; } } leave{depth};
        CheckStack();
        Count();
        bool wasConstructing = constructing;
        constructing = false;
        Value result = f->native(*this, self, args);
        constructing = wasConstructing;
        return result;
    }
    return Invoke(f, self, args, home);
}

Value Vm::Construct(const Value& constructor, std::span<const Value> args) {
    if (!IsCallable(constructor)) return {};
    Object* f = constructor.object;
    Value prototype = GetOf(f, "prototype");
    Object* o = NewObject(prototype.IsObject() ? prototype.object : objectProto);
    Define(o, "__constructor__", constructor);
    if (version < 6) Define(o, "constructor", constructor);
    Value result;
    if (f->native) {
        if (++depth > ScriptLimits::kCallDepth) throw Abandon{};
        struct Leave { int& d; ~Leave() { --d; } } leave{depth};
        bool was = constructing;
        constructing = true;
        result = f->native(*this, Value::Obj(o), args);
        constructing = was;
    } else {
        result = Invoke(f, Value::Obj(o), args, prototype.IsObject() ? prototype.object : nullptr);
    }
    if (result.IsObject() && f->native) return result;
    return Value::Obj(o);
}

Value Vm::CallMethod(const Value& target, const std::string& name, std::span<const Value> args) {
    return Call(Get(target, name), target, args);
}

void Vm::CallHandler(const Value& function, const Value& self, std::span<const Value> args) {
    try {
        Call(function, self, args);
    } catch (Thrown&) {
    }
}

void Vm::CallHandlerMethod(const Value& target, const std::string& name, std::span<const Value> args) {
    try {
        Call(Get(target, name), target, args);
    } catch (Thrown&) {
    }
}

void Vm::Throw(const std::string& message) {
    Object* e = NewObject(errorProto);
    SetOf(e, "message", Value::Str(message));
    throw Thrown{Value::Obj(e)};
}

// --- The heap ------------------------------------------------------------

void Vm::CollectGarbage() {
    std::vector<Object*> work;
    auto mark = [&work](Object* o) {
        if (o && !o->marked) {
            o->marked = true;
            work.push_back(o);
        }
    };
    auto markValue = [&mark](const Value& v) {
        if (v.IsObject()) mark(v.object);
    };
    for (Object* o : {global, objectProto, functionProto, arrayProto, stringProto, numberProto, booleanProto,
                      dateProto, clipProto, errorProto})
        mark(o);
    for (auto& [serial, o] : m_clips) mark(o);
    for (auto& [name, o] : registered) mark(o);
    for (auto& [character, o] : fieldObjects) mark(o);
    mark(textFieldProto);
    for (auto& [serial, loaded] : m_loaded) mark(loaded.object);
    for (auto& [token, o] : playingSounds) mark(o);
    for (const PendingLoad& load : loads) mark(load.loader);
    for (auto& [id, t] : timers) {
        markValue(t.function), markValue(t.self);
        for (const Value& v : t.args) markValue(v);
    }
    for (const Value& v : stack) markValue(v);
    uint64_t live = 0;
    while (!work.empty()) {
        Object* o = work.back();
        work.pop_back();
        live += kObjectBytes + o->elements.size() * sizeof(Value);
        mark(o->proto);
        mark(o->home);
        for (auto& [key, p] : o->props) {
            live += kPropertyBytes + key.size() + p.value.text.size();
            markValue(p.value), mark(p.getter), mark(p.setter);
        }
        for (const Value& v : o->elements) markValue(v), live += v.text.size();
        markValue(o->primitive);
        markValue(o->self);
        for (Object* s : o->scope) mark(s);
        for (Object* i : o->interfaces) mark(i);
    }
    std::erase_if(m_heap, [](const std::unique_ptr<Object>& o) { return !o->marked; });
    for (auto& o : m_heap) o->marked = false;
    live += LiveBitmapBytes();
    m_heapBytes = live;
    m_lastLive = live;
}

} // namespace showsaver::flash::script
