// The Chinese code pages a data file may be in, decoded with iconv.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace varnoke::adapters::posix {

// `bytes` of code page 950 or 936 in UTF-16, or nothing when a code is not
// valid in it.
std::optional<std::u16string> DecodeWithIconv(unsigned codePage, std::string_view bytes);

}  // namespace varnoke::adapters::posix
