// What the data-file refresh tests of both platforms share: a clock that
// stands still, action tables written to order, and reading a file back.
#pragma once

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "hostapi/clock.h"

namespace varnoke::test {

class FixedClock final : public hostapi::IClock {
public:
    hostapi::LocalDateTime now{2026, 12, 8, 9, 30, 59};
    hostapi::LocalDateTime Now() override { return now; }
};

// An action table with one verb (named "Quote" + marker); an empty field
// leaves its element out.
inline std::string Table(const std::string& checkpoint, const std::string& lastupdate,
                         const std::string& frequency, const std::string& url, const std::string& marker = "") {
    std::string xml = "<?xml version=\"1.0\"?><ActionList>";
    xml += "<ActionUrl><ActionName>Quote" + marker + "</ActionName><URL>https://q.example/?id=</URL></ActionUrl>";
    if (!checkpoint.empty()) xml += "<lastcheckpoint>" + checkpoint + "</lastcheckpoint>";
    if (!lastupdate.empty()) xml += "<lastupdate>" + lastupdate + "</lastupdate>";
    if (!frequency.empty()) xml += "<updatefrequency>" + frequency + "</updatefrequency>";
    if (!url.empty()) xml += "<updateurl>" + url + "</updateurl>";
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
    for (const auto& e : std::filesystem::directory_iterator(folder)) count += e.symlink_status().type() == std::filesystem::file_type::regular;
    return count;
}

inline std::string Read(const std::filesystem::path& p) {
    std::stringstream ss;
    ss << std::ifstream(p, std::ios::binary).rdbuf();
    return ss.str();
}

}  // namespace varnoke::test
