// The Windows XML adapter loading web addresses from a loopback server, and
// the data-file refresh over the Windows adapters: the cases the POSIX build
// checks in tests/posix_adapters/data_update_test.cpp, here under Wine.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <future>
#include <optional>
#include <sstream>
#include <thread>

#include "actions/data_file_update.h"
#include "actions/st_action.h"
#include "adapters/platform.h"
#include "adapters/win32/files.h"
#include "adapters/win32/msxml_document.h"
#include "standins/recording_shell.h"
#include "tests/platform_quirks.h"
#include "tests/refresh_fixture.h"
#include "tests/signed_cases.h"
#include "tests/temp_dir.h"
#include "tests/http_server.h"

namespace varnoke {
namespace {

using test::HttpServer;
using test::Read;
using test::TempDir;
using Behaviour = HttpServer::Behaviour;
using std::chrono::steady_clock;

using test::kShortLimits;

// An XML document of exactly `size` bytes.
std::string XmlOfSize(std::size_t size) { return "<r>" + std::string(size - 7, 'x') + "</r>"; }

// A file: address of a local path, with forward slashes.
std::string FileUrl(const std::filesystem::path& p) {
    std::string s = p.generic_string();
    return "file:///" + s;
}

class RemoteLoad : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(server.Listening()); }

    // The root's text after fetching that path and parsing what came, or
    // nothing without a root.
    std::optional<std::u16string> RootText(const std::string& path) {
        auto doc = xml.NewDocument();
        if (!doc) {
            ADD_FAILURE() << "no DOM document";
            return std::nullopt;
        }
        const auto body = fetch->Fetch(server.Url16(path), steady_clock::time_point::max());
        if (!body || !doc->LoadBytes(*body)) return std::nullopt;
        const hostapi::XmlNode root = doc->DocumentElement();
        if (!root) return std::nullopt;
        return doc->Text(root);
    }

    HttpServer server;
    TempDir local;
    adapters::win32::MsxmlDocumentFactory xml;
    std::unique_ptr<hostapi::IFetch> fetch = adapters::NewFetch(kShortLimits);
};

TEST_F(RemoteLoad, WhatLoadsAndWhatDoesNot) {
    const std::string atBound = XmlOfSize(64 * 1024);
    const std::string pastBound = XmlOfSize(64 * 1024 + 1);
    local.Write("local.xml", "<r>from the disk</r>");
    server.Set("/target.xml", {200, "<r>redirected</r>"});
    const struct {
        const char* name;
        std::string path;
        HttpServer::Response response;
        std::optional<std::u16string> text;  // nothing: no document element
    } cases[] = {
        {"200 with XML", "/ok.xml", {200, "<r>hello</r>"}, u"hello"},
        {"the query string is sent", "/q?id=2330&x=1", {200, "<r>query</r>"}, u"query"},
        {"404 with an XML body", "/404.xml", {404, "<r>gone</r>"}, std::nullopt},
        {"500 with an XML body", "/500.xml", {500, "<r>error</r>"}, std::nullopt},
        {"not XML", "/html", {200, "<html><body>hello"}, std::nullopt},
        {"empty body", "/empty", {200, ""}, std::nullopt},
        {"body at the size bound", "/at.xml", {200, atBound}, std::u16string(atBound.size() - 7, u'x')},
        {"body past the size bound", "/past.xml", {200, pastBound}, std::nullopt},
        {"past the bound, no length announced",
         "/past-nolength.xml",
         {200, pastBound, Behaviour::no_length},
         std::nullopt},
        {"no length announced, within the bound",
         "/nolength.xml",
         {200, "<r>closed</r>", Behaviour::no_length},
         u"closed"},
        {"body cut short of its announced length",
         "/short.xml",
         {200, "<r>cut</r>", Behaviour::short_body},
         std::nullopt},
        {"a slow body within the bound", "/slow.xml", {200, "<r>ok</r>", Behaviour::trickle}, u"ok"},
        {"redirect to another path",
         "/moved.xml",
         {302, "", Behaviour::answer, server.Url("/target.xml")},
         u"redirected"},
        {"a redirect without a Location", "/no-location.xml", {302, "<r>redirect body</r>"}, std::nullopt},
        {"a 3xx answer that is no redirect", "/300.xml", {300, "<r>choices</r>"}, std::nullopt},
        // WinHTTP follows no other scheme.
        {"redirect to a local file",
         "/to-file.xml",
         {302, "<r>redirect body</r>", Behaviour::answer, FileUrl(local.path() / "local.xml")},
         std::nullopt},
        {"big5 declared",
         "/big5.xml",
         {200, "<?xml version=\"1.0\" encoding=\"big5\"?><r>\xb5\xd8\xa9\xa8\xba\xeb\xb1\x4b</r>"},
         u"華岳精密"},
        {"big5 declared, bytes invalid in it",
         "/bad-big5.xml",
         {200, "<?xml version=\"1.0\" encoding=\"big5\"?><r>\xb5\xff\xff</r>"},
         std::nullopt},
        {"gb2312 declared",
         "/gb.xml",
         {200, "<?xml version=\"1.0\" encoding=\"gb2312\"?><r>\xbb\xaa\xd4\xc0</r>"},
         u"华岳"},
        {"UTF-8 declared", "/utf8.xml", {200, "<?xml version=\"1.0\" encoding=\"UTF-8\"?><r>\xe8\x8f\xaf</r>"}, u"華"},
        {"UTF-16 with byte-order mark",
         "/utf16.xml",
         {200, std::string("\xFF\xFE<\0r\0>\0\xEF\x83<\0/\0r\0>\0", 18)},
         u"華"},
        {"ISO-8859-1 declared: the DOM reads the declaration",
         "/latin1.xml",
         {200, "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><r>caf\xe9</r>"},
         u"café"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        server.Set(c.path, c.response);
        const auto text = RootText(c.path);
        EXPECT_EQ(text.has_value(), c.text.has_value());
        if (text && c.text) {
            EXPECT_EQ(*text, *c.text);
        }
    }
    // Every case reached the server: none failed before asking.
    for (const auto& c : cases) {
        const auto requests = server.Requests();
        EXPECT_NE(std::find(requests.begin(), requests.end(), c.path), requests.end()) << c.name;
    }
}

TEST_F(RemoteLoad, AFailedLoadLeavesNoEarlierDocumentBehind) {
    server.Set("/ok.xml", {200, "<r>first</r>"});
    auto doc = xml.NewDocument();
    ASSERT_TRUE(doc);
    ASSERT_TRUE(doc->LoadBytes(*fetch->Fetch(server.Url16("/ok.xml"), steady_clock::time_point::max())));
    ASSERT_TRUE(doc->DocumentElement());
    doc->LoadBytes("<r>broken");
    EXPECT_FALSE(doc->DocumentElement());
    // The XML component reads files only: a web address is no file.
    doc->Load(server.Url16("/ok.xml"));
    EXPECT_FALSE(doc->DocumentElement());
}

// Each misbehaviour fails within the bound: the call returns, nothing loads.
TEST_F(RemoteLoad, MisbehavingServersCostOnlyTheBound) {
    const struct {
        const char* name;
        HttpServer::Response response;
    } cases[] = {
        {"accepts and never answers", {200, "<r>never</r>", Behaviour::never_answer}},
        // 400 bytes at 50 ms each take 20 s: every read is quick, only the total is past.
        {"trickles past the total bound", {200, XmlOfSize(400), Behaviour::trickle}},
        {"sends half the body, then nothing", {200, XmlOfSize(40), Behaviour::stall}},
    };
    server.Set("/ok.xml", {200, "<r>fine</r>"});
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        server.Set("/bad.xml", c.response);
        const auto before = server.Requests().size();
        const auto start = steady_clock::now();
        EXPECT_FALSE(RootText("/bad.xml"));
        const auto elapsed = steady_clock::now() - start;
        EXPECT_LT(elapsed, std::chrono::seconds(10));
        // It failed on the bound, having reached the server, not before.
        EXPECT_GE(elapsed, std::chrono::milliseconds(1500));
        EXPECT_EQ(server.Requests().size(), before + 1);
        // The fetch let go of a trickling connection too: the server, which
        // serves one connection at a time, answers the next request.
        EXPECT_EQ(RootText("/ok.xml"), u"fine");
    }
}

// Silence that starts late in the transfer still ends the call at the total
// bound, though the read under way has a timeout of its own as long as that.
TEST(RemoteLoadTotalBound, SilenceAfterASlowStartEndsAtTheTotal) {
    HttpServer server;
    ASSERT_TRUE(server.Listening());
    // 60 body bytes take 3 s to arrive; then nothing. The total is 4 s: the
    // whole budget again for the silent wait would end it near 7 s.
    server.Set("/late.xml", {200, XmlOfSize(120), Behaviour::stall});
    const auto fetch = adapters::NewFetch({2, 4, 64 * 1024});
    const auto start = steady_clock::now();
    EXPECT_FALSE(fetch->Fetch(server.Url16("/late.xml"), steady_clock::time_point::max()));
    const auto elapsed = steady_clock::now() - start;
    EXPECT_GE(elapsed, std::chrono::milliseconds(3500));
    EXPECT_LT(elapsed, std::chrono::milliseconds(5500));
}

TEST(RemoteLoadTotalBound, ACallersDeadlineShortensTheBound) {
    HttpServer server;
    ASSERT_TRUE(server.Listening());
    server.Set("/slow.xml", {200, XmlOfSize(120), Behaviour::trickle});  // 6 s
    const auto fetch = adapters::NewFetch({2, 4, 64 * 1024});
    const auto start = steady_clock::now();
    EXPECT_FALSE(fetch->Fetch(server.Url16("/slow.xml"), start + std::chrono::seconds(1)));
    EXPECT_LT(steady_clock::now() - start, std::chrono::milliseconds(2500));  // the own bound took 4 s
}

// The fetch as the refresh gets it: an answer of 16 MiB comes, one byte
// more does not.
TEST(RemoteLoadDefaults, DownloadBounds) {
    HttpServer server;
    ASSERT_TRUE(server.Listening());
    auto fetch = adapters::NewFetch();
    constexpr std::size_t kBound = 16 * 1024 * 1024;
    for (const std::size_t size : {kBound, kBound + 1}) {
        server.Set("/big.xml", {200, XmlOfSize(size)});
        EXPECT_EQ(fetch->Fetch(server.Url16("/big.xml"), steady_clock::time_point::max()).has_value(), size == kBound)
            << size;
    }
    EXPECT_EQ(server.Requests().size(), 2u);
}

// The portable refresh over the Windows adapters.

class DataUpdateOnWindows : public ::testing::Test, protected test::RefreshRig {
protected:
    void SetUp() override { ASSERT_TRUE(server.Listening()); }
};

TEST_F(DataUpdateOnWindows, ReplacementKeepsAttributesAndRemovesLeftovers) {
    auto action = Local(5, 100);
    server.Set("/v/acturl.xml", {200, RemoteTable(6)});
    server.Set("/v/varnokeL.xml", {200, newList});
    for (const auto* name : {L"acturl.xml", L"varnokeL.xml"})
        ASSERT_TRUE(SetFileAttributesW((local.path() / name).c_str(), FILE_ATTRIBUTE_HIDDEN));
    for (const char* name : {"acturl.xml.update-17", "varnokeL.xml.update-1234"}) local.Write(name, "half");
    update.Run(*action);
    ASSERT_EQ(update.LastOutcome(), UpdateOutcome::refreshed) << Describe(update.LastOutcome());
    EXPECT_NE(Read(local.path() / "varnokeL.xml").find("NEW"), std::string::npos);
    // Wine's ReplaceFileW moves the new file over without the old one's
    // attributes (a marked difference: this fails once Wine keeps them).
    for (const auto* name : {L"acturl.xml", L"varnokeL.xml"})
        EXPECT_EQ((GetFileAttributesW((local.path() / name).c_str()) & FILE_ATTRIBUTE_HIDDEN) != 0,
                  !test::RunningUnderWine());
    EXPECT_EQ(test::FilesIn(local.path()), 2);
    // Temporaries are created exclusively.
    EXPECT_FALSE(files->CreateExclusive(local.File("acturl.xml"), local.File("acturl.xml")));
    EXPECT_TRUE(files->CreateExclusive(local.File("fresh"), local.File("acturl.xml")));
}

// The lock is one for every session of the machine.
TEST_F(DataUpdateOnWindows, TheLockIsGlobal) {
    const auto held = files->LockFolder(local.Folder(), steady_clock::now());
    ASSERT_TRUE(held);
    const std::wstring name = std::wstring(adapters::kGlobalPrefix) + adapters::MutexName(local.Folder());
    const HANDLE opened = OpenMutexW(SYNCHRONIZE, FALSE, name.c_str());
    EXPECT_NE(opened, nullptr) << GetLastError();
    if (opened) CloseHandle(opened);
}

// A data file that is a link is replaced only through it to a regular file
// beside it; to anything else, and for anything but a file, nothing is written.
TEST_F(DataUpdateOnWindows, ReplacesOnlyTheFoldersOwnRegularFiles) {
    enum class Kind { folder, linkBeside, linkElsewhere };
    const struct {
        const char* name;
        Kind kind;  // what the stock list's name is
        UpdateOutcome outcome;
    } cases[] = {
        {"a folder in the list's place", Kind::folder, UpdateOutcome::save_failed},
        {"links to files beside them", Kind::linkBeside, UpdateOutcome::refreshed},
        {"links to files in another folder", Kind::linkElsewhere, UpdateOutcome::save_failed},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto other = local.path() / "other";
        std::filesystem::remove_all(other);
        std::filesystem::create_directory(other);
        auto action = Local(5, 100);
        const std::string table = Read(local.path() / "acturl.xml");
        server.Set("/v/acturl.xml", {200, RemoteTable(6)});
        server.Set("/v/varnokeL.xml", {200, newList});
        const auto list = local.path() / "varnokeL.xml";
        const auto target = c.kind == Kind::linkElsewhere ? other / "varnokeL.xml" : local.path() / "real-varnokeL.xml";
        if (c.kind == Kind::folder) {
            std::filesystem::remove(list);
            std::filesystem::create_directory(list);
        } else {
            std::filesystem::rename(list, target);
            // Wine's CreateSymbolicLinkW reports success and makes nothing.
            if (!CreateSymbolicLinkW(list.c_str(), target.c_str(), 0) ||
                GetFileAttributesW(list.c_str()) == INVALID_FILE_ATTRIBUTES)
                GTEST_SKIP() << "this system makes no symbolic links";
        }
        const auto before = test::Snapshot(other);
        update.Run(*action);
        EXPECT_EQ(update.LastOutcome(), c.outcome) << Describe(update.LastOutcome());
        EXPECT_EQ(test::Snapshot(other), before);
        if (c.outcome == UpdateOutcome::refreshed) {
            EXPECT_NE(Read(target).find("NEW"), std::string::npos);
            EXPECT_EQ(std::filesystem::symlink_status(list).type(), std::filesystem::file_type::symlink);
        } else {
            EXPECT_EQ(Read(local.path() / "acturl.xml"), table);
        }
        std::filesystem::remove_all(list);
        std::filesystem::remove(target);
    }
}

}  // namespace
}  // namespace varnoke
