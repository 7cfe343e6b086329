// StockNameMatcher: finds every occurrence of every stock name in one pass.
//
// Semantics (the recognizer's contract, stated once here):
//   * exact, case-sensitive comparison of UTF-16 code units; no folding;
//   * every occurrence, overlapping ones included: "aa" in "aaaa" is found at
//     0, 1 and 2; names nested in other names are found too;
//   * no word boundaries;
//   * results in list order: entry by entry, ascending position within an
//     entry; two entries with the same name each get every occurrence;
//   * an entry with an empty name matches nothing.
//
// Built once when a list is loaded, immutable afterwards; a scan costs the
// length of the text plus the number of matches, independent of the number
// of entries.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "recognizer/stock_info.h"

namespace varnoke {

struct StockMatch {
    uint32_t entry;     // index into the stock list
    uint32_t position;  // 0-based start, in code units
    uint32_t length;    // length of the name, in code units
    friend bool operator==(const StockMatch&, const StockMatch&) = default;
};

class StockNameMatcher {
public:
    StockNameMatcher();
    explicit StockNameMatcher(const std::vector<stockInfo>& list);

    // All matches of `text`, in list order (see above).
    std::vector<StockMatch> FindAll(std::u16string_view text) const;

    // Bytes held by the built structure.
    std::size_t MemoryUsage() const;

private:
    struct Edge {
        char16_t unit;
        uint32_t target;
    };
    struct Node {
        uint32_t firstEdge = 0;  // edges_[firstEdge, firstEdge + edgeCount), sorted by unit
        uint32_t edgeCount = 0;
        uint32_t fail = 0;
        uint32_t output = 0;  // nearest node on the fail chain (self included) ending a name, 0 = none
        uint32_t pattern = 0; // 1 + distinct-name index when a name ends here, else 0
    };

    uint32_t Child(uint32_t node, char16_t unit) const;
    uint32_t Step(uint32_t state, char16_t unit) const;

    std::vector<uint32_t> rootNext_;      // dense transitions of the root, by code unit
    std::vector<Node> nodes_;             // node 0 is the root
    std::vector<Edge> edges_;
    std::vector<uint32_t> patternLength_; // per distinct name
    std::vector<uint32_t> entryStart_;    // per distinct name: its entries are
    std::vector<uint32_t> entries_;       //   entries_[entryStart_[p], entryStart_[p + 1])
};

}  // namespace varnoke
