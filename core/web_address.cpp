#include "core/web_address.h"

#include <algorithm>
#include <cstdint>
#include <iterator>

#include "core/unicode.h"

namespace varnoke {
namespace {

bool StartsWithIgnoringAsciiCase(std::u16string_view text, std::u16string_view lowerPrefix) {
    if (text.size() < lowerPrefix.size()) return false;
    for (std::size_t i = 0; i < lowerPrefix.size(); ++i) {
        char16_t c = text[i];
        if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c - u'A' + u'a');
        if (c != lowerPrefix[i]) return false;
    }
    return true;
}

struct CodePointRange {
    char32_t first, last;
};

// Every control (Cc), White_Space and format (Cf) code point, merged into
// ascending ranges. Both sets are small and Unicode keeps them stable; a
// browser or the shell may take any of them as a separator, a line end or a
// reordering of what the user is shown.
constexpr CodePointRange kRefused[] = {
    {0x0000, 0x0020},    // C0 controls, tab to carriage return, space
    {0x007F, 0x00A0},    // delete, C1 controls (U+0085 next line), no-break space
    {0x00AD, 0x00AD},    // soft hyphen
    {0x0600, 0x0605},    // Arabic number signs
    {0x061C, 0x061C},    // Arabic letter mark
    {0x06DD, 0x06DD},    // Arabic end of ayah
    {0x070F, 0x070F},    // Syriac abbreviation mark
    {0x0890, 0x0891},    // Arabic pound and piastre marks above
    {0x08E2, 0x08E2},    // Arabic disputed end of ayah
    {0x1680, 0x1680},    // Ogham space mark
    {0x180E, 0x180E},    // Mongolian vowel separator
    {0x2000, 0x200F},    // typographic spaces, zero width characters, LRM, RLM
    {0x2028, 0x202F},    // line and paragraph separators, embeddings and overrides, narrow no-break space
    {0x205F, 0x2064},    // medium mathematical space, word joiner, invisible operators
    {0x2066, 0x206F},    // isolates, deprecated format characters
    {0x3000, 0x3000},    // ideographic space
    {0xFEFF, 0xFEFF},    // zero width no-break space (byte order mark)
    {0xFFF9, 0xFFFB},    // interlinear annotation
    {0x110BD, 0x110BD},  // Kaithi number sign
    {0x110CD, 0x110CD},  // Kaithi number sign above
    {0x13430, 0x1343F},  // Egyptian hieroglyph format controls
    {0x1BCA0, 0x1BCA3},  // shorthand format controls
    {0x1D173, 0x1D17A},  // musical symbol format controls
    {0xE0001, 0xE0001},  // language tag
    {0xE0020, 0xE007F},  // tag characters
};

bool IsRefused(char32_t c) {
    const auto* after = std::upper_bound(std::begin(kRefused), std::end(kRefused), c,
                                         [](char32_t value, const CodePointRange& r) { return value < r.first; });
    return after != std::begin(kRefused) && c <= std::prev(after)->last;
}

bool IsHighSurrogate(char16_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool IsLowSurrogate(char16_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

}  // namespace

bool HasWebScheme(std::u16string_view text) {
    return StartsWithIgnoringAsciiCase(text, u"http://") || StartsWithIgnoringAsciiCase(text, u"https://");
}

bool IsWebAddress(std::u16string_view url) {
    if (!HasWebScheme(url)) return false;
    for (std::size_t i = 0; i < url.size(); ++i) {
        char32_t c = url[i];
        if (IsHighSurrogate(url[i])) {
            if (i + 1 == url.size() || !IsLowSurrogate(url[i + 1])) return false;
            c = 0x10000 + ((c - 0xD800) << 10) + (url[i + 1] - 0xDC00);
            ++i;
        } else if (IsLowSurrogate(url[i])) {
            return false;  // unpaired
        }
        if (c == U'"' || IsRefused(c)) return false;
    }
    return true;
}

std::string PercentEncodeNonAscii(std::u16string_view url) {
    for (std::size_t i = 0; i < url.size(); ++i) {
        if (IsHighSurrogate(url[i]) && i + 1 < url.size() && IsLowSurrogate(url[i + 1])) {
            ++i;
        } else if (IsHighSurrogate(url[i]) || IsLowSurrogate(url[i])) {
            return {};
        }
    }
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string encoded;
    for (const char c : Utf16ToUtf8(url)) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x80) {
            encoded += c;
        } else {
            encoded += '%';
            encoded += kHex[byte >> 4];
            encoded += kHex[byte & 0xF];
        }
    }
    return encoded;
}

}  // namespace varnoke
