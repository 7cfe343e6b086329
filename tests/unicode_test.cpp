#include <gtest/gtest.h>

#include "core/unicode.h"

namespace varnoke {
namespace {

TEST(Unicode, RoundTripsEveryPlane) {
    const std::u16string text = u"A\u00e9\u83ef\U00020000z";
    const std::string utf8 = Utf16ToUtf8(text);
    EXPECT_EQ(utf8, "A\xc3\xa9\xe8\x8f\xaf\xf0\xa0\x80\x80z");
    EXPECT_EQ(Utf8ToUtf16(utf8), text);
}

TEST(Unicode, RejectsInvalidUtf8) {
    const struct {
        const char* name;
        std::string_view bytes;
        std::size_t firstBad;
    } cases[] = {
        {"lone continuation", "ab\x80", 2},        {"truncated", "a\xe8\x8f", 1},
        {"overlong slash", "\xc0\xaf", 0},         {"encoded surrogate", "x\xed\xa0\x80", 1},
        {"above U+10FFFF", "\xf4\x90\x80\x80", 0}, {"invalid lead byte", "\xff", 0},
    };
    for (const auto& c : cases) {
        EXPECT_FALSE(Utf8ToUtf16(c.bytes)) << c.name;
        EXPECT_EQ(FirstInvalidUtf8(c.bytes), c.firstBad) << c.name;
    }
    EXPECT_EQ(FirstInvalidUtf8("plain \xe8\x8f\xaf"), std::string_view::npos);
}

TEST(Unicode, LoneSurrogatesBecomeReplacementCharacters) {
    const char16_t text[] = {u'a', 0xD800, u'b', 0xDC00, 0};
    EXPECT_EQ(Utf16ToUtf8(text),
              "a\xef\xbf\xbd"
              "b\xef\xbf\xbd");
}

}  // namespace
}  // namespace varnoke
