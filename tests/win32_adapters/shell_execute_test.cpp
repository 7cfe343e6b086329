// What the Windows shell adapter hands to ShellExecuteA.
#include <gtest/gtest.h>

#include "adapters/win32/shell_execute.h"

namespace varnoke {
namespace {

TEST(ShellExecute, AnsiConversionNeverInventsLookAlikes) {
    using adapters::win32::ToAnsiCodePage;
    EXPECT_EQ(ToAnsiCodePage(u"https://q.example/?id=2330"), "https://q.example/?id=2330");
    EXPECT_EQ(ToAnsiCodePage(u""), "");
    // What the shell reads back is what the second check sees.
    using adapters::win32::FromAnsiCodePage;
    EXPECT_EQ(FromAnsiCodePage("https://q.example/?id=2330"), u"https://q.example/?id=2330");
    EXPECT_EQ(FromAnsiCodePage(""), u"");
    // A full-width quotation mark must not become a real one after the check.
    const std::string converted = ToAnsiCodePage(u"https://q.example/\uFF02 --flag");
    EXPECT_EQ(converted.find('"'), std::string::npos) << converted;
}

TEST(ShellExecute, RefusesWhatIsNoWebAddressAfterConversion) {
    adapters::win32::ShellExecuteShell shell;
    for (std::u16string_view url : {u"file:///C:/Windows/win.ini", u"C:\\Windows\\notepad.exe", u"",
                                    u"https://x.example/a b", u"https://x.example/\u0001",
                                    u"https://x.example/\u0085", u"https://x.example/\u009B", u"https://x.example/\u00A0",
                                    u"https://x.example/\u3000", u"https://x.example/\u2028",
                                    u"https://x.example/\u202Eexe.x", u"https://x.example/\U000E0001",
                                    u"https://x.example/\xDC00"})
        EXPECT_FALSE(shell.Open(url));
}

}  // namespace
}  // namespace varnoke
