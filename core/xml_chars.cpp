#include "core/xml_chars.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>
#include <string>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace varnoke {
namespace {

template <class C>
bool At(std::basic_string_view<C> s, std::size_t i, std::string_view ascii) {
    if (s.size() - i < ascii.size()) return false;
    for (std::size_t k = 0; k < ascii.size(); ++k)
        if (s[i + k] != static_cast<C>(ascii[k])) return false;
    return true;
}

// Just past the end of `ascii` from i on, or npos.
template <class C>
std::size_t PastNext(std::basic_string_view<C> s, std::size_t i, std::string_view ascii) {
    for (i = s.find(static_cast<C>(ascii[0]), i); i != s.npos; i = s.find(static_cast<C>(ascii[0]), i + 1))
        if (At(s, i, ascii)) return i + ascii.size();
    return s.npos;
}

int DigitValue(char32_t c, bool hex) {
    if (c >= '0' && c <= '9') return static_cast<int>(c - '0');
    if (!hex) return -1;
    if (c >= 'a' && c <= 'f') return static_cast<int>(c - 'a' + 10);
    if (c >= 'A' && c <= 'F') return static_cast<int>(c - 'A' + 10);
    return -1;
}

// Every character reference outside CDATA sections, comments and
// processing instructions names an allowed character. Markup is ASCII in
// every encoding taken here, so code units are compared directly. Text
// that is no complete reference is left to the parser.

// Where the next reference or literal section may start. In byte text: at
// the next '&', '!' or '?', each found by the library's byte search (far
// quicker than a loop here) and searched for again only once passed. A
// tag's '<' matters only before '!' or '?': the search lands on it there.
template <class C>
class MarkupFinder {
public:
    explicit MarkupFinder(std::basic_string_view<C> s) : s_(s) {}

    std::size_t From(std::size_t i) {
        if constexpr (sizeof(C) != 1) {
            return i;  // wide text: every unit is looked at
        } else {
            std::size_t best = s_.npos;
            for (int k = 0; k < 3; ++k) {
                if (!searched_[k] || next_[k] < i) {
                    next_[k] = s_.find(kMarks[k], i);
                    searched_[k] = true;
                }
                best = std::min(best, next_[k]);
            }
            if (best == s_.npos) return s_.size();
            if (s_[best] != '&' && best > i && s_[best - 1] == '<') --best;
            return best;
        }
    }

private:
    static constexpr char kMarks[3] = {'&', '!', '?'};
    std::basic_string_view<C> s_;
    std::size_t next_[3] = {};
    bool searched_[3] = {};
};

template <class C>
std::size_t FirstForbiddenReference(std::basic_string_view<C> s) {
    std::size_t i = 0;
    MarkupFinder<C> markup(s);
    while ((i = markup.From(i)) < s.size()) {
        const C c = s[i];
        if (c == static_cast<C>('<')) {
            std::size_t end = i + 1;
            if (end == s.size() || (s[end] != static_cast<C>('!') && s[end] != static_cast<C>('?'))) {
                i = end;  // a tag: nothing literal starts here
                continue;
            }
            if (At(s, i, "<!--"))
                end = PastNext(s, i + 4, "-->");
            else if (At(s, i, "<![CDATA["))
                end = PastNext(s, i + 9, "]]>");
            else if (At(s, i, "<?"))
                end = PastNext(s, i + 2, "?>");
            if (end == s.npos) return s.npos;  // unterminated: the parser rejects it
            i = end;
            continue;
        }
        if (c != static_cast<C>('&') || !At(s, i, "&#")) {
            ++i;
            continue;
        }
        const std::size_t at = i;
        i += 2;
        const bool hex = i < s.size() && s[i] == static_cast<C>('x');
        if (hex) ++i;
        char32_t value = 0;
        std::size_t digits = 0;
        for (int d; i < s.size() && (d = DigitValue(static_cast<char32_t>(s[i]), hex)) >= 0; ++i, ++digits)
            value = value > 0x10FFFF ? value : value * (hex ? 16 : 10) + static_cast<char32_t>(d);
        if (digits > 0 && i < s.size() && s[i] == static_cast<C>(';') && !IsXmlChar(value)) return at;
    }
    return s.npos;
}

// Skips the bytes from p on that are ASCII from blank up, tabs and line
// ends: sixteen at a time where the compiler targets SSE2 (every x86-64
// build), so that the line ends of a list of short entries do not stop it.
// Elsewhere, a word at a time of ASCII from blank up: a byte from 0x80 up
// or below 0x20 sets its high bit in word | (word - 0x20...).
const unsigned char* SkipPlainAscii(const unsigned char* p, const unsigned char* end) {
#if defined(__SSE2__)
    const __m128i blank = _mm_set1_epi8(0x20), tab = _mm_set1_epi8('\t'), lf = _mm_set1_epi8('\n'),
                  cr = _mm_set1_epi8('\r');
    while (end - p >= 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        // Signed: bytes from 0x80 up compare below blank too.
        const __m128i below = _mm_cmplt_epi8(v, blank);
        const __m128i spaces =
            _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, tab), _mm_cmpeq_epi8(v, lf)), _mm_cmpeq_epi8(v, cr));
        const auto other = static_cast<unsigned>(_mm_movemask_epi8(_mm_andnot_si128(spaces, below)));
        if (other != 0) return p + std::countr_zero(other);
        p += 16;
    }
#else
    constexpr uint64_t kOnes = 0x0101010101010101ull, kHighs = 0x8080808080808080ull;
    while (end - p >= 8) {
        uint64_t word;
        std::memcpy(&word, p, sizeof word);
        if (((word | (word - kOnes * 0x20)) & kHighs) != 0) break;
        p += 8;
    }
#endif
    return p;
}

std::size_t FirstForbiddenRawUtf8(std::string_view s) {
    const auto* const begin = reinterpret_cast<const unsigned char*>(s.data());
    const auto* p = begin;
    const auto* const end = p + s.size();
    while (p != end) {
        if (*p < 0x80) p = SkipPlainAscii(p, end);
        // Three-byte characters in a row, the common case in CJK text: lead
        // E1-EC or EE (EF may be U+FFFE/U+FFFF, ED a surrogate, E0
        // overlong), then two continuation bytes, is always allowed.
        while (end - p >= 3 && ((p[0] >= 0xE1 && p[0] <= 0xEC) || p[0] == 0xEE) && (p[1] & 0xC0) == 0x80 &&
               (p[2] & 0xC0) == 0x80)
            p += 3;
        if (p == end) break;
        const unsigned b = *p;
        if (b < 0x80) {
            if (!IsXmlChar(b)) return static_cast<std::size_t>(p - begin);
            ++p;
            continue;
        }
        const std::size_t n = b >= 0xF0 ? 4 : b >= 0xE0 ? 3 : b >= 0xC0 ? 2 : 0;
        if (n == 0 || b > 0xF4 || static_cast<std::size_t>(end - p) < n) return static_cast<std::size_t>(p - begin);
        char32_t c = b & (0x7F >> n);
        for (std::size_t k = 1; k < n; ++k) {
            const unsigned t = p[k];
            if ((t & 0xC0) != 0x80) return static_cast<std::size_t>(p - begin);
            c = (c << 6) | (t & 0x3F);
        }
        const char32_t least = n == 2 ? 0x80 : n == 3 ? 0x800 : 0x10000;
        if (c < least || !IsXmlChar(c))
            return static_cast<std::size_t>(p - begin);  // overlong, surrogate, U+FFFE/U+FFFF or too large
        p += n;
    }
    return std::string_view::npos;
}

std::size_t FirstForbiddenRawUtf16(std::u16string_view s) {
    for (std::size_t i = 0; i < s.size(); ++i) {
        const char16_t u = s[i];
        if (u >= 0xD800 && u <= 0xDBFF) {
            if (i + 1 == s.size() || s[i + 1] < 0xDC00 || s[i + 1] > 0xDFFF) return i;
            ++i;  // a pair is always an allowed character
        } else if (!IsXmlChar(u)) {
            return i;  // includes a lone low surrogate
        }
    }
    return s.npos;
}

}  // namespace

std::size_t FirstForbiddenXmlChar(std::string_view utf8) {
    return std::min(FirstForbiddenRawUtf8(utf8), FirstForbiddenReference(utf8));
}

std::size_t FirstForbiddenXmlChar(std::u16string_view text) {
    return std::min(FirstForbiddenRawUtf16(text), FirstForbiddenReference(text));
}

}  // namespace varnoke
