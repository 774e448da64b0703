// The Sound class: a script's sounds, by their ExportAssets linkage names,
// through the movie's mixer. A Sound made with a clip speaks for that clip
// (its volume and pan, and stop, reach that clip's sounds); one made
// without speaks for every sound the movie makes.

#include "flash/script/Vm.h"

#include <cmath>

namespace showsaver::flash::script {

#define NATIVE [](Vm & vm [[maybe_unused]], [[maybe_unused]] const Value& self, [[maybe_unused]] std::span<const Value> a) -> Value

namespace {

Object* SoundOf(const Value& self) { return self.IsObject() && self.object->kind == Kind::Sound ? self.object : nullptr; }

uint64_t OwnerOf(Vm& vm, const Object* sound) {
    Playhead* p = vm.ClipOf(sound->self);
    return p ? p->Serial() : 0;
}

// The DefineSound a linkage name exports, or 0.
uint16_t SoundByName(Vm& vm, const Value& name) {
    if (!name.IsString()) return 0;
    auto it = vm.movie.exports.find(name.text);
    if (it == vm.movie.exports.end() || !vm.movie.soundIds.count(it->second)) return 0;
    return it->second;
}

const SoundData* Attached(Vm& vm, const Object* sound) {
    if (!sound->primitive.IsNumber()) return nullptr;
    auto it = vm.movie.soundIds.find(static_cast<uint16_t>(sound->primitive.number));
    return it == vm.movie.soundIds.end() ? nullptr : vm.movie.sounds[it->second].get();
}

double Finite(Vm& vm, const Value& v, double fallback) {
    if (v.IsUndefined()) return fallback;
    double n = vm.ToNumber(v);
    return std::isfinite(n) ? n : fallback;
}

} // namespace

void Vm::InstallSound() {
    Object* proto = NewObject(objectProto);
    Object* ctor = NewFunction(NATIVE {
        Object* o = self.IsObject() ? self.object : nullptr;
        if (!o || o->kind != Kind::Plain) return self;
        o->kind = Kind::Sound;
        o->self = vm.ClipOf(Arg(a, 0)) ? Arg(a, 0) : Value{};
        o->clip = vm.nextSoundToken++;
        return self;
    });
    Define(ctor, "prototype", Value::Obj(proto));
    Define(proto, "constructor", Value::Obj(ctor));
    Define(global, "Sound", Value::Obj(ctor));

    Method(proto, "attachSound", NATIVE {
        if (Object* s = SoundOf(self))
            if (uint16_t id = SoundByName(vm, Arg(a, 0))) s->primitive = Value::Num(id);
        return {};
    });
    Method(proto, "start", NATIVE {
        Object* s = SoundOf(self);
        const SoundData* data = s ? Attached(vm, s) : nullptr;
        if (!data) return {};
        double loops = Finite(vm, Arg(a, 1), 1);
        vm.sounds.commands.push_back({s->clip, OwnerOf(vm, s), static_cast<uint16_t>(s->primitive.number), false,
                                      Finite(vm, Arg(a, 0), 0), static_cast<int>(std::clamp(loops, 1.0, 32767.0))});
        vm.playingSounds[s->clip] = s;
        return {};
    });
    Method(proto, "stop", NATIVE {
        Object* s = SoundOf(self);
        if (!s) return {};
        uint16_t id = 0;
        if (!Arg(a, 0).IsUndefined() && !(id = SoundByName(vm, Arg(a, 0)))) return {};
        uint64_t owner = OwnerOf(vm, s);
        vm.sounds.commands.push_back({s->clip, owner, id, true, 0, 1});
        // The Sound objects whose sounds this stops wait for them no more.
        std::erase_if(vm.playingSounds, [&](const auto& entry) {
            const Object* o = entry.second;
            return (!owner || OwnerOf(vm, o) == owner) && (!id || (o->primitive.IsNumber() && o->primitive.number == id));
        });
        return {};
    });
    Method(proto, "setVolume", NATIVE {
        if (Object* s = SoundOf(self)) vm.sounds.transforms[OwnerOf(vm, s)].volume = Finite(vm, Arg(a, 0), 100);
        return {};
    });
    Method(proto, "getVolume", NATIVE {
        Object* s = SoundOf(self);
        if (!s) return {};
        auto it = vm.sounds.transforms.find(OwnerOf(vm, s));
        return Value::Num(it == vm.sounds.transforms.end() ? 100 : it->second.volume);
    });
    Method(proto, "setPan", NATIVE {
        if (Object* s = SoundOf(self))
            vm.sounds.transforms[OwnerOf(vm, s)].pan = std::clamp(Finite(vm, Arg(a, 0), 0), -100.0, 100.0);
        return {};
    });
    Method(proto, "getPan", NATIVE {
        Object* s = SoundOf(self);
        if (!s) return {};
        auto it = vm.sounds.transforms.find(OwnerOf(vm, s));
        return Value::Num(it == vm.sounds.transforms.end() ? 0 : it->second.pan);
    });
    auto getter = [this, proto](const char* name, Native get) {
        Define(proto, name, {});
        Own(proto, name)->getter = NewFunction(get);
    };
    getter("duration", NATIVE {
        Object* s = SoundOf(self);
        const SoundData* data = s ? Attached(vm, s) : nullptr;
        if (!data) return {};
        return Value::Num(std::round(data->sampleCount * 1000.0 / std::max(1, data->info.rate)));
    });
    getter("position", NATIVE {
        Object* s = SoundOf(self);
        if (!s) return {};
        auto it = vm.sounds.positions.find(s->clip);
        return Value::Num(it == vm.sounds.positions.end() ? 0 : std::round(it->second));
    });
}

// The sounds the mixer reported ended: their objects' onSoundComplete.
void Vm::SoundsCompleted() {
    std::vector<uint64_t> completed;
    completed.swap(sounds.completed);
    for (uint64_t token : completed) {
        auto it = playingSounds.find(token);
        if (it == playingSounds.end()) continue;
        Object* s = it->second;
        playingSounds.erase(it);
        sounds.positions.erase(token);
        Value handler = GetOf(s, "onSoundComplete");
        if (IsCallable(handler)) CallHandler(handler, Value::Obj(s), {});
    }
}

} // namespace showsaver::flash::script
