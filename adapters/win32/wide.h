// UTF-16 text as the platform's wide strings and back: wchar_t is 16 bits
// here, so the units are the same.
#pragma once

#include <string>
#include <string_view>

namespace varnoke::adapters::win32 {

static_assert(sizeof(wchar_t) == sizeof(char16_t));

inline std::wstring Wide(std::u16string_view s) {
    return std::wstring(reinterpret_cast<const wchar_t*>(s.data()), s.size());
}

inline std::u16string Narrow16(std::wstring_view s) {
    return std::u16string(reinterpret_cast<const char16_t*>(s.data()), s.size());
}

}  // namespace varnoke::adapters::win32
