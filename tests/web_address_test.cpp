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

// What the Windows shell adapter hands to the ANSI call: ASCII only, so no
// code page turns a character into "?" or a look-alike.
TEST(WebAddress, PercentEncodesEverythingOutsideAscii) {
    const struct {
        std::u16string_view url;
        std::string_view encoded;
    } cases[] = {
        {u"https://q.example/?id=2330&x=1", "https://q.example/?id=2330&x=1"},
        {u"", ""},
        // An address already encoded, or with a stray '%', is kept as it is.
        {u"https://q.example/%E8%82%A1?q=100%&r=%zz", "https://q.example/%E8%82%A1?q=100%&r=%zz"},
        {u"https://q.example/股票", "https://q.example/%E8%82%A1%E7%A5%A8"},
        {u"https://例子.example/", "https://%E4%BE%8B%E5%AD%90.example/"},
        {u"https://q.example/caf\u00E9", "https://q.example/caf%C3%A9"},
        {u"https://q.example/\U00020000\U0001F600", "https://q.example/%F0%A0%80%80%F0%9F%98%80"},
        // A full-width quotation mark stays three bytes, never a real one.
        {u"https://q.example/\uFF02 --flag", "https://q.example/%EF%BC%82 --flag"},
        // Each UTF-8 length's edges; ASCII's last character is left alone.
        {u"\x7F\u0080\u07FF\u0800\uFFFF\U00010000\U0010FFFF",
         "\x7F%C2%80%DF%BF%E0%A0%80%EF%BF%BF%F0%90%80%80%F4%8F%BF%BF"},
        // An unpaired surrogate is no character: nothing to hand over.
        {u"https://q.example/\xD83D", ""},
        {u"https://q.example/\xDE00x", ""},
        {u"https://q.example/\xDE00\xD83D", ""},
    };
    for (const auto& c : cases) EXPECT_EQ(PercentEncodeNonAscii(c.url), c.encoded) << Utf16ToUtf8(c.url);
}

}  // namespace
}  // namespace varnoke
