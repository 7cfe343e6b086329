// The recognizer's contract searched for name by name, the plain way: from
// the start, then again from one past the start of each hit. The reference
// the matcher is checked against in the tests and the benchmark; and the
// same result in linear time, for long names over repetitive text, where
// the plain search takes a name's length at every position.
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

// Knuth-Morris-Pratt per entry.
inline std::vector<StockMatch> LinearReference(const std::vector<stockInfo>& list, std::u16string_view text) {
    std::vector<StockMatch> out;
    for (uint32_t e = 0; e < list.size(); ++e) {
        const std::u16string& name = list[e].strStockName;
        if (name.empty()) continue;
        std::vector<std::size_t> border(name.size() + 1, 0);
        for (std::size_t i = 1, k = 0; i < name.size(); ++i) {
            while (k > 0 && name[i] != name[k]) k = border[k];
            if (name[i] == name[k]) ++k;
            border[i + 1] = k;
        }
        for (std::size_t i = 0, k = 0; i < text.size(); ++i) {
            while (k > 0 && text[i] != name[k]) k = border[k];
            if (text[i] == name[k]) ++k;
            if (k == name.size()) {
                out.push_back({e, static_cast<uint32_t>(i + 1 - k), static_cast<uint32_t>(k)});
                k = border[k];
            }
        }
    }
    return out;
}

}  // namespace varnoke::test
