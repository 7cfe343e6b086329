// The POSIX shell adapter hands the URL to xdg-open as one argument, with no
// shell in between, and does not wait for it.
#include <gtest/gtest.h>

#include <sys/stat.h>

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

    // What the fake xdg-open received, once it has run (bounded wait).
    std::string Received() {
        const auto args = dir.path() / "xdg-open.args";
        for (int i = 0; i < 500 && !std::filesystem::exists(args); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
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
    const std::u16string url = u"https://example.com/?a=1&b=$(touch " +
                               *Utf8ToUtf16(marker) + u");`touch " + *Utf8ToUtf16(marker) + u"`|x>y 股";
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

}  // namespace
}  // namespace varnoke
