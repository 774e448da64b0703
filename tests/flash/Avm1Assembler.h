#pragma once
// A small ActionScript 1/2 assembler for tests: text in, action bytes out.
//
// One instruction a line (or between ';'). Simple actions by name
// ("add2", "getVariable", "trace", ...); "push" takes values: numbers,
// "strings", true, false, null, undefined, r<n> (a register) and c<n> (a
// constant). "name:" defines a label, "jump name" and "if name" branch to
// it (in the same block). Blocks end with "end":
//   pool "a" "b"                    ConstantPool
//   store r<n>                      StoreRegister
//   function name(a, b) ... end     DefineFunction (the name _: anonymous)
//   function2 name(r1:a, b) regs=3 preload=this+arguments+super+root+parent+global
//             suppress=this+arguments+super ... end
//   try [catch=name | catch=r<n>] ... catch ... finally ... end
//   with ... end
//   gotoFrame n, gotoLabel "x", gotoFrame2 play|stop, setTarget "path",
//   getUrl "url" "target", getUrl2
// Mistakes throw std::runtime_error.

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

namespace showsaver::flash::test {

class Avm1Assembler {
public:
    static std::vector<uint8_t> Assemble(const std::string& text) {
        Avm1Assembler a(text);
        size_t i = 0;
        Code code = a.Block(i, {});
        if (i != a.m_lines.size()) throw std::runtime_error("unexpected " + a.m_lines[i][0]);
        Bytes& out = code.bytes;
        for (auto& [at, label] : code.fixups) {
            auto it = code.labels.find(label);
            if (it == code.labels.end()) throw std::runtime_error("no label " + label);
            auto offset = static_cast<int16_t>(static_cast<long>(it->second) - static_cast<long>(at + 2));
            out[at] = uint8_t(offset), out[at + 1] = uint8_t(uint16_t(offset) >> 8);
        }
        return out;
    }

private:
    using Bytes = std::vector<uint8_t>;
    using Line = std::vector<std::string>;
    // Labels may be reached from inside a nested block and the other way:
    // both are kept by offset in the block and moved when it is inserted.
    struct Code {
        Bytes bytes;
        std::map<std::string, size_t> labels;
        std::vector<std::pair<size_t, std::string>> fixups;   // where an offset goes, its label
        void Insert(const Code& inner) {
            size_t base = bytes.size();
            bytes.insert(bytes.end(), inner.bytes.begin(), inner.bytes.end());
            for (auto& [name, at] : inner.labels) labels[name] = base + at;
            for (auto& [at, name] : inner.fixups) fixups.emplace_back(base + at, name);
        }
    };

    explicit Avm1Assembler(const std::string& text) {
        Line line;
        std::string token;
        auto flush = [&] {
            if (!token.empty()) line.push_back(token), token.clear();
        };
        auto endLine = [&] {
            flush();
            if (!line.empty()) m_lines.push_back(line), line.clear();
        };
        for (size_t i = 0; i < text.size(); ++i) {
            char c = text[i];
            if (c == '"') {
                flush();
                std::string s = "\"";
                for (++i; i < text.size() && text[i] != '"'; ++i) {
                    if (text[i] == '\\' && i + 1 < text.size()) {
                        ++i;
                        s.push_back(text[i] == 'n' ? '\n' : text[i]);
                    } else {
                        s.push_back(text[i]);
                    }
                }
                line.push_back(s);
            } else if (c == '\n' || c == ';') {
                endLine();
            } else if (c == ' ' || c == '\t' || c == ',' || c == '(' || c == ')') {
                flush();
            } else {
                token.push_back(c);
            }
        }
        endLine();
    }

    static void U16(Bytes& b, size_t v) {
        if (v > 0xFFFF) throw std::runtime_error("block too long");
        b.push_back(uint8_t(v)), b.push_back(uint8_t(v >> 8));
    }
    static void Str(Bytes& b, const std::string& s) { b.insert(b.end(), s.begin(), s.end()), b.push_back(0); }
    static void Action(Bytes& out, uint8_t op, const Bytes& data = {}) {
        out.push_back(op);
        if (op >= 0x80) U16(out, data.size()), out.insert(out.end(), data.begin(), data.end());
    }
    static std::string Unquote(const std::string& s) {
        if (s.empty() || s[0] != '"') throw std::runtime_error("a string was expected: " + s);
        return s.substr(1);
    }

    static const std::map<std::string, uint8_t>& Simple() {
        static const std::map<std::string, uint8_t> ops = {
            {"nextFrame", 0x04}, {"prevFrame", 0x05}, {"play", 0x06}, {"stop", 0x07}, {"add", 0x0A},
            {"subtract", 0x0B}, {"multiply", 0x0C}, {"divide", 0x0D}, {"equals", 0x0E}, {"less", 0x0F},
            {"and", 0x10}, {"or", 0x11}, {"not", 0x12}, {"stringEquals", 0x13}, {"stringLength", 0x14}, {"mbLength", 0x31}, {"mbSubstring", 0x35}, {"mbOrd", 0x36}, {"mbChr", 0x37},
            {"stringExtract", 0x15}, {"pop", 0x17}, {"toInteger", 0x18}, {"getVariable", 0x1C},
            {"setVariable", 0x1D}, {"setTarget2", 0x20}, {"stringAdd", 0x21}, {"getProperty", 0x22},
            {"setProperty", 0x23}, {"cloneSprite", 0x24}, {"removeSprite", 0x25}, {"trace", 0x26},
            {"stringLess", 0x29}, {"throw", 0x2A}, {"castOp", 0x2B}, {"implementsOp", 0x2C}, {"random", 0x30},
            {"charToAscii", 0x32}, {"asciiToChar", 0x33}, {"getTime", 0x34}, {"delete", 0x3A}, {"delete2", 0x3B},
            {"defineLocal", 0x3C}, {"callFunction", 0x3D}, {"return", 0x3E}, {"modulo", 0x3F}, {"newObject", 0x40},
            {"defineLocal2", 0x41}, {"initArray", 0x42}, {"initObject", 0x43}, {"typeOf", 0x44},
            {"targetPath", 0x45}, {"enumerate", 0x46}, {"add2", 0x47}, {"less2", 0x48}, {"equals2", 0x49},
            {"toNumber", 0x4A}, {"toString", 0x4B}, {"dup", 0x4C}, {"swap", 0x4D}, {"getMember", 0x4E},
            {"setMember", 0x4F}, {"increment", 0x50}, {"decrement", 0x51}, {"callMethod", 0x52},
            {"newMethod", 0x53}, {"instanceOf", 0x54}, {"enumerate2", 0x55}, {"bitAnd", 0x60}, {"bitOr", 0x61},
            {"bitXor", 0x62}, {"bitLShift", 0x63}, {"bitRShift", 0x64}, {"bitURShift", 0x65},
            {"strictEquals", 0x66}, {"greater", 0x67}, {"stringGreater", 0x68}, {"extends", 0x69},
        };
        return ops;
    }

    void PushValue(Bytes& d, const std::string& t) {
        if (t[0] == '"') {
            d.push_back(0), Str(d, t.substr(1));
        } else if (t == "null") {
            d.push_back(2);
        } else if (t == "undefined") {
            d.push_back(3);
        } else if (t == "true" || t == "false") {
            d.push_back(5), d.push_back(t == "true");
        } else if ((t[0] == 'r' || t[0] == 'c') && t.size() > 1 && std::isdigit(static_cast<unsigned char>(t[1]))) {
            int n = std::stoi(t.substr(1));
            if (t[0] == 'r') d.push_back(4), d.push_back(uint8_t(n));
            else if (n < 256) d.push_back(8), d.push_back(uint8_t(n));
            else d.push_back(9), U16(d, size_t(n));
        } else {
            double v = std::stod(t);
            if (v == std::trunc(v) && std::fabs(v) < 2147483648.0 && t.find('.') == std::string::npos &&
                t.find('e') == std::string::npos) {
                auto i = static_cast<uint32_t>(static_cast<int32_t>(v));
                d.push_back(7), d.push_back(uint8_t(i)), d.push_back(uint8_t(i >> 8)), d.push_back(uint8_t(i >> 16)),
                    d.push_back(uint8_t(i >> 24));
            } else {
                uint64_t bits;
                std::memcpy(&bits, &v, 8);
                d.push_back(6);
                for (int shift : {32, 40, 48, 56, 0, 8, 16, 24}) d.push_back(uint8_t(bits >> shift));
            }
        }
    }

    // Assembles lines from `i` up to one whose first word is in `stops`.
    Code Block(size_t& i, const std::vector<std::string>& stops) {
        Code code;
        Bytes& out = code.bytes;
        auto& labels = code.labels;
        auto& fixups = code.fixups;
        for (; i < m_lines.size(); ++i) {
            const Line& l = m_lines[i];
            const std::string& op = l[0];
            if (std::find(stops.begin(), stops.end(), op) != stops.end()) break;
            if (op.back() == ':' && l.size() == 1) {
                labels[op.substr(0, op.size() - 1)] = out.size();
            } else if (auto it = Simple().find(op); it != Simple().end()) {
                out.push_back(it->second);
            } else if (op == "push") {
                Bytes d;
                for (size_t k = 1; k < l.size(); ++k) PushValue(d, l[k]);
                Action(out, 0x96, d);
            } else if (op == "pool") {
                Bytes d;
                U16(d, l.size() - 1);
                for (size_t k = 1; k < l.size(); ++k) Str(d, Unquote(l[k]));
                Action(out, 0x88, d);
            } else if (op == "store") {
                Action(out, 0x87, {uint8_t(std::stoi(l.at(1).substr(1)))});
            } else if (op == "jump" || op == "if") {
                Action(out, op == "jump" ? 0x99 : 0x9D, {0, 0});
                fixups.emplace_back(out.size() - 2, l.at(1));
            } else if (op == "gotoFrame") {
                Bytes d;
                U16(d, size_t(std::stoi(l.at(1))));
                Action(out, 0x81, d);
            } else if (op == "gotoLabel" || op == "setTarget") {
                Bytes d;
                Str(d, Unquote(l.at(1)));
                Action(out, op == "gotoLabel" ? 0x8C : 0x8B, d);
            } else if (op == "gotoFrame2") {
                Action(out, 0x9F, {uint8_t(l.at(1) == "play" ? 1 : 0)});
            } else if (op == "getUrl") {
                Bytes d;
                Str(d, Unquote(l.at(1))), Str(d, Unquote(l.at(2)));
                Action(out, 0x83, d);
            } else if (op == "getUrl2") {
                Action(out, 0x9A, {0});
            } else if (op == "function" || op == "function2") {
                Function(code, i, op == "function2");
            } else if (op == "with") {
                Code body = Block(++i, {"end"});
                Bytes d;
                U16(d, body.bytes.size());
                Action(out, 0x94, d);
                code.Insert(body);
            } else if (op == "try") {
                Try(code, i);
            } else {
                throw std::runtime_error("unknown instruction " + op);
            }
        }
        return code;
    }

    void Function(Code& code, size_t& i, bool v2) {
        const Line l = m_lines[i];
        size_t k = 2;
        std::string name = l.at(1) == "_" ? "" : l.at(1);
        std::vector<std::string> params;
        uint8_t registers = 4;
        uint16_t flags = 0;
        for (; k < l.size(); ++k) {
            auto eq = l[k].find('=');
            if (eq == std::string::npos) {
                params.push_back(l[k]);
                continue;
            }
            std::string key = l[k].substr(0, eq), value = l[k].substr(eq + 1);
            if (key == "regs") {
                registers = uint8_t(std::stoi(value));
                continue;
            }
            static const std::map<std::string, uint16_t> preload = {{"this", 1}, {"arguments", 4}, {"super", 0x10},
                                                                     {"root", 0x40}, {"parent", 0x80}, {"global", 0x100}};
            static const std::map<std::string, uint16_t> suppress = {{"this", 2}, {"arguments", 8}, {"super", 0x20}};
            for (size_t pos = 0; pos < value.size();) {
                size_t comma = value.find('+', pos);
                if (comma == std::string::npos) comma = value.size();
                std::string word = value.substr(pos, comma - pos);
                flags |= (key == "preload" ? preload : suppress).at(word);
                pos = comma + 1;
            }
        }
        Code body = Block(++i, {"end"});
        Bytes d;
        Str(d, name);
        U16(d, params.size());
        if (v2) d.push_back(registers), U16(d, flags);
        for (const std::string& p : params) {
            if (v2) {
                auto colon = p.find(':');
                d.push_back(colon == std::string::npos ? 0 : uint8_t(std::stoi(p.substr(1, colon - 1))));
                Str(d, colon == std::string::npos ? p : p.substr(colon + 1));
            } else {
                Str(d, p);
            }
        }
        U16(d, body.bytes.size());
        Action(code.bytes, v2 ? 0x8E : 0x9B, d);
        code.Insert(body);
    }

    void Try(Code& code, size_t& i) {
        const Line l = m_lines[i];
        std::string catchName;
        int catchRegister = -1;
        for (size_t k = 1; k < l.size(); ++k)
            if (l[k].rfind("catch=", 0) == 0) {
                std::string v = l[k].substr(6);
                if (v.size() > 1 && v[0] == 'r' && std::isdigit(static_cast<unsigned char>(v[1]))) catchRegister = std::stoi(v.substr(1));
                else catchName = v;
            }
        Code tryBody = Block(++i, {"catch", "finally", "end"});
        Code catchBody, finallyBody;
        bool hasCatch = false, hasFinally = false;
        if (i < m_lines.size() && m_lines[i][0] == "catch") {
            hasCatch = true;
            catchBody = Block(++i, {"finally", "end"});
        }
        if (i < m_lines.size() && m_lines[i][0] == "finally") {
            hasFinally = true;
            finallyBody = Block(++i, {"end"});
        }
        Bytes d;
        d.push_back(uint8_t((hasCatch ? 1 : 0) | (hasFinally ? 2 : 0) | (catchRegister >= 0 ? 4 : 0)));
        U16(d, tryBody.bytes.size()), U16(d, catchBody.bytes.size()), U16(d, finallyBody.bytes.size());
        if (catchRegister >= 0) d.push_back(uint8_t(catchRegister));
        else Str(d, catchName);
        Action(code.bytes, 0x8F, d);
        for (const Code* b : {&tryBody, &catchBody, &finallyBody}) code.Insert(*b);
    }

    std::vector<Line> m_lines;
};

} // namespace showsaver::flash::test
