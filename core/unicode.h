// Conversions between the component's UTF-16 strings and UTF-8, the
// encoding of POSIX file names, the XML library and the tool's input.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace varnoke {

// Strict: overlong forms, surrogate code points, values above U+10FFFF and
// truncated sequences make the whole conversion fail.
std::optional<std::u16string> Utf8ToUtf16(std::string_view utf8);

// Lone surrogates (which a host may legitimately pass) become U+FFFD.
std::string Utf16ToUtf8(std::u16string_view utf16);

// Byte offset of the first invalid UTF-8 sequence, or npos when valid.
std::size_t FirstInvalidUtf8(std::string_view utf8);

}  // namespace varnoke
