// On POSIX the component is linked into its program, so its file is the
// running executable.
#include <limits.h>
#include <unistd.h>

#include <string>

#include "core/unicode.h"
#include "hostapi/module.h"

namespace varnoke::hostapi {

std::u16string ComponentFolder() {
    std::string path(PATH_MAX, '\0');
    const ssize_t n = readlink("/proc/self/exe", path.data(), path.size());
    if (n <= 0 || static_cast<std::size_t>(n) >= path.size()) return {};
    path.resize(static_cast<std::size_t>(n));
    const auto slash = path.rfind('/');
    if (slash == std::string::npos) return {};
    // The root folder is reported as "/"; the path rule then doubles it, harmlessly.
    path.resize(slash == 0 ? 1 : slash);
    auto folder = Utf8ToUtf16(path);
    return folder ? *folder : std::u16string();
}

}  // namespace varnoke::hostapi
