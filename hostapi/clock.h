// The current local date and time, as a port so tests can set the clock.
#pragma once

#include <cstdint>

namespace varnoke::hostapi {

struct LocalDateTime {
    int year;
    int month;   // 1-12
    int day;     // 1-31
    int hour;    // 0-23
    int minute;  // 0-59
    int second;  // 0-60
};

class IClock {
public:
    virtual ~IClock() = default;
    virtual LocalDateTime Now() = 0;
    // Seconds since 1970-01-01 00:00 UTC, for expiry times that mean the
    // same moment in every time zone.
    virtual std::int64_t UtcSeconds() = 0;
};

}  // namespace varnoke::hostapi
