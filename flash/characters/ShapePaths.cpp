#include "flash/characters/Shape.h"

#include <unordered_map>

namespace showsaver::flash {
namespace {

uint64_t Key(Point p) {
    return (static_cast<uint64_t>(static_cast<uint32_t>(p.x)) << 32) | static_cast<uint32_t>(p.y);
}

Edge Reversed(const Edge& e) { return {e.to, e.control, e.from, e.curve}; }

// Orders `edges` so that each one starts where the one before ends whenever
// such an edge exists; an outline that cannot continue ends there.
std::vector<Edge> Chain(std::vector<Edge> edges) {
    std::unordered_multimap<uint64_t, size_t> byStart;
    byStart.reserve(edges.size());
    for (size_t i = 0; i < edges.size(); ++i) byStart.emplace(Key(edges[i].from), i);
    std::vector<bool> used(edges.size(), false);
    std::vector<Edge> chained;
    chained.reserve(edges.size());
    for (size_t first = 0; first < edges.size(); ++first) {
        size_t current = first;
        while (!used[current]) {
            used[current] = true;
            chained.push_back(edges[current]);
            // Entries are dropped as they are passed, used or not, so that
            // every entry is looked at once however the outlines meet.
            auto [it, end] = byStart.equal_range(Key(edges[current].to));
            size_t next = current;
            while (it != end) {
                size_t candidate = it->second;
                it = byStart.erase(it);
                if (!used[candidate]) {
                    next = candidate;
                    break;
                }
            }
            current = next;
        }
    }
    return chained;
}

} // namespace

void BuildPaths(ShapeLayer& layer, const std::vector<StyledEdge>& edges) {
    std::vector<std::vector<Edge>> fills(layer.fills.size());
    layer.linePaths.assign(layer.lines.size(), {});
    for (const StyledEdge& e : edges) {
        if (e.fill0 == e.fill1) {
            // The same fill on both sides adds nothing to the outline.
        } else {
            if (e.fill1 > 0 && e.fill1 <= fills.size()) fills[e.fill1 - 1].push_back(e.edge);
            if (e.fill0 > 0 && e.fill0 <= fills.size()) fills[e.fill0 - 1].push_back(Reversed(e.edge));
        }
        if (e.line > 0 && e.line <= layer.lines.size()) layer.linePaths[e.line - 1].push_back(e.edge);
    }
    layer.fillPaths.clear();
    for (auto& list : fills) layer.fillPaths.push_back(Chain(std::move(list)));
}

} // namespace showsaver::flash
