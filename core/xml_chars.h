// XML's rule on which characters a document may hold, written as they are
// or as a character reference. A parser that lets a forbidden one through
// hands the loaders truncated or emptied names and addresses, so the XML
// adapters check the bytes themselves before parsing.
#pragma once

#include <string_view>

namespace varnoke {

// #x9 | #xA | #xD | [#x20-#xD7FF] | [#xE000-#xFFFD] | [#x10000-#x10FFFF]
constexpr bool IsXmlChar(char32_t c) {
    return c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF) || (c >= 0xE000 && c <= 0xFFFD) ||
           (c >= 0x10000 && c <= 0x10FFFF);
}

// Whether a stored document holds allowed characters only, raw and in
// character references (those in CDATA sections, comments and processing
// instructions are literal text). UTF-16 (a byte-order mark or a NUL in the
// first two bytes) and UTF-8 (no declared encoding, UTF-8 or ASCII) are decoded;
// any other encoding is taken as ASCII-compatible, its bytes past 0x7F as
// allowed characters. Invalid UTF-8 or UTF-16 fails.
bool HasOnlyXmlChars(std::string_view bytes);

// The same for a document already decoded to UTF-8 or to UTF-16.
bool HasOnlyXmlCharsUtf8(std::string_view text);
bool HasOnlyXmlChars(std::u16string_view text);

}  // namespace varnoke
