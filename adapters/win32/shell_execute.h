// The shell port on Windows: ShellExecuteA with the operation "Open".
#pragma once

#include <string>

#include "hostapi/shell.h"

namespace varnoke::adapters::win32 {

class ShellExecuteShell final : public hostapi::IShell {
public:
    // The URL goes through the ANSI code page; characters it lacks become
    // the code page's default character, never a look-alike.
    bool Open(std::u16string_view url) override;
};

// The ANSI form handed to ShellExecuteA.
std::string ToAnsiCodePage(std::u16string_view text);

}  // namespace varnoke::adapters::win32
