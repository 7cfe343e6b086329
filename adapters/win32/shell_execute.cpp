#include "adapters/win32/shell_execute.h"

#include <windows.h>
// after windows.h, which it needs
#include <shellapi.h>

#include "core/web_address.h"

namespace varnoke::adapters::win32 {

using namespace hostapi;  // the ports this file implements

std::string ShellArgument(std::u16string_view url) {
    if (!IsWebAddress(url)) return {};
    std::string encoded = PercentEncodeNonAscii(url);
    // Checked again on what the shell reads: in ASCII each byte is the
    // character it stands for, in every code page.
    std::u16string read;
    for (const char c : encoded) read += static_cast<char16_t>(static_cast<unsigned char>(c));
    if (!IsWebAddress(read)) return {};
    return encoded;
}

bool ShellExecuteShell::Open(std::u16string_view url) {
    const std::string address = ShellArgument(url);
    if (address.empty()) return false;
    const auto result =
        reinterpret_cast<INT_PTR>(ShellExecuteA(nullptr, "Open", address.c_str(), nullptr, nullptr, SW_SHOWNORMAL));
    return result > 32;
}

}  // namespace varnoke::adapters::win32
