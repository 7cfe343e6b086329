#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "adapters/platform.h"
#include "core/unicode.h"

namespace varnoke::adapters {

std::optional<std::string> ReadRegularFile(std::u16string_view path) {
    // Non-blocking, so that a FIFO without a writer cannot hold the open.
    const int fd = open(Utf16ToUtf8(path).c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return std::nullopt;
    std::optional<std::string> bytes;
    struct stat st {};
    if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
        bytes.emplace();
        // The size is a hint only: the file may change while it is read.
        bytes->reserve(static_cast<std::size_t>(st.st_size));
        char chunk[65536];
        for (;;) {
            const ssize_t n = read(fd, chunk, sizeof chunk);
            if (n > 0) {
                bytes->append(chunk, static_cast<std::size_t>(n));
            } else if (n == 0) {
                break;
            } else if (errno != EINTR) {
                bytes.reset();
                break;
            }
        }
    }
    close(fd);
    return bytes;
}

}  // namespace varnoke::adapters
