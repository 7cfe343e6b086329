#include <windows.h>
// after windows.h, which it needs
#include <sddl.h>

#include <algorithm>
#include <new>
#include <string>

#include "adapters/platform.h"
#include "adapters/win32/files.h"
#include "adapters/win32/wide.h"

namespace varnoke::adapters {
namespace {

using win32::Narrow16;
using win32::Wide;

bool IsFile(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// The new content is on the disk before the name changes.
bool Flush(const std::wstring& path) {
    const HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    const bool ok = FlushFileBuffers(file) != 0;
    CloseHandle(file);
    return ok;
}

bool MoveOver(std::u16string_view source, std::u16string_view target) {
    const std::wstring from = Wide(source), to = Wide(target);
    if (!Flush(from)) return false;
    // Over an existing file, ReplaceFileW keeps the target's attributes and
    // access rights, as a rename would not; it fails where it cannot, and
    // the plain move (write-through) is then the fallback.
    if (IsFile(to) &&
        ::ReplaceFileW(to.c_str(), from.c_str(), nullptr, REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr))
        return true;
    return MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

bool Remove(std::u16string_view path) { return DeleteFileW(Wide(path).c_str()) != 0; }

class FolderLock final : public hostapi::IFolderLock {
public:
    explicit FolderLock(HANDLE mutex) : mutex_(mutex) {}
    ~FolderLock() override {
        ReleaseMutex(mutex_);
        CloseHandle(mutex_);
    }

private:
    HANDLE mutex_;
};

}  // namespace

// A named mutex per folder: the name is a hash of the folder's full path,
// compared without case as the file system does; the system releases the
// mutex of a process that dies (the next owner sees it abandoned and takes it).
std::wstring MutexName(std::u16string_view folder) {
    std::wstring full(MAX_PATH, L'\0');
    const std::wstring given = Wide(folder);
    DWORD length = GetFullPathNameW(given.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
    if (length > full.size()) {
        full.resize(length);
        length = GetFullPathNameW(given.c_str(), length, full.data(), nullptr);
    }
    full.resize(length == 0 ? 0 : length);
    if (full.empty()) full = given;
    while (full.size() > 3 && (full.back() == L'\\' || full.back() == L'/')) full.pop_back();
    unsigned long long hash = 14695981039346656037ull;  // FNV-1a
    for (wchar_t c : full) {
        const wchar_t lower =
            (c >= L'A' && c <= L'Z') ? static_cast<wchar_t>(c - L'A' + L'a') : (c == L'/' ? L'\\' : c);
        hash = (hash ^ static_cast<unsigned short>(lower)) * 1099511628211ull;
    }
    wchar_t name[64];
    wsprintfW(name, L"Varnoke.DataRefresh.%08lx%08lx", static_cast<unsigned long>(hash >> 32),
              static_cast<unsigned long>(hash & 0xFFFFFFFF));
    return name;
}

namespace {

// One mutex for every session of the machine (a terminal server runs hosts
// in several), which any user may wait on and release: refreshes by other
// users of the same folder must wait too. Where the global namespace is
// refused, the session's own.
HANDLE OpenLockMutex(const std::wstring& name) {
    constexpr DWORD kAccess = SYNCHRONIZE | MUTEX_MODIFY_STATE;
    SECURITY_ATTRIBUTES everyone{sizeof everyone, nullptr, FALSE};
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (ConvertStringSecurityDescriptorToSecurityDescriptorW(L"D:(A;;0x00100001;;;WD)", SDDL_REVISION_1, &descriptor,
                                                             nullptr))
        everyone.lpSecurityDescriptor = descriptor;
    HANDLE mutex = CreateMutexExW(&everyone, (std::wstring(kGlobalPrefix) + name).c_str(), 0, kAccess);
    if (descriptor) LocalFree(descriptor);
    if (!mutex) mutex = CreateMutexExW(nullptr, name.c_str(), 0, kAccess);
    return mutex;
}

// The final path of what `path` opens, every link followed, as a plain
// drive or share path; nothing when it does not open as a disk file (or, for
// `folder`, as a folder).
std::optional<std::wstring> FinalPath(const std::wstring& path, bool folder = false) {
    const HANDLE file = CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE) return std::nullopt;
    BY_HANDLE_FILE_INFORMATION info{};
    std::wstring final(1024, L'\0');
    const bool kind = GetFileType(file) == FILE_TYPE_DISK && GetFileInformationByHandle(file, &info) &&
                      ((info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) == folder;
    const DWORD length = kind ? GetFinalPathNameByHandleW(file, final.data(), static_cast<DWORD>(final.size()),
                                                          FILE_NAME_NORMALIZED | VOLUME_NAME_DOS)
                              : 0;
    CloseHandle(file);
    if (length == 0 || length >= final.size()) return std::nullopt;
    final.resize(length);
    // "\\?\C:\..." as the plain drive path the rest of the component uses.
    if (final.rfind(L"\\\\?\\UNC\\", 0) == 0)
        final = L"\\\\" + final.substr(8);
    else if (final.rfind(L"\\\\?\\", 0) == 0)
        final = final.substr(4);
    return final;
}

class Files final : public hostapi::IFiles {
public:
    bool ReplaceFileAtomically(std::u16string_view source, std::u16string_view target) override {
        return MoveOver(source, target);
    }
    bool RemoveFile(std::u16string_view path) override { return Remove(path); }

    std::optional<std::u16string> ReplacementTarget(std::u16string_view path) override {
        const std::wstring given = Wide(path);
        // The name's own attributes, a link not followed.
        const HANDLE own =
            CreateFileW(given.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                        nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
        if (own == INVALID_HANDLE_VALUE) {
            const DWORD error = GetLastError();
            if (error == ERROR_FILE_NOT_FOUND) return std::u16string(path);
            return std::nullopt;
        }
        FILE_ATTRIBUTE_TAG_INFO tag{};
        const bool known = GetFileInformationByHandleEx(own, FileAttributeTagInfo, &tag, sizeof tag);
        CloseHandle(own);
        if (!known) return std::nullopt;
        const DWORD attributes = tag.FileAttributes;
        if (attributes & FILE_ATTRIBUTE_DIRECTORY) return std::nullopt;
        // What the name opens must be a file on a disk, not a device or a pipe.
        const auto opened = FinalPath(given);
        if (!opened) return std::nullopt;
        if (!(attributes & FILE_ATTRIBUTE_REPARSE_POINT)) return std::u16string(path);
        // A link is followed only to a regular file beside it: anything else
        // would let whoever can write the folder aim our write elsewhere.
        const auto cut = given.find_last_of(L"\\/");
        const auto folder = FinalPath(cut == std::wstring::npos ? std::wstring(L".") : given.substr(0, cut + 1), true);
        if (!folder) return std::nullopt;
        const auto targetCut = opened->find_last_of(L'\\');
        if (targetCut == std::wstring::npos) return std::nullopt;
        std::wstring targetFolder = opened->substr(0, targetCut), dataFolder = *folder;
        while (!dataFolder.empty() && dataFolder.back() == L'\\') dataFolder.pop_back();
        if (CompareStringOrdinal(targetFolder.c_str(), -1, dataFolder.c_str(), -1, TRUE) != CSTR_EQUAL)
            return std::nullopt;
        return Narrow16(*opened);
    }

    bool CreateExclusive(std::u16string_view path, std::u16string_view like) override {
        return WriteNew(path, {}, like);
    }

    // The target's attributes and access rights come over with ReplaceFileW.
    bool WriteNew(std::u16string_view path, std::string_view bytes, std::u16string_view) override {
        const std::wstring name = Wide(path);
        const HANDLE file =
            CreateFileW(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE) return false;
        bool ok = true;
        for (std::size_t at = 0; ok && at < bytes.size();) {
            DWORD written = 0;
            const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - at, 1u << 20));
            ok = WriteFile(file, bytes.data() + at, chunk, &written, nullptr) && written > 0;
            at += written;
        }
        ok = CloseHandle(file) && ok;
        if (!ok) DeleteFileW(name.c_str());
        return ok;
    }

    void RemoveFilesStartingWith(std::u16string_view prefix) override {
        const std::wstring full = Wide(prefix);
        const auto cut = full.find_last_of(L"\\/");
        const std::wstring folder = cut == std::wstring::npos ? L"" : full.substr(0, cut + 1);
        const std::wstring start = cut == std::wstring::npos ? full : full.substr(cut + 1);
        if (start.empty()) return;
        WIN32_FIND_DATAW found;
        const HANDLE search = FindFirstFileW((full + L"*").c_str(), &found);
        if (search == INVALID_HANDLE_VALUE) return;
        do {
            const std::wstring name = found.cFileName;
            // The pattern also matches short names: check the long one.
            if (name.size() > start.size() &&
                CompareStringOrdinal(name.c_str(), static_cast<int>(start.size()), start.c_str(),
                                     static_cast<int>(start.size()), TRUE) == CSTR_EQUAL &&
                !(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
                DeleteFileW((folder + name).c_str());
        } while (FindNextFileW(search, &found));
        FindClose(search);
    }

    std::unique_ptr<hostapi::IFolderLock> LockFolder(std::u16string_view folder,
                                                     std::chrono::steady_clock::time_point deadline) override {
        const HANDLE mutex = OpenLockMutex(MutexName(folder));
        if (!mutex) return nullptr;
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        const DWORD wait = static_cast<DWORD>(std::clamp<long long>(left.count(), 0, 0x7FFFFFFF));
        const DWORD result = WaitForSingleObject(mutex, wait);
        if (result == WAIT_OBJECT_0 || result == WAIT_ABANDONED) {
            // Held now: without memory for its holder it must not stay held.
            try {
                return std::make_unique<FolderLock>(mutex);
            } catch (const std::bad_alloc&) {
                ReleaseMutex(mutex);
                CloseHandle(mutex);
                throw;
            }
        }
        CloseHandle(mutex);
        return nullptr;
    }
};
}  // namespace

std::unique_ptr<hostapi::IFiles> NewFiles() { return std::make_unique<Files>(); }

}  // namespace varnoke::adapters
