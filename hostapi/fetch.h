// Fetching an http or https address: the bounds every platform keeps, and
// the port the refresh fetches through.
#pragma once

#include <algorithm>
#include <chrono>
#include <optional>
#include <string>
#include <string_view>

namespace varnoke::hostapi {

// Bounds on loading an http or https address, the same for every backend: a
// server that does not answer, or answers slowly, must not hold the host's
// call for long. A load past a bound fails like an unreachable address. A
// time bound below one second counts as one second on every platform (none
// means "no bound").
struct FetchLimits {
    long connectSeconds = 10;
    long totalSeconds = 30;
    long maxBytes = 16L * 1024 * 1024;
};

class IFetch {
public:
    virtual ~IFetch() = default;
    // The body as served, redirects followed within http and https, ended by
    // `deadline` at the latest besides the bounds; nothing for an address
    // that is no http(s) one, an error status or any bound passed.
    virtual std::optional<std::string> Fetch(std::u16string_view url,
                                             std::chrono::steady_clock::time_point deadline) = 0;
};

// A time bound as every adapter applies it: at least one second, and at
// most what fits a platform's 32-bit milliseconds.
inline long BoundSeconds(long seconds) { return std::clamp(seconds, 1L, 0x7FFFFFFFL / 1000); }

}  // namespace varnoke::hostapi
