// A document's fetch bounds, and the deadline its caller may add to them
// (SetFetchDeadline): what both platforms' XML adapters fetch within.
#pragma once

#include <chrono>
#include <optional>

#include "hostapi/xml.h"

namespace varnoke::adapters {

struct BoundedLimits : hostapi::FetchLimits {
    explicit BoundedLimits(const hostapi::FetchLimits& limits) : FetchLimits(limits) {}
    std::optional<std::chrono::steady_clock::time_point> deadline;
};

}  // namespace varnoke::adapters
