// The shell port on Windows: ShellExecuteA with the operation "Open".
#pragma once

#include <string>

#include "hostapi/shell.h"

namespace varnoke::adapters::win32 {

class ShellExecuteShell final : public hostapi::IShell {
public:
    // The URL goes through the ANSI code page; characters it lacks become
    // the code page's default character, never a look-alike. It must be a
    // web address before the conversion and again after it.
    bool Open(std::u16string_view url) override;
};

// The ANSI form handed to ShellExecuteA.
std::string ToAnsiCodePage(std::u16string_view text);

// What ShellExecuteA makes of `ansi` again: the text the shell goes by.
std::u16string FromAnsiCodePage(std::string_view ansi);

}  // namespace varnoke::adapters::win32
