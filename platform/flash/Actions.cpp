#include "platform/flash/Actions.h"

#include "platform/flash/Reader.h"

#include <cmath>
#include <cstring>
#include <optional>
#include <strings.h>
#include <string>

namespace showsaver::flash {
namespace {

enum Op : uint8_t {
    kNextFrame = 0x04, kPrevFrame = 0x05, kPlay = 0x06, kStop = 0x07, kPop = 0x17, kSetTarget2 = 0x20,
    kGotoFrame = 0x81, kGetUrl = 0x83, kConstantPool = 0x88, kSetTarget = 0x8B, kGotoLabel = 0x8C,
    kPush = 0x96, kGotoFrame2 = 0x9F,
};

constexpr size_t kMaxStack = 1024;

struct Value {
    bool isString = false;
    std::string text;
    double number = 0;
};

class Machine {
public:
    Machine(Playhead& owner, Playhead& root, std::vector<PendingActions>& more, ActionResult& result)
        : m_owner(owner), m_root(root), m_target(&owner), m_more(more), m_result(result) {}

    void Run(std::span<const uint8_t> code) {
        Reader r(code);
        for (size_t count = 0; count < Limits::kMaxActionsPerFrame && !r.AtEnd(); ++count) {
            uint8_t op = r.U8();
            if (op == 0) return;
            size_t length = op >= 0x80 ? r.U16() : 0;
            Reader args(r.Take(length));
            if (r.Failed()) return;
            Execute(op, args);
        }
    }

private:
    void Execute(uint8_t op, Reader& args) {
        switch (op) {
        case kNextFrame: GotoAndStop(m_target ? m_target->Frame() + 1 : 0); break;
        case kPrevFrame: GotoAndStop(m_target ? m_target->Frame() - 1 : 0); break;
        case kPlay: if (m_target) m_target->SetPlaying(true); break;
        case kStop: if (m_target) m_target->SetPlaying(false); break;
        case kGotoFrame: if (m_target) Jump(*m_target, args.U16()); break;
        case kGotoLabel: GotoLabel(args.String(), std::nullopt); break;
        case kSetTarget: m_target = Resolve(args.String()); break;
        case kSetTarget2: m_target = Resolve(Pop().text); break;
        case kGetUrl: GetUrl(args.String()); break;
        case kConstantPool: ReadPool(args); break;
        case kPush: Push(args); break;
        case kPop: Pop(); break;
        case kGotoFrame2: GotoFrame2(args); break;
        default: break;
        }
    }

    // A movie whose frames jump to each other forever would never end a step.
    void Jump(Playhead& target, int frame) {
        if (++m_result.gotos > Limits::kMaxGotosPerStep) return;
        target.Goto(frame, m_more);
    }

    void GotoAndStop(int frame) {
        if (!m_target) return;
        Jump(*m_target, frame);
        m_target->SetPlaying(false);
    }

    // GotoLabel leaves playing as it was; GotoFrame2 sets it.
    void GotoLabel(const std::string& label, std::optional<bool> play) {
        if (!m_target) return;
        int frame = m_target->FindLabel(label);
        if (frame < 0) return;
        Jump(*m_target, frame);
        if (play) m_target->SetPlaying(*play);
    }

    // The frame is a number counted from 1, or a label, either of them
    // possibly behind "target:".
    void GotoFrame2(Reader& args) {
        uint8_t flags = args.U8();
        int bias = (flags & 2) ? args.U16() : 0;
        bool play = (flags & 1) != 0;
        Value frame = Pop();
        if (!m_target) return;
        if (!frame.isString) {
            if (!std::isfinite(frame.number) || frame.number < 1 || frame.number > 65536) return;
            Jump(*m_target, static_cast<int>(frame.number) - 1 + bias);
            m_target->SetPlaying(play);
            return;
        }
        Playhead* saved = m_target;
        std::string text = frame.text;
        if (auto colon = text.rfind(':'); colon != std::string::npos) {
            m_target = Resolve(text.substr(0, colon));
            text = text.substr(colon + 1);
        }
        char* end = nullptr;
        long number = std::strtol(text.c_str(), &end, 10);
        if (m_target && !text.empty() && end && *end == 0 && number >= 1) {
            Jump(*m_target, static_cast<int>(std::min(number, 65536L)) - 1 + bias);
            m_target->SetPlaying(play);
        } else {
            GotoLabel(text, play);
        }
        m_target = saved;
    }

    void GetUrl(const std::string& url) {
        if (url.size() >= 10 && strncasecmp(url.c_str(), "FSCommand:", 10) == 0 &&
            strcasecmp(url.c_str() + 10, "quit") == 0)
            m_result.quit = true;
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
            case 0: v.isString = true, v.text = args.String(); break;
            case 1: { uint32_t bits = args.U32(); float f; std::memcpy(&f, &bits, 4); v.number = f; break; }
            case 4: args.U8(); break;
            case 5: v.number = args.U8(); break;
            case 6: {
                uint64_t high = args.U32(), low = args.U32();
                uint64_t bits = (high << 32) | low;
                std::memcpy(&v.number, &bits, 8);
                break;
            }
            case 7: v.number = static_cast<int32_t>(args.U32()); break;
            case 8: case 9: {
                size_t index = type == 8 ? args.U8() : args.U16();
                if (index < m_pool.size()) v.isString = true, v.text = m_pool[index];
                break;
            }
            default: break;   // null, undefined
            }
            if (m_stack.size() < kMaxStack) m_stack.push_back(std::move(v));
        }
    }

    Value Pop() {
        if (m_stack.empty()) return {};
        Value v = std::move(m_stack.back());
        m_stack.pop_back();
        return v;
    }

    // "" is the frame's own timeline; "/", "_root" the root; then names of
    // placed sprites, split by '/' or '.'.
    Playhead* Resolve(const std::string& path) {
        if (path.empty()) return &m_owner;
        Playhead* at = &m_owner;
        size_t pos = 0;
        if (path[0] == '/') at = &m_root, pos = 1;
        if (path.compare(0, 5, "_root") == 0) at = &m_root, pos = 5;
        while (at && pos < path.size()) {
            size_t end = path.find_first_of("/.", pos);
            if (end == std::string::npos) end = path.size();
            if (end > pos) at = at->Child(path.substr(pos, end - pos));
            pos = end + 1;
        }
        return at;
    }

    Playhead& m_owner;
    Playhead& m_root;
    Playhead* m_target;
    std::vector<PendingActions>& m_more;
    ActionResult& m_result;
    std::vector<Value> m_stack;
    std::vector<std::string> m_pool;
};

} // namespace

void RunActions(Playhead& owner, Playhead& root, std::span<const uint8_t> code, std::vector<PendingActions>& more,
                ActionResult& result) {
    Machine(owner, root, more, result).Run(code);
}

} // namespace showsaver::flash
