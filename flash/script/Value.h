#pragma once
// The values and objects of the ActionScript 1 and 2 machine. Objects live
// in the machine's heap (Heap.h), which frees the unreachable ones between
// frames; a Value only points at them.

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <unordered_map>
#include <vector>

namespace showsaver::flash {
struct BitmapCharacter;
}

namespace showsaver::flash::script {

struct Object;
class Vm;

struct Value {
    enum class Type : uint8_t { Undefined, Null, Boolean, Number, String, Object };
    Type type = Type::Undefined;
    double number = 0;        // a number, or a boolean as 0 or 1
    Object* object = nullptr;
    std::string text;

    static Value Null() { Value v; v.type = Type::Null; return v; }
    static Value Bool(bool b) { Value v; v.type = Type::Boolean; v.number = b ? 1 : 0; return v; }
    static Value Num(double n) { Value v; v.type = Type::Number; v.number = n; return v; }
    static Value Str(std::string s) { Value v; v.type = Type::String; v.text = std::move(s); return v; }
    static Value Obj(Object* o) {
        Value v;
        if (!o) return Null();
        v.type = Type::Object;
        v.object = o;
        return v;
    }
    bool IsUndefined() const { return type == Type::Undefined; }
    bool IsNothing() const { return type == Type::Undefined || type == Type::Null; }
    bool IsString() const { return type == Type::String; }
    bool IsNumber() const { return type == Type::Number; }
    bool IsObject() const { return type == Type::Object; }
};

// ASSetPropFlags' bits.
enum PropertyFlags : uint8_t { kDontEnum = 1, kDontDelete = 2, kReadOnly = 4 };

struct Property {
    std::string name;          // as first written (keys fold case before version 7)
    Value value;
    Object* getter = nullptr;  // addProperty's
    Object* setter = nullptr;
    uint8_t flags = 0;
    uint64_t order = 0;        // enumeration runs newest first
};

using Native = Value (*)(Vm& vm, const Value& self, std::span<const Value> args);

// A function's code: a slice of the movie's bytes, with what DefineFunction
// and DefineFunction2 say about it.
struct FunctionCode {
    std::string name;
    std::vector<std::pair<uint8_t, std::string>> params;   // register (0: none), name
    uint8_t registers = 4;
    uint16_t flags = 0;   // DefineFunction2's preload and suppress bits
    bool v2 = false;
    std::span<const uint8_t> body;
    std::shared_ptr<const std::vector<std::string>> pool;
    int version = 0;
};

enum class Kind : uint8_t {
    Plain, Function, Array, Boolean, Number, String, Date, Clip, Super, TextField, Sound
};

struct Object {
    Kind kind = Kind::Plain;
    bool marked = false;
    Object* proto = nullptr;
    std::unordered_map<std::string, Property> props;
    uint64_t nextOrder = 0;
    std::vector<Value> elements;   // an array's
    Value primitive;               // a wrapper's or a date's
    // Functions: native, or script code with the scope it was defined in.
    Native native = nullptr;
    std::shared_ptr<const FunctionCode> code;
    std::vector<Object*> scope;
    uint64_t clip = 0;             // a clip's playhead serial; a function's defining timeline
    std::vector<Object*> interfaces;   // a constructor's prototype's, by ImplementsOp
    Value self;                    // super's this; a Color's target
    Object* home = nullptr;        // super's prototype to look methods up from
    std::shared_ptr<BitmapCharacter> bitmap;   // a BitmapData's pixels; null once disposed
};

} // namespace showsaver::flash::script
