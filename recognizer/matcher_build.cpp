// Building a StockNameMatcher from a list, in named steps: the distinct
// names, their anchors and the one-unit names; then for each pass its key
// table, its filter, and its automaton over the names longer than their
// key.
#include <algorithm>
#include <bit>
#include <limits>
#include <new>
#include <string_view>

#include "recognizer/matcher.h"
#include "recognizer/matcher_layout.h"

namespace varnoke {

namespace {

using namespace matcher_detail;

// Bits per key in each filter stage: with two bits set per key, about one
// position in 1,000 without a name gets past a stage.
constexpr std::size_t kFilterBitsPerKey = 64;
constexpr unsigned kFilterMinLog2 = 12;  // 512 bytes
constexpr unsigned kFilterMaxLog2 = 19;  // 64 KiB, about what a core's first caches hold

// A build-time table's probe sequences stay shorter than this, or the table
// is made again with the next seed: a list cannot make a load slow either.
constexpr std::size_t kMaxBuildProbe = 64;
constexpr unsigned kSeeds = 8;

unsigned CeilLog2(std::size_t n) { return n <= 1 ? 0 : static_cast<unsigned>(std::bit_width(n - 1)); }

uint64_t Mix(uint64_t x) {
    x ^= x >> 33;
    x *= 0xFF51AFD7ED558CCDull;
    x ^= x >> 33;
    x *= 0xC4CEB9FE1A85EC53ull;
    return x ^ (x >> 33);
}

uint64_t Seed(unsigned attempt) { return attempt == 0 ? 0 : Mix(0x9E3779B97F4A7C15ull * attempt); }

// Four units at a time: most names are short.
uint64_t NameHash(std::u16string_view name, uint64_t seed) {
    uint64_t h = seed ^ (name.size() * 0x9E3779B97F4A7C15ull);
    std::size_t k = 0;
    for (; k + 4 <= name.size(); k += 4) h = (h ^ Pack(name.data() + k, 4)) * 0xBF58476D1CE4E5B9ull;
    if (k < name.size()) h ^= Pack(name.data() + k, static_cast<unsigned>(name.size() - k));
    return Mix(h);
}

void SetBit(std::vector<uint64_t>& bits, std::size_t i) { bits[i >> 6] |= uint64_t{1} << (i & 63); }

}  // namespace

class StockNameMatcher::Builder {
public:
    Builder(StockNameMatcher& m, const std::vector<stockInfo>& list) : m_(m), list_(list) {}

    void Build() {
        DistinctNames();
        if (names_.empty()) return;
        Anchors();
        for (Half* half : {&m_.starts_, &m_.ends_}) {
            const Anchor anchor = half == &m_.starts_ ? Anchor::start : Anchor::end;
            const std::vector<uint32_t>& members = anchor == Anchor::start ? starts_ : ends_;
            if (members.empty()) continue;
            KeyTable(*half, anchor, members);
            Filters(*half, anchor, members);
            Automaton(*half, anchor, members);
        }
    }

private:
    // names_ (each distinct name once, in the order first listed), m_.names_
    // and m_.entries_ (each name's entries, ascending). A name of up to four
    // units is its own key: the end pass's key table finds its duplicates,
    // and keeps it for the scan on the way. Longer names have a table of
    // their own. A key or a probe sequence too far from home starts the
    // pass again with the next seed.
    void DistinctNames() {
        if (list_.size() >= std::numeric_limits<uint32_t>::max()) throw std::bad_alloc();
        m_.entryCount_ = static_cast<uint32_t>(list_.size());
        std::size_t totalUnits = 0, named = 0, longer = 0;
        for (const stockInfo& s : list_) {
            totalUnits += s.strStockName.size();
            named += !s.strStockName.empty();
            longer += s.strStockName.size() > 4;
        }
        if (totalUnits >= std::numeric_limits<uint32_t>::max()) throw std::bad_alloc();
        std::vector<uint32_t> nameOf(list_.size(), kNone), entriesOf;
        const std::size_t size = std::size_t{1} << std::max(4u, CeilLog2(2 * longer + 2));
        for (unsigned attempt = 0;; ++attempt) {
            names_.clear();
            entriesOf.clear();
            Slots(m_.ends_, named, attempt);
            shortKeys_ = 0;
            // Half full at most; from the last seed on, long probe
            // sequences are left to run (they stay correct, only slower).
            std::vector<uint32_t> table(size, kNone);
            const uint64_t seed = Seed(attempt);
            bool retry = false;
            for (uint32_t e = 0; e < list_.size() && !retry; ++e) {
                const std::u16string_view name = list_[e].strStockName;
                if (name.empty()) continue;
                const auto next = static_cast<uint32_t>(names_.size());
                uint32_t p;
                if (name.size() <= 4) {
                    p = PlaceName(m_.ends_, KeyOf(name, Anchor::end), KeyUnits(name), next);
                    if (p == kNone) {
                        retry = true;
                        continue;
                    }
                    shortKeys_ += p == next;
                } else {
                    std::size_t i = NameHash(name, seed) & (size - 1), probes = 0;
                    while (table[i] != kNone && names_[table[i]] != name) {
                        i = (i + 1) & (size - 1);
                        if (++probes == kMaxBuildProbe && attempt + 1 < kSeeds) retry = true;
                    }
                    if (table[i] == kNone) table[i] = next;
                    p = table[i];
                }
                if (p == next) {
                    names_.push_back(name);
                    entriesOf.push_back(0);
                }
                nameOf[e] = p;
                ++entriesOf[p];
            }
            if (!retry) break;
        }
        if (names_.size() >= kNoName) throw std::bad_alloc();
        keyEstimate_ = named;
        m_.names_.resize(names_.size() + 1);
        uint32_t next = 0;
        for (std::size_t p = 0; p < names_.size(); ++p) {
            m_.names_[p] = {static_cast<uint32_t>(names_[p].size()), next};
            next += entriesOf[p];
        }
        m_.names_.back() = {0, next};
        m_.entries_.resize(next);
        std::fill(entriesOf.begin(), entriesOf.end(), 0);
        for (uint32_t e = 0; e < list_.size(); ++e)
            if (nameOf[e] != kNone) m_.entries_[m_.names_[nameOf[e]].firstEntry + entriesOf[nameOf[e]]++] = e;
    }

    // starts_ and ends_, the names of each pass, and the one-unit names. A
    // name of eight units or more whose first pair occurs in it once and
    // whose last pair recurs is anchored at its start: made of what a
    // repetitive text repeats and changed at its start, anchored at its end
    // it would pass the filter wherever that text goes on. Shorter names,
    // and all others, are anchored at their end; a second pass over the text
    // is only worth it for such names.
    void Anchors() {
        std::vector<uint32_t> singles;
        for (uint32_t p = 0; p < names_.size(); ++p) {
            const std::u16string_view name = names_[p];
            if (name.size() == 1) {
                singles.push_back(p);
                continue;
            }
            bool start = false;
            if (name.size() >= 8) {
                const uint32_t first = LoadPair(name.data()), last = LoadPair(name.data() + name.size() - 2);
                std::size_t firsts = 0, lasts = 0;
                for (std::size_t k = 0; k + 1 < name.size(); ++k) {
                    const uint32_t pair = LoadPair(name.data() + k);
                    firsts += pair == first;
                    lasts += pair == last;
                }
                start = firsts == 1 && lasts >= 2;
            }
            (start ? starts_ : ends_).push_back(p);
        }
        if (singles.empty()) return;
        std::sort(singles.begin(), singles.end(), [&](uint32_t a, uint32_t b) { return names_[a][0] < names_[b][0]; });
        m_.singles_.assign(0x10000 / 64, 0);
        for (const uint32_t p : singles) SetBit(m_.singles_, names_[p][0]);
        m_.singleRank_.resize(m_.singles_.size());
        uint32_t rank = 0;
        for (std::size_t w = 0; w < m_.singles_.size(); ++w) {
            m_.singleRank_[w] = rank;
            rank += static_cast<uint32_t>(std::popcount(m_.singles_[w]));
        }
        m_.singleNames_ = std::move(singles);
    }

    // A name's key: its min(length, 4) units at the anchor, in text order.
    static unsigned KeyUnits(std::u16string_view name) {
        return static_cast<unsigned>(std::min<std::size_t>(name.size(), 4));
    }
    static uint64_t KeyOf(std::u16string_view name, Anchor anchor) {
        const unsigned units = KeyUnits(name);
        return Pack(anchor == Anchor::end ? name.data() + name.size() - units : name.data(), units);
    }

    static unsigned SlotLog2(std::size_t keys) { return std::max(1u, CeilLog2(keys + keys / 3 + 1)); }

    // An empty key table for `keys` keys at most, three quarters full at
    // most: another seed each attempt, twice the size after every kSeeds.
    static void Slots(Half& half, std::size_t keys, unsigned attempt) {
        const unsigned log2 = SlotLog2(keys) + attempt / kSeeds;
        if (log2 > 31) throw std::bad_alloc();
        half.slotShift = 64 - log2;
        half.slotSeed = Seed(attempt);
        half.slots.assign(std::size_t{1} << log2, Slot{});
    }

    // half.slots: every distinct key of the pass, within kMaxProbe of its
    // home slot; each slot's name when a name is its key whole. The end
    // pass's table holds the short names already (DistinctNames): its
    // longer names' keys join them, unless one lands too far from home or
    // the table is too large for the keys, when it is made again as the
    // start pass's is, one find-or-place per name.
    void KeyTable(Half& half, Anchor anchor, const std::vector<uint32_t>& members) {
        if (&half == &m_.ends_) {
            std::size_t keys = shortKeys_;
            bool placed = true;
            for (const uint32_t p : members) {
                const std::u16string_view name = names_[p];
                half.keys |= name.size() <= 4 ? 1u << name.size() : 32u;
                if (name.size() <= 4) continue;
                bool added = false;
                if (!(placed = FindOrPlaceSlot(half, KeyOf(name, anchor), 4, kNoName, added))) break;
                keys += added;
            }
            if (placed && SlotLog2(keys) == SlotLog2(keyEstimate_)) return;
        }
        std::size_t estimate = members.size();  // keys at most
        for (unsigned attempt = 0;; ++attempt) {
            Slots(half, estimate, attempt);
            half.keys = 0;
            std::size_t keys = 0;
            bool placed = true;
            for (const uint32_t p : members) {
                const std::size_t length = names_[p].size();
                const unsigned units = KeyUnits(names_[p]);
                const uint64_t key = KeyOf(names_[p], anchor);
                const uint32_t name = length <= 4 ? p : kNoName;
                half.keys |= length <= 4 ? 1u << length : 32u;
                bool added = false;
                if (!(placed = FindOrPlaceSlot(half, key, units, name, added))) break;
                keys += added;
            }
            if (!placed) continue;
            // Many names share their key: a smaller table holds the keys.
            if (SlotLog2(keys) < SlotLog2(estimate)) {
                estimate = keys;
                attempt = ~0u;
                continue;
            }
            return;
        }
    }

    // A short name's slot, its key: the name it holds, or `next`, placed
    // there; kNone when it would land kMaxProbe or more from its home.
    static uint32_t PlaceName(Half& half, uint64_t key, unsigned units, uint32_t next) {
        bool added = false;
        uint32_t held = kNone;
        if (!FindOrPlaceSlot(half, key, units, next, added, &held)) return kNone;
        return added ? next : held;
    }

    // The slot holding `key`, or kNone.
    static uint32_t FindSlot(const Half& half, uint64_t key, unsigned units) {
        const std::size_t mask = half.slots.size() - 1;
        const auto low = static_cast<uint32_t>(key), high = static_cast<uint32_t>(key >> 32);
        std::size_t i = SlotHash(key, units, half.slotSeed) >> half.slotShift;
        for (unsigned d = 0; d < kMaxProbe; ++d, i = (i + 1) & mask) {
            const Slot& s = half.slots[i];
            if (s.units == 0 || s.distance < d) return kNone;
            if (s.keyLow == low && s.keyHigh == high && s.units == units) return static_cast<uint32_t>(i);
        }
        return kNone;
    }

    // Robin Hood: finds `key` and sets its slot's name when `name` is one,
    // or, given `held`, reports the name the slot holds instead; else places
    // it where a key further from its home would be, taking that one on.
    // False when some key would end kMaxProbe or more from its home.
    static bool FindOrPlaceSlot(Half& half, uint64_t key, unsigned units, uint32_t name, bool& added,
                                uint32_t* held = nullptr) {
        const std::size_t mask = half.slots.size() - 1;
        Slot carried;
        carried.name = name & kNoName;
        carried.keyLow = static_cast<uint32_t>(key);
        carried.keyHigh = static_cast<uint32_t>(key >> 32);
        carried.units = units & 7;
        std::size_t i = SlotHash(key, units, half.slotSeed) >> half.slotShift;
        bool own = true;  // still looking for `key` itself
        for (unsigned d = 0;; ++d, i = (i + 1) & mask) {
            if (d >= kMaxProbe) return false;
            Slot& s = half.slots[i];
            if (own && s.units != 0 && s.keyLow == carried.keyLow && s.keyHigh == carried.keyHigh &&
                s.units == carried.units) {
                if (held)
                    *held = s.name;
                else if (name != kNoName)
                    s.name = name & kNoName;
                return true;
            }
            if (s.units == 0) {
                carried.distance = d & 15;
                s = carried;
                added = added || own;
                return true;
            }
            if (s.distance < d) {
                carried.distance = d & 15;
                std::swap(s, carried);
                d = carried.distance;
                added = added || own;
                own = false;
            }
        }
    }

    // half.automaton and the slots' roots: the pass's names longer than
    // their key, each read from its anchor inwards (a chain), sorted, with
    // the failure links and outputs of every state, breadth first.
    void Automaton(Half& half, Anchor anchor, const std::vector<uint32_t>& members) {
        std::vector<uint32_t> longer;
        std::size_t units = 0;
        for (const uint32_t p : members)
            if (names_[p].size() > 4) longer.push_back(p), units += names_[p].size();
        if (longer.empty()) return;
        struct Automaton& a = half.automaton;
        // The chains' units in reading order, and the chains sorted by them.
        a.units.reserve(units);
        std::vector<uint32_t> offsetOf(longer.size());
        for (std::size_t i = 0; i < longer.size(); ++i) {
            const std::u16string_view name = names_[longer[i]];
            offsetOf[i] = static_cast<uint32_t>(a.units.size());
            if (anchor == Anchor::end)
                a.units.insert(a.units.end(), name.rbegin(), name.rend());
            else
                a.units.insert(a.units.end(), name.begin(), name.end());
        }
        const auto view = [&](std::size_t i) {
            return std::u16string_view(a.units.data() + offsetOf[i], names_[longer[i]].size());
        };
        // By their first four units as one number first, then by the rest
        // where those are alike: most chains differ there.
        std::vector<std::pair<uint64_t, uint32_t>> byKey(longer.size());
        for (uint32_t i = 0; i < byKey.size(); ++i) {
            const char16_t* u = a.units.data() + offsetOf[i];
            byKey[i] = {uint64_t{u[0]} << 48 | uint64_t{u[1]} << 32 | uint64_t{u[2]} << 16 | u[3], i};
        }
        std::sort(byKey.begin(), byKey.end());
        std::vector<uint32_t> order(longer.size());
        for (std::size_t i = 0, j; i < byKey.size(); i = j) {
            for (j = i; j < byKey.size() && byKey[j].first == byKey[i].first; ++j) order[j] = byKey[j].second;
            if (j - i > 1)
                std::sort(order.begin() + i, order.begin() + j,
                          [&](uint32_t x, uint32_t y) { return view(x) < view(y); });
        }
        const std::size_t count = order.size();
        a.chains.resize(count + 1);
        std::vector<uint32_t> nameOf(count), lcp(count, 0);
        std::size_t longest = 0;
        for (std::size_t c = 0; c < count; ++c) {
            a.chains[c] = {offsetOf[order[c]], static_cast<uint32_t>(view(order[c]).size()), 0, 0, 0};
            nameOf[c] = longer[order[c]];
            longest = std::max<std::size_t>(longest, a.chains[c].length);
            if (c > 0) {
                const std::u16string_view x = view(order[c - 1]), y = view(order[c]);
                std::size_t k = 0;
                while (k < x.size() && k < y.size() && x[k] == y[k]) ++k;
                lcp[c] = static_cast<uint32_t>(k);
            }
        }
        const auto unitAt = [&](uint32_t c, uint32_t d) { return a.units[a.chains[c].offset + d]; };

        // Roots, and the branches: a chain that shares four units or more
        // with the one before it leaves it where they part, at a state whose
        // chain (its owner) is the first to have those units.
        struct Parted {
            uint32_t owner, depth, target;
            uint16_t unit;
        };
        std::vector<Parted> parted;
        std::vector<uint32_t> parentOf(count, kNone);  // the owner of the state before a chain's first own one
        {
            std::vector<std::pair<uint32_t, uint32_t>> path;  // (chain, first depth it owns)
            for (uint32_t c = 0; c < count; ++c) {
                if (lcp[c] < 4) {
                    path.clear();
                    path.emplace_back(c, 4);
                    const std::u16string_view name = names_[nameOf[c]];
                    half.slots[FindSlot(half, KeyOf(name, anchor), 4)].root = c;
                    continue;
                }
                while (path.back().second > lcp[c]) path.pop_back();
                const uint32_t owner = path.back().first;
                parted.push_back({owner, lcp[c], c, unitAt(c, lcp[c])});
                parentOf[c] = owner;
                path.emplace_back(c, lcp[c] + 1);
            }
        }
        std::sort(parted.begin(), parted.end(), [](const Parted& x, const Parted& y) {
            return x.owner != y.owner ? x.owner < y.owner : x.depth != y.depth ? x.depth < y.depth : x.unit < y.unit;
        });
        a.branchBits.assign(a.units.size() / 64 + 1, 0);
        a.outputBits.assign(a.units.size() / 64 + 1, 0);
        {
            std::size_t k = 0;
            for (uint32_t c = 0; c <= count; ++c) {
                a.chains[c].firstBranch = static_cast<uint32_t>(k);
                for (; k < parted.size() && parted[k].owner == c; ++k) {
                    a.branches.push_back({parted[k].depth, parted[k].target, parted[k].unit});
                    SetBit(a.branchBits, a.chains[c].offset + parted[k].depth - 1);
                }
            }
        }
        const auto branch = [&](uint32_t c, uint32_t d, char16_t u) {
            const auto begin = a.branches.begin() + a.chains[c].firstBranch,
                       end = a.branches.begin() + a.chains[c + 1].firstBranch;
            const auto it =
                std::lower_bound(begin, end, std::pair{d, u}, [](const Branch& b, std::pair<uint32_t, char16_t> v) {
                    return b.depth != v.first ? b.depth < v.first : b.unit < v.second;
                });
            return it != end && it->depth == d && it->unit == u ? it->target : kNone;
        };

        // Failure links and outputs, breadth first: a state's links lead to
        // states of fewer units, already linked. The link of a state is the
        // child by its last unit of the first state along its parent's links
        // that has one; failing that, the root of its last four units, if
        // those are a key of longer names.
        const auto first = [&](uint32_t c) { return lcp[c] < 4 ? 4u : lcp[c] + 1; };
        std::vector<uint64_t> link(a.units.size(), kNone);  // per state: chain << 32 | depth, or kNone
        std::vector<uint32_t> out(a.units.size(), kNone);
        const auto node = [&](uint32_t c, uint32_t d) { return a.chains[c].offset + d - 1; };
        std::vector<std::vector<uint32_t>> startingAt(longest + 1);
        for (uint32_t c = 0; c < count; ++c) startingAt[first(c)].push_back(c);
        std::vector<uint32_t> active, still;
        for (uint32_t d = 4; d <= longest; ++d) {
            active.insert(active.end(), startingAt[d].begin(), startingAt[d].end());
            still.clear();
            for (const uint32_t c : active) {
                if (d > first(c) || parentOf[c] != kNone) {
                    // The parent: this chain's state before, or its owner's.
                    const uint32_t pc = d > first(c) ? c : parentOf[c];
                    const char16_t u = unitAt(c, d - 1);
                    uint64_t f = link[node(pc, d - 1)], target = kNone;
                    while (f != kNone && target == kNone) {
                        const auto fc = static_cast<uint32_t>(f >> 32), fd = static_cast<uint32_t>(f);
                        if (fd < a.chains[fc].length && unitAt(fc, fd) == u)
                            target = uint64_t{fc} << 32 | (fd + 1);
                        else if (const uint32_t b = branch(fc, fd, u); b != kNone)
                            target = uint64_t{b} << 32 | (fd + 1);
                        else
                            f = link[node(fc, fd)];
                    }
                    if (target == kNone) {
                        char16_t last[4];
                        for (unsigned k = 0; k < 4; ++k) last[k] = unitAt(c, d - 4 + k);
                        if (anchor == Anchor::end) std::reverse(last, last + 4);
                        // The second filter stage knows most windows are no key of longer names.
                        const uint64_t window = Pack(last, 4);
                        const uint32_t h = KeyHash(window, 4);
                        if ((half.keyFilter[h >> half.keyFilterShift] & RootBits(h)) == RootBits(h)) {
                            const uint32_t slot = FindSlot(half, window, 4);
                            if (slot != kNone && half.slots[slot].root != kNone)
                                target = uint64_t{half.slots[slot].root} << 32 | 4;
                        }
                    }
                    link[node(c, d)] = target;
                    out[node(c, d)] =
                        target == kNone ? kNone
                                        : out[node(static_cast<uint32_t>(target >> 32), static_cast<uint32_t>(target))];
                }
                if (d == a.chains[c].length) {
                    a.outputs.push_back({nameOf[c], out[node(c, d)]});
                    out[node(c, d)] = static_cast<uint32_t>(a.outputs.size() - 1);
                } else {
                    still.push_back(c);
                }
            }
            active.swap(still);
        }

        // Each chain's links as runs, and its outputs by depth.
        for (uint32_t c = 0; c < count; ++c) {
            a.chains[c].firstRun = static_cast<uint32_t>(a.runs.size());
            a.chains[c].firstOutput = static_cast<uint32_t>(a.outputsAt.size());
            uint64_t previous = kNone;
            for (uint32_t d = first(c); d <= a.chains[c].length; ++d) {
                const uint64_t f = link[node(c, d)];
                const bool goesOn =
                    d > first(c) && (f == kNone ? previous == kNone : previous != kNone && f == previous + 1);
                if (!goesOn)
                    a.runs.push_back({d, f == kNone ? kNone : static_cast<uint32_t>(f >> 32),
                                      f == kNone ? 0 : static_cast<uint32_t>(f)});
                previous = f;
                if (out[node(c, d)] != kNone) {
                    a.outputsAt.push_back({d, out[node(c, d)]});
                    SetBit(a.outputBits, node(c, d));
                }
            }
        }
        a.chains[count] = {static_cast<uint32_t>(a.units.size()), 0, static_cast<uint32_t>(a.runs.size()),
                           static_cast<uint32_t>(a.branches.size()), static_cast<uint32_t>(a.outputsAt.size())};
        for (auto* v : {&a.runs}) v->shrink_to_fit();
        a.branches.shrink_to_fit();
        a.outputsAt.shrink_to_fit();
        a.outputs.shrink_to_fit();
    }

    // half.filter and half.keyFilter (matcher_layout.h), for the pass's
    // names of two units or more.
    void Filters(Half& half, Anchor anchor, const std::vector<uint32_t>& members) {
        const unsigned log2 = std::clamp(CeilLog2(members.size() * kFilterBitsPerKey), kFilterMinLog2, kFilterMaxLog2);
        half.filter.assign((std::size_t{1} << log2) / 32, 0);
        half.filterShift = 32 - (log2 - 5);
        half.keyFilter.assign((std::size_t{1} << log2) / 32, 0);
        half.keyFilterShift = 32 - (log2 - 5);
        std::vector<uint32_t> atDepth[3];  // the names' distinct units 0, 1 and 2 from the edge, while few
        for (const uint32_t p : members) {
            const std::u16string_view name = names_[p];
            const std::size_t n = name.size();
            const uint32_t key = KeyHash(KeyOf(name, anchor), KeyUnits(name));
            half.keyFilter[key >> half.keyFilterShift] |= n <= 4 ? AnchorBits(key) : RootBits(key);
            const char16_t* at = anchor == Anchor::end ? name.data() + n - 2 : name.data();
            const uint32_t pair = LoadPair(at);
            if (half.few.size() <= kFewPairs && std::find(half.few.begin(), half.few.end(), pair) == half.few.end())
                half.few.push_back(pair);
            for (std::size_t k = 0; k < 3; ++k) {
                // The unit k from the edge, or none in a name too short for it.
                std::vector<uint32_t>& few = atDepth[k];
                if (few.size() > kFewPairs) continue;
                if (k >= n) {
                    few.assign(kFewPairs + 1, 0);
                    continue;
                }
                const uint32_t u = anchor == Anchor::end ? name[n - 1 - k] : name[k];
                if (few.size() <= kFewPairs && std::find(few.begin(), few.end(), u) == few.end()) few.push_back(u);
            }
            const uint32_t h = PairHash(pair);
            half.filter[h >> half.filterShift] |= AnchorBits(h);
            if (n == 2) {
                half.filter[h >> half.filterShift] |= TwoUnitBit(h);
                continue;
            }
            const uint32_t inner = LoadPair(anchor == Anchor::end ? at - 1 : at + 1);
            half.filter[PairHash(inner) >> half.filterShift] |= InnerBits(inner) | (n == 3 ? ThreeUnitBit(inner) : 0);
            if (n > 3) {
                const uint32_t outer = LoadPair(anchor == Anchor::end ? at - 2 : at + 2);
                half.filter[PairHash(outer) >> half.filterShift] |= OuterBits(outer);
            }
        }
        if (half.few.size() > kFewPairs) half.few.clear();
        half.few.shrink_to_fit();
        // The units at the names' edge (their last, or their first), where
        // they differ from what the text is full of, if few; else those one
        // or two units inwards, which names sharing most of themselves share,
        // if one or two: taken from the text, more of them would be in most
        // blocks of it.
        for (std::size_t k = 0; k < 3; ++k) {
            // At the edge only where the pairs are few too: the last units of
            // many names (digits, for codes) are what a text is full of.
            if (k == 0 ? half.few.empty() : atDepth[k].size() > kFewInward) continue;
            for (const uint32_t u : atDepth[k]) half.fewUnits.push_back(static_cast<uint16_t>(u));
            // From the pair's position: its second unit is the end's edge, its first the start's.
            half.fewOffset = anchor == Anchor::end ? 1 - static_cast<int>(k) : static_cast<int>(k);
            break;
        }
    }

    StockNameMatcher& m_;
    const std::vector<stockInfo>& list_;
    std::vector<std::u16string_view> names_;  // each distinct name's units, in the list
    std::vector<uint32_t> starts_, ends_;     // the names of each pass
    std::size_t shortKeys_ = 0;               // distinct names of up to four units, in the end pass's table
    std::size_t keyEstimate_ = 0;             // what that table was made for
};

StockNameMatcher::StockNameMatcher(const std::vector<stockInfo>& list) {
    Builder(*this, list).Build();
    if (names_.empty()) names_.push_back({0, 0});
}

}  // namespace varnoke
