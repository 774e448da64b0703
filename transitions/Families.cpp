#include "transitions/Families.h"

#include <array>
#include <initializer_list>
#include <utility>

namespace showsaver {
namespace {

using Range = std::pair<int32_t, int32_t>;   // first and last number, inclusive

struct Family {
    EffectPlayer player;
    std::initializer_list<Range> numbers;
};

constexpr int32_t kEffectCount = kLastEffect - kFirstEffect + 1;

// Which family plays each number.
std::array<EffectPlayer, kEffectCount> BuildTable() {
    const Family families[] = {
        {PlayFade, {{4, 4}, {65, 65}}},
        {PlayMorph, {{66, 66}}},
        {PlayDissolve, {{5, 6}, {13, 14}}},
        {PlaySlide, {{9, 10}, {15, 16}, {21, 36}, {41, 48}, {53, 56}, {71, 74}}},
        {PlayWipe, {{7, 8}, {11, 12}, {37, 40}, {49, 52}, {57, 64}, {67, 70}, {75, 78}, {82, 87}}},
        {PlayCellGrid, {{17, 20}, {79, 81}}},
    };
    std::array<EffectPlayer, kEffectCount> table{};
    for (const Family& family : families)
        for (auto [first, last] : family.numbers)
            for (int32_t number = first; number <= last; ++number) table[number - kFirstEffect] = family.player;
    return table;
}

} // namespace

EffectPlayer FamilyPlayer(int32_t number) {
    static const auto table = BuildTable();
    if (number < kFirstEffect || number > kLastEffect) return nullptr;
    return table[number - kFirstEffect];
}

} // namespace showsaver
