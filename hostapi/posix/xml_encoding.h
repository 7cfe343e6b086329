// Legacy encodings named in an XML declaration, which the XML library does
// not read by itself: converted to UTF-8 with iconv before parsing.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace varnoke::hostapi::posix {

// The encoding name of the document's XML declaration, lower-cased; empty
// when the document starts with a byte-order mark or has no declaration
// (the XML library then detects the Unicode encoding itself).
std::string DeclaredEncoding(std::string_view bytes);

// The iconv name used for a declared encoding. Windows' code pages are the
// supersets that real files labelled "big5" or "gb2312" use.
std::string IconvNameFor(std::string_view declared);

// Whether the XML library reads this declared encoding itself.
bool IsNativeEncoding(std::string_view declared);

// `bytes` in UTF-8, or nothing when the encoding is unknown or the bytes are
// not valid in it.
std::optional<std::string> ConvertToUtf8(std::string_view bytes, std::string_view declared);

}  // namespace varnoke::hostapi::posix
