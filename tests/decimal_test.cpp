#include <gtest/gtest.h>

#include "core/decimal.h"
#include "core/unicode.h"

namespace varnoke {
namespace {

// `value`: ParseInt32, as the data files' numbers are read; `digits`:
// DigitsValue, as a cell reference's row is read (digits only).
TEST(Decimal, Syntax) {
    constexpr auto none = std::nullopt;
    const struct {
        std::u16string_view text;
        std::optional<int32_t> value;
        std::optional<int32_t> digits;
    } cases[] = {
        {u"0", 0, 0},
        {u"42", 42, 42},
        {u"+42", 42, none},
        {u"-42", -42, none},
        {u"  7\t", 7, none},
        {u"007", 7, 7},
        {u"2147483647", 2147483647, 2147483647},
        {u"-2147483648", -2147483647 - 1, none},
        {u"2147483648", none, none},
        {u"-2147483649", none, none},
        {u"99999999999999999999", none, none},
        {u"", none, none},
        {u" ", none, none},
        {u"-", none, none},
        {u"+-1", none, none},
        {u"4 2", none, none},
        {u"1e3", none, none},
        {u"0x10", none, none},
        {u"１２", none, none},
        {u"12abc", none, none},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ParseInt32(c.text), c.value) << Utf16ToUtf8(c.text);
        EXPECT_EQ(DigitsValue(c.text), c.digits) << Utf16ToUtf8(c.text);
        if (c.value) {
            EXPECT_EQ(ParseInt32(DecimalText(*c.value)), c.value) << Utf16ToUtf8(c.text);
        }
    }
}

}  // namespace
}  // namespace varnoke
