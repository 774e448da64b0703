#include "tools/showpack/JsonLocation.h"

namespace showsaver::showpack {

namespace {

// A cursor over valid JSON text that counts lines as it goes.
class Skimmer {
public:
    explicit Skimmer(std::string_view text) : m_text(text) {}

    int Line() const { return m_line; }
    bool AtEnd() const { return m_at >= m_text.size(); }
    char Peek() const { return AtEnd() ? '\0' : m_text[m_at]; }
    void Take() {
        if (m_text[m_at] == '\n') ++m_line;
        ++m_at;
    }
    void SkipSpace() {
        while (!AtEnd() && (Peek() == ' ' || Peek() == '\t' || Peek() == '\r' || Peek() == '\n')) Take();
    }
    // A string's raw text between its quotes (escapes left as they are).
    std::string_view String() {
        size_t start = ++m_at;
        while (!AtEnd() && Peek() != '"') {
            if (Peek() == '\\') ++m_at;
            if (!AtEnd()) ++m_at;
        }
        std::string_view raw = m_text.substr(start, m_at - start);
        if (!AtEnd()) ++m_at;
        return raw;
    }
    // Skips one value, nested or not.
    void SkipValue() {
        SkipSpace();
        if (Peek() == '"') {
            String();
            return;
        }
        if (Peek() == '{' || Peek() == '[') {
            int depth = 0;
            while (!AtEnd()) {
                char c = Peek();
                if (c == '"') {
                    String();
                    continue;
                }
                Take();
                if (c == '{' || c == '[') ++depth;
                if ((c == '}' || c == ']') && --depth == 0) return;
            }
            return;
        }
        while (!AtEnd() && std::string_view(",}] \t\r\n").find(Peek()) == std::string_view::npos) Take();
    }

private:
    std::string_view m_text;
    size_t m_at = 0;
    int m_line = 1;
};

} // namespace

std::vector<JsonStep> JsonPath(size_t itemIndex, std::string_view fieldPath) {
    std::vector<JsonStep> path{{"items", 0, false}, {{}, itemIndex, true}};
    while (!fieldPath.empty()) {
        size_t dot = fieldPath.find('.');
        path.push_back({std::string(fieldPath.substr(0, dot)), 0, false});
        fieldPath = dot == std::string_view::npos ? std::string_view{} : fieldPath.substr(dot + 1);
    }
    return path;
}

std::string JsonPathText(const std::vector<JsonStep>& path) {
    std::string text;
    for (const auto& step : path) {
        if (step.isIndex)
            text += "[" + std::to_string(step.index) + "]";
        else
            text += (text.empty() ? "" : ".") + step.key;
    }
    return text;
}

int LineOfPath(std::string_view text, const std::vector<JsonStep>& path) {
    Skimmer json(text);
    int found = 1;
    for (const auto& step : path) {
        json.SkipSpace();
        if (step.isIndex) {
            if (json.Peek() != '[') return found;
            json.Take();
            for (size_t i = 0;; ++i) {
                json.SkipSpace();
                if (json.AtEnd() || json.Peek() == ']') return found;
                if (i == step.index) break;
                json.SkipValue();
                json.SkipSpace();
                if (json.Peek() != ',') return found;
                json.Take();
            }
            found = json.Line();
            continue;
        }
        if (json.Peek() != '{') return found;
        json.Take();
        for (;;) {
            json.SkipSpace();
            if (json.Peek() != '"') return found;
            int keyLine = json.Line();
            std::string_view key = json.String();
            json.SkipSpace();
            if (json.Peek() != ':') return found;
            json.Take();
            if (key == step.key) {
                found = keyLine;
                break;
            }
            json.SkipValue();
            json.SkipSpace();
            if (json.Peek() != ',') return found;
            json.Take();
        }
    }
    return found;
}

TextPosition PositionOf(std::string_view text, size_t offset) {
    TextPosition position;
    for (size_t i = 0; i < offset && i < text.size(); ++i) {
        if (text[i] == '\n') {
            ++position.line;
            position.column = 1;
        } else {
            ++position.column;
        }
    }
    return position;
}

} // namespace showsaver::showpack
