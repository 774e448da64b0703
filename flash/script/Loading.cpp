// loadMovie, unloadMovie and MovieClipLoader: a movie or a picture from
// beside the movie (the player's loader decides what may be reached)
// takes the place of a clip's content. Loads wait for the end of the step
// that asked; a MovieClipLoader's listeners hear how each went.

#include "flash/script/Vm.h"

#include <strings.h>

namespace showsaver::flash::script {

#define NATIVE [](Vm & vm [[maybe_unused]], [[maybe_unused]] const Value& self, [[maybe_unused]] std::span<const Value> a) -> Value

namespace {

constexpr size_t kMaxLoadsPerStep = 8;
constexpr size_t kMaxQueuedLoads = 64;
constexpr size_t kMaxListeners = 64;

// Tells a loader's listeners `event` with the clip (and more).
void Notify(Vm& vm, Object* loader, const char* event, std::vector<Value> args) {
    if (!loader) return;
    Value listeners = vm.GetOf(loader, "_listeners");
    if (!listeners.IsObject() || listeners.object->kind != Kind::Array) return;
    std::vector<Value> each = listeners.object->elements;   // a listener may remove itself
    for (const Value& listener : each)
        if (listener.IsObject() && vm.IsCallable(vm.Get(listener, event))) vm.CallHandlerMethod(listener, event, args);
}

// A clip named by a clip, or by a path from the root.
Playhead* TargetOf(Vm& vm, const Value& v) {
    if (Playhead* p = vm.ClipOf(v)) return p;
    if (v.IsString()) return vm.ResolvePath(v.text, &vm.root);
    return nullptr;
}

// The level a target such as "_level2" names, or -1.
int LevelOf(const std::string& target) {
    if (target.size() < 7 || target.size() > 11 || strncasecmp(target.c_str(), "_level", 6) != 0) return -1;
    int level = 0;
    for (size_t i = 6; i < target.size(); ++i) {
        if (target[i] < '0' || target[i] > '9') return -1;
        level = level * 10 + (target[i] - '0');
    }
    return level;
}

// Levels above the root's own: the top depths of its list, one each.
constexpr int kLevels = 16;

} // namespace

bool Vm::LoadLevel(const std::string& url, const std::string& target) {
    int level = LevelOf(target);
    if (level < 0) return false;
    if (level == 0) {
        if (!url.empty()) rootLoad = url;
        return true;
    }
    if (level >= kLevels || !pending) return true;
    auto depth = static_cast<uint16_t>(65535 - kLevels + level);
    std::string name = "_level" + std::to_string(level);
    auto& list = root.MutableList();
    auto it = list.find(depth);
    Playhead* clip = it != list.end() ? it->second.sprite.get() : nullptr;
    if (url.empty()) {
        if (clip) root.RemoveAt(depth), root.Touch();
        return true;
    }
    if (!clip) {
        clip = root.PlaceSprite(depth, nullptr, name, *pending);
        root.Touch();
    }
    QueueLoad(clip, url, nullptr);
    return true;
}

void Vm::QueueLoad(Playhead* target, const std::string& url, Object* loader, bool unload) {
    if (!target || loads.size() >= kMaxQueuedLoads) return;
    loads.push_back({target->Serial(), url, loader, unload});
}

void Vm::RunLoads(std::vector<PendingActions>& actions, size_t& next) {
    std::vector<PendingLoad> now;
    size_t count = std::min(loads.size(), kMaxLoadsPerStep);
    now.assign(loads.begin(), loads.begin() + static_cast<long>(count));
    loads.erase(loads.begin(), loads.begin() + static_cast<long>(count));
    std::vector<std::pair<Object*, uint64_t>> inits;
    for (const PendingLoad& load : now) {
        Playhead* target = registry.Find(load.target);
        Playhead* parent = target ? target->Parent() : nullptr;
        Value clip = target ? Value::Obj(ClipObject(target)) : Value{};
        if (!target) {
            Notify(*this, load.loader, "onLoadError", {clip, Value::Str("URLNotFound")});
            continue;
        }
        // Into the root: the player plays the movie in this one's place.
        if (target == &root) {
            if (!load.unload) rootLoad = load.url;
            continue;
        }
        LoadedContent content;
        if (!load.unload) content = loadContent ? loadContent(load.url) : LoadedContent{nullptr, nullptr, "nothing can be loaded"};
        if (!parent || (!load.unload && !content.movie && !content.picture)) {
            if (!load.unload) Notify(*this, load.loader, "onLoadError", {clip, Value::Str("URLNotFound")});
            continue;
        }
        if (!load.unload) Notify(*this, load.loader, "onLoadStart", {clip});
        target = registry.Find(load.target);   // a listener may have removed it
        parent = target ? target->Parent() : nullptr;
        if (!parent) continue;
        uint16_t depth = 0;
        DisplayObject* holder = nullptr;
        for (auto& [d, object] : parent->MutableList())
            if (object.sprite.get() == target) depth = d, holder = &object;
        if (!holder) continue;
        DisplayObject kept;
        kept.matrix = holder->matrix, kept.color = holder->color, kept.visible = holder->visible;
        kept.clipActions = holder->clipActions;
        std::string name = holder->name;
        Playhead* placed = content.movie ? parent->PlaceMovie(depth, *content.movie, name, actions)
                                         : parent->PlaceSprite(depth, nullptr, name, actions);
        if (placed && content.picture) placed->PlaceCharacter(1, content.picture, "");
        parent->Touch();
        if (!placed) {
            Notify(*this, load.loader, "onLoadError", {clip, Value::Str("LoadNeverCompleted")});
            continue;
        }
        DisplayObject* h = placed->Holder();
        h->matrix = kept.matrix, h->color = kept.color, h->visible = kept.visible;
        h->clipActions = kept.clipActions;
        if (load.unload) continue;
        Value made = Value::Obj(ClipObject(placed));
        Notify(*this, load.loader, "onLoadProgress", {made, Value::Num(1), Value::Num(1)});
        Notify(*this, load.loader, "onLoadComplete", {made, Value::Num(0)});
        inits.emplace_back(load.loader, placed->Serial());
    }
    // The loaded movies' first frames run before their onLoadInit.
    RunActions(actions, next);
    for (auto [loader, serial] : inits)
        if (Playhead* p = registry.Find(serial)) Notify(*this, loader, "onLoadInit", {Value::Obj(ClipObject(p))});
}

void Vm::InstallLoading() {
    Method(clipProto, "loadMovie", NATIVE {
        vm.QueueLoad(vm.ClipOf(self), vm.ToString(Arg(a, 0)), nullptr);
        return {};
    });
    Method(clipProto, "unloadMovie", NATIVE {
        vm.QueueLoad(vm.ClipOf(self), "", nullptr, true);
        return {};
    });
    Method(global, "loadMovie", NATIVE {
        vm.QueueLoad(TargetOf(vm, Arg(a, 1)), vm.ToString(Arg(a, 0)), nullptr);
        return {};
    });
    Method(global, "loadMovieNum", NATIVE {
        vm.LoadLevel(vm.ToString(Arg(a, 0)), "_level" + Vm::NumberToString(vm.ToNumber(Arg(a, 1))));
        return {};
    });
    Method(global, "unloadMovieNum", NATIVE {
        vm.LoadLevel("", "_level" + Vm::NumberToString(vm.ToNumber(Arg(a, 0))));
        return {};
    });
    Method(global, "unloadMovie", NATIVE {
        vm.QueueLoad(TargetOf(vm, Arg(a, 0)), "", nullptr, true);
        return {};
    });

    Object* proto = NewObject(objectProto);
    Object* ctor = NewFunction(NATIVE {
        if (self.IsObject()) vm.Define(self.object, "_listeners", Value::Obj(vm.NewArray()));
        return self;
    });
    Define(ctor, "prototype", Value::Obj(proto));
    Define(proto, "constructor", Value::Obj(ctor));
    Define(global, "MovieClipLoader", Value::Obj(ctor));
    Method(proto, "addListener", NATIVE {
        Value listeners = self.IsObject() ? vm.GetOf(self.object, "_listeners") : Value{};
        if (!listeners.IsObject() || listeners.object->kind != Kind::Array || !Arg(a, 0).IsObject()) return Value::Bool(false);
        auto& list = listeners.object->elements;
        bool known = std::any_of(list.begin(), list.end(), [&](const Value& v) { return v.object == Arg(a, 0).object; });
        if (!known && list.size() < kMaxListeners) list.push_back(Arg(a, 0));
        return Value::Bool(true);
    });
    Method(proto, "removeListener", NATIVE {
        Value listeners = self.IsObject() ? vm.GetOf(self.object, "_listeners") : Value{};
        if (!listeners.IsObject() || listeners.object->kind != Kind::Array) return Value::Bool(false);
        auto& list = listeners.object->elements;
        auto gone = std::erase_if(list, [&](const Value& v) { return v.IsObject() && v.object == Arg(a, 0).object; });
        return Value::Bool(gone > 0);
    });
    Method(proto, "loadClip", NATIVE {
        Playhead* target = TargetOf(vm, Arg(a, 1));
        if (!target || !self.IsObject()) return Value::Bool(false);
        vm.QueueLoad(target, vm.ToString(Arg(a, 0)), self.object);
        return Value::Bool(true);
    });
    Method(proto, "unloadClip", NATIVE {
        Playhead* target = TargetOf(vm, Arg(a, 0));
        if (!target) return Value::Bool(false);
        vm.QueueLoad(target, "", nullptr, true);
        return Value::Bool(true);
    });
    Method(proto, "getProgress", NATIVE {
        Value o = Value::Obj(vm.NewObject(vm.objectProto));
        vm.Set(o, "bytesLoaded", Value::Num(1));
        vm.Set(o, "bytesTotal", Value::Num(1));
        return o;
    });
}

} // namespace showsaver::flash::script
