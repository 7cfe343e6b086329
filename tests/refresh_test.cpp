// The data-file refresh over this platform's adapters against a real HTTP
// server on loopback: what every platform must do alike. What only one
// platform's files or fetch can show stays in its own suite.
#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <thread>

#include "core/unicode.h"
#include "tests/cases/refresh_cases.h"
#include "tests/refresh_fixture.h"
#include "tests/signed_cases.h"

namespace varnoke {
namespace {

using test::Read;
using Behaviour = test::HttpServer::Behaviour;
using std::chrono::steady_clock;

class Refresh : public ::testing::Test, protected test::RefreshRig {
protected:
    void SetUp() override { ASSERT_TRUE(server.Listening()); }
};

TEST_F(Refresh, ReplacesBothFilesAndRewritesLastupdate) {
    auto action = Local(5, 61);
    Remote(RemoteTable(6));
    update.Run(*action);
    EXPECT_EQ(update.LastOutcome(), UpdateOutcome::refreshed) << Describe(update.LastOutcome());
    EXPECT_TRUE(action->UpdateDone());
    EXPECT_NE(Read(local.path() / "varnokeL.xml").find("NEW"), std::string::npos);
    const std::string table = Read(local.path() / "acturl.xml");
    EXPECT_NE(table.find("<lastupdate>" + std::to_string(now) + "</lastupdate>"), std::string::npos) << table;
    EXPECT_NE(table.find("<lastcheckpoint>6</lastcheckpoint>"), std::string::npos) << table;
    EXPECT_NE(table.find("next/acturl.xml"), std::string::npos) << table;  // the remote location comes over
    EXPECT_EQ(action->LastCheckpoint(), 5);                                // nothing in memory changes
    EXPECT_EQ(test::FilesIn(local.path()), 2);                             // no temporary file left behind

    // At most once per object; a later object sees the new files.
    update.Run(*action);
    EXPECT_EQ(update.LastOutcome(), UpdateOutcome::already_done);
    STAction later(ActionPorts{xml, shell});
    later.Construct(local.Folder());
    EXPECT_EQ(later.LastCheckpoint(), 6);
    EXPECT_EQ(later.LastUpdate(), now);
    ASSERT_FALSE(later.ActionList().empty());
    EXPECT_EQ(later.ActionList()[0].strActionName, u"QuoteNEW");
}

TEST_F(Refresh, StopsWithoutTouchingAnyFile) {
    for (const auto& c : cases::StopCases(newList)) {
        SCOPED_TRACE(c.name);
        auto action = Local(5, 100);
        const std::string table = Read(local.path() / "acturl.xml");
        server.Set("/v/acturl.xml", c.table);
        server.Set("/v/varnokeL.xml", c.list);
        // Another refresh is another thread, or another process: on Windows
        // the lock is a thread's.
        std::promise<bool> taken;
        std::promise<void> release;
        std::thread holder;
        if (c.lockHeld) {
            holder = std::thread([&, done = release.get_future()] {
                const auto held = files->LockFolder(local.Folder(), steady_clock::now());
                taken.set_value(held != nullptr);
                done.wait();
            });
            EXPECT_TRUE(taken.get_future().get());
        }
        update.Run(*action);
        if (c.lockHeld) {
            release.set_value();
            holder.join();
        }
        EXPECT_EQ(update.LastOutcome(), c.outcome) << Describe(update.LastOutcome());
        EXPECT_FALSE(action->UpdateDone());
        EXPECT_TRUE(LocalUnchanged(table));
        EXPECT_EQ(test::FilesIn(local.path()), 2);  // no temporary left either
    }
}

TEST_F(Refresh, SignedDataIsInstalledOnlyUnderTheLocalKey) {
    test::RunSignedCases(server, update, local, xml, shell,
                         [&](const test::SignedCase& c) { return Local(c.localCheckpoint, 100, 60, "", c.localKey); });
}

TEST_F(Refresh, ServerThatNeverAnswersCostsOnlyTheBound) {
    auto action = Local(5, 100);
    server.Set("/v/acturl.xml", {200, "", Behaviour::never_answer});
    const auto start = steady_clock::now();
    update.Run(*action);
    EXPECT_EQ(update.LastOutcome(), UpdateOutcome::table_unreachable);
    EXPECT_LT(steady_clock::now() - start, std::chrono::seconds(10));
    // Bounds of 0 seconds are one second, as on every platform, not "none":
    // the request is made, and a silent server still ends it.
    const auto zero = adapters::NewFetch({0, 0, 64 * 1024});
    server.Set("/ok.xml", {200, "<r>fine</r>"});
    EXPECT_EQ(zero->Fetch(*Utf8ToUtf16(server.Url("/ok.xml")), steady_clock::time_point::max()), "<r>fine</r>");
    EXPECT_FALSE(zero->Fetch(*Utf8ToUtf16(server.Url("/v/acturl.xml")), steady_clock::time_point::max()));
}

}  // namespace
}  // namespace varnoke
