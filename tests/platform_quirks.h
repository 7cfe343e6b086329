// Known differences of the platform the tests run on. A case marked with one
// expects the platform's behaviour, so the mark fails once the platform is
// fixed and can be removed.
#pragma once

#if defined(_WIN32)
#include <windows.h>
#endif

namespace varnoke::test {

inline bool RunningUnderWine() {
#if defined(_WIN32)
    const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll && GetProcAddress(ntdll, "wine_get_version");
#else
    return false;
#endif
}

}  // namespace varnoke::test
