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
// Built once when a list is loaded, immutable afterwards. A scan looks at
// each position once: a small Bloom filter over the first two code units of
// the names (and, for names of three or more, the first three) rejects
// almost every position with one probe of a cache-resident word; a second
// one over each name's first two, three or four units rejects most of the
// rest, so that where many names start with the pairs the text is full of,
// few positions get further; the survivors are checked exactly through a
// hash table keyed by the first two, three or four units, so the work per
// position stays flat whatever the number of names, and names sharing a
// two-unit start (stock codes such as "1101" and "1102") do not pile up on
// one candidate list.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string_view>
#include <type_traits>
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
    StockNameMatcher() = default;
    explicit StockNameMatcher(const std::vector<stockInfo>& list);

    // The most matches one call collects: many entries sharing a name that
    // occurs often would otherwise ask for memory without bound (10^4
    // entries over 20 KB of text make 2x10^8 matches).
    static constexpr std::size_t kMaxMatches = std::size_t{1} << 22;

    // Scans `text` and hands all its matches, in list order (see above), to
    // `use` as one span, valid while `use` runs. Hands nothing and returns
    // false when there are more than `limit`, which is noticed before
    // collecting past it. Asks the heap for nothing once a scan with as many
    // matches has run, and never for a paragraph's few.
    template <class Use>
    bool WithMatches(std::u16string_view text, Use&& use, std::size_t limit = kMaxMatches) const {
        using Target = std::remove_reference_t<Use>;
        return Collect(
            text, limit,
            [](void* target, std::span<const StockMatch> matches) { (*static_cast<Target*>(target))(matches); },
            const_cast<void*>(static_cast<const void*>(std::addressof(use))));
    }

    // The same matches as a vector of their own.
    std::optional<std::vector<StockMatch>> FindAll(std::u16string_view text,
                                                   std::size_t limit = kMaxMatches) const;

    // Bytes held by the built structure.
    std::size_t MemoryUsage() const;

    // What one scan of `text` does, for the benchmark: counted by a copy of
    // the scan of its own; the one FindAll runs counts nothing.
    struct ScanStats {
        uint64_t positions = 0;    // positions looked at by the filter
        uint64_t passedFirst = 0;  // positions through its first stage (the pairs)
        uint64_t passed = 0;       // positions through both stages
        uint64_t probes = 0;     // table slots read
    };
    ScanStats Measure(std::u16string_view text) const;

private:
    // Names are grouped by their first min(length, 4) units, the key; a key
    // of 1 to 3 units is one whole name, a key of 4 may start several.
    // One-unit names are keyed alone, with a bit per unit for the scan.
    struct Slot {
        uint32_t keyLow = 0, keyHigh = 0;  // the key's units, the first in the low bits
        uint32_t first : 26 = 0;           // in byKey_
        uint32_t keyUnits : 3 = 0;         // 1 to 4; 0 = empty slot
        uint32_t hasName : 1 = 0;          // byKey_[first] is a name
    };
    struct Name {
        uint32_t offset;         // units_[offset, offset + length)
        uint32_t length;
        uint32_t firstEntry;     // entries_[firstEntry, nextName.firstEntry)
    };

    using MatchesUser = void (*)(void* target, std::span<const StockMatch> matches);
    bool Collect(std::u16string_view text, std::size_t limit, MatchesUser use, void* target) const;

    template <class Count>
    const Slot* Lookup(uint64_t key, unsigned keyUnits, Count& count) const;
    template <class Emit, class Count>
    void Candidates(const char16_t* text, std::size_t size, std::size_t at, Emit& emit, Count& count) const;
    template <class Emit, class Count>
    void Scan(std::u16string_view text, Emit&& emit, Count& count) const;

    std::vector<uint32_t> filter_;      // first stage: bits of each name's pair, and of its first three units
    unsigned filterShift_ = 32;         // 32 - log2(filter_.size())
    std::vector<uint32_t> second_;      // Bloom filter over the names' keys of 2, 3 and 4 units, laid out as filter_
    unsigned secondShift_ = 32;
    std::vector<Slot> slots_;           // open addressing, linear probing
    unsigned slotShift_ = 64;
    std::vector<uint32_t> byKey_;       // names by key; a 4-unit key's group: count, then names, shorter first
    std::vector<uint64_t> singles_;     // one-unit names: a bit per unit (empty when none)
    std::vector<Name> names_;           // distinct names, plus an end marker
    std::vector<char16_t> units_;       // every distinct name's units
    std::vector<uint32_t> entries_;     // entries per name, ascending
    uint32_t entryCount_ = 0;           // entries in the list

    // The buffers a scan collects and sorts its matches in, kept from one
    // call to the next so that a call asks the heap for nothing: growing
    // buffers on every call is cheap with glibc's heap but
    // costs fresh pages each time under the Windows builds' one (large
    // blocks come straight from the system there). Scans on other threads
    // meanwhile use buffers of their own. Copies start without any. A scan
    // with few matches (a paragraph's) keeps them on its stack instead.
    struct Scratch;
    class ScratchSlot {
    public:
        ScratchSlot() = default;
        ScratchSlot(const ScratchSlot&) noexcept {}
        ScratchSlot& operator=(const ScratchSlot&) noexcept;
        ~ScratchSlot();
        std::unique_ptr<Scratch> Take() const;
        void Give(std::unique_ptr<Scratch> scratch) const;

    private:
        mutable std::atomic<Scratch*> kept_{nullptr};
    };
    ScratchSlot scratch_;
};

}  // namespace varnoke
