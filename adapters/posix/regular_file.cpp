#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "adapters/platform.h"
#include "core/unicode.h"

namespace varnoke::adapters {

std::optional<std::string> ReadRegularFile(std::u16string_view path) {
    // Non-blocking, so that a FIFO without a writer cannot hold the open.
    const int fd = open(Utf16ToUtf8(path).c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return std::nullopt;
    // Closed however this ends: out of memory, the buffer's growth throws.
    const struct Closer {
        int fd;
        ~Closer() { close(fd); }
    } closer{fd};
    std::optional<std::string> bytes;
    struct stat st {};
    if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
        bytes.emplace();
        // Read straight into the result. The size is a hint only: the file
        // may change while it is read.
        std::size_t got = 0;
        bytes->resize(static_cast<std::size_t>(st.st_size) + 1);  // room to see the end in the first pass
        for (;;) {
            if (got == bytes->size()) bytes->resize(got + std::max<std::size_t>(got / 2, 65536));
            const ssize_t n = read(fd, bytes->data() + got, bytes->size() - got);
            if (n > 0) {
                got += static_cast<std::size_t>(n);
            } else if (n == 0) {
                bytes->resize(got);
                break;
            } else if (errno != EINTR) {
                bytes.reset();
                break;
            }
        }
    }
    return bytes;
}

}  // namespace varnoke::adapters
