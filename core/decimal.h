// Decimal numbers in the data files and in cell references.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace varnoke {

// The value of a non-empty run of ASCII digits (leading zeros allowed);
// nothing for any other character or a value above 2147483647.
std::optional<int32_t> DigitsValue(std::u16string_view digits);

// Decimal text to a signed 32-bit integer: optionally signed digits with
// surrounding blanks (spaces and tabs). Nothing for any other text or a
// value out of range.
std::optional<int32_t> ParseInt32(std::u16string_view text);

// The decimal digits of `value`, with a minus sign when negative.
std::u16string DecimalText(int64_t value);

}  // namespace varnoke
