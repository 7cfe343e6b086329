#include "adapters/posix/xdg_shell.h"

#include <errno.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

#include "core/unicode.h"

namespace varnoke::adapters::posix {

using namespace hostapi;  // the ports this file implements

bool XdgOpenShell::Open(std::u16string_view url) {
    std::string program = "xdg-open";
    std::string argument = Utf16ToUtf8(url);
    char* argv[] = {program.data(), argument.data(), nullptr};

    // Started through an intermediate child that exits at once, so the opener
    // is adopted by init and never lingers as a zombie of the host process.
    const pid_t child = fork();
    if (child < 0) return false;
    if (child == 0) {
        const pid_t opener = fork();
        if (opener == 0) {
            execvp(argv[0], argv);
            _exit(127);
        }
        _exit(opener < 0 ? 1 : 0);
    }
    int status = 0;
    while (waitpid(child, &status, 0) < 0) {
        if (errno != EINTR) return false;
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace varnoke::adapters::posix
