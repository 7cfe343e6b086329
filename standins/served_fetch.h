// A stand-in for the network: serves the remote files from memory, by
// address; an address it does not hold fails as an unreachable one does.
#pragma once

#include <chrono>
#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "hostapi/fetch.h"

namespace varnoke::standins {

class ServedFetch final : public hostapi::IFetch {
public:
    std::map<std::u16string, std::string> served;
    std::optional<std::string> Fetch(std::u16string_view url, std::chrono::steady_clock::time_point) override {
        const auto found = served.find(std::u16string(url));
        if (found == served.end()) return std::nullopt;
        return found->second;
    }
};

}  // namespace varnoke::standins
