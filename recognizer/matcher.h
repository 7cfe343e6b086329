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
// Cost. Built once when a list is loaded, immutable afterwards. A scan of n
// units costs O(n + matches) whatever the list holds: no name length, number
// of names sharing a beginning or an end, or length of what they share makes
// the work per unit grow. Per unit of text a scan does at most, in each of
// its two passes:
//   * one lookup in the filter's first stage (matcher_layout.h) and three in
//     its second, over the two, three and four units at the anchor;
//   * three lookups in the key table, each reading at most kMaxProbe slots;
//   * the automaton's share: it reads each unit at most once, follows at most
//     two failure links (one per unit it reads, and one more per time it is
//     entered), and tries a transition for each unit it reads and each
//     link: one compare, and a binary search over branches and one over
//     failure runs, each of at most kMaxSearch compares; and one more search
//     where names end;
// plus, per match, one output and the match itself. kWorkPerUnit below is
// that bound in Measure()'s units (the matcher's tests check it).
//
// How. Each name is anchored at one of its ends: at its end, except a name
// of eight units or more whose first pair occurs in it once and whose last
// pair recurs (made of what a repetitive text repeats, changed at its
// start), which is anchored at its start. A pass per anchor (the names
// anchored at their start from the text's start, those anchored at their end
// from the text's end) runs a filter over the pairs of units that may anchor
// a name; a key table, keyed by a name's one to four units at its anchor,
// holds every name of up to four units whole; a longer name is checked past
// its key by an automaton over the names read from their anchor inwards
// (Aho-Corasick with failure links, over the names' own units), entered at
// the key and run for as long as some name may still be under way, so that
// no text unit is read by it twice. Matches are collected as each pass finds
// them and put in list order at the end. docs/design.md says more.
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
    // Throws std::bad_alloc when memory runs out, or for a list past the
    // limits (2^25 distinct names, 2^32 units).
    explicit StockNameMatcher(const std::vector<stockInfo>& list);

    // The most matches one call collects: many entries sharing a name that
    // occurs often would otherwise ask for memory without bound (10^4
    // entries over 20 KB of text make 2x10^8 matches).
    static constexpr std::size_t kMaxMatches = std::size_t{1} << 22;

    // Scans `text` and hands all its matches, in list order (see above), to
    // `use` as one span, valid while `use` runs. Hands nothing and returns
    // false when there are more than `limit`, which is noticed before
    // collecting past it. Asks the heap for nothing once a scan with as many
    // matches has run, and never for a paragraph's few. A text past 2^32 - 1
    // units is scanned in its first 2^32 - 1: a host cannot pass more.
    template <class Use>
    bool WithMatches(std::u16string_view text, Use&& use, std::size_t limit = kMaxMatches) const {
        using Target = std::remove_reference_t<Use>;
        return Collect(
            text, limit,
            [](void* target, std::span<const StockMatch> matches) { (*static_cast<Target*>(target))(matches); },
            const_cast<void*>(static_cast<const void*>(std::addressof(use))));
    }

    // The same matches as a vector of their own.
    std::optional<std::vector<StockMatch>> FindAll(std::u16string_view text, std::size_t limit = kMaxMatches) const;

    // Bytes held by the built structure.
    std::size_t MemoryUsage() const;

    // Slots a key lookup reads at most: the build places every key within
    // that many of its home slot (choosing another hash seed or a larger
    // table until it does), so a lookup stops there whatever the keys.
    static constexpr unsigned kMaxProbe = 16;
    // Units a binary search of the automaton compares at most: for a child
    // among up to 2^16, or a failure link among a name's up to 2^32 units.
    static constexpr unsigned kMaxSearch = 33;

    // What one scan of `text` does, for the tests and the benchmark:
    // counted by a copy of the scan of its own; the one FindAll runs counts
    // nothing.
    struct ScanStats {
        uint64_t positions = 0;    // positions looked at by the filter
        uint64_t passes = 0;       // passes over the text: one per anchor the list's names have
        uint64_t passedFirst = 0;  // positions through its first stage (the pairs)
        uint64_t passed = 0;       // positions through both stages
        uint64_t probes = 0;       // key table slots read
        uint64_t steps = 0;        // text units the automaton read
        uint64_t links = 0;        // failure links it followed
        uint64_t compares = 0;     // units and depths its searches compared
        uint64_t outputs = 0;      // names it reported (each at least one match)
        // The work the bound below is about.
        uint64_t Work() const { return probes + steps + links + compares; }
    };
    ScanStats Measure(std::u16string_view text) const;

    // The bound on ScanStats::Work() per unit of text, both passes: per
    // pass three lookups of kMaxProbe slots, and for the automaton one step,
    // two links, and for each of up to three transitions and the outputs
    // one compare and two searches.
    static constexpr uint64_t kWorkPerUnit = 2 * (3 * kMaxProbe + 3 + 4 * (1 + 2 * kMaxSearch));

private:
    class Builder;
    friend class Builder;

    static constexpr uint32_t kNone = UINT32_MAX;
    static constexpr uint32_t kNoName = (uint32_t{1} << 25) - 1;

    // Which end of a name the filter and the key stand at.
    enum class Anchor { start, end };

    // A key: a name's min(length, 4) units at its anchor. A key of 1 to 3
    // units, or of 4 for a name of 4, is the name whole; names longer than
    // their key go on in the automaton from the key's root. Robin Hood open
    // addressing.
    struct Slot {
        uint32_t keyLow = 0, keyHigh = 0;  // the key's units in text order, the first in the low bits
        uint32_t name : 25 = kNoName;      // the name that is the whole key
        uint32_t units : 3 = 0;            // the key's length, 1 to 4; 0 = empty slot
        uint32_t distance : 4 = 0;         // from the key's home slot, below kMaxProbe
        uint32_t root = kNone;             // the chain of the key's longer names' root
    };

    // The automaton over a pass's longer names, each read from its anchor
    // inwards (a "chain": its units in that order). The chains are sorted,
    // so those that begin alike are neighbours; a state, some chains' first
    // d units (d >= 4), is (the first such chain, d). Going on along its
    // chain is a compare; other children are branches; failure links,
    // mostly stepping along another chain as this one steps, are runs.
    struct Chain {
        uint32_t offset;  // units_[offset, offset + length)
        uint32_t length;
        uint32_t firstRun;     // runs_[firstRun, the next chain's)
        uint32_t firstBranch;  // branches_[firstBranch, the next chain's)
        uint32_t firstOutput;  // outputsAt_[firstOutput, the next chain's)
    };
    // From depth `from` on (to the next run's), the failure link of
    // (chain, d) is (target, depth + d - from); none when target is kNone.
    struct Run {
        uint32_t from, target, depth;
    };
    // The state (chain, depth) has a child by `unit`: (target, depth + 1).
    struct Branch {
        uint32_t depth;
        uint32_t target;
        uint16_t unit;
    };
    // The names ending at (chain, depth) or along its failure links.
    struct OutputAt {
        uint32_t depth, first;  // outputs_[first], then its next ones
    };
    struct Output {
        uint32_t name;
        uint32_t next;
    };
    struct Automaton {
        std::vector<char16_t> units;  // the chains' units, one after another
        std::vector<Chain> chains;    // sorted, plus an end marker
        std::vector<Run> runs;
        std::vector<Branch> branches;     // by chain, then depth and unit
        std::vector<OutputAt> outputsAt;  // by chain, then depth
        std::vector<Output> outputs;
        // Per state (chain, d), bit offset + d - 1: whether it has branches,
        // and whether it has outputs.
        std::vector<uint64_t> branchBits, outputBits;
        std::size_t MemoryUsage() const;
    };

    // One pass: the names of one anchor.
    struct Half {
        std::vector<uint32_t> filter;     // the first stage (matcher_layout.h)
        unsigned filterShift = 32;        // 32 - log2(filter.size())
        std::vector<uint32_t> few;        // the distinct anchor pairs, when few (matcher_layout.h)
        std::vector<uint16_t> fewUnits;   // the units the few mode compares first; none: no few mode
        int fewOffset = 0;                // where they are, from a pair's position
        std::vector<uint32_t> keyFilter;  // Bloom filter over the keys of 2, 3 and 4 units, laid out as filter
        unsigned keyFilterShift = 32;
        std::vector<Slot> slots;  // the key table
        unsigned slotShift = 64;
        uint64_t slotSeed = 0;
        unsigned keys = 0;  // bit k: some key of k units is a name; bit 5: some has a root
        Automaton automaton;
        std::size_t MemoryUsage() const;
    };

    struct Name {
        uint32_t length;
        uint32_t firstEntry;  // entries_[firstEntry, the next name's firstEntry)
    };

    using MatchesUser = void (*)(void* target, std::span<const StockMatch> matches);
    bool Collect(std::u16string_view text, std::size_t limit, MatchesUser use, void* target) const;

    template <class Count>
    static const Slot* Find(const Half& half, uint64_t key, unsigned units, Count& count);
    template <class Count>
    static bool MayEnter(const Automaton& a, uint32_t chain, char16_t unit, Count& count);
    template <Anchor A, class Emit, class Count>
    std::size_t Follow(const Half& half, const char16_t* t, std::size_t n, std::size_t at, uint32_t chain, Emit& emit,
                       Count& count) const;
    template <Anchor A, bool kShort, class Emit, class Count>
    void Candidate(const Half& half, const char16_t* t, std::size_t n, std::size_t at, std::size_t& enter, Emit& emit,
                   Count& count) const;
    template <Anchor A, class Emit, class Count>
    void Pass(const Half& half, const char16_t* t, std::size_t n, Emit& emit, Count& count) const;
    // Emits the names anchored at their start and the one-unit names in
    // ascending position, then calls `turn`, then the names anchored at
    // their end in descending position.
    template <class Emit, class Turn, class Count>
    void Scan(std::u16string_view text, Emit&& emit, Turn&& turn, Count& count) const;

    Half starts_, ends_;
    std::vector<uint64_t> singles_;      // one-unit names: a bit per unit (empty when none)
    std::vector<uint32_t> singleRank_;   // per word of singles_: the bits set before it
    std::vector<uint32_t> singleNames_;  // the one-unit names, by their unit's rank among them
    std::vector<Name> names_;            // distinct names, plus an end marker
    std::vector<uint32_t> entries_;      // entries per name, ascending
    uint32_t entryCount_ = 0;            // entries in the list

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
