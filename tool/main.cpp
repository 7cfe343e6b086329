// varnoke: the component's logic on the command line.
//
// Objects are constructed exactly as the component constructs them: data
// files come from --data DIR, or else from the folder holding this program.
#include <iostream>
#include <string>
#include <vector>

#include "tool/common.h"

namespace varnoke::tool {
namespace {

const char* const kUsage =
    "usage: varnoke scan [--data DIR] [--json] [FILE]\n"
    "       varnoke info [--data DIR] [--locale LCID]\n"
    "       varnoke verbs [--data DIR] [--locale LCID] [--app NAME]\n"
    "       varnoke invoke VERBID PRODUCTID [--data DIR] [--app NAME] [--dry-run] [--verbose]\n"
    "       varnoke cellref TEXT\n"
    "On Windows, --com drives the registered component through COM instead.\n";

struct Command {
    const char* name;
    int (*run)(const Options&);
    std::set<std::string> valueOptions;
    std::set<std::string> flagOptions;
};

const Command kCommands[] = {
    {"scan", Scan, {"--data"}, {"--json", "--com"}},
    {"info", Info, {"--data", "--locale"}, {"--com"}},
    {"verbs", Verbs, {"--data", "--locale", "--app"}, {"--com"}},
    {"invoke", Invoke, {"--data", "--app"}, {"--dry-run", "--com", "--verbose"}},
    {"cellref", CellRef, {}, {}},
};

int Run(const std::vector<std::string>& args) {
    if (args.size() >= 2 && (args[1] == "--help" || args[1] == "help")) {
        std::cout << kUsage;
        return 0;
    }
    for (const Command& c : kCommands) {
        if (args.size() < 2 || args[1] != c.name) continue;
        std::string error;
        auto o = ParseOptions(args, 2, c.valueOptions, c.flagOptions, error);
        return o ? c.run(*o) : Fail(error);
    }
    std::cerr << kUsage;
    return kUsageError;
}

}  // namespace
}  // namespace varnoke::tool

#if defined(_WIN32)
#include <windows.h>
// after windows.h, which they need
#include <fcntl.h>
#include <io.h>
#include <objbase.h>
#include <shellapi.h>

// Arguments in UTF-8 whatever the ANSI code page, like on POSIX; the
// component's XML documents need COM on this thread.
int main() {
    int argc = 0;
    wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &argc);
    std::vector<std::string> args;
    for (int i = 0; i < argc; ++i)
        args.push_back(varnoke::Utf16ToUtf8(reinterpret_cast<const char16_t*>(wide[i])));
    LocalFree(wide);
    // Byte for byte as on POSIX: no CR added to output, none taken from input.
    _setmode(_fileno(stdin), _O_BINARY);
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    int status;
    try {
        status = varnoke::tool::Run(args);
    } catch (const std::exception& e) {
        std::cerr << "varnoke: " << e.what() << '\n';
        status = 1;
    }
    std::cout.flush();
    CoUninitialize();
    return status;
}
#else
int main(int argc, char** argv) {
    try {
        return varnoke::tool::Run(std::vector<std::string>(argv, argv + argc));
    } catch (const std::exception& e) {
        std::cerr << "varnoke: " << e.what() << '\n';
        return 1;
    }
}
#endif
