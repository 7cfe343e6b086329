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
