#include <gtest/gtest.h>

#include "core/xml_declaration.h"

namespace varnoke {
namespace {

TEST(XmlEncoding, DeclaredEncodingIsReadFromTheDeclarationOnly) {
    const struct {
        std::string_view bytes;
        std::string_view expected;
    } cases[] = {
        {"<?xml version=\"1.0\" encoding=\"Big5\"?><r/>", "big5"},
        {"<?xml version='1.0' encoding = 'GB2312' ?><r/>", "gb2312"},
        {"<?xml version=\"1.0\"?><r encoding=\"big5\"/>", ""},
        {"\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"big5\"?><r/>", ""},
        {"<r/>", ""},
        {"<?xml version=\"1.0\" encoding=\"big5", ""},
    };
    for (const auto& c : cases) EXPECT_EQ(DeclaredEncoding(c.bytes), c.expected) << c.bytes;
}

TEST(XmlEncoding, LegacyChineseCodePages) {
    EXPECT_EQ(LegacyChineseCodePage("big5"), 950u);
    EXPECT_EQ(LegacyChineseCodePage("gb2312"), 936u);
    EXPECT_EQ(LegacyChineseCodePage("gbk"), 936u);
    EXPECT_EQ(LegacyChineseCodePage("gb18030"), 54936u);
    EXPECT_EQ(LegacyChineseCodePage("utf-8"), 0u);
    EXPECT_EQ(LegacyChineseCodePage("shift_jis"), 0u);
    EXPECT_EQ(WithoutDeclaration("<?xml version='1.0' encoding='big5'?><r/>"), "<r/>");
    EXPECT_EQ(WithoutDeclaration("<r/>"), "<r/>");
}

}  // namespace
}  // namespace varnoke
