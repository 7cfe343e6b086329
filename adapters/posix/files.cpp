#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <new>
#include <optional>
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
    // Every name made first: a throw past the rename would report a move
    // that happened as one that did not.
    const std::string from = Utf16ToUtf8(source), to = Utf16ToUtf8(target), folder = FolderOf(to);
    // The new content reaches the disk before the name does, and the name
    // before we report success.
    if (!Sync(from, O_RDONLY)) return false;
    if (rename(from.c_str(), to.c_str()) != 0) return false;
    Sync(folder, O_RDONLY | O_DIRECTORY);
    return true;
}

bool Remove(std::u16string_view path) { return unlink(Utf16ToUtf8(path).c_str()) == 0; }

std::optional<std::string> RealPath(const std::string& path) {
    char* real = realpath(path.c_str(), nullptr);
    if (!real) return std::nullopt;
    std::string resolved = real;
    free(real);
    return resolved;
}

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

    std::optional<std::u16string> ReplacementTarget(std::u16string_view path) override {
        const std::string given = Utf16ToUtf8(path);
        struct stat st {};
        if (lstat(given.c_str(), &st) != 0) {
            if (errno == ENOENT) return std::u16string(path);
            return std::nullopt;
        }
        if (S_ISREG(st.st_mode)) return std::u16string(path);
        if (!S_ISLNK(st.st_mode)) return std::nullopt;
        // A link is followed only to a regular file beside it: anything else
        // would let whoever can write the folder aim our write elsewhere.
        const auto target = RealPath(given);
        const auto folder = RealPath(FolderOf(given));
        if (!target || !folder || stat(target->c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
        if (FolderOf(*target) != *folder) return std::nullopt;
        return Utf8ToUtf16(*target);
    }

    bool CreateExclusive(std::u16string_view path, std::u16string_view like) override {
        return WriteNew(path, {}, like);
    }

    bool WriteNew(std::u16string_view path, std::string_view bytes, std::u16string_view like) override {
        // Both names made before the file is: past its creation nothing
        // may throw, or the file and its descriptor would be left behind.
        const std::string name = Utf16ToUtf8(path), likeName = Utf16ToUtf8(like);
        const int fd = open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd < 0) return false;
        // The replaced file's mode, exactly (the umask does not apply), and
        // its owner where we may give it.
        struct stat was {};
        bool ok = true;
        if (stat(likeName.c_str(), &was) == 0 && S_ISREG(was.st_mode)) {
            ok = fchmod(fd, was.st_mode & 07777) == 0;
            if (fchown(fd, was.st_uid, was.st_gid) != 0) {
                // Not ours to give: it stays the refreshing user's.
            }
        }
        for (std::size_t at = 0; ok && at < bytes.size();) {
            const ssize_t n = write(fd, bytes.data() + at, bytes.size() - at);
            if (n < 0 && errno == EINTR) continue;
            ok = n > 0;
            if (ok) at += static_cast<std::size_t>(n);
        }
        ok = close(fd) == 0 && ok;
        if (!ok) unlink(name.c_str());
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
            if (flock(fd, LOCK_EX | LOCK_NB) == 0) {
                // Held now: without memory for its holder it must not stay held.
                try {
                    return std::make_unique<FolderLock>(fd);
                } catch (const std::bad_alloc&) {
                    close(fd);
                    throw;
                }
            }
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
