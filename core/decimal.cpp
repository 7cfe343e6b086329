#include "core/decimal.h"

#include <limits>

namespace varnoke {
namespace {

bool IsBlank(char16_t c) { return c == u' ' || c == u'\t'; }

// Digits up to one past the signed 32-bit maximum, the magnitude of its minimum.
std::optional<int64_t> Magnitude(std::u16string_view digits) {
    if (digits.empty()) return std::nullopt;
    int64_t value = 0;
    for (char16_t c : digits) {
        if (c < u'0' || c > u'9') return std::nullopt;
        value = value * 10 + (c - u'0');
        if (value > int64_t{std::numeric_limits<int32_t>::max()} + 1) return std::nullopt;
    }
    return value;
}

}  // namespace

std::optional<int32_t> DigitsValue(std::u16string_view digits) {
    const auto value = Magnitude(digits);
    if (!value || *value > std::numeric_limits<int32_t>::max()) return std::nullopt;
    return static_cast<int32_t>(*value);
}

std::optional<int32_t> ParseInt32(std::u16string_view text) {
    while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
    bool negative = false;
    if (!text.empty() && (text.front() == u'+' || text.front() == u'-')) {
        negative = text.front() == u'-';
        text.remove_prefix(1);
    }
    auto value = Magnitude(text);
    if (!value) return std::nullopt;
    if (negative) *value = -*value;
    if (*value > std::numeric_limits<int32_t>::max()) return std::nullopt;
    return static_cast<int32_t>(*value);
}

std::u16string DecimalText(int64_t value) {
    const std::string digits = std::to_string(value);
    return std::u16string(digits.begin(), digits.end());
}

}  // namespace varnoke
