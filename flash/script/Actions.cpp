#include "flash/script/Actions.h"

#include "flash/format/Reader.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <strings.h>

namespace showsaver::flash {
namespace {

enum Op : uint8_t {
    kNextFrame = 0x04, kPrevFrame = 0x05, kPlay = 0x06, kStop = 0x07, kAdd = 0x0A, kSubtract = 0x0B,
    kMultiply = 0x0C, kDivide = 0x0D, kEquals = 0x0E, kLess = 0x0F, kAnd = 0x10, kOr = 0x11, kNot = 0x12,
    kStringEquals = 0x13, kPop = 0x17, kToInteger = 0x18, kGetVariable = 0x1C, kSetTarget2 = 0x20,
    kStringAdd = 0x21, kGetProperty = 0x22, kStartDrag = 0x27, kThrow = 0x2A, kImplements = 0x2C,
    kCallFunction = 0x3D, kModulo = 0x3F, kNewObject = 0x40, kInitArray = 0x42, kInitObject = 0x43,
    kAdd2 = 0x47, kLess2 = 0x48, kEquals2 = 0x49, kToNumber = 0x4A, kToString = 0x4B, kPushDuplicate = 0x4C,
    kStackSwap = 0x4D, kIncrement = 0x50, kDecrement = 0x51, kCallMethod = 0x52, kNewMethod = 0x53,
    kStrictEquals = 0x66, kGreater = 0x67, kGotoFrame = 0x81, kGetUrl = 0x83, kStoreRegister = 0x87,
    kConstantPool = 0x88, kSetTarget = 0x8B, kGotoLabel = 0x8C, kWaitForFrame2 = 0x8D, kDefineFunction2 = 0x8E,
    kTry = 0x8F, kPush = 0x96, kJump = 0x99, kGetUrl2 = 0x9A, kDefineFunction = 0x9B, kIf = 0x9D, kGotoFrame2 = 0x9F,
};

// The stack actions we do not work out, by how many values they take and
// give; the ones whose counts come from the stack are handled apart.
struct StackEffect {
    uint8_t op, pops, pushes;
};
constexpr StackEffect kEffects[] = {
    {0x14, 1, 1}, {0x15, 3, 1}, {0x1D, 2, 0}, {0x23, 3, 0}, {0x24, 3, 0}, {0x25, 1, 0}, {0x26, 1, 0},
    {0x29, 2, 1}, {0x2B, 2, 1}, {0x30, 1, 1}, {0x31, 1, 1}, {0x32, 1, 1}, {0x33, 1, 1}, {0x34, 0, 1},
    {0x35, 3, 1}, {0x36, 1, 1}, {0x37, 1, 1}, {0x3A, 2, 1}, {0x3B, 1, 1}, {0x3C, 2, 0}, {0x3E, 1, 0},
    {0x41, 1, 0}, {0x44, 1, 1}, {0x45, 1, 1}, {0x46, 1, 1}, {0x4E, 2, 1}, {0x4F, 3, 0}, {0x54, 2, 1},
    {0x55, 1, 1}, {0x60, 2, 1}, {0x61, 2, 1}, {0x62, 2, 1}, {0x63, 2, 1}, {0x64, 2, 1}, {0x65, 2, 1},
    {0x68, 2, 1}, {0x69, 2, 0}, {0x94, 1, 0}, {0x9E, 1, 0},
};

constexpr size_t kMaxStack = 1024;
constexpr size_t kRegisters = 4;
constexpr size_t kMaxSkips = 16;

struct Value {
    enum class Kind : uint8_t { Undefined, Null, Boolean, Number, String };
    Kind kind = Kind::Undefined;
    double number = 0;
    std::string text;

    static Value Number(double n) { return {Kind::Number, n, {}}; }
    static Value Boolean(bool b) { return {Kind::Boolean, b ? 1.0 : 0.0, {}}; }
    static Value String(std::string s) { return {Kind::String, 0, std::move(s)}; }
    bool IsString() const { return kind == Kind::String; }
};

class Machine {
public:
    Machine(const ActionContext& context, uint64_t owner)
        : m_context(context), m_owner(owner), m_target(owner) {}

    void Run(std::span<const uint8_t> code) {
        size_t pos = 0;
        while (pos < code.size()) {
            if (SkipRegion(pos)) continue;
            if (++m_context.result.executed > Limits::kMaxActionsPerStep) return;
            Reader r(code.subspan(pos));
            uint8_t op = r.U8();
            if (op == 0) return;
            size_t length = op >= 0x80 ? r.U16() : 0;
            Reader args(r.Take(length));
            if (r.Failed()) return;
            pos += r.Position();
            if (!Execute(op, args, code.size(), pos)) return;
        }
    }

private:
    // False ends the block.
    bool Execute(uint8_t op, Reader& args, size_t size, size_t& pos) {
        switch (op) {
        case kNextFrame: GotoAndStop(Target() ? Target()->Frame() + 1 : 0); return true;
        case kPrevFrame: GotoAndStop(Target() ? Target()->Frame() - 1 : 0); return true;
        case kPlay: if (Target()) Target()->SetPlaying(true); return true;
        case kStop: if (Target()) Target()->SetPlaying(false); return true;
        case kGotoFrame: if (Target()) Jump(*Target(), args.U16()); return true;
        case kGotoLabel: GotoLabel(args.String(), std::nullopt); return true;
        case kGotoFrame2: GotoFrame2(args); return true;
        case kSetTarget: m_target = Serial(Resolve(args.String())); return true;
        case kSetTarget2: m_target = Serial(Resolve(ToString(Pop()))); return true;
        case kGetUrl: GetUrl(args.String()); return true;
        case kGetUrl2: {   // the address under the target window
            Pop();
            GetUrl(ToString(Pop()));
            return true;
        }
        case kConstantPool: ReadPool(args); return true;
        case kPush: Push(args); return true;
        case kPop: Pop(); return true;
        case kJump: return Branch(static_cast<int16_t>(args.U16()), size, pos);
        case kIf: {
            auto offset = static_cast<int16_t>(args.U16());
            return !ToBoolean(Pop()) || Branch(offset, size, pos);
        }
        case kWaitForFrame2: Pop(); return true;   // every frame is loaded: no actions are skipped
        case kStoreRegister: {
            uint8_t index = args.U8();
            if (index < kRegisters && !m_stack.empty()) m_registers[index] = m_stack.back();
            return true;
        }
        case kDefineFunction:
        case kDefineFunction2: DefineFunction(op, args, size, pos); return true;
        case kTry: Try(args, pos); return true;
        case kThrow: return false;   // nothing catches it here: the block ends
        default: return Compute(op);
        }
    }

    // The arithmetic, comparisons and conversions, and the stack effect of
    // every other action that takes or gives values.
    bool Compute(uint8_t op) {
        auto binary = [this](auto f) {
            Value b = Pop(), a = Pop();
            PushValue(f(a, b));
        };
        auto number = [](double n) { return Value::Number(n); };
        switch (op) {
        case kAdd: binary([&](const Value& a, const Value& b) { return number(ToNumber(a) + ToNumber(b)); }); break;
        case kSubtract: binary([&](const Value& a, const Value& b) { return number(ToNumber(a) - ToNumber(b)); }); break;
        case kMultiply: binary([&](const Value& a, const Value& b) { return number(ToNumber(a) * ToNumber(b)); }); break;
        case kDivide: binary([&](const Value& a, const Value& b) { return number(ToNumber(a) / ToNumber(b)); }); break;
        case kModulo: binary([&](const Value& a, const Value& b) { return number(std::fmod(ToNumber(a), ToNumber(b))); }); break;
        case kEquals: binary([&](const Value& a, const Value& b) { return Value::Boolean(ToNumber(a) == ToNumber(b)); }); break;
        case kLess: binary([&](const Value& a, const Value& b) { return Value::Boolean(ToNumber(a) < ToNumber(b)); }); break;
        case kAnd: binary([&](const Value& a, const Value& b) { return Value::Boolean(ToBoolean(a) && ToBoolean(b)); }); break;
        case kOr: binary([&](const Value& a, const Value& b) { return Value::Boolean(ToBoolean(a) || ToBoolean(b)); }); break;
        case kStringEquals: binary([&](const Value& a, const Value& b) { return Value::Boolean(ToString(a) == ToString(b)); }); break;
        case kStringAdd: binary([&](const Value& a, const Value& b) { return Value::String(Bounded(ToString(a) + ToString(b))); }); break;
        case kAdd2:
            binary([&](const Value& a, const Value& b) {
                if (a.IsString() || b.IsString()) return Value::String(Bounded(ToString(a) + ToString(b)));
                return number(ToNumber(a) + ToNumber(b));
            });
            break;
        case kLess2: binary([&](const Value& a, const Value& b) { return Less(a, b); }); break;
        case kGreater: binary([&](const Value& a, const Value& b) { return Less(b, a); }); break;
        case kEquals2: binary([&](const Value& a, const Value& b) { return Value::Boolean(LooselyEqual(a, b)); }); break;
        case kStrictEquals:
            binary([&](const Value& a, const Value& b) { return Value::Boolean(a.kind == b.kind && LooselyEqual(a, b)); });
            break;
        case kNot: PushValue(Value::Boolean(!ToBoolean(Pop()))); break;
        case kToInteger: PushValue(number(std::trunc(ToNumber(Pop())))); break;
        case kToNumber: PushValue(number(ToNumber(Pop()))); break;
        case kToString: PushValue(Value::String(ToString(Pop()))); break;
        case kIncrement: PushValue(number(ToNumber(Pop()) + 1)); break;
        case kDecrement: PushValue(number(ToNumber(Pop()) - 1)); break;
        case kPushDuplicate: if (!m_stack.empty()) PushValue(Value(m_stack.back())); break;
        case kStackSwap: if (m_stack.size() >= 2) std::swap(m_stack.back(), m_stack[m_stack.size() - 2]); break;
        case kGetVariable: PushValue(FrameProperty(nullptr, ToString(Pop()))); break;
        case kGetProperty: {
            double index = ToNumber(Pop());   // NaN and huge values included: compared, never cast first
            Playhead* of = Resolve(ToString(Pop()));
            static constexpr std::array<const char*, 13> kNames = {"", "", "", "", "_currentframe", "_totalframes",
                                                                  "", "", "", "", "", "", "_framesloaded"};
            PushValue(index >= 0 && index < 13 ? FrameProperty(of, kNames[static_cast<size_t>(index)]) : Value{});
            break;
        }
        case kCallFunction: Drop(1), Drop(Count()), PushValue({}); break;
        case kCallMethod:
        case kNewMethod: Drop(2), Drop(Count()), PushValue({}); break;
        case kNewObject: Drop(1), Drop(Count()), PushValue({}); break;
        case kInitArray: Drop(Count()), PushValue({}); break;
        case kInitObject: Drop(2 * Count()), PushValue({}); break;
        case kImplements: Drop(1), Drop(Count()); break;
        case kStartDrag: {
            Drop(2);
            if (ToBoolean(Pop())) Drop(4);
            break;
        }
        default:
            for (const StackEffect& e : kEffects) {
                if (e.op != op) continue;
                Drop(e.pops);
                for (int i = 0; i < e.pushes; ++i) PushValue({});
                break;
            }
            break;
        }
        return true;
    }

    // A branch is relative to the end of its own action; one that leaves
    // the block ends it.
    bool Branch(int offset, size_t size, size_t& pos) {
        int64_t to = static_cast<int64_t>(pos) + offset;
        if (to < 0 || to > static_cast<int64_t>(size)) return false;
        pos = static_cast<size_t>(to);
        return true;
    }

    // A function is defined, not run: its body, which follows the action,
    // is stepped over. An anonymous one leaves a value behind.
    void DefineFunction(uint8_t op, Reader& args, size_t size, size_t& pos) {
        std::string name = args.String();
        size_t params = args.U16();
        if (op == kDefineFunction2) args.Skip(3);   // register count, flags
        for (size_t i = 0; i < params && !args.Failed(); ++i) {
            if (op == kDefineFunction2) args.U8();
            args.String();
        }
        size_t body = args.U16();
        pos = std::min(size, pos + body);
        if (name.empty()) PushValue(Value::String("[function]"));
    }

    // Nothing is thrown here, so the catch block is never entered.
    void Try(Reader& args, size_t pos) {
        args.U8();
        size_t trySize = args.U16(), catchSize = args.U16();
        if (catchSize > 0 && m_skips.size() < kMaxSkips) m_skips.push_back({pos + trySize, catchSize});
    }

    bool SkipRegion(size_t& pos) {
        for (auto it = m_skips.begin(); it != m_skips.end(); ++it) {
            if (it->first != pos) continue;
            pos += it->second;
            m_skips.erase(it);
            return true;
        }
        return false;
    }

    Playhead* Target() const { return m_context.registry.Find(m_target); }
    static uint64_t Serial(const Playhead* p) { return p ? p->Serial() : 0; }

    // A movie whose frames jump to each other forever would never end a step.
    void Jump(Playhead& target, int frame) {
        if (++m_context.result.gotos > Limits::kMaxGotosPerStep) return;
        target.Goto(frame, m_context.more);
    }

    // The goto may remove the target (a sprite sending its parent back).
    void GotoAndStop(int frame) {
        if (!Target()) return;
        Jump(*Target(), frame);
        if (Target()) Target()->SetPlaying(false);
    }

    // GotoLabel leaves playing as it was; GotoFrame2 sets it.
    void GotoLabel(const std::string& label, std::optional<bool> play) {
        if (!Target()) return;
        int frame = Target()->FindLabel(label);
        if (frame < 0) return;
        Jump(*Target(), frame);
        if (play && Target()) Target()->SetPlaying(*play);
    }

    // The frame is a number counted from 1, or a label, either of them
    // possibly behind "target:".
    void GotoFrame2(Reader& args) {
        uint8_t flags = args.U8();
        int bias = (flags & 2) ? args.U16() : 0;
        bool play = (flags & 1) != 0;
        Value frame = Pop();
        if (!frame.IsString()) {
            double n = ToNumber(frame);
            if (!Target() || !std::isfinite(n) || n < 1 || n > 65536) return;
            GotoNumber(static_cast<int>(n) - 1 + bias, play);
            return;
        }
        uint64_t saved = m_target;
        std::string text = frame.text;
        if (auto colon = text.rfind(':'); colon != std::string::npos) {
            m_target = Serial(Resolve(text.substr(0, colon)));
            text = text.substr(colon + 1);
        }
        char* end = nullptr;
        long number = std::strtol(text.c_str(), &end, 10);
        if (!text.empty() && end && *end == 0 && number >= 1)
            GotoNumber(static_cast<int>(std::min(number, 65536L)) - 1 + bias, play);
        else
            GotoLabel(text, play);
        m_target = saved;
    }

    void GotoNumber(int frame, bool play) {
        if (!Target()) return;
        Jump(*Target(), frame);
        if (Target()) Target()->SetPlaying(play);
    }

    void GetUrl(const std::string& url) {
        if (url.size() >= 10 && strncasecmp(url.c_str(), "FSCommand:", 10) == 0 &&
            strcasecmp(url.c_str() + 10, "quit") == 0)
            m_context.result.quit = true;
    }

    void ReadPool(Reader& args) {
        size_t count = args.U16();
        m_pool.clear();
        for (size_t i = 0; i < count && !args.Failed(); ++i) m_pool.push_back(args.String());
    }

    void Push(Reader& args) {
        while (!args.AtEnd() && !args.Failed()) {
            Value v;
            uint8_t type = args.U8();
            switch (type) {
            case 0: v = Value::String(args.String()); break;
            case 1: { uint32_t bits = args.U32(); float f; std::memcpy(&f, &bits, 4); v = Value::Number(f); break; }
            case 2: v.kind = Value::Kind::Null; break;
            case 4: {
                uint8_t index = args.U8();
                if (index < kRegisters) v = m_registers[index];
                break;
            }
            case 5: v = Value::Boolean(args.U8() != 0); break;
            case 6: {
                uint64_t high = args.U32(), low = args.U32();
                uint64_t bits = (high << 32) | low;
                double d;
                std::memcpy(&d, &bits, 8);
                v = Value::Number(d);
                break;
            }
            case 7: v = Value::Number(static_cast<int32_t>(args.U32())); break;
            case 8: case 9: {
                size_t index = type == 8 ? args.U8() : args.U16();
                if (index < m_pool.size()) v = Value::String(m_pool[index]);
                break;
            }
            default: break;   // undefined
            }
            PushValue(std::move(v));
        }
    }

    void PushValue(Value v) {
        if (m_stack.size() < kMaxStack) m_stack.push_back(std::move(v));
    }

    Value Pop() {
        if (m_stack.empty()) return {};
        Value v = std::move(m_stack.back());
        m_stack.pop_back();
        return v;
    }

    void Drop(size_t count) { m_stack.resize(m_stack.size() - std::min(count, m_stack.size())); }

    // A count the stack gives, no more than the values under it.
    size_t Count() {
        double n = ToNumber(Pop());
        if (!(n > 0)) return 0;
        return static_cast<size_t>(std::min(n, static_cast<double>(m_stack.size())));
    }

    double ToNumber(const Value& v) const {
        switch (v.kind) {
        case Value::Kind::Boolean:
        case Value::Kind::Number: return v.number;
        case Value::Kind::String: {
            char* end = nullptr;
            double n = std::strtod(v.text.c_str(), &end);
            if (!v.text.empty() && end && *end == 0) return n;
            return m_context.version < 5 ? 0 : std::nan("");
        }
        case Value::Kind::Null: return 0;
        case Value::Kind::Undefined: return m_context.version < 7 ? 0 : std::nan("");
        }
        return 0;
    }

    bool ToBoolean(const Value& v) const {
        switch (v.kind) {
        case Value::Kind::Boolean:
        case Value::Kind::Number: return v.number != 0 && !std::isnan(v.number);
        case Value::Kind::String: {
            if (m_context.version >= 7) return !v.text.empty();
            double n = ToNumber(v);
            return n != 0 && !std::isnan(n);
        }
        default: return false;
        }
    }

    std::string ToString(const Value& v) const {
        switch (v.kind) {
        case Value::Kind::String: return v.text;
        case Value::Kind::Boolean: return v.number != 0 ? "true" : "false";
        case Value::Kind::Null: return "null";
        case Value::Kind::Undefined: return m_context.version >= 7 ? "undefined" : "";
        case Value::Kind::Number: {
            if (std::isnan(v.number)) return "NaN";
            if (std::isinf(v.number)) return v.number > 0 ? "Infinity" : "-Infinity";
            char text[32];
            std::snprintf(text, sizeof text, "%.15g", v.number);
            return text;
        }
        }
        return {};
    }

    static std::string Bounded(std::string s) {
        constexpr size_t kMaxText = 65536;   // strings a loop doubles stay small
        if (s.size() > kMaxText) s.resize(kMaxText);
        return s;
    }

    Value Less(const Value& a, const Value& b) const {
        if (a.IsString() && b.IsString()) return Value::Boolean(a.text < b.text);
        double x = ToNumber(a), y = ToNumber(b);
        if (std::isnan(x) || std::isnan(y)) return {};
        return Value::Boolean(x < y);
    }

    bool LooselyEqual(const Value& a, const Value& b) const {
        auto nothing = [](const Value& v) { return v.kind == Value::Kind::Undefined || v.kind == Value::Kind::Null; };
        if (nothing(a) || nothing(b)) return nothing(a) && nothing(b);
        if (a.IsString() && b.IsString()) return a.text == b.text;
        return ToNumber(a) == ToNumber(b);
    }

    // The frame properties of a timeline (the current target's when `of`
    // is null), counted from 1; every other variable is undefined.
    Value FrameProperty(Playhead* of, const std::string& name) {
        Playhead* p = of ? of : Target();
        if (!p || name.empty()) return {};
        if (strcasecmp(name.c_str(), "_currentframe") == 0) return Value::Number(std::max(0, p->Frame()) + 1);
        if (strcasecmp(name.c_str(), "_totalframes") == 0 || strcasecmp(name.c_str(), "_framesloaded") == 0)
            return Value::Number(p->FrameCount());
        return {};
    }

    // "" is the frame's own timeline; "/", "_root" and "_level0" the root;
    // "..", "_parent" one up, "this" the same; other names are sprites
    // placed in the timeline reached so far. Parts are split by '/' or '.'.
    Playhead* Resolve(const std::string& path) {
        Playhead* at = m_context.registry.Find(m_owner);
        if (path.empty()) return at;
        size_t pos = 0;
        if (path[0] == '/') at = &m_context.root, pos = 1;
        while (at && pos < path.size()) {
            size_t end = path.find_first_of("/.", pos);
            if (end == std::string::npos) end = path.size();
            // ".." splits into two empty parts by '.'; take it whole.
            if (path.compare(pos, 2, "..") == 0) end = pos + 2;
            std::string part = path.substr(pos, end - pos);
            if (part == ".." || part == "_parent")
                at = at->Parent();
            else if (part == "_root" || part == "_level0")
                at = &m_context.root;
            else if (!part.empty() && part != "this")
                at = at->Child(part);
            pos = end + 1;
        }
        return at;
    }

    const ActionContext& m_context;
    uint64_t m_owner;
    uint64_t m_target;
    std::vector<Value> m_stack;
    std::vector<std::string> m_pool;
    std::array<Value, kRegisters> m_registers;
    std::vector<std::pair<size_t, size_t>> m_skips;   // catch blocks to step over: start, length
};

} // namespace

void RunActions(const ActionContext& context, uint64_t owner, std::span<const uint8_t> code) {
    Machine(context, owner).Run(code);
}

} // namespace showsaver::flash
