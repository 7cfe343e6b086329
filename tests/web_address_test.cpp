#include <gtest/gtest.h>

#include "core/unicode.h"
#include "core/web_address.h"

namespace varnoke {
namespace {

// `scheme`: fetched over the network rather than read as a file;
// `web`: may reach the shell.
TEST(WebAddress, OnlyHttpAndHttpsAreFetchedOrReachTheShell) {
    const struct {
        std::u16string_view url;
        bool scheme;
        bool web;
    } cases[] = {
        {u"http://example.com/", true, true},
        {u"https://example.com/q?id=2330&x=1", true, true},
        {u"HtTpS://example.com/", true, true},
        {u"https://例子.example/股票", true, true},
        {u"http://", true, true},
        {u"", false, false},
        {u"2330", false, false},
        {u"https:/example.com", false, false},
        {u"https:example.com", false, false},
        {u" https://example.com", false, false},
        {u"https://example.com/a b", true, false},
        {u"https://example.com/\"--flag", true, false},
        {u"https://example.com/\t", true, false},
        {u"https://example.com/\x7f", true, false},
        {u"https://example.com/\n", true, false},
        // Every control, blank and format character, also past ASCII and
        // past the Basic Multilingual Plane; unpaired surrogates.
        {u"https://example.com/\u0085", true, false},
        {u"https://example.com/\u009B6n", true, false},
        {u"https://example.com/\u00A0--flag", true, false},
        {u"https://example.com/\u3000", true, false},
        {u"https://example.com/\u2028", true, false},
        {u"https://example.com/\u2029", true, false},
        {u"https://example.com/\u1680", true, false},
        {u"https://example.com/\u202F", true, false},
        {u"https://example.com/\u202Eexe.txt", true, false},
        {u"https://example.com/\u200B", true, false},
        {u"https://example.com/\uFEFF", true, false},
        {u"https://example.com/\u00AD", true, false},
        {u"https://example.com/\u061C", true, false},
        {u"https://example.com/\U000110BD", true, false},
        {u"https://example.com/\U0001D173", true, false},
        {u"https://example.com/\U0001D17A", true, false},
        {u"https://example.com/\U000E0001", true, false},
        {u"https://example.com/\U000E0020", true, false},
        {u"https://example.com/\U000E007F", true, false},
        {u"https://example.com/\xD83D", true, false},
        {u"https://example.com/\xDE00x", true, false},
        {u"https://example.com/\xDE00\xD83D", true, false},
        // Neighbours of refused ranges and other characters past ASCII pass.
        {u"https://example.com/\u00A1\u00AE\u2010\u2030\u3001", true, true},
        {u"https://example.com/\U0001D172\U0001D17B\U000E0080\U0001F600", true, true},
        {u"https://例子.example/股票/\u00E9\u0416", true, true},
        {u"ftp://example.com/", false, false},
        {u"file:///etc/passwd", false, false},
        {u"file://server/share/x.exe", false, false},
        {u"javascript:alert(1)", false, false},
        {u"\\\\server\\share\\x.exe", false, false},
        {u"C:\\Windows\\calc.exe", false, false},
        {u"/usr/bin/xterm", false, false},
        {u"mailto:a@example.com", false, false},
        {u"ｈttp://example.com", false, false},
        {u"httpx://example.com", false, false},
        // A character outside ASCII is never read as one of the scheme's
        // letters (U+0168 and U+0170 end in the bytes of "h" and "p").
        {u"\u0168ttp://example.com/", false, false},
        {u"htt\u0170://example.com/", false, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(HasWebScheme(c.url), c.scheme) << Utf16ToUtf8(c.url);
        EXPECT_EQ(IsWebAddress(c.url), c.web) << Utf16ToUtf8(c.url);
    }
}

}  // namespace
}  // namespace varnoke
