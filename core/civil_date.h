// Day counts from 1970-01-01 and civil dates (proleptic Gregorian), for the
// refresh's minute counts, the manifests' UTC times and the tool's dates.
#pragma once

#include <cstdint>

namespace varnoke {

struct CivilDate {
    int64_t year, month, day;
};

// Days from 1970-01-01 to a civil date.
constexpr int64_t DaysFromCivil(int64_t y, int64_t m, int64_t d) {
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const int64_t yoe = y - era * 400;
    const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

// The civil date `days` after 1970-01-01.
constexpr CivilDate CivilFromDays(int64_t days) {
    days += 719468;
    const int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const int64_t doe = days - era * 146097;
    const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const int64_t mp = (5 * doy + 2) / 153;
    const int64_t day = doy - (153 * mp + 2) / 5 + 1;
    const int64_t month = mp < 10 ? mp + 3 : mp - 9;
    return {yoe + era * 400 + (month <= 2), month, day};
}

// Whole units of `unit` below `value`, rounded towards minus infinity.
constexpr int64_t FloorDiv(int64_t value, int64_t unit) {
    return value >= 0 ? value / unit : (value - unit + 1) / unit;
}

}  // namespace varnoke
