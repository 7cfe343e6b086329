// The matcher against the plain per-entry search on a list and a text made
// from the input: names and text over a small alphabet, so that names occur,
// overlap and nest.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "recognizer/matcher.h"
#include "recognizer/matcher_kernels.h"
#include "tests/per_entry_reference.h"

using namespace varnoke;

namespace {

// A byte to a code unit: mostly from a tiny alphabet, sometimes a CJK unit,
// a surrogate or a unit sharing its low byte with the alphabet.
char16_t Unit(uint8_t b) {
    static constexpr char16_t kAlphabet[] = {u'a',      u'b',      u'1',      u'2',      u'中',     u'國',
                                             u'\xD83D', u'\xDE00', u'\x0161', u'\x3061', u'\xFFFF', u'\0'};
    return b < 0xF0 ? kAlphabet[b % 12] : static_cast<char16_t>(0x4E00 + b);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // 0xFF separates names; the part after the last one is the text.
    std::vector<stockInfo> list;
    std::u16string current;
    for (size_t i = 0; i < size; ++i) {
        if (data[i] == 0xFF) {
            list.push_back({current, u"id"});
            current.clear();
        } else {
            current.push_back(Unit(data[i]));
        }
    }
    const std::u16string text = current;
    const StockNameMatcher matcher(list);
    const auto want = test::PerEntryReference(list, text);
    // Under every filter kernel this CPU runs.
    const auto chosen = matcher_kernels::Chosen();
    for (const auto kernel : matcher_kernels::Available()) {
        matcher_kernels::Use(kernel);
        if (matcher.FindAll(text, SIZE_MAX) != want) fuzz::Finding("the matcher and the per-entry search disagree");
    }
    matcher_kernels::Use(chosen);
    return 0;
}
