// Putting a scan's matches in list order. Internal to the matcher's files.
#pragma once

#include <cstddef>
#include <span>
#include <vector>

#include "recognizer/matcher.h"

namespace varnoke::matcher_detail {

// A scan collects each entry's matches in ascending position up to `turned`
// (the names anchored at their start, and those of one unit) and in
// descending position from there (the names anchored at their end); these
// put them in the contract's order: by entry, ascending position within one.

// Few matches, in place: the descending ones reversed, then a stable
// insertion sort by entry.
void SortFewByEntry(StockMatch* matches, std::size_t size, std::size_t turned);

// Any number: one stable counting pass per byte of the largest entry
// number (`entries` - 1), the first reading the descending ones backwards.
// The result is in `from` or in `spare`, whichever the returned span lies
// in; `spare` only grows.
std::span<const StockMatch> SortByEntry(std::vector<StockMatch>& from, std::vector<StockMatch>& spare,
                                        std::size_t entries, std::size_t turned);

}  // namespace varnoke::matcher_detail
