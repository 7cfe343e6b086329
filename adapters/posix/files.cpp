#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <thread>

#include "adapters/platform.h"
#include "core/unicode.h"

namespace varnoke::adapters {
namespace {

bool Sync(const std::string& path, int flags) {
    const int fd = open(path.c_str(), flags | O_CLOEXEC);
    if (fd < 0) return false;
    const bool ok = fsync(fd) == 0;
    close(fd);
    return ok;
}

std::string FolderOf(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? std::string(".") : path.substr(0, slash == 0 ? 1 : slash);
}

bool ReplaceFile(std::u16string_view source, std::u16string_view target) {
    const std::string from = Utf16ToUtf8(source), to = Utf16ToUtf8(target);
    // The new content reaches the disk before the name does, and the name
    // before we report success.
    if (!Sync(from, O_RDONLY)) return false;
    if (rename(from.c_str(), to.c_str()) != 0) return false;
    Sync(FolderOf(to), O_RDONLY | O_DIRECTORY);
    return true;
}

bool Remove(std::u16string_view path) { return unlink(Utf16ToUtf8(path).c_str()) == 0; }

// flock on the folder itself: no lock file is left in the data folder, and
// the kernel releases the lock of a process that dies.
class FolderLock final : public hostapi::IFolderLock {
public:
    explicit FolderLock(int fd) : fd_(fd) {}
    ~FolderLock() override { close(fd_); }

private:
    int fd_;
};

class Files final : public hostapi::IFiles {
public:
    bool ReplaceFileAtomically(std::u16string_view source, std::u16string_view target) override {
        return ReplaceFile(source, target);
    }
    bool RemoveFile(std::u16string_view path) override { return Remove(path); }

    std::u16string ResolveLinks(std::u16string_view path) override {
        char* real = realpath(Utf16ToUtf8(path).c_str(), nullptr);
        if (!real) return std::u16string(path);
        auto resolved = Utf8ToUtf16(real);
        free(real);
        return resolved ? std::move(*resolved) : std::u16string(path);
    }

    bool CreateExclusive(std::u16string_view path, std::u16string_view like) override {
        const int fd = open(Utf16ToUtf8(path).c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd < 0) return false;
        // The replaced file's mode, exactly (the umask does not apply), and
        // its owner where we may give it.
        struct stat was {};
        bool ok = true;
        if (stat(Utf16ToUtf8(like).c_str(), &was) == 0 && S_ISREG(was.st_mode)) {
            ok = fchmod(fd, was.st_mode & 07777) == 0;
            if (fchown(fd, was.st_uid, was.st_gid) != 0) {
                // Not ours to give: it stays the refreshing user's.
            }
        }
        close(fd);
        if (!ok) unlink(Utf16ToUtf8(path).c_str());
        return ok;
    }

    void RemoveFilesStartingWith(std::u16string_view prefix) override {
        const std::string full = Utf16ToUtf8(prefix);
        const std::string folder = FolderOf(full);
        const std::string start = full.substr(full.rfind('/') == std::string::npos ? 0 : full.rfind('/') + 1);
        if (start.empty()) return;
        DIR* dir = opendir(folder.c_str());
        if (!dir) return;
        while (const dirent* e = readdir(dir)) {
            const std::string name = e->d_name;
            if (name.size() <= start.size() || name.compare(0, start.size(), start) != 0) continue;
            struct stat st {};
            const std::string path = folder + "/" + name;
            if (lstat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode)) unlink(path.c_str());
        }
        closedir(dir);
    }

    std::unique_ptr<hostapi::IFolderLock> LockFolder(std::u16string_view folder,
                                                     std::chrono::steady_clock::time_point deadline) override {
        const int fd = open(Utf16ToUtf8(folder).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd < 0) return nullptr;
        for (;;) {
            if (flock(fd, LOCK_EX | LOCK_NB) == 0) return std::make_unique<FolderLock>(fd);
            if ((errno != EWOULDBLOCK && errno != EINTR) || std::chrono::steady_clock::now() >= deadline) break;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        close(fd);
        return nullptr;
    }
};
}  // namespace

std::unique_ptr<hostapi::IFiles> NewFiles() { return std::make_unique<Files>(); }

}  // namespace varnoke::adapters
