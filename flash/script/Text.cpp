// Text fields that scripts make (createTextField) and TextFormat: a field
// is a text character of the machine's own, placed in a clip's list and
// drawn as the movie's edit text is.

#include "flash/script/Units.h"
#include "flash/script/Vm.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace showsaver::flash::script {

#define NATIVE [](Vm & vm [[maybe_unused]], [[maybe_unused]] const Value& self, [[maybe_unused]] std::span<const Value> a) -> Value

namespace {

constexpr size_t kMaxFields = 10'000;

// The text of HTML with its tags taken out and its few entities read.
std::string PlainOf(const std::string& html) {
    std::string out;
    bool inTag = false;
    for (size_t i = 0; i < html.size(); ++i) {
        char c = html[i];
        if (c == '<') {
            inTag = true;
            if (html.compare(i, 3, "<br") == 0 || html.compare(i, 3, "<BR") == 0 || html.compare(i, 4, "</p>") == 0 ||
                html.compare(i, 4, "</P>") == 0)
                out.push_back('\n');
        } else if (c == '>') {
            inTag = false;
        } else if (!inTag) {
            static const std::pair<const char*, char> kEntities[] = {{"&lt;", '<'}, {"&gt;", '>'}, {"&amp;", '&'}, {"&quot;", '"'}, {"&apos;", '\''}};
            bool entity = false;
            for (auto [name, ch] : kEntities)
                if (html.compare(i, std::strlen(name), name) == 0) {
                    out.push_back(ch), i += std::strlen(name) - 1, entity = true;
                    break;
                }
            if (!entity) out.push_back(c);
        }
    }
    if (!out.empty() && out.back() == '\n') out.pop_back();
    return out;
}

std::string Lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

TextCharacter* CharacterOf(Vm& vm, Object* field) {
    if (!field || field->kind != Kind::TextField || !field->primitive.IsNumber()) return nullptr;
    auto index = static_cast<size_t>(field->primitive.number);
    return index < vm.fields.size() ? vm.fields[index].get() : nullptr;
}

constexpr double kGutter = 40;   // a field's inner margin each side, twips
const char* const kAutoSize[] = {"none", "left", "center", "right"};

void ApplyFormat(Vm& vm, TextCharacter& text, const Value& format) {
    if (!format.IsObject()) return;
    Vm::FieldStyle& style = vm.fieldStyles[&text];
    Value font = vm.Get(format, "font"), align = vm.Get(format, "align");
    if (!font.IsNothing()) style.font = vm.ToString(font);
    for (auto [name, flag] : {std::pair{"bold", &style.bold}, {"italic", &style.italic}, {"underline", &style.underline}})
        if (Value v = vm.Get(format, name); !v.IsNothing()) *flag = vm.ToBoolean(v);
    if (!align.IsNothing()) {
        std::string a = vm.ToString(align);
        style.align = a == "right" ? TextAlign::Right : a == "center" ? TextAlign::Center : a == "justify" ? TextAlign::Justify : TextAlign::Left;
    }
    Value color = vm.Get(format, "color"), size = vm.Get(format, "size");
    if (!color.IsNothing()) {
        auto c = static_cast<uint32_t>(vm.ToInt32(color));
        text.editColor = {uint8_t(c >> 16), uint8_t(c >> 8), uint8_t(c), 255};
    }
    if (!size.IsNothing()) {
        double points = vm.ToNumber(size);
        if (std::isfinite(points)) text.editHeight = std::clamp(points, 1.0, 500.0) * 20;
    }
}

// The embedded font of that name that has glyphs, or 0.
uint16_t EmbeddedFont(const Movie& movie, const std::string& name) {
    for (const auto& [id, character] : movie.characters) {
        if (character->kind != CharacterKind::Font) continue;
        const auto& font = static_cast<const FontCharacter&>(*character);
        if (!font.glyphs.empty() && !font.codes.empty() && Lower(font.name) == Lower(name)) return id;
    }
    return 0;
}

} // namespace

// The field's one run from its text and format, then its size when it
// sizes itself: width (unless it wraps) and height follow the text, the
// side that autoSize names staying where it was.
void Vm::Relayout(TextCharacter& text) {
    const FieldStyle& style = fieldStyles[&text];
    text.runs.clear();
    text.useOutlines = style.embedFonts;
    uint16_t font = style.embedFonts ? EmbeddedFont(movie, style.font) : 0;
    // Embedded fonts asked for and none of that name: nothing shows.
    if (!text.editText.empty() && (!style.embedFonts || font)) {
        TextRun run;
        run.text = text.editText;
        run.font = font;
        run.face = style.font;
        run.height = text.editHeight;
        run.color = text.editColor;
        run.bold = style.bold, run.italic = style.italic, run.underline = style.underline;
        run.align = style.align;
        text.runs.push_back(std::move(run));
    }
    if (!style.autoSize || !measureText) return;
    auto [w, h] = measureText(text);
    auto width = static_cast<int32_t>(std::min(std::ceil(w) + 2 * kGutter, 2e6));
    text.bounds.yMax = text.bounds.yMin + static_cast<int32_t>(std::min(std::ceil(h) + 2 * kGutter, 2e6));
    if (text.wordWrap) return;
    if (style.autoSize == 1) text.bounds.xMax = text.bounds.xMin + width;
    if (style.autoSize == 3) text.bounds.xMin = text.bounds.xMax - width;
    if (style.autoSize == 2) {
        int32_t centre = text.bounds.xMin + text.bounds.Width() / 2;
        text.bounds.xMin = centre - width / 2, text.bounds.xMax = text.bounds.xMin + width;
    }
}

DisplayObject* Vm::FieldHolder(Object* field) {
    Playhead* parent = registry.Find(field->clip);
    const TextCharacter* text = CharacterOf(*this, field);
    if (!parent || !text) return nullptr;
    for (auto& [depth, object] : parent->MutableList())
        if (object.character == text) return &object;
    return nullptr;
}

bool Vm::GetFieldProperty(Object* field, const std::string& name, Value& out) {
    TextCharacter* text = CharacterOf(*this, field);
    if (!text) return false;
    DisplayObject* h = FieldHolder(field);
    std::string key = Lower(name);
    if (key == "text" || key == "htmltext") out = Value::Str(text->editText);
    else if (key == "length") out = Value::Num(static_cast<double>(UnitCount(text->editText, version >= 6)));
    else if (key == "textcolor") out = Value::Num(text->editColor.r << 16 | text->editColor.g << 8 | text->editColor.b);
    else if (key == "border" || key == "background") out = Value::Bool(text->editBorder);
    else if (key == "autosize") out = Value::Str(kAutoSize[fieldStyles[text].autoSize]);
    else if (key == "wordwrap") out = Value::Bool(text->wordWrap);
    else if (key == "multiline") out = Value::Bool(text->multiline);
    else if (key == "embedfonts") out = Value::Bool(fieldStyles[text].embedFonts);
    else if (key == "textwidth" || key == "textheight") {
        auto [w, h] = measureText && !text->runs.empty() ? measureText(*text) : std::pair{0.0, 0.0};
        out = Value::Num(std::round((key == "textwidth" ? w : h) / 20));
    } else if (key == "_x" || key == "_y") out = Value::Num((h ? (key == "_x" ? h->matrix.tx : h->matrix.ty) : 0) / 20);
    else if (key == "_width") out = Value::Num(text->bounds.Width() / 20.0);
    else if (key == "_height") out = Value::Num(text->bounds.Height() / 20.0);
    else if (key == "_alpha") out = Value::Num((h ? h->color.ma : 1) * 100);
    else if (key == "_visible") out = Value::Bool(!h || h->visible);
    else if (key == "_name") out = Value::Str(h ? h->name : "");
    else if (key == "_parent") out = registry.Find(field->clip) ? Value::Obj(ClipObject(registry.Find(field->clip))) : Value{};
    else return false;
    return true;
}

bool Vm::SetFieldProperty(Object* field, const std::string& name, const Value& v) {
    TextCharacter* text = CharacterOf(*this, field);
    if (!text) return false;
    DisplayObject* h = FieldHolder(field);
    std::string key = Lower(name);
    double n = ToNumber(v);
    auto size = [](double px) { return static_cast<int32_t>(std::clamp(px, 0.0, 1e5) * 20); };
    if (key == "text") text->editText = Bounded(ToString(v));
    else if (key == "htmltext") text->editText = PlainOf(Bounded(ToString(v)));
    else if (key == "textcolor") {
        auto c = static_cast<uint32_t>(ToInt32(v));
        text->editColor = {uint8_t(c >> 16), uint8_t(c >> 8), uint8_t(c), 255};
    } else if (key == "border" || key == "background") text->editBorder = ToBoolean(v);
    else if (key == "autosize") {
        // true is "left", false "none"; an unknown name changes nothing.
        int mode = v.type == Value::Type::Boolean ? (ToBoolean(v) ? 1 : 0) : -1;
        for (int i = 0; i < 4 && mode < 0; ++i)
            if (v.IsString() && Lower(v.text) == kAutoSize[i]) mode = i;
        if (mode >= 0) fieldStyles[text].autoSize = mode;
    } else if (key == "wordwrap") text->wordWrap = ToBoolean(v);
    else if (key == "multiline") text->multiline = ToBoolean(v);
    else if (key == "embedfonts") fieldStyles[text].embedFonts = ToBoolean(v);
    else if (key == "_x" || key == "_y") {
        if (h && std::isfinite(n)) (key == "_x" ? h->matrix.tx : h->matrix.ty) = std::clamp(n, -1e7, 1e7) * 20;
    } else if (key == "_width") {
        if (std::isfinite(n)) text->bounds.xMax = text->bounds.xMin + size(n);
    } else if (key == "_height") {
        if (std::isfinite(n)) text->bounds.yMax = text->bounds.yMin + size(n);
    } else if (key == "_alpha") {
        if (h && std::isfinite(n)) h->color.ma = std::clamp(n, -1e6, 1e6) / 100;
    } else if (key == "_visible") {
        if (h) h->visible = ToBoolean(v);
    } else {
        return false;
    }
    if (key != "_x" && key != "_y" && key != "_alpha" && key != "_visible") Relayout(*text);
    return true;
}

void Vm::InstallText() {
    textFieldProto = NewObject(objectProto);
    Object* textField = NewFunction(NATIVE { return {}; });
    Define(textField, "prototype", Value::Obj(textFieldProto));
    Define(global, "TextField", Value::Obj(textField));
    Method(textFieldProto, "setTextFormat", NATIVE {
        if (TextCharacter* text = self.IsObject() ? CharacterOf(vm, self.object) : nullptr) {
            ApplyFormat(vm, *text, a.empty() ? Value{} : a.back());
            vm.Relayout(*text);
        }
        return {};
    });
    Define(textFieldProto, "setNewTextFormat", GetOf(textFieldProto, "setTextFormat"));
    Method(textFieldProto, "getTextFormat", NATIVE {
        TextCharacter* text = self.IsObject() ? CharacterOf(vm, self.object) : nullptr;
        Value format = vm.Construct(vm.GetOf(vm.global, "TextFormat"), {});
        if (text) {
            const Vm::FieldStyle& style = vm.fieldStyles[text];
            vm.Set(format, "color", Value::Num(text->editColor.r << 16 | text->editColor.g << 8 | text->editColor.b));
            vm.Set(format, "size", Value::Num(text->editHeight / 20));
            vm.Set(format, "font", Value::Str(style.font));
            vm.Set(format, "bold", Value::Bool(style.bold));
            vm.Set(format, "italic", Value::Bool(style.italic));
            vm.Set(format, "underline", Value::Bool(style.underline));
            static const char* const kAlign[] = {"left", "right", "center", "justify"};
            vm.Set(format, "align", Value::Str(kAlign[static_cast<int>(style.align)]));
        }
        return format;
    });
    Method(textFieldProto, "removeTextField", NATIVE {
        DisplayObject* h = self.IsObject() && self.object->kind == Kind::TextField ? vm.FieldHolder(self.object) : nullptr;
        Playhead* parent = h ? vm.registry.Find(self.object->clip) : nullptr;
        if (!parent) return {};
        for (auto& [depth, object] : parent->MutableList())
            if (&object == h) {
                parent->RemoveAt(depth);
                break;
            }
        return {};
    });

    Object* formatProto = NewObject(objectProto);
    Object* format = NewFunction(NATIVE {
        static const char* const kFields[] = {"font", "size", "color", "bold", "italic", "underline", "url", "target",
                                              "align", "leftMargin", "rightMargin", "indent", "leading"};
        for (size_t i = 0; i < std::size(kFields); ++i) vm.Set(self, kFields[i], i < a.size() ? a[i] : Value::Null());
        return self;
    });
    Define(format, "prototype", Value::Obj(formatProto));
    Define(formatProto, "constructor", Value::Obj(format));
    Define(global, "TextFormat", Value::Obj(format));

    // createTextField(name, depth, x, y, width, height): the field, from version 8.
    Method(clipProto, "createTextField", NATIVE {
        Playhead* p = vm.ClipOf(self);
        double depth = vm.ToNumber(Arg(a, 1)) + Playhead::kScriptDepths;
        if (!p || !std::isfinite(depth) || depth < 0 || depth > 65535 || vm.fields.size() >= kMaxFields) return {};
        auto px = [&](size_t i) {
            double n = vm.ToNumber(Arg(a, i));
            return std::isfinite(n) ? std::clamp(n, -1e5, 1e5) * 20 : 0.0;
        };
        auto text = std::make_unique<TextCharacter>();
        text->isEdit = true;
        text->bounds = {0, static_cast<int32_t>(std::max(0.0, px(4))), 0, static_cast<int32_t>(std::max(0.0, px(5)))};
        vm.Charge(sizeof(TextCharacter));
        DisplayObject* placed = p->PlaceCharacter(static_cast<uint16_t>(depth), text.get(), vm.ToString(Arg(a, 0)));
        if (!placed) return {};
        placed->matrix.tx = px(2), placed->matrix.ty = px(3);
        Object* o = vm.NewObject(vm.textFieldProto);
        o->kind = Kind::TextField;
        o->clip = p->Serial();
        o->primitive = Value::Num(static_cast<double>(vm.fields.size()));
        vm.fieldObjects[text.get()] = o;
        vm.fields.push_back(std::move(text));
        p->Touch();
        return Value::Obj(o);
    });
}

} // namespace showsaver::flash::script
