// What the data-file refresh tests of both platforms share: a clock that
// stands still, action tables written to order, and reading a file back.
#pragma once

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>

#include "hostapi/clock.h"

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

}  // namespace varnoke::test
