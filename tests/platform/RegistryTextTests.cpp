#include "platform/registry/HiveText.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

using namespace showsaver::registry;

namespace {

constexpr const char* kSettings = "Software\\Tarvanix\\Screen Saver\\demo\\Settings";

std::shared_ptr<const char[]> Bytes(std::string_view text)
{
    std::shared_ptr<char[]> bytes(new char[text.size() + 1]);
    std::copy(text.begin(), text.end(), bytes.get());
    return bytes;
}

// The hive opened by its headers, its values still unread, after checking that
// reading them all gives what the full parse gives.
HiveData ParseOrFail(std::string_view text, Hive hive = Hive::CurrentUser)
{
    auto data = ParseHive(text, hive);
    EXPECT_TRUE(data) << "line " << data.Error().line << ": " << data.Error().message;
    auto opened = OpenHive(Bytes(text), text.size(), hive);
    EXPECT_TRUE(opened);
    if (!data || !opened)
        return HiveData {};
    HiveData all = *opened;
    EXPECT_TRUE(all.ParseRemaining());
    EXPECT_EQ(FormatHive(all, hive), FormatHive(*data, hive));
    return *opened;
}

}

TEST(HiveText, FormatsAKnownHiveExactly)
{
    HiveData data;
    data.SetValue(kSettings, "", std::string("Default"));
    data.SetValue(kSettings, "Title", std::string("My \"Show\" C:\\Shows"));
    data.SetValue(kSettings, "Count", uint32_t { 31 });
    data.SetValue("Software\\Tarvanix", "Password", std::string("\x01z\x1f\x7f"));
    data.AddKey("Software\\Empty");

    const std::string golden = "Windows Registry Editor Version 5.00\n"
                               "\n"
                               "[HKEY_CURRENT_USER\\Software\\Tarvanix\\Screen Saver\\demo\\Settings]\n"
                               "@=\"Default\"\n"
                               "\"Title\"=\"My \\\"Show\\\" C:\\\\Shows\"\n"
                               "\"Count\"=dword:0000001f\n"
                               "\n"
                               "[HKEY_CURRENT_USER\\Software\\Tarvanix]\n"
                               "\"Password\"=\"\\x01z\\x1f\\x7f\"\n"
                               "\n"
                               "[HKEY_CURRENT_USER\\Software\\Empty]\n"
                               "\n";
    EXPECT_EQ(FormatHive(data, Hive::CurrentUser), golden);
    EXPECT_EQ(FormatHive(ParseOrFail(golden), Hive::CurrentUser), golden);
    EXPECT_EQ(FormatHive(HiveData {}, Hive::LocalMachine), "Windows Registry Editor Version 5.00\n\n");
}

TEST(HiveText, EveryByteStringSurvivesOnOneLine)
{
    std::string allBytes;
    for (int byte = 0; byte < 256; ++byte)
        allBytes.push_back(static_cast<char>(byte));
    const std::vector<std::string> texts {
        allBytes,
        "Grüße, € and 😀 stay readable",
        "\\\"\\x41\"\\",           // escapes that look like escapes
        "\xC3",                    // a cut UTF-8 sequence
        "\xED\xA0\x80",            // an encoded surrogate
        "\xF4\x90\x80\x80",        // beyond U+10FFFF
        "",
    };
    HiveData data;
    for (size_t i = 0; i < texts.size(); ++i)
        data.SetValue("K", texts[i] + "name", texts[i]);   // names escape the same way
    std::string file = FormatHive(data, Hive::CurrentUser);
    EXPECT_EQ(std::count(file.begin(), file.end(), '\n'), static_cast<long>(3 + texts.size() + 1));
    EXPECT_NE(file.find("Grüße, € and 😀"), std::string::npos) << "valid UTF-8 is written as is";

    HiveData back = ParseOrFail(file);
    for (const auto& text : texts) {
        auto value = back.FindValue("K", text + "name");
        ASSERT_TRUE(value);
        EXPECT_EQ(std::get<std::string>(*value), text);
    }
}

TEST(HiveText, KeyPathsAreNormalizedAndControlCharactersRefused)
{
    EXPECT_EQ(NormalizeKeyPath("\\Software\\\\Tarvanix\\"), "Software\\Tarvanix");
    EXPECT_EQ(NormalizeKeyPath(""), "");
    EXPECT_FALSE(NormalizeKeyPath("Soft\nware"));
    EXPECT_FALSE(NormalizeKeyPath("Soft\x7fware"));
    EXPECT_FALSE(NormalizeKeyPath("Soft\xFFware"));
}

TEST(HiveText, ReadsWhatOtherEditorsWrite)
{
    // A byte order mark, CRLF line ends, comments, repeated headers, upper-case digits.
    std::string text = "\xEF\xBB\xBFWindows Registry Editor Version 5.00\r\n\r\n"
                       "; written by hand\r\n"
                       "[hkey_current_user\\Software\\A]\r\n"
                       "\"x\"=dword:FFFFFFFF\r\n"
                       "[HKEY_CURRENT_USER\\Software\\B]\r\n"
                       "@=\"tab\there\"\r\n"
                       "[HKEY_CURRENT_USER\\Software\\a]\r\n"
                       "\"y\"=dword:7\r\n"
                       // What could pass for a header but is none, and an indented one.
                       "; [HKEY_CURRENT_USER\\Comment]\r\n"
                       "\"[HKEY_CURRENT_USER\\\\Name]\"=\"\\\"\\x0a[HKEY_CURRENT_USER\\\\Text]\"\r\n"
                       " \t[HKEY_CURRENT_USER\\Software\\C]\r\n"
                       "@=\"[\"\r\n";
    HiveData data = ParseOrFail(text);
    EXPECT_EQ(std::get<uint32_t>(*data.FindValue("Software\\A", "x")), 0xffffffffu);
    EXPECT_EQ(std::get<uint32_t>(*data.FindValue("Software\\A", "y")), 7u);
    EXPECT_EQ(std::get<std::string>(*data.FindValue("Software\\B", "")), "tab\there");
    EXPECT_EQ(data.FindValue("Software\\A", "[HKEY_CURRENT_USER\\Name]"), Value(std::string("\"\n[HKEY_CURRENT_USER\\Text]")));
    EXPECT_EQ(data.FindValue("Software\\C", ""), Value(std::string("[")));
    EXPECT_EQ(data.Keys().size(), 3u);
    EXPECT_TRUE(ParseOrFail("").Keys().empty());
    EXPECT_TRUE(ParseOrFail("\n  \n").Keys().empty());
}

TEST(HiveText, ErrorsNameTheLine)
{
    const std::string head = "Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\K]\n";
    struct Case {
        std::string text;
        int line;
    };
    const std::vector<Case> cases {
        { "REGEDIT4\n", 1 },
        { "\nWindows Registry Editor Version 5.00\n\n\"a\"=\"b\"\n", 4 },   // a value before any key
        { head + "\"a\"=\"unterminated\n", 4 },
        { head + "\"a\"=\"bad \\n escape\"\n", 4 },
        { head + "\"a\"=\"b\" trailing\n", 4 },
        { head + "\"a\"=dword:123456789\n", 4 },
        { head + "\"a\"=dword:-1\n", 4 },
        { head + "\"ok\"=dword:1\n\"a\"=hex:01,02\n", 5 },
        { head + "\"a\"\"b\"\n", 4 },
        { head + "just words\n", 4 },
        { head + "[HKEY_LOCAL_MACHINE\\K]\n", 4 },
        { head + "[HKEY_CURRENT_USER\\K\n", 4 },
    };
    for (const auto& c : cases) {
        auto parsed = ParseHive(c.text, Hive::CurrentUser);
        ASSERT_FALSE(parsed) << c.text;
        EXPECT_EQ(parsed.Error().line, c.line) << c.text;
        EXPECT_FALSE(parsed.Error().message.empty());
        // Opened by its headers, the text fails at once or when its values are read, alike.
        auto opened = OpenHive(Bytes(c.text), c.text.size(), Hive::CurrentUser);
        HiveData all = opened ? *opened : HiveData {};
        auto read = opened ? all.ParseRemaining() : showsaver::Status<ParseError>(opened.Error());
        ASSERT_FALSE(read) << c.text;
        EXPECT_EQ(read.Error().line, c.line) << c.text;
        EXPECT_EQ(read.Error().message, parsed.Error().message) << c.text;
    }
}

TEST(HiveText, IndexedLookupsAgreeWithTheStoredKeysAfterSetsAndDeletes)
{
    // Names that differ only in case are one name; deleting moves later values up.
    HiveData data;
    for (int i = 0; i < 200; ++i) {
        std::string key = "Software\\Key" + std::to_string(i % 17);
        data.SetValue(key, "Value" + std::to_string(i % 23), static_cast<uint32_t>(i));
        if (i % 5 == 0)
            data.SetValue("SOFTWARE\\key" + std::to_string(i % 17), "VALUE" + std::to_string(i % 23), std::string("t"));
        if (i % 7 == 0)
            data.DeleteValue(key, "value" + std::to_string((i + 3) % 23));
    }
    EXPECT_EQ(data.Keys().size(), 17u);
    for (const Key& key : data.Keys()) {
        EXPECT_TRUE(data.HasKey(key.path));
        for (const NamedValue& value : key.values) {
            std::string upper = value.name;
            std::transform(upper.begin(), upper.end(), upper.begin(), ::toupper);
            EXPECT_EQ(data.FindValue(key.path, value.name), value.value);
            EXPECT_EQ(data.FindValue(key.path, upper), value.value);
        }
        for (int v = 0; v < 23; ++v) {
            std::string name = "Value" + std::to_string(v);
            bool stored = std::ranges::any_of(key.values, [&](const NamedValue& n) { return EqualsIgnoringCase(n.name, name); });
            EXPECT_EQ(data.FindValue(key.path, name).has_value(), stored) << key.path << " " << name;
        }
    }
    // The text of the data reads back to the same lookups.
    HiveData back = ParseOrFail(FormatHive(data, Hive::CurrentUser));
    EXPECT_EQ(FormatHive(back, Hive::CurrentUser), FormatHive(data, Hive::CurrentUser));
}

TEST(HiveText, AParsedHiveDecodesItsValuesWhenAskedAndTakesChanges)
{
    // A name written twice (in two cases, once escaped) reads as its last value under
    // its first spelling; changes to a parsed hive go over the text it points into.
    const std::string text = "Windows Registry Editor Version 5.00\n\n"
                             "[HKEY_CURRENT_USER\\Software\\K]\n"
                             "\"Na\\x6De\"=\"first \\\"one\\\"\"\n"
                             "\"other\"=dword:2\n"
                             "[HKEY_CURRENT_USER\\\\software\\\\k\\\\]\n"
                             "\"NAME\"=\"second\\\\\"\n"
                             "@=\"plain\"\n";
    HiveData data = ParseOrFail(text);
    EXPECT_EQ(data.FindValue("Software\\K", "name"), Value(std::string("second\\")));
    EXPECT_EQ(data.FindValue("SOFTWARE\\k", ""), Value(std::string("plain")));
    EXPECT_EQ(data.FindValue("Software\\K", "other"), Value(uint32_t { 2 }));
    EXPECT_FALSE(data.FindValue("Software\\K", "missing"));
    const std::string formatted = "Windows Registry Editor Version 5.00\n\n"
                                  "[HKEY_CURRENT_USER\\Software\\K]\n"
                                  "\"Name\"=\"second\\\\\"\n"
                                  "\"other\"=dword:00000002\n"
                                  "@=\"plain\"\n\n";
    EXPECT_EQ(FormatHive(data, Hive::CurrentUser), formatted);

    HiveData changed = data;   // copies share the parsed text
    changed.SetValue("software\\K", "NAME", uint32_t { 7 });
    EXPECT_TRUE(changed.DeleteValue("Software\\K", "OTHER"));
    EXPECT_FALSE(changed.DeleteValue("Software\\K", "other"));
    changed.SetValue("Software\\New", "x", std::string("y"));
    EXPECT_EQ(FormatHive(changed, Hive::CurrentUser),
        "Windows Registry Editor Version 5.00\n\n"
        "[HKEY_CURRENT_USER\\Software\\K]\n"
        "\"Name\"=dword:00000007\n"
        "@=\"plain\"\n\n"
        "[HKEY_CURRENT_USER\\Software\\New]\n"
        "\"x\"=\"y\"\n\n");
    EXPECT_EQ(FormatHive(data, Hive::CurrentUser), formatted);   // the original is untouched
}
