// A step of the movie as scripts see it, in Flash Player's order: the
// enterFrame events of the clips already there, the frames' actions, the
// load events of the clips that came and the unload events of those that
// went, then the timers that fell due.

#include "flash/script/Vm.h"

namespace showsaver::flash::script {

namespace {
constexpr uint32_t kLoadEvent = 0x01, kEnterFrameEvent = 0x02, kUnloadEvent = 0x04;
constexpr int kMaxTimerRuns = 10;   // one timer's calls in one step
} // namespace

void Vm::RunStep(std::vector<PendingActions>& actions, double elapsedMs, bool events) {
    if (abandoned) return;
    stackBase = reinterpret_cast<uintptr_t>(__builtin_frame_address(0));
    m_stepStart = std::chrono::steady_clock::now();
    m_actions = 0;
    m_churn = 0;
    gotos = 0;
    nowMs += elapsedMs;
    pending = &actions;
    size_t next = 0;
    try {
        if (!m_initDone) {
            m_initDone = true;
            for (const auto& code : movie.initActions) RunBlock(code, root.Serial());
        }
        SoundsCompleted();
        if (events) ClipEvents(true);
        RunActions(actions, next);
        ClipEvents(false);
        RunActions(actions, next);
        if (events) FireTimers();
        RunActions(actions, next);
        RunLoads(actions, next);
    } catch (Abandon&) {
        abandoned = true;
    } catch (Thrown&) {
        // A throw from where no handler runs (a getter read between
        // handlers) ends the step's scripts; the next step runs them again.
    }
    pending = nullptr;
    stack.clear();
    depth = 0;
    if (m_heapBytes > 2 * m_lastLive + (uint64_t{4} << 20)) CollectGarbage();
}

void Vm::CheckStack() const {
    auto here = reinterpret_cast<uintptr_t>(__builtin_frame_address(0));
    uintptr_t used = here < stackBase ? stackBase - here : here - stackBase;
    if (stackBase && used > ScriptLimits::kStackBytes) throw Abandon{};
}

void Vm::RunActions(std::vector<PendingActions>& actions, size_t& next) {
    for (; next < actions.size() && next < Limits::kMaxActionBlocksPerStep; ++next) {
        // An earlier block's goto may have removed the playhead of this one.
        PendingActions block = actions[next];
        if (registry.Find(block.owner)) RunBlock(*block.code, block.owner);
    }
}

void Vm::Collect(Playhead* p, std::vector<Playhead*>& out, int level) {
    if (level > Limits::kMaxSpriteNesting + 1) return;
    out.push_back(p);
    for (auto& [depth, object] : p->MutableList())
        if (object.sprite && object.character && object.character->kind == CharacterKind::Sprite)
            Collect(object.sprite.get(), out, level + 1);
}

void Vm::RunClipEvent(Playhead* p, const char* name) {
    Object* o = ClipObject(p);
    Value handler = GetOf(o, name);
    if (IsCallable(handler)) CallHandler(handler, Value::Obj(o), {});
}

// With `enterFrame`, the enterFrame events of the clips loaded before;
// without, the load events of new clips and the unload events of the gone.
void Vm::ClipEvents(bool enterFrame) {
    std::vector<Playhead*> clips;
    Collect(&root, clips, 0);
    std::vector<uint64_t> serials;
    serials.reserve(clips.size());
    for (Playhead* p : clips) serials.push_back(p->Serial());
    // Clips the timeline placed have their objects before any action runs
    // (a class registered later is not theirs).
    if (enterFrame)
        for (uint64_t serial : serials)
            if (Playhead* p = registry.Find(serial)) ClipObject(p);
    for (uint64_t serial : serials) {
        Playhead* p = registry.Find(serial);
        if (!p) continue;
        auto it = m_loaded.find(serial);
        if (enterFrame != (it != m_loaded.end())) continue;
        const DisplayObject* holder = p->Holder();
        ClipActions handlers = holder ? holder->clipActions : nullptr;
        uint32_t event = enterFrame ? kEnterFrameEvent : kLoadEvent;
        if (!enterFrame) m_loaded[serial] = {ClipObject(p), handlers};
        if (handlers)
            for (const ClipAction& action : *handlers)
                if ((action.events & event) && registry.Find(serial)) RunBlock(action.code, serial);
        if (registry.Find(serial)) RunClipEvent(p, enterFrame ? "onEnterFrame" : "onLoad");
    }
    if (enterFrame) return;
    std::vector<std::pair<uint64_t, Loaded>> gone;
    for (auto& [serial, loaded] : m_loaded)
        if (!registry.Find(serial)) gone.emplace_back(serial, loaded);
    std::erase_if(m_clips, [this](const auto& entry) { return !registry.Find(entry.first) && !m_loaded.count(entry.first); });
    for (auto& [serial, loaded] : gone) {
        m_loaded.erase(serial);
        m_clips.erase(serial);
        m_names.erase(serial);
        pens.erase(serial);
        Value handler = GetOf(loaded.object, "onUnload");
        if (IsCallable(handler)) CallHandler(handler, Value::Obj(loaded.object), {});
        if (loaded.actions)
            for (const ClipAction& action : *loaded.actions)
                if (action.events & kUnloadEvent) RunBlock(action.code, root.Serial());
    }
}

void Vm::FireTimers() {
    std::vector<int> ids;
    for (auto& [id, t] : timers) ids.push_back(id);
    for (int id : ids) {
        for (int run = 0; run < kMaxTimerRuns; ++run) {
            auto it = timers.find(id);
            if (it == timers.end() || it->second.due > nowMs) break;
            Timer t = it->second;
            if (t.repeat) it->second.due += t.interval;
            else timers.erase(it);
            if (t.method.empty()) CallHandler(t.function, Value{}, t.args);
            else CallHandlerMethod(t.self, t.method, t.args);
        }
        auto it = timers.find(id);
        if (it != timers.end() && it->second.due <= nowMs) it->second.due = nowMs + it->second.interval;
    }
}

} // namespace showsaver::flash::script
