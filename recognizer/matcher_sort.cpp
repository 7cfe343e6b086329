#include "recognizer/matcher_sort.h"

#include <algorithm>
#include <cstdint>

namespace varnoke::matcher_detail {

namespace {
// Up to this many, insertion beats the counting passes.
constexpr std::size_t kInsertionSortMax = 32;
}  // namespace

void SortFewByEntry(StockMatch* matches, std::size_t size, std::size_t turned) {
    std::reverse(matches + turned, matches + size);
    for (std::size_t i = 1; i < size; ++i) {
        const StockMatch m = matches[i];
        std::size_t j = i;
        for (; j > 0 && matches[j - 1].entry > m.entry; --j) matches[j] = matches[j - 1];
        matches[j] = m;
    }
}

std::span<const StockMatch> SortByEntry(std::vector<StockMatch>& from, std::vector<StockMatch>& spare,
                                        std::size_t entries, std::size_t turned) {
    unsigned passes = 0;
    for (unsigned shift = 0; shift < 32 && (entries - 1) >> shift != 0; shift += 8) ++passes;
    if (from.size() <= kInsertionSortMax || passes == 0) {
        SortFewByEntry(from.data(), from.size(), turned);
        return from;
    }
    // Never shrunk: growing again would fill the new part first.
    if (spare.size() < from.size()) spare.resize(from.size());
    const std::size_t size = from.size();
    StockMatch* source = from.data();
    for (unsigned pass = 0; pass < passes; ++pass) {
        const unsigned shift = 8 * pass;
        StockMatch* target = source == from.data() ? spare.data() : from.data();
        std::size_t start[257] = {};
        for (std::size_t i = 0; i < size; ++i) ++start[((source[i].entry >> shift) & 0xFF) + 1];
        for (std::size_t d = 1; d <= 256; ++d) start[d] += start[d - 1];
        if (pass == 0) {
            // The descending ones backwards: each entry's matches come out ascending.
            for (std::size_t i = 0; i < turned; ++i) target[start[(source[i].entry >> shift) & 0xFF]++] = source[i];
            for (std::size_t i = size; i-- > turned;) target[start[(source[i].entry >> shift) & 0xFF]++] = source[i];
        } else {
            for (std::size_t i = 0; i < size; ++i) target[start[(source[i].entry >> shift) & 0xFF]++] = source[i];
        }
        source = target;
    }
    return {source, size};
}

}  // namespace varnoke::matcher_detail
