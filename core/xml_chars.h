// XML's rule on which characters a document may hold, written as they are
// or as a character reference. A parser that lets a forbidden one through
// hands the loaders truncated or emptied names and addresses, so the
// component checks the decoded text itself before parsing.
#pragma once

#include <string_view>

namespace varnoke {

// #x9 | #xA | #xD | [#x20-#xD7FF] | [#xE000-#xFFFD] | [#x10000-#x10FFFF]
constexpr bool IsXmlChar(char32_t c) {
    return c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF) || (c >= 0xE000 && c <= 0xFFFD) ||
           (c >= 0x10000 && c <= 0x10FFFF);
}

// The offset (in code units) of the first character a document may not
// hold, raw or as a character reference outside CDATA sections, comments and
// processing instructions (those are literal text there); npos when there is
// none. In UTF-8 text, a byte that does not continue valid UTF-8 counts as
// such a character; in UTF-16 text, a lone surrogate does.
std::size_t FirstForbiddenXmlChar(std::string_view utf8);
std::size_t FirstForbiddenXmlChar(std::u16string_view text);

}  // namespace varnoke
