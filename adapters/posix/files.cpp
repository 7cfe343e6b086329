#include <fcntl.h>
#include <stdio.h>
#include <unistd.h>

#include <string>

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

bool ReplaceFile(std::u16string_view source, std::u16string_view target) {
    const std::string from = Utf16ToUtf8(source), to = Utf16ToUtf8(target);
    // The new content reaches the disk before the name does, and the name
    // before we report success.
    if (!Sync(from, O_RDONLY)) return false;
    if (rename(from.c_str(), to.c_str()) != 0) return false;
    const auto slash = to.rfind('/');
    Sync(slash == std::string::npos ? std::string(".") : to.substr(0, slash == 0 ? 1 : slash), O_RDONLY | O_DIRECTORY);
    return true;
}

bool Remove(std::u16string_view path) { return unlink(Utf16ToUtf8(path).c_str()) == 0; }

class Files final : public hostapi::IFiles {
public:
    bool ReplaceFileAtomically(std::u16string_view source, std::u16string_view target) override {
        return ReplaceFile(source, target);
    }
    bool RemoveFile(std::u16string_view path) override { return Remove(path); }
};
}  // namespace

std::unique_ptr<hostapi::IFiles> NewFiles() { return std::make_unique<Files>(); }

}  // namespace varnoke::adapters
