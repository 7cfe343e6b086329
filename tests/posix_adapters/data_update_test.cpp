// The refresh of the data files against a real HTTP server on loopback.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <climits>
#include <fstream>
#include <sstream>
#include <thread>
#include <vector>

#include "actions/data_file_update.h"
#include "actions/st_action.h"
#include "adapters/platform.h"
#include "adapters/posix/pugi_xml.h"
#include "core/unicode.h"
#include "standins/recording_shell.h"
#include "tests/refresh_fixture.h"
#include "tests/signed_cases.h"
#include "tests/temp_dir.h"

namespace varnoke {
namespace {

using test::HttpServer;
using test::Read;
using test::Table;
using test::TempDir;
using Behaviour = HttpServer::Behaviour;

class DataUpdate : public ::testing::Test, protected test::RefreshRig {};

// Each refresh field of the remote table, read by the loader's own reader:
// what the refresh judged is what the next object loads.
TEST_F(DataUpdate, RemoteFieldsAreReadAsTheLoaderReadsThem) {
    const std::string url = server.Url("/v/next/acturl.xml");
    const struct {
        const char* name;
        std::string table;
        UpdateOutcome outcome;
        int32_t checkpoint, frequency;  // as the next object loads them
        std::u16string updateUrl;
    } cases[] = {
        {"a checkpoint on lines of its own", Table("\n 7 \n", "1", "99", url, "NEW"), UpdateOutcome::refreshed, 7, 99,
         *Utf8ToUtf16(url)},
        {"lastupdate holding an element is still rewritten", Table("7", "<a/>1", "99", url, "NEW"),
         UpdateOutcome::refreshed, 7, 99, *Utf8ToUtf16(url)},
        {"updatefrequency holding an element has no value", Table("7", "1", "<a/>99", url, "NEW"),
         UpdateOutcome::refreshed, 7, 0, *Utf8ToUtf16(url)},
        {"updateurl holding an element is empty", Table("7", "1", "99", "<a/>" + url, "NEW"), UpdateOutcome::refreshed,
         7, 99, u""},
        {"a checkpoint holding an element is no checkpoint", Table("<a/>7", "1", "99", url, "NEW"),
         UpdateOutcome::not_newer, 5, 60, *Utf8ToUtf16(server.Url("/v/acturl.xml"))},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto action = Local(5, 100, 60, server.Url("/v/acturl.xml"));
        Remote(c.table);
        update.Run(*action);
        EXPECT_EQ(update.LastOutcome(), c.outcome) << Describe(update.LastOutcome());
        STAction later(ActionPorts{xml, shell});
        later.Construct(local.Folder());
        EXPECT_EQ(later.LastCheckpoint(), c.checkpoint);
        EXPECT_EQ(later.UpdateFrequency(), c.frequency);
        EXPECT_EQ(later.UpdateURL(), c.updateUrl);
        EXPECT_EQ(later.LastUpdate() == now, c.outcome == UpdateOutcome::refreshed);
    }
}

TEST_F(DataUpdate, DueOnlyAfterTheInterval) {
    const struct {
        const char* name;
        int64_t minutesAgo;
        int32_t frequency;
        bool due;
    } cases[] = {
        {"exactly the interval", 60, 60, false},  {"one minute more", 61, 60, true},
        {"clock set back", -30, 60, false},       {"interval 0, one minute later", 1, 0, true},
        {"interval 0, same minute", 0, 0, false}, {"difference overflows 32 bits", int64_t{now} - INT32_MIN, 60, true},
    };
    for (const auto& c : cases) {
        auto action = Local(5, c.minutesAgo, c.frequency, server.Url("/v/acturl.xml"));
        Remote(RemoteTable(5));  // not newer: only the request shows the run went on
        const auto before = server.Requests().size();
        update.Run(*action);
        EXPECT_EQ(update.LastOutcome(), c.due ? UpdateOutcome::not_newer : UpdateOutcome::not_due) << c.name;
        EXPECT_EQ(server.Requests().size() - before, c.due ? 1u : 0u) << c.name;
    }
}

// What a signed pair came with is written under its own names: links
// planted there to the data files are replaced, the data files are not.
// And both data files naming one file is no pair at all.
TEST_F(DataUpdate, SignedFilesGoUnderTheirOwnNamesOnly) {
    namespace f = test::signed_fixture;
    const struct {
        const char* name;
        const char *manifestLink, *signatureLink, *listLink;  // link targets, or nothing
        UpdateOutcome outcome;
    } cases[] = {
        {"manifest names linked to the data files", "acturl.xml", "varnokeL.xml", nullptr, UpdateOutcome::refreshed},
        {"the list a link to the table", nullptr, nullptr, "acturl.xml", UpdateOutcome::save_failed},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto action = Local(5, 100, 60, server.Url("/v/acturl.xml"), std::string(f::kKey1));
        const std::pair<const char*, const char*> links[] = {
            {"manifest.txt", c.manifestLink}, {"manifest.sig", c.signatureLink}, {"varnokeL.xml", c.listLink}};
        for (const auto& [name, target] : links)
            if (target) {
                std::filesystem::remove(local.path() / name);
                std::filesystem::create_symlink(target, local.path() / name);
            }
        const std::string table = Read(local.path() / "acturl.xml");
        Remote(std::string(f::kTable), std::string(f::kList));
        server.Set("/v/manifest.txt", {200, std::string(f::kOkManifest)});
        server.Set("/v/manifest.sig", {200, std::string(f::kOkSignature)});
        update.Run(*action);
        EXPECT_EQ(update.LastOutcome(), c.outcome) << Describe(update.LastOutcome());
        STAction later(ActionPorts{xml, shell});
        later.Construct(local.Folder());
        if (c.outcome == UpdateOutcome::refreshed) {
            EXPECT_EQ(later.LastCheckpoint(), 6);
            EXPECT_EQ(Read(local.path() / "varnokeL.xml"), f::kList);  // as served, byte for byte
            EXPECT_EQ(Read(local.path() / "manifest.txt"), f::kOkManifest);
            EXPECT_EQ(std::filesystem::symlink_status(local.path() / "manifest.txt").type(),
                      std::filesystem::file_type::regular);
        } else {
            EXPECT_EQ(Read(local.path() / "acturl.xml"), table);
        }
        for (const char* name : {"manifest.txt", "manifest.sig", "varnokeL.xml"})
            std::filesystem::remove(local.path() / name);
    }
}

TEST_F(DataUpdate, ANegativeLocalCheckpointIsBelowAnUnreadableRemoteOne) {
    auto action = Local(-1, 100, 60, server.Url("/v/acturl.xml"));
    Remote(Table("six", "1", "", "u"));
    update.Run(*action);
    EXPECT_EQ(update.LastOutcome(), UpdateOutcome::refreshed);
}

TEST_F(DataUpdate, ARemoteTableWithoutVerbsReplacesNothing) {
    auto action = Local(5, 100, 60, server.Url("/v/acturl.xml"));
    const std::string table = Read(local.path() / "acturl.xml");
    Remote("<ActionList><lastcheckpoint>9</lastcheckpoint><lastupdate>1</lastupdate></ActionList>");
    update.Run(*action);
    EXPECT_EQ(update.LastOutcome(), UpdateOutcome::table_invalid);
    EXPECT_TRUE(LocalUnchanged(table));
    STAction later(ActionPorts{xml, shell});
    later.Construct(local.Folder());
    EXPECT_TRUE(later.UpdateInfoValid());  // it still refreshes later
}

TEST_F(DataUpdate, BaseLocationIsUpToTheLastSlash) {
    EXPECT_EQ(BaseLocation(u"https://d.example/v/acturl.xml"), u"https://d.example/v/");
    EXPECT_EQ(BaseLocation(u"https://d.example/v/"), u"https://d.example/v/");
    EXPECT_EQ(BaseLocation(u"acturl.xml"), u"");
    // A file name in updateurl is dropped; without any "/" the bare names are loaded.
    auto action = Local(5, 100, 60, server.Url("/v/whatever.xml"));
    Remote(RemoteTable(6));
    update.Run(*action);
    EXPECT_EQ(update.LastOutcome(), UpdateOutcome::refreshed);
    auto bare = Local(5, 100, 60, "no-slash-here");
    update.Run(*bare);
    EXPECT_EQ(update.LastOutcome(), UpdateOutcome::not_web_address);
}

// The remote table chooses updateurl: anything but a web address is never
// read, whatever lies there.
TEST_F(DataUpdate, OnlyWebAddressesAreRead) {
    // A folder holding a newer pair, and one whose table is a pipe no one writes to.
    const auto source = local.path() / "source";
    std::filesystem::create_directories(source / "pipe");
    std::ofstream(source / "acturl.xml") << Table("9", "1", "", "u", "NEW");
    std::ofstream(source / "varnokeL.xml") << newList;
    ASSERT_EQ(mkfifo((source / "pipe" / "acturl.xml").c_str(), 0600), 0);
    const std::string folder = source.string() + "/";
    const std::string cases[] = {
        folder,       folder + "acturl.xml", "file://" + folder,   source.string() + "/pipe/",
        "/dev/zero/", "acturl.xml",          "ftp://127.0.0.1/v/", server.Url("/v with blank/acturl.xml"),
    };
    Remote(RemoteTable(9));
    for (const auto& url : cases) {
        auto action = Local(5, 100, 60, url);
        const std::string table = Read(local.path() / "acturl.xml");
        update.Run(*action);
        EXPECT_EQ(update.LastOutcome(), UpdateOutcome::not_web_address) << url;
        EXPECT_TRUE(LocalUnchanged(table)) << url;
    }
    EXPECT_TRUE(server.Requests().empty());
}

// Both documents trickling: the refresh ends within one bound, not two.
TEST_F(DataUpdate, BothFetchesShareOneBound) {
    auto action = Local(5, 100, 60, server.Url("/v/acturl.xml"));
    const std::string table = RemoteTable(9);
    // The table takes about 1.6 s of the 2 s; the list would take 5 s.
    server.Set("/v/acturl.xml", {200, table, Behaviour::trickle, table.size() / 32 + 1, 50});
    server.Set("/v/varnokeL.xml", {200, newList, Behaviour::trickle, newList.size() / 100 + 1, 50});
    const auto start = std::chrono::steady_clock::now();
    update.Run(*action);
    const auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(update.LastOutcome(), UpdateOutcome::list_unreachable);
    EXPECT_LT(elapsed, std::chrono::milliseconds(3200));  // 1.6 bounds; each fetch its own bound took 3.6 s
}

// The replaced files stay what they were: their mode, the links to them;
// temporaries of killed refreshes go. Only the data folder's own regular
// files are written: a link anywhere else, or to anything but a regular
// file, stops the refresh before anything is written anywhere.
TEST_F(DataUpdate, ReplacesOnlyTheFoldersOwnRegularFiles) {
    enum class Link { none, beside, elsewhere, fifo, folder, dangling, device };
    const struct {
        const char* name;
        mode_t mode;
        Link link;  // what both data files are
        bool leftovers;
        UpdateOutcome outcome;
    } cases[] = {
        {"private files", 0600, Link::none, false, UpdateOutcome::refreshed},
        {"group-writable files", 0664, Link::none, false, UpdateOutcome::refreshed},
        {"links to files beside them", 0644, Link::beside, false, UpdateOutcome::refreshed},
        {"temporaries of a killed refresh", 0644, Link::none, true, UpdateOutcome::refreshed},
        {"links to files in another folder", 0644, Link::elsewhere, true, UpdateOutcome::save_failed},
        {"links to pipes", 0644, Link::fifo, false, UpdateOutcome::save_failed},
        {"links to folders", 0644, Link::folder, false, UpdateOutcome::save_failed},
        {"dangling links", 0644, Link::dangling, false, UpdateOutcome::save_failed},
        {"links to a device node", 0644, Link::device, false, UpdateOutcome::save_failed},
    };
    const char* const names[] = {"acturl.xml", "varnokeL.xml"};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.link == Link::device && geteuid() != 0) continue;  // only root makes device nodes
        const auto other = local.path() / "other";
        std::filesystem::remove_all(other);
        std::filesystem::create_directory(other);
        auto action = Local(5, 100, 60, server.Url("/v/acturl.xml"));
        Remote(RemoteTable(6));
        // Each data file as the row has it; `content` is where its bytes live.
        const auto content = [&](const char* name) {
            switch (c.link) {
                case Link::none: return local.path() / name;
                case Link::beside: return local.path() / ("real-" + std::string(name));
                case Link::dangling: return other / "missing";
                default: return other / name;
            }
        };
        for (const char* name : names) {
            const auto file = local.path() / name, target = content(name);
            if (c.link == Link::beside || c.link == Link::elsewhere) {
                std::filesystem::rename(file, target);
            } else if (c.link != Link::none) {
                std::filesystem::remove(file);
                const int made = c.link == Link::fifo     ? mkfifo(target.c_str(), 0600)
                                 : c.link == Link::device ? mknod(target.c_str(), S_IFCHR | 0600, makedev(1, 3))
                                 : c.link == Link::folder ? mkdir(target.c_str(), 0700)
                                                          : 0;
                ASSERT_EQ(made, 0);
            }
            if (c.link != Link::none) std::filesystem::create_symlink(target, file);
            if (c.link == Link::none || c.link == Link::beside || c.link == Link::elsewhere) {
                ASSERT_EQ(chmod(target.c_str(), c.mode), 0);
            }
        }
        const auto where = content("acturl.xml").parent_path();
        const char* const leftovers[] = {"acturl.xml.update-17", "varnokeL.xml.update-1234"};
        if (c.leftovers)
            for (const char* name : leftovers) std::ofstream(where / name) << "half";
        const auto before = test::Snapshot(other);
        update.Run(*action);
        ASSERT_EQ(update.LastOutcome(), c.outcome) << Describe(update.LastOutcome());
        if (c.outcome == UpdateOutcome::refreshed) {
            for (const char* name : names) {
                struct stat st {};
                ASSERT_EQ(lstat((local.path() / name).c_str(), &st), 0);
                EXPECT_EQ(S_ISLNK(st.st_mode), c.link == Link::beside) << name;
                ASSERT_EQ(stat(content(name).c_str(), &st), 0);
                EXPECT_EQ(st.st_mode & 07777, c.mode) << name;
            }
            EXPECT_NE(Read(content("varnokeL.xml")).find("NEW"), std::string::npos);
            EXPECT_NE(Read(content("acturl.xml")).find("<lastcheckpoint>6<"), std::string::npos);
            EXPECT_EQ(test::FilesIn(local.path()), 2);  // no temporary, old or new
        } else {
            // Nothing written or removed anywhere, the other folder's own
            // *.update-* files included; the data folder holds only the links.
            EXPECT_EQ(test::Snapshot(other), before);
            EXPECT_EQ(test::FilesIn(local.path()), 0);
            EXPECT_TRUE(action->UpdateDone());  // not tried again by this object
        }
        for (const char* name : names) std::filesystem::remove(local.path() / name);
        for (const char* name : names) std::filesystem::remove(local.path() / ("real-" + std::string(name)));
    }
}

TEST(DataUpdateFiles, TemporariesAreCreatedExclusively) {
    TempDir dir;
    const auto files = adapters::NewFiles();
    dir.Write("taken", "mine");
    std::filesystem::create_symlink(dir.path() / "elsewhere", dir.path() / "planted");
    const auto path = [&](const char* name) { return dir.File(name); };
    EXPECT_FALSE(files->CreateExclusive(path("taken"), path("taken")));
    EXPECT_FALSE(files->CreateExclusive(path("planted"), path("taken")));
    EXPECT_EQ(Read(dir.path() / "taken"), "mine");
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "elsewhere"));
    EXPECT_TRUE(files->CreateExclusive(path("fresh"), path("taken")));
    EXPECT_FALSE(files->WriteNew(path("taken"), "theirs", path("taken")));
    EXPECT_FALSE(files->WriteNew(path("planted"), "theirs", path("taken")));
    EXPECT_EQ(Read(dir.path() / "taken"), "mine");
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "elsewhere"));

    // A temporary swapped since it was made, for a link, a second name of
    // another file or a pipe: the document is saved through none of them.
    adapters::posix::PugiXmlDocumentFactory xml;
    auto doc = xml.NewDocument();
    ASSERT_TRUE(doc->LoadBytes("<r>saved</r>"));
    ASSERT_EQ(link((dir.path() / "taken").c_str(), (dir.path() / "second").c_str()), 0);
    ASSERT_EQ(mkfifo((dir.path() / "pipe").c_str(), 0600), 0);
    std::filesystem::create_symlink(dir.path() / "taken", dir.path() / "link");
    for (const char* swapped : {"second", "pipe", "link"}) EXPECT_FALSE(doc->Save(path(swapped))) << swapped;
    EXPECT_EQ(Read(dir.path() / "taken"), "mine");
    EXPECT_TRUE(doc->Save(path("fresh")));
    EXPECT_NE(Read(dir.path() / "fresh").find("<r>saved</r>"), std::string::npos);
}

TEST_F(DataUpdate, NothingWithoutRefreshElements) {
    local.Write("acturl.xml", Table("5", "1", "60", ""));
    STAction action(ActionPorts{xml, shell, nullptr, &update});
    action.Construct(local.Folder());
    update.Run(action);
    EXPECT_EQ(update.LastOutcome(), UpdateOutcome::no_update_info);
    EXPECT_TRUE(server.Requests().empty());
}

TEST_F(DataUpdate, SlowBodyPastTheBoundIsUnreachable) {
    auto action = Local(5, 100, 60, server.Url("/v/acturl.xml"));
    server.Set("/v/acturl.xml", {200, RemoteTable(9), Behaviour::trickle});
    update.Run(*action);
    EXPECT_EQ(update.LastOutcome(), UpdateOutcome::table_unreachable);
}

TEST_F(DataUpdate, AFailedSaveKeepsTheOldTableAndStillCountsAsDone) {
    auto action = Local(5, 100, 60, server.Url("/v/acturl.xml"));
    const std::string table = Read(local.path() / "acturl.xml");
    Remote(RemoteTable(6));
    // The list's path is taken by a folder: the move over it fails.
    std::filesystem::remove(local.path() / "varnokeL.xml");
    std::filesystem::create_directory(local.path() / "varnokeL.xml");
    std::ofstream(local.path() / "varnokeL.xml" / "keep") << "x";
    update.Run(*action);
    EXPECT_EQ(update.LastOutcome(), UpdateOutcome::save_failed);
    EXPECT_TRUE(action->UpdateDone());
    EXPECT_EQ(Read(local.path() / "acturl.xml"), table);  // never a new checkpoint over an old list
}

// The XML component as the tool and the refresh get it: an answer of 16 MiB
// loads, one byte more does not.
TEST(DataUpdateDefaults, DownloadBounds) {
    HttpServer server;
    auto fetch = adapters::NewFetch();
    constexpr std::size_t kBound = 16 * 1024 * 1024;
    for (const std::size_t size : {kBound, kBound + 1}) {
        server.Set("/big.xml", {200, std::string(size, 'x')});
        const auto body = fetch->Fetch(*Utf8ToUtf16(server.Url("/big.xml")),
                                       std::chrono::steady_clock::now() + std::chrono::seconds(30));
        EXPECT_EQ(body.has_value(), size == kBound) << size;
    }
    EXPECT_EQ(server.Requests().size(), 2u);
    // The XML component reads files only: a web address is no file.
    auto doc = adapters::NewXmlDocumentFactory()->NewDocument();
    server.Set("/small.xml", {200, "<r>fetched</r>"});
    doc->Load(*Utf8ToUtf16(server.Url("/small.xml")));
    EXPECT_FALSE(doc->DocumentElement());
    EXPECT_EQ(server.Requests().size(), 2u);
}

TEST(MinuteCount, LocalCalendarMinutesSinceTheEpoch) {
    EXPECT_EQ(MinuteCount({1970, 1, 1, 0, 0, 59}), 0);
    EXPECT_EQ(MinuteCount({1970, 1, 2, 1, 1, 0}), 1440 + 61);
    EXPECT_EQ(MinuteCount({2000, 3, 1, 0, 0, 0}), 11017 * 1440);  // 10957 days to 2000, then 31 + 29
    EXPECT_EQ(MinuteCount({1969, 12, 31, 23, 59, 0}), -1);
    EXPECT_EQ(MinuteCount({6100, 1, 1, 0, 0, 0}), 0);  // past 32 bits
}

}  // namespace
}  // namespace varnoke

namespace varnoke {
namespace {

// Killed at any moment, a refresh leaves each local file wholly old or
// wholly new, and never a new action table beside an old stock list.
TEST_F(DataUpdate, KilledAtAnyPointNeverTearsOrMixesTheFiles) {
    const std::string remoteTable = RemoteTable(6);
    const std::string remoteList = newList + std::string(400, ' ');
    server.Set("/v/acturl.xml", {200, remoteTable, Behaviour::trickle, 32, 5});
    server.Set("/v/varnokeL.xml", {200, remoteList, Behaviour::trickle, 32, 5});

    // Children refreshing at once, each its own object (and so its own
    // updateurl), all killed at the same moment.
    const auto runChildren = [&](std::chrono::microseconds killAfter, const std::vector<std::string>& urls) {
        std::vector<std::unique_ptr<STAction>> actions;
        for (const auto& url : urls) actions.push_back(Local(5, 100, 60, url));
        const std::string oldTable = Read(local.path() / "acturl.xml");
        std::vector<pid_t> children;
        for (auto& action : actions) {
            const pid_t child = fork();
            if (child == 0) {
                update.Run(*action);
                _exit(update.LastOutcome() == UpdateOutcome::refreshed ? 0 : 1);
            }
            children.push_back(child);
        }
        std::vector<int> statuses(children.size(), 0);
        const auto deadline = std::chrono::steady_clock::now() + killAfter;
        for (std::size_t i = 0; i < children.size(); ++i) {
            // Wait for the kill moment, or less if the child ends first.
            while (killAfter.count() >= 0 && waitpid(children[i], &statuses[i], WNOHANG) == 0) {
                if (std::chrono::steady_clock::now() >= deadline) {
                    kill(children[i], SIGKILL);
                    break;
                }
                std::this_thread::sleep_for(std::chrono::microseconds(200));
            }
            if (killAfter.count() < 0 || WIFSIGNALED(statuses[i]) == 0) waitpid(children[i], &statuses[i], 0);
        }
        return std::make_pair(oldTable, statuses);
    };
    const auto runChild = [&](std::chrono::microseconds killAfter) {
        const auto [oldTable, statuses] = runChildren(killAfter, {server.Url("/v/acturl.xml")});
        return std::make_pair(oldTable, statuses[0]);
    };

    // A run left alone completes; its length spaces the kills.
    const auto start = std::chrono::steady_clock::now();
    const auto [unused, status] = runChild(std::chrono::microseconds(-1));
    const auto whole = std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - start);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);

    // Kills spread over the measured length, then later ones: a loaded
    // machine can take several times as long as the first run did.
    std::vector<std::chrono::microseconds> kills;
    for (int i = 0; i <= 30; ++i) kills.push_back(whole * i / 30);
    for (int factor : {2, 4, 8, 16}) kills.push_back(whole * factor);
    int sawOld = 0, sawNew = 0;
    for (std::size_t i = 0; i < kills.size(); ++i) {
        const auto [oldTable, s] = runChild(kills[i]);
        const std::string list = Read(local.path() / "varnokeL.xml");
        const std::string table = Read(local.path() / "acturl.xml");
        const bool listOld = list == oldList, listNew = list.find("NEW") != std::string::npos;
        const bool tableOld = table == oldTable,
                   tableNew = table.find("<lastcheckpoint>6</lastcheckpoint>") != std::string::npos;
        EXPECT_TRUE(listOld || listNew) << "kill " << i << ": torn list: " << list;
        EXPECT_TRUE(tableOld || tableNew) << "kill " << i << ": torn table: " << table;
        EXPECT_FALSE(tableNew && listOld) << "kill " << i << ": new checkpoint beside the old list";
        sawOld += tableOld;
        sawNew += tableNew;
    }
    // The kills landed both before and after the end of the refresh.
    EXPECT_GT(sawOld, 0);
    EXPECT_GT(sawNew, 0);

    // Two refreshes at once, from two servers: a slow one with checkpoint 6
    // and a quick one with 7. Left alone, both end with the newer pair: the
    // slow one finds 7 on disk once it holds the lock.
    HttpServer slow;
    slow.Set("/v/acturl.xml", {200, RemoteTable(6), Behaviour::trickle, 8, 10});
    slow.Set("/v/varnokeL.xml", {200, test::StockList("SIX") + std::string(400, ' '), Behaviour::trickle, 16, 20});
    server.Set("/v/acturl.xml", {200, RemoteTable(7), Behaviour::trickle, 32, 5});
    server.Set("/v/varnokeL.xml", {200, test::StockList("SEVEN") + std::string(400, ' '), Behaviour::trickle, 32, 5});
    const std::vector<std::string> both = {slow.Url("/v/acturl.xml"), server.Url("/v/acturl.xml")};
    const auto version = [](const std::string& text, const std::string& old, const std::string& six,
                            const std::string& seven) {
        return text == old                             ? 5
               : text.find(seven) != std::string::npos ? 7
               : text.find(six) != std::string::npos   ? 6
                                                       : -1;
    };
    const auto check = [&](const std::string& oldTable, const std::string& when) {
        const int list = version(Read(local.path() / "varnokeL.xml"), oldList, ">SIX<", ">SEVEN<");
        const int table =
            version(Read(local.path() / "acturl.xml"), oldTable, "<lastcheckpoint>6<", "<lastcheckpoint>7<");
        EXPECT_NE(list, -1) << when << ": torn list";
        EXPECT_NE(table, -1) << when << ": torn table";
        EXPECT_GE(list, table) << when << ": a list older than the checkpoint";
        return std::make_pair(list, table);
    };
    const auto pairStart = std::chrono::steady_clock::now();
    const auto [pairOld, pairStatuses] = runChildren(std::chrono::microseconds(-1), both);
    const auto pairWhole =
        std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - pairStart);
    EXPECT_EQ(check(pairOld, "left alone"), std::make_pair(7, 7));
    for (int i = 0; i <= 16; ++i) {
        const auto [oldTable, statuses] = runChildren(pairWhole * i / 16, both);
        check(oldTable, "pair kill " + std::to_string(i));
    }
}

}  // namespace
}  // namespace varnoke
