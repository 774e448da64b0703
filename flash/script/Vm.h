#pragma once
// The ActionScript 1 and 2 machine: the interpreter, the object model with
// its heap, the global classes and the MovieClip binding to the display
// list. One per loaded movie; the player calls it through ScriptMachine
// (Script.h).

#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "flash/characters/SoundData.h"
#include "flash/display/Playhead.h"
#include "flash/script/Script.h"
#include "flash/script/Value.h"

namespace showsaver::flash::script {

// What bounds a movie's scripts. Past any of them the movie is abandoned.
struct ScriptLimits {
    static constexpr uint64_t kActionsPerStep = 5'000'000;
    static constexpr std::chrono::milliseconds kTimePerStep{1000};
    static constexpr int kCallDepth = 256;
    static constexpr size_t kStack = 100'000;
    static constexpr uint64_t kHeapBytes = uint64_t{64} << 20;   // long strings made in a step: as much again
    static constexpr size_t kTextLength = 1 << 20;
    static constexpr size_t kArrayLength = 500'000;   // one array's storage stays under 64 MB
    static constexpr size_t kIntervals = 1000;
    static constexpr size_t kRegisters = 256;
    // The machine stack that calls inside calls may take: what 256 levels
    // need, and well inside a thread's 8 MB (builds with sanitizers, whose
    // frames are larger, stop sooner).
    static constexpr uintptr_t kStackBytes = uintptr_t{2} << 20;
};

// Thrown through the interpreter when a limit is reached.
struct Abandon {};
// A script's throw, caught by Try.
struct Thrown {
    Value value;
};

class Vm {
public:
    Vm(const Movie& movie, PlayheadRegistry& registry, Playhead& root);
    ~Vm();
    Vm(const Vm&) = delete;
    Vm& operator=(const Vm&) = delete;

    // --- What the player asks (see Script.h).
    // A step: the clips' enterFrame events, the frames' actions (and those
    // their gotos add), load and unload events, then the timers due.
    void RunStep(std::vector<PendingActions>& actions, double elapsedMs, bool events);
    bool quit = false;
    bool abandoned = false;
    std::function<void(const std::string&)> trace;
    int gotos = 0;

    // --- The object model.
    int version;
    Object* NewObject(Object* proto = nullptr);
    Object* NewArray(std::vector<Value> elements = {});
    Object* NewFunction(Native native, int length = 0);
    Object* NewScriptFunction(std::shared_ptr<const FunctionCode> code, std::vector<Object*> scope, uint64_t timeline);
    std::string Key(const std::string& name) const;   // case folded before version 7
    Property* Own(Object* o, const std::string& name);
    Property* Find(Object* o, const std::string& name, Object** holder = nullptr);
    Value Get(const Value& target, const std::string& name);
    Value GetOf(Object* o, const std::string& name);
    void Set(const Value& target, const std::string& name, Value value);
    void SetOf(Object* o, const std::string& name, Value value);
    void Define(Object* o, const std::string& name, Value value, uint8_t flags = kDontEnum);
    void Method(Object* o, const std::string& name, Native native, int length = 0);
    bool Delete(Object* o, const std::string& name);
    bool Has(Object* o, const std::string& name);
    // Has and GetOf in one: false when `o` has no such property.
    bool Lookup(Object* o, const std::string& name, Value& out);
    std::vector<std::string> Keys(Object* o);
    Object* ToObject(const Value& v);
    Object* ProtoFor(const Value& v);

    // --- Conversions.
    double ToNumber(const Value& v);
    double ToNumberOfText(const std::string& s) const;
    std::string ToString(const Value& v);
    static std::string NumberToString(double n, int radix = 10);
    bool ToBoolean(const Value& v) const;
    Value ToPrimitive(const Value& v, bool preferString = false);
    int32_t ToInt32(const Value& v);
    std::string TypeOf(const Value& v);
    bool LooseEquals(const Value& a, const Value& b);
    bool StrictEquals(const Value& a, const Value& b);
    Value Less(const Value& a, const Value& b);   // true, false, or undefined for NaN
    std::string Bounded(std::string s);

    // --- Calls.
    Value Call(const Value& function, const Value& self, std::span<const Value> args, Object* home = nullptr);
    Value Construct(const Value& constructor, std::span<const Value> args);
    Value CallMethod(const Value& target, const std::string& name, std::span<const Value> args);
    // Calls a handler the player runs of its own accord (a clip's event, a
    // timer, a listener, a sound's end): a throw no script catches ends the
    // handler, as it ends a block of actions, and the movie plays on.
    void CallHandler(const Value& function, const Value& self, std::span<const Value> args);
    void CallHandlerMethod(const Value& target, const std::string& name, std::span<const Value> args);
    bool IsCallable(const Value& v) const { return v.IsObject() && v.object->kind == Kind::Function; }
    bool constructing = false;   // a native runs as a constructor
    void Throw(const std::string& message);
    void Count(uint64_t actions = 1);
    void Charge(uint64_t bytes);
    void Release(uint64_t bytes) { m_heapBytes -= std::min(bytes, m_heapBytes); }   // memory freed at once

    // --- Globals.
    Object* global = nullptr;
    Object* objectProto = nullptr;
    Object* functionProto = nullptr;
    Object* arrayProto = nullptr;
    Object* stringProto = nullptr;
    Object* numberProto = nullptr;
    Object* booleanProto = nullptr;
    Object* dateProto = nullptr;
    Object* clipProto = nullptr;
    Object* errorProto = nullptr;
    std::map<std::string, Object*> registered;   // Object.registerClass: linkage name to constructor
    double nowMs = 0;           // the movie's clock, ms since it started
    uint64_t randomState = 0x853c49e6748fea9bULL;
    double Random();

    // --- Clips.
    const Movie& movie;
    PlayheadRegistry& registry;
    Playhead& root;
    std::vector<PendingActions>* pending = nullptr;   // where gotos add frame actions
    Object* ClipObject(Playhead* p);
    Playhead* ClipOf(const Value& v) const;
    Playhead* ClipOf(const Object* o) const;
    Playhead* ResolvePath(const std::string& path, Playhead* from);
    std::string TargetPath(Playhead* p, bool slashes);
    bool GetClipProperty(Playhead* p, const std::string& name, Value& out);
    bool SetClipProperty(Playhead* p, const std::string& name, const Value& v);
    Playhead* ChildNamed(Playhead* p, const std::string& name);
    // `play`: 1 plays, 0 stops, -1 leaves it as it was.
    void GotoFrame(Playhead* p, const Value& frame, int play);
    Value PropertyByIndex(Playhead* p, int index);
    void SetPropertyByIndex(Playhead* p, int index, const Value& v);
    Playhead* Duplicate(Playhead* p, const std::string& name, int depth);
    void RemoveClip(Playhead* p);
    void RunClipEvent(Playhead* p, const char* name);
    Rect Bounds(const Playhead* p, const Matrix& to, int depth = 0) const;
    struct Pen {
        Point at, start;
        int fillLayer = -1;          // the layer of the open fill
        int lineLayer = -1, line = -1;
        std::optional<LineStyle> lineStyle;
        size_t edges = 0;
    };
    std::map<uint64_t, Pen> pens;   // the drawing methods' state, by clip
    void DrawEdge(Playhead* p, Point to, std::optional<Point> control);
    void BeginFill(Playhead* p, const FillStyle& fill);
    void EndFill(Playhead* p);
    // lineGradientStyle: the current line style strokes with `fill`.
    void LineFill(Playhead* p, const std::optional<FillStyle>& fill);
    // setMask: `mask` (null for none) masks `p`, and is drawn only as its mask.
    void SetMask(Playhead* p, Playhead* mask);

    // --- Text fields: the characters scripts made, and their objects.
    std::vector<std::unique_ptr<TextCharacter>> fields;
    std::map<const Character*, Object*> fieldObjects;
    Object* textFieldProto = nullptr;
    Object* FieldNamed(Playhead* p, const std::string& name);
    DisplayObject* FieldHolder(Object* field);
    bool GetFieldProperty(Object* field, const std::string& name, Value& out);
    bool SetFieldProperty(Object* field, const std::string& name, const Value& v);
    void InstallText();
    // What a script's field shows beyond its character: its one format and
    // how it sizes itself.
    struct FieldStyle {
        std::string font = "Times New Roman";
        bool bold = false, italic = false, underline = false;
        TextAlign align = TextAlign::Left;
        bool embedFonts = false;
        int autoSize = 0;   // none, left, center, right
    };
    std::map<const Character*, FieldStyle> fieldStyles;
    // The size of a field's text as drawn, in twips (the player gives it;
    // without it fields do not size themselves).
    std::function<std::pair<double, double>(const TextCharacter&)> measureText;
    void Relayout(TextCharacter& text);

    // --- Sound objects: what they ask of the mixer, and those playing (by
    // their token) until their sound ends.
    ScriptSounds sounds;
    std::map<uint64_t, Object*> playingSounds;
    uint64_t nextSoundToken = 1;
    void InstallSound();
    void SoundsCompleted();

    // --- Loading into clips: done after a step's actions (whoever asked may
    // be the clip that is replaced), with MovieClipLoader's listeners told.
    struct PendingLoad {
        uint64_t target = 0;
        std::string url;
        Object* loader = nullptr;   // a MovieClipLoader, or null
        bool unload = false;
    };
    std::vector<PendingLoad> loads;
    ContentLoader loadContent;
    void QueueLoad(Playhead* target, const std::string& url, Object* loader, bool unload = false);
    // loadMovieNum (a target "_level<n>"): false when `target` names no
    // level. Level 0 is the player's to replace (rootLoad); the others are
    // clips over everything on the root, named "_level<n>".
    bool LoadLevel(const std::string& url, const std::string& target);
    std::string rootLoad;
    void RunLoads(std::vector<PendingActions>& actions, size_t& next);
    void InstallLoading();

    // --- BitmapData: the pixels every bitmap made holds while anything
    // (an object, a placed bitmap, a fill) keeps it, charged to the heap.
    BitmapPainter painter;
    std::vector<std::weak_ptr<BitmapCharacter>> bitmaps;
    uint64_t LiveBitmapBytes();
    void InstallBitmap();

    // --- The interpreter.
    void RunBlock(std::span<const uint8_t> code, uint64_t owner);
    Value Invoke(Object* function, const Value& self, std::span<const Value> args, Object* home);
    int depth = 0;
    std::vector<Value> stack;
    uintptr_t stackBase = 0;   // the frame address where the step began
    void CheckStack() const;

private:
    friend struct Interpreter;
    void InstallGlobals();
    void InstallClip();
    void InstallMore();
    void InstallClasses();
public:
    // A filter object of flash.filters as the renderer's filter, and back.
    std::optional<Filter> FilterOf(const Value& o);
    Value FilterObject(const Filter& f);
private:
    void CollectGarbage();
    void FireTimers();
public:
    void RunActions(std::vector<PendingActions>& actions, size_t& next);
private:
    void ClipEvents(bool enterFrame);
    void Collect(Playhead* p, std::vector<Playhead*>& out, int depth);

    std::vector<std::unique_ptr<Object>> m_heap;
    uint64_t m_heapBytes = 0, m_lastLive = 0;
    uint64_t m_actions = 0;
    uint64_t m_churn = 0;   // bytes of long strings made in this step
    std::chrono::steady_clock::time_point m_stepStart;
    std::map<uint64_t, Object*> m_clips;   // by playhead serial
    struct NameIndex {
        uint64_t version = UINT64_MAX;
        std::unordered_map<std::string, Playhead*> children;   // by name, case folded before version 7
        std::unordered_map<std::string, const Character*> fields;   // text fields, the same way
    };
    std::unordered_map<uint64_t, NameIndex> m_names;   // by playhead serial
    struct Loaded {
        Object* object = nullptr;
        ClipActions actions;
    };
    std::map<uint64_t, Loaded> m_loaded;   // clips whose load event ran
    bool m_initDone = false;
public:
    struct Timer {
        Value function, self;
        std::string method;
        std::vector<Value> args;
        double interval = 0, due = 0;
        bool repeat = true;
    };
    std::map<int, Timer> timers;
    int nextTimer = 1;
};

// Natives' argument access: undefined past the end.
inline const Value& Arg(std::span<const Value> args, size_t i) {
    static const Value undefined;
    return i < args.size() ? args[i] : undefined;
}

} // namespace showsaver::flash::script
