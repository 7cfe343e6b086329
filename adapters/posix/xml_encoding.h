// Legacy encodings named in an XML declaration, which pugixml does not read
// by itself: converted to UTF-8 with iconv before parsing.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace varnoke::adapters::posix {

// `bytes` in UTF-8, or nothing when the encoding is unknown or the bytes are
// not valid in it.
std::optional<std::string> ConvertToUtf8(std::string_view bytes, std::string_view declared);

}  // namespace varnoke::adapters::posix
