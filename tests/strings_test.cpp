#include <gtest/gtest.h>

#include "core/strings.h"

namespace varnoke {
namespace {

TEST(StringTable, BlocksHaveExactlyTheirRows) {
    for (int32_t base : {100, 200}) {
        for (int32_t offset = 0; offset <= 15; ++offset)
            EXPECT_TRUE(LoadLocalString(base + offset)) << base + offset;
        EXPECT_FALSE(LoadLocalString(base + 16)) << base + 16;
        EXPECT_FALSE(LoadLocalString(base - 1)) << base - 1;
    }
    for (int32_t offset = 0; offset <= 13; ++offset)
        EXPECT_TRUE(LoadLocalString(300 + offset)) << 300 + offset;
    for (int32_t row : {314, 315, 316, 0, -1, 1, 99, 400, 2147483647, -2147483647 - 1})
        EXPECT_FALSE(LoadLocalString(row)) << row;
}

TEST(StringTable, RowsUsedByCallersHoldTheirTexts) {
    const struct {
        int32_t row;
        std::u16string_view text;
    } cases[] = {
        {100, u"Stock Quote on Web Site"},
        {104, u"Insert Refreshable Stock Price"},
        {106, u"Insert Stock Price Web Query"},
        {107, u"&Starting at cell:"},
        {108, u"On a &new sheet"},
        {111, u"Invalid cell reference."},
        {112, u"Kestria Stock Symbol"},
        {113, u"Kestria Stock Symbol Recognizer"},
        {203, u"基本資料"},
        {206, u"將資料放在:"},
        {207, u"目前工作表的儲存格(&S):"},
        {211, u"參照無效。"},
        {212, u"Kestria股票名稱/代碼"},
        {213, u"Kestria股票名稱/代碼智慧標籤"},
        {303, u"基本资料"},
        {304, u"导入可更新的股票信息"},
        {306, u"将数据放在"},
        {307, u"现有工作表(&S):"},
        {308, u"新工作表(&N)"},
        {311, u"输入的内容为非法引用或名称"},
        {312, u"Kestria股票名称/代码"},
        {313, u"Kestria股票名称/代码智能标记"},
        {114, u"\"\""},
        {115, u"\"\""},
        {214, u"\"\""},
        {215, u"\"\""},
    };
    for (const auto& c : cases) EXPECT_EQ(LoadLocalString(c.row), std::u16string(c.text)) << c.row;
}

TEST(StringTable, NoTextHasLeadingOrTrailingBlanks) {
    for (int32_t row = 0; row < 400; ++row) {
        auto text = LoadLocalString(row);
        if (!text) continue;
        ASSERT_FALSE(text->empty()) << row;
        EXPECT_NE(text->front(), u' ') << row;
        EXPECT_NE(text->back(), u' ') << row;
        // Access keys are marked with "&" only on the option buttons' rows.
        const bool hasAmpersand = text->find(u'&') != std::u16string::npos;
        EXPECT_EQ(hasAmpersand, row % 100 == 7 || row % 100 == 8) << row;
    }
}

TEST(StringTable, EqualOffsetsMeanTheSameUseInEveryBlock) {
    // The three verb-4 captions, dialog titles and message titles line up by offset.
    EXPECT_EQ(LoadLocalString(205), std::u16string(u"匯入股票價格資料"));
    EXPECT_EQ(LoadLocalString(305), std::u16string(u"导入股票信息"));
    EXPECT_EQ(LoadLocalString(209), std::u16string(u"確定"));
    EXPECT_EQ(LoadLocalString(310), std::u16string(u"取消"));
}

TEST(StringBlockForLocale, OnlyThreeLocalesAreRecognized) {
    const struct {
        int32_t locale;
        int32_t base;
    } cases[] = {
        {2052, 300}, {1028, 200}, {3076, 200}, {1033, 100}, {0, 100},
        {4100, 100}, {5124, 100}, {1041, 100}, {-1, 100},  {0x7FFFFFFF, 100},
    };
    for (const auto& c : cases) EXPECT_EQ(StringBlockForLocale(c.locale), c.base) << c.locale;
}

}  // namespace
}  // namespace varnoke
