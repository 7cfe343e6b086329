#include "core/unicode.h"

#include <cstdint>
#include <cstring>

namespace varnoke {
namespace {

// Decodes one scalar value at `i`; returns its length, or 0 when invalid.
std::size_t DecodeOne(std::string_view s, std::size_t i, char32_t& out) {
    const auto b0 = static_cast<unsigned char>(s[i]);
    if (b0 < 0x80) {
        out = b0;
        return 1;
    }
    std::size_t len;
    char32_t cp;
    char32_t min;
    if ((b0 & 0xE0) == 0xC0) {
        len = 2, cp = b0 & 0x1F, min = 0x80;
    } else if ((b0 & 0xF0) == 0xE0) {
        len = 3, cp = b0 & 0x0F, min = 0x800;
    } else if ((b0 & 0xF8) == 0xF0) {
        len = 4, cp = b0 & 0x07, min = 0x10000;
    } else {
        return 0;
    }
    if (s.size() - i < len) return 0;
    for (std::size_t k = 1; k < len; ++k) {
        const auto b = static_cast<unsigned char>(s[i + k]);
        if ((b & 0xC0) != 0x80) return 0;
        cp = (cp << 6) | (b & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
    out = cp;
    return len;
}

}  // namespace

std::size_t FirstInvalidUtf8(std::string_view utf8) {
    for (std::size_t i = 0; i < utf8.size();) {
        // Markup is mostly ASCII: eight bytes at a time while it lasts.
        while (utf8.size() - i >= 8) {
            uint64_t chunk;
            std::memcpy(&chunk, utf8.data() + i, 8);
            if (chunk & 0x8080808080808080ull) break;
            i += 8;
        }
        if (i == utf8.size()) break;
        char32_t cp;
        const std::size_t n = DecodeOne(utf8, i, cp);
        if (n == 0) return i;
        i += n;
    }
    return std::string_view::npos;
}

std::optional<std::u16string> Utf8ToUtf16(std::string_view utf8) {
    // Sized exactly: one unit per byte that starts a character, two for a
    // four-byte one. Short results then fit in the string itself.
    std::size_t units = 0;
    for (char c : utf8) {
        const auto b = static_cast<unsigned char>(c);
        units += (b & 0xC0) != 0x80;
        units += b >= 0xF0;
    }
    std::u16string out(units, u'\0');
    std::size_t w = 0;
    for (std::size_t i = 0; i < utf8.size();) {
        char32_t cp;
        const std::size_t n = DecodeOne(utf8, i, cp);
        if (n == 0) return std::nullopt;
        i += n;
        if (cp < 0x10000) {
            out[w++] = static_cast<char16_t>(cp);
        } else {
            cp -= 0x10000;
            out[w++] = static_cast<char16_t>(0xD800 + (cp >> 10));
            out[w++] = static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
        }
    }
    return out;
}

std::string Utf16ToUtf8(std::u16string_view utf16) {
    // Sized exactly (a pair's two units take four bytes, as two lone halves
    // replaced by U+FFFD would take six: the bound is safe), so that short
    // results fit in the string itself.
    std::size_t bytes = 0;
    for (char16_t c : utf16) bytes += c < 0x80 ? 1 : c < 0x800 ? 2 : 3;
    std::string out;
    out.reserve(bytes);
    for (std::size_t i = 0; i < utf16.size(); ++i) {
        char32_t cp = utf16[i];
        if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < utf16.size() && utf16[i + 1] >= 0xDC00 && utf16[i + 1] <= 0xDFFF) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (utf16[i + 1] - 0xDC00);
            ++i;
        } else if (cp >= 0xD800 && cp <= 0xDFFF) {
            cp = 0xFFFD;
        }
        if (cp < 0x80) {
            out.push_back(static_cast<char>(cp));
        } else if (cp < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else if (cp < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        }
    }
    return out;
}

}  // namespace varnoke
