#include <gtest/gtest.h>

#include "core/strings.h"

namespace varnoke {
namespace {

TEST(StringTable, BlocksHaveExactlyTheirRows) {
    for (int32_t base : {100, 200}) {
        for (int32_t offset = 0; offset <= 15; ++offset) EXPECT_TRUE(LoadLocalString(base + offset)) << base + offset;
        EXPECT_FALSE(LoadLocalString(base + 16)) << base + 16;
        EXPECT_FALSE(LoadLocalString(base - 1)) << base - 1;
    }
    for (int32_t offset = 0; offset <= 13; ++offset) EXPECT_TRUE(LoadLocalString(300 + offset)) << 300 + offset;
    for (int32_t row : {314, 315, 316, 0, -1, 1, 99, 400, 2147483647, -2147483647 - 1})
        EXPECT_FALSE(LoadLocalString(row)) << row;
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

// The letter after "&", upper-cased; 0 without one.
char16_t AccessKey(std::u16string_view text) {
    const auto at = text.find(u'&');
    if (at == std::u16string_view::npos || at + 1 == text.size()) return 0;
    const char16_t key = text[at + 1];
    return key >= u'a' && key <= u'z' ? static_cast<char16_t>(key - u'a' + u'A') : key;
}

bool HasNonAscii(std::u16string_view text) {
    for (char16_t c : text)
        if (c > 0x7F) return true;
    return false;
}

TEST(StringTable, EqualOffsetsMeanTheSameUseInEveryBlock) {
    for (int32_t block : {kEnglishBlock, kTraditionalChineseBlock, kSimplifiedChineseBlock}) {
        const auto row = [block](int32_t offset) { return LoadLocalString(block + offset).value_or(u""); };
        // The dialog's two option buttons answer to Alt+S and Alt+N in every language.
        EXPECT_EQ(AccessKey(row(7)), u'S') << block;
        EXPECT_EQ(AccessKey(row(8)), u'N') << block;
        // The recognizer's row names the recognizer of what the message title row names.
        EXPECT_TRUE(row(kRecognizerNameOffset).starts_with(row(kMsgTitleOffset))) << block;
        EXPECT_GT(row(kRecognizerNameOffset).size(), row(kMsgTitleOffset).size()) << block;
        // A row's language is its block's: English rows are ASCII, Chinese ones are not.
        for (int32_t offset = 0; offset <= kRecognizerNameOffset; ++offset)
            EXPECT_EQ(HasNonAscii(row(offset)), block != kEnglishBlock) << block + offset;
    }
}

TEST(StringBlockForLocale, OnlyThreeLocalesAreRecognized) {
    // A row with a language is also a pair that LocaleIdForLanguage maps to
    // the row's locale ID.
    const struct {
        int32_t locale;
        int32_t base;
        std::u16string_view language = {}, country = {};
    } cases[] = {
        {2052, 300, u"zh", u"CN"},
        {1028, 200, u"zh", u"TW"},
        {3076, 200, u"ZH", u"hk"},
        {1033, 100, u"en", u"US"},
        {0, 100},
        {4100, 100},
        {5124, 100},
        {1041, 100},
        {-1, 100},
        {0x7FFFFFFF, 100},
        {1033, 100, u"zh", u"SG"},
        {1033, 100, u"zh", u"MO"},
        {1033, 100, u"zh", u""},
        {1033, 100, u"ja", u"TW"},
        {1033, 100, u"zhx", u"CN"},
        {1033, 100, u"", u""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(StringBlockForLocale(c.locale), c.base) << c.locale;
        if (!c.language.empty() || c.locale == 1033) {
            EXPECT_EQ(LocaleIdForLanguage(c.language, c.country), c.locale) << c.locale;
        }
    }
}

}  // namespace
}  // namespace varnoke
