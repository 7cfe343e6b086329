// The POSIX shell adapter hands the URL to xdg-open as one argument, with no
// shell in between, tells whether it could be started, and does not wait for
// it.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>

#include "adapters/posix/xdg_shell.h"
#include "tests/temp_dir.h"

namespace varnoke {
namespace {

class XdgOpen : public ::testing::Test {
protected:
    void SetUp() override {
        const auto script = dir.path() / "xdg-open";
        std::ofstream(script) << "#!/bin/sh\n"
                                 "printf '%s\\n' \"$#\" \"$1\" > \"$0.tmp\" && mv \"$0.tmp\" \"$0.args\"\n";
        chmod(script.c_str(), 0755);
        oldPath = std::getenv("PATH") ? std::getenv("PATH") : "";
        setenv("PATH", (dir.path().string() + ":" + oldPath).c_str(), 1);
    }
    void TearDown() override { setenv("PATH", oldPath.c_str(), 1); }

    // Waits (bounded) for a file the fake xdg-open writes when it has run.
    static bool Appears(const std::filesystem::path& file) {
        for (int i = 0; i < 500 && !std::filesystem::exists(file); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        return std::filesystem::exists(file);
    }

    // What the fake xdg-open received, once it has run.
    std::string Received() {
        const auto args = dir.path() / "xdg-open.args";
        Appears(args);
        std::stringstream ss;
        ss << std::ifstream(args).rdbuf();
        return ss.str();
    }

    test::TempDir dir;
    std::string oldPath;
};

TEST_F(XdgOpen, PassesTheUrlAsOneUninterpretedArgument) {
    adapters::posix::XdgOpenShell shell;
    const std::string marker = (dir.path() / "pwned").string();
    const std::u16string url = u"https://example.com/?a=1&b=$(touch " + *Utf8ToUtf16(marker) + u");`touch " +
                               *Utf8ToUtf16(marker) + u"`|x>y 股";
    EXPECT_TRUE(shell.Open(url));
    EXPECT_EQ(Received(), "1\n" + Utf16ToUtf8(url) + "\n");
    EXPECT_FALSE(std::filesystem::exists(marker));
}

TEST_F(XdgOpen, ReturnsWithoutWaitingForTheOpener) {
    const auto script = dir.path() / "xdg-open";
    std::ofstream(script) << "#!/bin/sh\nsleep 5\n";
    chmod(script.c_str(), 0755);
    adapters::posix::XdgOpenShell shell;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(shell.Open(u"https://example.com/"));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(4));
}

// True once the opener runs, whatever it then does; false when it could not
// be started, which only the opener's exec knows: its parent exits at once.
TEST_F(XdgOpen, TellsWhetherTheOpenerCouldBeStarted) {
    // Past the room for all arguments together (and on Linux past the 128 KiB
    // one argument may have).
    const long argMax = sysconf(_SC_ARG_MAX);
    const std::size_t overLimit = static_cast<std::size_t>(argMax > 0 && argMax < (1L << 26) ? argMax : 1L << 17) + 1;
    constexpr const char* kRuns = "#!/bin/sh\n: > \"$0.ran\"\n";
    const struct {
        const char* what;
        const char* script;  // the only xdg-open on PATH; nullptr: none
        mode_t mode;
        std::size_t padding;  // characters appended to the address
        bool started;
    } rows[] = {
        {"an opener on PATH", kRuns, 0755, 0, true},
        {"an opener that fails by itself", "#!/bin/sh\n: > \"$0.ran\"\nexit 3\n", 0755, 0, true},
        {"no opener on PATH", nullptr, 0, 0, false},
        {"an opener that is not executable", kRuns, 0644, 0, false},
        {"an address over the system's argument limit", kRuns, 0755, overLimit, false},
    };
    int n = 0;
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        const auto bin = dir.path() / ("bin" + std::to_string(n++));
        std::filesystem::create_directory(bin);
        if (row.script) {
            std::ofstream(bin / "xdg-open") << row.script;
            chmod((bin / "xdg-open").c_str(), row.mode);
        }
        setenv("PATH", bin.c_str(), 1);
        adapters::posix::XdgOpenShell shell;
        EXPECT_EQ(shell.Open(u"https://example.com/" + std::u16string(row.padding, u'a')), row.started);
        if (row.started) {
            EXPECT_TRUE(Appears(bin / "xdg-open.ran"));
        }
    }
}

}  // namespace
}  // namespace varnoke
