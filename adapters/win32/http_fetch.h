// Fetching an http or https address within bounds, with WinHTTP: the one
// client of the XML adapter's loads and of the fetch port.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "adapters/bounded_limits.h"

namespace varnoke::adapters::win32 {

// The body, or nothing when the address is no http(s) one, the server
// answered anything but 2xx, or a bound (size, time, the deadline) passed.
std::optional<std::string> FetchWithin(std::u16string_view url, const BoundedLimits& limits);

}  // namespace varnoke::adapters::win32
