#include <gtest/gtest.h>

#include "core/unicode.h"
#include "insertion/cell_reference.h"

namespace varnoke {
namespace {

struct ValidateCase {
    std::u16string_view text;
    std::optional<CellReference> expected;  // nothing: rejected
};

TEST(ValidateCellReference, Table) {
    using C = CellReference;
    const ValidateCase cases[] = {
        {u"B6", C{u"6", u"B"}},
        {u"=B6", C{u"6", u"B"}},
        {u"&B6", C{u"6", u"B"}},
        {u"=&B6", C{u"6", u"B"}},
        {u"&=B6", std::nullopt},  // "=" is not removed after "&"
        {u"==B6", std::nullopt},
        {u"b6", C{u"6", u"b"}},
        {u"Z10", C{u"10", u"Z"}},
        {u"AZ1", C{u"1", u"AZ"}},
        {u"IV65536", C{u"65536", u"IV"}},
        {u"iv1", C{u"1", u"iv"}},
        {u"IW1", std::nullopt},
        {u"AAA1", std::nullopt},
        {u"A65537", std::nullopt},
        {u"A0", C{u"0", u"A"}},
        {u"A007", C{u"007", u"A"}},
        {u"$B$6", std::nullopt},
        {u" B6", std::nullopt},
        {u"B6 ", std::nullopt},
        {u"B", std::nullopt},
        {u"6", std::nullopt},
        {u"", std::nullopt},
        {u"=", std::nullopt},
        {u"B2x5", C{u"5", u"B"}},
        {u"Ｂ6", std::nullopt},  // full-width letter
        {u"B６", std::nullopt},  // full-width digit
        {u"É6", std::nullopt},
        {u"A1:C3", C{u"1", u"A"}},
        {u"C3:A1", C{u"1", u"A"}},
        {u"B10:A2", C{u"2", u"A"}},
        {u"A10:B1", C{u"1", u"A"}},
        {u"C3:", C{u"3", u"C"}},
        {u"C3:!!", C{u"3", u"C"}},
        {u"A5:7", C{u"5", u"A"}},
        {u":C3", std::nullopt},
        {u"A5:B2:C3", C{u"3", u"A"}},
        {u"=c3", C{u"3", u"c"}},
        {u"B6:IW99999", C{u"6", u"B"}},  // an invalid second part never rejects
    };
    for (const auto& c : cases) {
        std::optional<CellReference> accepted = CellReference{u"stale", u"stale"};
        EXPECT_EQ(ValidateCellReference(c.text, accepted), Status::ok) << Utf16ToUtf8(c.text);
        EXPECT_EQ(accepted, c.expected) << Utf16ToUtf8(c.text);
    }
}

TEST(CellParts, RowsAndColumns) {
    const struct {
        std::u16string_view text;
        std::u16string_view row, column;
    } cases[] = {
        {u"A65536", u"65536", u"A"}, {u"A65537", u"", u"A"},
        {u"5B", u"", u""},           {u"B5:C7", u"7", u"B"},
        {u"ZZ1", u"1", u""},         {u"", u"", u""},
        {u"abc", u"", u""},          {u"A0000000000000000001", u"0000000000000000001", u"A"},
        {u"A2147483647", u"", u"A"},
    };
    for (const auto& c : cases) {
        std::u16string row = u"stale", column = u"stale";
        EXPECT_EQ(GetCellRow(c.text, row), Status::ok) << Utf16ToUtf8(c.text);
        EXPECT_EQ(GetCellColumn(c.text, column), Status::ok) << Utf16ToUtf8(c.text);
        EXPECT_EQ(row, c.row) << Utf16ToUtf8(c.text);
        EXPECT_EQ(column, c.column) << Utf16ToUtf8(c.text);
    }
}

TEST(CellParts, OverflowLimits) {
    std::u16string row;
    std::optional<CellReference> accepted;
    for (std::u16string_view text : {u"A2147483648", u"A4294967296", u"A99999999999"}) {
        EXPECT_EQ(GetCellRow(text, row), Status::overflow) << Utf16ToUtf8(text);
        EXPECT_EQ(ValidateCellReference(text, accepted), Status::overflow) << Utf16ToUtf8(text);
    }
    // The second part of a range is parsed too.
    EXPECT_EQ(ValidateCellReference(u"A1:B99999999999", accepted), Status::overflow);
    EXPECT_FALSE(accepted);

    // Texts longer than 32767 characters fail in all three.
    const std::u16string longest(32767, u'A'), tooLong(32768, u'A');
    std::u16string column;
    EXPECT_EQ(GetCellColumn(longest, column), Status::ok);
    EXPECT_EQ(GetCellColumn(tooLong, column), Status::overflow);
    EXPECT_EQ(GetCellRow(tooLong, row), Status::overflow);
    EXPECT_EQ(ValidateCellReference(tooLong, accepted), Status::overflow);
    EXPECT_EQ(DescribeFailure(Status::overflow), u"Overflow");
}

}  // namespace
}  // namespace varnoke
