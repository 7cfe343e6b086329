// What the data-file refresh tests of both platforms share: a clock that
// stands still, action tables written to order, reading a file back, and a
// rig of the platform's own adapters around a loopback server.
#pragma once

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>

#include "actions/data_file_update.h"
#include "actions/st_action.h"
#include "adapters/platform.h"
#include "hostapi/clock.h"
#include "standins/recording_shell.h"
#include "tests/http_server.h"
#include "tests/temp_dir.h"

namespace varnoke::test {

class FixedClock final : public hostapi::IClock {
public:
    hostapi::LocalDateTime now{2026, 12, 8, 9, 30, 59};
    std::int64_t utc = 1796722259;  // 2026-12-08 09:30:59 UTC
    hostapi::LocalDateTime Now() override { return now; }
    std::int64_t UtcSeconds() override { return utc; }
};

// An action table with one verb (named "Quote" + marker); an empty field
// leaves its element out.
inline std::string Table(const std::string& checkpoint, const std::string& lastupdate, const std::string& frequency,
                         const std::string& url, const std::string& marker = "", const std::string& key = "") {
    std::string xml = "<?xml version=\"1.0\"?><ActionList>";
    xml += "<ActionUrl><ActionName>Quote" + marker + "</ActionName><URL>https://q.example/?id=</URL></ActionUrl>";
    if (!checkpoint.empty()) xml += "<lastcheckpoint>" + checkpoint + "</lastcheckpoint>";
    if (!lastupdate.empty()) xml += "<lastupdate>" + lastupdate + "</lastupdate>";
    if (!frequency.empty()) xml += "<updatefrequency>" + frequency + "</updatefrequency>";
    if (!url.empty()) xml += "<updateurl>" + url + "</updateurl>";
    if (!key.empty()) xml += "<publickey>" + key + "</publickey>";
    return xml + "</ActionList>";
}

// A stock list of one entry, named by the marker.
inline std::string StockList(const std::string& marker) {
    return "<StockData><KestriaStockList><StockName>" + marker + "</StockName><StockID>" + marker +
           "1</StockID></KestriaStockList></StockData>";
}

// Regular files in a folder, links not counted.
inline int FilesIn(const std::filesystem::path& folder) {
    int count = 0;
    for (const auto& e : std::filesystem::directory_iterator(folder))
        count += e.symlink_status().type() == std::filesystem::file_type::regular;
    return count;
}

inline std::string Read(const std::filesystem::path& p);

// Every entry of a folder with its kind and, for regular files, content:
// equal snapshots mean nothing in it was written, made or removed.
inline std::map<std::string, std::string> Snapshot(const std::filesystem::path& folder) {
    std::map<std::string, std::string> entries;
    for (const auto& e : std::filesystem::directory_iterator(folder)) {
        const auto type = e.symlink_status().type();
        entries[e.path().filename().string()] = std::to_string(static_cast<int>(type)) + ":" +
                                                (type == std::filesystem::file_type::regular ? Read(e.path()) : "");
    }
    return entries;
}

inline std::string Read(const std::filesystem::path& p) {
    std::stringstream ss;
    ss << std::ifstream(p, std::ios::binary).rdbuf();
    return ss.str();
}

// Short bounds, so that the misbehaving servers cost seconds.
inline constexpr hostapi::FetchLimits kShortLimits{2, 2, 64 * 1024};

// A data folder, a remote one behind a loopback server, and a refresh over
// this platform's adapters whose whole budget is the fetch bound.
class RefreshRig {
public:
    HttpServer server;
    TempDir local;
    FixedClock clock;
    std::unique_ptr<hostapi::IXmlDocumentFactory> xmlFactory = adapters::NewXmlDocumentFactory();
    hostapi::IXmlDocumentFactory& xml = *xmlFactory;
    standins::RecordingShell shell;
    std::unique_ptr<hostapi::IFiles> files = adapters::NewFiles();
    std::unique_ptr<hostapi::IFetch> fetch = adapters::NewFetch(kShortLimits);
    std::unique_ptr<hostapi::ICrypto> crypto = adapters::NewCrypto();
    DataFileUpdate update{{xml, clock, *files, *fetch, *crypto}, std::chrono::seconds(2)};
    const int32_t now = MinuteCount(clock.now);
    const std::string oldList = StockList("OLD");
    const std::string newList = StockList("NEW");

    // The local files; lastupdate is given relative to now, and no updateurl
    // means the server's /v/acturl.xml.
    std::unique_ptr<STAction> Local(int32_t checkpoint, int64_t minutesAgo, int32_t frequency = 60,
                                    const std::string& updateUrl = "", const std::string& key = "") {
        local.Write("acturl.xml",
                    Table(std::to_string(checkpoint), std::to_string(now - minutesAgo), std::to_string(frequency),
                          updateUrl.empty() ? server.Url("/v/acturl.xml") : updateUrl, "", key));
        local.Write("varnokeL.xml", oldList);
        auto action = std::make_unique<STAction>(ActionPorts{xml, shell, nullptr, &update});
        action->Construct(local.Folder());
        return action;
    }
    void Remote(const std::string& table, const std::string& list = "") {
        server.Set("/v/acturl.xml", {200, table});
        server.Set("/v/varnokeL.xml", {200, list.empty() ? newList : list});
    }
    std::string RemoteTable(int32_t checkpoint, const std::string& marker = "NEW") {
        return Table(std::to_string(checkpoint), "1", "99", server.Url("/v/next/acturl.xml"), marker);
    }
    bool LocalUnchanged(const std::string& table) {
        return Read(local.path() / "varnokeL.xml") == oldList && Read(local.path() / "acturl.xml") == table;
    }
};

}  // namespace varnoke::test
