// Files and call arguments for the Windows test programs.
#pragma once

#include <oleauto.h>
#include <windows.h>

#include <optional>
#include <string>
#include <string_view>

#include "adapters/win32/com/com_ptr.h"

namespace varnoke::wintest {

inline bool WriteUtf8File(const std::wstring& path, const std::string& bytes) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    const BOOL ok = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
    return ok && written == bytes.size();
}

// Shared with writers: the files read are often still open elsewhere.
inline std::optional<std::string> ReadFileBytes(const std::wstring& path) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return std::nullopt;
    std::string bytes;
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0) bytes.append(buffer, got);
    CloseHandle(file);
    return bytes;
}

inline com::unique_bstr Bstr(std::wstring_view text) {
    return com::unique_bstr(SysAllocStringLen(text.data(), static_cast<UINT>(text.size())));
}

// Arguments for IDispatch::Invoke, as the component's own calls make them.
using com::ObjectArg;
using com::StringArg;
inline VARIANT IntArg(int n) { return com::LongArg(n); }

}  // namespace varnoke::wintest
