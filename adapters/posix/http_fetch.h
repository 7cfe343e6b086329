// Fetching an http or https address within bounds, with libcurl: the one
// client of the XML adapter's loads and of the fetch port.
#pragma once

#include <optional>
#include <string>

#include "adapters/bounded_limits.h"

namespace varnoke::adapters::posix {

// The body, or nothing when the address is no http(s) one, the server
// answered 400 or above, or a bound (size, time, the deadline) passed.
std::optional<std::string> FetchBounded(const std::string& url, const BoundedLimits& limits);

}  // namespace varnoke::adapters::posix
