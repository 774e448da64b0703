#pragma once
// What of each line of the picture (a row, or a band of rows) already shows
// the new picture in place. The effects whose frames copy growing parts of
// their lines again and again ask it to reveal a part, and it copies only
// what is not there yet: the screen after every frame is the same, and the
// pixels that already show the new picture are not copied (nor presented)
// again.

#include "transitions/TransitionEffect.h"

#include <algorithm>
#include <cstddef>
#include <vector>

namespace showsaver {

class RevealedLines {
public:
    // `count` lines, numbered 0 … count − 1.
    RevealedLines(const TransitionFrame& frame, int count)
        : m_frame(frame), m_lines(static_cast<size_t>(std::max(count, 0))) {}

    // Puts columns [left, right) of line `line`, which covers the rows from
    // `top` and is `height` rows high, in place: copies of the new picture to
    // the same place, clipped to the picture, of the parts not in place yet.
    void Reveal(int line, int top, int height, int left, int right) {
        left = std::max(left, 0);
        right = std::min(right, m_frame.w);
        if (left >= right || height <= 0 || top >= m_frame.h || top + height <= 0) return;
        if (line < 0 || static_cast<size_t>(line) >= m_lines.size()) return;
        std::vector<Span>& spans = m_lines[static_cast<size_t>(line)];
        // The spans are disjoint and sorted; copy the gaps of [left, right)
        // between them, then merge [left, right) into them.
        int at = left;
        auto first = std::lower_bound(spans.begin(), spans.end(), left,
                                      [](const Span& span, int x) { return span.right < x; });
        auto last = first;
        for (; last != spans.end() && last->left <= right; ++last) {
            if (last->left > at) m_frame.Block(last->left - at, height, at, top);
            at = std::max(at, last->right);
        }
        if (at < right) m_frame.Block(right - at, height, at, top);
        if (first == last) {
            spans.insert(first, Span{left, right});
        } else {
            Span merged{std::min(left, first->left), std::max(right, (last - 1)->right)};
            auto kept = spans.erase(first + 1, last);
            *(kept - 1) = merged;
        }
    }
    // A row of a picture whose lines are its rows.
    void RevealRow(int row, int left, int right) { Reveal(row, row, 1, left, right); }

private:
    struct Span {
        int left, right;
    };
    const TransitionFrame& m_frame;
    std::vector<std::vector<Span>> m_lines;
};

} // namespace showsaver
