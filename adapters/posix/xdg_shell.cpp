#include "adapters/posix/xdg_shell.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

#include "core/unicode.h"

namespace varnoke::adapters::posix {

using namespace hostapi;  // the ports this file implements

namespace {

void CloseKeepingErrno(int fd) {
    const int saved = errno;
    close(fd);
    errno = saved;
}

}  // namespace

bool XdgOpenShell::Open(std::u16string_view url) {
    std::string program = "xdg-open";
    std::string argument = Utf16ToUtf8(url);
    char* argv[] = {program.data(), argument.data(), nullptr};

    // The opener's exec result comes back through this pipe: a successful
    // exec closes the write end (close-on-exec) with nothing written, a
    // failed one writes errno. Its exit status never reaches this process.
    int report[2];
    if (pipe2(report, O_CLOEXEC) != 0) return false;

    // Started through an intermediate child that exits at once, so the opener
    // is adopted by init and never lingers as a zombie of the host process.
    const pid_t child = fork();
    if (child < 0) {
        CloseKeepingErrno(report[0]);
        CloseKeepingErrno(report[1]);
        return false;
    }
    if (child == 0) {
        close(report[0]);
        const pid_t opener = fork();
        if (opener == 0) {
            execvp(argv[0], argv);
            const int error = errno;
            while (write(report[1], &error, sizeof error) < 0 && errno == EINTR) {}
            _exit(127);
        }
        _exit(opener < 0 ? 1 : 0);
    }
    // From here only the opener holds the write end, until it execs or
    // exits: the read below ends as soon as it has done either.
    close(report[1]);
    int status = 0;
    bool started = true;
    while (waitpid(child, &status, 0) < 0) {
        if (errno != EINTR) {
            started = false;
            break;
        }
    }
    started = started && WIFEXITED(status) && WEXITSTATUS(status) == 0;
    if (started) {
        int error = 0;
        ssize_t got;
        while ((got = read(report[0], &error, sizeof error)) < 0 && errno == EINTR) {}
        started = got == 0;
    }
    close(report[0]);
    return started;
}

}  // namespace varnoke::adapters::posix
