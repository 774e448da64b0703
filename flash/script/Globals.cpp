// The global classes and functions: Object, Function, Array, String,
// Number, Boolean, Math, Date, Error, the global functions, timers, and
// the stand-ins for input (Key, Mouse), Stage and System.

#include "flash/script/Units.h"
#include "flash/script/Vm.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <ctime>
#include <numbers>
#include <strings.h>

namespace showsaver::flash::script {

#define NATIVE [](Vm & vm [[maybe_unused]], [[maybe_unused]] const Value& self, [[maybe_unused]] std::span<const Value> a) -> Value

namespace {

double Num(Vm& vm, std::span<const Value> a, size_t i) { return vm.ToNumber(Arg(a, i)); }

Object* ArrayOf(const Value& v) { return v.IsObject() && v.object->kind == Kind::Array ? v.object : nullptr; }

// A relative index (negative counts from the end), clamped to 0..size.
size_t Clamp(double n, size_t size, double fallback) {
    if (std::isnan(n)) n = fallback;
    if (n < 0) n += static_cast<double>(size);
    return static_cast<size_t>(std::clamp(n, 0.0, static_cast<double>(size)));
}

// A merge sort: a script's comparison need not be consistent, which
// std::sort would not survive.
template <typename Less>
void MergeSort(std::vector<Value>& v, Less less) {
    std::vector<Value> tmp(v.size());
    for (size_t width = 1; width < v.size(); width *= 2) {
        for (size_t lo = 0; lo < v.size(); lo += 2 * width) {
            size_t mid = std::min(lo + width, v.size()), hi = std::min(lo + 2 * width, v.size());
            size_t i = lo, j = mid, k = lo;
            while (i < mid && j < hi) tmp[k++] = less(v[j], v[i]) ? v[j++] : v[i++];
            while (i < mid) tmp[k++] = v[i++];
            while (j < hi) tmp[k++] = v[j++];
        }
        std::swap(v, tmp);
    }
}

enum SortFlags { kCaseInsensitive = 1, kDescending = 2, kUnique = 4, kIndexed = 8, kNumeric = 16 };

int CompareDefault(Vm& vm, const Value& x, const Value& y, int flags) {
    if (flags & kNumeric) {
        double m = vm.ToNumber(x), n = vm.ToNumber(y);
        return m < n ? -1 : m > n ? 1 : 0;
    }
    std::string s = vm.ToString(x), t = vm.ToString(y);
    if (flags & kCaseInsensitive) {
        for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        for (char& c : t) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return s < t ? -1 : s > t ? 1 : 0;
}

// Sorts `o`'s elements by `compare` (-1, 0, 1) under the flags; the
// indexed flag returns the order instead, the unique flag gives 0 when two
// are equal.
Value SortBy(Vm& vm, Object* o, int flags, const std::function<int(const Value&, const Value&)>& compare) {
    std::vector<Value> items;
    items.reserve(o->elements.size());
    for (size_t i = 0; i < o->elements.size(); ++i) {
        Value pair = Value::Num(static_cast<double>(i));
        items.push_back(pair);
    }
    bool equal = false;
    vm.Count(o->elements.size());
    MergeSort(items, [&](const Value& x, const Value& y) {
        vm.Count();
        int c = compare(o->elements[static_cast<size_t>(x.number)], o->elements[static_cast<size_t>(y.number)]);
        if (c == 0) equal = true;
        return (flags & kDescending) ? c > 0 : c < 0;
    });
    if ((flags & kUnique) && equal) return Value::Num(0);
    if (flags & kIndexed) return Value::Obj(vm.NewArray(items));
    std::vector<Value> sorted;
    for (const Value& i : items) sorted.push_back(o->elements[static_cast<size_t>(i.number)]);
    o->elements = std::move(sorted);
    return Value::Obj(o);
}

std::string Join(Vm& vm, Object* o, const std::string& separator, int depth = 0) {
    std::string out;
    for (size_t i = 0; i < o->elements.size(); ++i) {
        if (i) out += separator;
        const Value& e = o->elements[i];
        if (e.IsNothing()) continue;
        Object* inner = ArrayOf(e);
        out += inner && depth < 32 ? Join(vm, inner, ",", depth + 1) : vm.ToString(e);
        if (out.size() > ScriptLimits::kTextLength) break;
    }
    return vm.Bounded(std::move(out));
}

std::string ThisString(Vm& vm, const Value& self) {
    if (self.IsObject() && self.object->kind == Kind::String) return self.object->primitive.text;
    return vm.ToString(self);
}

// The string methods work on units (see Units.h).
std::u16string ThisUnits(Vm& vm, const Value& self) { return ToUnits(ThisString(vm, self), vm.version >= 6); }
Value UnitsValue(Vm& vm, std::u16string_view u) { return Value::Str(vm.Bounded(FromUnits(u, vm.version >= 6))); }

double ThisNumber(Vm& vm, const Value& self) {
    if (self.IsObject() && (self.object->kind == Kind::Number || self.object->kind == Kind::Boolean))
        return self.object->primitive.number;
    return vm.ToNumber(self);
}

// Dates: milliseconds since 1970 UTC, broken down in local time.
double DateValue(const Value& self) {
    return self.IsObject() && self.object->kind == Kind::Date ? self.object->primitive.number : std::nan("");
}

bool Broken(double ms, bool utc, std::tm& out) {
    if (!std::isfinite(ms) || std::fabs(ms) > 8.64e15) return false;
    auto t = static_cast<time_t>(std::floor(ms / 1000));
    return utc ? gmtime_r(&t, &out) != nullptr : localtime_r(&t, &out) != nullptr;
}

double MakeDate(std::span<const double> f, bool utc) {
    for (double x : f)
        if (!std::isfinite(x) || std::fabs(x) > 1e9) return std::nan("");
    std::tm tm{};
    tm.tm_year = static_cast<int>(f[0]) - 1900;
    if (f[0] >= 0 && f[0] < 100) tm.tm_year = static_cast<int>(f[0]);
    tm.tm_mon = static_cast<int>(f[1]);
    tm.tm_mday = static_cast<int>(f[2]);
    tm.tm_hour = static_cast<int>(f[3]);
    tm.tm_min = static_cast<int>(f[4]);
    tm.tm_sec = static_cast<int>(f[5]);
    tm.tm_isdst = -1;
    time_t t = utc ? timegm(&tm) : mktime(&tm);
    return static_cast<double>(t) * 1000 + f[6];
}

Value DateField(Vm& vm, const Value& self, bool utc, int which) {
    (void)vm;
    std::tm tm{};
    double ms = DateValue(self);
    if (!Broken(ms, utc, tm)) return Value::Num(std::nan(""));
    switch (which) {
    case 0: return Value::Num(tm.tm_year + 1900);
    case 1: return Value::Num(tm.tm_mon);
    case 2: return Value::Num(tm.tm_mday);
    case 3: return Value::Num(tm.tm_wday);
    case 4: return Value::Num(tm.tm_hour);
    case 5: return Value::Num(tm.tm_min);
    case 6: return Value::Num(tm.tm_sec);
    default: {
        double m = std::fmod(ms, 1000);
        return Value::Num(m < 0 ? m + 1000 : m);
    }
    }
}

int AddTimer(Vm& vm, std::span<const Value> a, bool repeat) {
    if (vm.timers.size() >= ScriptLimits::kIntervals) return 0;
    Vm::Timer t;
    size_t next = 1;
    if (vm.IsCallable(Arg(a, 0))) {
        t.function = Arg(a, 0);
    } else if (Arg(a, 0).IsObject()) {
        t.self = Arg(a, 0);
        t.method = vm.ToString(Arg(a, 1));
        next = 2;
    } else {
        return 0;
    }
    double ms = Num(vm, a, next);
    t.interval = std::isfinite(ms) ? std::clamp(ms, 1.0, 1e9) : 1;
    t.due = vm.nowMs + t.interval;
    t.repeat = repeat;
    for (size_t i = next + 1; i < a.size() && i < 64; ++i) t.args.push_back(a[i]);
    int id = vm.nextTimer++;
    vm.timers[id] = std::move(t);
    return id;
}

const char kHex[] = "0123456789ABCDEF";

} // namespace

void Vm::InstallGlobals() {
    objectProto = NewObject(nullptr);
    functionProto = NewObject(objectProto);
    functionProto->kind = Kind::Function;
    functionProto->native = NATIVE { return {}; };
    global = NewObject(objectProto);
    auto makeClass = [this](const char* name, Native ctor, Object* proto) {
        Object* c = NewFunction(ctor);
        Define(c, "prototype", Value::Obj(proto));
        Define(proto, "constructor", Value::Obj(c));
        Define(global, name, Value::Obj(c));
        return c;
    };

    // Object.
    Object* object = makeClass("Object", NATIVE {
        if (Arg(a, 0).IsObject()) return Arg(a, 0);
        if (!Arg(a, 0).IsNothing()) return Value::Obj(vm.ToObject(Arg(a, 0)));
        return vm.constructing ? self : Value::Obj(vm.NewObject(vm.objectProto));
    }, objectProto);
    Method(objectProto, "toString", NATIVE {
        if (self.IsObject() && self.object->kind == Kind::Function) return Value::Str("[type Function]");
        return Value::Str("[object Object]");
    });
    Method(objectProto, "toLocaleString", NATIVE { return Value::Str("[object Object]"); });
    Method(objectProto, "valueOf", NATIVE { return self; });
    Method(objectProto, "hasOwnProperty", NATIVE {
        if (!self.IsObject()) return Value::Bool(false);
        std::string name = vm.ToString(Arg(a, 0));
        return Value::Bool(vm.Own(self.object, name) != nullptr || (self.object->kind == Kind::Array && name == "length"));
    });
    Method(objectProto, "isPropertyEnumerable", NATIVE {
        Property* p = self.IsObject() ? vm.Own(self.object, vm.ToString(Arg(a, 0))) : nullptr;
        return Value::Bool(p && !(p->flags & kDontEnum));
    });
    Method(objectProto, "isPrototypeOf", NATIVE {
        if (!self.IsObject() || !Arg(a, 0).IsObject()) return Value::Bool(false);
        Object* o = Arg(a, 0).object->proto;
        for (int i = 0; o && i < 256; ++i, o = o->proto)
            if (o == self.object) return Value::Bool(true);
        return Value::Bool(false);
    });
    Method(objectProto, "addProperty", NATIVE {
        std::string name = vm.ToString(Arg(a, 0));
        if (!self.IsObject() || name.empty() || !vm.IsCallable(Arg(a, 1))) return Value::Bool(false);
        vm.Define(self.object, name, {}, 0);
        Property* p = vm.Own(self.object, name);
        p->getter = Arg(a, 1).object;
        p->setter = vm.IsCallable(Arg(a, 2)) ? Arg(a, 2).object : nullptr;
        return Value::Bool(true);
    });
    Method(objectProto, "watch", NATIVE { return Value::Bool(false); });
    Method(objectProto, "unwatch", NATIVE { return Value::Bool(false); });
    Method(object, "registerClass", NATIVE {
        std::string name = vm.ToString(Arg(a, 0));
        if (vm.IsCallable(Arg(a, 1)) && vm.registered.size() < 10'000) vm.registered[name] = Arg(a, 1).object;
        else vm.registered.erase(name);
        return Value::Bool(true);
    });
    for (const char* name : {"toString", "toLocaleString", "valueOf", "hasOwnProperty", "isPropertyEnumerable",
                             "isPrototypeOf", "addProperty", "watch", "unwatch", "constructor"})
        Own(objectProto, name)->flags = kDontEnum | kDontDelete;

    // Function.
    makeClass("Function", NATIVE { return {}; }, functionProto);
    Method(functionProto, "call", NATIVE {
        return vm.Call(self, Arg(a, 0), a.empty() ? a : a.subspan(1));
    });
    Method(functionProto, "apply", NATIVE {
        std::vector<Value> args;
        if (Object* list = ArrayOf(Arg(a, 1))) args = list->elements;
        return vm.Call(self, Arg(a, 0), args);
    });

    // Array.
    arrayProto = NewObject(objectProto);
    Object* array = makeClass("Array", NATIVE {
        std::vector<Value> elements;
        if (a.size() == 1 && a[0].IsNumber()) {
            double n = a[0].number;
            if (n >= 0 && n <= static_cast<double>(ScriptLimits::kArrayLength)) elements.resize(static_cast<size_t>(n));
        } else {
            elements.assign(a.begin(), a.end());
        }
        vm.Charge(elements.size() * sizeof(Value));
        if (vm.constructing && self.IsObject()) {
            self.object->kind = Kind::Array;
            self.object->elements = std::move(elements);
            return self;
        }
        return Value::Obj(vm.NewArray(std::move(elements)));
    }, arrayProto);
    for (auto [name, value] : {std::pair{"CASEINSENSITIVE", 1}, {"DESCENDING", 2}, {"UNIQUESORT", 4},
                               {"RETURNINDEXEDARRAY", 8}, {"NUMERIC", 16}})
        Define(array, name, Value::Num(value));
    Method(arrayProto, "push", NATIVE {
        Object* o = ArrayOf(self);
        if (!o) return {};
        if (o->elements.size() + a.size() > ScriptLimits::kArrayLength) return Value::Num(static_cast<double>(o->elements.size()));
        vm.Charge(a.size() * sizeof(Value));
        o->elements.insert(o->elements.end(), a.begin(), a.end());
        return Value::Num(static_cast<double>(o->elements.size()));
    });
    Method(arrayProto, "pop", NATIVE {
        Object* o = ArrayOf(self);
        if (!o || o->elements.empty()) return {};
        Value v = std::move(o->elements.back());
        o->elements.pop_back();
        return v;
    });
    Method(arrayProto, "shift", NATIVE {
        Object* o = ArrayOf(self);
        if (!o || o->elements.empty()) return {};
        Value v = std::move(o->elements.front());
        o->elements.erase(o->elements.begin());
        return v;
    });
    Method(arrayProto, "unshift", NATIVE {
        Object* o = ArrayOf(self);
        if (!o) return {};
        if (o->elements.size() + a.size() <= ScriptLimits::kArrayLength) {
            vm.Charge(a.size() * sizeof(Value));
            o->elements.insert(o->elements.begin(), a.begin(), a.end());
        }
        return Value::Num(static_cast<double>(o->elements.size()));
    });
    Method(arrayProto, "join", NATIVE {
        Object* o = ArrayOf(self);
        return o ? Value::Str(Join(vm, o, Arg(a, 0).IsUndefined() ? "," : vm.ToString(Arg(a, 0)))) : Value{};
    });
    Method(arrayProto, "toString", NATIVE {
        Object* o = ArrayOf(self);
        return o ? Value::Str(Join(vm, o, ",")) : Value{};
    });
    Method(arrayProto, "reverse", NATIVE {
        if (Object* o = ArrayOf(self)) std::reverse(o->elements.begin(), o->elements.end());
        return self;
    });
    Method(arrayProto, "concat", NATIVE {
        Object* o = ArrayOf(self);
        std::vector<Value> out = o ? o->elements : std::vector<Value>{};
        for (const Value& v : a) {
            Object* inner = ArrayOf(v);
            if (out.size() + (inner ? inner->elements.size() : 1) > ScriptLimits::kArrayLength) break;
            if (inner) out.insert(out.end(), inner->elements.begin(), inner->elements.end());
            else out.push_back(v);
        }
        return Value::Obj(vm.NewArray(std::move(out)));
    });
    Method(arrayProto, "slice", NATIVE {
        Object* o = ArrayOf(self);
        if (!o) return {};
        size_t size = o->elements.size();
        size_t from = Clamp(Num(vm, a, 0), size, 0), to = Clamp(Num(vm, a, 1), size, static_cast<double>(size));
        std::vector<Value> out;
        if (from < to) out.assign(o->elements.begin() + static_cast<long>(from), o->elements.begin() + static_cast<long>(to));
        return Value::Obj(vm.NewArray(std::move(out)));
    });
    Method(arrayProto, "splice", NATIVE {
        Object* o = ArrayOf(self);
        if (!o || a.empty()) return {};
        size_t size = o->elements.size();
        size_t from = Clamp(Num(vm, a, 0), size, 0);
        double count = a.size() > 1 ? Num(vm, a, 1) : static_cast<double>(size);
        size_t n = static_cast<size_t>(std::clamp(std::isnan(count) ? 0.0 : count, 0.0, static_cast<double>(size - from)));
        std::vector<Value> removed(o->elements.begin() + static_cast<long>(from), o->elements.begin() + static_cast<long>(from + n));
        o->elements.erase(o->elements.begin() + static_cast<long>(from), o->elements.begin() + static_cast<long>(from + n));
        if (a.size() > 2 && o->elements.size() + a.size() - 2 <= ScriptLimits::kArrayLength) {
            vm.Charge((a.size() - 2) * sizeof(Value));
            o->elements.insert(o->elements.begin() + static_cast<long>(from), a.begin() + 2, a.end());
        }
        return Value::Obj(vm.NewArray(std::move(removed)));
    });
    Method(arrayProto, "sort", NATIVE {
        Object* o = ArrayOf(self);
        if (!o) return {};
        Value compare = vm.IsCallable(Arg(a, 0)) ? Arg(a, 0) : Value{};
        int flags = vm.ToInt32(compare.IsUndefined() ? Arg(a, 0) : Arg(a, 1));
        return SortBy(vm, o, flags, [&](const Value& x, const Value& y) {
            if (compare.IsUndefined()) return CompareDefault(vm, x, y, flags);
            Value args[2] = {x, y};
            double c = vm.ToNumber(vm.Call(compare, Value{}, args));
            return c < 0 ? -1 : c > 0 ? 1 : 0;
        });
    });
    Method(arrayProto, "sortOn", NATIVE {
        Object* o = ArrayOf(self);
        if (!o) return {};
        std::vector<std::string> fields;
        if (Object* list = ArrayOf(Arg(a, 0)))
            for (const Value& v : list->elements) fields.push_back(vm.ToString(v));
        else
            fields.push_back(vm.ToString(Arg(a, 0)));
        std::vector<int> flags;
        Object* flagList = ArrayOf(Arg(a, 1));
        for (size_t i = 0; i < fields.size(); ++i)
            flags.push_back(flagList ? (i < flagList->elements.size() ? vm.ToInt32(flagList->elements[i]) : 0) : vm.ToInt32(Arg(a, 1)));
        int first = flags.empty() ? 0 : flags[0];
        return SortBy(vm, o, first & (kUnique | kIndexed), [&](const Value& x, const Value& y) {
            for (size_t i = 0; i < fields.size(); ++i) {
                int c = CompareDefault(vm, vm.Get(x, fields[i]), vm.Get(y, fields[i]), flags[i]);
                if (flags[i] & kDescending) c = -c;
                if (c) return c;
            }
            return 0;
        });
    });

    // String.
    stringProto = NewObject(objectProto);
    stringProto->kind = Kind::String;
    stringProto->primitive = Value::Str("");
    Object* string = makeClass("String", NATIVE {
        std::string s = a.empty() ? "" : vm.ToString(a[0]);
        if (vm.constructing && self.IsObject()) {
            self.object->kind = Kind::String;
            self.object->primitive = Value::Str(s);
            return self;
        }
        return Value::Str(s);
    }, stringProto);
    Method(string, "fromCharCode", NATIVE {
        std::u16string u;
        for (const Value& v : a) {
            if (u.size() >= ScriptLimits::kTextLength) break;
            u.push_back(static_cast<char16_t>(static_cast<uint32_t>(vm.ToInt32(v)) & 0xFFFF));
        }
        return UnitsValue(vm, u);
    });
    Method(stringProto, "toString", NATIVE { return Value::Str(ThisString(vm, self)); });
    Method(stringProto, "valueOf", NATIVE { return Value::Str(ThisString(vm, self)); });
    Method(stringProto, "charAt", NATIVE {
        std::u16string s = ThisUnits(vm, self);
        double i = Num(vm, a, 0);
        if (std::isnan(i)) i = 0;
        return i >= 0 && i < static_cast<double>(s.size()) ? UnitsValue(vm, std::u16string_view(s).substr(static_cast<size_t>(i), 1))
                                                           : Value::Str("");
    });
    Method(stringProto, "charCodeAt", NATIVE {
        std::u16string s = ThisUnits(vm, self);
        double i = Num(vm, a, 0);
        if (std::isnan(i)) i = 0;
        if (i < 0 || i >= static_cast<double>(s.size())) return Value::Num(std::nan(""));
        return Value::Num(s[static_cast<size_t>(i)]);
    });
    Method(stringProto, "indexOf", NATIVE {
        std::u16string s = ThisUnits(vm, self);
        size_t from = Clamp(a.size() > 1 ? Num(vm, a, 1) : 0, s.size(), 0);
        size_t at = s.find(ToUnits(vm.ToString(Arg(a, 0)), vm.version >= 6), from);
        return Value::Num(at == std::u16string::npos ? -1 : static_cast<double>(at));
    });
    Method(stringProto, "lastIndexOf", NATIVE {
        std::u16string s = ThisUnits(vm, self);
        size_t from = a.size() > 1 ? Clamp(Num(vm, a, 1), s.size(), 0) : std::u16string::npos;
        size_t at = s.rfind(ToUnits(vm.ToString(Arg(a, 0)), vm.version >= 6), from);
        return Value::Num(at == std::u16string::npos ? -1 : static_cast<double>(at));
    });
    Method(stringProto, "substr", NATIVE {
        std::u16string s = ThisUnits(vm, self);
        size_t from = Clamp(Num(vm, a, 0), s.size(), 0);
        double n = a.size() > 1 ? Num(vm, a, 1) : static_cast<double>(s.size());
        if (std::isnan(n) || n < 0) n = 0;
        return UnitsValue(vm, std::u16string_view(s).substr(from, static_cast<size_t>(std::min(n, static_cast<double>(s.size())))));
    });
    Method(stringProto, "substring", NATIVE {
        std::u16string s = ThisUnits(vm, self);
        auto at = [&](double n) { return std::isnan(n) ? 0 : static_cast<size_t>(std::clamp(n, 0.0, static_cast<double>(s.size()))); };
        size_t x = at(Num(vm, a, 0)), y = a.size() > 1 && !Arg(a, 1).IsUndefined() ? at(Num(vm, a, 1)) : s.size();
        if (x > y) std::swap(x, y);
        return UnitsValue(vm, std::u16string_view(s).substr(x, y - x));
    });
    Method(stringProto, "slice", NATIVE {
        std::u16string s = ThisUnits(vm, self);
        size_t x = Clamp(Num(vm, a, 0), s.size(), 0);
        size_t y = a.size() > 1 && !Arg(a, 1).IsUndefined() ? Clamp(Num(vm, a, 1), s.size(), 0) : s.size();
        return x < y ? UnitsValue(vm, std::u16string_view(s).substr(x, y - x)) : Value::Str("");
    });
    Method(stringProto, "split", NATIVE {
        std::string s = ThisString(vm, self);
        std::vector<Value> parts;
        if (Arg(a, 0).IsUndefined()) {
            parts.push_back(Value::Str(s));
        } else {
            std::string sep = vm.ToString(Arg(a, 0));
            vm.Count(s.size());
            if (sep.empty()) {
                std::u16string u = ToUnits(s, vm.version >= 6);
                for (size_t i = 0; i < u.size() && i < ScriptLimits::kArrayLength; ++i)
                    parts.push_back(UnitsValue(vm, std::u16string_view(u).substr(i, 1)));
            } else {
                size_t pos = 0;
                for (; parts.size() < ScriptLimits::kArrayLength;) {
                    size_t at = s.find(sep, pos);
                    parts.push_back(Value::Str(s.substr(pos, at == std::string::npos ? std::string::npos : at - pos)));
                    if (at == std::string::npos) break;
                    pos = at + sep.size();
                }
            }
        }
        double limit = a.size() > 1 ? Num(vm, a, 1) : -1;
        if (limit >= 0 && limit < static_cast<double>(parts.size())) parts.resize(static_cast<size_t>(limit));
        return Value::Obj(vm.NewArray(std::move(parts)));
    });
    Method(stringProto, "toUpperCase", NATIVE {
        std::string s = ThisString(vm, self);
        for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        return Value::Str(s);
    });
    Method(stringProto, "toLowerCase", NATIVE {
        std::string s = ThisString(vm, self);
        for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        return Value::Str(s);
    });
    Method(stringProto, "concat", NATIVE {
        std::string s = ThisString(vm, self);
        for (const Value& v : a) s = vm.Bounded(s + vm.ToString(v));
        return Value::Str(s);
    });

    // Number and Boolean.
    numberProto = NewObject(objectProto);
    numberProto->kind = Kind::Number;
    numberProto->primitive = Value::Num(0);
    Object* number = makeClass("Number", NATIVE {
        double n = a.empty() ? 0 : vm.ToNumber(a[0]);
        if (vm.constructing && self.IsObject()) {
            self.object->kind = Kind::Number;
            self.object->primitive = Value::Num(n);
            return self;
        }
        return Value::Num(n);
    }, numberProto);
    Define(number, "MAX_VALUE", Value::Num(1.79769313486231e+308));
    Define(number, "MIN_VALUE", Value::Num(4.94065645841247e-324));
    Define(number, "NaN", Value::Num(std::nan("")));
    Define(number, "POSITIVE_INFINITY", Value::Num(INFINITY));
    Define(number, "NEGATIVE_INFINITY", Value::Num(-INFINITY));
    Method(numberProto, "toString", NATIVE {
        double radix = a.empty() ? 10 : Num(vm, a, 0);
        int r = std::isfinite(radix) && radix >= 2 && radix <= 36 ? static_cast<int>(radix) : 10;
        return Value::Str(Vm::NumberToString(ThisNumber(vm, self), r));
    });
    Method(numberProto, "valueOf", NATIVE { return Value::Num(ThisNumber(vm, self)); });
    booleanProto = NewObject(objectProto);
    booleanProto->kind = Kind::Boolean;
    booleanProto->primitive = Value::Bool(false);
    makeClass("Boolean", NATIVE {
        bool b = !a.empty() && vm.ToBoolean(a[0]);
        if (vm.constructing && self.IsObject()) {
            self.object->kind = Kind::Boolean;
            self.object->primitive = Value::Bool(b);
            return self;
        }
        return Value::Bool(b);
    }, booleanProto);
    Method(booleanProto, "toString", NATIVE { return Value::Str(ThisNumber(vm, self) != 0 ? "true" : "false"); });
    Method(booleanProto, "valueOf", NATIVE { return Value::Bool(ThisNumber(vm, self) != 0); });

    // Math.
    Object* math = NewObject(objectProto);
    Define(global, "Math", Value::Obj(math));
    for (auto [name, value] : {std::pair{"PI", std::numbers::pi}, {"E", std::numbers::e}, {"LN2", std::numbers::ln2},
                               {"LN10", std::numbers::ln10}, {"LOG2E", std::numbers::log2e}, {"LOG10E", std::numbers::log10e},
                               {"SQRT2", std::numbers::sqrt2}, {"SQRT1_2", std::numbers::sqrt2 / 2}})
        Define(math, name, Value::Num(value), kDontEnum | kDontDelete | kReadOnly);
    Method(math, "abs", NATIVE { return Value::Num(std::fabs(Num(vm, a, 0))); });
    Method(math, "acos", NATIVE { return Value::Num(std::acos(Num(vm, a, 0))); });
    Method(math, "asin", NATIVE { return Value::Num(std::asin(Num(vm, a, 0))); });
    Method(math, "atan", NATIVE { return Value::Num(std::atan(Num(vm, a, 0))); });
    Method(math, "atan2", NATIVE { return Value::Num(std::atan2(Num(vm, a, 0), Num(vm, a, 1))); });
    Method(math, "ceil", NATIVE { return Value::Num(std::ceil(Num(vm, a, 0))); });
    Method(math, "cos", NATIVE { return Value::Num(std::cos(Num(vm, a, 0))); });
    Method(math, "exp", NATIVE { return Value::Num(std::exp(Num(vm, a, 0))); });
    Method(math, "floor", NATIVE { return Value::Num(std::floor(Num(vm, a, 0))); });
    Method(math, "log", NATIVE { return Value::Num(std::log(Num(vm, a, 0))); });
    Method(math, "pow", NATIVE { return Value::Num(std::pow(Num(vm, a, 0), Num(vm, a, 1))); });
    Method(math, "random", NATIVE { return Value::Num(vm.Random()); });
    Method(math, "round", NATIVE { return Value::Num(std::floor(Num(vm, a, 0) + 0.5)); });
    Method(math, "sin", NATIVE { return Value::Num(std::sin(Num(vm, a, 0))); });
    Method(math, "sqrt", NATIVE { return Value::Num(std::sqrt(Num(vm, a, 0))); });
    Method(math, "tan", NATIVE { return Value::Num(std::tan(Num(vm, a, 0))); });
    Method(math, "max", NATIVE {
        if (a.empty()) return Value::Num(-INFINITY);
        double m = -INFINITY;
        for (const Value& v : a) {
            double n = vm.ToNumber(v);
            if (std::isnan(n)) return Value::Num(n);
            m = std::max(m, n);
        }
        return Value::Num(m);
    });
    Method(math, "min", NATIVE {
        double m = INFINITY;
        for (const Value& v : a) {
            double n = vm.ToNumber(v);
            if (std::isnan(n)) return Value::Num(n);
            m = std::min(m, n);
        }
        return Value::Num(m);
    });

    // Date.
    dateProto = NewObject(objectProto);
    Object* date = makeClass("Date", NATIVE {
        double ms;
        if (a.empty()) {
            ms = std::floor(static_cast<double>(std::chrono::duration_cast<std::chrono::milliseconds>(
                std::chrono::system_clock::now().time_since_epoch()).count()));
        } else if (a.size() == 1) {
            ms = vm.ToNumber(a[0]);
        } else {
            double f[7] = {0, 0, 1, 0, 0, 0, 0};
            for (size_t i = 0; i < a.size() && i < 7; ++i) f[i] = vm.ToNumber(a[i]);
            ms = MakeDate(f, false);
        }
        if (!vm.constructing || !self.IsObject()) return Value::Str(Vm::NumberToString(ms));
        self.object->kind = Kind::Date;
        self.object->primitive = Value::Num(ms);
        return self;
    }, dateProto);
    Method(date, "UTC", NATIVE {
        double f[7] = {0, 0, 1, 0, 0, 0, 0};
        for (size_t i = 0; i < a.size() && i < 7; ++i) f[i] = vm.ToNumber(a[i]);
        return Value::Num(MakeDate(f, true));
    });
    Method(dateProto, "getTime", NATIVE { return Value::Num(DateValue(self)); });
    Method(dateProto, "valueOf", NATIVE { return Value::Num(DateValue(self)); });
    Method(dateProto, "setTime", NATIVE {
        if (self.IsObject() && self.object->kind == Kind::Date) self.object->primitive = Value::Num(Num(vm, a, 0));
        return Value::Num(DateValue(self));
    });
    static const char* const kFields[] = {"FullYear", "Month", "Date", "Day", "Hours", "Minutes", "Seconds", "Milliseconds"};
    static const Native kLocal[] = {
        NATIVE { return DateField(vm, self, false, 0); }, NATIVE { return DateField(vm, self, false, 1); },
        NATIVE { return DateField(vm, self, false, 2); }, NATIVE { return DateField(vm, self, false, 3); },
        NATIVE { return DateField(vm, self, false, 4); }, NATIVE { return DateField(vm, self, false, 5); },
        NATIVE { return DateField(vm, self, false, 6); }, NATIVE { return DateField(vm, self, false, 7); }};
    static const Native kUtc[] = {
        NATIVE { return DateField(vm, self, true, 0); }, NATIVE { return DateField(vm, self, true, 1); },
        NATIVE { return DateField(vm, self, true, 2); }, NATIVE { return DateField(vm, self, true, 3); },
        NATIVE { return DateField(vm, self, true, 4); }, NATIVE { return DateField(vm, self, true, 5); },
        NATIVE { return DateField(vm, self, true, 6); }, NATIVE { return DateField(vm, self, true, 7); }};
    for (int i = 0; i < 8; ++i) {
        Method(dateProto, std::string("get") + kFields[i], kLocal[i]);
        Method(dateProto, std::string("getUTC") + kFields[i], kUtc[i]);
    }
    Method(dateProto, "getYear", NATIVE { return Value::Num(vm.ToNumber(DateField(vm, self, false, 0)) - 1900); });
    Method(dateProto, "getTimezoneOffset", NATIVE {
        std::tm local{}, utc{};
        double ms = DateValue(self);
        if (!Broken(ms, false, local) || !Broken(ms, true, utc)) return Value::Num(std::nan(""));
        return Value::Num(-static_cast<double>(local.tm_gmtoff) / 60);
    });
    Method(dateProto, "toString", NATIVE {
        std::tm tm{};
        if (!Broken(DateValue(self), false, tm)) return Value::Str("Invalid Date");
        char text[64];
        std::strftime(text, sizeof text, "%a %b %e %H:%M:%S GMT%z %Y", &tm);
        return Value::Str(text);
    });

    // Error.
    errorProto = NewObject(objectProto);
    makeClass("Error", NATIVE {
        if (self.IsObject() && !Arg(a, 0).IsUndefined()) vm.SetOf(self.object, "message", Arg(a, 0));
        return self;
    }, errorProto);
    Define(errorProto, "message", Value::Str("Error"));
    Define(errorProto, "name", Value::Str("Error"));
    Method(errorProto, "toString", NATIVE { return Value::Str(vm.ToString(vm.Get(self, "message"))); });

    // Global functions.
    Method(global, "parseInt", NATIVE {
        std::string s = vm.ToString(Arg(a, 0));
        size_t i = 0;
        while (i < s.size() && std::isspace(static_cast<unsigned char>(s[i]))) ++i;
        bool negative = false;
        if (i < s.size() && (s[i] == '-' || s[i] == '+')) negative = s[i++] == '-';
        double r = Num(vm, a, 1);
        int radix = std::isfinite(r) ? static_cast<int>(r) : 0;
        if ((radix == 0 || radix == 16) && i + 1 < s.size() && s[i] == '0' && (s[i + 1] == 'x' || s[i + 1] == 'X')) {
            i += 2;
            radix = 16;
        } else if (radix == 0) {
            radix = i + 1 < s.size() && s[i] == '0' ? 8 : 10;   // Flash reads a leading 0 as octal
        }
        if (radix < 2 || radix > 36) return Value::Num(std::nan(""));
        double n = 0;
        bool any = false;
        for (; i < s.size(); ++i) {
            int c = std::tolower(static_cast<unsigned char>(s[i]));
            int d = std::isdigit(c) ? c - '0' : std::isalpha(c) ? c - 'a' + 10 : 99;
            if (d >= radix) break;
            n = n * radix + d;
            any = true;
        }
        return Value::Num(any ? (negative ? -n : n) : std::nan(""));
    });
    Method(global, "parseFloat", NATIVE {
        std::string s = vm.ToString(Arg(a, 0));
        size_t i = 0;
        while (i < s.size() && std::isspace(static_cast<unsigned char>(s[i]))) ++i;
        size_t j = i;
        if (j < s.size() && (s[j] == '-' || s[j] == '+')) ++j;
        bool digits = false, dot = false;
        for (; j < s.size(); ++j) {
            if (std::isdigit(static_cast<unsigned char>(s[j]))) digits = true;
            else if (s[j] == '.' && !dot) dot = true;
            else break;
        }
        if (digits && j < s.size() && (s[j] == 'e' || s[j] == 'E')) {
            size_t k = j + 1;
            if (k < s.size() && (s[k] == '-' || s[k] == '+')) ++k;
            if (k < s.size() && std::isdigit(static_cast<unsigned char>(s[k]))) {
                j = k;
                while (j < s.size() && std::isdigit(static_cast<unsigned char>(s[j]))) ++j;
            }
        }
        if (!digits) return Value::Num(std::nan(""));
        return Value::Num(std::strtod(s.substr(i, j - i).c_str(), nullptr));
    });
    Method(global, "isNaN", NATIVE { return Value::Bool(std::isnan(Num(vm, a, 0))); });
    Method(global, "isFinite", NATIVE { return Value::Bool(std::isfinite(Num(vm, a, 0))); });
    Method(global, "escape", NATIVE {
        std::string out;
        for (unsigned char c : vm.ToString(Arg(a, 0))) {
            if (std::isalnum(c) || (c && std::strchr("@-_.*+/", c))) out.push_back(static_cast<char>(c));
            else out += std::string{'%', kHex[c >> 4], kHex[c & 15]};
        }
        return Value::Str(vm.Bounded(std::move(out)));
    });
    Method(global, "unescape", NATIVE {
        std::string s = vm.ToString(Arg(a, 0)), out;
        for (size_t i = 0; i < s.size(); ++i) {
            if (s[i] == '%' && i + 2 < s.size() && std::isxdigit(static_cast<unsigned char>(s[i + 1])) &&
                std::isxdigit(static_cast<unsigned char>(s[i + 2]))) {
                out.push_back(static_cast<char>(std::stoi(s.substr(i + 1, 2), nullptr, 16)));
                i += 2;
            } else {
                out.push_back(s[i]);
            }
        }
        // Bytes that make no UTF-8 are the Latin-1 characters they name.
        return vm.version >= 6 ? Value::Str(FromUnits(ToUnits(out, true), true)) : Value::Str(out);
    });
    Method(global, "getTimer", NATIVE { return Value::Num(std::floor(vm.nowMs)); });
    Method(global, "trace", NATIVE {
        if (vm.trace) vm.trace(Arg(a, 0).IsUndefined() ? "undefined" : vm.ToString(Arg(a, 0)));
        return {};
    });
    Method(global, "setInterval", NATIVE { return Value::Num(AddTimer(vm, a, true)); });
    Method(global, "setTimeout", NATIVE { return Value::Num(AddTimer(vm, a, false)); });
    Method(global, "clearInterval", NATIVE {
        vm.timers.erase(vm.ToInt32(Arg(a, 0)));
        return {};
    });
    Define(global, "clearTimeout", GetOf(global, "clearInterval"));
    Method(global, "ASSetPropFlags", NATIVE {
        if (!Arg(a, 0).IsObject()) return {};
        Object* o = Arg(a, 0).object;
        std::vector<std::string> names;
        if (Object* list = ArrayOf(Arg(a, 1))) {
            for (const Value& v : list->elements) names.push_back(vm.ToString(v));
        } else if (!Arg(a, 1).IsNothing()) {
            std::string s = vm.ToString(Arg(a, 1));
            for (size_t pos = 0; pos <= s.size();) {
                size_t comma = std::min(s.find(',', pos), s.size());
                names.push_back(s.substr(pos, comma - pos));
                pos = comma + 1;
            }
        }
        auto set = static_cast<uint8_t>(vm.ToInt32(Arg(a, 2)) & 7), clear = static_cast<uint8_t>(vm.ToInt32(Arg(a, 3)) & 7);
        for (auto& entry : o->props) {
            const std::string& key = entry.first;
            if (!names.empty() && std::find_if(names.begin(), names.end(), [&](const std::string& n) { return vm.Key(n) == key; }) == names.end())
                continue;
            entry.second.flags = static_cast<uint8_t>((entry.second.flags & ~clear) | set);
        }
        return {};
    });
    Define(global, "NaN", Value::Num(std::nan("")));
    Define(global, "Infinity", Value::Num(INFINITY));
    Define(global, "_global", Value::Obj(global));
}

void Vm::InstallMore() {
    auto constant = [this](Object* o, const char* name, double v) { Define(o, name, Value::Num(v), kDontEnum | kReadOnly); };
    auto none = NATIVE { return {}; };
    // Key and Mouse: no input reaches a screensaver's movie.
    Object* key = NewObject(objectProto);
    Define(global, "Key", Value::Obj(key));
    for (auto [name, code] : {std::pair{"BACKSPACE", 8}, {"TAB", 9}, {"ENTER", 13}, {"SHIFT", 16}, {"CONTROL", 17},
                              {"CAPSLOCK", 20}, {"ESCAPE", 27}, {"SPACE", 32}, {"PGUP", 33}, {"PGDN", 34}, {"END", 35},
                              {"HOME", 36}, {"LEFT", 37}, {"UP", 38}, {"RIGHT", 39}, {"DOWN", 40}, {"INSERT", 45},
                              {"DELETEKEY", 46}})
        constant(key, name, code);
    Method(key, "isDown", NATIVE { return Value::Bool(false); });
    Method(key, "isToggled", NATIVE { return Value::Bool(false); });
    Method(key, "getCode", NATIVE { return Value::Num(0); });
    Method(key, "getAscii", NATIVE { return Value::Num(0); });
    Method(key, "addListener", none);
    Method(key, "removeListener", none);
    Object* mouse = NewObject(objectProto);
    Define(global, "Mouse", Value::Obj(mouse));
    for (const char* name : {"show", "hide", "addListener", "removeListener"}) Method(mouse, name, none);
    // Stage: the movie's own size, shown whole.
    Object* stage = NewObject(objectProto);
    Define(global, "Stage", Value::Obj(stage));
    Define(stage, "width", Value::Num(movie.header.stage.Width() / 20.0));
    Define(stage, "height", Value::Num(movie.header.stage.Height() / 20.0));
    Define(stage, "scaleMode", Value::Str("showAll"), 0);
    Define(stage, "align", Value::Str(""), 0);
    Define(stage, "showMenu", Value::Bool(false), 0);
    Method(stage, "addListener", none);
    Method(stage, "removeListener", none);
    // System.
    Object* system = NewObject(objectProto);
    Define(global, "System", Value::Obj(system));
    Object* capabilities = NewObject(objectProto);
    Define(system, "capabilities", Value::Obj(capabilities));
    Define(capabilities, "version", Value::Str("LNX 8,0,0,0"), 0);
    Define(capabilities, "os", Value::Str("Linux"), 0);
    Define(capabilities, "playerType", Value::Str("StandAlone"), 0);
    Define(capabilities, "language", Value::Str("en"), 0);
    Define(capabilities, "hasAudio", Value::Bool(true), 0);
    Define(capabilities, "screenResolutionX", Value::Num(1920), 0);
    Define(capabilities, "screenResolutionY", Value::Num(1080), 0);
    Define(system, "useCodepage", Value::Bool(false), 0);
    Object* security = NewObject(objectProto);
    Define(system, "security", Value::Obj(security));
    Method(security, "allowDomain", none);
    // Nothing leaves the movie.
    Method(global, "fscommand", NATIVE {
        std::string command = vm.ToString(Arg(a, 0));
        if (command.size() == 4 && strncasecmp(command.c_str(), "quit", 4) == 0) vm.quit = true;
        return {};
    });
    Method(global, "getURL", none);
    Method(global, "loadVariables", none);
    Method(global, "loadVariablesNum", none);
    Method(global, "stopAllSounds", NATIVE {
        vm.sounds.commands.push_back({0, 0, 0, true, 0, 1});
        vm.playingSounds.clear();
        return {};
    });
    Method(global, "updateAfterEvent", none);
}

} // namespace showsaver::flash::script
