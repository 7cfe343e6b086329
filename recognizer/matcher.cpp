#include "recognizer/matcher.h"

#include <algorithm>
#include <deque>
#include <string>
#include <unordered_map>

namespace varnoke {

StockNameMatcher::StockNameMatcher() : rootNext_(0x10000, 0), nodes_(1) {}

StockNameMatcher::StockNameMatcher(const std::vector<stockInfo>& list) : StockNameMatcher() {
    // Distinct names, each with the entries that carry it (ascending).
    std::unordered_map<std::u16string_view, uint32_t> patternOf;
    std::vector<std::vector<uint32_t>> patternEntries;
    std::vector<std::u16string_view> patterns;
    for (uint32_t e = 0; e < list.size(); ++e) {
        const std::u16string_view name = list[e].strStockName;
        if (name.empty()) continue;
        auto [it, inserted] = patternOf.try_emplace(name, static_cast<uint32_t>(patterns.size()));
        if (inserted) {
            patterns.push_back(name);
            patternEntries.emplace_back();
        }
        patternEntries[it->second].push_back(e);
    }
    entryStart_.reserve(patterns.size() + 1);
    for (const auto& es : patternEntries) {
        entryStart_.push_back(static_cast<uint32_t>(entries_.size()));
        entries_.insert(entries_.end(), es.begin(), es.end());
    }
    entryStart_.push_back(static_cast<uint32_t>(entries_.size()));

    // Trie, with edges collected as (parent, unit, child) and compacted below.
    struct RawEdge {
        uint32_t parent;
        char16_t unit;
        uint32_t child;
    };
    std::unordered_map<uint64_t, uint32_t> childOf;
    std::vector<RawEdge> raw;
    for (uint32_t p = 0; p < patterns.size(); ++p) {
        uint32_t node = 0;
        for (char16_t u : patterns[p]) {
            const uint64_t key = (uint64_t{node} << 16) | u;
            auto [it, inserted] = childOf.try_emplace(key, static_cast<uint32_t>(nodes_.size()));
            if (inserted) {
                nodes_.emplace_back();
                raw.push_back({node, u, it->second});
            }
            node = it->second;
        }
        nodes_[node].pattern = p + 1;
        patternLength_.push_back(static_cast<uint32_t>(patterns[p].size()));
    }
    std::sort(raw.begin(), raw.end(), [](const RawEdge& a, const RawEdge& b) {
        return a.parent != b.parent ? a.parent < b.parent : a.unit < b.unit;
    });
    edges_.reserve(raw.size());
    for (const RawEdge& r : raw) {
        Node& n = nodes_[r.parent];
        if (n.edgeCount == 0) n.firstEdge = static_cast<uint32_t>(edges_.size());
        ++n.edgeCount;
        edges_.push_back({r.unit, r.child});
        if (r.parent == 0) rootNext_[r.unit] = r.child;
    }

    // Failure and output links, breadth first.
    std::deque<uint32_t> queue;
    for (uint32_t k = 0; k < nodes_[0].edgeCount; ++k) {
        const uint32_t c = edges_[nodes_[0].firstEdge + k].target;
        nodes_[c].fail = 0;
        nodes_[c].output = nodes_[c].pattern ? c : 0;
        queue.push_back(c);
    }
    while (!queue.empty()) {
        const uint32_t u = queue.front();
        queue.pop_front();
        for (uint32_t k = 0; k < nodes_[u].edgeCount; ++k) {
            const Edge edge = edges_[nodes_[u].firstEdge + k];
            const uint32_t c = edge.target;
            const uint32_t f = Step(nodes_[u].fail, edge.unit);
            nodes_[c].fail = f;
            nodes_[c].output = nodes_[c].pattern ? c : nodes_[f].output;
            queue.push_back(c);
        }
    }
}

uint32_t StockNameMatcher::Child(uint32_t node, char16_t unit) const {
    const Node& n = nodes_[node];
    const Edge* first = edges_.data() + n.firstEdge;
    const Edge* last = first + n.edgeCount;
    const Edge* it = std::lower_bound(first, last, unit,
                                      [](const Edge& e, char16_t u) { return e.unit < u; });
    return (it != last && it->unit == unit) ? it->target : 0;
}

uint32_t StockNameMatcher::Step(uint32_t state, char16_t unit) const {
    while (state != 0) {
        if (const uint32_t c = Child(state, unit)) return c;
        state = nodes_[state].fail;
    }
    return rootNext_[unit];
}

std::vector<StockMatch> StockNameMatcher::FindAll(std::u16string_view text) const {
    std::vector<StockMatch> matches;
    if (entries_.empty()) return matches;
    uint32_t state = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        state = Step(state, text[i]);
        for (uint32_t o = nodes_[state].output; o != 0; o = nodes_[nodes_[o].fail].output) {
            const uint32_t p = nodes_[o].pattern - 1;
            const uint32_t length = patternLength_[p];
            const auto position = static_cast<uint32_t>(i + 1 - length);
            for (uint32_t k = entryStart_[p]; k < entryStart_[p + 1]; ++k)
                matches.push_back({entries_[k], position, length});
        }
    }
    // Found in order of end position; the contract wants entry, then start.
    std::sort(matches.begin(), matches.end(), [](const StockMatch& a, const StockMatch& b) {
        return a.entry != b.entry ? a.entry < b.entry : a.position < b.position;
    });
    return matches;
}

std::size_t StockNameMatcher::MemoryUsage() const {
    return rootNext_.capacity() * sizeof(uint32_t) + nodes_.capacity() * sizeof(Node) +
           edges_.capacity() * sizeof(Edge) + patternLength_.capacity() * sizeof(uint32_t) +
           entryStart_.capacity() * sizeof(uint32_t) + entries_.capacity() * sizeof(uint32_t);
}

}  // namespace varnoke
