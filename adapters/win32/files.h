// The refresh lock's name, for the tests that look for it.
#pragma once

#include <string>
#include <string_view>

namespace varnoke::adapters {

// The lock of a data folder is the mutex kGlobalPrefix + MutexName(folder),
// or MutexName(folder) alone where the global namespace is refused.
inline constexpr wchar_t kGlobalPrefix[] = L"Global\\";
std::wstring MutexName(std::u16string_view folder);

}  // namespace varnoke::adapters
