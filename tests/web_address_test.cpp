#include <gtest/gtest.h>

#include "actions/web_address.h"
#include "component/unicode.h"

namespace varnoke {
namespace {

TEST(WebAddress, OnlyHttpAndHttpsReachTheShell) {
    const struct {
        std::u16string_view url;
        bool web;
    } cases[] = {
        {u"http://example.com/", true},
        {u"https://example.com/q?id=2330&x=1", true},
        {u"HtTpS://example.com/", true},
        {u"https://例子.example/股票", true},
        {u"http://", true},
        {u"", false},
        {u"2330", false},
        {u"https:/example.com", false},
        {u"https:example.com", false},
        {u" https://example.com", false},
        {u"https://example.com/a b", false},
        {u"https://example.com/\"--flag", false},
        {u"https://example.com/\t", false},
        {u"https://example.com/\x7f", false},
        {u"https://example.com/\n", false},
        {u"ftp://example.com/", false},
        {u"file:///etc/passwd", false},
        {u"file://server/share/x.exe", false},
        {u"javascript:alert(1)", false},
        {u"\\\\server\\share\\x.exe", false},
        {u"C:\\Windows\\calc.exe", false},
        {u"/usr/bin/xterm", false},
        {u"mailto:a@example.com", false},
        {u"ｈttp://example.com", false},
        {u"httpx://example.com", false},
    };
    for (const auto& c : cases) EXPECT_EQ(IsWebAddress(c.url), c.web) << Utf16ToUtf8(c.url);
}

}  // namespace
}  // namespace varnoke
