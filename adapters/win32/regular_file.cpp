#include <windows.h>

#include "adapters/platform.h"

namespace varnoke::adapters {
namespace {

// Device namespaces (\\.\NUL, \\.\C:, \\?\GLOBALROOT\...) are no data files;
// \\?\ stays usable for long paths on a drive or a share.
bool IsDevicePath(std::u16string_view p) {
    const auto sep = [](char16_t c) { return c == u'\\' || c == u'/'; };
    if (p.size() < 4 || !sep(p[0]) || !sep(p[1]) || !sep(p[3])) return false;
    if (p[2] == u'.') return true;
    if (p[2] != u'?') return false;
    const std::u16string_view rest = p.substr(4);
    const bool drive = rest.size() >= 3 && rest[1] == u':' && sep(rest[2]);
    const bool unc = rest.size() >= 4 && (rest[0] == u'U' || rest[0] == u'u') && (rest[1] == u'N' || rest[1] == u'n') &&
                     (rest[2] == u'C' || rest[2] == u'c') && sep(rest[3]);
    return !drive && !unc;
}

}  // namespace

std::optional<std::string> ReadRegularFile(std::u16string_view path) {
    if (IsDevicePath(path)) return std::nullopt;
    const std::wstring name(reinterpret_cast<const wchar_t*>(path.data()), path.size());
    const HANDLE file = CreateFileW(name.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return std::nullopt;
    // Closed however this ends: out of memory, the buffer's growth throws.
    const struct Closer {
        HANDLE file;
        ~Closer() { CloseHandle(file); }
    } closer{file};
    std::optional<std::string> bytes;
    BY_HANDLE_FILE_INFORMATION info{};
    // A pipe, a console or a device such as NUL is no disk file.
    if (GetFileType(file) == FILE_TYPE_DISK && GetFileInformationByHandle(file, &info) &&
        !(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
        bytes.emplace();
        char chunk[65536];
        for (;;) {
            DWORD read = 0;
            if (!ReadFile(file, chunk, sizeof chunk, &read, nullptr)) {
                bytes.reset();
                break;
            }
            if (read == 0) break;
            bytes->append(chunk, read);
        }
    }
    return bytes;
}

}  // namespace varnoke::adapters
