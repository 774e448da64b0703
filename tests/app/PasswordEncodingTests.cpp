#include "app/Password.h"
#include "platform/registry/Profile.h"
#include "platform/registry/Store.h"
#include "platform/sys/TempFiles.h"
#include "show/Windows1252.h"

#include <gtest/gtest.h>

#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace showsaver {
namespace {

std::string Hex(std::string_view bytes) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string hex;
    for (unsigned char c : bytes) {
        hex += kDigits[c >> 4];
        hex += kDigits[c & 15];
    }
    return hex;
}

// The positions (1 to 51) that hold password characters: a password of n
// 'A's and one of n 'B's differ exactly there, since their fillers agree.
std::set<int> CharacterPositions(std::size_t length) {
    std::string a = EncodePassword(std::string(length, 'A'));
    std::string b = EncodePassword(std::string(length, 'B'));
    EXPECT_EQ(a.size(), 52u);
    EXPECT_EQ(b.size(), 52u);
    std::set<int> positions;
    for (std::size_t i = 0; i < std::min(a.size(), b.size()); ++i)
        if (a[i] != b[i]) positions.insert(static_cast<int>(i));
    return positions;
}

std::set<int> Multiples(int step, int from, int to) {
    std::set<int> positions;
    for (int p = from; p >= to; p -= step) positions.insert(p);
    return positions;
}

TEST(PasswordEncoding, EmptyPasswordGivesEmptyText) { EXPECT_EQ(EncodePassword(""), ""); }

// Texts computed separately from the generator's definition (seed 5183,
// state * 214013 + 2531011, bits 16 to 30), as existing installations hold
// them. They also pin down that character positions draw no random number:
// were one drawn there, every filler below the first character would shift.
TEST(PasswordEncoding, ReproducesStoredTexts) {
    EXPECT_EQ(Hex(EncodePassword("a")),
              "785f7b4a7423393b355745393d56235f6c6f7b6b5a762c50254c3e394d70675f4b504f5e4d314348396526402d665a6043314c84");
    EXPECT_EQ(Hex(EncodePassword("secret")),
              "78393b355745393dd056235f6c6f7b6b945a762c50254c3ec8394d70675f4b508c4f5e4d31434839946526402d665a60cc43314c");
    EXPECT_EQ(Hex(EncodePassword("ab")),
              "787b4a7423393b355745393d56235f6c6f7b6b5a762c50254c883e394d70675f4b504f5e4d314348396526402d665a604331844c");
}

TEST(PasswordEncoding, CharactersSitAtTheMultiplesOfFiftyOneOverTheLength) {
    EXPECT_EQ(CharacterPositions(1), (std::set<int>{51}));
    EXPECT_EQ(CharacterPositions(2), (std::set<int>{50, 25}));
    EXPECT_EQ(CharacterPositions(3), (std::set<int>{51, 34, 17}));
    EXPECT_EQ(CharacterPositions(7), Multiples(7, 49, 7));
    EXPECT_EQ(CharacterPositions(9), Multiples(5, 50, 10)); // 5 is a multiple too, but no character is left
    EXPECT_EQ(CharacterPositions(20), Multiples(2, 50, 12));
    EXPECT_EQ(CharacterPositions(26), Multiples(1, 51, 26));
    EXPECT_EQ(CharacterPositions(51), Multiples(1, 51, 1));
}

// 51 characters fill every position, so no filler is drawn at all.
TEST(PasswordEncoding, FirstCharacterGoesHighestAndEachIsTimesFourModulo256) {
    std::string full;
    for (int i = 0; i < 51; ++i) full += static_cast<char>(0xC1 + i); // high bytes, none a multiple of 64
    std::string text = EncodePassword(full);
    ASSERT_EQ(text.size(), 52u);
    EXPECT_EQ(text[0], 'x');
    for (int i = 0; i < 51; ++i)
        EXPECT_EQ(static_cast<unsigned char>(text[51 - i]), (0xC1 + i) * 4 % 256) << "character " << i;
}

TEST(PasswordEncoding, CodesWhoseQuadrupleIsZeroCutTheText) {
    EXPECT_EQ(EncodePassword("@").size(), 51u);       // zero at position 51
    EXPECT_EQ(EncodePassword("a@").size(), 25u);      // 'a' at 50 is cut off too
    EXPECT_EQ(EncodePassword("a@"), EncodePassword("b@"));
    EXPECT_EQ(EncodePassword("ab\x80").size(), 17u);  // the euro sign, code 128, at position 17
    EXPECT_EQ(EncodePassword("\xC0").size(), 51u);    // code 192
    std::string at10(51, 'A');
    at10[10] = '@';                                   // the eleventh character lands at position 41
    EXPECT_EQ(EncodePassword(at10).size(), 41u);
    EXPECT_EQ(EncodePassword(at10).substr(0, 41), EncodePassword(std::string(51, 'A')).substr(0, 41));
}

TEST(PasswordEncoding, SamePasswordSameTextAndCaseMatters) {
    EXPECT_EQ(EncodePassword("Tiger"), EncodePassword("Tiger"));
    EXPECT_NE(EncodePassword("Tiger"), EncodePassword("tiger"));
    EXPECT_NE(EncodePassword("tiger"), EncodePassword("TIGER"));
}

TEST(PasswordEncoding, OnlyTheFirst51CharactersCount) {
    std::string longest(51, 'k');
    EXPECT_EQ(EncodePassword(longest + "more characters"), EncodePassword(longest));
    EXPECT_EQ(EncodePassword(std::string(4000, 'z')), EncodePassword(std::string(51, 'z')));
}

TEST(PasswordEncoding, TypedTextIsEncodedAsWindows1252AndKeptAsUtf8) {
    // "é" is byte 0xE9; times four modulo 256 is 0xA4, the currency sign.
    std::string text = EncodeTypedPassword("\xC3\xA9");
    EXPECT_EQ(text, Cp1252ToUtf8(EncodePassword("\xE9")));
    EXPECT_NE(text.find("\xC2\xA4"), std::string::npos);
    // The euro sign is byte 0x80 in Windows-1252 and cuts the text.
    EXPECT_EQ(EncodeTypedPassword("ab\xE2\x82\xAC"), Cp1252ToUtf8(EncodePassword("ab\x80")));
    // A character Windows-1252 lacks counts as '?'.
    EXPECT_EQ(EncodeTypedPassword("\xE2\x98\x83"), EncodeTypedPassword("?"));
    EXPECT_EQ(EncodeTypedPassword(""), "");
}

class PasswordStore : public testing::Test {
protected:
    std::string UserFileText() const {
        std::ifstream in(m_store.FilePath(registry::Hive::CurrentUser), std::ios::binary);
        std::ostringstream text;
        text << in.rdbuf();
        return text.str();
    }

    sys::TempDirectory m_scratch{std::filesystem::path(testing::TempDir())};
    registry::Store m_store{m_scratch.Path() / "showsaver"};
    registry::Profile m_profile{m_store, "Tarvanix\\Screen Saver", "demo"};
};

TEST_F(PasswordStore, EncodedPasswordsOfEveryByteSurviveTheStore) {
    EXPECT_EQ(ReadStoredPassword(m_profile), "");
    std::vector<std::string> passwords = {"secret", "\xC3\xA9t\xC3\xA9", std::string(51, 'C')};
    for (int first = 1; first < 256; first += 40) { // every Windows-1252 character, as typed
        std::string cp1252;
        for (int c = first; c < first + 60 && c < 256; ++c) cp1252 += static_cast<char>(c);
        passwords.push_back(Cp1252ToUtf8(cp1252));
    }
    for (const auto& typed : passwords) {
        std::string encoded = EncodeTypedPassword(typed);
        ASSERT_TRUE(WriteStoredPassword(m_profile, encoded));
        EXPECT_EQ(ReadStoredPassword(m_profile), encoded);
    }
    EXPECT_NE(UserFileText().find("[HKEY_CURRENT_USER\\Software\\Tarvanix\\Screen Saver\\demo\\Password]\n\"Encrypt\"="),
              std::string::npos)
        << UserFileText();
    ASSERT_TRUE(WriteStoredPassword(m_profile, ""));
    EXPECT_EQ(ReadStoredPassword(m_profile), "");
}

TEST_F(PasswordStore, SwitchReadsFourBytesAndCountsAbsentAsZero) {
    constexpr std::string_view kKey = "Control Panel\\Desktop";
    constexpr std::string_view kName = "ScreenSaveUsePassword";
    auto set = [&](const registry::Value& value) {
        ASSERT_TRUE(m_store.Set(registry::Hive::CurrentUser, kKey, kName, value));
    };
    EXPECT_EQ(ReadPasswordSwitch(m_store), 0u);
    set(uint32_t{1});
    EXPECT_EQ(ReadPasswordSwitch(m_store), 1u);
    set(uint32_t{0});
    EXPECT_EQ(ReadPasswordSwitch(m_store), 0u);
    set(std::string("1"));
    EXPECT_EQ(ReadPasswordSwitch(m_store), 0x31u);
    set(std::string("0")); // a text is nonzero whatever it says
    EXPECT_EQ(ReadPasswordSwitch(m_store), 0x30u);
    set(std::string(""));
    EXPECT_EQ(ReadPasswordSwitch(m_store), 0u);
    set(std::string("12345"));
    EXPECT_EQ(ReadPasswordSwitch(m_store), 0x34333231u);
}

} // namespace
} // namespace showsaver
