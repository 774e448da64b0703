// The action interpreter: one Exec per block of code (a frame's actions, a
// function's body, a try, catch, finally or with block), each handing back
// how it ended so that a jump out of a block runs the finally on its way.

#include "flash/script/Units.h"
#include "flash/script/Vm.h"

#include "flash/format/Reader.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <optional>
#include <strings.h>

namespace showsaver::flash::script {

namespace {

struct Frame {
    std::span<const uint8_t> code;
    std::vector<Object*> scope;   // outermost first: _global, the timeline, activations and with objects
    size_t timelineSlot = 1;      // where the timeline's clip is in `scope`
    Object* locals = nullptr;     // a function's activation, made when first needed
    bool inFunction = false;
    size_t localsSlot = 0;        // where the activation goes in `scope`
    std::span<const Value> args;  // a function's, for `arguments` when first asked for
    Value arguments, super;
    Value self;
    std::vector<Value> registers;
    std::shared_ptr<const std::vector<std::string>> pool;
    uint64_t owner = 0;           // the timeline the code belongs to
    uint64_t target = 0;          // SetTarget's; 0 when none was set
    bool targetSet = false;
    Object* home = nullptr;       // where the running method was found, for super
    Object* callee = nullptr;
};

struct Completion {
    enum class Kind : uint8_t { Normal, Return, Jump, End } kind = Kind::Normal;
    size_t target = 0;
    Value value;
};

} // namespace

struct Interpreter {
    Vm& vm;

    Playhead* Target(const Frame& f) const {
        return vm.registry.Find(f.targetSet ? f.target : f.owner);
    }
    Object* TargetObject(const Frame& f) {
        Playhead* p = Target(f);
        return p ? vm.ClipObject(p) : nullptr;
    }

    void Push(Value v) {
        if (vm.stack.size() >= ScriptLimits::kStack) throw Abandon{};
        vm.stack.push_back(std::move(v));
    }
    Value Pop() {
        if (vm.stack.empty()) return {};
        Value v = std::move(vm.stack.back());
        vm.stack.pop_back();
        return v;
    }
    void PushBool(bool b) { Push(vm.version >= 5 ? Value::Bool(b) : Value::Num(b ? 1 : 0)); }
    size_t PopCount() {
        double n = vm.ToNumber(Pop());
        if (!(n > 0)) return 0;
        return static_cast<size_t>(std::min(n, static_cast<double>(vm.stack.size())));
    }
    std::vector<Value> PopArgs() {
        size_t n = PopCount();
        std::vector<Value> args(n);
        for (size_t i = 0; i < n; ++i) args[i] = Pop();
        return args;
    }

    // A function's activation object, made the first time a local needs it.
    Object* Locals(Frame& f) {
        if (!f.locals) {
            f.locals = vm.NewObject(nullptr);
            if (f.localsSlot < f.scope.size()) f.scope[f.localsSlot] = f.locals;
        }
        return f.locals;
    }

    Value MakeArguments(Frame& f) {
        Object* a = vm.NewArray(std::vector<Value>(f.args.begin(), f.args.end()));
        vm.Define(a, "callee", Value::Obj(f.callee));
        return Value::Obj(a);
    }

    Value MakeSuper(Frame& f) {
        Object* s = vm.NewObject(nullptr);
        s->kind = Kind::Super;
        s->self = f.self;
        Object* from = f.home ? f.home : (f.self.IsObject() ? f.self.object->proto : nullptr);
        s->home = from ? from->proto : nullptr;
        s->primitive = from ? vm.GetOf(from, "__constructor__") : Value{};
        return Value::Obj(s);
    }

    // --- Variables.

    Value GetVariable(Frame& f, const std::string& name) {
        if (auto colon = name.rfind(':'); colon != std::string::npos) {
            Playhead* p = vm.ResolvePath(name.substr(0, colon), Target(f));
            return p ? vm.GetOf(vm.ClipObject(p), name.substr(colon + 1)) : Value{};
        }
        if (name.find('/') != std::string::npos) {
            Playhead* p = vm.ResolvePath(name, Target(f));
            return p ? Value::Obj(vm.ClipObject(p)) : Value{};
        }
        if (name.find('.') != std::string::npos && name.find("..") == std::string::npos) {
            size_t dot = name.find('.');
            Value v = GetVariable(f, name.substr(0, dot));
            size_t pos = dot + 1;
            while (pos <= name.size()) {
                size_t next = name.find('.', pos);
                if (next == std::string::npos) next = name.size();
                v = vm.Get(v, name.substr(pos, next - pos));
                pos = next + 1;
            }
            return v;
        }
        std::string key = vm.Key(name);
        if (key == "this") return f.self.IsUndefined() ? Value::Obj(TargetObject(f)) : f.self;
        if (key == "_global" && vm.version >= 6) return Value::Obj(vm.global);
        if (key == "_root" || key == "_level0") return Value::Obj(vm.ClipObject(&vm.root));
        Value found;
        for (size_t i = f.scope.size(); i-- > 0;) {
            Object* o = f.scope[i];
            if (o && vm.Lookup(o, name, found)) return found;
            // A function's arguments and super, made when first asked for.
            if (i == f.localsSlot && f.inFunction && key.size() >= 5) {
                if (key == "arguments" && !(f.callee->code->flags & 0x08)) {
                    if (f.arguments.IsUndefined()) f.arguments = MakeArguments(f);
                    return f.arguments;
                }
                if (key == "super" && !(f.callee->code->flags & 0x20)) {
                    if (f.super.IsUndefined()) f.super = MakeSuper(f);
                    return f.super;
                }
            }
        }
        return {};
    }

    // The object of a dotted or slashed path's last part, and that part.
    bool SplitPath(Frame& f, const std::string& name, Object*& object, std::string& member) {
        if (auto colon = name.rfind(':'); colon != std::string::npos) {
            Playhead* p = vm.ResolvePath(name.substr(0, colon), Target(f));
            object = p ? vm.ClipObject(p) : nullptr;
            member = name.substr(colon + 1);
            return true;
        }
        if (auto dot = name.rfind('.'); dot != std::string::npos && name.find("..") == std::string::npos) {
            Value owner = GetVariable(f, name.substr(0, dot));
            object = owner.IsObject() ? owner.object : nullptr;
            member = name.substr(dot + 1);
            return true;
        }
        return false;
    }

    void SetVariable(Frame& f, const std::string& name, Value v) {
        Object* object = nullptr;
        std::string member;
        if (SplitPath(f, name, object, member)) {
            if (object) vm.SetOf(object, member, std::move(v));
            return;
        }
        // Found in a scope (not _global, which only a path reaches): set there.
        for (size_t i = f.scope.size(); i-- > 1;) {
            Object* o = f.scope[i];
            if (o && vm.Has(o, name)) return vm.SetOf(o, name, std::move(v));
        }
        for (size_t i = f.scope.size(); i-- > 1;) {
            if (f.scope[i] && f.scope[i]->kind == Kind::Clip) return vm.SetOf(f.scope[i], name, std::move(v));
        }
        if (Object* t = TargetObject(f)) vm.SetOf(t, name, std::move(v));
    }

    void DefineLocal(Frame& f, const std::string& name, Value v, bool onlyIfAbsent) {
        Object* o = f.inFunction ? Locals(f) : TargetObject(f);
        if (!o) return;
        if (onlyIfAbsent && vm.Own(o, name)) return;
        vm.SetOf(o, name, std::move(v));
    }

    // --- Execution.

    Completion Exec(Frame& f, size_t begin, size_t end) {
        vm.CheckStack();
        end = std::min(end, f.code.size());
        size_t pos = begin;
        while (pos < end) {
            vm.Count();
            Reader r(f.code.subspan(pos, end - pos));
            uint8_t op = r.U8();
            if (op == 0) return {Completion::Kind::End, 0, {}};
            size_t length = op >= 0x80 ? r.U16() : 0;
            Reader args(r.Take(length));
            if (r.Failed()) return {Completion::Kind::End, 0, {}};
            size_t next = pos + r.Position();
            std::optional<size_t> jump;
            Completion c = Step(f, op, args, next, end, jump);
            if (c.kind != Completion::Kind::Normal) {
                if (c.kind != Completion::Kind::Jump) return c;
                if (c.target < begin || c.target > end) return c;
                pos = c.target;
                continue;
            }
            if (jump) {
                if (*jump < begin || *jump > end) return {Completion::Kind::Jump, *jump, {}};
                pos = *jump;
                continue;
            }
            pos = next;
        }
        return {};
    }

    static size_t Relative(size_t next, int16_t offset) {
        int64_t to = static_cast<int64_t>(next) + offset;
        return to < 0 ? SIZE_MAX : static_cast<size_t>(to);
    }

    Completion Step(Frame& f, uint8_t op, Reader& args, size_t& next, size_t end, std::optional<size_t>& jump) {
        auto binaryNumber = [&](auto fn) {
            double b = vm.ToNumber(Pop()), a = vm.ToNumber(Pop());
            Push(Value::Num(fn(a, b)));
        };
        auto binaryInt = [&](auto fn) {
            int32_t b = vm.ToInt32(Pop()), a = vm.ToInt32(Pop());
            Push(Value::Num(fn(a, b)));
        };
        switch (op) {
        // The timeline.
        case 0x04: if (Playhead* p = Target(f)) vm.GotoFrame(p, Value::Num(p->Frame() + 2), false); break;
        case 0x05: if (Playhead* p = Target(f)) vm.GotoFrame(p, Value::Num(std::max(1, p->Frame())), false); break;
        case 0x06: if (Playhead* p = Target(f)) p->SetPlaying(true); break;
        case 0x07: if (Playhead* p = Target(f)) p->SetPlaying(false); break;
        case 0x08: case 0x09: case 0x28: break;   // quality, stopAllSounds, stopDrag
        case 0x81: {   // GotoFrame
            int frame = args.U16();
            if (Playhead* p = Target(f)) {
                vm.GotoFrame(p, Value::Num(frame + 1), -1);
            }
            break;
        }
        case 0x8C: {   // GotoLabel: playing stays as it was
            std::string label = args.String();
            if (Playhead* p = Target(f)) {
                bool playing = p->Playing();
                vm.GotoFrame(p, Value::Str(label), playing ? 1 : 0);
            }
            break;
        }
        case 0x9F: {   // GotoFrame2
            uint8_t flags = args.U8();
            int bias = (flags & 2) ? args.U16() : 0;
            Value frame = Pop();
            Playhead* p = Target(f);
            if (!frame.IsString()) {
                double n = vm.ToNumber(frame);
                if (p && std::isfinite(n) && n >= 1 && n <= 65536) vm.GotoFrame(p, Value::Num(std::trunc(n) + bias), flags & 1);
                break;
            }
            std::string text = frame.text;
            if (auto colon = text.rfind(':'); colon != std::string::npos) {
                p = vm.ResolvePath(text.substr(0, colon), p);
                text = text.substr(colon + 1);
            }
            if (!p) break;
            char* stop = nullptr;
            long number = std::strtol(text.c_str(), &stop, 10);
            if (!text.empty() && stop && *stop == 0 && number >= 1)
                vm.GotoFrame(p, Value::Num(static_cast<double>(std::min(number, 65536L) + bias)), flags & 1);
            else
                vm.GotoFrame(p, Value::Str(text), flags & 1);
            break;
        }
        case 0x8B: {   // SetTarget
            std::string path = args.String();
            SetTarget(f, path);
            break;
        }
        case 0x20: {   // SetTarget2
            Value v = Pop();
            if (v.IsObject() && v.object->kind == Kind::Clip) {
                Playhead* p = vm.ClipOf(v.object);
                f.targetSet = true;
                f.target = p ? p->Serial() : 0;
                UpdateTimelineScope(f);
            } else {
                SetTarget(f, vm.ToString(v));
            }
            break;
        }
        case 0x83: {   // GetURL
            std::string url = args.String();
            std::string target = args.String();
            if (!vm.LoadLevel(url, target)) GetUrl(url);
            break;
        }
        case 0x9A: {   // GetURL2: nothing leaves the movie; loadMovie into a clip reads beside it
            uint8_t flags = args.U8();
            std::string target = vm.ToString(Pop()), url = vm.ToString(Pop());
            constexpr uint8_t kLoadTarget = 0x02, kLoadVariables = 0x01;
            if ((flags & kLoadTarget) && !(flags & kLoadVariables)) {
                if (Playhead* p = Target(f)) vm.QueueLoad(vm.ResolvePath(target, p), url, nullptr, url.empty());
            } else if (!(flags & kLoadVariables) && !vm.LoadLevel(url, target)) {
                GetUrl(url);
            }
            break;
        }
        case 0x8A: args.U16(); args.U8(); break;   // WaitForFrame: every frame is loaded
        case 0x8D: Pop(); break;                   // WaitForFrame2
        case 0x9E: {   // Call: a frame's actions run where they are
            Value frame = Pop();
            CallFrame(f, frame);
            break;
        }
        // The stack and registers.
        case 0x96: PushData(f, args); break;
        case 0x17: Pop(); break;
        case 0x4C: { Value v = vm.stack.empty() ? Value{} : vm.stack.back(); Push(std::move(v)); break; }
        case 0x4D: {
            Value b = Pop(), a = Pop();
            Push(std::move(b)), Push(std::move(a));
            break;
        }
        case 0x87: {   // StoreRegister
            uint8_t index = args.U8();
            if (index < f.registers.size()) f.registers[index] = vm.stack.empty() ? Value{} : vm.stack.back();
            break;
        }
        case 0x88: {   // ConstantPool
            size_t count = args.U16();
            auto pool = std::make_shared<std::vector<std::string>>();
            vm.Charge(count * 32);
            for (size_t i = 0; i < count && !args.Failed(); ++i) pool->push_back(args.String());
            f.pool = std::move(pool);
            break;
        }
        // Branches.
        case 0x99: jump = Relative(next, args.S16()); break;
        case 0x9D: {
            int16_t offset = args.S16();
            if (vm.ToBoolean(Pop())) jump = Relative(next, offset);
            break;
        }
        // Arithmetic.
        case 0x0A: binaryNumber([](double a, double b) { return a + b; }); break;
        case 0x0B: binaryNumber([](double a, double b) { return a - b; }); break;
        case 0x0C: binaryNumber([](double a, double b) { return a * b; }); break;
        case 0x0D: {
            double b = vm.ToNumber(Pop()), a = vm.ToNumber(Pop());
            if (b == 0 && vm.version < 5) Push(Value::Str("#ERROR#"));
            else Push(Value::Num(a / b));
            break;
        }
        case 0x3F: binaryNumber([](double a, double b) { return std::fmod(a, b); }); break;
        case 0x0E: { double b = vm.ToNumber(Pop()), a = vm.ToNumber(Pop()); PushBool(a == b); break; }
        case 0x0F: { double b = vm.ToNumber(Pop()), a = vm.ToNumber(Pop()); PushBool(a < b); break; }
        case 0x10: { bool b = vm.ToBoolean(Pop()), a = vm.ToBoolean(Pop()); PushBool(a && b); break; }
        case 0x11: { bool b = vm.ToBoolean(Pop()), a = vm.ToBoolean(Pop()); PushBool(a || b); break; }
        case 0x12: PushBool(!vm.ToBoolean(Pop())); break;
        case 0x18: { double n = vm.ToNumber(Pop()); Push(Value::Num(std::isfinite(n) ? std::trunc(n) : n)); break; }
        case 0x50: Push(Value::Num(vm.ToNumber(Pop()) + 1)); break;
        case 0x51: Push(Value::Num(vm.ToNumber(Pop()) - 1)); break;
        case 0x47: {   // Add2
            Value b = vm.ToPrimitive(Pop()), a = vm.ToPrimitive(Pop());
            if (a.IsString() || b.IsString()) Push(Value::Str(Concat(vm.ToString(a), vm.ToString(b))));
            else Push(Value::Num(vm.ToNumber(a) + vm.ToNumber(b)));
            break;
        }
        case 0x48: { Value b = Pop(), a = Pop(); Push(vm.Less(a, b)); break; }
        case 0x67: { Value b = Pop(), a = Pop(); Push(vm.Less(b, a)); break; }
        case 0x49: { Value b = Pop(), a = Pop(); Push(Value::Bool(vm.LooseEquals(a, b))); break; }
        case 0x66: { Value b = Pop(), a = Pop(); Push(Value::Bool(vm.StrictEquals(a, b))); break; }
        case 0x4A: Push(Value::Num(vm.ToNumber(Pop()))); break;
        case 0x4B: Push(Value::Str(vm.ToString(Pop()))); break;
        case 0x60: binaryInt([](int32_t a, int32_t b) { return static_cast<double>(a & b); }); break;
        case 0x61: binaryInt([](int32_t a, int32_t b) { return static_cast<double>(a | b); }); break;
        case 0x62: binaryInt([](int32_t a, int32_t b) { return static_cast<double>(a ^ b); }); break;
        case 0x63: binaryInt([](int32_t a, int32_t b) {
            return static_cast<double>(static_cast<int32_t>(static_cast<uint32_t>(a) << (b & 31)));
        }); break;
        case 0x64: binaryInt([](int32_t a, int32_t b) { return static_cast<double>(a >> (b & 31)); }); break;
        case 0x65: binaryInt([](int32_t a, int32_t b) { return static_cast<double>(static_cast<uint32_t>(a) >> (b & 31)); }); break;
        // Strings.
        case 0x13: { std::string b = vm.ToString(Pop()), a = vm.ToString(Pop()); PushBool(a == b); break; }
        case 0x29: { std::string b = vm.ToString(Pop()), a = vm.ToString(Pop()); PushBool(a < b); break; }
        case 0x68: { std::string b = vm.ToString(Pop()), a = vm.ToString(Pop()); PushBool(a > b); break; }
        case 0x21: { std::string b = vm.ToString(Pop()), a = vm.ToString(Pop()); Push(Value::Str(Concat(a, b))); break; }
        // From version 6 on the string actions count UTF-16 units (Units.h).
        case 0x14: case 0x31: Push(Value::Num(static_cast<double>(UnitCount(vm.ToString(Pop()), vm.version >= 6)))); break;
        case 0x15: case 0x35: {   // StringExtract: from a 1-based index
            double count = vm.ToNumber(Pop()), index = vm.ToNumber(Pop());
            std::u16string s = ToUnits(vm.ToString(Pop()), vm.version >= 6);
            double from = std::clamp(std::isnan(index) ? 0.0 : index - 1, 0.0, static_cast<double>(s.size()));
            double n = std::isnan(count) || count < 0 ? static_cast<double>(s.size()) : count;
            Push(Value::Str(FromUnits(std::u16string_view(s).substr(static_cast<size_t>(from), static_cast<size_t>(std::min(n, 1e9))),
                                      vm.version >= 6)));
            break;
        }
        case 0x32: case 0x36: {
            std::u16string s = ToUnits(vm.ToString(Pop()), vm.version >= 6);
            Push(Value::Num(s.empty() ? 0 : s[0]));
            break;
        }
        case 0x33: case 0x37: {
            int code = vm.ToInt32(Pop());
            char16_t unit = static_cast<char16_t>(static_cast<uint32_t>(code) & 0xFFFF);
            Push(Value::Str(FromUnits(std::u16string_view(&unit, 1), vm.version >= 6)));
            break;
        }
        case 0x30: {   // RandomNumber
            double max = vm.ToNumber(Pop());
            Push(Value::Num(max > 0 ? std::floor(vm.Random() * std::min(max, 4294967295.0)) : 0));
            break;
        }
        case 0x34: Push(Value::Num(std::floor(vm.nowMs))); break;
        case 0x26: {   // Trace
            Value v = Pop();
            if (vm.trace) vm.trace(v.IsUndefined() ? "undefined" : vm.ToString(v));
            break;
        }
        // Properties and variables.
        case 0x1C: { std::string name = vm.ToString(Pop()); Push(GetVariable(f, name)); break; }
        case 0x1D: { Value v = Pop(); SetVariable(f, vm.ToString(Pop()), std::move(v)); break; }
        case 0x3C: { Value v = Pop(); DefineLocal(f, vm.ToString(Pop()), std::move(v), false); break; }
        case 0x41: DefineLocal(f, vm.ToString(Pop()), {}, true); break;
        case 0x22: {   // GetProperty
            double index = vm.ToNumber(Pop());
            Playhead* p = ClipFromValue(f, Pop());
            Push(p && index >= 0 && index < 22 ? vm.PropertyByIndex(p, static_cast<int>(index)) : Value{});
            break;
        }
        case 0x23: {   // SetProperty
            Value v = Pop();
            double index = vm.ToNumber(Pop());
            Playhead* p = ClipFromValue(f, Pop());
            if (p && index >= 0 && index < 22) vm.SetPropertyByIndex(p, static_cast<int>(index), v);
            break;
        }
        case 0x4E: {   // GetMember
            Value name = Pop(), object = Pop();
            Push(vm.Get(object, vm.ToString(name)));
            break;
        }
        case 0x4F: {   // SetMember
            Value v = Pop(), name = Pop(), object = Pop();
            vm.Set(object, vm.ToString(name), std::move(v));
            break;
        }
        case 0x3A: {   // Delete
            std::string name = vm.ToString(Pop());
            Value object = Pop();
            PushBool(object.IsObject() && vm.Delete(object.object, name));
            break;
        }
        case 0x3B: {   // Delete2
            std::string name = vm.ToString(Pop());
            bool done = false;
            for (size_t i = f.scope.size(); i-- > 0 && !done;)
                if (f.scope[i] && vm.Own(f.scope[i], name)) done = vm.Delete(f.scope[i], name);
            PushBool(done);
            break;
        }
        case 0x44: Push(Value::Str(vm.TypeOf(Pop()))); break;
        case 0x45: {   // TargetPath
            Value v = Pop();
            Playhead* p = v.IsObject() && v.object->kind == Kind::Clip ? vm.ClipOf(v.object) : nullptr;
            Push(p ? Value::Str(vm.TargetPath(p, false)) : Value{});
            break;
        }
        case 0x46: case 0x55: {   // Enumerate, Enumerate2
            Value v = Pop();
            Value object = op == 0x46 ? GetVariable(f, vm.ToString(v)) : v;
            Push(Value{});
            if (object.IsObject()) {
                auto keys = vm.Keys(object.object);
                vm.Count(keys.size());
                for (auto& k : keys) Push(Value::Str(std::move(k)));
            }
            break;
        }
        // Objects and functions.
        case 0x42: {   // InitArray
            std::vector<Value> elements = PopArgs();
            Push(Value::Obj(vm.NewArray(std::move(elements))));
            break;
        }
        case 0x43: {   // InitObject
            size_t n = std::min(PopCount(), vm.stack.size() / 2);
            Object* o = vm.NewObject(vm.objectProto);
            std::vector<std::pair<std::string, Value>> pairs;
            for (size_t i = 0; i < n; ++i) {
                Value v = Pop();
                pairs.emplace_back(vm.ToString(Pop()), std::move(v));
            }
            for (auto it = pairs.rbegin(); it != pairs.rend(); ++it) vm.SetOf(o, it->first, std::move(it->second));
            Push(Value::Obj(o));
            break;
        }
        case 0x3D: {   // CallFunction
            std::string name = vm.ToString(Pop());
            std::vector<Value> callArgs = PopArgs();
            Value fn = GetVariable(f, name);
            Push(vm.Call(fn, Value::Obj(TargetObject(f)), callArgs));
            break;
        }
        case 0x52: {   // CallMethod
            Value name = Pop(), object = Pop();
            std::vector<Value> callArgs = PopArgs();
            Push(CallMethod(object, name, callArgs));
            break;
        }
        case 0x40: {   // NewObject
            std::string name = vm.ToString(Pop());
            std::vector<Value> callArgs = PopArgs();
            Push(vm.Construct(GetVariable(f, name), callArgs));
            break;
        }
        case 0x53: {   // NewMethod
            Value name = Pop(), object = Pop();
            std::vector<Value> callArgs = PopArgs();
            std::string method = name.IsUndefined() ? "" : vm.ToString(name);
            Push(vm.Construct(method.empty() ? object : vm.Get(object, method), callArgs));
            break;
        }
        case 0x3E: return {Completion::Kind::Return, 0, Pop()};
        case 0x9B: case 0x8E: DefineFunction(f, op, args, next, end); break;
        case 0x54: {   // InstanceOf
            Value constructor = Pop(), object = Pop();
            Push(Value::Bool(InstanceOf(object, constructor)));
            break;
        }
        case 0x2B: {   // CastOp
            Value object = Pop(), constructor = Pop();
            Push(InstanceOf(object, constructor) ? object : Value::Null());
            break;
        }
        case 0x2C: {   // ImplementsOp
            Value constructor = Pop();
            std::vector<Value> interfaces = PopArgs();
            Value prototype = vm.Get(constructor, "prototype");
            if (prototype.IsObject())
                for (const Value& i : interfaces)
                    if (i.IsObject() && prototype.object->interfaces.size() < 64) prototype.object->interfaces.push_back(i.object);
            break;
        }
        case 0x69: {   // Extends
            Value superclass = Pop(), subclass = Pop();
            if (!subclass.IsObject() || !superclass.IsObject()) break;
            Value superProto = vm.GetOf(superclass.object, "prototype");
            Object* prototype = vm.NewObject(superProto.IsObject() ? superProto.object : nullptr);
            vm.Define(prototype, "__constructor__", superclass);
            vm.Define(prototype, "constructor", superclass);
            vm.SetOf(subclass.object, "prototype", Value::Obj(prototype));
            break;
        }
        case 0x2A: throw Thrown{Pop()};
        case 0x8F: return Try(f, args, next, end, jump);
        case 0x94: return With(f, args, next, end, jump);
        // Clips.
        case 0x24: {   // CloneSprite
            double d = vm.ToNumber(Pop());
            std::string name = vm.ToString(Pop());
            Playhead* source = ClipFromValue(f, Pop());
            if (source && std::isfinite(d)) vm.Duplicate(source, name, static_cast<int>(d) - Playhead::kScriptDepths);
            break;
        }
        case 0x25: if (Playhead* p = ClipFromValue(f, Pop())) vm.RemoveClip(p); break;
        case 0x27: {   // StartDrag: nothing drags in a screensaver
            Pop(), Pop();
            if (vm.ToBoolean(Pop())) Pop(), Pop(), Pop(), Pop();
            break;
        }
        default: break;   // unknown actions are stepped over by their length
        }
        return {};
    }

    std::string Concat(const std::string& a, const std::string& b) {
        return vm.Bounded(a + b);
    }

    Playhead* ClipFromValue(Frame& f, const Value& v) {
        if (v.IsObject() && v.object->kind == Kind::Clip) return vm.ClipOf(v.object);
        return vm.ResolvePath(vm.ToString(v), Target(f));
    }

    void SetTarget(Frame& f, const std::string& path) {
        if (path.empty()) {
            f.targetSet = false;
        } else {
            Playhead* p = vm.ResolvePath(path, vm.registry.Find(f.owner));
            f.targetSet = true;
            f.target = p ? p->Serial() : 0;
        }
        UpdateTimelineScope(f);
    }

    void UpdateTimelineScope(Frame& f) {
        if (!f.inFunction && f.timelineSlot < f.scope.size()) f.scope[f.timelineSlot] = TargetObject(f);
    }

    void GetUrl(const std::string& url) {
        if (url.size() >= 10 && strncasecmp(url.c_str(), "FSCommand:", 10) == 0 && strcasecmp(url.c_str() + 10, "quit") == 0)
            vm.quit = true;
    }

    void CallFrame(Frame& f, const Value& frame) {
        Playhead* p = Target(f);
        std::string text = vm.ToString(frame);
        if (auto colon = text.rfind(':'); colon != std::string::npos) {
            p = vm.ResolvePath(text.substr(0, colon), p);
            text = text.substr(colon + 1);
        }
        if (!p) return;
        int index = -1;
        char* stop = nullptr;
        long number = std::strtol(text.c_str(), &stop, 10);
        if (!text.empty() && stop && *stop == 0) index = static_cast<int>(std::clamp(number, 0L, 65536L)) - 1;
        else index = p->FindLabel(text);
        const auto& frames = p->Line().frames;
        if (index < 0 || index >= static_cast<int>(frames.size())) return;
        for (const auto& code : frames[static_cast<size_t>(index)].actions) vm.RunBlock(code, p->Serial());
    }

    void PushData(Frame& f, Reader& args) {
        while (!args.AtEnd() && !args.Failed()) {
            Value v;
            uint8_t type = args.U8();
            switch (type) {
            case 0: v = Value::Str(args.String()); break;
            case 1: {
                uint32_t bits = args.U32();
                float x;
                std::memcpy(&x, &bits, 4);
                v = Value::Num(x);
                break;
            }
            case 2: v = Value::Null(); break;
            case 4: {
                uint8_t index = args.U8();
                if (index < f.registers.size()) v = f.registers[index];
                break;
            }
            case 5: v = Value::Bool(args.U8() != 0); break;
            case 6: {
                uint64_t high = args.U32(), low = args.U32();
                uint64_t bits = (high << 32) | low;
                double d;
                std::memcpy(&d, &bits, 8);
                v = Value::Num(d);
                break;
            }
            case 7: v = Value::Num(static_cast<int32_t>(args.U32())); break;
            case 8: case 9: {
                size_t index = type == 8 ? args.U8() : args.U16();
                if (f.pool && index < f.pool->size()) v = Value::Str((*f.pool)[index]);
                break;
            }
            default: break;   // undefined
            }
            if (args.Failed()) break;
            Push(std::move(v));
        }
    }

    Value CallMethod(const Value& object, const Value& name, std::span<const Value> args) {
        std::string method = name.IsUndefined() ? "" : vm.ToString(name);
        if (object.IsObject() && object.object->kind == Kind::Super) {
            Object* super = object.object;
            if (method.empty()) return vm.Call(super->primitive, super->self, args, super->home);
            Object* holder = nullptr;
            Property* p = vm.Find(super->home, method, &holder);
            if (!p) return {};
            return vm.Call(p->getter ? vm.Call(Value::Obj(p->getter), super->self, {}) : p->value, super->self, args, holder);
        }
        if (method.empty()) return vm.Call(object, Value{}, args);
        Object* holder = nullptr;
        if (object.IsObject() && object.object->kind != Kind::Clip) {
            Property* p = vm.Find(object.object, method, &holder);
            if (p && !p->getter) return vm.Call(p->value, object, args, holder);
        }
        Value fn = vm.Get(object, method);
        return vm.Call(fn, object, args, holder);
    }

    bool InstanceOf(const Value& object, const Value& constructor) {
        if (!object.IsObject() || !constructor.IsObject()) return false;
        Value prototype = vm.GetOf(constructor.object, "prototype");
        if (!prototype.IsObject()) return false;
        Object* o = object.object->proto;
        for (int i = 0; o && i < 256; ++i, o = o->proto) {
            if (o == prototype.object) return true;
            for (Object* iface : o->interfaces)
                if (iface == constructor.object || vm.GetOf(iface, "prototype").object == prototype.object) return true;
        }
        return false;
    }

    void DefineFunction(Frame& f, uint8_t op, Reader& args, size_t& next, size_t end) {
        auto code = std::make_shared<FunctionCode>();
        code->v2 = op == 0x8E;
        code->name = args.String();
        size_t params = args.U16();
        if (code->v2) {
            code->registers = args.U8();
            code->flags = args.U16();
        }
        for (size_t i = 0; i < params && !args.Failed(); ++i) {
            uint8_t reg = code->v2 ? args.U8() : 0;
            code->params.emplace_back(reg, args.String());
        }
        size_t size = args.U16();
        if (args.Failed()) return;
        size_t bodyEnd = std::min(end, next + size);
        code->body = f.code.subspan(next, bodyEnd - next);
        code->pool = f.pool;
        code->version = vm.version;
        next = bodyEnd;
        std::string name = code->name;
        if (f.inFunction) Locals(f);   // a closure sees the locals defined after it
        std::vector<Object*> scope = f.scope;
        Object* fn = vm.NewScriptFunction(std::move(code), std::move(scope), f.owner);
        if (name.empty())
            Push(Value::Obj(fn));
        else
            DefineLocal(f, name, Value::Obj(fn), false);
    }

    // The blocks' bounds are clamped to the enclosing block.
    Completion Try(Frame& f, Reader& args, size_t next, size_t end, std::optional<size_t>& jump) {
        uint8_t flags = args.U8();
        size_t trySize = args.U16(), catchSize = args.U16(), finallySize = args.U16();
        bool catchInRegister = flags & 4;
        std::string catchName;
        uint8_t catchRegister = 0;
        if (catchInRegister) catchRegister = args.U8();
        else catchName = args.String();
        if (vm.depth > ScriptLimits::kCallDepth) throw Abandon{};
        ++vm.depth;   // blocks inside blocks count as calls do
        struct Leave { int& d; ~Leave() { --d; } } leave{vm.depth};
        size_t tryEnd = std::min(end, next + trySize);
        size_t catchEnd = std::min(end, tryEnd + ((flags & 1) ? catchSize : 0));
        size_t after = std::min(end, catchEnd + ((flags & 2) ? finallySize : 0));
        Completion c;
        std::optional<Thrown> pending;
        size_t stackSize = vm.stack.size();
        try {
            c = Exec(f, next, tryEnd);
        } catch (Thrown& thrown) {
            vm.stack.resize(std::min(stackSize, vm.stack.size()));
            if (flags & 1) {
                if (catchInRegister) {
                    if (catchRegister < f.registers.size()) f.registers[catchRegister] = thrown.value;
                } else {
                    DefineLocal(f, catchName, thrown.value, false);
                }
                try {
                    c = Exec(f, tryEnd, catchEnd);
                } catch (Thrown& again) {
                    pending = std::move(again);
                }
            } else {
                pending = std::move(thrown);
            }
        }
        if (flags & 2) {
            Completion fc = Exec(f, catchEnd, after);
            if (fc.kind != Completion::Kind::Normal) {
                c = fc;
                pending.reset();
            }
        }
        if (pending) throw *pending;
        return Continue(c, after, jump);
    }

    static Completion Continue(const Completion& c, size_t after, std::optional<size_t>& jump) {
        if (c.kind == Completion::Kind::Normal) {
            jump = after;
            return {};
        }
        return c;
    }

    Completion With(Frame& f, Reader& args, size_t next, size_t end, std::optional<size_t>& jump) {
        size_t size = args.U16();
        Value object = Pop();
        size_t blockEnd = std::min(end, next + size);
        Object* o = vm.ToObject(object);
        if (f.scope.size() >= 256 || !o) {
            jump = blockEnd;
            return {};
        }
        if (++vm.depth > ScriptLimits::kCallDepth) throw Abandon{};
        struct Depth { int& d; ~Depth() { --d; } } depth{vm.depth};
        f.scope.push_back(o);
        struct Leave {
            Frame& f;
            size_t size;
            ~Leave() { f.scope.resize(size); }
        } leave{f, f.scope.size() - 1};
        Completion c = Exec(f, next, blockEnd);
        return Continue(c, blockEnd, jump);
    }

    Value Invoke(Object* fn, const Value& self, std::span<const Value> args, Object* home) {
        const FunctionCode& code = *fn->code;
        Frame f;
        f.code = code.body;
        f.scope = fn->scope;
        f.pool = code.pool;
        f.owner = fn->clip;
        f.home = home;
        f.callee = fn;
        f.self = self.IsNothing() ? Value::Obj(vm.registry.Find(fn->clip) ? vm.ClipObject(vm.registry.Find(fn->clip)) : nullptr) : self;
        f.registers.resize(code.v2 ? std::max<size_t>(code.registers, 1) : 4);
        vm.Charge(f.registers.size() * sizeof(Value));
        f.inFunction = true;
        f.args = args;
        f.localsSlot = f.scope.size();
        f.scope.push_back(nullptr);
        uint16_t flags = code.v2 ? code.flags : 0;
        size_t reg = 1;
        auto preload = [&](uint16_t bit, auto make) {
            if ((flags & bit) && reg < f.registers.size()) f.registers[reg++] = make();
        };
        if (code.v2) {
            preload(0x01, [&] { return f.self; });
            preload(0x04, [&] { return MakeArguments(f); });
            preload(0x10, [&] { return MakeSuper(f); });
            preload(0x40, [&] { return Value::Obj(vm.ClipObject(&vm.root)); });
            preload(0x80, [&] {
                Playhead* p = vm.registry.Find(fn->clip);
                return p && p->Parent() ? Value::Obj(vm.ClipObject(p->Parent())) : Value{};
            });
            preload(0x100, [&] { return Value::Obj(vm.global); });
        }
        for (size_t i = 0; i < code.params.size(); ++i) {
            const Value& v = Arg(args, i);
            auto& [r, name] = code.params[i];
            if (r != 0 && r < f.registers.size()) f.registers[r] = v;
            else vm.Define(Locals(f), name, v, 0);
        }
        if (++vm.depth > ScriptLimits::kCallDepth) throw Abandon{};
        struct Leave { int& d; ~Leave() { --d; } } leave{vm.depth};
        size_t stackSize = vm.stack.size();
        Completion c = Exec(f, 0, f.code.size());
        vm.stack.resize(std::min(stackSize, vm.stack.size()));
        return c.kind == Completion::Kind::Return ? c.value : Value{};
    }

    void RunBlock(std::span<const uint8_t> code, uint64_t owner) {
        Frame f;
        f.code = code;
        f.owner = owner;
        f.registers.resize(4);
        f.scope = {vm.global, nullptr};
        UpdateTimelineScope(f);
        if (++vm.depth > ScriptLimits::kCallDepth) throw Abandon{};
        struct Leave { int& d; ~Leave() { --d; } } leave{vm.depth};
        size_t stackSize = vm.stack.size();
        try {
            Exec(f, 0, code.size());
        } catch (Thrown&) {
            // An uncaught throw ends its block.
        }
        vm.stack.resize(std::min(stackSize, vm.stack.size()));
    }
};

Value Vm::Invoke(Object* function, const Value& self, std::span<const Value> args, Object* home) {
    return Interpreter{*this}.Invoke(function, self, args, home);
}

void Vm::RunBlock(std::span<const uint8_t> code, uint64_t owner) { Interpreter{*this}.RunBlock(code, owner); }

} // namespace showsaver::flash::script
