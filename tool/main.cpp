// varnoke: the component's logic on the command line.
//
// Objects are constructed exactly as the component constructs them: data
// files come from --data DIR, or else from the folder holding this program.
#include <algorithm>
#include <iostream>
#include <string>
#include <vector>

#include "tool/common.h"

namespace varnoke::tool {
namespace {

const char* const kUsage =
    "usage: varnoke [--data DIR] [--com] COMMAND [ARGS]\n"
    "       varnoke scan [--data DIR] [--json] [FILE]\n"
    "       varnoke info [--data DIR] [--locale LCID]\n"
    "       varnoke verbs [--data DIR] [--locale LCID] [--app NAME]\n"
    "       varnoke invoke VERBID PRODUCTID [--data DIR] [--app NAME] [--dry-run] [--verbose]\n"
    "       varnoke cellref TEXT\n"
    "       varnoke check [--data DIR]\n"
    "       varnoke status [--data DIR]\n"
    "       varnoke publish --key KEY.pem [--next-key KEY.pem] [--data DIR] [--expires DAYS]\n"
    "       varnoke refresh [--data DIR] [--force]\n"
    "       varnoke --version | -h | --help | COMMAND --help\n"
    "Runs the stock-name recognizer and its actions as the component does,\n"
#if defined(VARNOKE_DATA_DIR)
    "reading the data files from DIR (default: " VARNOKE_DATA_DIR
    ").\n"
#else
    "reading the data files from DIR (default: the folder holding the tool).\n"
#endif
    "Options take --name VALUE or --name=VALUE; \"--\" ends the options.\n"
    "On Windows, --com drives the registered component through COM instead.\n";

const char* const kLocaleHelp =
    "LCID is a Windows locale ID, decimal: 1033 English, 1028 or 3076\n"
    "Traditional Chinese, 2052 Simplified Chinese (default 1033; others\n"
    "get the English texts).\n";

const char* const kVerbHelp =
    "VERBID is a verb's position in the action table, 0 to 4:\n"
    "  0 stock quote page, 1 company report page, 2 recent news page,\n"
    "  3 basic information page (each opened in the browser), 4 a refreshable\n"
    "  web query inserted in a spreadsheet (offered only when --app begins\n"
    "  with \"Excel\").\n";

struct Command {
    const char* name;
    int (*run)(const Options&);
    std::set<std::string> valueOptions;
    std::set<std::string> flagOptions;
    std::string help;
};

const Command kCommands[] = {
    {"scan",
     Scan,
     {"--data"},
     {"--json", "--com"},
     std::string("usage: varnoke scan [--data DIR] [--json] [--com] [FILE]\n"
                 "Recognizes stock names in UTF-8 text from FILE (or standard input) and\n"
                 "prints one line per tag: START<TAB>LENGTH<TAB>PRODUCTID<TAB>TEXT. In PRODUCTID\n"
                 "and TEXT a backslash, tab, carriage return or line feed is written \\\\, \\t, \\r, \\n.\n")},
    {"info",
     Info,
     {"--data", "--locale"},
     {"--com"},
     std::string("usage: varnoke info [--data DIR] [--locale LCID] [--com]\n"
                 "Prints the recognizer's ProgId, name, description and tag type.\n") +
         kLocaleHelp},
    {"verbs",
     Verbs,
     {"--data", "--locale", "--app"},
     {"--com"},
     std::string("usage: varnoke verbs [--data DIR] [--locale LCID] [--app NAME] [--com]\n"
                 "Lists the verbs a host offers on a stock tag: VERBID<TAB>CAPTION<TAB>NAME.\n") +
         kLocaleHelp + kVerbHelp},
    {"invoke",
     Invoke,
     {"--data", "--app"},
     {"--dry-run", "--com", "--verbose"},
     std::string("usage: varnoke invoke VERBID PRODUCTID [--data DIR] [--app NAME] [--dry-run] [--verbose] [--com]\n"
                 "Invokes a verb on a tag and prints the address it opens (or the web\n"
                 "query's connection); then refreshes the data files when due.\n"
                 "--dry-run opens and refreshes nothing; --verbose tells what the refresh did.\n") +
         kVerbHelp},
    {"cellref",
     CellRef,
     {},
     {},
     std::string("usage: varnoke cellref TEXT\n"
                 "Checks a cell reference as the Insert-at dialog does: accepted<TAB>COLUMN<TAB>ROW\n"
                 "(exit 0), rejected or error<TAB>DESCRIPTION (exit 1).\n")},
    {"check",
     Check,
     {"--data"},
     {},
     std::string("usage: varnoke check [--data DIR]\n"
                 "Checks the data files varnokeL.xml and acturl.xml for the mistakes that\n"
                 "make them load badly or not at all, and a keyed folder's signature: one line per finding,\n"
                 "FILE:LINE: error|warning: WHAT \u2014 WHY. Exit 1 when there are errors.\n")},
    {"status",
     StatusCommand,
     {"--data"},
     {},
     std::string("usage: varnoke status [--data DIR]\n"
                 "Reports how the component is installed: on Windows its registration and\n"
                 "enrolment with the host; everywhere the data folder, whether each data\n"
                 "file loads and what it gives, whether the folder is writable and the\n"
                 "refresh state, and whether it is keyed with the manifest's expiry.\n")},
    {"publish",
     Publish,
     {"--data", "--key", "--next-key", "--expires"},
     {},
     std::string("usage: varnoke publish --key KEY.pem [--next-key KEY.pem] [--data DIR] [--expires DAYS]\n"
                 "Signs the data folder as it stands for refreshes keyed by <publickey>: writes\n"
                 "manifest.txt (the checkpoint, both files' SHA-256, an expiry DAYS from now,\n"
                 "default 30) and manifest.sig (one signature per key), to be served beside\n"
                 "acturl.xml and varnokeL.xml. KEY.pem is an unencrypted P-256 private key;\n"
                 "--next-key signs as well, for a release whose table names a new key.\n")},
    {"refresh",
     Refresh,
     {"--data"},
     {"--force"},
     std::string("usage: varnoke refresh [--data DIR] [--force]\n"
                 "Refreshes the data files now from the location the action table names, as the\n"
                 "component does after a verb: the same rules, lock, time bound and signature\n"
                 "check. --force skips the refresh interval; the remote table must still carry a\n"
                 "larger checkpoint. Prints one line, OUTCOME: WHAT, and exits 0 when the files\n"
                 "were refreshed or are up to date, 1 when the refresh failed. Run it with rights\n"
                 "over the data folder (a scheduled task for a per-machine install).\n")},
};

bool IsHelp(const std::string& a) { return a == "-h" || a == "--help"; }

// The options given before the command, taken as if given after it.
bool GlobalOptions(const std::vector<std::string>& args, std::size_t& i, std::vector<std::string>& globals,
                   std::string& error) {
    for (; i < args.size() && args[i].size() > 1 && args[i][0] == '-'; ++i) {
        const std::string& a = args[i];
        if (a == "--data") {
            if (i + 1 >= args.size()) {
                error = "option --data needs a value";
                return false;
            }
            globals.push_back(a);
            globals.push_back(args[++i]);
        } else if (a.starts_with("--data=") || a == "--com" || IsHelp(a)) {
            globals.push_back(a);
        } else {
            error = "unknown option " + a + " before the command";
            return false;
        }
    }
    return true;
}

int Run(const std::vector<std::string>& args) {
    if (args.size() >= 2 && (IsHelp(args[1]) || (args[1] == "help" && args.size() == 2))) {
        std::cout << kUsage;
        return 0;
    }
    if (args.size() == 2 && args[1] == "--version") {
        std::cout << "varnoke " << VARNOKE_VERSION << '\n';
        return 0;
    }
    std::size_t i = 1;
    std::vector<std::string> globals;
    std::string error;
    if (!GlobalOptions(args, i, globals, error)) return Fail(error);
    if (std::any_of(globals.begin(), globals.end(), IsHelp) && (i >= args.size() || args[i] != "help")) {
        // Help asked before the command: the command's, or the tool's.
        globals.erase(std::remove_if(globals.begin(), globals.end(), IsHelp), globals.end());
        for (const Command& c : kCommands)
            if (i < args.size() && args[i] == c.name) {
                std::cout << c.help;
                return 0;
            }
        std::cout << kUsage;
        return 0;
    }
    const bool helpFor = i + 1 < args.size() && args[i] == "help";
    if (helpFor) ++i;
    for (const Command& c : kCommands) {
        if (i >= args.size() || args[i] != c.name) continue;
        std::vector<std::string> rest{args[0]};
        rest.insert(rest.end(), globals.begin(), globals.end());
        rest.insert(rest.end(), args.begin() + static_cast<std::ptrdiff_t>(i) + 1, args.end());
        const auto end = std::find(rest.begin(), rest.end(), "--");
        if (helpFor || std::any_of(rest.begin(), end, IsHelp)) {
            std::cout << c.help;
            return 0;
        }
        auto o = ParseOptions(rest, 1, c.valueOptions, c.flagOptions, error);
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
    for (int i = 0; i < argc; ++i) args.push_back(varnoke::Utf16ToUtf8(reinterpret_cast<const char16_t*>(wide[i])));
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
