// What the Windows shell adapter hands to ShellExecuteA.
#include <gtest/gtest.h>

#include "adapters/win32/shell_execute.h"
#include "core/unicode.h"

namespace varnoke {
namespace {

// ASCII only, whatever the ANSI code page: characters past it are sent as
// their percent-encoded UTF-8 bytes, never as "?" or a look-alike.
TEST(ShellExecute, HandsOverTheSameAddressInEveryCodePage) {
    using adapters::win32::ShellArgument;
    const struct {
        std::u16string_view url;
        std::string_view handed;
    } cases[] = {
        {u"https://q.example/?id=2330", "https://q.example/?id=2330"},
        {u"https://q.example/%E8%82%A1?q=100%", "https://q.example/%E8%82%A1?q=100%"},
        {u"https://q.example/股票", "https://q.example/%E8%82%A1%E7%A5%A8"},
        {u"https://例子.example/?id=2330", "https://%E4%BE%8B%E5%AD%90.example/?id=2330"},
        {u"https://q.example/\U00020000", "https://q.example/%F0%A0%80%80"},
        {u"https://q.example/caf\u00E9", "https://q.example/caf%C3%A9"},
        // A full-width quotation mark must not become a real one after the check.
        {u"https://q.example/\uFF02--flag", "https://q.example/%EF%BC%82--flag"},
    };
    for (const auto& c : cases) EXPECT_EQ(ShellArgument(c.url), c.handed) << Utf16ToUtf8(c.url);
}

TEST(ShellExecute, RefusesWhatIsNoWebAddressAfterConversion) {
    adapters::win32::ShellExecuteShell shell;
    for (std::u16string_view url :
         {u"file:///C:/Windows/win.ini", u"C:\\Windows\\notepad.exe", u"", u"https://x.example/a b",
          u"https://x.example/\u0001", u"https://x.example/\u0085", u"https://x.example/\u009B",
          u"https://x.example/\u00A0", u"https://x.example/\u3000", u"https://x.example/\u2028",
          u"https://x.example/\u202Eexe.x", u"https://x.example/\U000E0001", u"https://x.example/\xDC00"}) {
        EXPECT_EQ(adapters::win32::ShellArgument(url), "") << Utf16ToUtf8(url);
        EXPECT_FALSE(shell.Open(url));
    }
}

}  // namespace
}  // namespace varnoke
