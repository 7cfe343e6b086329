// The shell port on Windows: ShellExecuteA with the operation "Open".
#pragma once

#include <string>

#include "hostapi/shell.h"

namespace varnoke::adapters::win32 {

class ShellExecuteShell final : public hostapi::IShell {
public:
    // Hands ShellArgument(url) to ShellExecuteA; false when there is none or
    // the call fails.
    bool Open(std::u16string_view url) override;
};

// What Open hands to ShellExecuteA: the address with every character outside
// ASCII percent-encoded as UTF-8, so that every ANSI code page reads the same
// address and none turns a character into "?" or a look-alike. It must be a
// web address before the encoding and again after it; empty when not.
std::string ShellArgument(std::u16string_view url);

}  // namespace varnoke::adapters::win32
