// The recognizer's contract searched for name by name, the plain way: from
// the start, then again from one past the start of each hit. The reference
// the matcher is checked against in the tests and the benchmark.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "recognizer/matcher.h"
#include "recognizer/stock_info.h"

namespace varnoke::test {

inline std::vector<StockMatch> PerEntryReference(const std::vector<stockInfo>& list, std::u16string_view text) {
    std::vector<StockMatch> out;
    for (uint32_t e = 0; e < list.size(); ++e) {
        const std::u16string& name = list[e].strStockName;
        if (name.empty()) continue;
        for (auto p = text.find(name); p != std::u16string_view::npos; p = text.find(name, p + 1))
            out.push_back({e, static_cast<uint32_t>(p), static_cast<uint32_t>(name.size())});
    }
    return out;
}

}  // namespace varnoke::test
