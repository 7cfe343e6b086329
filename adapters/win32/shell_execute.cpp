#include "adapters/win32/shell_execute.h"

#include <windows.h>
// after windows.h, which it needs
#include <shellapi.h>

#include "core/web_address.h"

namespace varnoke::adapters::win32 {

using namespace hostapi;  // the ports this file implements

std::string ToAnsiCodePage(std::u16string_view text) {
    if (text.empty()) return {};
    const auto* wide = reinterpret_cast<const wchar_t*>(text.data());
    const int length = static_cast<int>(text.size());
    // No best-fit mapping: it would turn a full-width quotation mark into a
    // real one after the address was checked.
    const int size = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide, length, nullptr, 0, nullptr, nullptr);
    if (size <= 0) return {};
    std::string ansi(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide, length, ansi.data(), size, nullptr, nullptr);
    return ansi;
}

std::u16string FromAnsiCodePage(std::string_view ansi) {
    if (ansi.empty()) return {};
    const int length = static_cast<int>(ansi.size());
    const int size = MultiByteToWideChar(CP_ACP, 0, ansi.data(), length, nullptr, 0);
    if (size <= 0) return {};
    std::u16string wide(static_cast<std::size_t>(size), u'\0');
    MultiByteToWideChar(CP_ACP, 0, ansi.data(), length, reinterpret_cast<wchar_t*>(wide.data()), size);
    return wide;
}

bool ShellExecuteShell::Open(std::u16string_view url) {
    if (!IsWebAddress(url)) return false;
    const std::string ansi = ToAnsiCodePage(url);
    // Checked again on the text the shell reads back from the ANSI bytes,
    // character by character, not byte by byte: a code page's bytes 0x80 and
    // up stand for letters as often as for blanks.
    if (!IsWebAddress(FromAnsiCodePage(ansi))) return false;
    const auto result = reinterpret_cast<INT_PTR>(
        ShellExecuteA(nullptr, "Open", ansi.c_str(), nullptr, nullptr, SW_SHOWNORMAL));
    return result > 32;
}

}  // namespace varnoke::adapters::win32
